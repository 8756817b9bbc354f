# Builds the page into the program: writes OUT, a C++ source whose
# page_file_at() gives the text of HTML, SCRIPT and STYLE (run by cmake -P).
set(source "// Made by cmake/embed_page.cmake from zkbatch/page/: edit those files.\n")
string(APPEND source "#include \"page.h\"\n\n#include <array>\n\nnamespace {\n\n")
set(entries "")
foreach(part IN ITEMS HTML SCRIPT STYLE)
  file(READ "${${part}}" text)
  string(FIND "${text}" ")zkpage\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${${part}} holds the raw string's delimiter )zkpage\"")
  endif()
  string(TOLOWER "${part}" name)
  string(APPEND source "constexpr std::string_view ${name} = R\"zkpage(${text})zkpage\";\n")
endforeach()
string(APPEND source "
constexpr std::array<page_file, 3> files{{
    {\"/\", \"text/html; charset=utf-8\", html},
    {\"/app.js\", \"text/javascript; charset=utf-8\", script},
    {\"/style.css\", \"text/css; charset=utf-8\", style},
}};

}  // namespace

const page_file* page_file_at(std::string_view path) {
    for (const page_file& f : files)
        if (f.path == path) return &f;
    return nullptr;
}
")
file(WRITE "${OUT}.tmp" "${source}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
