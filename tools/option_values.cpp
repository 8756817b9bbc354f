#include "option_values.h"

#include <arpa/inet.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "command_line.h"
#include "device_model.h"

namespace sim {

// The escapes let tests put control and zero bytes into a datagram from a
// shell command line.
std::string unescape(std::string_view text) {
    static constexpr std::string_view letters = "rnt\\0";
    static constexpr std::string_view bytes{"\r\n\t\\\0", 5};
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) die("a backslash ends the text '" + std::string(text) + "'");
        if (const std::size_t k = letters.find(text[i]); k != std::string_view::npos) {
            out += bytes[k];
            continue;
        }
        if (text[i] != 'x') {
            die(std::string("unknown escape \\") + text[i] + " in '" + std::string(text) + "'");
        }
        const auto hex_digit = [&](std::size_t k) {
            return k < text.size() && std::isxdigit(static_cast<unsigned char>(text[k]));
        };
        if (!hex_digit(i + 1) || !hex_digit(i + 2)) {
            die("\\x needs two hex digits in '" + std::string(text) + "'");
        }
        out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
        i += 2;
    }
    return out;
}

long parse_number(const char* option, const char* text, long low, long high) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) {
        die(std::string("--") + option + ": '" + text + "' is not a number from " +
            std::to_string(low) + " to " + std::to_string(high));
    }
    return value;
}

std::uint64_t parse_seed(const char* text) {
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    // strtoull takes a sign or leading blanks, and wraps a minus around.
    if (!std::isdigit(static_cast<unsigned char>(text[0])) || errno != 0 || *end != '\0') {
        die(std::string("--seed: '") + text + "' is not a number from 0 to " +
            std::to_string(UINT64_MAX));
    }
    return value;
}

int parse_ms(const char* option, const char* text) {
    return static_cast<int>(parse_number(option, text, 0, max_ms));
}

in_addr_t parse_address(const char* option, const char* text) {
    in_addr parsed{};
    if (inet_pton(AF_INET, text, &parsed) != 1) {
        die(std::string("--") + option + ": '" + text + "' is not an IPv4 address");
    }
    return parsed.s_addr;
}

std::string read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) die(std::string("--raw-file: cannot read '") + path + "'");
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() > max_datagram) {
        die(std::string("--raw-file: '") + path + "' holds more than " +
            std::to_string(max_datagram) + " bytes");
    }
    return bytes;
}

}  // namespace sim
