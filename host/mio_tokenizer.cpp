// The tokenizer of the memory initialisation file parser.
#include "host/mio_tokenizer.h"
#include "host/mio_number.h"

namespace mio_tokens {

using mio_number::is_alphanumeric;

bool is_word_char(char c)
{
    return is_alphanumeric(c) || c == '_';
}

std::string shown(const TOKEN& token)
{
    constexpr size_t SHOWN = 40;
    std::string text;
    for (char c : token.text.substr(0, SHOWN))
        text += (c >= ' ' && c <= '~') ? c : '?';
    return token.text.size() > SHOWN ? text + "..." : text;
}

std::string quoted(const TOKEN& token)
{
    return token.kind == TOKEN_END ? "end of file" : "'" + shown(token) + "'";
}

void TOKENIZER::step()
{
    if (at(0, '\n') || (at(0, '\r') && !at(1, '\n')))
        ++line_;
    ++position_;
}

void TOKENIZER::skip_separators()
{
    while (position_ < text_.size()) {
        char c = text_[position_];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            step();
        } else if (c == '-' && at(1, '-')) {
            while (position_ < text_.size() && !at(0, '\n') && !at(0, '\r'))
                ++position_;
        } else if (c == '%') {
            size_t opened = line_;
            for (step(); position_ < text_.size() && !at(0, '%');)
                step();
            if (position_ == text_.size()) {
                open_comment_line_ = opened;
                return;
            }
            ++position_;
        } else {
            return;
        }
    }
}

// A word that starts with a letter or a digit is a word however it follows
// the text before it, and ends at the first character that is not a word
// character: when that is not '_', the word next() reads is the one here.
bool TOKENIZER::next_alphanumeric(TOKEN& token)
{
    while (position_ < text_.size() && text_[position_] == ' ')
        ++position_;
    if (position_ < text_.size() && !is_alphanumeric(text_[position_]))
        skip_separators();
    size_t start = position_;
    while (position_ < text_.size() && is_alphanumeric(text_[position_]))
        ++position_;
    if (position_ == start || (position_ < text_.size() && text_[position_] == '_')) {
        position_ = start;
        return false;
    }
    token.kind = TOKEN_WORD;
    token.text = text_.substr(start, position_ - start);
    token.line = line_;
    return true;
}

TOKEN TOKENIZER::next()
{
    skip_separators();
    TOKEN token;
    token.line = line_;
    if (position_ >= text_.size()) { // the end belongs to the last line, not to one after a final line break
        if (line_ > 1 && (text_.back() == '\n' || text_.back() == '\r'))
            --token.line;
        return token;
    }
    size_t start = position_;
    bool after_word = start > 0 && is_word_char(text_[start - 1]);
    bool signed_word = at(0, '-') && !after_word && position_ + 1 < text_.size() && is_word_char(text_[position_ + 1]);
    if (is_word_char(text_[position_]) || signed_word) {
        token.kind = TOKEN_WORD;
        for (++position_; position_ < text_.size() && is_word_char(text_[position_]);)
            ++position_;
    } else if (at(0, '.') && at(1, '.')) {
        token.kind = TOKEN_RANGE;
        position_ += 2;
    } else {
        token.kind = TOKEN_MARK;
        ++position_;
    }
    token.text = text_.substr(start, position_ - start);
    return token;
}

} // namespace mio_tokens
