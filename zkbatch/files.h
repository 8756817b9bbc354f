// zkbatch's input and output: the plan, standard output checked to the
// end, and files replaced whole.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A plan is a text an operator edits; anything larger is a mistake (a
// device such as /dev/zero, say), not a plan.
constexpr std::size_t max_plan_size = 64U << 20;

// Reads the whole of path ("-": standard input) into text. On failure,
// error says why, in words that follow the path.
bool read_input(const std::string& path, std::string& text, std::string& error);

// Writes all of text to descriptor fd. On failure, error holds the
// system's reason.
bool write_all(int fd, std::string_view text, std::string& error);

// Replaces path with text: written under a temporary name beside it,
// flushed to the disk and renamed, so that path holds either the old file
// or the whole new one.
bool replace_file(const std::string& path, std::string_view text, std::string& error);
