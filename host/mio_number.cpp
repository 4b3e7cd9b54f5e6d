// Radix conversion library of the host suite: natural numbers of any size
// written as digit strings of radix 2, 8, 10 or 16, and the digit helpers
// that the memory initialisation file parser shares with it.
#include "host/mio.h"
#include "host/mio_number.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace mio_number {

const char DIGIT_CHARS[] = "0123456789ABCDEF";

// ---- Digits and radixes ----

// Value of each byte as a digit of radix 36 (letters in either case), NOT_A_DIGIT for other bytes.
constexpr unsigned char NOT_A_DIGIT = 0xFF;

constexpr std::array<unsigned char, 256> make_digit_values()
{
    std::array<unsigned char, 256> values{};
    for (unsigned int c = 0; c < 256; ++c) {
        values[c] = NOT_A_DIGIT;
        if (c >= '0' && c <= '9')
            values[c] = static_cast<unsigned char>(c - '0');
        else if (c >= 'A' && c <= 'Z')
            values[c] = static_cast<unsigned char>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'z')
            values[c] = static_cast<unsigned char>(c - 'a' + 10);
    }
    return values;
}

constexpr std::array<unsigned char, 256> DIGIT_VALUES = make_digit_values();

// Value of c as a digit of radix (letters in either case), or radix when c is not one.
unsigned int digit_value(char c, unsigned int radix)
{
    unsigned int value = DIGIT_VALUES[static_cast<unsigned char>(c)];
    return value < radix ? value : radix;
}

// A letter or a digit.
bool is_alphanumeric(char c)
{
    return DIGIT_VALUES[static_cast<unsigned char>(c)] != NOT_A_DIGIT;
}

bool all_digits(std::string_view text, unsigned int radix)
{
    return std::all_of(text.begin(), text.end(), [radix](char c) { return digit_value(c, radix) < radix; });
}

// Radix of a BIG_RADIX_ENUM code, 0 for an unknown code.
unsigned int radix_of_code(int code)
{
    switch (code) {
    case BIG_RADIX_BIN:
        return 2;
    case BIG_RADIX_OCT:
        return 8;
    case BIG_RADIX_DEC:
    case BIG_RADIX_UNS:
        return 10;
    case BIG_RADIX_HEX:
        return 16;
    default:
        return 0;
    }
}

// Radix of the digits of a MIO_RADIX_ENUM value.
unsigned int radix_of_mio(int radix)
{
    switch (radix) {
    case MIO_RADIX_BIN:
        return 2;
    case MIO_RADIX_OCT:
        return 8;
    case MIO_RADIX_HEX:
        return 16;
    default:
        return 10;
    }
}

// Bits per digit of a power-of-two radix, 0 for decimal.
unsigned int bits_per_digit(unsigned int radix)
{
    return radix == 2 ? 1 : radix == 8 ? 3 : radix == 16 ? 4 : 0;
}

// Most digits of radix whose value always fits in 64 bits.
size_t small_digit_count(unsigned int radix)
{
    return radix == 2 ? 64 : radix == 8 ? 21 : radix == 10 ? 19 : 16;
}

std::string strip_leading_zeros(std::string_view digits)
{
    size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string("0") : std::string(digits.substr(first));
}

// ---- Natural numbers of any size ----

// Base-2^32 digits, least significant first, without high zero limbs (zero is empty).
using LIMBS = std::vector<uint32_t>;

void trim(LIMBS& x)
{
    while (!x.empty() && x.back() == 0)
        x.pop_back();
}

// x = x * factor + addend.
void multiply_add(LIMBS& x, uint32_t factor, uint32_t addend)
{
    uint64_t carry = addend;
    for (uint32_t& limb : x) {
        uint64_t product = uint64_t(limb) * factor + carry;
        limb = uint32_t(product);
        carry = product >> 32;
    }
    if (carry)
        x.push_back(uint32_t(carry));
}

// x = x / divisor; returns the remainder.
uint32_t divide(LIMBS& x, uint32_t divisor)
{
    uint64_t remainder = 0;
    for (size_t i = x.size(); i-- > 0;) {
        uint64_t current = (remainder << 32) | x[i];
        x[i] = uint32_t(current / divisor);
        remainder = current % divisor;
    }
    trim(x);
    return uint32_t(remainder);
}

// x = x modulo 2^bits.
void keep_low_bits(LIMBS& x, size_t bits)
{
    size_t limbs = (bits + 31) / 32;
    if (x.size() > limbs)
        x.resize(limbs);
    if (bits % 32 && x.size() == limbs)
        x.back() &= (uint32_t(1) << (bits % 32)) - 1;
    trim(x);
}

// count bits of x from bit position (count at most 4).
uint32_t bits_at(const LIMBS& x, size_t position, unsigned int count)
{
    size_t index = position / 32;
    uint64_t window = x[index];
    if (index + 1 < x.size())
        window |= uint64_t(x[index + 1]) << 32;
    return uint32_t(window >> (position % 32)) & ((1u << count) - 1);
}

// x = x + y * 2^(32 * shift).
void add_shifted(LIMBS& x, const LIMBS& y, size_t shift)
{
    if (x.size() < y.size() + shift)
        x.resize(y.size() + shift, 0);
    uint64_t carry = 0;
    for (size_t i = 0; i < y.size(); ++i) {
        uint64_t sum = uint64_t(x[i + shift]) + y[i] + carry;
        x[i + shift] = uint32_t(sum);
        carry = sum >> 32;
    }
    for (size_t i = y.size() + shift; carry; ++i) {
        if (i == x.size())
            x.push_back(0);
        uint64_t sum = uint64_t(x[i]) + carry;
        x[i] = uint32_t(sum);
        carry = sum >> 32;
    }
    trim(x);
}

// x = x - y, for x >= y.
void subtract(LIMBS& x, const LIMBS& y)
{
    uint64_t borrow = 0;
    for (size_t i = 0; i < x.size() && (i < y.size() || borrow); ++i) {
        uint64_t difference = uint64_t(x[i]) - (i < y.size() ? y[i] : 0) - borrow;
        x[i] = uint32_t(difference);
        borrow = difference >> 63;
    }
    trim(x);
}

// The count limbs at a as a number.
LIMBS limbs_at(const uint32_t* a, size_t count)
{
    LIMBS x(a, a + count);
    trim(x);
    return x;
}

// a * b, limb by limb.
LIMBS multiply_plain(const uint32_t* a, size_t a_size, const uint32_t* b, size_t b_size)
{
    LIMBS product(a_size + b_size, 0);
    for (size_t i = 0; i < a_size; ++i) {
        uint64_t carry = 0;
        for (size_t j = 0; j < b_size; ++j) {
            uint64_t sum = uint64_t(a[i]) * b[j] + product[i + j] + carry;
            product[i + j] = uint32_t(sum);
            carry = sum >> 32;
        }
        product[i + b_size] = uint32_t(carry);
    }
    trim(product);
    return product;
}

// ---- Products by number-theoretic transform ----

// Arithmetic modulo the prime 2^64 - 2^32 + 1, whose multiplicative group
// (generated by 7) has elements of every order 2^k up to 2^32.
constexpr uint64_t PRIME = 0xFFFFFFFF00000001ull;
constexpr uint64_t EPSILON = 0xFFFFFFFFull; // 2^64 modulo PRIME
constexpr uint64_t GENERATOR = 7;

uint64_t add_mod(uint64_t a, uint64_t b)
{
    uint64_t sum = a + b;
    return sum < a ? sum + EPSILON : sum >= PRIME ? sum - PRIME : sum;
}

uint64_t subtract_mod(uint64_t a, uint64_t b)
{
    return a >= b ? a - b : a + (PRIME - b);
}

// With x = low + high_low x 2^64 + high_high x 2^96, 2^64 = 2^32 - 1 and
// 2^96 = -1 modulo PRIME.
uint64_t multiply_mod(uint64_t a, uint64_t b)
{
    unsigned __int128 x = static_cast<unsigned __int128>(a) * b;
    uint64_t low = uint64_t(x), high = uint64_t(x >> 64);
    uint64_t high_high = high >> 32, high_low = high & EPSILON;
    uint64_t t = low - high_high;
    if (low < high_high)
        t -= EPSILON;
    uint64_t u = high_low * EPSILON;
    uint64_t r = t + u;
    if (r < u)
        r += EPSILON;
    return r >= PRIME ? r - PRIME : r;
}

uint64_t power_mod(uint64_t base, uint64_t exponent)
{
    uint64_t result = 1;
    for (; exponent; exponent >>= 1, base = multiply_mod(base, base)) {
        if (exponent & 1)
            result = multiply_mod(result, base);
    }
    return result;
}

// The transform of a, whose size is a power of two, in place; or its inverse.
void transform(std::vector<uint64_t>& a, bool inverse)
{
    size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) { // into bit-reversed order
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    std::vector<uint64_t> twiddles;
    for (size_t length = 2; length <= n; length <<= 1) {
        uint64_t root = power_mod(GENERATOR, (PRIME - 1) / length); // of order length
        if (inverse)
            root = power_mod(root, PRIME - 2);
        twiddles.assign(1, 1);
        for (size_t k = 1; k < length / 2; ++k)
            twiddles.push_back(multiply_mod(twiddles.back(), root));
        for (size_t start = 0; start < n; start += length) {
            for (size_t k = 0; k < length / 2; ++k) {
                uint64_t u = a[start + k], v = multiply_mod(a[start + k + length / 2], twiddles[k]);
                a[start + k] = add_mod(u, v);
                a[start + k + length / 2] = subtract_mod(u, v);
            }
        }
    }
    if (inverse) {
        uint64_t scale = power_mod(n, PRIME - 2);
        for (uint64_t& value : a)
            value = multiply_mod(value, scale);
    }
}

// a * b through the transform, the operands cut into 16-bit pieces: a
// coefficient of the product is below 2 x b_size x 2^32, well below PRIME.
LIMBS multiply_by_transform(const uint32_t* a, size_t a_size, const uint32_t* b, size_t b_size)
{
    size_t pieces = 2 * (a_size + b_size), n = 1;
    while (n < pieces)
        n <<= 1;
    std::vector<uint64_t> x(n, 0), y(n, 0);
    for (size_t i = 0; i < a_size; ++i) {
        x[2 * i] = a[i] & 0xFFFF;
        x[2 * i + 1] = a[i] >> 16;
    }
    for (size_t i = 0; i < b_size; ++i) {
        y[2 * i] = b[i] & 0xFFFF;
        y[2 * i + 1] = b[i] >> 16;
    }
    transform(x, false);
    transform(y, false);
    for (size_t i = 0; i < n; ++i)
        x[i] = multiply_mod(x[i], y[i]);
    transform(x, true);
    LIMBS product(a_size + b_size, 0);
    uint64_t carry = 0;
    for (size_t i = 0; i < pieces; ++i) {
        carry += x[i];
        product[i / 2] |= uint32_t(carry & 0xFFFF) << (16 * (i % 2));
        carry >>= 16;
    }
    trim(product);
    return product;
}

// ---- Products ----

// Operands shorter than this many limbs are multiplied limb by limb; from
// TRANSFORM_MIN limbs on, through the transform.
constexpr size_t KARATSUBA_MIN = 40;
constexpr size_t TRANSFORM_MIN = 1024;

// a * b: limb by limb for short operands, through the transform for long
// ones, and by Karatsuba's method between (three products of half the
// length in place of four, a much longer a taken in pieces of b's length).
LIMBS multiply(const uint32_t* a, size_t a_size, const uint32_t* b, size_t b_size)
{
    if (a_size < b_size)
        return multiply(b, b_size, a, a_size);
    if (b_size < KARATSUBA_MIN)
        return multiply_plain(a, a_size, b, b_size);
    if (b_size >= TRANSFORM_MIN)
        return multiply_by_transform(a, a_size, b, b_size);
    if (2 * b_size <= a_size) {
        LIMBS product;
        for (size_t at = 0; at < a_size; at += b_size)
            add_shifted(product, multiply(a + at, std::min(b_size, a_size - at), b, b_size), at);
        return product;
    }
    size_t half = (a_size + 1) / 2; // b_size > half: both have a high part
    LIMBS a_low = limbs_at(a, half), a_high = limbs_at(a + half, a_size - half);
    LIMBS b_low = limbs_at(b, half), b_high = limbs_at(b + half, b_size - half);
    LIMBS low = multiply(a_low.data(), a_low.size(), b_low.data(), b_low.size());
    LIMBS high = multiply(a_high.data(), a_high.size(), b_high.data(), b_high.size());
    add_shifted(a_low, a_high, 0);
    add_shifted(b_low, b_high, 0);
    LIMBS middle = multiply(a_low.data(), a_low.size(), b_low.data(), b_low.size());
    subtract(middle, low);
    subtract(middle, high);
    add_shifted(low, middle, half);
    add_shifted(low, high, 2 * half);
    return low;
}

// Decimal digits gathered 9 at a time, from the last: base-10^9 digits,
// least significant first. False at a character that is not a digit.
bool decimal_chunks(std::string_view digits, std::vector<uint32_t>& chunks)
{
    chunks.clear();
    chunks.reserve(digits.size() / 9 + 1);
    for (size_t end = digits.size(); end > 0; end -= std::min<size_t>(end, 9)) {
        uint32_t chunk = 0;
        for (char c : digits.substr(end - std::min<size_t>(end, 9), std::min<size_t>(end, 9))) {
            uint32_t value = digit_value(c, 10);
            if (value >= 10)
                return false;
            chunk = chunk * 10 + value;
        }
        chunks.push_back(chunk);
    }
    return true;
}

// Runs of base-10^9 digits at most this long are converted one digit at a time.
constexpr size_t PLAIN_CHUNKS = 64;

// The value of count base-10^9 digits (least significant first): the
// lower 2^k of them, for the greatest 2^k below count, plus the rest times
// 10^(9 x 2^k). powers[k] holds 10^(9 x 2^k) once worked out. Each level
// of halving costs about one product of the result's length, so the whole
// takes about n log^2 n for long words.
LIMBS decimal_value(const uint32_t* chunks, size_t count, std::vector<LIMBS>& powers)
{
    LIMBS x;
    if (count <= PLAIN_CHUNKS) {
        for (size_t i = count; i-- > 0;)
            multiply_add(x, 1000000000, chunks[i]);
        return x;
    }
    size_t level = 0;
    while ((size_t(2) << level) < count)
        ++level;
    if (powers.empty())
        powers.push_back(LIMBS{1000000000});
    while (powers.size() <= level)
        powers.push_back(multiply(powers.back().data(), powers.back().size(), powers.back().data(),
                                  powers.back().size()));
    size_t low_count = size_t(1) << level;
    LIMBS high = decimal_value(chunks + low_count, count - low_count, powers);
    x = multiply(high.data(), high.size(), powers[level].data(), powers[level].size());
    add_shifted(x, decimal_value(chunks, low_count, powers), 0);
    return x;
}

// Reads digits of radix into x; false at a character that is not a digit.
// With keep_bits above 0 only the value modulo 2^keep_bits is kept.
bool parse_limbs(std::string_view digits, unsigned int radix, LIMBS& x, size_t keep_bits = 0)
{
    x.clear();
    if (!bits_per_digit(radix) && !keep_bits) {
        std::vector<uint32_t> chunks;
        if (!decimal_chunks(digits, chunks))
            return false;
        std::vector<LIMBS> powers;
        x = decimal_value(chunks.data(), chunks.size(), powers);
        return true;
    }
    if (unsigned int bits = bits_per_digit(radix)) {
        x.assign((digits.size() * bits + 31) / 32, 0);
        size_t position = 0; // bit position of the digit being placed
        for (size_t i = digits.size(); i-- > 0; position += bits) {
            uint32_t value = digit_value(digits[i], radix);
            if (value >= radix)
                return false;
            x[position / 32] |= value << (position % 32);
            if (position % 32 + bits > 32) // an octal digit across two limbs
                x[position / 32 + 1] |= value >> (32 - position % 32);
        }
    } else {
        size_t chunk_size = digits.size() % 9 ? digits.size() % 9 : 9; // nine digits at a time after the first
        for (size_t i = 0; i < digits.size(); i += chunk_size, chunk_size = 9) {
            uint32_t chunk = 0, scale = 1;
            for (char c : digits.substr(i, chunk_size)) {
                uint32_t value = digit_value(c, 10);
                if (value >= 10)
                    return false;
                chunk = chunk * 10 + value;
                scale *= 10;
            }
            multiply_add(x, scale, chunk);
            if (keep_bits)
                keep_low_bits(x, keep_bits);
        }
    }
    if (keep_bits)
        keep_low_bits(x, keep_bits);
    trim(x);
    return true;
}

// Digits of x in radix, without leading zeros.
std::string format_limbs(LIMBS x, unsigned int radix)
{
    std::string reversed;
    if (unsigned int bits = bits_per_digit(radix)) {
        for (size_t position = 0; position < x.size() * 32; position += bits)
            reversed.push_back(DIGIT_CHARS[bits_at(x, position, bits)]);
    } else {
        while (!x.empty()) {
            uint32_t chunk = divide(x, 1000000000);
            for (int i = 0; i < 9; ++i, chunk /= 10)
                reversed.push_back(char('0' + chunk % 10));
        }
    }
    std::string digits(reversed.rbegin(), reversed.rend());
    return strip_leading_zeros(digits);
}

// ---- Radix conversion ----

bool parse_small(std::string_view digits, unsigned int radix, uint64_t& value)
{
    value = 0;
    for (char c : digits) {
        unsigned int digit = digit_value(c, radix);
        if (digit >= radix)
            return false;
        value = value * radix + digit;
    }
    return true;
}

void format_small(uint64_t value, unsigned int radix, std::string& output)
{
    char reversed[64];
    size_t length = 0;
    do {
        reversed[length++] = DIGIT_CHARS[value % radix];
        value /= radix;
    } while (value);
    output.assign(std::make_reverse_iterator(reversed + length), std::make_reverse_iterator(reversed));
}

// Writes the binary digits of BIN, OCT or HEX digits that start with one
// that is not '0', without the leading zero bits of that digit, to out; the
// end of them, or null at a character that is not a digit. Each digit is
// written as 4 characters whose extra ones the next digit overwrites, so out
// needs room for 3 characters more than the digits take.
char* write_binary(std::string_view digits, unsigned int radix, char* out)
{
    // Rows of 8 so that 4 characters can be copied from any of a row's last 4.
    static const char NIBBLES[16][8] = {"0000", "0001", "0010", "0011", "0100", "0101", "0110", "0111",
                                        "1000", "1001", "1010", "1011", "1100", "1101", "1110", "1111"};
    static const unsigned char SIGNIFICANT_BITS[16] = {0, 1, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4};
    unsigned int bits = bits_per_digit(radix);
    unsigned int lead = digit_value(digits[0], radix);
    if (lead >= radix)
        return nullptr;
    std::memcpy(out, NIBBLES[lead] + 4 - SIGNIFICANT_BITS[lead], 4);
    out += SIGNIFICANT_BITS[lead];
    for (char c : digits.substr(1)) {
        unsigned int value = digit_value(c, radix);
        if (value >= radix)
            return nullptr;
        std::memcpy(out, NIBBLES[value] + 4 - bits, 4);
        out += bits;
    }
    return out;
}

// Binary digits of a BIN, OCT or HEX word; false at a character that is not
// a digit. Leading zero digits give only zero bits, so the digits start at
// the highest set bit of the first digit that is not '0' ("0" when there is
// none): the same text as expanding every digit and stripping the leading
// zeros after. Short words are written on the stack and copied once.
bool expand_to_binary(std::string_view word, unsigned int radix, std::string& output)
{
    size_t first = word.find_first_not_of('0');
    if (first == std::string_view::npos) {
        output.assign(1, '0');
        return true;
    }
    std::string_view digits = word.substr(first);
    size_t room = digits.size() * bits_per_digit(radix) + 3;
    char buffer[256];
    if (room <= sizeof buffer) {
        char* end = write_binary(digits, radix, buffer);
        if (end)
            output.assign(buffer, size_t(end - buffer));
        return end != nullptr;
    }
    output.resize(room);
    char* end = write_binary(digits, radix, &output[0]);
    if (end)
        output.resize(size_t(end - output.data()));
    return end != nullptr;
}

// Converts with the fastest path that fits; false at a character that is not a digit.
bool convert(std::string_view word, unsigned int from, unsigned int to, std::string& output)
{
    if (to == 2 && bits_per_digit(from))
        return expand_to_binary(word, from, output);
    if (word.size() <= small_digit_count(from)) {
        uint64_t value;
        if (!parse_small(word, from, value))
            return false;
        format_small(value, to, output);
        return true;
    }
    LIMBS value;
    if (!parse_limbs(word, from, value))
        return false;
    output = format_limbs(std::move(value), to);
    return true;
}

// ---- Negative decimal words ----

std::string power_of_two_decimal(unsigned int bits)
{
    LIMBS power(bits / 32 + 1, 0);
    power.back() = uint32_t(1) << (bits % 32);
    return format_limbs(std::move(power), 10);
}

// a < b for decimal digit strings without leading zeros.
bool less_decimal(const std::string& a, const std::string& b)
{
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

// a - b for decimal digit strings with a >= b.
std::string subtract_decimal(const std::string& a, const std::string& b)
{
    std::string result = a;
    int borrow = 0;
    for (size_t i = 0; i < result.size(); ++i) {
        size_t at = result.size() - 1 - i;
        int digit = (result[at] - '0') - borrow - (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
        borrow = digit < 0;
        result[at] = char('0' + digit + 10 * borrow);
    }
    return strip_leading_zeros(result);
}

// Decimal digits of 2^width - magnitude modulo 2^width: the unsigned value of
// -magnitude at width bits. power is 2^width in decimal.
std::string twos_complement_decimal(std::string_view magnitude, unsigned int width, const std::string& power)
{
    std::string digits = strip_leading_zeros(magnitude);
    if (digits == "0")
        return digits;
    if (less_decimal(digits, power))
        return subtract_decimal(power, digits);
    LIMBS x;
    parse_limbs(digits, 10, x, width);
    if (x.empty())
        return "0";
    x.resize((width + 31) / 32, 0);
    for (uint32_t& limb : x)
        limb = ~limb;
    multiply_add(x, 1, 1);
    keep_low_bits(x, width);
    return format_limbs(std::move(x), 10);
}

} // namespace mio_number

int big_radix_conversion(const std::string& word, std::string& output, int from, int to, int flags)
{
    if (&word == &output) {
        std::string copy = word;
        return big_radix_conversion(copy, output, from, to, flags);
    }
    unsigned int source = mio_number::radix_of_code(from), target = mio_number::radix_of_code(to);
    output.clear(); // keeps its capacity for the next word
    bool converted = source && target && !word.empty() && mio_number::convert(word, source, target, output);
    if (!converted)
        output.clear();
    return converted ? 0 : 1;
}
