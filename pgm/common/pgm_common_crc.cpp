// CRC-16 and CRC-32 over bit ranges and byte ranges.
//
// Every function is defined by a bit-serial algorithm: one shift-and-XOR
// step per data bit. The code keeps those results exactly and runs faster:
// bits before the first byte boundary and after the last one go one by one,
// whole bytes in between go through lookup tables sixteen at a time, or,
// on processors with carry-less multiplication, 64 bytes at a time.
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/h/pgm_common.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PGM_CRC_CLMUL 1
#define PGM_CRC_CLMUL_TARGET __attribute__((target("pclmul,ssse3")))
#endif

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// ---- Registers and bits ----
//
// A reflected register shifts right and takes each byte's least significant
// bit first; a non-reflected one shifts left and takes the most significant
// bit first. Those are the bit orders each can take a whole byte in.

struct CRC_KIND {
    DWORD polynomial;
    bool reflected;
};

constexpr DWORD reverse_dword(DWORD value)
{
    DWORD result = 0;
    for (int bit = 0; bit < 32; ++bit, value >>= 1)
        result = (result << 1) | (value & 1);
    return result;
}

// One step: x = data bit XOR the bit shifting out; shift; XOR the
// polynomial when x is set (through a mask, which spares a branch).
constexpr DWORD register_step(const CRC_KIND& kind, DWORD crc, DWORD bit)
{
    if (kind.reflected)
        return (crc >> 1) ^ (kind.polynomial & (0U - ((crc ^ bit) & 1)));
    return (crc << 1) ^ (kind.polynomial & (0U - ((crc >> 31) ^ bit)));
}

// Bit i of the buffer in the register's own order: bit i % 8 of byte i / 8
// for a reflected register, bit 7 - i % 8 otherwise. No buffer reads as zeros.
inline DWORD data_bit(const CRC_KIND& kind, const BYTE* base_address, DWORD i)
{
    if (base_address == nullptr)
        return 0;
    DWORD shift = kind.reflected ? i % 8 : 7 - i % 8;
    return (base_address[i / 8] >> shift) & 1;
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
    // Multipliers moving 128 bits of data forward by 512 bits and by 128
    // bits, as the low and high halves of a 128-bit operand.
    QWORD fold_512[2];
    QWORD fold_128[2];
};

// x^e modulo the generator x^32 + polynomial (non-reflected bit order).
constexpr DWORD x_power_mod(DWORD e, DWORD polynomial)
{
    DWORD r = 1;
    for (DWORD i = 0; i < e; ++i)
        r = register_step(CRC_KIND{polynomial, false}, r, 0);
    return r;
}

// The multiplier for x^e. Non-reflected: x^e mod G as it is. Reflected: the
// data halves hold bit i as the coefficient of x^(63-i), and a carry-less
// product of two such halves lands one degree short, so the multiplier is
// x^(e-1) mod G with its coefficient of x^d at bit 63 - d.
constexpr QWORD fold_multiplier(DWORD e, const CRC_KIND& kind)
{
    if (kind.reflected)
        return QWORD(reverse_dword(x_power_mod(e - 1, reverse_dword(kind.polynomial)))) << 32;
    return x_power_mod(e, kind.polynomial);
}

constexpr void fill_tables(CRC_TABLES& tables, const CRC_KIND& kind)
{
    for (DWORD x = 0; x < 256; ++x) {
        DWORD crc = kind.reflected ? x : x << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = register_step(kind, crc, 0);
        tables.t[0][x] = crc;
    }
    for (int k = 1; k < SLICES; ++k) {
        for (DWORD x = 0; x < 256; ++x) {
            DWORD prev = tables.t[k - 1][x];
            tables.t[k][x] = kind.reflected ? (prev >> 8) ^ tables.t[0][prev & 0xFF]
                                            : (prev << 8) ^ tables.t[0][prev >> 24];
        }
    }
    // The low half of the data is multiplied by fold[0], the high half by
    // fold[1]. Reflected data keeps its higher-degree half low.
    int high = kind.reflected ? 0 : 1;
    tables.fold_512[high] = fold_multiplier(512 + 64, kind);
    tables.fold_512[1 - high] = fold_multiplier(512, kind);
    tables.fold_128[high] = fold_multiplier(128 + 64, kind);
    tables.fold_128[1 - high] = fold_multiplier(128, kind);
}

constexpr CRC_TABLES make_tables(const CRC_KIND& kind)
{
    CRC_TABLES tables{};
    fill_tables(tables, kind);
    return tables;
}

// The library's own polynomials, built at compile time: the Jam CRC and
// default CRC-16 table (0x8408), the trace file CRC-16 (0xA001) and the
// built-in CRC-32 table (0x88010000).
constexpr DWORD JAM_POLYNOMIAL = 0x8408;
constexpr DWORD MODBUS_POLYNOMIAL = 0xA001;
constexpr DWORD TABLE_POLYNOMIAL = 0x88010000;
constexpr DWORD ZIP_POLYNOMIAL = 0xEDB88320;
constexpr CRC_TABLES JAM_TABLES = make_tables(CRC_KIND{JAM_POLYNOMIAL, true});
constexpr CRC_TABLES MODBUS_TABLES = make_tables(CRC_KIND{MODBUS_POLYNOMIAL, true});
constexpr CRC_TABLES TABLE_POLYNOMIAL_TABLES = make_tables(CRC_KIND{TABLE_POLYNOMIAL, true});

static_assert(JAM_TABLES.t[0][1] == 0x1189 && JAM_TABLES.t[0][128] == 0x8408, "Jam CRC table");
static_assert(TABLE_POLYNOMIAL_TABLES.t[0][1] == 0x01100200 && TABLE_POLYNOMIAL_TABLES.t[0][128] == 0x88010000,
              "CRC-32 table");

// Building the tables of a new polynomial takes about as long as stepping
// the bits of 600 bytes. They are built once the bytes asked for with that
// polynomial on this thread reach this count: short ranges never pay much
// more than they would without tables, and repeated ones get them too.
constexpr QWORD TABLE_BUILD_THRESHOLD = 512;

// Tables of the polynomials used last on this thread. Being per thread, it
// keeps the functions re-entrant without a lock.
class TABLE_CACHE {
public:
    // The tables of the register, or null while it has not been asked for
    // enough bytes.
    const CRC_TABLES* get(const CRC_KIND& kind, DWORD byte_count)
    {
        ENTRY& entry = find(kind);
        entry.last_use = ++clock_;
        if (!entry.built) {
            entry.bytes += byte_count;
            if (entry.bytes < TABLE_BUILD_THRESHOLD)
                return nullptr;
            if (!entry.tables)
                entry.tables = std::make_unique<CRC_TABLES>();
            fill_tables(*entry.tables, kind);
            entry.built = true;
        }
        return entry.tables.get();
    }

private:
    struct ENTRY {
        CRC_KIND kind{0, false};
        QWORD last_use = 0; // 0: never used
        QWORD bytes = 0;    // bytes asked for before the tables were built
        bool built = false;
        std::unique_ptr<CRC_TABLES> tables;
    };

    // The entry of the register, or the least recently used one taken over for it.
    ENTRY& find(const CRC_KIND& kind)
    {
        for (ENTRY& entry : entries_) {
            if (entry.last_use != 0 && entry.kind.polynomial == kind.polynomial &&
                entry.kind.reflected == kind.reflected)
                return entry;
        }
        ENTRY& victim = *std::min_element(std::begin(entries_), std::end(entries_),
                                          [](const ENTRY& a, const ENTRY& b) { return a.last_use < b.last_use; });
        victim.kind = kind;
        victim.bytes = 0;
        victim.built = false;
        return victim;
    }

    ENTRY entries_[4];
    QWORD clock_ = 0;
};

thread_local TABLE_CACHE table_cache;

// Tables for the register, or null while they do not pay.
const CRC_TABLES* find_tables(const CRC_KIND& kind, DWORD byte_count)
{
    if (kind.reflected) {
        if (kind.polynomial == JAM_POLYNOMIAL)
            return &JAM_TABLES;
        if (kind.polynomial == MODBUS_POLYNOMIAL)
            return &MODBUS_TABLES;
        if (kind.polynomial == TABLE_POLYNOMIAL)
            return &TABLE_POLYNOMIAL_TABLES;
    }
    return table_cache.get(kind, byte_count);
}

// ---- Whole bytes ----

// Eight plain steps per byte: XORing a whole byte into the register end
// that shifts out first and then stepping with zero data bits is the same
// as stepping each data bit, since a data bit only ever meets the register
// bit that shifts out at its step.
DWORD bytes_serial(const CRC_KIND& kind, const BYTE* p, DWORD n, DWORD crc)
{
    for (; n > 0; ++p, --n) {
        crc ^= kind.reflected ? DWORD(*p) : DWORD(*p) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = register_step(kind, crc, 0);
    }
    return crc;
}

// Sixteen bytes per round. The register meets the first four data bytes
// (its low byte the first one when reflected, its high byte when not);
// then each of the sixteen bytes is looked up in the table of the number
// of bytes that follow it, and the changes are XORed together.
template <bool REFLECTED>
DWORD bytes_sliced(const CRC_TABLES& tables, const BYTE* p, DWORD n, DWORD crc)
{
    const auto& t = tables.t;
    constexpr int S0 = REFLECTED ? 0 : 24, S1 = REFLECTED ? 8 : 16, S2 = REFLECTED ? 16 : 8, S3 = REFLECTED ? 24 : 0;
    for (; n >= 16; p += 16, n -= 16) {
        crc = t[15][((crc >> S0) ^ p[0]) & 0xFF] ^ t[14][((crc >> S1) ^ p[1]) & 0xFF] ^
              t[13][((crc >> S2) ^ p[2]) & 0xFF] ^ t[12][((crc >> S3) ^ p[3]) & 0xFF] ^ t[11][p[4]] ^ t[10][p[5]] ^
              t[9][p[6]] ^ t[8][p[7]] ^ t[7][p[8]] ^ t[6][p[9]] ^ t[5][p[10]] ^ t[4][p[11]] ^ t[3][p[12]] ^
              t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]];
    }
    for (; n > 0; ++p, --n)
        crc = REFLECTED ? t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8) : t[0][(crc >> 24) ^ *p] ^ (crc << 8);
    return crc;
}

#ifdef PGM_CRC_CLMUL
bool clmul_available()
{
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
    }();
    return available;
}

// Sixteen data bytes as a polynomial of degree 127: reflected, bit i of the
// little-endian load is the coefficient of x^(127-i); non-reflected, the
// bytes are reversed so that bit i is the coefficient of x^i.
template <bool REFLECTED>
PGM_CRC_CLMUL_TARGET inline __m128i load_block(const BYTE* p)
{
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i reversed = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    return REFLECTED ? block : _mm_shuffle_epi8(block, reversed);
}

// Moves x forward by e bits: x * x^e is congruent modulo G to the sum of
// each half of x times its multiplier (x^(e+64) mod G for the half of
// higher degree, x^e mod G for the other). Both products have degree
// below 96, so the sum is again 128 bits.
PGM_CRC_CLMUL_TARGET inline __m128i fold(__m128i x, __m128i multipliers)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(x, multipliers, 0x00), _mm_clmulepi64_si128(x, multipliers, 0x11));
}

// At least 64 bytes. The initial register goes into the first 32 data bits
// (the register of an initial value over data equals the register of zero
// over the data with its first 32 bits XORed with that value). Four running
// 128-bit remainders each move forward 512 bits per round and take in the
// next block; they are folded into one, and whole blocks after them. What
// is left is congruent to all the data modulo G, so the CRC of its sixteen
// bytes from a zero register is the CRC of all the data; the last bytes
// follow through the tables.
template <bool REFLECTED>
PGM_CRC_CLMUL_TARGET DWORD bytes_folded(const CRC_TABLES& tables, const BYTE* p, DWORD n, DWORD crc)
{
    const __m128i fold_512 = _mm_set_epi64x(static_cast<long long>(tables.fold_512[1]),
                                            static_cast<long long>(tables.fold_512[0]));
    const __m128i fold_128 = _mm_set_epi64x(static_cast<long long>(tables.fold_128[1]),
                                            static_cast<long long>(tables.fold_128[0]));
    __m128i x0 = load_block<REFLECTED>(p), x1 = load_block<REFLECTED>(p + 16), x2 = load_block<REFLECTED>(p + 32),
            x3 = load_block<REFLECTED>(p + 48);
    x0 = _mm_xor_si128(x0, REFLECTED ? _mm_cvtsi32_si128(int(crc)) : _mm_set_epi32(int(crc), 0, 0, 0));
    for (p += 64, n -= 64; n >= 64; p += 64, n -= 64) {
        x0 = _mm_xor_si128(fold(x0, fold_512), load_block<REFLECTED>(p));
        x1 = _mm_xor_si128(fold(x1, fold_512), load_block<REFLECTED>(p + 16));
        x2 = _mm_xor_si128(fold(x2, fold_512), load_block<REFLECTED>(p + 32));
        x3 = _mm_xor_si128(fold(x3, fold_512), load_block<REFLECTED>(p + 48));
    }
    __m128i x = _mm_xor_si128(fold(x0, fold_128), x1);
    x = _mm_xor_si128(fold(x, fold_128), x2);
    x = _mm_xor_si128(fold(x, fold_128), x3);
    for (; n >= 16; p += 16, n -= 16)
        x = _mm_xor_si128(fold(x, fold_128), load_block<REFLECTED>(p));

    alignas(16) BYTE remainder[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(remainder), x);
    if (!REFLECTED)
        std::reverse(remainder, remainder + 16);
    crc = bytes_sliced<REFLECTED>(tables, remainder, 16, 0);
    return bytes_sliced<REFLECTED>(tables, p, n, crc);
}
#else
bool clmul_available()
{
    return false;
}
#endif

DWORD bytes_with_tables(const CRC_KIND& kind, const CRC_TABLES& tables, const BYTE* p, DWORD n, DWORD crc)
{
#ifdef PGM_CRC_CLMUL
    if (n >= 64 && clmul_available())
        return kind.reflected ? bytes_folded<true>(tables, p, n, crc) : bytes_folded<false>(tables, p, n, crc);
#endif
    return kind.reflected ? bytes_sliced<true>(tables, p, n, crc) : bytes_sliced<false>(tables, p, n, crc);
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
    // Without carry-less multiplication zlib's crc32 is the fastest for the
    // ZIP polynomial. It is this reflected CRC with the register
    // complemented on the way in and on the way out; complementing both
    // sides cancels that.
    if (kind.reflected && kind.polynomial == ZIP_POLYNOMIAL && !clmul_available())
        return ~DWORD(crc32(uLong(~crc), p, uInt(n)));
    const CRC_TABLES* tables = find_tables(kind, n);
    return tables ? bytes_with_tables(kind, *tables, p, n, crc) : bytes_serial(kind, p, n, crc);
}

// ---- Bit ranges ----

DWORD bit_serial(const CRC_KIND& kind, const BYTE* base_address, DWORD start_bit, DWORD bit_count, DWORD crc)
{
    for (DWORD i = start_bit; i != start_bit + bit_count; ++i)
        crc = register_step(kind, crc, data_bit(kind, base_address, i));
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
DWORD register_crc(const CRC_KIND& kind, const BYTE* base_address, DWORD start_bit, DWORD bit_count, DWORD crc)
{
    QWORD end = QWORD(start_bit) + bit_count;
    if (end <= 0x100000000ULL)
        return bit_range_crc(kind, base_address, start_bit, bit_count, crc);
    DWORD first = DWORD(0x100000000ULL - start_bit);
    crc = bit_range_crc(kind, base_address, start_bit, first, crc);
    return bit_range_crc(kind, base_address, 0, bit_count - first, crc);
}

// A CRC whose bit order is the register's own runs as it is. With the other
// bit order it runs on the mirror register: a reflected register with
// polynomial P and value c steps exactly like a non-reflected one with
// polynomial reverse(P) and value reverse(c) (shifting right and testing
// bit 0 is shifting left and testing bit 31 of the reversed word), and
// the mirror register takes the bytes in the wanted order.
DWORD crc_bits(DWORD polynomial, bool reflected, bool msb_first, const BYTE* base_address, DWORD start_bit,
               DWORD bit_count, DWORD crc)
{
    if (reflected != msb_first)
        return register_crc(CRC_KIND{polynomial, reflected}, base_address, start_bit, bit_count, crc);
    CRC_KIND mirror{reverse_dword(polynomial), !reflected};
    return reverse_dword(register_crc(mirror, base_address, start_bit, bit_count, reverse_dword(crc)));
}

} // namespace

WORD PGM_COMMON::calculate_crc16(const BYTE* base_address, DWORD start_bit, DWORD bit_count, WORD initial_value,
                                 WORD polynomial)
{
    if (bit_count == 0)
        return initial_value;
    // With a 16-bit polynomial and initial value, the 32-bit register never
    // sets a bit above bit 15, so it is the 16-bit register.
    return WORD(crc_bits(polynomial, true, false, base_address, start_bit, bit_count, initial_value));
}

WORD PGM_COMMON::calculate_sof_crc16(const BYTE* base_address, DWORD size, WORD initial_value, bool invert,
                                     const WORD* table)
{
    PGM_CHECK(base_address != NULL && size > 0);
    DWORD crc = initial_value;
    if (table == nullptr) {
        crc = bytes_with_tables(CRC_KIND{JAM_POLYNOMIAL, true}, JAM_TABLES, base_address, size, crc);
    } else {
        // A caller's table that is the reflected table of its own entry 128
        // (the polynomial) gives the same values as that CRC, which has
        // faster ways; any other table is used as it is.
        CRC_KIND kind{table[128], true};
        const CRC_TABLES* tables = find_tables(kind, size);
        bool same = tables != nullptr;
        for (int i = 0; same && i < 256; ++i)
            same = tables->t[0][i] == table[i];
        if (same) {
            crc = bytes_with_tables(kind, *tables, base_address, size, crc);
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
    return crc_bits(polynomial, true, msb_first, base_address, start_bit, bit_count, initial_value);
}

DWORD PGM_COMMON::msb_calculate_crc32(const BYTE* base_address, DWORD start_bit, DWORD bit_count,
                                      DWORD initial_value, DWORD polynomial, bool msb_first)
{
    if (bit_count == 0)
        return initial_value;
    return crc_bits(polynomial, false, msb_first, base_address, start_bit, bit_count, initial_value);
}
