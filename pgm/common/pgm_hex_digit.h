// The value of a hexadecimal digit, shared by every reader of hex text.
#pragma once

#include "pgm/common/pgm_internal.h"

// Value of a hex digit of either case, or -1.
constexpr int pgm_hex_digit_value(char c)
{
    return (c >= '0' && c <= '9')   ? c - '0'
           : (c >= 'A' && c <= 'F') ? c - 'A' + 10
           : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                    : -1;
}
