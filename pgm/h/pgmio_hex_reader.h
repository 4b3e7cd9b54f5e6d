// Readers of memory-content files: hexadecimal record files as a list of
// contiguous blocks, and memory initialisation files as packed bits.
#pragma once

#include "host/fio.h"
#include "host/host_types.h"
#include "pgm/h/pgm_common_api.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// One contiguous block of a hexadecimal record file. The absolute address
// of a byte is segment_base plus its offset. Blocks and their data are
// plain heap objects that belong to whoever holds the list they are in.
struct PGMIO_HEX {
    DWORD start_address; // offset of the first byte within the segment
    DWORD end_address;   // offset of the last byte (start_address - 1 when empty)
    DWORD segment_base;  // extended address in force when the block began
    BYTE* data;          // end_address - start_address + 1 bytes (new[])
};

typedef std::vector<PGMIO_HEX*> PGMIO_HEX_LIST;

// Receives a block as it closes, with its bytes (pgmio_hex_size of them),
// which are valid during the call only; the block's own data is null.
typedef std::function<void(const PGMIO_HEX& block, const BYTE* bytes)> PGMIO_HEX_SINK;

// The number of bytes a block holds (0 for a block closed without any).
inline DWORD pgmio_hex_size(const PGMIO_HEX& block)
{
    return block.end_address - block.start_address + 1;
}

// Deletes every block of the list with its data and empties the list.
PGM_COMMON_API void pgmio_delete_hex_blocks(PGMIO_HEX_LIST& list);

// Where the bytes of a list of blocks lie, by absolute address (64-bit, so
// that a block near 4 GiB does not wrap): the lowest address of a byte and
// the size of an image from there to the last byte; size 0 when no block
// holds a byte.
struct PGMIO_HEX_EXTENT {
    QWORD lowest;
    QWORD size;
};
PGM_COMMON_API PGMIO_HEX_EXTENT pgmio_hex_extent(const PGMIO_HEX_LIST& list);
// The image of the list's extent: each block's bytes at their place, a later
// block over an earlier one, zero bytes where no block is. The blocks are
// deleted as they are copied, and the list is left empty.
PGM_COMMON_API std::unique_ptr<BYTE[]> pgmio_flatten_hex_blocks(PGMIO_HEX_LIST& list, const PGMIO_HEX_EXTENT& extent);
// A stretch of the image of a list of blocks: size bytes from absolute
// address on, which are data's (a block's bytes, still the block's).
struct PGMIO_HEX_PIECE {
    QWORD address;
    const BYTE* data;
    QWORD size;
};
// The bytes of the list as stretches in address order that do not
// overlap: where blocks overlap, those of the later block in the list,
// as in the image. Blocks without bytes give none. The pieces point into
// the blocks' data, so they hold as long as the blocks do (null for blocks
// without data).
PGM_COMMON_API std::vector<PGMIO_HEX_PIECE> pgmio_hex_pieces(const PGMIO_HEX_LIST& list);
// The bytes of the blocks when, those without bytes aside, they form one run
// from address 0: each at offset 0 of its segment, the first at segment 0
// and each next one where the one before ends. 0 when they do not.
PGM_COMMON_API QWORD pgmio_hex_run_size(const PGMIO_HEX_LIST& list);
// The bytes of such a run, of run_size bytes, in list order.
PGM_COMMON_API std::unique_ptr<BYTE[]> pgmio_join_hex_blocks(const PGMIO_HEX_LIST& list, QWORD run_size);

// Ownership of the list objects (the vectors; the blocks in a list always
// belong to whoever holds the list, and the reader never deletes a block the
// caller may have seen):
// - The reader holds one list at a time, its current list, and deletes it
//   when the reader goes (or is assigned another). Copies of a reader hold
//   the same list; it is deleted once, when the last reader holding it
//   lets it go.
// - When a read or set_hex_list replaces the current list, a list the caller
//   has seen (got from get_hex_list, or handed in with set_hex_list) stays
//   with the caller once no copy of the reader holds it any more: the caller
//   deletes it, after its blocks, whenever it likes. A list the caller never
//   saw is deleted by the reader with its blocks.
// - The caller never deletes a list that a reader still holds.
class PGM_COMMON_API PGMIO_HEX_READER {
public:
    PGMIO_HEX_READER();
    PGMIO_HEX_READER(const PGMIO_HEX_READER& other);
    PGMIO_HEX_READER& operator=(const PGMIO_HEX_READER& other);
    ~PGMIO_HEX_READER();

    void set_file(FIO_PATH path) { file = path; }
    void set_absolute(bool value) { absolute = value; }
    bool get_absolute() const { return absolute; }
    void set_required_size(DWORD size) { required_size = size; }
    // The list becomes the current list (see the ownership rules above).
    void set_hex_list(PGMIO_HEX_LIST* list);
    PGMIO_HEX_LIST* get_hex_list() const;

    void remove_extra_chars(std::string& line);
    bool parse_hex_string(const std::string* current_string, std::string* number_of_string,
                          std::string* address_string, std::string* type_string, std::string* data_string,
                          std::string* checksum_string);
    DWORD interpret_hex_line(std::string& data_string, DWORD count, BYTE* output, bool reverse_bits);
    // Reads the file into a new list; true when no error message arose. A
    // record stops the read with message 17920 for its line when its sum is
    // wrong, when a field is not hexadecimal digits only, when its data are
    // not as long as its type needs (01: none, 02 and 04: 2 bytes, 03 and
    // 05: 4 bytes) or when its data would pass address 0xFFFFFFFF. When
    // such a record stops a read before any block was closed, message 17920
    // names its line and message 17922 follows, for the file gave no block.
    bool read_hex_file(bool reverse_bits, bool errors_as_warnings);
    // Reads as above, with the same checks, messages and result, but hands
    // each block's bytes to sink as the block closes instead of keeping
    // them: the blocks in the list have no data (null). For a caller that
    // passes the bytes on and need not hold the whole file in memory.
    bool read_hex_file(bool reverse_bits, bool errors_as_warnings, const PGMIO_HEX_SINK& sink);

private:
    class PGM_COMMON_LOCAL READ_STATE;   // one pass of read_hex_file
    class PGM_COMMON_LOCAL LIST_KEEPING; // the lists the reader and its copies hold

    bool read_file(bool reverse_bits, bool errors_as_warnings, const PGMIO_HEX_SINK* sink);
    // Makes list the current list, letting the one before go.
    void replace_list(PGMIO_HEX_LIST* list, bool seen);

    FIO_PATH file;                // the file to read
    PGMIO_HEX_LIST* hex_list;     // blocks of the last read in file order; null before any
    DWORD segment_base;           // extended address in force
    DWORD current_address;        // offset the next data record needs to continue the block
    bool absolute;                // the caller's flag, kept for the caller
    DWORD checksum;               // byte sum of the record being checked
    DWORD required_size;          // expected memory depth in bytes, 0 for none
    // The lists this reader and its copies hold, shared by the copies.
    std::shared_ptr<LIST_KEEPING> lists_;
};

class PGM_COMMON_API PGMIO_MIF_READER {
public:
    PGMIO_MIF_READER();
    // Copies share the data array, which the last copy releases.
    PGMIO_MIF_READER(const PGMIO_MIF_READER& other) = default;
    PGMIO_MIF_READER& operator=(const PGMIO_MIF_READER& other) = default;
    ~PGMIO_MIF_READER() = default;

    void set_file(FIO_PATH path) { file = path; }
    void set_required_size(DWORD size) { required_size = size; }
    bool read_mif_file();
    bool can_read_mif_file(bool errors_as_warnings);
    // Why the file's text made the last read or check fail, after message
    // 17925 or 17924: "line N: reason" (for example "line 7: data word
    // '1FF' is wider than WIDTH 8"), or the reason alone where no line
    // applies. Empty when the last call did not fail for a reason of the
    // file's text (it succeeded, or the file could not be opened).
    const std::string& get_error_text() const { return error_text; }
    // The reader's own array, bit k in byte k / 8 at position k % 8.
    const BYTE* get_data() const { return data.get(); }
    DWORD get_byte_size() const { return byte_size; }
    DWORD get_bit_size() const { return bit_size; }

private:
    FIO_PATH file;               // the file to read
    DWORD byte_size;             // bytes of data
    DWORD bit_size;              // word size times word count
    std::shared_ptr<BYTE[]> data; // the packed words, null until a successful read
    DWORD required_size;         // expected size in bytes, 0 for none
    std::string error_text;      // see get_error_text
};
