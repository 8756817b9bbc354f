#include "csv.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Records as "LINE[field|field]" or "LINE!error", one after the other.
std::string records(std::string_view text, char separator = ',') {
    std::string out;
    for (const csv_record& r : read_csv(text, separator)) {
        out += std::to_string(r.line) + (r.error.empty() ? "[" : "!" + r.error);
        for (std::size_t i = 0; r.error.empty() && i < r.fields.size(); ++i)
            out += (i ? "|" : "") + r.fields[i];
        if (r.error.empty()) out += "]";
    }
    return out;
}

TEST(CsvTest, ReadTable) {
    const struct {
        const char* name;
        std::string text, records;
    } cases[] = {
        {"plain", "a,b\nc,d\n", "1[a|b]2[c|d]"},
        {"crlf_and_no_last_line_end", "a,b\r\nc,d", "1[a|b]2[c|d]"},
        {"empty_fields", ",\n,,x\n", "1[|]2[||x]"},
        {"blank_and_comment_lines", "\n#x,\"y\n\r\na\n  #b\n", "4[a]5[  #b]"},
        {"quoted_comma_quote_and_line_break", "\"a,\"\"b\"\"\nc\",d\ne\n", "1[a,\"b\"\nc|d]3[e]"},
        {"quoted_hash_is_data", "\"#a\",b\n", "1[#a|b]"},
        {"lone_cr_is_data", "a\rb\n", "1[a\rb]"},
        {"quoted_empty", "\"\",\"\"\n", "1[|]"},
        {"quote_inside_unquoted", "a\"b,c\nd\n", "1!a quote inside an unquoted field2[d]"},
        {"text_after_closing_quote", "\"a\"b,c\nd\n", "1!text after a closing quote2[d]"},
        {"unclosed_quote", "a\n\"b,c\nd\n", "1[a]2!a quoted field is not closed"},
        {"zero_byte_is_data", std::string("a\0b\n", 4), std::string("1[a\0b]", 6)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(records(c.text), c.records);
    }
}

// The separator that the header line chooses, and the records read with it.
TEST(CsvTest, SeparatorTable) {
    const struct {
        const char* name;
        std::string text;
        char separator;
        std::string records;
    } cases[] = {
        {"semicolons_commas_are_data", "a;b\r\nc,d;e\n", ';', "1[a|b]2[c,d|e]"},
        {"quoted_semicolon_and_quotes", "\"a;\"\"b\"\"\";c\n", ';', "1[a;\"b\"|c]"},
        {"comma_after_closing_quote", "x;y\n\"a\",b;c\n", ';',
         "1[x|y]2!text after a closing quote"},
        {"header_after_comment_and_blank_line", "# a,b\n\nmac;ip\n", ';', "3[mac|ip]"},
        {"comma_in_header_keeps_commas", "a;b,c\nd;e\n", ',', "1[a;b|c]2[d;e]"},
        {"semicolon_only_below_header", "mac\nx;y\n", ',', "1[mac]2[x;y]"},
        {"empty", "", ',', ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(csv_separator(c.text), c.separator);
        EXPECT_EQ(records(c.text, c.separator), c.records);
    }
}

// That what is written reads back as the same fields, fuzz/fuzz_plan.cpp
// checks for every record of its corpus.
TEST(CsvTest, FieldTable) {
    const struct {
        std::string text, written;
    } cases[] = {
        {"", ""},
        {"10.0.0.5", "10.0.0.5"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"a\nb", "\"a\nb\""},
        {"a\rb", "\"a\rb\""},
        {"#x", "\"#x\""},
        {"x#", "x#"},
        {" spaced ", " spaced "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(csv_field(c.text), c.written);
    }
}

}  // namespace
