#include "prompt.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// verify_address is held to a model of its own by fuzz/fuzz_address.cpp over
// its corpus; the end of input at every prompt is in the e2e cases
// end_of_input_at_*.
constexpr const char* prompt = "P: ";

class PromptTest : public ::testing::Test {
protected:
    void TearDown() override { close(); }

    // Starts a dialogue whose input holds exactly these bytes, zero bytes included.
    void feed(const std::string& input) {
        close();
        in = std::tmpfile();
        ASSERT_NE(in, nullptr);
        ASSERT_EQ(std::fwrite(input.data(), 1, input.size(), in), input.size());
        std::rewind(in);
        out = open_memstream(&out_buf, &out_len);
        ASSERT_NE(out, nullptr);
    }

    std::string output() {
        std::fflush(out);
        return std::string(out_buf, out_len);
    }

    // What the operation left unread.
    std::string rest() {
        std::string left;
        for (int c; (c = std::fgetc(in)) != EOF;) left += static_cast<char>(c);
        return left;
    }

    void close() {
        if (in != nullptr) std::fclose(in);
        if (out != nullptr) std::fclose(out);
        std::free(out_buf);
        in = out = nullptr;
        out_buf = nullptr;
        out_len = 0;
    }

    std::FILE* in = nullptr;
    std::FILE* out = nullptr;
    char* out_buf = nullptr;
    std::size_t out_len = 0;
};

struct int_case {
    std::string input;
    int32_t value;
    std::string printed;
    std::string left;
};

TEST_F(PromptTest, GetIntTable) {
    const std::vector<int_case> cases = {
        {"42\n", 42, "P: ", ""},
        {"  42 apples\nnext\n", 42, "P: ", "next\n"},
        {"12abc\n3\n", 12, "P: ", "3\n"},
        {"apples\n7\n", 7, "P: P: ", ""},
        {"- 5\n7\n", 7, "P: P: ", ""},
        // An empty line is no answer: the prompt stays as it is.
        {"\n\n \t\n5\n", 5, "P: ", ""},
        {"-1\n", -1, "P: ", ""},
        {"0000000000000000000042\n", 42, "P: ", ""},
        {"2147483648\n", INT32_MIN, "P: ", ""},
        {"4294967295\n", -1, "P: ", ""},
        // Too large for 32 bits saturates rather than wrapping.
        {"4294967296\n", -1, "P: ", ""},
        {"4294967297\n", -1, "P: ", ""},
        {"12345678901\n", -1, "P: ", ""},
        {"99999999999999999999999999\n", -1, "P: ", ""},
        {"7", 7, "P: ", ""},
    };
    for (const int_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        feed(c.input);
        EXPECT_EQ(get_int(prompt, in, out), c.value);
        EXPECT_EQ(output(), c.printed);
        EXPECT_EQ(rest(), c.left);
    }
}

struct char_case {
    const char* allowed;
    std::string input;
    char chosen;
    std::string printed;
    std::string left;
};

TEST_F(PromptTest, GetCharTable) {
    const std::vector<char_case> cases = {
        {"dtmsq", "xyz q\nnext\n", 'q', "P: ", "next\n"},
        {"dtmsq", "sq\n", 's', "P: ", ""},
        {"dtmsq", "xyz\nq\n", 'q', "P: P: ", ""},
        // Unlike the other prompts, an empty line asks again.
        {"dtmsq", "\n\nq\n", 'q', "P: P: P: ", ""},
        {"ingdtmsq", "x i\n", 'i', "P: ", ""},
        {"ingdtmsq", "I\ni\n", 'i', "P: P: ", ""},
        {"dtmsq", "i\nd\n", 'd', "P: P: ", ""},
        {"dtmsq", std::string("\0d\n", 3), 'd', "P: ", ""},
        {"dtmsq", std::string("\0\nq\n", 4), 'q', "P: P: ", ""},
    };
    for (const char_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        feed(c.input);
        EXPECT_EQ(get_char(prompt, c.allowed, in, out), c.chosen);
        EXPECT_EQ(output(), c.printed);
        EXPECT_EQ(rest(), c.left);
    }
}

TEST_F(PromptTest, GetAddressTable) {
    const struct {
        std::string input;
        const char* field;
        std::string printed, left;
    } cases[] = {
        // Only 15 characters are read; the 16th is thrown away with the line.
        {"192.168.100.1000\nnext\n", "192.168.100.100", "P: ", "next\n"},
        {"\n  1.2.3.4 5.6.7.8\nnext\n", "1.2.3.4", "P: ", "next\n"},
        {"1.2.3\na.b.c.d\n1.2.3.4\n", "1.2.3.4", "P: P: P: ", ""},
        {"1.2.3.4", "1.2.3.4", "P: ", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        feed(c.input);
        char field[address_size];
        std::memset(field, 'X', sizeof field);  // no terminator to start with
        get_address(prompt, field, in, out);
        EXPECT_STREQ(field, c.field);
        EXPECT_EQ(output(), c.printed);
        EXPECT_EQ(rest(), c.left);
    }
}

TEST_F(PromptTest, GetStringTable) {
    const std::string long_word(200, 'w');
    const struct {
        std::string input;
        std::string stored, printed, left;
    } cases[] = {
        {"\n \n  none\n", "none", "P: ", ""},
        {long_word + " more\nnext\n", long_word.substr(0, word_limit), "P: ", "next\n"},
        {"word", "word", "P: ", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        feed(c.input);
        std::string owned = "previous";
        get_string(prompt, owned, in, out);
        EXPECT_EQ(owned, c.stored);
        EXPECT_EQ(output(), c.printed);
        EXPECT_EQ(rest(), c.left);
    }
}

}  // namespace
