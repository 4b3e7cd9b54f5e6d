// Digit strings and radixes: what the memory initialisation file parser
// (host/mio_parser.cpp) and file object (host/mio.cpp) take from the radix
// conversion library (host/mio_number.cpp). Internal to the three.
#pragma once

#include <string>
#include <string_view>

namespace mio_number {

// Value of c as a digit of radix (letters in either case), or radix when c is not one.
unsigned int digit_value(char c, unsigned int radix);
// A letter or a digit.
bool is_alphanumeric(char c);
bool all_digits(std::string_view text, unsigned int radix);
// Radix of a BIG_RADIX_ENUM code, 0 for an unknown code.
unsigned int radix_of_code(int code);
// Radix of the digits of a MIO_RADIX_ENUM value.
unsigned int radix_of_mio(int radix);
// Converts a word of radix from into digits of radix to, with the fastest
// path that fits; false at a character that is not a digit.
bool convert(std::string_view word, unsigned int from, unsigned int to, std::string& output);
// 2^bits in decimal digits.
std::string power_of_two_decimal(unsigned int bits);
// Decimal digits of 2^width - magnitude modulo 2^width: the unsigned value of
// -magnitude at width bits. power is 2^width in decimal.
std::string twos_complement_decimal(std::string_view magnitude, unsigned int width, const std::string& power);

} // namespace mio_number
