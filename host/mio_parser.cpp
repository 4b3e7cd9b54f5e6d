// The parser of memory initialisation files: header assignments, the
// CONTENT section and the limits a file must keep.
#include "host/mio_parser.h"
#include "host/mio_number.h"

#include "host/cfg.h"
#include "host/mem.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

using mio_number::all_digits;
using mio_number::digit_value;
using mio_number::is_alphanumeric;
using mio_number::radix_of_mio;
using namespace mio_tokens;

namespace {

// Words a file may declare when neither the setting nor mio_set_max_words
// says otherwise. get_data_words makes one string per word: a word of up
// to 64 digits takes a string and its heap text, about 112 bytes, and the
// reader's packing 8 bytes more, so this many words stay near 0.5 GiB
// however small the file that asks for them.
constexpr unsigned int DEFAULT_MAX_WORDS = 1u << 22;
const char* const MAX_WORDS_SETTING = "PGM_MIF_MAX_WORDS";

// Set by mio_set_max_words; 0 when the setting decides.
std::atomic<unsigned int> max_words_override{0};

// The word limit in force: the override, else the setting when it is a
// positive number, else the default.
unsigned int max_words()
{
    if (unsigned int count = max_words_override)
        return count;
    int configured = cfg_get_int_value(MAX_WORDS_SETTING, 0);
    return configured > 0 ? unsigned(configured) : DEFAULT_MAX_WORDS;
}

// Widest WIDTH at which a negative decimal word is turned into its two's
// complement (2^WIDTH in decimal is worked out once per read of the words).
constexpr unsigned int MAX_NEGATIVE_WIDTH = 65536;

} // namespace

inline bool MIO_PARSER::is_keyword(std::string_view keyword) const
{
    std::string_view text = token_.text;
    if (token_.kind != TOKEN_WORD || text.size() != keyword.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if ((c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c) != keyword[i])
            return false;
    }
    return true;
}

bool MIO_PARSER::fail(const TOKEN& at, const char* format, ...)
{
    std::string text;
    va_list args;
    va_start(args, format);
    stl_vsprintf(text, format, args);
    va_end(args);
    size_t line = at.line;
    if (size_t opened = tokens_.open_comment_line()) {
        text = "'%' comment is not closed";
        line = opened;
    }
    MEM_DETAIL::stl_raw_sprintf(file_.error_, "line %zu: %s", line, text.c_str());
    return false;
}

bool MIO_PARSER::expect_mark(char mark)
{
    next();
    return is_mark(mark) || fail(token_, "expected '%c', found %s", mark, quoted(token_).c_str());
}

// ---- Header ----

// Assignments up to the word CONTENT.
bool MIO_PARSER::parse_header()
{
    for (next(); !is_keyword("CONTENT"); next()) {
        if (token_.kind == TOKEN_END)
            return fail(token_, "missing CONTENT BEGIN");
        if (!parse_assignment())
            return false;
    }
    return true;
}

// NAME = value; with token_ on NAME.
bool MIO_PARSER::parse_assignment()
{
    static const char* const NAMES[] = {"WIDTH", "DEPTH", "ADDRESS_RADIX", "DATA_RADIX"};
    size_t which = 0;
    while (which < 4 && !is_keyword(NAMES[which]))
        ++which;
    if (which == 4)
        return fail(token_, "expected a header assignment or CONTENT, found %s", quoted(token_).c_str());
    if (!expect_mark('='))
        return false;
    next();
    bool read = which == 0   ? read_size("WIDTH", file_.width_)
                : which == 1 ? read_size("DEPTH", file_.depth_)
                : which == 2 ? read_radix(address_radix_)
                             : read_radix(file_.data_radix_);
    return read && expect_mark(';');
}

bool MIO_PARSER::read_size(const char* name, unsigned int& size)
{
    uint64_t value = 0;
    bool digits = token_.kind == TOKEN_WORD && all_digits(token_.text, 10);
    for (size_t i = 0; digits && i < token_.text.size() && value <= UINT32_MAX; ++i)
        value = value * 10 + unsigned(token_.text[i] - '0');
    if (!digits || value == 0 || value > UINT32_MAX)
        return fail(token_, "%s must be a positive decimal number, found %s", name, quoted(token_).c_str());
    size = unsigned(value);
    return true;
}

bool MIO_PARSER::read_radix(int& radix)
{
    static const struct {
        const char* word;
        int radix;
    } RADIXES[] = {{"BIN", MIO_RADIX_BIN}, {"OCT", MIO_RADIX_OCT}, {"DEC", MIO_RADIX_DEC},
                   {"HEX", MIO_RADIX_HEX}, {"UNS", MIO_RADIX_UNS}};
    for (const auto& known : RADIXES) {
        if (is_keyword(known.word)) {
            radix = known.radix;
            return true;
        }
    }
    return fail(token_, "expected BIN, OCT, DEC, HEX or UNS, found %s", quoted(token_).c_str());
}

// WIDTH and DEPTH given and within the limits, with token_ on CONTENT.
bool MIO_PARSER::check_size()
{
    unsigned int width = file_.width_, depth = file_.depth_, limit = max_words();
    uint64_t bit_limit = std::min<uint64_t>(uint64_t(limit) * 64, UINT32_MAX);
    if (!width)
        return fail(token_, "WIDTH is not set");
    if (!depth)
        return fail(token_, "DEPTH is not set");
    if (depth > limit)
        return fail(token_, "DEPTH %u is above the limit of %u words (setting %s)", depth, limit,
                    MAX_WORDS_SETTING);
    if (uint64_t(width) * depth > bit_limit)
        return fail(token_, "WIDTH %u x DEPTH %u is above the limit of %llu bits (setting %s)", width, depth,
                    static_cast<unsigned long long>(bit_limit), MAX_WORDS_SETTING);
    return true;
}

// ---- Content ----

// BEGIN, the entries and END; with token_ on CONTENT.
bool MIO_PARSER::parse_content()
{
    set_word_limits();
    next();
    if (!is_keyword("BEGIN"))
        return fail(token_, "expected BEGIN, found %s", quoted(token_).c_str());
    for (next(); !is_keyword("END"); next()) {
        if (token_.kind == TOKEN_END)
            return fail(token_, "missing END");
        if (!parse_entry())
            return false;
    }
    return parse_end();
}

// Any word may have WIDTH characters (64 for narrower words). A decimal
// word of WIDTH bits needs at most ceil(WIDTH x log10(2)) significant
// digits; one more is let through, as a margin for the rounding. This also
// bounds the time its conversion takes.
void MIO_PARSER::set_word_limits()
{
    unsigned int radix = radix_of_mio(file_.data_radix_);
    max_digits_ = std::max<size_t>(file_.width_, 64);
    max_decimal_digits_ = size_t(-1);
    if (radix == 10)
        max_decimal_digits_ = size_t(std::ceil(file_.width_ * std::log10(2.0))) + 1;
    // Digits of a value that always fits: WIDTH / bits per digit, or for
    // decimal words those below 10^d <= 2^WIDTH (a little short of the
    // bound, so that rounding never lets a word through unchecked).
    size_t fitting = radix == 10 ? size_t(std::max(0.0, file_.width_ * std::log10(2.0) - 1e-6))
                                 : file_.width_ / (radix == 2 ? 1 : radix == 8 ? 3 : 4);
    plain_digits_ = std::min({max_digits_, max_decimal_digits_, fitting});
}

// A : D...; or [A0..A1] : D...; with token_ on its first token.
bool MIO_PARSER::parse_entry()
{
    TOKEN start = token_;
    unsigned int first = 0, last = 0;
    bool range = is_mark('[');
    if (range ? !read_range(first, last) : !read_address(first))
        return false;
    return expect_mark(':') && parse_data_words(start, first, last, range);
}

bool MIO_PARSER::read_range(unsigned int& first, unsigned int& last)
{
    next();
    TOKEN from = token_;
    if (!read_address(first))
        return false;
    next();
    if (token_.kind != TOKEN_RANGE)
        return fail(token_, "expected '..', found %s", quoted(token_).c_str());
    next();
    TOKEN to = token_;
    if (!read_address(last) || !expect_mark(']'))
        return false;
    return first <= last || fail(from, "range [%s..%s] runs backwards", shown(from).c_str(), shown(to).c_str());
}

bool MIO_PARSER::read_address(unsigned int& address)
{
    if (token_.kind != TOKEN_WORD)
        return fail(token_, "expected an address, found %s", quoted(token_).c_str());
    unsigned int radix = radix_of_mio(address_radix_);
    uint64_t value = 0;
    for (char c : token_.text) {
        unsigned int digit = digit_value(c, radix);
        if (digit >= radix)
            return fail(token_, "bad address %s", quoted(token_).c_str());
        value = std::min<uint64_t>(value * radix + digit, uint64_t(1) << 32);
    }
    if (value >= file_.depth_)
        return fail(token_, "address %s is beyond DEPTH %u", quoted(token_).c_str(), file_.depth_);
    address = unsigned(value);
    return true;
}

// The data words up to ';', with token_ on ':'. start is the entry's first token.
bool MIO_PARSER::parse_data_words(const TOKEN& start, unsigned int first, unsigned int last, bool range)
{
    size_t word = file_.pool_.size(), count = 0;
    TOKEN previous; // the last data word
    for (bool plain = next_plain_data_word(); plain || !is_mark(';'); plain = next_plain_data_word()) {
        if (!plain && !check_list_token(count, previous))
            return false;
        file_.pool_.append(token_.text);
        file_.pool_.push_back(' ');
        previous = token_;
        ++count;
    }
    if (!count)
        return fail(token_, "expected a data word, found ';'");
    size_t room = range ? size_t(last) - first + 1 : size_t(file_.depth_) - first;
    if (count > room && range)
        return fail(token_, "%zu data words for a range of %zu addresses", count, room);
    if (count > room)
        return fail(token_, "data words from address %s run beyond DEPTH %u", quoted(start).c_str(), file_.depth_);
    unsigned int end = range ? last : first + unsigned(count) - 1;
    file_.entries_.push_back({first, end, unsigned(count), word, start.line});
    return true;
}

// Reads the next token of a list of data words; true when it is a word of
// letters and digits, of at most plain_digits_ and not END: a data word that
// check_list_token would accept, so the list takes it without more checks.
inline bool MIO_PARSER::next_plain_data_word()
{
    if (!tokens_.next_alphanumeric(token_)) {
        next();
        return false;
    }
    return token_.text.size() <= plain_digits_ && !is_keyword("END");
}

// token_, a token of a list of data words that is not its closing ';', is a data word.
bool MIO_PARSER::check_list_token(size_t count, const TOKEN& previous)
{
    if (count && is_mark(':'))
        return fail(previous, "missing ';' before %s", quoted(previous).c_str());
    if (count && (is_mark('[') || is_keyword("END")))
        return fail(token_, "missing ';' before %s", quoted(token_).c_str());
    return check_data_word();
}

// token_ is a word of letters and digits, with a '-' only under DATA_RADIX DEC,
// and no longer than a word needs (which bounds the words get_data_words makes).
bool MIO_PARSER::check_data_word()
{
    bool negative = token_.kind == TOKEN_WORD && token_.text[0] == '-';
    std::string_view digits = token_.text.substr(negative ? 1 : 0);
    if (token_.kind != TOKEN_WORD || !std::all_of(digits.begin(), digits.end(), is_alphanumeric))
        return fail(token_, "expected a data word, found %s", quoted(token_).c_str());
    if (digits.size() > max_digits_)
        return fail(token_, "data word %s has more than %zu digits", quoted(token_).c_str(), max_digits_);
    size_t significant = digits.size() - std::min(digits.size(), digits.find_first_not_of('0'));
    if (significant > max_decimal_digits_)
        return fail(token_, "decimal data word %s has more than %zu digits for WIDTH %u", quoted(token_).c_str(),
                    max_decimal_digits_, file_.width_);
    if (negative && file_.data_radix_ != MIO_RADIX_DEC)
        return fail(token_, "negative word %s needs DATA_RADIX DEC", quoted(token_).c_str());
    if (negative && file_.width_ > MAX_NEGATIVE_WIDTH && all_digits(digits, 10))
        return fail(token_, "negative word %s needs a WIDTH of at most %u", quoted(token_).c_str(),
                    MAX_NEGATIVE_WIDTH);
    if (word_fits(digits, negative))
        return true;
    if (negative)
        return fail(token_, "negative word %s is below -2^%u, the least value of WIDTH %u", quoted(token_).c_str(),
                    file_.width_ - 1, file_.width_);
    return fail(token_, "data word %s is wider than WIDTH %u", quoted(token_).c_str(), file_.width_);
}

namespace {

unsigned int bit_length(uint64_t value)
{
    unsigned int bits = 0;
    for (; value != 0; value >>= 1)
        ++bits;
    return bits;
}

} // namespace

// True when the word's value fits WIDTH bits: its digits as an unsigned
// number, or under DATA_RADIX DEC -digits as a two's complement number
// (at least -2^(WIDTH-1)). A word with a character that is no digit of the
// radix is left to the conversion, which refuses it.
bool MIO_PARSER::word_fits(std::string_view digits, bool negative) const
{
    unsigned int radix = radix_of_mio(file_.data_radix_);
    size_t first = digits.find_first_not_of('0');
    if (first == std::string_view::npos || !all_digits(digits, radix))
        return true;
    digits = digits.substr(first);
    uint64_t bits = 0;
    bool power_of_two = false;
    if (radix != 10) {
        uint64_t digit_bits = radix == 2 ? 1 : radix == 8 ? 3 : 4;
        bits = (digits.size() - 1) * digit_bits + bit_length(digit_value(digits[0], radix));
    } else if (digits.size() <= 19) { // below 2^64
        uint64_t value = 0;
        for (char c : digits)
            value = value * 10 + unsigned(c - '0');
        bits = bit_length(value);
        power_of_two = (value & (value - 1)) == 0;
    } else {
        std::string binary;
        mio_number::convert(digits, 10, 2, binary);
        bits = binary.size();
        power_of_two = binary.find('1', 1) == std::string::npos;
    }
    if (!negative)
        return bits <= file_.width_;
    return bits < file_.width_ || (bits == file_.width_ && power_of_two);
}

// ; and the end of the text, with token_ on END.
bool MIO_PARSER::parse_end()
{
    if (!expect_mark(';'))
        return false;
    next();
    if (token_.kind != TOKEN_END || tokens_.open_comment_line())
        return fail(token_, "unexpected %s after END;", quoted(token_).c_str());
    return true;
}

void mio_set_max_words(unsigned int count)
{
    max_words_override = count;
}
