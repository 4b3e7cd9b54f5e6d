// The tokenizer of the memory initialisation file parser (host/mio_parser.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mio_tokens {

enum TOKEN_KIND {
    TOKEN_END,   // end of the text
    TOKEN_WORD,  // letters, digits and '_'; also with a leading '-' when not straight after such characters
    TOKEN_RANGE, // ".."
    TOKEN_MARK,  // any other single character
};

struct TOKEN {
    TOKEN_KIND kind = TOKEN_END;
    std::string_view text;
    size_t line = 1;
};

// Letters, digits and '_'.
bool is_word_char(char c);
// The token's text as error texts show it: shortened, unprintable bytes as '?'.
std::string shown(const TOKEN& token);
// The token quoted for an error text, or "end of file".
std::string quoted(const TOKEN& token);

// Splits the text into tokens, skipping spaces, tabs, line breaks, "--"
// comments to the end of the line and "%" comments to the next "%".
class TOKENIZER {
public:
    explicit TOKENIZER(std::string_view text) : text_(text)
    {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") // UTF-8 byte order mark
            position_ = 3;
    }

    // The next token; TOKEN_END at the end of the text, also inside a "%" comment left open.
    TOKEN next();
    // next() for the common token of a list of data words: true with the
    // token when it is letters and digits only; false, having read no more
    // than separators, when it is of any other form.
    bool next_alphanumeric(TOKEN& token);
    // Line of a "%" comment that the text leaves open, 0 when none.
    size_t open_comment_line() const { return open_comment_line_; }

private:
    bool at(size_t offset, char c) const { return position_ + offset < text_.size() && text_[position_ + offset] == c; }
    // Steps over one character, counting LF and a CR not followed by LF as line breaks.
    void step();
    void skip_separators();

    std::string_view text_;
    size_t position_ = 0; // first character not yet read
    size_t line_ = 1;     // line of position_
    size_t open_comment_line_ = 0;
};

} // namespace mio_tokens
