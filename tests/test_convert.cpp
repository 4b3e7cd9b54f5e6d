#include "test_support.h"

#include <memory>
#include <string>
#include <vector>

namespace {

const QWORD QWORD_MAX = ~QWORD(0);

// Converts with a status flag; returns the status and the value.
struct QWORD_RESULT {
    bool ok;
    QWORD value;
};

QWORD_RESULT qword_with_status(const std::string& text, bool allow_shift = false, QWORD* default_value = NULL,
                               bool no_empty = true)
{
    bool ok = false;
    const QWORD value = PGM_COMMON::convert_string_to_qword(text, no_empty, &ok, default_value, allow_shift);
    return {ok, value};
}

// Takes ownership of a returned byte array and copies it.
std::vector<BYTE> take_bytes(BYTE* bytes, DWORD size)
{
    std::unique_ptr<BYTE[]> owner(bytes);
    if (!owner)
        return {};
    return std::vector<BYTE>(owner.get(), owner.get() + size);
}

std::vector<BYTE> hex_bytes(const std::string& text, DWORD limit = DWORD(-1))
{
    DWORD size = 0;
    BYTE* bytes = PGM_COMMON::convert_hex_string_to_byte_array(text, limit, &size);
    return take_bytes(bytes, size);
}

std::vector<BYTE> standard_hex_bytes(const std::string& text, DWORD limit = DWORD(-1))
{
    DWORD size = 0;
    BYTE* bytes = PGM_COMMON::convert_standard_hex_string_to_byte_array(text, limit, &size);
    return take_bytes(bytes, size);
}

std::vector<BYTE> binary_bytes(const std::string& text, bool lsb_first, DWORD* bit_size = NULL)
{
    DWORD bits = 0;
    BYTE* bytes = PGM_COMMON::convert_binary_string_to_byte_array(text, bits, lsb_first);
    if (bit_size)
        *bit_size = bits;
    return take_bytes(bytes, (bits + 7) / 8);
}

// Returns the message of a sized literal that fails, and checks that the value is cleared.
std::string scientific_error(const std::string& text)
{
    QWORD value = 123;
    std::string message = "stale";
    EXPECT_FALSE(PGM_COMMON::convert_scientific_string_to_qword(text, value, message)) << text;
    EXPECT_EQ(0u, value) << text;
    return message;
}

QWORD scientific_value(const std::string& text)
{
    QWORD value = 123;
    std::string message = "stale";
    EXPECT_TRUE(PGM_COMMON::convert_scientific_string_to_qword(text, value, message)) << text << ": " << message;
    EXPECT_EQ("", message) << text;
    return value;
}

} // namespace

TEST(ConvertStringToQword, PlainForms)
{
    EXPECT_EQ(0u, PGM_COMMON::convert_string_to_qword("0"));
    EXPECT_EQ(1234567890123u, PGM_COMMON::convert_string_to_qword("1234567890123"));
    EXPECT_EQ(0u, PGM_COMMON::convert_string_to_qword("000"));
    EXPECT_EQ(31u, PGM_COMMON::convert_string_to_qword("0x1f"));
    EXPECT_EQ(0xABCDEFu, PGM_COMMON::convert_string_to_qword("0xabcDEF"));
    EXPECT_EQ(5u, PGM_COMMON::convert_string_to_qword("b101"));
    EXPECT_EQ(0xFFFFFFFFFFFFFFFBu, PGM_COMMON::convert_string_to_qword("-5"));
    EXPECT_EQ(QWORD_MAX - 0x1E, PGM_COMMON::convert_string_to_qword("-0x1f"));
    EXPECT_EQ(QWORD_MAX - 4, PGM_COMMON::convert_string_to_qword("-b101"));
    EXPECT_EQ(0u, PGM_COMMON::convert_string_to_qword("-0"));

    // Sixteen hex digits and sixty-four binary digits are the longest forms.
    EXPECT_EQ(0x123456789ABCDEF0u, PGM_COMMON::convert_string_to_qword("0x123456789abcdef0"));
    EXPECT_EQ(QWORD_MAX, PGM_COMMON::convert_string_to_qword("0xFFFFFFFFFFFFFFFF"));
    EXPECT_EQ(QWORD_MAX, PGM_COMMON::convert_string_to_qword("b" + std::string(64, '1')));
    EXPECT_EQ(QWORD(1) << 63, PGM_COMMON::convert_string_to_qword("b1" + std::string(63, '0')));

    QWORD_RESULT result = qword_with_status("0x1f");
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(31u, result.value);
}

TEST(ConvertStringToQword, BadText)
{
    const std::vector<std::string> bad = {"0X1F", "B101", "--5", "12Z", "1 2", " 12", "12 ", "0x1G", "b102",
                                          "0x" + std::string(17, '1'), "b" + std::string(65, '1'), "+5", "1<<4",
                                          "x", "0b1", "1.5"};
    for (const std::string& text : bad) {
        QWORD default_value = 77;
        QWORD_RESULT result = qword_with_status(text, false, &default_value);
        EXPECT_FALSE(result.ok) << text;
        EXPECT_EQ(77u, result.value) << text;
        result = qword_with_status(text);
        EXPECT_FALSE(result.ok) << text;
        EXPECT_EQ(0u, result.value) << text;
        EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_qword(text),
                              "Invalid string \"" + text + "\" to qword conversion");
    }
    // A failing negative text keeps its default, not negated.
    QWORD default_value = 3;
    QWORD_RESULT result = qword_with_status("-1Z", false, &default_value);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(3u, result.value);
}

TEST(ConvertStringToQword, EmptyTexts)
{
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_qword(""), "!no_empty || !string.empty()");
    bool ok = false;
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_qword("", true, &ok), "!no_empty || !string.empty()");

    // An empty remaining text keeps the default value, not negated, and is good text.
    for (const char* text : {"", "-", "0x", "b", "-0x", "-b"}) {
        QWORD default_value = 9;
        QWORD_RESULT result = qword_with_status(text, false, &default_value, false);
        EXPECT_TRUE(result.ok) << text;
        EXPECT_EQ(9u, result.value) << text;
        result = qword_with_status(text, false, NULL, false);
        EXPECT_TRUE(result.ok) << text;
        EXPECT_EQ(0u, result.value) << text;
    }
    // A text that is not empty passes the emptiness check even when nothing is left of it.
    QWORD default_value = 4;
    EXPECT_EQ(4u, PGM_COMMON::convert_string_to_qword("-", true, NULL, &default_value));
    EXPECT_EQ(0u, PGM_COMMON::convert_string_to_qword("0x"));
}

TEST(ConvertStringToQword, DecimalOverflowIsBadText)
{
    EXPECT_EQ(QWORD_MAX, PGM_COMMON::convert_string_to_qword("18446744073709551615"));
    EXPECT_EQ(QWORD_MAX, PGM_COMMON::convert_string_to_qword("000018446744073709551615"));
    EXPECT_EQ(1u, PGM_COMMON::convert_string_to_qword("-18446744073709551615"));
    EXPECT_EQ(10000000000000000000u, PGM_COMMON::convert_string_to_qword("10000000000000000000"));

    const std::vector<std::string> too_large = {"18446744073709551616", "18446744073709551620",
                                                "99999999999999999999", "100000000000000000000",
                                                "-18446744073709551616", std::string(40, '9')};
    for (const std::string& text : too_large) {
        QWORD default_value = 5;
        QWORD_RESULT result = qword_with_status(text, false, &default_value);
        EXPECT_FALSE(result.ok) << text;
        EXPECT_EQ(5u, result.value) << text;
        EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_qword(text),
                              "Invalid string \"" + text + "\" to qword conversion");
    }

    // The halves of a shift are checked the same way.
    QWORD_RESULT result = qword_with_status("18446744073709551616 << 1", true);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(0u, result.value);
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_qword("1 << 18446744073709551616", true, NULL, NULL, true),
                          "Invalid string \"1 << 18446744073709551616\" to qword conversion");

    // The narrower forms inherit the check.
    bool ok = true;
    DWORD dword_default = 6;
    EXPECT_EQ(6u, PGM_COMMON::convert_string_to_dword("18446744073709551616", true, &ok, &dword_default));
    EXPECT_FALSE(ok);
    EXPECT_EQ(0, PGM_COMMON::convert_string_to_integer("-18446744073709551616", true, &ok));
    EXPECT_FALSE(ok);
}

TEST(ConvertStringToQword, ShiftForm)
{
    EXPECT_EQ(16u, PGM_COMMON::convert_string_to_qword("1 << 4", true, NULL, NULL, true));
    EXPECT_EQ(0x300u, PGM_COMMON::convert_string_to_qword("0x3<<8", true, NULL, NULL, true));
    EXPECT_EQ(QWORD(0) - 16, PGM_COMMON::convert_string_to_qword("-1 << 4", true, NULL, NULL, true));
    EXPECT_EQ(QWORD(1) << 63, PGM_COMMON::convert_string_to_qword("1 << 63", true, NULL, NULL, true));
    // The shift amount is taken modulo 64.
    EXPECT_EQ(2u, PGM_COMMON::convert_string_to_qword("1 << 65", true, NULL, NULL, true));
    EXPECT_EQ(0xA0u, PGM_COMMON::convert_string_to_qword("b101 << 0x5", true, NULL, NULL, true));
    EXPECT_EQ(5u, PGM_COMMON::convert_string_to_qword("\t5 << 0 ", true, NULL, NULL, true));
    // Without a shift in the text the plain forms apply.
    EXPECT_EQ(31u, PGM_COMMON::convert_string_to_qword("0x1f", true, NULL, NULL, true));

    const std::vector<std::string> bad = {"1<<4", "<< 40", "<<1234", "1 <<  ", "   << 1", "1 << 2 << 3",
                                          "1 << x", "y << 1", "1 < < 4"};
    for (const std::string& text : bad) {
        QWORD default_value = 8;
        QWORD_RESULT result = qword_with_status(text, true, &default_value);
        EXPECT_FALSE(result.ok) << text;
        EXPECT_EQ(8u, result.value) << text;
        EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_qword(text, true, NULL, NULL, true),
                              "Invalid string \"" + text + "\" to qword conversion");
    }
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_qword("-1<<4", true, NULL, NULL, true),
                          "Invalid string \"-1<<4\" to qword conversion");
    // Without allow_shift a shift is bad text.
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_qword("1 << 4"),
                          "Invalid string \"1 << 4\" to qword conversion");
    EXPECT_FALSE(qword_with_status("1 << 4").ok);
}

TEST(ConvertStringToDwordAndInteger, Forms)
{
    EXPECT_EQ(0x9ABCDEF0u, PGM_COMMON::convert_string_to_dword("0x123456789ABCDEF0"));
    EXPECT_EQ(0xFFFFFFFFu, PGM_COMMON::convert_string_to_dword("-1"));
    EXPECT_EQ(0u, PGM_COMMON::convert_string_to_dword("4294967296"));
    EXPECT_EQ(0x100u, PGM_COMMON::convert_string_to_dword("1 << 8", true, NULL, NULL, true));
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_dword("0xZ"), "Invalid string \"0xZ\" to qword conversion");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_dword(""), "!no_empty || !string.empty()");

    bool ok = false;
    DWORD dword_default = 0xFFFFFFFF;
    EXPECT_EQ(0xFFFFFFFFu, PGM_COMMON::convert_string_to_dword("", false, &ok, &dword_default));
    EXPECT_TRUE(ok);
    EXPECT_EQ(0xFFFFFFFFu, PGM_COMMON::convert_string_to_dword("bad", false, &ok, &dword_default));
    EXPECT_FALSE(ok);
    EXPECT_EQ(0xFFFFFFFFu, dword_default);

    EXPECT_EQ(-12, PGM_COMMON::convert_string_to_integer("-12"));
    EXPECT_EQ(12, PGM_COMMON::convert_string_to_integer("12"));
    EXPECT_EQ(-16, PGM_COMMON::convert_string_to_integer("-0x10"));
    EXPECT_EQ(-2147483647 - 1, PGM_COMMON::convert_string_to_integer("-2147483648"));
    EXPECT_EQ(-1, PGM_COMMON::convert_string_to_integer("0xFFFFFFFF"));
    EXPECT_EQ(-16, PGM_COMMON::convert_string_to_integer("-1 << 4", true, NULL, NULL, true));

    ok = false;
    EXPECT_EQ(-12, PGM_COMMON::convert_string_to_integer("-12", true, &ok));
    EXPECT_TRUE(ok);
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_integer("1-2"), "string.find(\"-\") == STL_STRING::npos");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_integer("--2"), "string.find(\"-\") == STL_STRING::npos");
    ok = true;
    EXPECT_EQ(0, PGM_COMMON::convert_string_to_integer("1-2", true, &ok));
    EXPECT_FALSE(ok);
    ok = true;
    int int_default = 7;
    EXPECT_EQ(0, PGM_COMMON::convert_string_to_integer("-1-2", true, &ok, &int_default));
    EXPECT_FALSE(ok);

    // Other bad text gives the default, negated for a negative text.
    ok = true;
    EXPECT_EQ(7, PGM_COMMON::convert_string_to_integer("1Z", true, &ok, &int_default));
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_EQ(-7, PGM_COMMON::convert_string_to_integer("-1Z", true, &ok, &int_default));
    EXPECT_FALSE(ok);
    ok = false;
    int_default = -3;
    EXPECT_EQ(-3, PGM_COMMON::convert_string_to_integer("", false, &ok, &int_default));
    EXPECT_TRUE(ok);
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_integer("1Z"), "Invalid string \"1Z\" to qword conversion");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_integer("-"), "!no_empty || !string.empty()");
}

TEST(ConvertStringToSpecialQword, Forms)
{
    bool ok = false;
    EXPECT_EQ(0x110u, PGM_COMMON::convert_string_to_special_qword("1<<4 | 0x100", "<<", true, &ok, 32));
    EXPECT_TRUE(ok);
    EXPECT_EQ(0x110u, PGM_COMMON::convert_string_to_special_qword(" 1 << 4|0x100 ", "<<", true, NULL, 32));
    EXPECT_EQ(0x7u, PGM_COMMON::convert_string_to_special_qword("1|2|4", "<<", true, NULL, 32));
    EXPECT_EQ(QWORD(1) << 62, PGM_COMMON::convert_string_to_special_qword("1<<62", "<<", true, NULL, 63));
    EXPECT_EQ(0x80000000u, PGM_COMMON::convert_string_to_special_qword("1<<31", "<<", true, NULL, 32));
    // The values themselves are not bounded, only the shift amount.
    EXPECT_EQ(0x123456789u, PGM_COMMON::convert_string_to_special_qword("0x123456789", "<<", true, NULL, 32));
    EXPECT_EQ(0xFF0u, PGM_COMMON::convert_string_to_special_qword("0xFF SHL 4", "SHL", true, NULL, 8));

    ok = false;
    EXPECT_EQ(0u, PGM_COMMON::convert_string_to_special_qword("", "<<", false, &ok, 32));
    EXPECT_TRUE(ok);
    EXPECT_EQ(0u, PGM_COMMON::convert_string_to_special_qword(" \t", "<<", false, &ok, 32));
    EXPECT_TRUE(ok);

    const std::vector<std::string> bad = {"1<<32", "|1", "1|", "<<1", "1<<", "1 | 2Z", "1 | ", "x<<2", "1<<y",
                                          "1 |  | 2"};
    for (const std::string& text : bad) {
        ok = true;
        EXPECT_EQ(0u, PGM_COMMON::convert_string_to_special_qword(text, "<<", true, &ok, 32)) << text;
        EXPECT_FALSE(ok) << text;
    }
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_special_qword("1<<32", "<<", true, NULL, 32),
                          "Invalid string to special qword conversion");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_special_qword("|1", "<<", true, NULL, 32),
                          "Invalid string to special qword conversion");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_special_qword("1 |  | 2", "<<", true, NULL, 32),
                          "Invalid string to special qword conversion");
    // A piece that is bad text raises the plain conversion's error.
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_special_qword("1 | 2Z", "<<", true, NULL, 32),
                          "Invalid string \"2Z\" to qword conversion");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_special_qword("1 << 4Z", "<<", true, NULL, 32),
                          "Invalid string \"4Z\" to qword conversion");

    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_special_qword("1||2", "<<", true, &ok, 32),
                          "single_string.size()");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_special_qword("", "<<", true, &ok, 32),
                          "!no_empty || !string.empty()");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_special_qword("  ", "<<", true, &ok, 32),
                          "!no_empty || !string.empty()");
    const char* const bounds = "shift_word.size() && max_bit_size > 0 && max_bit_size < 64";
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_special_qword("1", "", true, &ok, 32), bounds);
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_special_qword("1", "<<", true, &ok, 0), bounds);
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_string_to_special_qword("1", "<<", true, &ok, 64), bounds);

    // The dword form bounds the shift at 32 and keeps the low 32 bits.
    ok = false;
    EXPECT_EQ(0x80000010u, PGM_COMMON::convert_string_to_special_dword("1 << 31 | 1<<4", "<<", true, &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(0x23456789u, PGM_COMMON::convert_string_to_special_dword("0x123456789", "<<", true, NULL));
    EXPECT_EQ(0u, PGM_COMMON::convert_string_to_special_dword("1<<32", "<<", true, &ok));
    EXPECT_FALSE(ok);
}

TEST(ConvertScientificString, SizedLiterals)
{
    EXPECT_EQ(255u, scientific_value("8'hFF"));
    EXPECT_EQ(0xABu, scientific_value("'hab"));
    EXPECT_EQ(0xA0u, scientific_value("2'hA?"));
    EXPECT_EQ(QWORD_MAX, scientific_value("'hFFFFFFFFFFFFFFFF"));
    EXPECT_EQ(5u, scientific_value("4'b1?1"));
    EXPECT_EQ(5u, scientific_value("'b101"));
    EXPECT_EQ(QWORD_MAX, scientific_value("'b" + std::string(64, '1')));
    EXPECT_EQ(7u, scientific_value("3'd7"));
    EXPECT_EQ(5u, scientific_value("64'd5"));
    EXPECT_EQ(100u, scientific_value("12'd100"));
    EXPECT_EQ(10u, scientific_value("'d1?"));
    EXPECT_EQ(QWORD_MAX, scientific_value("64'd18446744073709551615"));
    EXPECT_EQ(QWORD_MAX, scientific_value("'d18446744073709551615"));
    EXPECT_EQ(12u, scientific_value("12"));
    EXPECT_EQ(0x1Fu, scientific_value("0x1F"));
    EXPECT_EQ(QWORD_MAX - 4, scientific_value("-5"));

    EXPECT_EQ("Invalid HEXADECIMAL size", scientific_error("2'hFFF"));
    EXPECT_EQ("Invalid HEXADECIMAL size", scientific_error("8'h"));
    EXPECT_EQ("Invalid HEXADECIMAL size", scientific_error("'h" + std::string(17, '1')));
    EXPECT_EQ("HEXADECIMAL should be \"0 - 9\", \"A - F\", or \"?\"", scientific_error("8'hFG"));
    EXPECT_EQ("Invalid BINARY size", scientific_error("'b"));
    EXPECT_EQ("Invalid BINARY size", scientific_error("2'b101"));
    EXPECT_EQ("BINARY should be \"0\", \"1\", or \"?\"", scientific_error("4'b12"));
    EXPECT_EQ("Invalid DECIMAL size", scientific_error("8'd"));
    EXPECT_EQ("DECIMAL should be \"0 - 9\", or \"?\"", scientific_error("8'dA"));
    EXPECT_EQ("In DECIMAL value exceed its size", scientific_error("3'd8"));
    EXPECT_EQ("In DECIMAL value exceed its size", scientific_error("1'd2"));
    // A decimal value beyond 64 bits exceeds every width.
    EXPECT_EQ("In DECIMAL value exceed its size", scientific_error("'d18446744073709551616"));
    EXPECT_EQ("In DECIMAL value exceed its size", scientific_error("64'd99999999999999999999"));
    EXPECT_EQ("Unable to find scientific keyword", scientific_error("12'x5"));
    EXPECT_EQ("Unable to find scientific keyword", scientific_error("8'HFF"));
    EXPECT_EQ("Unable to find scientific keyword", scientific_error("18446744073709551616"));

    QWORD value = 0;
    std::string message;
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_scientific_string_to_qword("", value, message),
                          "!no_empty || !string.empty()");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_scientific_string_to_qword("x'hFF", value, message),
                          "Invalid string \"x\" to qword conversion");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_scientific_string_to_qword("z'b1", value, message),
                          "Invalid string \"z\" to qword conversion");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_scientific_string_to_qword("20'h" + std::string(17, 'f'), value, message),
                          "Invalid string \"0x" + std::string(17, 'f') + "\" to qword conversion");
}

TEST(HexStringToByteArray, NumberOrder)
{
    EXPECT_EQ((std::vector<BYTE>{0x34, 0x12}), hex_bytes("1234"));
    EXPECT_EQ((std::vector<BYTE>{0x34}), hex_bytes("1234", 1));
    EXPECT_EQ((std::vector<BYTE>{0x23, 0x01}), hex_bytes("123"));
    EXPECT_EQ((std::vector<BYTE>{0xEF, 0xCD, 0xAB, 0x00}), hex_bytes("abCDef", 4));
    // Digits past the count are not read, even bad ones.
    EXPECT_EQ((std::vector<BYTE>{0x12}), hex_bytes("G12", 1));

    DWORD size = 99;
    bool ok = false;
    EXPECT_EQ(nullptr, PGM_COMMON::convert_hex_string_to_byte_array("", DWORD(-1), &size, false, &ok));
    EXPECT_EQ(0u, size);
    EXPECT_TRUE(ok);
    EXPECT_EQ((std::vector<BYTE>{0, 0}), take_bytes(PGM_COMMON::convert_hex_string_to_byte_array("", 2, &size, false),
                                                    2));
    EXPECT_EQ(2u, size);

    ok = true;
    size = 0;
    EXPECT_EQ(nullptr, PGM_COMMON::convert_hex_string_to_byte_array("0x1G", DWORD(-1), &size, true, &ok));
    EXPECT_FALSE(ok);
    EXPECT_EQ(2u, size);
    EXPECT_INTERNAL_ERROR(hex_bytes("0x1G"), "Invalid hex string to BYTE array conversion: 0x1G");
    EXPECT_INTERNAL_ERROR(hex_bytes(""), "!no_empty || !hex_string.empty()");
    EXPECT_INTERNAL_ERROR(hex_bytes("12", 0), "limit_byte_size > 0");
    // The size pointer may be left out.
    ok = false;
    EXPECT_EQ((std::vector<BYTE>{0xFF}),
              take_bytes(PGM_COMMON::convert_hex_string_to_byte_array("ff", 1, NULL, true, &ok), 1));
    EXPECT_TRUE(ok);
}

TEST(HexStringToByteArray, StandardOrder)
{
    EXPECT_EQ((std::vector<BYTE>{0x12, 0x34}), standard_hex_bytes("1234"));
    EXPECT_EQ((std::vector<BYTE>{0x12}), standard_hex_bytes("1234", 1));
    EXPECT_EQ((std::vector<BYTE>{0xAB, 0xCD, 0x00}), standard_hex_bytes("abcd", 3));
    EXPECT_EQ((std::vector<BYTE>{0x12}), standard_hex_bytes("12GG", 1));
    EXPECT_INTERNAL_ERROR(standard_hex_bytes("123"), "(hex_string.size() % 2) == 0");
    EXPECT_INTERNAL_ERROR(standard_hex_bytes(""), "!no_empty || !hex_string.empty()");
    EXPECT_INTERNAL_ERROR(standard_hex_bytes("12", 0), "limit_byte_size > 0");
    EXPECT_INTERNAL_ERROR(standard_hex_bytes("12 4"), "Invalid hex string to BYTE array conversion: 12 4");

    DWORD size = 0;
    bool ok = true;
    EXPECT_EQ(nullptr, PGM_COMMON::convert_standard_hex_string_to_byte_array("1x", DWORD(-1), &size, true, &ok));
    EXPECT_FALSE(ok);
    ok = false;
    EXPECT_EQ(nullptr, PGM_COMMON::convert_standard_hex_string_to_byte_array("", DWORD(-1), &size, false, &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(0u, size);
}

TEST(ByteArrayToHexString, FormsAndRoundTrips)
{
    BYTE pair[] = {0x34, 0x12};
    EXPECT_EQ("0x1234", PGM_COMMON::convert_byte_array_to_hex_string(pair, 2, true, true));
    EXPECT_EQ("0x3412", PGM_COMMON::convert_byte_array_to_standard_hex_string(pair, 2, true, true));
    BYTE letters[] = {0xAB, 0x0C};
    EXPECT_EQ("0CAB", PGM_COMMON::convert_byte_array_to_hex_string(letters, 2));
    EXPECT_EQ("0cab", PGM_COMMON::convert_byte_array_to_hex_string(letters, 2, false));
    EXPECT_EQ("ab0c", PGM_COMMON::convert_byte_array_to_standard_hex_string(letters, 2, false));
    EXPECT_EQ("0xAB0C", PGM_COMMON::convert_byte_array_to_standard_hex_string(letters, 2, true, true));

    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_byte_array_to_hex_string(NULL, 2), "value != NULL && count != 0");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_byte_array_to_hex_string(pair, 0), "value != NULL && count != 0");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_byte_array_to_standard_hex_string(NULL, 1),
                          "value != NULL && count != 0");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_byte_array_to_standard_hex_string(pair, 0),
                          "value != NULL && count != 0");

    // Every byte value through both orders and back.
    std::vector<BYTE> all(256);
    for (size_t i = 0; i < all.size(); i++)
        all[i] = BYTE(i);
    const std::string number_text = PGM_COMMON::convert_byte_array_to_hex_string(all.data(), 256);
    EXPECT_EQ(512u, number_text.size());
    EXPECT_EQ("FFFEFD", number_text.substr(0, 6));
    EXPECT_EQ(all, hex_bytes(number_text));
    const std::string standard_text = PGM_COMMON::convert_byte_array_to_standard_hex_string(all.data(), 256, false);
    EXPECT_EQ("000102", standard_text.substr(0, 6));
    EXPECT_EQ(all, standard_hex_bytes(standard_text));
    // The two orders read each other's texts reversed byte for byte.
    std::vector<BYTE> reversed(all.rbegin(), all.rend());
    EXPECT_EQ(reversed, standard_hex_bytes(number_text));
}

TEST(BinaryStringToByteArray, BitOrders)
{
    DWORD bits = 0;
    EXPECT_EQ((std::vector<BYTE>{0x01, 0x01}), binary_bytes("100000001", true, &bits));
    EXPECT_EQ(9u, bits);
    EXPECT_EQ((std::vector<BYTE>{0x00, 0x01}), binary_bytes("100000000", false));
    EXPECT_EQ((std::vector<BYTE>{0x05}), binary_bytes("101", false));
    EXPECT_EQ((std::vector<BYTE>{0x06}), binary_bytes("011", true));
    EXPECT_EQ((std::vector<BYTE>{0x80}), binary_bytes("10000000", false));
    EXPECT_EQ((std::vector<BYTE>{0x01}), binary_bytes("10000000", true));
    EXPECT_EQ((std::vector<BYTE>{0x00}), binary_bytes("0", true, &bits));
    EXPECT_EQ(1u, bits);
    EXPECT_INTERNAL_ERROR(binary_bytes("", true), "bit_size");
    EXPECT_INTERNAL_ERROR(binary_bytes("10 1", true), "bin == '0' || bin == '1'");
    EXPECT_INTERNAL_ERROR(binary_bytes("1?", false), "bin == '0' || bin == '1'");
}

TEST(NumberToString, HexAndDecimal)
{
    EXPECT_EQ("2345", PGM_COMMON::convert_qword_to_hex_string(0x12345, 4, false));
    EXPECT_EQ("0x0000000000012345", PGM_COMMON::convert_qword_to_hex_string(0x12345, 16, true));
    EXPECT_EQ("FEDCBA9876543210", PGM_COMMON::convert_qword_to_hex_string(0xFEDCBA9876543210));
    EXPECT_EQ("0x0", PGM_COMMON::convert_qword_to_hex_string(0x10, 1, true));
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_qword_to_hex_string(1, 0), "count != 0 && count <= 16");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_qword_to_hex_string(1, 17), "count != 0 && count <= 16");

    EXPECT_EQ("00ABCDEF", PGM_COMMON::convert_dword_to_hex_string(0xABCDEF));
    EXPECT_EQ("0xEF", PGM_COMMON::convert_dword_to_hex_string(0xABCDEF, 2, true));
    EXPECT_EQ("0xFFFFFFFF", PGM_COMMON::convert_dword_to_hex_string(0xFFFFFFFF, 8, true));
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_dword_to_hex_string(1, 0), "count != 0 && count <= 8");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_dword_to_hex_string(1, 9), "count != 0 && count <= 8");

    EXPECT_EQ("0", PGM_COMMON::convert_qword_to_string(0));
    EXPECT_EQ("18446744073709551615", PGM_COMMON::convert_qword_to_string(QWORD_MAX));

    EXPECT_EQ("  7", PGM_COMMON::convert_dword_to_string(7, 100, false));
    EXPECT_EQ("7  ", PGM_COMMON::convert_dword_to_string(7, 100, true));
    EXPECT_EQ("100", PGM_COMMON::convert_dword_to_string(100, 100));
    EXPECT_EQ("0", PGM_COMMON::convert_dword_to_string(0, 0));
    EXPECT_EQ("-1", PGM_COMMON::convert_dword_to_string(0xFFFFFFFF, 5, false));
    EXPECT_EQ("-1", PGM_COMMON::convert_dword_to_string(0xFFFFFFFF, 5, true));
    EXPECT_EQ("-1 ", PGM_COMMON::convert_dword_to_string(0xFFFFFFFF, 100, true));
    EXPECT_EQ(" -1", PGM_COMMON::convert_dword_to_string(0xFFFFFFFF, 100, false));
    // The default bound is the widest value, ten digits.
    EXPECT_EQ("        42", PGM_COMMON::convert_dword_to_string(42));
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_dword_to_string(101, 100), "value <= max || value == DWORD(-1)");
}

TEST(CompareStrings, CaseAndEmptyCandidates)
{
    EXPECT_TRUE(PGM_COMMON::compare_string("Abc", "Abc"));
    EXPECT_FALSE(PGM_COMMON::compare_string("Abc", "abc"));
    EXPECT_TRUE(PGM_COMMON::compare_string("Abc", "aBC", false));
    EXPECT_FALSE(PGM_COMMON::compare_string("Abc", "Ab", false));
    EXPECT_TRUE(PGM_COMMON::compare_string("", ""));

    EXPECT_TRUE(PGM_COMMON::compare_strings("b", {"a", "b", "c"}));
    EXPECT_FALSE(PGM_COMMON::compare_strings("B", {"a", "b", "c"}));
    EXPECT_TRUE(PGM_COMMON::compare_strings("B", {"a", "b", "c"}, false));
    EXPECT_FALSE(PGM_COMMON::compare_strings("d", {"a", "b", "c"}));
    EXPECT_INTERNAL_ERROR(PGM_COMMON::compare_strings("a", {}), "strings.size()");

    // One empty candidate is allowed; a second one met before a match is not.
    EXPECT_TRUE(PGM_COMMON::compare_strings("", {"a", ""}));
    EXPECT_FALSE(PGM_COMMON::compare_strings("x", {"", "a"}));
    EXPECT_TRUE(PGM_COMMON::compare_strings("", {"", ""}));
    EXPECT_TRUE(PGM_COMMON::compare_strings("a", {"", "a", ""}));
    EXPECT_INTERNAL_ERROR(PGM_COMMON::compare_strings("x", {"", "a", ""}), "empty_count == 0 || string.size() > 0");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::compare_strings("b", {"", "", "b"}), "empty_count == 0 || string.size() > 0");
}

TEST(ByteHelpers, NullTerminationDwordsAndUnits)
{
    const std::vector<BYTE> padded = bytes_of(std::string("abc\0\0\0", 6));
    EXPECT_EQ("abc", PGM_COMMON::get_null_termination_string(padded.data(), DWORD(padded.size())));
    const std::vector<BYTE> full = bytes_of("abc");
    EXPECT_EQ("abc", PGM_COMMON::get_null_termination_string(full.data(), 3));
    EXPECT_EQ("ab", PGM_COMMON::get_null_termination_string(full.data(), 2));
    const std::vector<BYTE> zeros(4, 0);
    EXPECT_EQ("", PGM_COMMON::get_null_termination_string(zeros.data(), 4));
    const std::vector<BYTE> after_zero = bytes_of(std::string("ab\0c", 4));
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_null_termination_string(after_zero.data(), 4), "!zero");
    const std::vector<BYTE> leading_zero = bytes_of(std::string("\0a", 2));
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_null_termination_string(leading_zero.data(), 2), "!zero");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_null_termination_string(NULL, 4), "data != NULL && size != 0");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_null_termination_string(full.data(), 0), "data != NULL && size != 0");

    BYTE word[6] = {0xEE, 0, 0, 0, 0, 0xEE};
    PGM_COMMON::put_dword(word + 1, 0x12345678);
    EXPECT_EQ((std::vector<BYTE>{0xEE, 0x78, 0x56, 0x34, 0x12, 0xEE}), std::vector<BYTE>(word, word + 6));
    EXPECT_EQ(0x12345678u, PGM_COMMON::get_dword(word + 1));
    const BYTE high[] = {0xFF, 0x00, 0x00, 0x80};
    EXPECT_EQ(0x800000FFu, PGM_COMMON::get_dword(high));

    EXPECT_EQ(3u, PGM_COMMON::n_units(17, 8));
    EXPECT_EQ(2u, PGM_COMMON::n_units(16, 8));
    EXPECT_EQ(0u, PGM_COMMON::n_units(0, 8));
    EXPECT_EQ(1u, PGM_COMMON::n_units(1, 8));
    EXPECT_EQ(5u, PGM_COMMON::n_units(5, 1));
    EXPECT_EQ(1u, PGM_COMMON::n_units(0xFFFFFFFF, 0xFFFFFFFF));
    EXPECT_EQ(0x80000000u, PGM_COMMON::n_units(0xFFFFFFFF, 2));
    EXPECT_INTERNAL_ERROR(PGM_COMMON::n_units(1, 0), "unit != 0");
}
