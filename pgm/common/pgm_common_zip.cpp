// ZIP archives of stored members: written whole from memory through a
// temporary file, and read by loading the archive and walking its records
// from the start, every field checked against the archive's end.
#include "pgm/h/pgm_common_zip.h"

#include "host/fio.h"
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_file_read.h"
#include "pgm/h/pgm_common.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

const DWORD LOCAL_FILE_HEADER_SIGNATURE = 0x04034B50;
const DWORD DATA_DESCRIPTOR_SIGNATURE = 0x08074B50;
const DWORD ARCHIVE_EXTRA_DATA_SIGNATURE = 0x08064B50;
const DWORD CENTRAL_DIRECTORY_SIGNATURE = 0x02014B50;
const DWORD DIGITAL_SIGNATURE_SIGNATURE = 0x05054B50;
const DWORD ZIP64_END_RECORD_SIGNATURE = 0x06064B50;
const DWORD ZIP64_END_LOCATOR_SIGNATURE = 0x07064B50;
const DWORD END_RECORD_SIGNATURE = 0x06054B50;

const WORD VERSION_NEEDED = 10;      // 1.0: stored members only
const WORD VERSION_MADE_BY = 30;     // 3.0, MS-DOS attributes
const WORD ENCRYPTED_FLAG = 0x0001;
const WORD DATA_DESCRIPTOR_FLAG = 0x0008;
const DWORD LOCAL_FILE_HEADER_SIZE = 30;
const DWORD CENTRAL_DIRECTORY_SIZE = 46;
const DWORD END_RECORD_SIZE = 22;
const QWORD MAX_MEMBERS = 0xFFFF;
const QWORD MAX_NAME_SIZE = 0xFFFF;
const QWORD MAX_ARCHIVE_SIZE = 0xFFFFFFFF;

const char* const SIZE_REASON = "Incorrect input zip file size";

// Reads little-endian fields of an archive at a position that it advances.
// A field that does not lie wholly inside the archive sets the reason.
class FIELD_READER {
public:
    FIELD_READER(const BYTE* data, DWORD size, DWORD& position, std::string& reason)
        : data_(data), size_(size), position_(position), reason_(reason)
    {
    }

    bool bytes(DWORD count, const BYTE*& at)
    {
        if (QWORD(position_) + count > size_) {
            reason_ = SIZE_REASON;
            return false;
        }
        at = data_ + position_;
        position_ += count;
        return true;
    }
    bool skip(DWORD count)
    {
        const BYTE* at = nullptr;
        return bytes(count, at);
    }
    bool text(DWORD count, std::string& value)
    {
        const BYTE* at = nullptr;
        if (!bytes(count, at))
            return false;
        value.assign(reinterpret_cast<const char*>(at), count);
        return true;
    }
    bool word(WORD& value) { return number(value); }
    bool dword(DWORD& value) { return number(value); }
    bool qword(QWORD& value) { return number(value); }

private:
    template <typename T> bool number(T& value)
    {
        const BYTE* at = nullptr;
        if (!bytes(sizeof(T), at))
            return false;
        value = 0;
        for (size_t i = sizeof(T); i-- > 0;)
            value = T(value << 8 | at[i]);
        return true;
    }

    const BYTE* data_;
    DWORD size_;
    DWORD& position_;
    std::string& reason_;
};

bool fail(std::string& reason, const char* text)
{
    reason = text;
    return false;
}

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
// path as given and its modification time. The file must still hold the
// size it had when the archive was planned.
std::unique_ptr<PGM_COMMON_ZIP_FILE> read_member_file(const std::string& path, QWORD planned_size)
{
    FIO_STAT record;
    if (!FIO_FILE_SYSTEM::status(path, record) || QWORD(record.st_size) != planned_size)
        PGM_FAIL("Not able to read file: %s", path.c_str());
    auto member = std::make_unique<PGM_COMMON_ZIP_FILE>();
    member->filename = path;
    if (planned_size > 0) {
        DWORD size = 0;
        member->data = pgm_read_plain_file(path, planned_size, size);
        if (member->data == nullptr)
            PGM_FAIL("Not able to read file: %s", path.c_str());
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

} // namespace

// ---- Records read from an archive ----

struct PGM_COMMON_ZIP::LOCAL_FILE_HEADER {
    DWORD signature = 0;
    WORD version = 0;
    WORD flags = 0;
    WORD method = 0;
    WORD time = 0;
    WORD date = 0;
    DWORD crc = 0;
    DWORD compressed_size = 0;
    DWORD uncompressed_size = 0;
    WORD name_length = 0;
    WORD extra_length = 0;
    std::string name;
    const BYTE* extra = nullptr; // inside the archive
    const BYTE* data = nullptr;  // inside the archive
};

struct PGM_COMMON_ZIP::CENTRAL_DIRECTORY {
    DWORD signature = 0;
    WORD version_made_by = 0;
    WORD version = 0;
    WORD flags = 0;
    WORD method = 0;
    WORD time = 0;
    WORD date = 0;
    DWORD crc = 0;
    DWORD compressed_size = 0;
    DWORD uncompressed_size = 0;
    WORD name_length = 0;
    WORD extra_length = 0;
    WORD comment_length = 0;
    WORD disk_number_start = 0;
    WORD internal_attributes = 0;
    DWORD external_attributes = 0;
    DWORD local_header_offset = 0;
    std::string name;
    std::string extra;
    std::string comment;
};

struct PGM_COMMON_ZIP::END_OF_CENTRAL_DIRECTORY_RECORD {
    DWORD signature = 0;
    WORD disk = 0;
    WORD central_directory_disk = 0;
    WORD disk_entries = 0;
    WORD total_entries = 0;
    DWORD central_directory_size = 0;
    DWORD central_directory_offset = 0;
    WORD comment_length = 0;
    std::string comment;
};

struct PGM_COMMON_ZIP::ZIP64_END_OF_CENTRAL_DIRECTORY_RECORD {
    DWORD signature = 0;
};

struct PGM_COMMON_ZIP::ZIP64_END_OF_CENTRAL_DIRECTORY_LOCATOR {
    DWORD signature = 0;
    DWORD disk = 0;
    QWORD offset = 0;
    DWORD total_disks = 0;
};

struct PGM_COMMON_ZIP::ARCHIVE_EXTRA_DATA_RECORD {
    DWORD signature = 0;
    DWORD length = 0;
};

struct PGM_COMMON_ZIP::DIGITAL_SIGNATURE {
    DWORD signature = 0;
    WORD length = 0;
};

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
DWORD PGM_COMMON_ZIP::get_crc32(const BYTE* data, DWORD size)
{
    const DWORD piece = DWORD(1) << 28;
    DWORD crc = 0xFFFFFFFF;
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

// ---- Reading ----

bool PGM_COMMON_ZIP::get_local_file_header(const BYTE* data, DWORD size, DWORD& position,
                                           std::string& failed_reason, LOCAL_FILE_HEADER* local_file)
{
    PGM_CHECK(failed_reason.empty());
    PGM_CHECK(local_file != NULL);
    PGM_CHECK(local_file->signature == 0 && local_file->data == NULL);
    FIELD_READER in(data, size, position, failed_reason);
    DWORD signature = 0;
    if (!in.dword(signature))
        return false;
    if (signature != LOCAL_FILE_HEADER_SIGNATURE)
        return true;
    LOCAL_FILE_HEADER& h = *local_file;
    h.signature = signature;
    if (!(in.word(h.version) && in.word(h.flags) && in.word(h.method) && in.word(h.time) && in.word(h.date) &&
          in.dword(h.crc) && in.dword(h.compressed_size) && in.dword(h.uncompressed_size) &&
          in.word(h.name_length) && in.word(h.extra_length)))
        return false;
    if (h.method != 0)
        return fail(failed_reason, "Compression is not supported");
    if (h.compressed_size != h.uncompressed_size)
        return fail(failed_reason, "Compress and uncompress data size are mismatch");
    if (h.flags & ENCRYPTED_FLAG)
        return fail(failed_reason, "Encryption is not supported");
    if (!(in.text(h.name_length, h.name) && in.bytes(h.extra_length, h.extra) &&
          in.bytes(h.uncompressed_size, h.data)))
        return false;
    if (h.flags & DATA_DESCRIPTOR_FLAG) {
        // Its values are not used: the local header's are.
        DWORD descriptor = 0;
        DWORD start = position;
        if (!in.dword(descriptor))
            return false;
        position = start;
        return in.skip(descriptor == DATA_DESCRIPTOR_SIGNATURE ? 16 : 12);
    }
    return true;
}

bool PGM_COMMON_ZIP::get_archive_extra_data_record(const BYTE* data, DWORD size, DWORD& position,
                                                   std::string& failed_reason, ARCHIVE_EXTRA_DATA_RECORD* archive)
{
    PGM_CHECK(failed_reason.empty());
    PGM_CHECK(archive != NULL);
    PGM_CHECK(archive->signature == 0);
    FIELD_READER in(data, size, position, failed_reason);
    DWORD signature = 0;
    if (!in.dword(signature))
        return false;
    if (signature != ARCHIVE_EXTRA_DATA_SIGNATURE)
        return true;
    archive->signature = signature;
    return in.dword(archive->length) && in.skip(archive->length);
}

bool PGM_COMMON_ZIP::get_central_directory(const BYTE* data, DWORD size, DWORD& position,
                                           std::string& failed_reason, CENTRAL_DIRECTORY* cd)
{
    PGM_CHECK(failed_reason.empty());
    PGM_CHECK(cd != NULL);
    PGM_CHECK(cd->signature == 0);
    FIELD_READER in(data, size, position, failed_reason);
    DWORD signature = 0;
    if (!in.dword(signature))
        return false;
    if (signature != CENTRAL_DIRECTORY_SIGNATURE)
        return fail(failed_reason, "Unable to locate central directory signature");
    CENTRAL_DIRECTORY& c = *cd;
    c.signature = signature;
    return in.word(c.version_made_by) && in.word(c.version) && in.word(c.flags) && in.word(c.method) &&
           in.word(c.time) && in.word(c.date) && in.dword(c.crc) && in.dword(c.compressed_size) &&
           in.dword(c.uncompressed_size) && in.word(c.name_length) && in.word(c.extra_length) &&
           in.word(c.comment_length) && in.word(c.disk_number_start) && in.word(c.internal_attributes) &&
           in.dword(c.external_attributes) && in.dword(c.local_header_offset) && in.text(c.name_length, c.name) &&
           in.text(c.extra_length, c.extra) && in.text(c.comment_length, c.comment);
}

bool PGM_COMMON_ZIP::get_digital_signature(const BYTE* data, DWORD size, DWORD& position, std::string& failed_reason,
                                           DIGITAL_SIGNATURE* sng)
{
    PGM_CHECK(failed_reason.empty());
    PGM_CHECK(sng != NULL);
    PGM_CHECK(sng->signature == 0);
    FIELD_READER in(data, size, position, failed_reason);
    DWORD signature = 0;
    if (!in.dword(signature))
        return false;
    if (signature != DIGITAL_SIGNATURE_SIGNATURE)
        return true;
    sng->signature = signature;
    return in.word(sng->length) && in.skip(sng->length);
}

bool PGM_COMMON_ZIP::get_zip64_end_of_central_directory_record(const BYTE* data, DWORD size, DWORD& position,
                                                               std::string& failed_reason,
                                                               ZIP64_END_OF_CENTRAL_DIRECTORY_RECORD* record)
{
    PGM_CHECK(failed_reason.empty());
    PGM_CHECK(record != NULL);
    PGM_CHECK(record->signature == 0);
    FIELD_READER in(data, size, position, failed_reason);
    DWORD signature = 0;
    if (!in.dword(signature))
        return false;
    if (signature == ZIP64_END_RECORD_SIGNATURE)
        record->signature = signature;
    return true;
}

bool PGM_COMMON_ZIP::get_zip64_end_of_central_directory_locator(const BYTE* data, DWORD size, DWORD& position,
                                                                std::string& failed_reason,
                                                                ZIP64_END_OF_CENTRAL_DIRECTORY_LOCATOR* locator)
{
    PGM_CHECK(failed_reason.empty());
    PGM_CHECK(locator != NULL);
    PGM_CHECK(locator->signature == 0);
    FIELD_READER in(data, size, position, failed_reason);
    DWORD signature = 0;
    if (!in.dword(signature))
        return false;
    if (signature != ZIP64_END_LOCATOR_SIGNATURE)
        return true;
    locator->signature = signature;
    return in.dword(locator->disk) && in.qword(locator->offset) && in.dword(locator->total_disks);
}

bool PGM_COMMON_ZIP::get_end_of_central_directory_record(const BYTE* data, DWORD size, DWORD& position,
                                                         std::string& failed_reason,
                                                         END_OF_CENTRAL_DIRECTORY_RECORD* record)
{
    PGM_CHECK(failed_reason.empty());
    PGM_CHECK(record != NULL);
    PGM_CHECK(record->signature == 0);
    FIELD_READER in(data, size, position, failed_reason);
    DWORD signature = 0;
    if (!in.dword(signature))
        return false;
    if (signature != END_RECORD_SIGNATURE)
        return fail(failed_reason, "Unable to locate end of central directory signature");
    END_OF_CENTRAL_DIRECTORY_RECORD& e = *record;
    e.signature = signature;
    return in.word(e.disk) && in.word(e.central_directory_disk) && in.word(e.disk_entries) &&
           in.word(e.total_entries) && in.dword(e.central_directory_size) && in.dword(e.central_directory_offset) &&
           in.word(e.comment_length) && in.text(e.comment_length, e.comment);
}

std::string PGM_COMMON_ZIP::read_records(const BYTE* data, DWORD size, std::vector<LOCAL_FILE_HEADER>& locals,
                                         std::vector<CENTRAL_DIRECTORY>& centrals)
{
    std::string reason;
    DWORD position = 0;
    // An optional record that is absent leaves its signature 0: the position
    // goes back to where it was.
    auto optional = [&](auto reader, auto& record) {
        DWORD start = position;
        bool read = (*reader)(data, size, position, reason, &record);
        if (read && record.signature == 0)
            position = start;
        return read;
    };
    while (position < size) {
        LOCAL_FILE_HEADER local;
        if (!optional(&get_local_file_header, local))
            return reason;
        if (local.signature == 0)
            break;
        locals.push_back(std::move(local));
    }
    ARCHIVE_EXTRA_DATA_RECORD extra;
    if (!optional(&get_archive_extra_data_record, extra))
        return reason;
    for (size_t i = 0; i < locals.size(); ++i) {
        CENTRAL_DIRECTORY central;
        if (!get_central_directory(data, size, position, reason, &central))
            return reason;
        centrals.push_back(std::move(central));
    }
    DIGITAL_SIGNATURE signature;
    ZIP64_END_OF_CENTRAL_DIRECTORY_RECORD zip64_record;
    ZIP64_END_OF_CENTRAL_DIRECTORY_LOCATOR zip64_locator;
    END_OF_CENTRAL_DIRECTORY_RECORD end;
    if (!optional(&get_digital_signature, signature) || !optional(&get_zip64_end_of_central_directory_record,
                                                                   zip64_record))
        return reason;
    if (zip64_record.signature != 0)
        return "ZIP64 End Of Central Directory Record is not supported";
    if (!optional(&get_zip64_end_of_central_directory_locator, zip64_locator) ||
        !get_end_of_central_directory_record(data, size, position, reason, &end))
        return reason;
    if (position != size || locals.empty() || end.signature == 0)
        return "ZIP file is missing data";
    return reason;
}

std::string PGM_COMMON_ZIP::check_records(const std::vector<LOCAL_FILE_HEADER>& locals,
                                          const std::vector<CENTRAL_DIRECTORY>& centrals)
{
    for (size_t i = 0; i < locals.size(); ++i) {
        const LOCAL_FILE_HEADER& l = locals[i];
        const CENTRAL_DIRECTORY& c = centrals[i];
        if (get_crc32(l.data, l.uncompressed_size) != l.crc)
            return "ZIP data is corrupted";
        if (l.flags != c.flags || l.method != c.method || l.time != c.time || l.date != c.date || l.crc != c.crc ||
            l.compressed_size != c.compressed_size || l.uncompressed_size != c.uncompressed_size ||
            l.name_length != c.name_length || l.extra_length != c.extra_length || l.name != c.name)
            return "Local file field info and central directory field info are mismatch";
    }
    return "";
}

std::string PGM_COMMON_ZIP::get_files(std::string filename, std::vector<PGM_COMMON_ZIP_FILE*>& files)
{
    DWORD size = 0;
    std::unique_ptr<BYTE[]> archive(PGM_COMMON::pgm_open_input_bin_file(filename, size));
    if (!archive || size == 0) {
        std::string reason;
        MEM_DETAIL::stl_raw_sprintf(reason, "Unable to open zip file %s or zip file empty", filename.c_str());
        return reason;
    }
    std::vector<LOCAL_FILE_HEADER> locals;
    std::vector<CENTRAL_DIRECTORY> centrals;
    std::string reason = read_records(archive.get(), size, locals, centrals);
    if (reason.empty())
        reason = check_records(locals, centrals);
    if (!reason.empty())
        return reason;
    std::vector<std::unique_ptr<PGM_COMMON_ZIP_FILE>> members;
    for (const LOCAL_FILE_HEADER& local : locals) {
        std::string name = local.name;
        PGM_COMMON::change_folder_slash(name);
        // A member of size 0 has no data; any other holds a copy of its bytes.
        std::unique_ptr<PGM_COMMON_ZIP_FILE> member;
        if (local.uncompressed_size > 0) {
            member = std::make_unique<PGM_COMMON_ZIP_FILE>(name, local.uncompressed_size, local.data, local.time,
                                                           local.date);
        } else {
            member = std::make_unique<PGM_COMMON_ZIP_FILE>();
            member->filename = name;
            member->time = local.time;
            member->date = local.date;
        }
        members.push_back(std::move(member));
    }
    files.reserve(files.size() + members.size());
    for (std::unique_ptr<PGM_COMMON_ZIP_FILE>& member : members)
        files.push_back(member.release());
    return "";
}

std::string PGM_COMMON_ZIP::get_file(std::string filename, PGM_COMMON_ZIP_FILE& file)
{
    PGM_CHECK(!file.filename.empty() && file.size == 0 && file.data == NULL);
    PGM_COMMON_ZIP_FILE_LIST members;
    std::string reason = get_files(filename, members.list);
    if (!reason.empty())
        return reason;
    if (members.list.empty())
        return "Unable to locate any valid file";
    std::string wanted = file.filename;
    PGM_COMMON::change_folder_slash(wanted);
    for (const PGM_COMMON_ZIP_FILE* member : members.list) {
        if (member->filename != wanted)
            continue;
        if (member->size > 0) {
            file.data = new BYTE[member->size];
            std::memcpy(file.data, member->data, member->size);
        }
        file.size = member->size;
        return "";
    }
    MEM_DETAIL::stl_raw_sprintf(reason, "Unable to locate file name: %s", wanted.c_str());
    return reason;
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
    // An old archive that cannot be read contributes no members.
    PGM_COMMON_ZIP_FILE_LIST existing;
    if (append && FIO_FILE_SYSTEM::exists(output))
        get_files(output, existing.list);
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
// memory at a time.
void PGM_COMMON_ZIP::add_files(std::vector<std::string> filenames, std::string output, bool append)
{
    PGM_CHECK(filenames.size());
    PGM_CHECK(PGM_COMMON::match_extension(output, {".zip"}));
    std::vector<PLANNED_MEMBER> added;
    for (const std::string& path : filenames)
        added.push_back({&path, member_file_size(path)});
    PGM_COMMON_ZIP_FILE_LIST existing;
    if (append && FIO_FILE_SYSTEM::exists(output))
        get_files(output, existing.list);
    std::vector<const PGM_COMMON_ZIP_FILE*> kept;
    check_archive_limits(kept_members(existing.list, added, kept), output);

    ARCHIVE_WRITER writer(output);
    for (const PGM_COMMON_ZIP_FILE* member : kept)
        writer.add(*member);
    for (size_t i = 0; i < filenames.size(); ++i)
        writer.add(*read_member_file(filenames[i], added[i].size));
    writer.finish();
}
