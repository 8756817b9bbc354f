#include "prompt.h"

#include <cctype>
#include <cstring>
#include <limits>

namespace {

// The reads below follow the "%u", "%15s" and "%127s" conversions, written
// out so that end of input, overflow and zero bytes behave the same on every
// platform.

void ask(const char* prompt, std::FILE* out) {
    std::fputs(prompt, out);
    std::fflush(out);
}

bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Skips white space, line feeds included; throws when input ends first.
int first_nonspace(std::FILE* in) {
    int c;
    do c = std::getc(in);
    while (is_space(c));
    if (c == EOF) throw end_of_input{};
    return c;
}

// Reads one word of at most limit characters into buf after skipping white
// space; the character that ends it stays in the stream.
void read_word(std::FILE* in, char* buf, int limit) {
    int c = first_nonspace(in);
    int n = 0;
    while (c != EOF && !is_space(c) && n < limit) {
        buf[n++] = static_cast<char>(c);
        if (n < limit)
            c = std::getc(in);
        else
            c = EOF;
    }
    if (c != EOF) std::ungetc(c, in);
    buf[n] = '\0';
}

// The "%u" conversion: optional sign, then digits. Fails without taking the
// character that stopped it. Too large for 32 bits counts as the largest.
bool read_unsigned(std::FILE* in, uint32_t& value) {
    int c = first_nonspace(in);
    const bool negative = c == '-';
    if (c == '-' || c == '+') c = std::getc(in);
    if (c == EOF) throw end_of_input{};
    if (!std::isdigit(c)) {
        std::ungetc(c, in);
        return false;
    }
    uint64_t n = 0;
    for (; c != EOF && std::isdigit(c); c = std::getc(in)) {
        n = n * 10 + static_cast<unsigned>(c - '0');
        if (n > std::numeric_limits<uint32_t>::max()) n = uint64_t{1} << 32;
    }
    if (c != EOF) std::ungetc(c, in);
    if (n > std::numeric_limits<uint32_t>::max())
        value = std::numeric_limits<uint32_t>::max();
    else
        value = negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(n))
                         : static_cast<uint32_t>(n);
    return true;
}

}  // namespace

void get_all(std::FILE* in) {
    int c;
    do c = std::getc(in);
    while (c != '\n' && c != EOF);
}

int32_t get_int(const char* prompt, std::FILE* in, std::FILE* out) {
    for (;;) {
        ask(prompt, out);
        uint32_t value;
        const bool ok = read_unsigned(in, value);
        get_all(in);
        if (ok) return static_cast<int32_t>(value);
    }
}

char get_char(const char* prompt, const char* allowed, std::FILE* in, std::FILE* out) {
    for (;;) {
        ask(prompt, out);
        for (;;) {
            const int c = std::getc(in);
            if (c == EOF) throw end_of_input{};
            if (c == '\n') break;
            // strchr would find the terminator of allowed for a zero byte.
            if (c != '\0' && std::strchr(allowed, c)) {
                get_all(in);
                return static_cast<char>(c);
            }
        }
    }
}

bool verify_address(char* text) {
    int part[4];
    const char* p = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && *p++ != '.') return false;
        while (is_space(static_cast<unsigned char>(*p))) ++p;
        bool negative = false;
        if (*p == '+' || *p == '-') negative = *p++ == '-';
        if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
        long n = 0;
        // Anything past 255 is refused, so stop counting there.
        for (; std::isdigit(static_cast<unsigned char>(*p)); ++p)
            if (n <= 255) n = n * 10 + (*p - '0');
        if (negative && n != 0) return false;
        if (n > 255) return false;
        part[i] = static_cast<int>(n);
    }
    // Each number is written with no more digits than it was typed with, so
    // the canonical form fits where the text stood.
    std::sprintf(text, "%d.%d.%d.%d", part[0], part[1], part[2], part[3]);
    return true;
}

void get_address(const char* prompt, char (&field)[address_size], std::FILE* in, std::FILE* out) {
    field[address_size - 1] = '\0';
    for (;;) {
        ask(prompt, out);
        read_word(in, field, address_size - 1);
        const bool ok = verify_address(field);
        get_all(in);
        if (ok) return;
    }
}

void get_string(const char* prompt, std::string& owned, std::FILE* in, std::FILE* out) {
    char buf[word_limit + 1];
    ask(prompt, out);
    read_word(in, buf, word_limit);
    get_all(in);
    owned = buf;
}
