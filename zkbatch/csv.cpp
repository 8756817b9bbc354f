#include "csv.h"

namespace {

struct reader {
    std::string_view text;
    char separator = ',';
    std::size_t pos = 0;
    int line = 1;

    bool at_end() const { return pos >= text.size(); }
    char peek() const { return text[pos]; }

    // True at LF or CR LF; consumes it.
    bool take_line_end() {
        if (text.compare(pos, 1, "\n") == 0) {
            ++pos;
        } else if (text.compare(pos, 2, "\r\n") == 0) {
            pos += 2;
        } else {
            return false;
        }
        ++line;
        return true;
    }

    void skip_line() {
        while (!at_end() && !take_line_end()) ++pos;
    }

    // A quoted field, the opening quote already taken. False when the text
    // ends inside it.
    bool quoted(std::string& field) {
        while (!at_end()) {
            const char c = text[pos++];
            if (c == '"') {
                if (at_end() || peek() != '"') return true;
                ++pos;
            } else if (c == '\n') {
                ++line;
            }
            field += c;
        }
        return false;
    }

    // Reads one record's fields up to its line end; an error text when the
    // record is malformed.
    std::string record(std::vector<std::string>& fields) {
        for (;;) {
            std::string field;
            if (!at_end() && peek() == '"') {
                ++pos;
                if (!quoted(field)) return "a quoted field is not closed";
            } else {
                while (!at_end() && peek() != separator && peek() != '\n' &&
                       text.compare(pos, 2, "\r\n") != 0) {
                    if (peek() == '"') return "a quote inside an unquoted field";
                    field += text[pos++];
                }
            }
            fields.push_back(std::move(field));
            if (at_end() || take_line_end()) return {};
            if (peek() != separator) return "text after a closing quote";
            ++pos;
        }
    }
};

}  // namespace

std::vector<csv_record> read_csv(std::string_view text, char separator) {
    std::vector<csv_record> records;
    reader in{text, separator};
    while (!in.at_end()) {
        if (in.take_line_end()) continue;
        if (in.peek() == '#') {
            in.skip_line();
            continue;
        }
        csv_record rec;
        rec.line = in.line;
        rec.error = in.record(rec.fields);
        if (!rec.error.empty()) {
            rec.fields.clear();
            in.skip_line();
        }
        records.push_back(std::move(rec));
    }
    return records;
}

char csv_separator(std::string_view text) {
    // The lines that read_csv skips.
    reader in{text};
    while (!in.at_end()) {
        if (in.take_line_end()) continue;
        if (in.peek() != '#') break;
        in.skip_line();
    }
    const std::string_view header = text.substr(in.pos, text.find('\n', in.pos) - in.pos);
    return header.find(';') != std::string_view::npos && header.find(',') == std::string_view::npos
               ? ';'
               : ',';
}

std::string csv_field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos && (text.empty() || text[0] != '#'))
        return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}
