// CSV as RFC 4180 writes it: fields separated by commas, a field quoted
// when it holds a comma, a quote or a line break, quotes inside doubled.
// Read also with semicolons in place of commas, as spreadsheets write CSV
// where the decimal mark is a comma.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One record of a CSV text and the line it starts on (from 1). A malformed
// record has an error text and no reliable fields.
struct csv_record {
    int line = 0;
    std::vector<std::string> fields;
    std::string error;
};

// Splits text into records of fields separated by separator. Lines ending
// in LF or CR LF; blank lines and lines starting with '#' are skipped. A
// quoted field may span lines. A malformed record is reported and reading
// goes on at the next line.
std::vector<csv_record> read_csv(std::string_view text, char separator = ',');

// The separator of a text whose first record (its header) is written on
// one line: ';' when that line holds a ';' and no ',', else ','.
char csv_separator(std::string_view text);

// One field as written: quoted when it holds a comma, a quote, CR or LF, or
// starts with '#' (which a reader would take for a comment line).
std::string csv_field(std::string_view text);
