// PGM_COMMON: the library's static functions, grouped by area. Each group
// is defined in its own source file under pgm/common/.
#pragma once

#include "host/host_types.h"

#include <string>
#include <vector>

class PGM_COMMON {
public:
    // ---- Numbers and hex strings (pgm_common_convert.cpp) ----
    // Plain numbers: decimal, "0x" hexadecimal, "b" binary, optional "-",
    // and with allow_shift a left shift written "a << b". A status pointer
    // receives false for bad text; without one bad text is an internal error.
    static QWORD convert_string_to_qword(std::string string, bool no_empty = true, bool* status = NULL,
                                         QWORD* default_value = NULL, bool allow_shift = false);
    static DWORD convert_string_to_dword(std::string string, bool no_empty = true, bool* status = NULL,
                                         DWORD* default_value = NULL, bool allow_shift = false);
    static int convert_string_to_integer(std::string string, bool no_empty = true, bool* status = NULL,
                                         int* default_value = NULL, bool allow_shift = false);
    // Plain numbers joined by "|" and ORed, each optionally shifted by shift_word.
    static QWORD convert_string_to_special_qword(std::string string, std::string shift_word, bool no_empty,
                                                 bool* status, DWORD max_bit_size);
    static DWORD convert_string_to_special_dword(std::string string, std::string shift_word, bool no_empty,
                                                 bool* status);
    // Plain numbers or sized literals such as "8'hFF", "4'b1?1", "12'd100".
    static bool convert_scientific_string_to_qword(std::string string, QWORD& value, std::string& error_message);
    // The text as one number, its last two digits byte 0. Caller deletes[] the result.
    static BYTE* convert_hex_string_to_byte_array(std::string hex_string, DWORD limit_byte_size, DWORD* byte_size,
                                                  bool no_empty = true, bool* status = NULL);
    // The text as bytes in reading order, its first two digits byte 0. Caller deletes[] the result.
    static BYTE* convert_standard_hex_string_to_byte_array(std::string hex_string, DWORD limit_byte_size,
                                                           DWORD* byte_size, bool no_empty = true,
                                                           bool* status = NULL);
    // A text of "0" and "1" to bits; bit_size receives the text length. Caller deletes[] the result.
    static BYTE* convert_binary_string_to_byte_array(std::string string, DWORD& bit_size, bool lsb_first);
    static std::string convert_byte_array_to_hex_string(BYTE* value, DWORD count, bool upper_case = true,
                                                        bool prefix_0x = false);
    static std::string convert_byte_array_to_standard_hex_string(BYTE* value, DWORD count, bool upper_case = true,
                                                                 bool prefix_0x = false);
    static std::string convert_qword_to_hex_string(QWORD value, DWORD count = 16, bool prefix_0x = false);
    static std::string convert_dword_to_hex_string(DWORD value, DWORD count = 8, bool prefix_0x = false);
    static std::string convert_qword_to_string(QWORD value);
    static std::string convert_dword_to_string(DWORD value, DWORD max = DWORD(-1), bool left_align = false);
    static bool compare_string(std::string a, std::string b, bool case_sensitive = true);
    static bool compare_strings(std::string string, std::vector<std::string> strings, bool case_sensitive = true);
    static std::string get_null_termination_string(const BYTE* data, DWORD size);
    static DWORD get_dword(const BYTE* data);
    static void put_dword(BYTE* data, DWORD value);
    static DWORD n_units(DWORD value, DWORD unit);

    // ---- Splitting, grouping and keyword replacement (pgm_common_split.cpp) ----
    // max_count DWORD(-1) means no limit.
    static std::vector<std::string> split_string(std::string string, std::string split, bool trim = true,
                                                 bool keep_empty = false, DWORD max_count = DWORD(-1),
                                                 std::vector<std::string> strip_around = std::vector<std::string>(),
                                                 std::string suffix = "", bool fix_carriage_return = true);
    static std::vector<std::string> backup_split_string(std::string string, std::string split, bool trim = true,
                                                        bool keep_empty = false, DWORD max_count = DWORD(-1),
                                                        std::vector<std::string> strip_around =
                                                            std::vector<std::string>(),
                                                        std::string suffix = "", bool fix_carriage_return = true);
    // "(a, b), (c, d)" to {{a, b}, {c, d}}; group_size DWORD(-1) allows any size.
    static std::vector<std::vector<std::string>> get_string_groups(std::string string, DWORD group_size);
    static std::vector<std::vector<DWORD>> get_dword_groups(std::string string, DWORD group_size);
    static std::string get_rid_carriage_return(std::string string);
    static std::string get_rid_header_and_trailer_white_space_and_comment(std::string string,
                                                                          std::vector<std::string> comments);
    static std::string get_rid_white_space_and_comment(std::string string, std::vector<std::string> comments);
    // Applies "NAME=value|NAME=value" to the templates "__@NAME@__value__!NAME!__"
    // of text, then strips the markers of every template left.
    static void replacement_default_value(std::string& text, std::string replacements, bool debug = false);

    // ---- CRCs (pgm_common_crc.cpp) ----
    // Reflected CRC-16 over a bit range, least significant bit of each byte first.
    static WORD calculate_crc16(const BYTE* base_address, DWORD start_bit, DWORD bit_count, WORD initial_value,
                                WORD polynomial);
    // Reflected table CRC-16 over whole bytes; table null uses the table of 0x8408.
    static WORD calculate_sof_crc16(const BYTE* base_address, DWORD size, WORD initial_value, bool invert,
                                    const WORD* table);
    // Reflected CRC-32 over a bit range; msb_first takes each byte's bits from bit 7 down.
    static DWORD lsb_calculate_crc32(const BYTE* base_address, DWORD start_bit, DWORD bit_count,
                                     DWORD initial_value, DWORD polynomial, bool msb_first, bool use_table);
    // Non-reflected CRC-32 over a bit range.
    static DWORD msb_calculate_crc32(const BYTE* base_address, DWORD start_bit, DWORD bit_count,
                                     DWORD initial_value, DWORD polynomial, bool msb_first);

private:
    static void replacement_default_value(std::string& text, std::string key, std::string value, bool debug);
    static void replacement_default_value_get_keyword_index(std::string text, QWORD& start, QWORD& name_end,
                                                            QWORD& value_end, QWORD& marker_end,
                                                            QWORD& end_marker_length, QWORD from);
};
