// Listing and testing the members of a ZIP archive from its central
// directory, as unzip -v and unzip -t do: only the end record and the
// directory are read to list, and one member at a time to test, so an
// archive of any size costs little memory. Members of every method are
// listed; deflated ones can be tested.
#include "pgm/h/pgm_common_zip.h"

#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_zip_format.h"
#include "pgm/h/pgm_common.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>
#include <zlib.h>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

const DWORD END_RECORD_SIZE = 22;
const DWORD LOCAL_HEADER_SIZE = 30;
const DWORD MAX_COMMENT = 0xFFFF;
const size_t PIECE = size_t(1) << 20;

// The bytes of an archive, read where they are asked for: from the file,
// or from memory when the archive is gzip-compressed (as get_files reads
// such a file decompressed).
class ARCHIVE_BYTES {
public:
    // False when the file cannot be opened or is empty.
    bool open(const std::string& filename)
    {
        file_.reset(std::fopen(filename.c_str(), "rb"));
        BYTE magic[2] = {0, 0};
        if (!file_ || std::fread(magic, 1, 2, file_.get()) != 2)
            return false;
        if (magic[0] == 0x1F && magic[1] == 0x8B) {
            DWORD size = 0;
            memory_.reset(PGM_COMMON::pgm_open_input_bin_file(filename, size));
            size_ = memory_ ? size : 0;
            return size_ > 0;
        }
        if (std::fseek(file_.get(), 0, SEEK_END) != 0)
            return false;
        long end = std::ftell(file_.get());
        size_ = end > 0 ? QWORD(end) : 0;
        return size_ > 0;
    }

    QWORD size() const { return size_; }

    // False when the bytes at offset do not lie wholly inside the archive
    // or cannot be read.
    bool read(QWORD offset, size_t count, BYTE* out)
    {
        if (offset > size_ || count > size_ - offset)
            return false;
        if (memory_) {
            std::memcpy(out, memory_.get() + offset, count);
            return true;
        }
        return std::fseek(file_.get(), long(offset), SEEK_SET) == 0 &&
               std::fread(out, 1, count, file_.get()) == count;
    }

private:
    struct CLOSER {
        void operator()(FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<FILE, CLOSER> file_;
    std::unique_ptr<BYTE[]> memory_; // the decompressed archive, for gzip input
    QWORD size_ = 0;
};

std::string reason_for(const char* format, const std::string& text)
{
    std::string reason;
    MEM_DETAIL::stl_raw_sprintf(reason, format, text.c_str());
    return reason;
}

struct END_RECORD {
    QWORD position = 0; // where it starts in the archive
    WORD disk_entries = 0;
    WORD total_entries = 0;
    DWORD directory_size = 0;
    DWORD directory_offset = 0;
};

// The end records that may be the archive's: those whose comment reaches
// exactly to its end, the last first.
std::vector<END_RECORD> end_record_candidates(ARCHIVE_BYTES& archive)
{
    std::vector<END_RECORD> found;
    QWORD tail_size = std::min<QWORD>(archive.size(), END_RECORD_SIZE + MAX_COMMENT);
    std::vector<BYTE> tail(tail_size);
    QWORD tail_start = archive.size() - tail_size;
    if (tail_size < END_RECORD_SIZE || !archive.read(tail_start, tail.size(), tail.data()))
        return found;
    for (size_t at = tail.size() - END_RECORD_SIZE + 1; at-- > 0;) {
        const BYTE* record = tail.data() + at;
        if (PGM_COMMON::get_dword(record) != END_RECORD_SIGNATURE ||
            at + END_RECORD_SIZE + (record[20] | record[21] << 8) != tail.size())
            continue;
        END_RECORD end;
        end.position = tail_start + at;
        end.disk_entries = WORD(record[8] | record[9] << 8);
        end.total_entries = WORD(record[10] | record[11] << 8);
        end.directory_size = PGM_COMMON::get_dword(record + 12);
        end.directory_offset = PGM_COMMON::get_dword(record + 16);
        found.push_back(end);
    }
    return found;
}

// The running CRC-32 and size of a member's uncompressed bytes.
struct MEMBER_CHECK {
    DWORD crc = 0;
    QWORD size = 0;
    void add(const BYTE* bytes, size_t count)
    {
        crc = PGM_COMMON_ZIP::get_crc32(bytes, DWORD(count), crc);
        size += count;
    }
};

// Reads count bytes of member data from offset on in pieces, handing each
// to consume; false when the archive ends first.
template <typename CONSUME>
bool read_pieces(ARCHIVE_BYTES& archive, QWORD offset, QWORD count, CONSUME consume)
{
    std::vector<BYTE> piece(PIECE);
    for (QWORD done = 0; done < count;) {
        size_t size = size_t(std::min<QWORD>(PIECE, count - done));
        if (!archive.read(offset + done, size, piece.data()) || !consume(piece.data(), size))
            return false;
        done += size;
    }
    return true;
}

// Inflates a raw deflate stream of count bytes into check, stopping once
// it gives more than limit bytes; false when it is damaged, ends early or
// gives too much.
bool inflate_member(ARCHIVE_BYTES& archive, QWORD offset, QWORD count, QWORD limit, MEMBER_CHECK& check)
{
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return false;
    std::vector<BYTE> out(PIECE);
    int status = Z_OK;
    read_pieces(archive, offset, count, [&](const BYTE* piece, size_t size) {
        stream.next_in = const_cast<Bytef*>(piece);
        stream.avail_in = uInt(size);
        do {
            stream.next_out = out.data();
            stream.avail_out = uInt(out.size());
            status = inflate(&stream, Z_NO_FLUSH);
            check.add(out.data(), out.size() - stream.avail_out);
        } while (stream.avail_out == 0 && status == Z_OK && check.size <= limit);
        return (status == Z_OK || status == Z_BUF_ERROR) && check.size <= limit;
    });
    inflateEnd(&stream);
    return status == Z_STREAM_END && check.size <= limit;
}

// The bytes of the directory the end record places; the reason they
// cannot be read, empty on success. The directory must end where the end
// record (or a digital signature before it) begins, as the reader of whole
// archives also demands, so that a forged record inside a comment or a
// member is passed over.
std::string read_directory(ARCHIVE_BYTES& archive, const END_RECORD& end, std::vector<BYTE>& directory)
{
    const QWORD directory_end = QWORD(end.directory_offset) + end.directory_size;
    BYTE signature[6] = {};
    bool signed_directory = directory_end + sizeof signature <= end.position &&
                            archive.read(directory_end, sizeof signature, signature) &&
                            PGM_COMMON::get_dword(signature) == DIGITAL_SIGNATURE_SIGNATURE &&
                            directory_end + sizeof signature + (signature[4] | signature[5] << 8) == end.position;
    if (directory_end != end.position && !signed_directory)
        return "ZIP file end of central directory offset or size does not match the central directory";
    directory.resize(end.directory_size);
    return archive.read(end.directory_offset, directory.size(), directory.data()) ? "" : SIZE_REASON;
}

} // namespace

std::string PGM_COMMON_ZIP::list_files(std::string filename, std::vector<PGM_COMMON_ZIP_ENTRY>& entries)
{
    ARCHIVE_BYTES archive;
    if (!archive.open(filename))
        return reason_for("Unable to open zip file %s or zip file empty", filename);
    std::string reason; // why the last record, the likeliest, does not serve
    // The entries of a directory's bytes; the reason they cannot be read.
    auto entries_of = [](const std::vector<BYTE>& directory, const END_RECORD& end,
                         std::vector<PGM_COMMON_ZIP_ENTRY>& listed) -> std::string {
        std::string failed;
        for (DWORD position = 0; position < directory.size();) {
            CENTRAL_DIRECTORY c;
            if (!get_central_directory(directory.data(), DWORD(directory.size()), position, failed, &c))
                return failed;
            PGM_COMMON::change_folder_slash(c.name);
            listed.push_back({c.name, c.method, c.flags, c.crc, c.compressed_size, c.uncompressed_size, c.time,
                              c.date, c.local_header_offset});
        }
        if (listed.size() != end.total_entries || listed.size() != end.disk_entries)
            return "ZIP file end of central directory entry counts do not match the central directory";
        return "";
    };
    for (const END_RECORD& end : end_record_candidates(archive)) {
        std::vector<BYTE> directory;
        std::vector<PGM_COMMON_ZIP_ENTRY> listed;
        std::string failed = read_directory(archive, end, directory);
        if (failed.empty())
            failed = entries_of(directory, end, listed);
        if (failed.empty()) {
            entries.insert(entries.end(), listed.begin(), listed.end());
            return "";
        }
        if (reason.empty())
            reason = failed;
    }
    return filename + ": " + (reason.empty() ? "Unable to locate end of central directory signature" : reason);
}

namespace {

// Why the member's data cannot be read whole or are damaged; empty when
// they are sound.
std::string member_reason(ARCHIVE_BYTES& archive, const PGM_COMMON_ZIP_ENTRY& entry)
{
    const std::string& name = entry.filename;
    if (entry.flags & PGM_COMMON_ZIP_ENCRYPTED)
        return reason_for("Member %s is encrypted, which is not supported", name);
    if (entry.method != PGM_COMMON_ZIP_STORED && entry.method != PGM_COMMON_ZIP_DEFLATED) {
        std::string reason;
        MEM_DETAIL::stl_raw_sprintf(reason, "Member %s is compressed with method %u, which is not supported",
                                    name.c_str(), unsigned(entry.method));
        return reason;
    }
    BYTE header[LOCAL_HEADER_SIZE];
    if (!archive.read(entry.local_header_offset, LOCAL_HEADER_SIZE, header) ||
        PGM_COMMON::get_dword(header) != LOCAL_FILE_HEADER_SIGNATURE)
        return reason_for("Member %s has no local file header where the central directory places it", name);
    QWORD data = QWORD(entry.local_header_offset) + LOCAL_HEADER_SIZE + (header[26] | header[27] << 8) +
                 (header[28] | header[29] << 8);
    MEMBER_CHECK check;
    bool read = entry.method == PGM_COMMON_ZIP_STORED
                    ? entry.compressed_size == entry.size &&
                          read_pieces(archive, data, entry.size, [&check](const BYTE* piece, size_t size) {
                              check.add(piece, size);
                              return true;
                          })
                    : inflate_member(archive, data, entry.compressed_size, entry.size, check);
    if (!read || check.size != entry.size)
        return reason_for("Member %s is damaged: its data cannot be read whole", name);
    if (check.crc != entry.crc)
        return reason_for("Member %s is damaged: its CRC-32 does not match", name);
    return "";
}

} // namespace

std::string PGM_COMMON_ZIP::test_file(std::string filename, const PGM_COMMON_ZIP_ENTRY& entry)
{
    return test_files(filename, {entry}).front();
}

std::vector<std::string> PGM_COMMON_ZIP::test_files(std::string filename,
                                                    const std::vector<PGM_COMMON_ZIP_ENTRY>& entries)
{
    ARCHIVE_BYTES archive;
    if (!archive.open(filename))
        return std::vector<std::string>(entries.size(),
                                        reason_for("Unable to open zip file %s or zip file empty", filename));
    std::vector<std::string> reasons;
    for (const PGM_COMMON_ZIP_ENTRY& entry : entries) {
        std::string reason = member_reason(archive, entry);
        reasons.push_back(reason.empty() ? reason : filename + ": " + reason);
    }
    return reasons;
}
