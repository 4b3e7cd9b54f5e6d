// pgmtool crc: the library's CRCs over a whole file, read in pieces.
#include "pgmtool_frame.h"

#include <cstdio>

namespace {

enum CRC_KIND { CRC_KIND_CRC16, CRC_KIND_X25, CRC_KIND_KERMIT, CRC_KIND_CRC32 };

CRC_KIND parse_kind(const std::string& kind)
{
    const std::pair<const char*, CRC_KIND> kinds[] = {
        {"crc16", CRC_KIND_CRC16}, {"x25", CRC_KIND_X25}, {"kermit", CRC_KIND_KERMIT}, {"crc32", CRC_KIND_CRC32}};
    for (const auto& known : kinds) {
        if (PGM_COMMON::compare_string(known.first, kind, false))
            return known.second;
    }
    throw PGMTOOL_USAGE("unknown CRC kind \"" + kind + "\" (crc16, x25, kermit or crc32)");
}

// The running CRC of one kind; pieces arrive in file order. The bit
// counts of the library are 32 bits wide, and the pieces stay far below.
struct RUNNING_CRC {
    explicit RUNNING_CRC(CRC_KIND crc_kind) : kind(crc_kind), value(initial(crc_kind)) {}

    static DWORD initial(CRC_KIND kind)
    {
        switch (kind) {
        case CRC_KIND_CRC16:
        case CRC_KIND_X25: return 0xFFFF;
        case CRC_KIND_KERMIT: return 0;
        default: return 0xFFFFFFFF;
        }
    }

    void add(const BYTE* data, size_t size)
    {
        DWORD bits = DWORD(size * 8);
        switch (kind) {
        case CRC_KIND_CRC16: value = PGM_COMMON::calculate_crc16(data, 0, bits, WORD(value), 0xA001); break;
        case CRC_KIND_X25:
        case CRC_KIND_KERMIT:
            value = PGM_COMMON::calculate_sof_crc16(data, DWORD(size), WORD(value), false, NULL);
            break;
        case CRC_KIND_CRC32:
            value = PGM_COMMON::lsb_calculate_crc32(data, 0, bits, value, 0xEDB88320, false, true);
            break;
        }
    }

    // The finished value: X-25 and the ZIP CRC-32 are complemented.
    DWORD result() const
    {
        if (kind == CRC_KIND_X25)
            return DWORD(WORD(~value));
        return kind == CRC_KIND_CRC32 ? ~value : value;
    }

    CRC_KIND kind;
    DWORD value;
};

} // namespace

int pgmtool_crc(int argc, const char** argv)
{
    std::string kind_text;
    PGMTOOL_ARGS args("crc", {"crc FILE --kind=K"},
                      {"Prints the CRC of the whole file (\"-\": standard input) for the kind K:",
                       "crc16 (CRC-16/MODBUS, initial 0xFFFF, polynomial 0xA001), x25 (CRC-16/X-25),",
                       "kermit (CRC-16/KERMIT) or crc32 (the CRC-32 of ZIP archives)."},
                      "pgmtool crc fw.bin --kind=crc32");
    args.text("kind=K", kind_text, "crc16, x25, kermit or crc32");
    if (!args.parse(argc, argv, 1, 1))
        return PGMTOOL_OK;
    if (kind_text.empty())
        throw PGMTOOL_USAGE("crc needs --kind=crc16, x25, kermit or crc32");
    RUNNING_CRC crc(parse_kind(kind_text));
    const std::string& path = args.streamed_input(args.files()[0]);
    pgmtool_read_file_pieces(path, [&crc](const BYTE* data, size_t size) { crc.add(data, size); });
    bool wide = crc.kind == CRC_KIND_CRC32;
    std::printf("0x%0*X\n", wide ? 8 : 4, unsigned(crc.result()));
    return PGMTOOL_OK;
}
