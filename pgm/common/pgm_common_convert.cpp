// Conversions between texts and numbers, hex strings and byte arrays.
#include "pgm/h/pgm_common.h"

#include "host/gen.h"
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_hex_digit.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

const char UPPER_HEX_DIGITS[] = "0123456789ABCDEF";
const char LOWER_HEX_DIGITS[] = "0123456789abcdef";
const std::string QWORD_MAX_TEXT = "18446744073709551615";

bool starts_with(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::string trim(const std::string& text)
{
    return gen_remove_leading_and_trailing_white_spaces(text);
}

bool all_chars_in(const std::string& text, const char* allowed)
{
    return text.find_first_not_of(allowed) == std::string::npos;
}

// True when a text of decimal digits holds a value of at most 64 bits.
bool decimal_fits_qword(const std::string& digits)
{
    const size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return true;
    const size_t length = digits.size() - first;
    if (length != QWORD_MAX_TEXT.size())
        return length < QWORD_MAX_TEXT.size();
    return digits.compare(first, length, QWORD_MAX_TEXT) <= 0;
}

enum NUMBER_FORM { NUMBER_DECIMAL, NUMBER_BINARY, NUMBER_HEXADECIMAL, NUMBER_SHIFT };

// "a << b" of the plain number syntax; false for bad text.
bool convert_shift_form(const std::string& text, QWORD& result)
{
    const size_t at = text.find("<<");
    if (text.size() < 5 || at == 0)
        return false;
    const std::string left_text = trim(text.substr(0, at));
    const std::string right_text = trim(text.substr(at + 2));
    if (left_text.empty() || right_text.empty())
        return false;
    bool left_ok = false;
    bool right_ok = false;
    const QWORD left = PGM_COMMON::convert_string_to_qword(left_text, true, &left_ok, NULL, false);
    const QWORD right = PGM_COMMON::convert_string_to_qword(right_text, true, &right_ok, NULL, false);
    if (!left_ok || !right_ok)
        return false;
    result = left << (right % 64);
    return true;
}

// Reads hex digits into a zero-filled array of count bytes. The plain form
// reads the text from its end, the last digit being the low nibble of
// byte 0; the standard form reads it from its start, the first digit being
// the high nibble of byte 0. Digits past 2 * count are not read.
BYTE* hex_string_to_byte_array(const std::string& hex_string, DWORD limit_byte_size, DWORD* byte_size,
                               bool* status, bool standard)
{
    PGM_CHECK(limit_byte_size > 0);
    const DWORD count =
        limit_byte_size == DWORD(-1) ? DWORD((hex_string.size() + 1) / 2) : limit_byte_size;
    if (status)
        *status = true;
    std::unique_ptr<BYTE[]> bytes;
    if (count > 0)
        bytes.reset(new BYTE[count]());
    const size_t digits = std::min<QWORD>(hex_string.size(), QWORD(count) * 2);
    bool ok = true;
    for (size_t i = 0; i < digits; i++) {
        const char c = standard ? hex_string[i] : hex_string[hex_string.size() - 1 - i];
        const int nibble = pgm_hex_digit_value(c);
        if (nibble < 0) {
            if (!status)
                PGM_FAIL("Invalid hex string to BYTE array conversion: %s", hex_string.c_str());
            *status = false;
            ok = false;
            break;
        }
        const bool high = standard ? (i % 2 == 0) : (i % 2 == 1);
        bytes[i / 2] |= BYTE(high ? nibble << 4 : nibble);
    }
    if (byte_size)
        *byte_size = count;
    return ok ? bytes.release() : NULL;
}

// Two hex digits per byte, in the given byte order.
std::string bytes_to_hex(const BYTE* value, DWORD count, bool upper_case, bool prefix_0x, bool last_first)
{
    PGM_CHECK(value != NULL && count != 0);
    const char* table = upper_case ? UPPER_HEX_DIGITS : LOWER_HEX_DIGITS;
    std::string text = prefix_0x ? "0x" : "";
    text.reserve(text.size() + size_t(count) * 2);
    for (DWORD i = 0; i < count; i++) {
        const BYTE byte = value[last_first ? count - 1 - i : i];
        text += table[byte >> 4];
        text += table[byte & 0xF];
    }
    return text;
}

// The last count of the 16 upper-case hex digits of value.
std::string qword_to_hex(QWORD value, DWORD count, bool prefix_0x)
{
    std::string digits(16, '0');
    for (size_t i = 16; i-- > 0; value >>= 4)
        digits[i] = UPPER_HEX_DIGITS[value & 0xF];
    return (prefix_0x ? "0x" : "") + digits.substr(16 - count);
}

} // namespace

QWORD PGM_COMMON::convert_string_to_qword(std::string string, bool no_empty, bool* status, QWORD* default_value,
                                          bool allow_shift)
{
    PGM_CHECK(!no_empty || !string.empty());
    const std::string given = string;
    QWORD result = default_value ? *default_value : 0;
    bool ok = true;

    const bool negative = starts_with(string, "-");
    if (negative)
        string.erase(0, 1);

    NUMBER_FORM form = NUMBER_DECIMAL;
    if (allow_shift && string.find("<<") != std::string::npos) {
        form = NUMBER_SHIFT;
    } else if (starts_with(string, "0x")) {
        form = NUMBER_HEXADECIMAL;
        string.erase(0, 2);
        stl_toupper(string);
        ok = string.size() <= 16;
    } else if (starts_with(string, "b")) {
        form = NUMBER_BINARY;
        string.erase(0, 1);
        ok = string.size() <= 64;
    }

    QWORD shifted = 0;
    switch (form) {
    case NUMBER_DECIMAL:
        // A value above 64 bits is bad text, not a wrapped or saturated number.
        ok = ok && all_chars_in(string, "0123456789") && decimal_fits_qword(string);
        break;
    case NUMBER_BINARY:
        ok = ok && all_chars_in(string, "01");
        break;
    case NUMBER_HEXADECIMAL:
        ok = ok && all_chars_in(string, "0123456789ABCDEF");
        break;
    case NUMBER_SHIFT:
        ok = convert_shift_form(string, shifted);
        break;
    }

    if (!ok && !status)
        PGM_FAIL("Invalid string \"%s\" to qword conversion", given.c_str());
    if (ok && !string.empty()) {
        const int base = form == NUMBER_BINARY ? 2 : form == NUMBER_HEXADECIMAL ? 16 : 10;
        result = form == NUMBER_SHIFT ? shifted : gen_local_strtoQWORD(string.c_str(), NULL, base);
        if (negative)
            result = 0 - result;
    }
    if (status)
        *status = ok;
    return result;
}

DWORD PGM_COMMON::convert_string_to_dword(std::string string, bool no_empty, bool* status, DWORD* default_value,
                                          bool allow_shift)
{
    QWORD wide_default = default_value ? *default_value : 0;
    return DWORD(convert_string_to_qword(string, no_empty, status, default_value ? &wide_default : NULL,
                                         allow_shift));
}

int PGM_COMMON::convert_string_to_integer(std::string string, bool no_empty, bool* status, int* default_value,
                                          bool allow_shift)
{
    if (status)
        *status = true;
    const bool negative = starts_with(string, "-");
    if (negative)
        string.erase(0, 1);
    if (string.find("-") != std::string::npos && status) {
        *status = false;
        return 0;
    }
    PGM_CHECK_TEXT(string.find("-") == std::string::npos, "string.find(\"-\") == STL_STRING::npos");
    DWORD dword_default = default_value ? DWORD(*default_value) : 0;
    const DWORD value =
        convert_string_to_dword(string, no_empty, status, default_value ? &dword_default : NULL, allow_shift);
    return int(negative ? 0u - value : value);
}

QWORD PGM_COMMON::convert_string_to_special_qword(std::string string, std::string shift_word, bool no_empty,
                                                  bool* status, DWORD max_bit_size)
{
    PGM_CHECK(shift_word.size() && max_bit_size > 0 && max_bit_size < 64);
    // One plain number, the usual case, needs no splitting.
    if (!string.empty() && std::isalnum(static_cast<unsigned char>(string.front())) &&
        std::isalnum(static_cast<unsigned char>(string.back())) && string.find('|') == std::string::npos &&
        string.find(shift_word) == std::string::npos && string.front() != shift_word.front() &&
        string.back() != shift_word.back()) {
        bool ok = true;
        const QWORD value = convert_string_to_qword(string, no_empty, status ? &ok : NULL, NULL, false);
        if (status)
            *status = ok;
        return ok ? value : 0;
    }
    string = trim(string);
    PGM_CHECK(!no_empty || !string.empty());

    QWORD result = 0;
    bool ok = !starts_with(string, "|") && (string.empty() || string.back() != '|');
    std::vector<std::string> pieces;
    for (size_t start = 0; ok && !string.empty() && start <= string.size();) {
        size_t end = string.find('|', start);
        if (end == std::string::npos)
            end = string.size();
        const std::string single_string = string.substr(start, end - start);
        PGM_CHECK(single_string.size());
        pieces.push_back(single_string);
        start = end + 1;
    }

    // A failing piece raises the qword conversion's own error when there is no status.
    bool piece_ok = true;
    bool* piece_status = status ? &piece_ok : NULL;
    for (size_t i = 0; ok && i < pieces.size(); i++) {
        const std::string piece = trim(pieces[i]);
        ok = !piece.empty() && piece.front() != shift_word.front() && piece.back() != shift_word.back();
        if (!ok)
            break;
        const size_t at = piece.find(shift_word);
        if (at == std::string::npos) {
            result |= convert_string_to_qword(piece, no_empty, piece_status, NULL, false);
            ok = piece_ok;
            continue;
        }
        const QWORD left = convert_string_to_qword(trim(piece.substr(0, at)), no_empty, piece_status, NULL, false);
        ok = piece_ok;
        if (!ok)
            break;
        const QWORD amount =
            convert_string_to_qword(trim(piece.substr(at + shift_word.size())), no_empty, piece_status, NULL, false);
        ok = piece_ok && amount < max_bit_size;
        if (ok)
            result |= left << amount;
    }

    if (!status)
        PGM_CHECK_TEXT(ok, "Invalid string to special qword conversion");
    else
        *status = ok;
    return ok ? result : 0;
}

DWORD PGM_COMMON::convert_string_to_special_dword(std::string string, std::string shift_word, bool no_empty,
                                                  bool* status)
{
    return DWORD(convert_string_to_special_qword(string, shift_word, no_empty, status, 32));
}

bool PGM_COMMON::convert_scientific_string_to_qword(std::string string, QWORD& value, std::string& error_message)
{
    error_message = "";
    value = 0;
    bool ok = false;
    const QWORD plain = convert_string_to_qword(string, true, &ok, NULL, false);
    if (ok) {
        value = plain;
        return true;
    }

    static const char* const MARKERS[] = {"'b", "'d", "'h"};
    size_t at = std::string::npos;
    char base = 0;
    for (const char* marker : MARKERS) {
        at = string.find(marker);
        if (at != std::string::npos) {
            base = marker[1];
            break;
        }
    }
    if (at == std::string::npos) {
        error_message = "Unable to find scientific keyword";
        return false;
    }
    const std::string width_text = string.substr(0, at);
    std::string digits = string.substr(at + 2);

    if (base == 'b') {
        QWORD width = 64;
        width = convert_string_to_qword(width_text, false, NULL, &width, false);
        if (digits.empty() || digits.size() > width) {
            error_message = "Invalid BINARY size";
            return false;
        }
        QWORD bits = 0;
        for (size_t i = 0; i < digits.size(); i++) {
            const char digit = digits[digits.size() - 1 - i];
            if (digit != '0' && digit != '1' && digit != '?') {
                error_message = "BINARY should be \"0\", \"1\", or \"?\"";
                return false;
            }
            if (digit == '1' && i < 64)
                bits |= QWORD(1) << i;
        }
        value = bits;
        return true;
    }

    const char* const question_error = base == 'd' ? "DECIMAL should be \"0 - 9\", or \"?\""
                                                   : "HEXADECIMAL should be \"0 - 9\", \"A - F\", or \"?\"";
    DWORD width = base == 'd' ? 0 : 16;
    width = convert_string_to_dword(width_text, false, NULL, &width, false);
    if (digits.empty() || (base == 'h' && digits.size() > width)) {
        error_message = base == 'd' ? "Invalid DECIMAL size" : "Invalid HEXADECIMAL size";
        return false;
    }
    for (char& digit : digits) {
        const bool valid = base == 'd' ? (digit >= '0' && digit <= '9') : pgm_hex_digit_value(digit) >= 0;
        if (!valid && digit != '?') {
            error_message = question_error;
            return false;
        }
        if (digit == '?')
            digit = '0';
    }

    if (base == 'h') {
        value = convert_string_to_qword("0x" + digits, true, NULL, NULL, false);
        return true;
    }
    // A decimal value beyond 64 bits exceeds every width.
    bool fits = false;
    const QWORD decimal = convert_string_to_qword(digits, true, &fits, NULL, false);
    if (!fits || (width >= 1 && width <= 63 && decimal > (QWORD(1) << width) - 1)) {
        error_message = "In DECIMAL value exceed its size";
        return false;
    }
    value = decimal;
    return true;
}

BYTE* PGM_COMMON::convert_hex_string_to_byte_array(std::string hex_string, DWORD limit_byte_size, DWORD* byte_size,
                                                   bool no_empty, bool* status)
{
    PGM_CHECK(!no_empty || !hex_string.empty());
    return hex_string_to_byte_array(hex_string, limit_byte_size, byte_size, status, false);
}

BYTE* PGM_COMMON::convert_standard_hex_string_to_byte_array(std::string hex_string, DWORD limit_byte_size,
                                                            DWORD* byte_size, bool no_empty, bool* status)
{
    PGM_CHECK((hex_string.size() % 2) == 0);
    PGM_CHECK(!no_empty || !hex_string.empty());
    return hex_string_to_byte_array(hex_string, limit_byte_size, byte_size, status, true);
}

BYTE* PGM_COMMON::convert_binary_string_to_byte_array(std::string string, DWORD& bit_size, bool lsb_first)
{
    bit_size = DWORD(string.size());
    PGM_CHECK(bit_size);
    std::unique_ptr<BYTE[]> bytes(new BYTE[(size_t(bit_size) + 7) / 8]());
    for (DWORD i = 0; i < bit_size; i++) {
        const char bin = string[i];
        PGM_CHECK(bin == '0' || bin == '1');
        const DWORD index = lsb_first ? i : bit_size - 1 - i;
        if (bin == '1')
            bytes[index / 8] |= BYTE(1u << (index % 8));
    }
    return bytes.release();
}

std::string PGM_COMMON::convert_byte_array_to_hex_string(BYTE* value, DWORD count, bool upper_case, bool prefix_0x)
{
    return bytes_to_hex(value, count, upper_case, prefix_0x, true);
}

std::string PGM_COMMON::convert_byte_array_to_standard_hex_string(BYTE* value, DWORD count, bool upper_case,
                                                                  bool prefix_0x)
{
    return bytes_to_hex(value, count, upper_case, prefix_0x, false);
}

std::string PGM_COMMON::convert_qword_to_hex_string(QWORD value, DWORD count, bool prefix_0x)
{
    PGM_CHECK(count != 0 && count <= 16);
    return qword_to_hex(value, count, prefix_0x);
}

std::string PGM_COMMON::convert_dword_to_hex_string(DWORD value, DWORD count, bool prefix_0x)
{
    PGM_CHECK(count != 0 && count <= 8);
    return qword_to_hex(value, count, prefix_0x);
}

std::string PGM_COMMON::convert_qword_to_string(QWORD value)
{
    return std::to_string(static_cast<unsigned long long>(value));
}

std::string PGM_COMMON::convert_dword_to_string(DWORD value, DWORD max, bool left_align)
{
    PGM_CHECK(value <= max || value == DWORD(-1));
    const std::string value_string = value == DWORD(-1) ? "-1" : std::to_string(value);
    const std::string max_string = std::to_string(max);
    PGM_CHECK(value_string.size() <= max_string.size() || value == DWORD(-1));
    if (value_string.size() >= max_string.size())
        return value_string;
    const std::string padding(max_string.size() - value_string.size(), ' ');
    return left_align ? value_string + padding : padding + value_string;
}

bool PGM_COMMON::compare_string(std::string a, std::string b, bool case_sensitive)
{
    return (case_sensitive ? gen_strcmp(a.c_str(), b.c_str()) : gen_stricmp(a.c_str(), b.c_str())) == 0;
}

bool PGM_COMMON::compare_strings(std::string string, std::vector<std::string> strings, bool case_sensitive)
{
    PGM_CHECK(strings.size());
    DWORD empty_count = 0;
    for (const std::string& candidate : strings) {
        PGM_CHECK_TEXT(empty_count == 0 || candidate.size() > 0, "empty_count == 0 || string.size() > 0");
        if (candidate.empty())
            empty_count++;
        if (compare_string(string, candidate, case_sensitive))
            return true;
    }
    return false;
}

std::string PGM_COMMON::get_null_termination_string(const BYTE* data, DWORD size)
{
    PGM_CHECK(data != NULL && size != 0);
    std::string text;
    bool zero = false;
    for (DWORD i = 0; i < size; i++) {
        if (data[i] == 0) {
            zero = true;
            continue;
        }
        PGM_CHECK(!zero);
        text += char(data[i]);
    }
    return text;
}

DWORD PGM_COMMON::get_dword(const BYTE* data)
{
    return DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24;
}

void PGM_COMMON::put_dword(BYTE* data, DWORD value)
{
    for (int i = 0; i < 4; i++)
        data[i] = BYTE(value >> (8 * i));
}

DWORD PGM_COMMON::n_units(DWORD value, DWORD unit)
{
    PGM_CHECK(unit != 0);
    return value / unit + (value % unit ? 1 : 0);
}
