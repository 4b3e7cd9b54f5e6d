// ZIP archives of stored (uncompressed) members, built and read whole in
// memory.
#pragma once

#include "host/host_types.h"
#include "pgm/h/pgm_common_api.h"

#include <string>
#include <vector>

// One archive member. The record owns data (size bytes, allocated with
// new[]); a member of size 0 has no data.
struct PGM_COMMON_API PGM_COMMON_ZIP_FILE {
    PGM_COMMON_ZIP_FILE() = default;
    // A member holding a copy of data; size must be above 0.
    PGM_COMMON_ZIP_FILE(std::string t1, DWORD t2, const BYTE* t3, WORD t4, WORD t5);
    ~PGM_COMMON_ZIP_FILE();
    PGM_COMMON_ZIP_FILE(const PGM_COMMON_ZIP_FILE&) = delete;
    PGM_COMMON_ZIP_FILE& operator=(const PGM_COMMON_ZIP_FILE&) = delete;

    std::string filename; // name as stored, "/" between folders
    DWORD size = 0;       // byte count of data
    BYTE* data = nullptr; // the member's bytes
    WORD time = 0;        // MS-DOS time: hour * 2048 + minute * 32 + second / 2
    WORD date = 0;        // MS-DOS date: (year - 1980) * 512 + month * 32 + day
};

// Compression methods and the general purpose flag of encrypted members.
const WORD PGM_COMMON_ZIP_STORED = 0;
const WORD PGM_COMMON_ZIP_DEFLATED = 8;
const WORD PGM_COMMON_ZIP_ENCRYPTED = 0x0001;

// A member as the central directory of an archive describes it.
struct PGM_COMMON_API PGM_COMMON_ZIP_ENTRY {
    std::string filename;        // name as stored, "/" between folders
    WORD method = 0;             // PGM_COMMON_ZIP_STORED, PGM_COMMON_ZIP_DEFLATED, ...
    WORD flags = 0;              // general purpose bits; PGM_COMMON_ZIP_ENCRYPTED
    DWORD crc = 0;               // CRC-32 of the uncompressed bytes
    DWORD compressed_size = 0;   // bytes in the archive
    DWORD size = 0;              // bytes once uncompressed
    WORD time = 0;               // MS-DOS time
    WORD date = 0;               // MS-DOS date
    DWORD local_header_offset = 0;
};

class PGM_COMMON_API PGM_COMMON_ZIP {
public:
    // Writes the members to output (a ".zip" path), after the members of the
    // old archive when append is true; an old member of the same name as a
    // new one is dropped. An old archive that cannot be read is an internal
    // error and stays as it is; an old file that is not an archive at all
    // (is_not_archive) is replaced. With delete_input the records are
    // released.
    static void add_files(std::vector<PGM_COMMON_ZIP_FILE*>& files, std::string output, bool append,
                          bool delete_input);
    // Archives the files under their paths as given, with their bytes as on
    // disk and their modification times; a file whose status tells size 0
    // (the files of /proc) is read to its end.
    static void add_files(std::vector<std::string> filenames, std::string output, bool append);
    // True when the file exists, can be read, and holds no ZIP record
    // signature anywhere: it is no archive, damaged or whole.
    static bool is_not_archive(std::string filename);
    // Appends every member of the archive to files. Returns the reason the
    // archive cannot be read, empty on success (files unchanged on failure).
    static std::string get_files(std::string filename, std::vector<PGM_COMMON_ZIP_FILE*>& files);
    // Fills the size and data of the member named file.filename.
    static std::string get_file(std::string filename, PGM_COMMON_ZIP_FILE& file);
    // Releases every record, from the back, and empties the vector.
    static void delete_files(std::vector<PGM_COMMON_ZIP_FILE*>& files);
    // The standard ZIP CRC-32 of a member's bytes; before is the CRC-32 of
    // the bytes that come before them, for a CRC taken in pieces.
    static DWORD get_crc32(const BYTE* data, DWORD size, DWORD before = 0);
    // Appends an entry for every member named in the archive's central
    // directory, which is all that is read (not the members' data), in
    // archive order; members of every method are listed. The reason the
    // directory cannot be read, empty on success (entries unchanged then).
    static std::string list_files(std::string filename, std::vector<PGM_COMMON_ZIP_ENTRY>& entries);
    // Reads the member of the entry from its local header on, inflating a
    // deflated one, and checks its size and CRC-32; the reason it is not
    // whole, naming the member, empty when it is.
    static std::string test_file(std::string filename, const PGM_COMMON_ZIP_ENTRY& entry);
    // test_file for each entry, reading the archive once: one reason per
    // entry, in order (empty for a whole member).
    static std::vector<std::string> test_files(std::string filename, const std::vector<PGM_COMMON_ZIP_ENTRY>& entries);

private:
    friend struct PGM_COMMON_ZIP_TEST_ACCESS;
    struct PGM_COMMON_LOCAL LOCAL_FILE_HEADER;
    struct PGM_COMMON_LOCAL CENTRAL_DIRECTORY;
    struct PGM_COMMON_LOCAL END_OF_CENTRAL_DIRECTORY_RECORD;
    struct PGM_COMMON_LOCAL ZIP64_END_OF_CENTRAL_DIRECTORY_RECORD;
    struct PGM_COMMON_LOCAL ZIP64_END_OF_CENTRAL_DIRECTORY_LOCATOR;
    struct PGM_COMMON_LOCAL ARCHIVE_EXTRA_DATA_RECORD;
    struct PGM_COMMON_LOCAL DIGITAL_SIGNATURE;
    struct PGM_COMMON_LOCAL ARCHIVE_WRITER;

    // Each reads its record at position, advancing it. A different
    // signature leaves the record's signature 0 and returns true; a field
    // outside the archive, or a record that cannot be read, sets the reason
    // and returns false.
    static bool get_local_file_header(const BYTE* data, DWORD size, DWORD& position, std::string& failed_reason,
                                      LOCAL_FILE_HEADER* local_file);
    static bool get_central_directory(const BYTE* data, DWORD size, DWORD& position, std::string& failed_reason,
                                      CENTRAL_DIRECTORY* cd);
    static bool get_end_of_central_directory_record(const BYTE* data, DWORD size, DWORD& position,
                                                    std::string& failed_reason,
                                                    END_OF_CENTRAL_DIRECTORY_RECORD* record);
    static bool get_zip64_end_of_central_directory_record(const BYTE* data, DWORD size, DWORD& position,
                                                          std::string& failed_reason,
                                                          ZIP64_END_OF_CENTRAL_DIRECTORY_RECORD* record);
    static bool get_zip64_end_of_central_directory_locator(const BYTE* data, DWORD size, DWORD& position,
                                                           std::string& failed_reason,
                                                           ZIP64_END_OF_CENTRAL_DIRECTORY_LOCATOR* locator);
    static bool get_archive_extra_data_record(const BYTE* data, DWORD size, DWORD& position,
                                              std::string& failed_reason, ARCHIVE_EXTRA_DATA_RECORD* archive);
    static bool get_digital_signature(const BYTE* data, DWORD size, DWORD& position, std::string& failed_reason,
                                      DIGITAL_SIGNATURE* sng);
    // Walks every record of an archive, and checks that its end record
    // counts and places the central directory read; the reason it cannot,
    // empty on success.
    static std::string read_records(const BYTE* data, DWORD size, std::vector<LOCAL_FILE_HEADER>& locals,
                                    std::vector<CENTRAL_DIRECTORY>& centrals);
    // The reason the members read do not hold together, empty when they do.
    static std::string check_records(const std::vector<LOCAL_FILE_HEADER>& locals,
                                     const std::vector<CENTRAL_DIRECTORY>& centrals);
    // Appends the member's local header, which its data follow; returns
    // the CRC-32 of the data.
    static DWORD write_local_file_header(const PGM_COMMON_ZIP_FILE& file, std::vector<BYTE>& output);
    // Appends the member's central directory header; returns its length.
    static DWORD write_central_directory(const PGM_COMMON_ZIP_FILE& file, std::vector<BYTE>& output,
                                         DWORD local_header_offset, DWORD crc);
    static void write_end_of_central_directory_record(std::vector<BYTE>& output, DWORD count,
                                                      DWORD central_directory_offset,
                                                      DWORD central_directory_size);
};

// Records of an archive, released with delete_files when the list goes.
struct PGM_COMMON_ZIP_FILE_LIST {
    PGM_COMMON_ZIP_FILE_LIST() = default;
    ~PGM_COMMON_ZIP_FILE_LIST() { PGM_COMMON_ZIP::delete_files(list); }
    PGM_COMMON_ZIP_FILE_LIST(const PGM_COMMON_ZIP_FILE_LIST&) = delete;
    PGM_COMMON_ZIP_FILE_LIST& operator=(const PGM_COMMON_ZIP_FILE_LIST&) = delete;

    std::vector<PGM_COMMON_ZIP_FILE*> list;
};
