// Writing ZIP archives of stored members, member by member through a
// temporary file; the records, the member records themselves and the CRC.
#include "pgm/h/pgm_common_zip.h"

#include "host/fio.h"
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_file_read.h"
#include "pgm/common/pgm_zip_format.h"
#include "pgm/h/pgm_common.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

const WORD VERSION_NEEDED = 10;      // 1.0: stored members only
const WORD VERSION_MADE_BY = 30;     // 3.0, MS-DOS attributes
const DWORD LOCAL_FILE_HEADER_SIZE = 30;
const DWORD CENTRAL_DIRECTORY_SIZE = 46;
const DWORD END_RECORD_SIZE = 22;
const QWORD MAX_MEMBERS = 0xFFFF;
const QWORD MAX_NAME_SIZE = 0xFFFF;
const QWORD MAX_ARCHIVE_SIZE = 0xFFFFFFFF;

template <typename T> void put(std::vector<BYTE>& output, T value)
{
    for (size_t i = 0; i < sizeof(T); ++i)
        output.push_back(BYTE(value >> (8 * i)));
}

void put_bytes(std::vector<BYTE>& output, const void* data, size_t size)
{
    const BYTE* bytes = static_cast<const BYTE*>(data);
    output.insert(output.end(), bytes, bytes + size);
}


// MS-DOS time and date of a broken-down local time; the format counts
// years from 1980 to 2107, and times outside that range are held at its ends.
void dos_time_and_date(const std::tm& local, WORD& time, WORD& date)
{
    int year = local.tm_year + 1900;
    if (year < 1980) {
        time = 0;
        date = WORD(1 * 32 + 1);
        return;
    }
    if (year > 2107) {
        time = WORD(23 * 2048 + 59 * 32 + 29);
        date = WORD(127 * 512 + 12 * 32 + 31);
        return;
    }
    time = WORD(local.tm_hour * 2048 + local.tm_min * 32 + std::min(local.tm_sec, 59) / 2);
    date = WORD((year - 1980) * 512 + (local.tm_mon + 1) * 32 + local.tm_mday);
}

// The size of a file to archive, which must exist and fit the format.
QWORD member_file_size(const std::string& path)
{
    FIO_STAT record;
    if (!FIO_FILE_SYSTEM::exists(path) || !FIO_FILE_SYSTEM::status(path, record))
        PGM_FAIL("File %s does not exist or status is bad", path.c_str());
    return QWORD(record.st_size);
}

// A member made from a file: its bytes as they are on disk, its name the
// path as given and its modification time. The file must still tell the
// size it told when the archive was planned; one that tells 0 is read to
// its end.
std::unique_ptr<PGM_COMMON_ZIP_FILE> read_member_file(const std::string& path, QWORD status_size)
{
    FIO_STAT record;
    if (!FIO_FILE_SYSTEM::status(path, record) || QWORD(record.st_size) != status_size)
        PGM_FAIL("Not able to read file: %s", path.c_str());
    auto member = std::make_unique<PGM_COMMON_ZIP_FILE>();
    member->filename = path;
    DWORD size = 0;
    std::unique_ptr<BYTE[]> data(pgm_read_plain_file(path, status_size, size));
    if (!data)
        PGM_FAIL("Not able to read file: %s", path.c_str());
    if (size > 0) {
        member->data = data.release();
        member->size = size;
    }
    std::tm local{};
    localtime_r(&record.st_mtime, &local);
    dos_time_and_date(local, member->time, member->date);
    return member;
}

// A member to be written: its name and its size.
struct PLANNED_MEMBER {
    const std::string* name;
    QWORD size;
};

// Refuses an archive whose counts, names, sizes or offsets would not fit
// the 16- and 32-bit fields of the format.
void check_archive_limits(const std::vector<PLANNED_MEMBER>& members, const std::string& output)
{
    if (members.size() > MAX_MEMBERS)
        PGM_FAIL("ZIP archive %s would hold %zu members, more than the 65535 the format can count", output.c_str(),
                 members.size());
    QWORD total = END_RECORD_SIZE;
    for (const PLANNED_MEMBER& member : members) {
        if (member.name->size() > MAX_NAME_SIZE)
            PGM_FAIL("ZIP member name of %zu bytes is longer than the 65535 bytes the format can hold: %.60s...",
                     member.name->size(), member.name->c_str());
        total += LOCAL_FILE_HEADER_SIZE + CENTRAL_DIRECTORY_SIZE + 2 * QWORD(member.name->size()) + member.size;
    }
    if (total > MAX_ARCHIVE_SIZE)
        PGM_FAIL("ZIP archive %s would be %llu bytes, more than the 4 GiB the format can address", output.c_str(),
                 (unsigned long long)total);
}

// The old members that no new member of the same name replaces.
std::vector<PLANNED_MEMBER> kept_members(const std::vector<PGM_COMMON_ZIP_FILE*>& existing,
                                         const std::vector<PLANNED_MEMBER>& added,
                                         std::vector<const PGM_COMMON_ZIP_FILE*>& kept)
{
    std::vector<PLANNED_MEMBER> planned;
    for (const PGM_COMMON_ZIP_FILE* old : existing) {
        bool replaced = std::any_of(added.begin(), added.end(),
                                    [old](const PLANNED_MEMBER& member) { return *member.name == old->filename; });
        if (!replaced) {
            kept.push_back(old);
            planned.push_back({&old->filename, old->size});
        }
    }
    planned.insert(planned.end(), added.begin(), added.end());
    return planned;
}

// The members of the archive that add_files appends to. An old file that
// is no archive at all contributes none, and is replaced; an archive that
// cannot be read is refused, so that its members are never lost.
void get_appended_files(const std::string& output, std::vector<PGM_COMMON_ZIP_FILE*>& existing)
{
    if (!FIO_FILE_SYSTEM::exists(output))
        return;
    std::string reason = PGM_COMMON_ZIP::get_files(output, existing);
    if (reason.compare(0, output.size() + 2, output + ": ") == 0)
        reason.erase(0, output.size() + 2); // named below
    if (!reason.empty() && !PGM_COMMON_ZIP::is_not_archive(output))
        PGM_FAIL("Cannot append to ZIP archive %s, which cannot be read: %s", output.c_str(), reason.c_str());
}

} // namespace

// ---- Members ----

PGM_COMMON_ZIP_FILE::PGM_COMMON_ZIP_FILE(std::string t1, DWORD t2, const BYTE* t3, WORD t4, WORD t5)
    : filename(std::move(t1)), time(t4), date(t5)
{
    PGM_CHECK(t2 > 0 && t3 != NULL);
    data = new BYTE[t2];
    std::memcpy(data, t3, t2);
    size = t2;
}

PGM_COMMON_ZIP_FILE::~PGM_COMMON_ZIP_FILE()
{
    delete[] data;
}

// The CRC routine counts bits in 32 bits, so long members go in pieces.
DWORD PGM_COMMON_ZIP::get_crc32(const BYTE* data, DWORD size, DWORD before)
{
    const DWORD piece = DWORD(1) << 28;
    DWORD crc = ~before;
    for (DWORD done = 0; done < size; done += std::min(piece, size - done)) {
        DWORD count = std::min(piece, size - done);
        crc = PGM_COMMON::lsb_calculate_crc32(data + done, 0, count * 8, crc, 0xEDB88320, false, true);
    }
    return ~crc;
}

void PGM_COMMON_ZIP::delete_files(std::vector<PGM_COMMON_ZIP_FILE*>& files)
{
    while (!files.empty()) {
        delete files.back();
        files.pop_back();
    }
}

// ---- Writing ----

DWORD PGM_COMMON_ZIP::write_local_file_header(const PGM_COMMON_ZIP_FILE& file, std::vector<BYTE>& output)
{
    DWORD crc = get_crc32(file.data, file.size);
    put(output, LOCAL_FILE_HEADER_SIGNATURE);
    put(output, VERSION_NEEDED);
    put(output, WORD(0)); // flags
    put(output, WORD(0)); // method: stored
    put(output, file.time);
    put(output, file.date);
    put(output, crc);
    put(output, file.size); // compressed
    put(output, file.size); // uncompressed
    put(output, WORD(file.filename.size()));
    put(output, WORD(0)); // extra field length
    put_bytes(output, file.filename.data(), file.filename.size());
    return crc;
}

DWORD PGM_COMMON_ZIP::write_central_directory(const PGM_COMMON_ZIP_FILE& file, std::vector<BYTE>& output,
                                              DWORD local_header_offset, DWORD crc)
{
    size_t start = output.size();
    put(output, CENTRAL_DIRECTORY_SIGNATURE);
    put(output, VERSION_MADE_BY);
    put(output, VERSION_NEEDED);
    put(output, WORD(0)); // flags
    put(output, WORD(0)); // method: stored
    put(output, file.time);
    put(output, file.date);
    put(output, crc);
    put(output, file.size); // compressed
    put(output, file.size); // uncompressed
    put(output, WORD(file.filename.size()));
    put(output, WORD(0));  // extra field length
    put(output, WORD(0));  // comment length
    put(output, WORD(0));  // disk number start
    put(output, WORD(0));  // internal attributes
    put(output, DWORD(0)); // external attributes
    put(output, local_header_offset);
    put_bytes(output, file.filename.data(), file.filename.size());
    return DWORD(output.size() - start);
}

void PGM_COMMON_ZIP::write_end_of_central_directory_record(std::vector<BYTE>& output, DWORD count,
                                                           DWORD central_directory_offset,
                                                           DWORD central_directory_size)
{
    put(output, END_RECORD_SIGNATURE);
    put(output, WORD(0)); // this disk
    put(output, WORD(0)); // disk of the central directory
    put(output, WORD(count));
    put(output, WORD(count));
    put(output, central_directory_size);
    put(output, central_directory_offset);
    put(output, WORD(0)); // comment length
}

// Writes an archive member by member through a temporary file, keeping
// the central directory until the end. The old archive stays as it was
// until the new one is complete.
struct PGM_COMMON_ZIP::ARCHIVE_WRITER {
    explicit ARCHIVE_WRITER(const std::string& output) : file(output) {}

    void add(const PGM_COMMON_ZIP_FILE& member)
    {
        header.clear();
        DWORD crc = write_local_file_header(member, header);
        write_central_directory(member, central, offset, crc);
        written = written && file.write(header.data(), header.size()) && file.write(member.data, member.size);
        offset += DWORD(header.size()) + member.size;
        ++count;
    }

    void finish()
    {
        DWORD central_size = DWORD(central.size());
        write_end_of_central_directory_record(central, count, offset, central_size);
        written = written && file.write(central.data(), central.size());
        PGM_CHECK_TEXT(written && file.commit(), "output_file.good()");
    }

    FIO_ATOMIC_FILE file;
    std::vector<BYTE> header;  // the local header being written
    std::vector<BYTE> central; // the central directory so far
    DWORD offset = 0;          // where the next local header goes
    DWORD count = 0;
    bool written = true;
};

void PGM_COMMON_ZIP::add_files(std::vector<PGM_COMMON_ZIP_FILE*>& files, std::string output, bool append,
                               bool delete_input)
{
    PGM_CHECK(files.size());
    PGM_CHECK(PGM_COMMON::match_extension(output, {".zip"}));
    std::vector<PLANNED_MEMBER> added;
    for (const PGM_COMMON_ZIP_FILE* file : files) {
        PGM_CHECK(file != NULL && (file->size == 0 || file->data != NULL));
        added.push_back({&file->filename, file->size});
    }
    PGM_COMMON_ZIP_FILE_LIST existing;
    if (append)
        get_appended_files(output, existing.list);
    std::vector<const PGM_COMMON_ZIP_FILE*> kept;
    check_archive_limits(kept_members(existing.list, added, kept), output);

    ARCHIVE_WRITER writer(output);
    for (const PGM_COMMON_ZIP_FILE* member : kept)
        writer.add(*member);
    for (const PGM_COMMON_ZIP_FILE* member : files)
        writer.add(*member);
    writer.finish();
    if (delete_input)
        delete_files(files);
}

// As the member form with the members made from the files, one file in
// memory at a time. Files whose status tells size 0, which may hold
// content all the same, are read while the archive is planned, so that it
// is planned with their true sizes.
void PGM_COMMON_ZIP::add_files(std::vector<std::string> filenames, std::string output, bool append)
{
    PGM_CHECK(filenames.size());
    PGM_CHECK(PGM_COMMON::match_extension(output, {".zip"}));
    std::vector<PLANNED_MEMBER> added;
    std::vector<std::unique_ptr<PGM_COMMON_ZIP_FILE>> read_early(filenames.size());
    for (size_t i = 0; i < filenames.size(); ++i) {
        QWORD size = member_file_size(filenames[i]);
        if (size == 0) {
            read_early[i] = read_member_file(filenames[i], 0);
            size = read_early[i]->size;
        }
        added.push_back({&filenames[i], size});
    }
    PGM_COMMON_ZIP_FILE_LIST existing;
    if (append)
        get_appended_files(output, existing.list);
    std::vector<const PGM_COMMON_ZIP_FILE*> kept;
    check_archive_limits(kept_members(existing.list, added, kept), output);

    ARCHIVE_WRITER writer(output);
    for (const PGM_COMMON_ZIP_FILE* member : kept)
        writer.add(*member);
    for (size_t i = 0; i < filenames.size(); ++i) {
        std::unique_ptr<PGM_COMMON_ZIP_FILE> member = std::move(read_early[i]);
        if (!member)
            member = read_member_file(filenames[i], added[i].size);
        writer.add(*member);
    }
    writer.finish();
}

