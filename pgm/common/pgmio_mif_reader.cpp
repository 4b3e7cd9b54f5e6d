// Reader of memory initialisation files into packed bits: the host
// library parses the file into data words as digit strings, which are
// converted to binary and packed word after word, least significant bit
// first.
#include "pgm/h/pgmio_hex_reader.h"

#include "host/mem.h"
#include "host/mio.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_common_catalogue.h"

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// The radix conversion code of a file radix.
int conversion_code(int radix)
{
    switch (radix) {
    case 0: return 0;
    case 1: return 3;
    case 2: return 4;
    case 3: return 2;
    case 4: return 1;
    default: PGM_FAIL("Unexpected radix");
    }
}

// Prepares the host library to read path; with pad, as for a full read.
// Null after showing or posting message 17925 when the file cannot be
// parsed, with the parser's reason in error_text (none for a file that
// cannot be opened).
std::unique_ptr<MIO_FILE> open_mif(const std::string& path, bool pad, bool errors_as_warnings,
                                   std::string& error_text)
{
    auto mio = std::make_unique<MIO_FILE>(true);
    mio->set_file_type(1);
    mio->set_file_name(path);
    if (pad)
        mio->set_pad_type_and_char(1, '1');
    bool opened = mio->can_proceed_with_read();
    if (opened && mio->read_file(0, 0))
        return mio;
    error_text = opened ? mio->get_error_text() : "";
    pgm_msg_issue(*pgm_msg_invalid_mif_file(path), errors_as_warnings);
    return nullptr;
}

// The reason for message 17924 at the word of the address.
std::string bad_word_text(const MIO_FILE& mio, size_t address)
{
    static const char* const RADIXES[] = {"BIN", "HEX", "UNS", "DEC", "OCT"};
    int radix = mio.get_memory_radix();
    std::string text;
    MEM_DETAIL::stl_raw_sprintf(text, "line %zu: a data word holds a character that is not a %s digit",
                mio.get_word_line(unsigned(address)), radix >= 0 && radix < 5 ? RADIXES[radix] : "DATA_RADIX");
    return text;
}

// The bits of the 8 binary digits at digits, the last one as bit 0 (the
// digits are '0' and '1', so their low bits are the bits). Multiplying
// moves the low bit of byte i (bit 8i) to bit 63 - i, with no carries.
unsigned int byte_of_digits(const char* digits)
{
    uint64_t low_bits = 0;
    for (int i = 0; i < 8; ++i)
        low_bits |= uint64_t(digits[i] & 1) << (8 * i);
    return unsigned((low_bits * 0x8040201008040201ull) >> 56);
}

// Sets the word's bits from index on, at most width of them; index ends
// past the word, or at bit_size. The last digit is bit 0 of the word; the
// digits are gathered a byte of the data at a time.
void pack_word(const std::string& binary, DWORD width, QWORD bit_size, QWORD& index, BYTE* data)
{
    QWORD word_end = std::min(index + width, bit_size);
    QWORD digits_end = std::min<QWORD>(word_end, index + binary.size());
    const char* digit = binary.data() + binary.size(); // past the next digit to place
    while (index < digits_end) {
        unsigned int shift = unsigned(index % 8);
        unsigned int count = unsigned(std::min<QWORD>(8 - shift, digits_end - index));
        unsigned int bits = 0;
        if (count == 8) {
            bits = byte_of_digits(digit - 8);
        } else {
            for (unsigned int bit = 0; bit < count; ++bit)
                bits |= unsigned(digit[-1 - int(bit)] & 1) << bit;
        }
        digit -= count;
        data[index / 8] = BYTE(data[index / 8] | (bits << shift));
        index += count;
    }
    index = word_end;
}

} // namespace

PGMIO_MIF_READER::PGMIO_MIF_READER() : byte_size(0), bit_size(0), required_size(0) {}

bool PGMIO_MIF_READER::read_mif_file()
{
    byte_size = 0;
    bit_size = 0;
    data.reset();
    error_text.clear();
    std::string full_path = file.fullpath();
    std::unique_ptr<MIO_FILE> mio = open_mif(full_path, true, false, error_text);
    if (!mio)
        return false;
    QWORD bits = QWORD(mio->get_word_size()) * mio->get_number_of_words();
    if (bits > QWORD(DWORD(-1))) {
        MEM_DETAIL::stl_raw_sprintf(error_text, "WIDTH %u x DEPTH %u is above %u bits", mio->get_word_size(),
                    mio->get_number_of_words(), unsigned(DWORD(-1)));
        pgm_msg_issue(*pgm_msg_invalid_mif_file(full_path), false);
        return false;
    }
    bit_size = DWORD(bits);
    byte_size = DWORD((bits + 7) / 8);
    std::shared_ptr<BYTE[]> packed(new BYTE[byte_size]());
    int code = conversion_code(mio->get_memory_radix());
    std::vector<std::string> words;
    mio->get_data_words(words);

    bool shown = false;
    QWORD index = 0;
    std::string binary;
    for (size_t w = 0; w < words.size() && index < bit_size; ++w) {
        if (big_radix_conversion(words[w], binary, code, 0, 0) == 1) {
            if (!shown)
                error_text = bad_word_text(*mio, w);
            pgm_msg_issue(*pgm_msg_mif_invalid_char(full_path), false);
            shown = true;
            continue;
        }
        pack_word(binary, mio->get_word_size(), bit_size, index, packed.get());
    }
    if (!shown)
        PGM_CHECK_TEXT(index == bit_size, "index == m_bit_size");
    pgm_post_depth_warnings(byte_size, required_size, full_path);
    if (shown) {
        // Half-converted words are no data: the reader keeps none.
        byte_size = 0;
        bit_size = 0;
        return false;
    }
    data = packed;
    return true;
}

bool PGMIO_MIF_READER::can_read_mif_file(bool errors_as_warnings)
{
    error_text.clear();
    std::string full_path = file.fullpath();
    std::unique_ptr<MIO_FILE> mio = open_mif(full_path, false, errors_as_warnings, error_text);
    if (!mio)
        return false;
    int code = conversion_code(mio->get_memory_radix());
    std::vector<std::string> words;
    mio->get_data_words(words);
    std::string binary;
    for (size_t w = 0; w < words.size(); ++w) {
        if (big_radix_conversion(words[w], binary, code, 0, 0) == 1) {
            error_text = bad_word_text(*mio, w);
            pgm_msg_issue(*pgm_msg_mif_invalid_char(full_path), errors_as_warnings);
            return false;
        }
    }
    return true;
}
