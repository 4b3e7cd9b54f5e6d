// Reading ZIP archives of stored members: the archive is loaded whole and
// its records walked from the start, every field checked against the
// archive's end and every record against the others that tell of it.
#include "pgm/h/pgm_common_zip.h"

#include "host/mem.h"
#include "host/vxl.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_zip_format.h"
#include "pgm/h/pgm_common.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

const WORD DATA_DESCRIPTOR_FLAG = 0x0008;

bool fail(std::string& reason, const char* text)
{
    reason = text;
    return false;
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
    DWORD offset = 0;            // where the header starts in the archive
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

// ---- Reading ----

bool PGM_COMMON_ZIP::get_local_file_header(const BYTE* data, DWORD size, DWORD& position,
                                           std::string& failed_reason, LOCAL_FILE_HEADER* local_file)
{
    PGM_CHECK(failed_reason.empty());
    PGM_CHECK(local_file != NULL);
    PGM_CHECK(local_file->signature == 0 && local_file->data == NULL);
    local_file->offset = position;
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
    if (h.flags & PGM_COMMON_ZIP_ENCRYPTED)
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
    const DWORD central_start = position;
    for (size_t i = 0; i < locals.size(); ++i) {
        CENTRAL_DIRECTORY central;
        if (!get_central_directory(data, size, position, reason, &central))
            return reason;
        centrals.push_back(std::move(central));
    }
    const DWORD central_end = position;
    DIGITAL_SIGNATURE signature;
    ZIP64_END_OF_CENTRAL_DIRECTORY_RECORD zip64_record;
    ZIP64_END_OF_CENTRAL_DIRECTORY_LOCATOR zip64_locator;
    END_OF_CENTRAL_DIRECTORY_RECORD end;
    if (!optional(&get_digital_signature, signature))
        return reason;
    const DWORD signature_end = position;
    if (!optional(&get_zip64_end_of_central_directory_record, zip64_record))
        return reason;
    if (zip64_record.signature != 0)
        return "ZIP64 End Of Central Directory Record is not supported";
    if (!optional(&get_zip64_end_of_central_directory_locator, zip64_locator) ||
        !get_end_of_central_directory_record(data, size, position, reason, &end))
        return reason;
    if (position != size || locals.empty() || end.signature == 0)
        return "ZIP file is missing data";
    // Tools that go by the end record must find the central directory read
    // here, which may count its digital signature in.
    if (end.disk_entries != centrals.size() || end.total_entries != centrals.size())
        return "ZIP file end of central directory entry counts do not match the central directory";
    const QWORD central_stop = QWORD(end.central_directory_offset) + end.central_directory_size;
    if (end.central_directory_offset != central_start || (central_stop != central_end && central_stop != signature_end))
        return "ZIP file end of central directory offset or size does not match the central directory";
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
            l.name_length != c.name_length || l.name != c.name)
            return "Local file field info and central directory field info are mismatch";
        if (l.offset != c.local_header_offset)
            return "ZIP file central directory local header offset does not match the local file header";
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
        return filename + ": " + reason; // the caller may read several archives
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
        return filename + ": Unable to locate any valid file";
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
    MEM_DETAIL::stl_raw_sprintf(reason, "%s: Unable to locate file name: %s", filename.c_str(), wanted.c_str());
    return reason;
}


// ---- Files that are no archive ----

namespace {

// Whether the bytes hold the signature of any ZIP record.
bool holds_signature(const BYTE* bytes, size_t size)
{
    static const DWORD SIGNATURES[] = {LOCAL_FILE_HEADER_SIGNATURE,  DATA_DESCRIPTOR_SIGNATURE,
                                       ARCHIVE_EXTRA_DATA_SIGNATURE, CENTRAL_DIRECTORY_SIGNATURE,
                                       DIGITAL_SIGNATURE_SIGNATURE,  ZIP64_END_RECORD_SIGNATURE,
                                       ZIP64_END_LOCATOR_SIGNATURE,  END_RECORD_SIGNATURE};
    for (size_t i = 0; i + 4 <= size; ++i) {
        if (bytes[i] == 'P' && bytes[i + 1] == 'K' &&
            std::find(std::begin(SIGNATURES), std::end(SIGNATURES), PGM_COMMON::get_dword(bytes + i)) !=
                std::end(SIGNATURES))
            return true;
    }
    return false;
}

} // namespace

bool PGM_COMMON_ZIP::is_not_archive(std::string filename)
{
    // Read as get_files reads it, gzip content decompressed, and in pieces
    // that keep the last three bytes of the piece before.
    VXL_ZIFSTREAM input(filename.c_str(), 1, nullptr, 16);
    if (!input.is_open())
        return false;
    std::vector<BYTE> piece(3 + PGM_COMMON::BUFFER_SIZE);
    size_t kept = 0;
    while (input && input.last_error() == VXL_ZSTREAM_OK) {
        input.read(reinterpret_cast<char*>(piece.data() + kept), PGM_COMMON::BUFFER_SIZE);
        size_t filled = kept + size_t(input.gcount());
        if (holds_signature(piece.data(), filled))
            return false;
        kept = std::min<size_t>(filled, 3);
        std::memmove(piece.data(), piece.data() + filled - kept, kept);
    }
    return input.last_error() == VXL_ZSTREAM_OK;
}
