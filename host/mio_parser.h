// The parser of memory initialisation files (host/mio_parser.cpp), which
// fills the private members of MIO_FILE (host/mio.cpp). Internal to the two.
#pragma once

#include "host/mio.h"
#include "host/mio_tokenizer.h"

#include <cstddef>
#include <string_view>

// Reads the text of a memory initialisation file into a MIO_FILE: the header
// assignments, then the CONTENT section. token_ is the token the parser
// stands on; a failure is reported at a token's line in the file's error text.
class MIO_PARSER {
public:
    MIO_PARSER(std::string_view text, MIO_FILE& file) : tokens_(text), file_(file) {}

    bool parse() { return parse_header() && check_size() && parse_content(); }

private:
    void next() { token_ = tokens_.next(); }
    bool is_keyword(std::string_view keyword) const;
    bool is_mark(char mark) const { return token_.kind == mio_tokens::TOKEN_MARK && token_.text[0] == mark; }
    bool fail(const mio_tokens::TOKEN& at, const char* format, ...) __attribute__((format(printf, 3, 4)));
    bool expect_mark(char mark);

    bool parse_header();
    bool parse_assignment();
    bool read_size(const char* name, unsigned int& size);
    bool read_radix(int& radix);
    bool check_size();

    bool parse_content();
    void set_word_limits();
    bool parse_entry();
    bool read_range(unsigned int& first, unsigned int& last);
    bool read_address(unsigned int& address);
    bool parse_data_words(const mio_tokens::TOKEN& start, unsigned int first, unsigned int last, bool range);
    bool next_plain_data_word();
    bool check_list_token(size_t count, const mio_tokens::TOKEN& previous);
    bool check_data_word();
    bool word_fits(std::string_view digits, bool negative) const;
    bool parse_end();

    mio_tokens::TOKENIZER tokens_;
    MIO_FILE& file_;
    mio_tokens::TOKEN token_;
    int address_radix_ = MIO_RADIX_HEX;
    // Set when the content begins: the most characters of a data word, the
    // most significant digits (leading zeros aside) of a decimal one, and
    // the length up to which a word needs none of the checks (its value
    // fits WIDTH whatever its digits).
    size_t max_digits_ = 0;
    size_t max_decimal_digits_ = 0;
    size_t plain_digits_ = 0;
};
