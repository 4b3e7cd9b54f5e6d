// PGM_COMMON: the library's static functions, grouped by area. Each group
// is defined in its own source file under pgm/common/.
#pragma once

#include "host/host_types.h"
#include "pgm/h/pgm_common_api.h"
#include "pgm/h/pgm_protobuf.h"

#include <cstdio>
#include <string>
#include <vector>

class PGM_COMMON_API PGM_COMMON {
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

    // ---- Files, paths and times (pgm_common_path.cpp) ----
    // The extension's dot inside filename, or null when the last component has none.
    static const char* get_extension(const char* filename);
    static bool check_extension(std::string filepath, std::string extension);
    static bool match_file_extension(std::string a, std::string b);
    // Bit i set when filename ends with extensions[i] (at most 64 entries).
    static QWORD match_extension(std::string filename, std::vector<std::string> extensions);
    static std::string change_extension(std::string filename, std::string src_extension, std::string des_extension);
    static void change_folder_slash(std::string& path);
    static void remove_backward_folder(std::string& path);
    static std::string get_filename(std::string path);
    static void get_folder_and_filename(std::string filepath, std::string& folder, std::string& filename);
    // Creates the folder and its missing parents; returns its absolute path.
    static std::string create_folder(std::string folder);
    // The paths that match a pattern with "*" and "?" in any component.
    static std::vector<std::string> find_files(std::string filepath, bool include_folders);
    static bool find_files(std::string filepath, std::vector<std::string>& files, bool include_folders);
    // USERNAME, SWSITE, TRCS_VERSION, TRCS_BUILD_NUMBER, TRCS_TARGET_SYS, TRCS_TARGET_BIT.
    static bool get_env_info(std::string (&values)[6], std::string temp_file);
    // Looks for keyword in "morvane_patch_log.txt" of the module folder;
    // index -3, -2, -1 or a position within the line.
    static bool check_patch_log(std::string keyword, QWORD index, bool add_dot, std::string* found_rest,
                                DWORD occurrence);
    static std::string pgm_get_bin_directory();
    static std::string pgm_get_bin_pgm_parts(BYTE mode, std::string name);
    static std::string pgm_get_common_programmer();
    static std::string pgm_get_devinfo_prog_pgm_parts(BYTE mode);
    static std::string pgm_get_unshipped_programmer(bool must_exist);
    // Wall-clock time since 1970-01-01 00:00:00 UTC, with 100 ns resolution.
    static QWORD get_nano_time();
    static QWORD get_micro_time();
    static QWORD get_mili_time();
    static QWORD get_time();

    // ---- Whole files and bitstream forms (pgm_common_file.cpp) ----
    // Chunk size for reading compressed binary files.
    static const DWORD BUFFER_SIZE = 0x20000;
    // The file's text lines, plain or gzip-compressed.
    static bool pgm_open_input_file(std::string filepath, std::vector<std::string>& lines, BYTE protection_mode,
                                    bool allow_empty, bool keep_empty_lines = false);
    // The whole file, decompressed when gzip-compressed; size + 1 bytes, the
    // last one 0. Null when the file is missing or empty. Caller deletes[] it.
    static BYTE* pgm_open_input_bin_file(std::string filepath, DWORD& size);
    // A DAT file (one hexadecimal word per line) to its bytes. Caller deletes[] the result.
    static BYTE* convert_dat_to_rbf(std::string filepath, DWORD& size);
    static void print_dat_file(FILE* output, const BYTE* data, DWORD data_byte_size, DWORD byte_per_line,
                               std::string comment);
    static void print_dat_file(std::string filepath, const BYTE* data, DWORD data_byte_size, DWORD byte_per_line,
                               std::string comment, bool overwrite);
    static void print_bin_text_file(std::string filepath, const BYTE* data, DWORD data_byte_size, DWORD row,
                                    DWORD col, bool reverse_row, bool left_to_right, DWORD alignment);
    // Rewrites the file with every CR LF pair turned into LF.
    static void standardize_text_file(std::string filepath);
    // Raw deflate (fixed codes, 8 KiB window) followed by padding zero bytes. Caller deletes[] the result.
    static BYTE* zlib_compress(const BYTE* data, DWORD data_size, DWORD& compressed_size, DWORD padding);
    // A text file of bit rows to packed bits. Caller deletes[] the result.
    static BYTE* parse_icd_file(std::string filepath, DWORD& bit_count, bool binary, bool first_line_first,
                                bool lowest_bit_first, bool allow_z);

    // ---- Memory contents (pgm_common_memory.cpp) ----
    // A hexadecimal record file as one image from its lowest address, gaps 0.
    // Null when the file gives none, with the reason issued as the reader's
    // catalogue message: 17923 for a file that cannot be opened, 17920 to
    // 17922 for a broken file, and 17922 for a file without data bytes or
    // whose image would pass a 32-bit size.
    static BYTE* read_hex_data(std::string filepath, DWORD& size, DWORD& lowest_address);
    // A hexadecimal record file whose blocks run on from address 0. Null as
    // read_hex_data, and with message 17922 when the blocks do not run on.
    static BYTE* read_continuous_hex_data(std::string filepath, DWORD& size);
    // A text file of one word per line ("b" binary, "0x" hexadecimal or a number).
    static BYTE* read_memory_file(std::string filepath, DWORD& width, DWORD& depth, DWORD& size);

    // ---- Digests, HMAC and random values (pgm_common_digest.cpp) ----
    // SHA-2 digests of a buffer: 32, 48 or 64 bytes. Caller deletes[] the result.
    static BYTE* get_block_sha256(const BYTE* data, DWORD size);
    static BYTE* get_block_sha384(const BYTE* data, DWORD size);
    static BYTE* get_block_sha512(const BYTE* data, DWORD size);
    // The digest of sha_size bytes: 32, 48 or 64.
    static BYTE* get_block_sha(const BYTE* data, DWORD size, DWORD sha_size);
    // HMAC-SHA-256 of a buffer under key: 32 bytes. Caller deletes[] the result.
    static BYTE* get_block_hmac256(const BYTE* data, DWORD size, const BYTE* key, DWORD key_size);
    // Pseudo-random values from a generator seeded by the clock on first use,
    // or again when reseed is true.
    static DWORD get_random_dword(bool reseed = false);
    // As above, seeded from get_unique_info(true).
    static DWORD get_true_random_dword(bool reseed = false);
    // SHA-256 of the process and thread ids, the host's identifiers and,
    // with with_time, the time: 32 bytes. Caller deletes[] the result.
    static BYTE* get_unique_info(bool with_time);

    // ---- Text trees (pgm_common_protobuf.cpp) ----
    // Lines of "name: value" fields and "name {" ... "}" blocks, two spaces
    // of indentation per level. Malformed text is an internal error. Null
    // for an empty text; the caller deletes the returned top node.
    static PGM_PROTOBUF* convert_string_to_pgm_protobuf(std::string string);
    // Appends the tree's lines to output (start with output empty and space
    // ""). Returns the reason the tree cannot be written, empty on success.
    static std::string convert_pgm_protobuf_to_string(const PGM_PROTOBUF* protobuf, std::string& output,
                                                      std::string space);
    static bool validate_pgm_protobuf(const PGM_PROTOBUF* protobuf, std::string& failed_reason, bool top);
    // The children named name: the one child when only one has the name;
    // otherwise the one at index (DWORD(-1) for all of them), or, with
    // criteria "FIELD~VALUE|...", those that satisfy the most pairs.
    static std::vector<PGM_PROTOBUF*> find_pgm_protobuf_childs(PGM_PROTOBUF* protobuf, std::string name,
                                                               DWORD index, std::string criteria);
    // Applies "NAME=VALUE" or "STEP:STEP;NAME=VALUE" (a step is "block",
    // "block@index" or "block#FIELD~VALUE|...").
    static bool overwrite_pgm_protobuf(const PGM_PROTOBUF* protobuf, std::string string, std::string& failed_reason,
                                       std::string& name, std::string& value);

    // ---- Versions (pgm_common_version.cpp) ----
    // Packed versions: year 8 bits, release 4, update 4, service pack 4,
    // build 12, most significant first.
    static DWORD get_morvane_full_version();
    // "year.release" or "year.release.update"; service pack and build 0.
    static DWORD get_morvane_version(std::string version);
    // "21.2.1 SP 2 Build 75"; zero update, service pack and build are left out.
    static std::string get_morvane_full_version_string(DWORD version);
    static std::string get_morvane_full_version_string();

    // ---- Worker count (pgm_common_thread.cpp) ----
    // A count of 1 or more is kept, capped at 16; 0 or less asks the machine
    // for its logical processors (logical) or cores, 8 when it cannot tell.
    static void get_thread_count(int& count, bool logical);

private:
    friend struct PGM_COMMON_TEST_ACCESS; // the tests reach the private helpers
    static std::vector<std::string> find_filenames(std::string filepath);
    static std::vector<std::string> find_folders(std::string filepath);
    static bool is_wildcard(std::string text);
    static QWORD find_wildcard(std::string text, bool first);
    static void replacement_default_value(std::string& text, std::string key, std::string value, bool debug);
    static bool overwrite_pgm_protobuf_value(PGM_PROTOBUF* protobuf, std::string name, std::string value,
                                             std::string& failed_reason);
    static void replacement_default_value_get_keyword_index(std::string text, QWORD& start, QWORD& name_end,
                                                            QWORD& value_end, QWORD& marker_end,
                                                            QWORD& end_marker_length, QWORD from);
};
