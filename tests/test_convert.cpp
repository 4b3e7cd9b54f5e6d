// Tests of the conversions between texts, numbers and byte arrays.
#include "test_support.h"

#include <memory>
#include <numeric>
#include <utility>

namespace {

typedef PGM_COMMON PC;
const QWORD QWORD_MAX = ~QWORD(0);
typedef std::vector<BYTE> BYTES;

// convert_string_to_qword with a status: {status, value}.
std::pair<bool, QWORD> qword_status(const std::string& text, bool shift, QWORD* fallback = NULL, bool no_empty = true)
{
    bool ok = !no_empty;
    const QWORD value = PC::convert_string_to_qword(text, no_empty, &ok, fallback, shift);
    return {ok, value};
}

std::string invalid_qword(const std::string& text)
{
    return "Invalid string \"" + text + "\" to qword conversion";
}

// Takes ownership of a returned byte array and copies it.
BYTES take_bytes(BYTE* bytes, DWORD size)
{
    std::unique_ptr<BYTE[]> owner(bytes);
    return owner ? BYTES(owner.get(), owner.get() + size) : BYTES();
}

// The two hex readers: [0] reads the text as one number, [1] in reading order.
typedef BYTE* (*HEX_READER)(std::string, DWORD, DWORD*, bool, bool*);
const HEX_READER HEX_READERS[2] = {PC::convert_hex_string_to_byte_array, PC::convert_standard_hex_string_to_byte_array};

BYTES read_hex(bool standard, const std::string& text, DWORD limit = DWORD(-1))
{
    DWORD size = 0;
    BYTE* bytes = HEX_READERS[standard](text, limit, &size, true, NULL);
    return take_bytes(bytes, size);
}

} // namespace

TEST(ConvertStringToQword, GoodBadAndEmptyTexts)
{
    const struct { std::string text; bool shift; QWORD value; } cases[] = {
        {"0", false, 0}, {"000", false, 0}, {"1234567890123", false, 1234567890123u}, {"0x1f", false, 31},
        {"0xabcDEF", false, 0xABCDEF}, {"b101", false, 5}, {"-5", false, 0xFFFFFFFFFFFFFFFBu},
        {"-0x1f", false, QWORD_MAX - 0x1E}, {"-b101", false, QWORD_MAX - 4}, {"-0", false, 0},
        {"0x123456789abcdef0", false, 0x123456789ABCDEF0u}, {"0xFFFFFFFFFFFFFFFF", false, QWORD_MAX},
        {"b" + std::string(64, '1'), false, QWORD_MAX}, {"b1" + std::string(63, '0'), false, QWORD(1) << 63},
        {"18446744073709551615", false, QWORD_MAX}, {"000018446744073709551615", false, QWORD_MAX},
        {"-18446744073709551615", false, 1}, {"10000000000000000000", false, 10000000000000000000u},
        {"1 << 4", true, 16}, {"0x3<<8", true, 0x300}, {"-1 << 4", true, QWORD(0) - 16},
        {"1 << 63", true, QWORD(1) << 63}, {"1 << 65", true, 2}, {"b101 << 0x5", true, 0xA0},
        {"\t5 << 0 ", true, 5}, {"0x1f", true, 31}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.value, PC::convert_string_to_qword(c.text, true, NULL, NULL, c.shift)) << c.text;
        QWORD fallback = 77;
        EXPECT_EQ(std::make_pair(true, c.value), qword_status(c.text, c.shift, &fallback)) << c.text;
    }

    const std::vector<std::string> plain_bad = {
        "0X1F", "B101", "--5", "12Z", "1 2", " 12", "12 ", "0x1G", "b102", "0x" + std::string(17, '1'),
        "b" + std::string(65, '1'), "+5", "1<<4", "x", "0b1", "1.5", "-1Z", "1 << 4", "18446744073709551616",
        "18446744073709551620", "99999999999999999999", "100000000000000000000", "-18446744073709551616",
        std::string(40, '9')};
    const std::vector<std::string> shift_bad = {"1<<4", "<< 40", "<<1234", "1 <<  ", "   << 1", "1 << 2 << 3",
                                                "1 << x", "y << 1", "1 < < 4", "-1<<4", "18446744073709551616 << 1",
                                                "1 << 18446744073709551616"};
    for (bool shift : {false, true}) {
        for (const std::string& text : shift ? shift_bad : plain_bad) {
            QWORD fallback = 77;
            EXPECT_EQ(std::make_pair(false, QWORD(77)), qword_status(text, shift, &fallback)) << text;
            EXPECT_EQ(std::make_pair(false, QWORD(0)), qword_status(text, shift)) << text;
            EXPECT_INTERNAL_ERROR(PC::convert_string_to_qword(text, true, NULL, NULL, shift), invalid_qword(text));
        }
    }

    bool ok = false;
    EXPECT_INTERNAL_ERROR(PC::convert_string_to_qword(""), "!no_empty || !string.empty()");
    EXPECT_INTERNAL_ERROR(PC::convert_string_to_qword("", true, &ok), "!no_empty || !string.empty()");
    // Nothing left after the sign and prefix: the default, not negated, and good text.
    for (const std::string text : {"", "-", "0x", "b", "-0x", "-b"}) {
        for (bool no_empty : {false, !text.empty()}) {
            QWORD fallback = 9;
            EXPECT_EQ(std::make_pair(true, QWORD(9)), qword_status(text, false, &fallback, no_empty)) << text;
            EXPECT_EQ(std::make_pair(true, QWORD(0)), qword_status(text, false, NULL, no_empty)) << text;
            EXPECT_EQ(9u, PC::convert_string_to_qword(text, no_empty, NULL, &fallback)) << text;
        }
    }
}

TEST(ConvertStringToDwordAndInteger, Forms)
{
    // Shifts are allowed throughout. For the integer a "-" after the first character fails before the
    // default is looked at; other bad text gives the default, negated for a negative text.
    const struct { std::string text; DWORD fallback, value; bool ok; } dwords[] = {
        {"0x123456789ABCDEF0", 6, 0x9ABCDEF0, true}, {"-1", 6, 0xFFFFFFFF, true}, {"4294967296", 6, 0, true},
        {"1 << 8", 6, 0x100, true}, {"", 0xFFFFFFFF, 0xFFFFFFFF, true}, {"bad", 0xFFFFFFFF, 0xFFFFFFFF, false},
        {"18446744073709551616", 6, 6, false}};
    for (const auto& c : dwords) {
        bool ok = !c.ok;
        DWORD fallback = c.fallback;
        EXPECT_EQ(c.value, PC::convert_string_to_dword(c.text, !c.text.empty(), &ok, &fallback, true)) << c.text;
        EXPECT_EQ(c.ok, ok) << c.text;
        EXPECT_EQ(c.fallback, fallback) << c.text;
    }
    const struct { std::string text; int value; bool ok; } integers[] = {
        {"-12", -12, true}, {"12", 12, true}, {"-0x10", -16, true}, {"-2147483648", -2147483647 - 1, true},
        {"0xFFFFFFFF", -1, true}, {"-1 << 4", -16, true}, {"1-2", 0, false}, {"-1-2", 0, false}, {"1Z", 7, false},
        {"-1Z", -7, false}, {"", 7, true}, {"-18446744073709551616", -7, false}};
    for (const auto& c : integers) {
        bool ok = !c.ok;
        int fallback = 7;
        EXPECT_EQ(c.value, PC::convert_string_to_integer(c.text, !c.text.empty(), &ok, &fallback, true)) << c.text;
        EXPECT_EQ(c.ok, ok) << c.text;
    }
    EXPECT_INTERNAL_ERROR(PC::convert_string_to_dword("0xZ"), invalid_qword("0xZ"));
    EXPECT_INTERNAL_ERROR(PC::convert_string_to_dword(""), "!no_empty || !string.empty()");
    EXPECT_INTERNAL_ERROR(PC::convert_string_to_integer("1-2"), "string.find(\"-\") == STL_STRING::npos");
    EXPECT_INTERNAL_ERROR(PC::convert_string_to_integer("--2"), "string.find(\"-\") == STL_STRING::npos");
    EXPECT_INTERNAL_ERROR(PC::convert_string_to_integer("1Z"), invalid_qword("1Z"));
    EXPECT_INTERNAL_ERROR(PC::convert_string_to_integer("-"), "!no_empty || !string.empty()");
}

TEST(ConvertStringToSpecialQword, Forms)
{
    // Only the shift amount is bounded. The dword form bounds it at 32 and keeps the low 32 bits.
    const struct { std::string text, word; DWORD max_bits; QWORD value; bool no_empty; } good[] = {
        {"1<<4 | 0x100", "<<", 32, 0x110, true}, {" 1 << 4|0x100 ", "<<", 32, 0x110, true}, {"", "<<", 32, 0, false},
        {"1<<62", "<<", 63, QWORD(1) << 62, true}, {"1<<31", "<<", 32, 0x80000000, true}, {" \t", "<<", 32, 0, false},
        {"0xFF SHL 4", "SHL", 8, 0xFF0, true}, {"0x123456789", "<<", 32, 0x123456789, true},
        {"1|2|4", "<<", 32, 7, true}};
    for (const auto& c : good) {
        bool ok = false, dword_ok = c.max_bits != 32;
        EXPECT_EQ(c.value, PC::convert_string_to_special_qword(c.text, c.word, c.no_empty, &ok, c.max_bits)) << c.text;
        EXPECT_EQ(c.value, PC::convert_string_to_special_qword(c.text, c.word, c.no_empty, NULL, c.max_bits));
        if (c.max_bits == 32) {
            EXPECT_EQ(DWORD(c.value), PC::convert_string_to_special_dword(c.text, c.word, c.no_empty, &dword_ok));
        }
        EXPECT_TRUE(ok && dword_ok) << c.text;
    }
    // Without a status a bad piece raises the plain conversion's own error.
    const char* const invalid = "Invalid string to special qword conversion";
    const std::pair<std::string, std::string> bad[] = {
        {"1<<32", invalid}, {"|1", invalid}, {"1|", invalid}, {"<<1", invalid}, {"1<<", invalid}, {"1 | ", invalid},
        {"1 |  | 2", invalid}, {"1 | 2Z", invalid_qword("2Z")}, {"1 << 4Z", invalid_qword("4Z")},
        {"x<<2", invalid_qword("x")}, {"1<<y", invalid_qword("y")}};
    for (const auto& c : bad) {
        bool ok = true;
        EXPECT_EQ(0u, PC::convert_string_to_special_qword(c.first, "<<", true, &ok, 32)) << c.first;
        EXPECT_FALSE(ok) << c.first;
        EXPECT_INTERNAL_ERROR(PC::convert_string_to_special_qword(c.first, "<<", true, NULL, 32), c.second);
    }
    const char* const bounds = "shift_word.size() && max_bit_size > 0 && max_bit_size < 64";
    const struct { std::string text, word; DWORD max_bits; std::string error; } internal[] = {
        {"1||2", "<<", 32, "single_string.size()"}, {"", "<<", 32, "!no_empty || !string.empty()"},
        {"  ", "<<", 32, "!no_empty || !string.empty()"}, {"1", "", 32, bounds}, {"1", "<<", 0, bounds},
        {"1", "<<", 64, bounds}};
    bool ok = false;
    for (const auto& c : internal)
        EXPECT_INTERNAL_ERROR(PC::convert_string_to_special_qword(c.text, c.word, true, &ok, c.max_bits), c.error);
    EXPECT_EQ(0u, PC::convert_string_to_special_dword("1<<32", "<<", true, &ok));
    EXPECT_FALSE(ok);
}

TEST(ConvertScientificString, SizedLiterals)
{
    // A failure gives 0 and a message; success an empty message.
    struct CASE { std::string text; QWORD value; std::string message = ""; };
    const std::string hex_size = "Invalid HEXADECIMAL size", exceed = "In DECIMAL value exceed its size",
                      keyword = "Unable to find scientific keyword";
    const CASE cases[] = {
        {"8'hFF", 255}, {"'hab", 0xAB}, {"2'hA?", 0xA0}, {"'hFFFFFFFFFFFFFFFF", QWORD_MAX}, {"4'b1?1", 5},
        {"'b101", 5}, {"'b" + std::string(64, '1'), QWORD_MAX}, {"3'd7", 7}, {"64'd5", 5}, {"12'd100", 100},
        {"'d1?", 10}, {"64'd18446744073709551615", QWORD_MAX}, {"'d18446744073709551615", QWORD_MAX},
        {"12", 12}, {"0x1F", 0x1F}, {"-5", QWORD_MAX - 4}, {"2'hFFF", 0, hex_size}, {"8'h", 0, hex_size},
        {"'h" + std::string(17, '1'), 0, hex_size}, {"'b", 0, "Invalid BINARY size"},
        {"8'hFG", 0, "HEXADECIMAL should be \"0 - 9\", \"A - F\", or \"?\""}, {"2'b101", 0, "Invalid BINARY size"},
        {"4'b12", 0, "BINARY should be \"0\", \"1\", or \"?\""}, {"8'd", 0, "Invalid DECIMAL size"},
        {"8'dA", 0, "DECIMAL should be \"0 - 9\", or \"?\""}, {"3'd8", 0, exceed}, {"1'd2", 0, exceed},
        {"'d18446744073709551616", 0, exceed}, {"64'd99999999999999999999", 0, exceed}, {"12'x5", 0, keyword},
        {"8'HFF", 0, keyword}, {"18446744073709551616", 0, keyword}};
    for (const CASE& c : cases) {
        QWORD value = 123;
        std::string message = "stale";
        EXPECT_EQ(c.message.empty(), PC::convert_scientific_string_to_qword(c.text, value, message)) << c.text;
        EXPECT_EQ(c.value, value) << c.text;
        EXPECT_EQ(c.message, message) << c.text;
    }
    const std::pair<std::string, std::string> internal[] = {
        {"", "!no_empty || !string.empty()"}, {"x'hFF", invalid_qword("x")}, {"z'b1", invalid_qword("z")},
        {"20'h" + std::string(17, 'f'), invalid_qword("0x" + std::string(17, 'f'))}};
    for (const auto& c : internal) {
        QWORD value = 0;
        std::string message;
        EXPECT_INTERNAL_ERROR(PC::convert_scientific_string_to_qword(c.first, value, message), c.second);
    }
}

TEST(HexStrings, BothOrdersAndRoundTrips)
{
    // Digits past the limit are not read, even bad ones; a failure gives NULL and keeps the size.
    // The empty text is read with no_empty off.
    const DWORD ALL = DWORD(-1);
    const struct { bool standard; std::string text; DWORD limit; BYTES bytes; bool ok; DWORD size; } cases[] = {
        {false, "1234", ALL, {0x34, 0x12}, true, 2}, {false, "1234", 1, {0x34}, true, 1},
        {false, "123", ALL, {0x23, 0x01}, true, 2},  {false, "abCDef", 4, {0xEF, 0xCD, 0xAB, 0x00}, true, 4},
        {false, "G12", 1, {0x12}, true, 1},          {false, "ff", 1, {0xFF}, true, 1},
        {false, "", ALL, {}, true, 0},               {false, "", 2, {0, 0}, true, 2},
        {false, "0x1G", ALL, {}, false, 2},          {true, "1234", ALL, {0x12, 0x34}, true, 2},
        {true, "1234", 1, {0x12}, true, 1},          {true, "abcd", 3, {0xAB, 0xCD, 0x00}, true, 3},
        {true, "12GG", 1, {0x12}, true, 1},          {true, "", ALL, {}, true, 0},
        {true, "1x", ALL, {}, false, 1},             {true, "12 4", ALL, {}, false, 2}};
    for (const auto& c : cases) {
        const HEX_READER reader = HEX_READERS[c.standard];
        DWORD size = 99;
        bool ok = !c.ok;
        BYTE* bytes = reader(c.text, c.limit, &size, !c.text.empty(), &ok);
        EXPECT_EQ(c.size == 0 || !c.ok, bytes == NULL) << c.text;
        EXPECT_EQ(c.bytes, take_bytes(bytes, size)) << c.text;
        EXPECT_EQ(c.ok, ok) << c.text;
        EXPECT_EQ(c.size, size) << c.text;
        if (c.ok)
            EXPECT_EQ(c.bytes, take_bytes(reader(c.text, c.limit, NULL, !c.text.empty(), NULL), c.size)) << c.text;
        else
            EXPECT_INTERNAL_ERROR(read_hex(c.standard, c.text),
                                  "Invalid hex string to BYTE array conversion: " + c.text);
    }
    for (bool standard : {false, true}) {
        EXPECT_INTERNAL_ERROR(read_hex(standard, ""), "!no_empty || !hex_string.empty()");
        EXPECT_INTERNAL_ERROR(read_hex(standard, "12", 0), "limit_byte_size > 0");
    }
    EXPECT_INTERNAL_ERROR(read_hex(true, "123"), "(hex_string.size() % 2) == 0");

    BYTE pair[] = {0x34, 0x12};
    BYTE letters[] = {0xAB, 0x0C};
    EXPECT_EQ("0x1234", PC::convert_byte_array_to_hex_string(pair, 2, true, true));
    EXPECT_EQ("0x3412", PC::convert_byte_array_to_standard_hex_string(pair, 2, true, true));
    EXPECT_EQ("0CAB", PC::convert_byte_array_to_hex_string(letters, 2));
    EXPECT_EQ("0cab", PC::convert_byte_array_to_hex_string(letters, 2, false));
    EXPECT_EQ("ab0c", PC::convert_byte_array_to_standard_hex_string(letters, 2, false));
    EXPECT_EQ("0xAB0C", PC::convert_byte_array_to_standard_hex_string(letters, 2, true, true));
    const char* const no_bytes = "value != NULL && count != 0";
    EXPECT_INTERNAL_ERROR(PC::convert_byte_array_to_hex_string(NULL, 2), no_bytes);
    EXPECT_INTERNAL_ERROR(PC::convert_byte_array_to_hex_string(pair, 0), no_bytes);
    EXPECT_INTERNAL_ERROR(PC::convert_byte_array_to_standard_hex_string(NULL, 1), no_bytes);
    EXPECT_INTERNAL_ERROR(PC::convert_byte_array_to_standard_hex_string(pair, 0), no_bytes);

    // Every byte value through both orders and back; each order reads the other's text reversed.
    BYTES all(256);
    std::iota(all.begin(), all.end(), BYTE(0));
    const std::string number_text = PC::convert_byte_array_to_hex_string(all.data(), 256);
    EXPECT_EQ(512u, number_text.size());
    EXPECT_EQ("FFFEFD", number_text.substr(0, 6));
    EXPECT_EQ(all, read_hex(false, number_text));
    const std::string standard_text = PC::convert_byte_array_to_standard_hex_string(all.data(), 256, false);
    EXPECT_EQ("000102", standard_text.substr(0, 6));
    EXPECT_EQ(all, read_hex(true, standard_text));
    EXPECT_EQ(BYTES(all.rbegin(), all.rend()), read_hex(true, number_text));
}

TEST(BinaryStringToByteArray, BitOrders)
{
    const struct { std::string text; bool lsb_first; BYTES bytes; } cases[] = {
        {"100000001", true, {0x01, 0x01}}, {"100000000", false, {0x00, 0x01}}, {"101", false, {0x05}},
        {"011", true, {0x06}},             {"10000000", false, {0x80}},         {"10000000", true, {0x01}},
        {"0", true, {0x00}}};
    for (const auto& c : cases) {
        DWORD bits = 0;
        BYTE* bytes = PC::convert_binary_string_to_byte_array(c.text, bits, c.lsb_first);
        EXPECT_EQ(c.bytes, take_bytes(bytes, (bits + 7) / 8)) << c.text;
        EXPECT_EQ(c.text.size(), bits) << c.text;
    }
    DWORD bits = 0;
    EXPECT_INTERNAL_ERROR(PC::convert_binary_string_to_byte_array("", bits, true), "bit_size");
    for (const auto& c : {std::make_pair("10 1", true), std::make_pair("1?", false)})
        EXPECT_INTERNAL_ERROR(take_bytes(PC::convert_binary_string_to_byte_array(c.first, bits, c.second), 1),
                              "bin == '0' || bin == '1'");
}

TEST(NumberToString, HexAndDecimal)
{
    const std::pair<std::string, std::string> cases[] = {
        {PC::convert_qword_to_hex_string(0x12345, 4, false), "2345"}, {PC::convert_dword_to_string(42), "        42"},
        {PC::convert_qword_to_string(QWORD_MAX), "18446744073709551615"}, {PC::convert_qword_to_string(0), "0"},
        {PC::convert_qword_to_hex_string(0x12345, 16, true), "0x0000000000012345"},
        {PC::convert_qword_to_hex_string(0xFEDCBA9876543210), "FEDCBA9876543210"},
        {PC::convert_qword_to_hex_string(0x10, 1, true), "0x0"},
        {PC::convert_dword_to_hex_string(0xABCDEF, 2, true), "0xEF"}, {PC::convert_dword_to_string(100, 100), "100"},
        {PC::convert_dword_to_hex_string(0xABCDEF), "00ABCDEF"},
        {PC::convert_dword_to_hex_string(0xFFFFFFFF, 8, true), "0xFFFFFFFF"}, {PC::convert_dword_to_string(0, 0), "0"},
        {PC::convert_dword_to_string(0xFFFFFFFF, 5, false), "-1"}, {PC::convert_dword_to_string(7, 100, false), "  7"},
        {PC::convert_dword_to_string(0xFFFFFFFF, 5, true), "-1"}, {PC::convert_dword_to_string(7, 100, true), "7  "},
        {PC::convert_dword_to_string(0xFFFFFFFF, 100, true), "-1 "},
        {PC::convert_dword_to_string(0xFFFFFFFF, 100, false), " -1"}};
    for (const auto& c : cases)
        EXPECT_EQ(c.second, c.first);
    EXPECT_INTERNAL_ERROR(PC::convert_qword_to_hex_string(1, 0), "count != 0 && count <= 16");
    EXPECT_INTERNAL_ERROR(PC::convert_qword_to_hex_string(1, 17), "count != 0 && count <= 16");
    EXPECT_INTERNAL_ERROR(PC::convert_dword_to_hex_string(1, 0), "count != 0 && count <= 8");
    EXPECT_INTERNAL_ERROR(PC::convert_dword_to_hex_string(1, 9), "count != 0 && count <= 8");
    EXPECT_INTERNAL_ERROR(PC::convert_dword_to_string(101, 100), "value <= max || value == DWORD(-1)");
}

TEST(CompareStrings, CaseAndEmptyCandidates)
{
    EXPECT_TRUE(PC::compare_string("Abc", "Abc"));
    EXPECT_FALSE(PC::compare_string("Abc", "abc"));
    EXPECT_TRUE(PC::compare_string("Abc", "aBC", false));
    EXPECT_FALSE(PC::compare_string("Abc", "Ab", false));
    EXPECT_TRUE(PC::compare_string("", ""));
    // One empty candidate is allowed; a second one met before a match is not.
    const struct { std::string text; std::vector<std::string> candidates; bool case_sensitive, found; } lists[] = {
        {"b", {"a", "b", "c"}, true, true}, {"B", {"a", "b", "c"}, true, false}, {"B", {"a", "b", "c"}, false, true},
        {"d", {"a", "b", "c"}, true, false}, {"", {"a", ""}, true, true},        {"x", {"", "a"}, true, false},
        {"", {"", ""}, true, true},          {"a", {"", "a", ""}, true, true}};
    for (const auto& c : lists)
        EXPECT_EQ(c.found, PC::compare_strings(c.text, c.candidates, c.case_sensitive)) << c.text;
    EXPECT_INTERNAL_ERROR(PC::compare_strings("a", {}), "strings.size()");
    EXPECT_INTERNAL_ERROR(PC::compare_strings("x", {"", "a", ""}), "empty_count == 0 || string.size() > 0");
    EXPECT_INTERNAL_ERROR(PC::compare_strings("b", {"", "", "b"}), "empty_count == 0 || string.size() > 0");
}

TEST(ByteHelpers, NullTerminationDwordsAndUnits)
{
    // Only size bytes are read.
    const struct { std::string data; DWORD size; std::string text; } texts[] = {
        {"abc", 3, "abc"}, {"abc", 2, "ab"}, {std::string("abc\0\0\0", 6), 6, "abc"}, {std::string(4, '\0'), 4, ""}};
    for (const auto& c : texts)
        EXPECT_EQ(c.text, PC::get_null_termination_string(bytes_of(c.data).data(), c.size)) << c.size;
    for (const std::string& text : {std::string("ab\0c", 4), std::string("\0a", 2)})
        EXPECT_INTERNAL_ERROR(PC::get_null_termination_string(bytes_of(text).data(), DWORD(text.size())), "!zero");
    EXPECT_INTERNAL_ERROR(PC::get_null_termination_string(NULL, 4), "data != NULL && size != 0");
    EXPECT_INTERNAL_ERROR(PC::get_null_termination_string(bytes_of("abc").data(), 0), "data != NULL && size != 0");

    BYTE word[6] = {0xEE, 0, 0, 0, 0, 0xEE};
    PC::put_dword(word + 1, 0x12345678);
    EXPECT_EQ((BYTES{0xEE, 0x78, 0x56, 0x34, 0x12, 0xEE}), BYTES(word, word + 6));
    EXPECT_EQ(0x12345678u, PC::get_dword(word + 1));
    const BYTE high[] = {0xFF, 0x00, 0x00, 0x80};
    EXPECT_EQ(0x800000FFu, PC::get_dword(high));

    const DWORD units[][3] = {{17, 8, 3}, {16, 8, 2}, {0, 8, 0}, {1, 8, 1}, {5, 1, 5},
                              {0xFFFFFFFF, 0xFFFFFFFF, 1}, {0xFFFFFFFF, 2, 0x80000000}};
    for (const auto& c : units)
        EXPECT_EQ(c[2], PC::n_units(c[0], c[1])) << c[0] << " / " << c[1];
    EXPECT_INTERNAL_ERROR(PC::n_units(1, 0), "unit != 0");
}
