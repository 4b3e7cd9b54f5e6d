#include "pgm/h/pgm_common.h"
#include "pgm/h/pgm_common_msg.h"

#include "host/cfg.h"
#include "host/fio.h"
#include "host/gen.h"
#include "host/mem.h"
#include "pgm/common/pgm_check.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
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
    DWORD old_data_size = 0;
    BYTE* old_data = NULL;
    WORD crc = 0xFFFF;
    if (FIO_FILE_SYSTEM::exists(path) && !check_file(path, old_data_size, &old_data, crc)) {
        crc = 0xFFFF;
        PGM_CHECK(old_data_size == 0 && old_data == NULL);
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
    std::ifstream input(path, std::ios::binary);
    if (!input.is_open())
        return false;
    input.seekg(0, std::ios::end);
    std::streamoff end = input.tellg();
    input.seekg(0, std::ios::beg);
    PGM_CHECK(input.good());
    if (end < std::streamoff(MIN_FILE_SIZE) || QWORD(end) > 0xFFFFFFFFull)
        return false;
    size_t size = size_t(end);
    std::unique_ptr<BYTE[]> buffer(new BYTE[size]);
    if (!input.read(reinterpret_cast<char*>(buffer.get()), std::streamsize(size)))
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
    write_msg();
    std::string path = trace_path();
    DWORD compressed_size = 0;
    BYTE* compressed_data = NULL;
    WORD crc = 0;
    bool valid = FIO_FILE_SYSTEM::exists(path) && check_file(path, compressed_size, &compressed_data, crc);
    std::unique_ptr<BYTE[]> data(compressed_data);
    if (!valid) {
        PGM_CHECK(compressed_size == 0 && compressed_data == NULL);
        return;
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
        const BYTE* record = data.get() + offset + HEADER_SIZE;
        // A size that no deflate stream of this length could produce is
        // damage, not a reason to allocate gigabytes.
        bool possible = QWORD(text_size) <= QWORD(record_size) * MAX_DEFLATE_RATIO &&
                        offset + HEADER_SIZE + record_size <= compressed_size;
        uLongf out_size = uLongf(text_size) * 2;
        std::vector<BYTE> text(possible ? out_size : 0);
        if (!possible || uncompress(text.data(), &out_size, record, record_size) != Z_OK || out_size != text_size) {
            std::cout << "\nError in decompressing data\n";
            damaged = true;
            break;
        }
        const BYTE* nul = static_cast<const BYTE*>(std::memchr(text.data(), 0, out_size));
        std::cout.write(reinterpret_cast<const char*>(text.data()),
                        std::streamsize(nul ? size_t(nul - text.data()) : size_t(out_size)));
        offset += HEADER_SIZE + record_size;
    }
    if (damaged || offset != compressed_size)
        std::cout << "\nError detected\n";
    std::cout.flush();
}

void pgm_common_vdebug(std::string group, std::string sub_group, DWORD level, std::string msg)
{
    PGM_DEBUG::print_msg(group, sub_group, level, msg);
}
