// CRC-16 and CRC-32 over bit ranges and byte ranges.
//
// Every function is defined by a bit-serial algorithm: one shift-and-XOR
// step per data bit. The code keeps those results exactly and runs faster:
// bits before the first byte boundary and after the last one go one by one,
// whole bytes in between go through lookup tables sixteen at a time.
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/h/pgm_common.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// ---- Bit-serial steps ----

// One step of a reflected CRC: the register shifts right, the polynomial is
// given bit-reversed.
inline DWORD reflected_step(DWORD crc, DWORD bit, DWORD polynomial)
{
    DWORD x = bit ^ (crc & 1);
    crc >>= 1;
    return x ? crc ^ polynomial : crc;
}

// One step of a non-reflected CRC: the register shifts left.
inline DWORD normal_step(DWORD crc, DWORD bit, DWORD polynomial)
{
    DWORD top = crc >> 31;
    crc <<= 1;
    return bit != top ? crc ^ polynomial : crc;
}

// Bit i of the buffer: bit i % 8 of byte i / 8, or bit 7 - i % 8 when the
// bits are taken most significant first. No buffer reads as zeros.
inline DWORD data_bit(const BYTE* base_address, DWORD i, bool msb_first)
{
    if (base_address == nullptr)
        return 0;
    DWORD shift = msb_first ? 7 - i % 8 : i % 8;
    return (base_address[i / 8] >> shift) & 1;
}

inline BYTE reverse_byte(BYTE b)
{
    b = BYTE((b >> 4) | (b << 4));
    b = BYTE(((b >> 2) & 0x33) | ((b & 0x33) << 2));
    return BYTE(((b >> 1) & 0x55) | ((b & 0x55) << 1));
}

// Reverses the bit order inside each of the eight bytes.
inline QWORD reverse_bits_in_bytes(QWORD w)
{
    w = ((w >> 4) & 0x0F0F0F0F0F0F0F0FULL) | ((w & 0x0F0F0F0F0F0F0F0FULL) << 4);
    w = ((w >> 2) & 0x3333333333333333ULL) | ((w & 0x3333333333333333ULL) << 2);
    return ((w >> 1) & 0x5555555555555555ULL) | ((w & 0x5555555555555555ULL) << 1);
}

inline QWORD load_le64(const BYTE* p)
{
    QWORD w;
    std::memcpy(&w, p, sizeof w);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    w = __builtin_bswap64(w);
#endif
    return w;
}

// ---- Tables ----
//
// t[0][x] is the register change of one data byte x entering a zero
// register; t[k][x] the change of byte x followed by k zero bytes. A CRC is
// linear over GF(2), so the change of several bytes is the XOR of the
// changes of each byte alone: sixteen lookups replace 128 bit steps.

constexpr int SLICES = 16;

struct CRC_TABLES {
    DWORD t[SLICES][256];
};

constexpr void fill_tables(CRC_TABLES& tables, DWORD polynomial, bool reflected)
{
    for (DWORD x = 0; x < 256; ++x) {
        DWORD crc = reflected ? x : x << 24;
        for (int bit = 0; bit < 8; ++bit) {
            if (reflected)
                crc = (crc & 1) ? (crc >> 1) ^ polynomial : crc >> 1;
            else
                crc = (crc & 0x80000000U) ? (crc << 1) ^ polynomial : crc << 1;
        }
        tables.t[0][x] = crc;
    }
    for (int k = 1; k < SLICES; ++k) {
        for (DWORD x = 0; x < 256; ++x) {
            DWORD prev = tables.t[k - 1][x];
            tables.t[k][x] = reflected ? (prev >> 8) ^ tables.t[0][prev & 0xFF]
                                       : (prev << 8) ^ tables.t[0][prev >> 24];
        }
    }
}

constexpr CRC_TABLES make_tables(DWORD polynomial, bool reflected)
{
    CRC_TABLES tables{};
    fill_tables(tables, polynomial, reflected);
    return tables;
}

// The library's own polynomials, built at compile time: the Jam CRC and
// default CRC-16 table (0x8408), the trace file CRC-16 (0xA001) and the
// built-in CRC-32 table (0x88010000).
constexpr DWORD JAM_POLYNOMIAL = 0x8408;
constexpr DWORD TABLE_POLYNOMIAL = 0x88010000;
constexpr DWORD ZIP_POLYNOMIAL = 0xEDB88320;
constexpr CRC_TABLES JAM_TABLES = make_tables(JAM_POLYNOMIAL, true);
constexpr CRC_TABLES MODBUS_TABLES = make_tables(0xA001, true);
constexpr CRC_TABLES TABLE_POLYNOMIAL_TABLES = make_tables(TABLE_POLYNOMIAL, true);

static_assert(JAM_TABLES.t[0][1] == 0x1189 && JAM_TABLES.t[0][128] == 0x8408, "Jam CRC table");
static_assert(TABLE_POLYNOMIAL_TABLES.t[0][1] == 0x01100200 && TABLE_POLYNOMIAL_TABLES.t[0][128] == 0x88010000,
              "CRC-32 table");

// Below this many whole bytes, building the tables of a new polynomial
// costs more than stepping the bits (one build is about 6000 steps).
constexpr DWORD TABLE_BUILD_THRESHOLD = 1024;

// Tables of the polynomials used last on this thread. Being per thread, it
// keeps the functions re-entrant without a lock.
class TABLE_CACHE {
public:
    const CRC_TABLES* find(DWORD polynomial, bool reflected)
    {
        for (ENTRY& entry : entries_) {
            if (entry.tables && entry.polynomial == polynomial && entry.reflected == reflected) {
                entry.last_use = ++clock_;
                return entry.tables.get();
            }
        }
        return nullptr;
    }

    const CRC_TABLES* build(DWORD polynomial, bool reflected)
    {
        ENTRY& victim = *std::min_element(std::begin(entries_), std::end(entries_),
                                          [](const ENTRY& a, const ENTRY& b) { return a.last_use < b.last_use; });
        if (!victim.tables)
            victim.tables = std::make_unique<CRC_TABLES>();
        fill_tables(*victim.tables, polynomial, reflected);
        victim.polynomial = polynomial;
        victim.reflected = reflected;
        victim.last_use = ++clock_;
        return victim.tables.get();
    }

private:
    struct ENTRY {
        DWORD polynomial = 0;
        bool reflected = false;
        QWORD last_use = 0;
        std::unique_ptr<CRC_TABLES> tables;
    };
    ENTRY entries_[4];
    QWORD clock_ = 0;
};

thread_local TABLE_CACHE table_cache;

// Tables for the polynomial, or null when byte_count is too small to pay
// for building them.
const CRC_TABLES* find_tables(DWORD polynomial, bool reflected, DWORD byte_count)
{
    if (reflected) {
        if (polynomial == JAM_POLYNOMIAL)
            return &JAM_TABLES;
        if (polynomial == 0xA001)
            return &MODBUS_TABLES;
        if (polynomial == TABLE_POLYNOMIAL)
            return &TABLE_POLYNOMIAL_TABLES;
    }
    const CRC_TABLES* tables = table_cache.find(polynomial, reflected);
    if (tables == nullptr && byte_count >= TABLE_BUILD_THRESHOLD)
        tables = table_cache.build(polynomial, reflected);
    return tables;
}

// ---- Whole bytes ----

// How a CRC takes its bits. A reflected register takes each byte's least
// significant bit first, a non-reflected one its most significant bit
// first; the other bit order is the same CRC of the bit-reversed bytes.
struct CRC_KIND {
    DWORD polynomial;
    bool reflected;
    bool msb_first;

    bool reversed_bytes() const { return reflected == msb_first; }
};

// Eight plain steps per byte: XORing a whole byte into the register and then
// stepping with zero data bits is the same as stepping each data bit, since
// a data bit only ever meets the register bit that shifts out with it.
DWORD bytes_serial(const CRC_KIND& kind, const BYTE* p, DWORD n, DWORD crc)
{
    for (; n > 0; ++p, --n) {
        DWORD byte = kind.reversed_bytes() ? reverse_byte(*p) : *p;
        if (kind.reflected) {
            crc ^= byte;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (kind.polynomial & (0U - (crc & 1)));
        } else {
            crc ^= byte << 24;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc << 1) ^ (kind.polynomial & (0U - (crc >> 31)));
        }
    }
    return crc;
}

// Sixteen bytes per round. The register is XORed into the first four data
// bytes (the low byte first when reflected, the high byte first when not),
// then each of the sixteen bytes is looked up in the table of the number of
// bytes that follow it, and the changes are XORed together.
template <bool REFLECTED, bool REVERSED>
DWORD bytes_sliced(const CRC_TABLES& tables, const BYTE* p, DWORD n, DWORD crc)
{
    const auto& t = tables.t;
    for (; n >= 16; p += 16, n -= 16) {
        QWORD a = load_le64(p);
        QWORD b = load_le64(p + 8);
        if (REVERSED) {
            a = reverse_bits_in_bytes(a);
            b = reverse_bits_in_bytes(b);
        }
        a ^= REFLECTED ? crc : __builtin_bswap32(crc);
        crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][(a >> 24) & 0xFF] ^
              t[11][(a >> 32) & 0xFF] ^ t[10][(a >> 40) & 0xFF] ^ t[9][(a >> 48) & 0xFF] ^ t[8][a >> 56] ^
              t[7][b & 0xFF] ^ t[6][(b >> 8) & 0xFF] ^ t[5][(b >> 16) & 0xFF] ^ t[4][(b >> 24) & 0xFF] ^
              t[3][(b >> 32) & 0xFF] ^ t[2][(b >> 40) & 0xFF] ^ t[1][(b >> 48) & 0xFF] ^ t[0][b >> 56];
    }
    for (; n > 0; ++p, --n) {
        DWORD byte = REVERSED ? reverse_byte(*p) : *p;
        crc = REFLECTED ? t[0][(crc ^ byte) & 0xFF] ^ (crc >> 8) : t[0][(crc >> 24) ^ byte] ^ (crc << 8);
    }
    return crc;
}

DWORD bytes_with_tables(const CRC_KIND& kind, const CRC_TABLES& tables, const BYTE* p, DWORD n, DWORD crc)
{
    if (kind.reflected)
        return kind.reversed_bytes() ? bytes_sliced<true, true>(tables, p, n, crc)
                                     : bytes_sliced<true, false>(tables, p, n, crc);
    return kind.reversed_bytes() ? bytes_sliced<false, true>(tables, p, n, crc)
                                 : bytes_sliced<false, false>(tables, p, n, crc);
}

// The CRC over n whole bytes; no data (p null) counts as zero bytes.
DWORD bytes_crc(const CRC_KIND& kind, const BYTE* p, DWORD n, DWORD crc)
{
    if (p == nullptr) {
        static const BYTE zeros[4096] = {};
        while (n > 0) {
            DWORD chunk = std::min<DWORD>(n, sizeof zeros);
            crc = bytes_crc(kind, zeros, chunk, crc);
            n -= chunk;
        }
        return crc;
    }
    // zlib's crc32 is this reflected CRC with the register complemented on
    // the way in and on the way out, so complementing both sides cancels it.
    if (kind.reflected && !kind.msb_first && kind.polynomial == ZIP_POLYNOMIAL)
        return ~DWORD(crc32(uLong(~crc), p, uInt(n)));
    const CRC_TABLES* tables = find_tables(kind.polynomial, kind.reflected, n);
    return tables ? bytes_with_tables(kind, *tables, p, n, crc) : bytes_serial(kind, p, n, crc);
}

// ---- Bit ranges ----

DWORD bit_serial(const CRC_KIND& kind, const BYTE* base_address, DWORD start_bit, DWORD bit_count, DWORD crc)
{
    for (DWORD i = start_bit; i != start_bit + bit_count; ++i) {
        DWORD bit = data_bit(base_address, i, kind.msb_first);
        crc = kind.reflected ? reflected_step(crc, bit, kind.polynomial) : normal_step(crc, bit, kind.polynomial);
    }
    return crc;
}

// Bits up to the first byte boundary one by one, then the whole bytes, then
// the bits left after the last boundary one by one: the same bits in the
// same order as the plain loop.
DWORD bit_range_crc(const CRC_KIND& kind, const BYTE* base_address, DWORD start_bit, DWORD bit_count, DWORD crc)
{
    DWORD head = std::min<DWORD>((8 - start_bit % 8) % 8, bit_count);
    crc = bit_serial(kind, base_address, start_bit, head, crc);
    start_bit += head;
    bit_count -= head;

    DWORD byte_count = bit_count / 8;
    if (byte_count > 0) {
        const BYTE* bytes = base_address ? base_address + start_bit / 8 : nullptr;
        crc = bytes_crc(kind, bytes, byte_count, crc);
        start_bit += byte_count * 8;
        bit_count -= byte_count * 8;
    }
    return bit_serial(kind, base_address, start_bit, bit_count, crc);
}

// The bit index is 32 bits wide: a range running past index 0xFFFFFFFF
// continues at bit 0, so it is taken in two pieces.
DWORD crc_bits(const CRC_KIND& kind, const BYTE* base_address, DWORD start_bit, DWORD bit_count, DWORD crc)
{
    QWORD end = QWORD(start_bit) + bit_count;
    if (end <= 0x100000000ULL)
        return bit_range_crc(kind, base_address, start_bit, bit_count, crc);
    DWORD first = DWORD(0x100000000ULL - start_bit);
    crc = bit_range_crc(kind, base_address, start_bit, first, crc);
    return bit_range_crc(kind, base_address, 0, bit_count - first, crc);
}

} // namespace

WORD PGM_COMMON::calculate_crc16(const BYTE* base_address, DWORD start_bit, DWORD bit_count, WORD initial_value,
                                 WORD polynomial)
{
    if (bit_count == 0)
        return initial_value;
    // With a 16-bit polynomial and initial value, the 32-bit register never
    // sets a bit above bit 15, so it is the 16-bit register.
    return WORD(crc_bits(CRC_KIND{polynomial, true, false}, base_address, start_bit, bit_count, initial_value));
}

WORD PGM_COMMON::calculate_sof_crc16(const BYTE* base_address, DWORD size, WORD initial_value, bool invert,
                                     const WORD* table)
{
    PGM_CHECK(base_address != NULL && size > 0);
    DWORD crc = initial_value;
    if (table == nullptr) {
        crc = bytes_with_tables(CRC_KIND{JAM_POLYNOMIAL, true, false}, JAM_TABLES, base_address, size, crc);
    } else {
        // A caller's table that is the reflected table of its own entry 128
        // (the polynomial) gives the same values as that CRC, which can go
        // sixteen bytes at a time; any other table is used as it is.
        const CRC_TABLES* tables = find_tables(table[128], true, size);
        bool same = tables != nullptr;
        for (int i = 0; same && i < 256; ++i)
            same = tables->t[0][i] == table[i];
        if (same) {
            crc = bytes_with_tables(CRC_KIND{table[128], true, false}, *tables, base_address, size, crc);
        } else {
            for (DWORD i = 0; i < size; ++i)
                crc = table[(crc ^ base_address[i]) & 0xFF] ^ (crc >> 8);
        }
    }
    return WORD(invert ? ~crc : crc);
}

DWORD PGM_COMMON::lsb_calculate_crc32(const BYTE* base_address, DWORD start_bit, DWORD bit_count,
                                      DWORD initial_value, DWORD polynomial, bool msb_first, bool use_table)
{
    if (bit_count == 0)
        return initial_value;
    // The built-in table is the table of 0x88010000, so the table walk and
    // the bit steps agree; only its precondition is checked here.
    if (polynomial == TABLE_POLYNOMIAL && start_bit % 8 == 0 && bit_count % 8 == 0 && !msb_first && use_table)
        PGM_CHECK(base_address != NULL);
    return crc_bits(CRC_KIND{polynomial, true, msb_first}, base_address, start_bit, bit_count, initial_value);
}

DWORD PGM_COMMON::msb_calculate_crc32(const BYTE* base_address, DWORD start_bit, DWORD bit_count,
                                      DWORD initial_value, DWORD polynomial, bool msb_first)
{
    if (bit_count == 0)
        return initial_value;
    return crc_bits(CRC_KIND{polynomial, false, msb_first}, base_address, start_bit, bit_count, initial_value);
}
