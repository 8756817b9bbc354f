// Prompted input: each operation prints its prompt, reads, and returns only
// with an acceptable answer, consuming the rest of the line it read from.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Thrown when input ends while a prompt waits: no answer can come.
struct end_of_input {};

// Address fields hold 15 characters and a terminator.
constexpr int address_size = 16;
// Words read by get_string are cut at this many characters.
constexpr int word_limit = 127;

// Reads and throws away the rest of the line, line feed included.
void get_all(std::FILE* in = stdin);

// A number as "%u" reads it, taken as signed: "-1" and anything too large
// for 32 bits give -1.
int32_t get_int(const char* prompt, std::FILE* in = stdin, std::FILE* out = stdout);

// One of the characters in allowed; others in the line are skipped, a line
// without one asks again.
char get_char(const char* prompt, const char* allowed, std::FILE* in = stdin,
              std::FILE* out = stdout);

// True when text starts with four numbers 0..255 joined by dots; text is
// then rewritten in place in canonical dotted-quad form (never longer).
bool verify_address(char* text);

// Reads an address (at most 15 characters) into field until one verifies.
void get_address(const char* prompt, char (&field)[address_size], std::FILE* in = stdin,
                 std::FILE* out = stdout);

// Reads one word (at most word_limit characters) into owned.
void get_string(const char* prompt, std::string& owned, std::FILE* in = stdin,
                std::FILE* out = stdout);
