// Memory initialisation file library of the host suite: the file object,
// which reads a file through the parser (host/mio_parser.cpp) and hands out
// its data words.
#include "host/mio.h"
#include "host/mio_number.h"
#include "host/mio_parser.h"

#include "host/mem.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numeric>
#include <unordered_map>

using mio_number::all_digits;
using mio_number::power_of_two_decimal;
using mio_number::twos_complement_decimal;

namespace {

// The lowest address from address on that no later entry has set. next[a]
// leads towards it; the paths walked are halved on the way.
unsigned int first_unset(std::vector<unsigned int>& next, unsigned int address)
{
    while (next[address] != address) {
        next[address] = next[next[address]];
        address = next[address];
    }
    return address;
}

// ---- Files ----

struct FILE_CLOSER {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FILE_HANDLE = std::unique_ptr<FILE, FILE_CLOSER>;

// True when the file opens and its first byte (if any) can be read.
bool file_readable(const std::string& path)
{
    FILE_HANDLE file(std::fopen(path.c_str(), "rb"));
    return file && (std::fgetc(file.get()) != EOF || !std::ferror(file.get()));
}

bool load_file(const std::string& path, std::string& text)
{
    FILE_HANDLE file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    std::error_code ignored;
    uintmax_t size = std::filesystem::file_size(path, ignored);
    if (!ignored && size < text.max_size())
        text.reserve(size_t(size));
    constexpr size_t CHUNK = size_t(1) << 20;
    size_t got = CHUNK;
    while (got == CHUNK) {
        size_t old_size = text.size();
        text.resize(old_size + CHUNK);
        got = std::fread(&text[old_size], 1, CHUNK, file.get());
        text.resize(old_size + got);
    }
    return !std::ferror(file.get());
}

} // namespace

// ---- MIO_FILE ----

MIO_FILE::MIO_FILE(bool read_only) : read_only_(read_only) {}

void MIO_FILE::set_file_type(int type)
{
    file_type_ = type;
}

void MIO_FILE::set_file_name(const std::string& path)
{
    path_ = path;
}

void MIO_FILE::set_pad_type_and_char(int pad_type, char pad_char)
{
    pad_type_ = pad_type;
    pad_char_ = pad_char;
}

bool MIO_FILE::can_proceed_with_read()
{
    if (file_type_ != 1)
        MEM_DETAIL::stl_raw_sprintf(error_, "unknown file type %d", file_type_);
    else if (path_.empty())
        error_ = "no file name";
    else if (!file_readable(path_))
        MEM_DETAIL::stl_raw_sprintf(error_, "cannot read file '%s'", path_.c_str());
    else
        return true;
    return false;
}

bool MIO_FILE::read_file(int, int)
{
    clear_content();
    std::string text;
    if (file_type_ != 1 || path_.empty())
        return can_proceed_with_read();
    if (!load_file(path_, text)) {
        MEM_DETAIL::stl_raw_sprintf(error_, "cannot read file '%s'", path_.c_str());
        return false;
    }
    // The pool holds tokens of the text, each with a ' ' where the text has
    // at least one character after it (but for a last word, which the parse
    // rejects), so it never needs more room than this.
    pool_.reserve(text.size() + 1);
    if (MIO_PARSER(text, *this).parse())
        return true;
    clear_content();
    return false;
}

void MIO_FILE::clear_content()
{
    width_ = 0;
    depth_ = 0;
    data_radix_ = MIO_RADIX_HEX;
    entries_ = std::vector<ENTRY>();
    pool_ = std::string();
}

int MIO_FILE::get_memory_radix() const
{
    return data_radix_;
}

unsigned int MIO_FILE::get_number_of_words() const
{
    return depth_;
}

unsigned int MIO_FILE::get_word_size() const
{
    return width_;
}

// The data word at pool_[offset], which runs to the next ' '.
inline std::string_view MIO_FILE::word_text(size_t offset) const
{
    size_t end = offset;
    while (pool_[end] != ' ')
        ++end;
    return std::string_view(pool_.data() + offset, end - offset);
}

namespace {

// A negative decimal word, which get_data_words turns into its two's complement.
bool is_negative_word(std::string_view text)
{
    return text[0] == '-' && all_digits(text.substr(1), 10);
}

} // namespace

// Negative decimal words met by get_data_words: 2^WIDTH in decimal once one
// needs it, and for each such data word an address already holding its value.
struct MIO_FILE::NEGATIVE_WORDS {
    unsigned int width;
    std::string power;
    std::unordered_map<size_t, size_t> addresses;

    void set(std::vector<std::string>& words, size_t address, size_t offset, std::string_view text);
};

// Sets words[address] to the two's complement of the negative data word at
// pool_[offset] with text, worked out once per data word and copied after that.
void MIO_FILE::NEGATIVE_WORDS::set(std::vector<std::string>& words, size_t address, size_t offset,
                                   std::string_view text)
{
    auto done = addresses.find(offset);
    if (done != addresses.end()) {
        words[address] = words[done->second];
        return;
    }
    if (power.empty())
        power = power_of_two_decimal(width);
    words[address] = twos_complement_decimal(text.substr(1), width, power);
    addresses.emplace(offset, address);
}

void MIO_FILE::get_data_words(std::vector<std::string>& words) const
{
    words.clear();
    NEGATIVE_WORDS negatives{width_, {}, {}};
    if (entries_in_order())
        get_words_in_order(words, negatives);
    else
        get_words_any_order(words, negatives);
}

// True when each entry starts past the end of the one before it, so that no
// address is set twice.
bool MIO_FILE::entries_in_order() const
{
    for (size_t i = 1; i < entries_.size(); ++i) {
        if (entries_[i].first <= entries_[i - 1].last)
            return false;
    }
    return true;
}

// With the entries in address order and apart, each address takes the word
// of the one entry that covers it, or "0": what get_words_any_order gives.
// The words are appended in address order, each made once.
void MIO_FILE::get_words_in_order(std::vector<std::string>& words, NEGATIVE_WORDS& negatives) const
{
    words.reserve(depth_);
    for (const ENTRY& entry : entries_) {
        words.resize(entry.first, std::string(1, '0'));
        size_t offset = entry.word, listed = 0;
        for (size_t address = entry.first; address <= entry.last; ++address) {
            std::string_view text = word_text(offset);
            if (is_negative_word(text)) {
                words.emplace_back();
                negatives.set(words, address, offset, text);
            } else {
                words.emplace_back(text.data(), text.size());
            }
            offset += text.size() + 1;
            if (++listed == entry.count) { // a range repeats its list
                offset = entry.word;
                listed = 0;
            }
        }
    }
    words.resize(depth_, std::string(1, '0'));
}

// Walks the entries from the last to the first, so that each address takes
// the word of the last entry that covers it and is written once.
void MIO_FILE::get_words_any_order(std::vector<std::string>& words, NEGATIVE_WORDS& negatives) const
{
    words.assign(depth_, std::string(1, '0'));
    std::vector<unsigned int> next(size_t(depth_) + 1);
    std::iota(next.begin(), next.end(), 0u);
    std::vector<size_t> offsets; // of the words of the entry
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
        offsets.clear();
        for (size_t offset = entry->word; offsets.size() < entry->count; offset += word_text(offset).size() + 1)
            offsets.push_back(offset);
        for (unsigned int address = first_unset(next, entry->first); address <= entry->last;
             address = first_unset(next, address + 1)) {
            next[address] = address + 1;
            size_t offset = offsets[(address - entry->first) % entry->count];
            std::string_view text = word_text(offset);
            if (is_negative_word(text))
                negatives.set(words, address, offset, text);
            else
                words[address].assign(text.data(), text.size());
        }
    }
}

const std::string& MIO_FILE::get_error_text() const
{
    return error_;
}

size_t MIO_FILE::get_word_line(unsigned int address) const
{
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
        if (entry->first <= address && address <= entry->last)
            return entry->line;
    }
    return 0;
}
