#include "pgm/h/pgm_common.h"
#include "pgm/h/pgm_common_msg.h"

#include "host/cfg.h"
#include "host/fio.h"
#include "host/gen.h"
#include "host/mem.h"
#include "pgm/common/pgm_check.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

DWORD PGM_DEBUG::PGM_DEBUG_LEVEL = 0xFFFFFFFF;
std::string PGM_DEBUG::PGM_DEBUG_MSG;
std::vector<PGM_DEBUG_ENABLE_INFO> PGM_DEBUG::PGM_DEBUG_INI;

namespace {

const DWORD TRACE_OFF = 200;
const DWORD UNRESOLVED = 0xFFFFFFFF;
const size_t PENDING_LIMIT = 1000;
const size_t HEADER_SIZE = 8;
const size_t TRAILER_SIZE = 2;
const size_t MIN_FILE_SIZE = HEADER_SIZE + 1 + TRAILER_SIZE;
// deflate never shrinks data by more than this factor, so a record
// claiming more is damaged.
const QWORD MAX_DEFLATE_RATIO = 1032;

std::string trace_path()
{
    return gen_get_module_path() + "/programmer.dbg";
}

// Continues the trace file's CRC-16/MODBUS over whole bytes. The bit count
// of calculate_crc16 is 32 bits wide, so long runs go in pieces.
WORD continue_crc(WORD crc, const BYTE* data, size_t size)
{
    const size_t piece = size_t(1) << 28;
    for (size_t done = 0; done < size; done += piece) {
        size_t count = std::min(piece, size - done);
        crc = PGM_COMMON::calculate_crc16(data + done, 0, DWORD(count * 8), crc, 0xA001);
    }
    return crc;
}

void put_le32(BYTE* out, DWORD value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = BYTE(value >> (8 * i));
}

DWORD get_le32(const BYTE* in)
{
    return DWORD(in[0]) | DWORD(in[1]) << 8 | DWORD(in[2]) << 16 | DWORD(in[3]) << 24;
}

// What stands at the trace file's path.
enum TRACE_FILE_STATE { TRACE_FILE_NONE, TRACE_FILE_REGULAR, TRACE_FILE_SPECIAL };

TRACE_FILE_STATE trace_file_state(const std::string& path)
{
    struct stat record;
    if (::stat(path.c_str(), &record) != 0)
        return errno == ENOENT ? TRACE_FILE_NONE : TRACE_FILE_SPECIAL;
    return S_ISREG(record.st_mode) ? TRACE_FILE_REGULAR : TRACE_FILE_SPECIAL;
}

// Moves a damaged trace file aside to the first free name of
// "programmer.dbg.damaged", "programmer.dbg.damaged.2", ...; false when
// it cannot be kept, and then it is left where it is.
bool keep_damaged_file(const std::string& path)
{
    const int MOST_KEPT = 100;
    for (int copy = 1; copy <= MOST_KEPT; ++copy) {
        std::string name = path + ".damaged" + (copy == 1 ? std::string() : "." + std::to_string(copy));
        struct stat record;
        if (::lstat(name.c_str(), &record) == 0 || errno != ENOENT)
            continue;
        return ::rename(path.c_str(), name.c_str()) == 0;
    }
    return false;
}

bool read_exactly(int fd, BYTE* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t count = ::read(fd, buffer + done, size - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        done += size_t(count);
    }
    return true;
}

// Inflates one record in pieces and prints its text up to the first NUL
// character, so that memory stays bounded whatever the record claims.
// False when the record does not hold exactly text_size bytes of text.
bool print_record(const BYTE* record, DWORD record_size, DWORD text_size, std::ostream& out)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return false;
    stream.next_in = const_cast<Bytef*>(record);
    stream.avail_in = record_size;
    std::vector<BYTE> piece(size_t(1) << 16);
    QWORD produced = 0;
    bool printing = true; // no NUL seen yet
    int status = Z_OK;
    while (status == Z_OK && produced <= text_size) {
        stream.next_out = piece.data();
        stream.avail_out = uInt(piece.size());
        status = inflate(&stream, Z_NO_FLUSH);
        size_t count = piece.size() - stream.avail_out;
        produced += count;
        if (printing && count > 0 && produced <= text_size) {
            const BYTE* nul = static_cast<const BYTE*>(std::memchr(piece.data(), 0, count));
            out.write(reinterpret_cast<const char*>(piece.data()),
                      std::streamsize(nul ? size_t(nul - piece.data()) : count));
            printing = nul == nullptr;
        }
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END && produced == text_size;
}

// Writes the pending text once more when the process ends.
struct FLUSH_AT_EXIT {
    ~FLUSH_AT_EXIT()
    {
        try {
            PGM_DEBUG::write_msg();
        } catch (...) {
        }
    }
};

} // namespace

// Defined after the trace's own statics so that it is destroyed before them.
static FLUSH_AT_EXIT flush_at_exit;

void PGM_DEBUG::print_msg(std::string group, std::string sub_group, DWORD level, std::string msg)
{
    PGM_CHECK(level <= 100);
    if (PGM_DEBUG_LEVEL == UNRESOLVED) {
        if (!cfg_is_on("PGM_DEBUG_TRACE", false)) {
            PGM_DEBUG_LEVEL = TRACE_OFF;
            return;
        }
        PGM_DEBUG_LEVEL = DWORD(cfg_get_int_value("PGM_DEBUG_TRACE_LEVEL", 0));
        if (PGM_DEBUG_LEVEL > 100)
            PGM_DEBUG_LEVEL = 0;
    } else if (PGM_DEBUG_LEVEL > 100) {
        if (PGM_DEBUG_LEVEL == TRACE_OFF)
            return;
        PGM_CHECK(PGM_DEBUG_LEVEL <= 100 || PGM_DEBUG_LEVEL == 200);
    }
    if (level > PGM_DEBUG_LEVEL)
        return;
    if (!sub_group.empty() && (sub_group.size() > 32 || sub_group.find_first_of(" \t") != std::string::npos))
        return;
    stl_toupper(group);
    stl_toupper(sub_group);
    std::string group_switch = "PGM_ENABLE_" + group + "_DEBUG";
    std::string sub_group_switch = sub_group.empty() ? std::string() : "PGM_ENABLE_SUB_GROUP_" + sub_group;
    if (check_enable(group_switch) && check_enable(sub_group_switch)) {
        PGM_DEBUG_MSG += group + ": ";
        if (!sub_group.empty())
            PGM_DEBUG_MSG += sub_group + ": ";
        PGM_DEBUG_MSG += msg + "\n";
    }
    if (PGM_DEBUG_MSG.size() > PENDING_LIMIT)
        write_msg();
}

bool PGM_DEBUG::check_enable(std::string name)
{
    if (name.empty())
        return true;
    stl_toupper(name);
    for (const PGM_DEBUG_ENABLE_INFO& info : PGM_DEBUG_INI) {
        if (info.name == name)
            return info.enable;
    }
    bool enable = cfg_is_on(name, false) != BRISOL_FALSE;
    PGM_DEBUG_INI.push_back({name, enable});
    return enable;
}

void PGM_DEBUG::write_msg()
{
    if (PGM_DEBUG_MSG.empty())
        return;
    // The pending text is dropped whatever happens below.
    std::string text;
    text.swap(PGM_DEBUG_MSG);
    if (text.size() > 0xFFFFFFFFu)
        return;
    DWORD uncompressed_size = DWORD(text.size());
    // compressBound is the zlib worst case for this input, in size_t.
    uLongf compressed_size = compressBound(uLong(uncompressed_size));
    std::vector<BYTE> compressed(compressed_size);
    if (compress2(compressed.data(), &compressed_size, reinterpret_cast<const Bytef*>(text.data()),
                  uLong(uncompressed_size), 1) != Z_OK)
        return;
    PGM_CHECK_TEXT(compressed_size <= QWORD(uncompressed_size) * 50, "compressed_size <= (uncompressed_size * 50)");

    std::string path = trace_path();
    TRACE_FILE_STATE state = trace_file_state(path);
    if (state == TRACE_FILE_SPECIAL)
        return; // never written through, never replaced
    DWORD old_data_size = 0;
    BYTE* old_data = NULL;
    WORD crc = 0xFFFF;
    if (state == TRACE_FILE_REGULAR && !check_file(path, old_data_size, &old_data, crc)) {
        crc = 0xFFFF;
        PGM_CHECK(old_data_size == 0 && old_data == NULL);
        // A damaged file starts a new one, but is kept beside it.
        if (!keep_damaged_file(path))
            return;
    }
    std::unique_ptr<BYTE[]> old_content(old_data);
    PGM_CHECK_TEXT(old_data_size == 0 || old_data != NULL, "old_data != NULL");
    PGM_CHECK_TEXT(old_data_size != 0 || old_data == NULL, "old_data == NULL");

    BYTE header[HEADER_SIZE];
    put_le32(header, DWORD(compressed_size));
    put_le32(header + 4, uncompressed_size);
    crc = continue_crc(crc, header, HEADER_SIZE);
    crc = continue_crc(crc, compressed.data(), compressed_size);
    BYTE trailer[TRAILER_SIZE] = {BYTE(crc & 0xFF), BYTE(crc >> 8)};

    // The whole file is rewritten through a temporary file, so a crash
    // never leaves a torn trace.
    FIO_ATOMIC_FILE file(path);
    file.write(old_content.get(), old_data_size);
    file.write(header, HEADER_SIZE);
    file.write(compressed.data(), compressed_size);
    file.write(trailer, TRAILER_SIZE);
    file.commit();
}

bool PGM_DEBUG::check_file(std::string path, DWORD& data_size, BYTE** data, WORD& crc)
{
    PGM_CHECK(data_size == 0 && *data == NULL);
    if (!FIO_FILE_SYSTEM::exists(path))
        return false;
    // Opened without waiting, so that a FIFO of that name cannot hold the
    // caller; only a regular file can be a trace file.
    FIO_FD input(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat record;
    if (input.get() < 0 || fstat(input.get(), &record) != 0 || !S_ISREG(record.st_mode))
        return false;
    if (record.st_size < off_t(MIN_FILE_SIZE) || QWORD(record.st_size) > 0xFFFFFFFFull)
        return false;
    size_t size = size_t(record.st_size);
    std::unique_ptr<BYTE[]> buffer(new BYTE[size]);
    if (!read_exactly(input.get(), buffer.get(), size))
        return false;
    size_t body = size - TRAILER_SIZE;
    crc = continue_crc(0xFFFF, buffer.get(), body);
    if (buffer[body] != BYTE(crc & 0xFF) || buffer[body + 1] != BYTE(crc >> 8))
        return false;
    QWORD offset = 0;
    while (offset < body) {
        if (offset + HEADER_SIZE >= body)
            return false;
        offset += HEADER_SIZE + get_le32(buffer.get() + offset);
    }
    if (offset != body)
        return false;
    data_size = DWORD(body);
    *data = buffer.release();
    return true;
}

void PGM_DEBUG::read_msg()
{
    read_msg(std::cout);
}

bool PGM_DEBUG::read_msg(std::ostream& out)
{
    write_msg();
    std::string path = trace_path();
    if (trace_file_state(path) == TRACE_FILE_NONE)
        return true; // nothing has been traced
    DWORD compressed_size = 0;
    BYTE* compressed_data = NULL;
    WORD crc = 0;
    bool valid = check_file(path, compressed_size, &compressed_data, crc);
    std::unique_ptr<BYTE[]> data(compressed_data);
    if (!valid) {
        PGM_CHECK(compressed_size == 0 && compressed_data == NULL);
        out << "\nError detected\n" << std::flush;
        return false;
    }
    PGM_CHECK(compressed_size != 0 && compressed_data != NULL);

    QWORD offset = 0;
    bool damaged = false;
    while (offset < compressed_size) {
        if (offset + HEADER_SIZE >= compressed_size) {
            damaged = true;
            break;
        }
        DWORD record_size = get_le32(data.get() + offset);
        DWORD text_size = get_le32(data.get() + offset + 4);
        // A size that no deflate stream of this length could produce is
        // damage, found before any inflating.
        bool possible = QWORD(text_size) <= QWORD(record_size) * MAX_DEFLATE_RATIO &&
                        offset + HEADER_SIZE + record_size <= compressed_size;
        if (!possible || !print_record(data.get() + offset + HEADER_SIZE, record_size, text_size, out)) {
            out << "\nError in decompressing data\n";
            damaged = true;
            break;
        }
        offset += HEADER_SIZE + record_size;
    }
    if (damaged || offset != compressed_size)
        out << "\nError detected\n";
    out.flush();
    return !damaged && offset == compressed_size;
}

void pgm_common_vdebug(std::string group, std::string sub_group, DWORD level, std::string msg)
{
    PGM_DEBUG::print_msg(group, sub_group, level, msg);
}
