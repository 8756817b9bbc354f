// The page that the server shows: one HTML file, one script and one style
// sheet, built into the program.
#pragma once

#include <string_view>

struct page_file {
    std::string_view path;  // as requested: "/", "/app.js", "/style.css"
    std::string_view type;  // its Content-Type
    std::string_view text;
};

// The file at path, or nullptr.
const page_file* page_file_at(std::string_view path);
