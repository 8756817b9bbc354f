// Fuzz target: verify_address over arbitrary text of any length. The text is
// a heap copy exactly as long as the input plus its terminator, so a rewrite
// that grew past it is caught by AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "check.h"
#include "prompt.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Four numbers 0..255 joined by dots, no signs, no leading zeros, nothing
// before or after: the only form verify_address may leave behind.
bool canonical_quad(const char* s) {
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *s++ != '.') return false;
        if (!is_digit(*s)) return false;
        if (s[0] == '0' && is_digit(s[1])) return false;
        int n = 0;
        for (int digits = 0; is_digit(*s); ++s) {
            if (++digits > 3) return false;
            n = n * 10 + (*s - '0');
        }
        if (n > 255) return false;
    }
    return *s == '\0';
}

bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// What the text should become, worked out on digit strings so that no
// length of number can overflow: four numbers as "%d.%d.%d.%d" reads them
// (blanks and a sign before each, anything after the fourth), each 0..255.
std::optional<std::string> expected_form(const char* s) {
    std::string result;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (*s++ != '.') return std::nullopt;
            result += '.';
        }
        while (is_blank(*s)) ++s;
        bool negative = false;
        if (*s == '+' || *s == '-') negative = *s++ == '-';
        if (!is_digit(*s)) return std::nullopt;
        while (*s == '0' && is_digit(s[1])) ++s;
        const char* const digits = s;
        while (is_digit(*s)) ++s;
        const std::string number(digits, s);
        if (number.size() > 3 || std::stoi(number) > 255) return std::nullopt;
        if (negative && number != "0") return std::nullopt;
        result += number;
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    const std::vector<char> typed = text;
    const std::size_t typed_length = std::strlen(typed.data());
    const std::optional<std::string> expected = expected_form(typed.data());

    if (!verify_address(text.data())) {
        FUZZ_CHECK(!expected);
        // A refused word stays as typed; get_address shows it that way.
        FUZZ_CHECK(text == typed);
        return 0;
    }

    FUZZ_CHECK(expected && *expected == text.data());
    const std::size_t length = std::strlen(text.data());
    FUZZ_CHECK(length <= typed_length);
    FUZZ_CHECK(canonical_quad(text.data()));
    // Bytes past the new terminator are the input's, untouched.
    FUZZ_CHECK(std::memcmp(text.data() + length + 1, typed.data() + length + 1,
                           text.size() - length - 1) == 0);

    // The canonical form is a fixed point: verifying it again changes nothing.
    std::vector<char> again(text.data(), text.data() + length + 1);
    FUZZ_CHECK(verify_address(again.data()));
    FUZZ_CHECK(std::strcmp(again.data(), text.data()) == 0);
    return 0;
}
