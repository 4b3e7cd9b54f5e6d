#include "test_support.h"

#include <zlib.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <thread>

namespace {

// ---- Plain bit-serial references ----

DWORD ref_bit(const BYTE* data, DWORD i, bool msb_first)
{
    if (data == nullptr)
        return 0;
    return msb_first ? (data[i / 8] >> (7 - i % 8)) & 1 : (data[i / 8] >> (i % 8)) & 1;
}

DWORD ref_reflected(const BYTE* data, DWORD start, DWORD count, DWORD crc, DWORD polynomial, bool msb_first)
{
    for (DWORD n = 0; n < count; ++n) {
        DWORD x = ref_bit(data, start + n, msb_first) ^ (crc & 1);
        crc >>= 1;
        if (x)
            crc ^= polynomial;
    }
    return crc;
}

DWORD ref_normal(const BYTE* data, DWORD start, DWORD count, DWORD crc, DWORD polynomial, bool msb_first)
{
    for (DWORD n = 0; n < count; ++n) {
        DWORD b = ref_bit(data, start + n, msb_first);
        DWORD top = crc >> 31;
        crc <<= 1;
        if (b != top)
            crc ^= polynomial;
    }
    return crc;
}

WORD ref_crc16(const BYTE* data, DWORD start, DWORD count, WORD crc, WORD polynomial)
{
    WORD value = crc;
    for (DWORD n = 0; n < count; ++n) {
        WORD x = WORD(ref_bit(data, start + n, false) ^ (value & 1));
        value = WORD(value >> 1);
        if (x)
            value = WORD(value ^ polynomial);
    }
    return value;
}

WORD ref_table_crc16(const BYTE* data, DWORD size, WORD crc, const WORD* table)
{
    for (DWORD i = 0; i < size; ++i)
        crc = WORD(table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
    return crc;
}

std::vector<WORD> reflected_table16(WORD polynomial)
{
    std::vector<WORD> table(256);
    for (DWORD x = 0; x < 256; ++x) {
        BYTE byte = BYTE(x);
        table[x] = WORD(ref_reflected(&byte, 0, 8, 0, polynomial, false));
    }
    return table;
}

WORD x25(const std::vector<BYTE>& data)
{
    return WORD(~ref_reflected(data.data(), 0, DWORD(data.size() * 8), 0xFFFF, 0x8408, false));
}

std::vector<BYTE> random_bytes(std::mt19937& random, size_t size)
{
    std::vector<BYTE> data(size);
    for (BYTE& b : data)
        b = BYTE(random());
    return data;
}

const std::vector<BYTE> DIGITS = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

// A random range of a buffer: start bit anywhere in the first bytes, bit
// count of any remainder, byte-aligned about half the time.
struct RANGE {
    DWORD start;
    DWORD count;
};

RANGE random_range(std::mt19937& random, size_t size)
{
    DWORD total = DWORD(size * 8);
    DWORD start = DWORD(random() % (std::min<DWORD>(total, 200) + 1));
    DWORD count = random() % (total - start + 1);
    if (random() % 2) {
        start &= ~7U;
        count &= ~7U;
    }
    return RANGE{start, count};
}

} // namespace

TEST(Crc, CheckValuesAndBuiltInTables)
{
    const BYTE* d = DIGITS.data();
    EXPECT_EQ(0x4B37, PGM_COMMON::calculate_crc16(d, 0, 72, 0xFFFF, 0xA001));
    EXPECT_EQ(0x906E, PGM_COMMON::calculate_sof_crc16(d, 9, 0xFFFF, true, nullptr));
    EXPECT_EQ(0x2189, PGM_COMMON::calculate_sof_crc16(d, 9, 0, false, nullptr));
    for (bool use_table : {true, false})
        EXPECT_EQ(0xCBF43926U, ~PGM_COMMON::lsb_calculate_crc32(d, 0, 72, 0xFFFFFFFF, 0xEDB88320, false, use_table));
    // CRC-32/BZIP2 and CRC-32/MPEG-2: the non-reflected CRC-32 taken most significant bit first.
    EXPECT_EQ(0xFC891918U, ~PGM_COMMON::msb_calculate_crc32(d, 0, 72, 0xFFFFFFFF, 0x04C11DB7, true));
    EXPECT_EQ(0x0376E6E7U, PGM_COMMON::msb_calculate_crc32(d, 0, 72, 0xFFFFFFFF, 0x04C11DB7, true));
    // CRC-32C over the reflected path with a polynomial of no built-in table.
    EXPECT_EQ(0xE3069283U, ~PGM_COMMON::lsb_calculate_crc32(d, 0, 72, 0xFFFFFFFF, 0x82F63B78, false, true));

    // One byte from a zero register reads the table entry of that byte.
    const BYTE one = 1, top = 0x80;
    EXPECT_EQ(0x1189, PGM_COMMON::calculate_sof_crc16(&one, 1, 0, false, nullptr));
    EXPECT_EQ(0x8408, PGM_COMMON::calculate_sof_crc16(&top, 1, 0, false, nullptr));
    EXPECT_EQ(0xEE76, PGM_COMMON::calculate_sof_crc16(&one, 1, 0, true, nullptr));
    EXPECT_EQ(0x01100200U, PGM_COMMON::lsb_calculate_crc32(&one, 0, 8, 0, 0x88010000, false, true));
    EXPECT_EQ(0x88010000U, PGM_COMMON::lsb_calculate_crc32(&top, 0, 8, 0, 0x88010000, false, true));

    // The reflected CRC of 0xEDB88320 is zlib's crc32 without its two complements.
    std::mt19937 zip_random(3);
    std::vector<BYTE> zip_data = random_bytes(zip_random, 3001);
    for (DWORD init : {0U, 0xFFFFFFFFU, 0x12345678U}) {
        for (DWORD size : {1U, 63U, 64U, 3001U}) {
            EXPECT_EQ(~DWORD(crc32(~init, zip_data.data(), size)),
                      PGM_COMMON::lsb_calculate_crc32(zip_data.data(), 0, size * 8, init, 0xEDB88320, false, true));
        }
    }

    // The built-in table equals the table of 0x8408.
    std::vector<WORD> jam = reflected_table16(0x8408);
    std::mt19937 random(7);
    std::vector<BYTE> data = random_bytes(random, 5000);
    for (DWORD size : {1U, 15U, 16U, 17U, 1023U, 5000U}) {
        EXPECT_EQ(ref_table_crc16(data.data(), size, 0x1D0F, jam.data()),
                  PGM_COMMON::calculate_sof_crc16(data.data(), size, 0x1D0F, false, nullptr));
    }
}

TEST(Crc, EdgeCasesAndInternalErrors)
{
    const BYTE* d = DIGITS.data();
    // A bit count of 0 gives the initial value, with or without data.
    EXPECT_EQ(0x1234, PGM_COMMON::calculate_crc16(d, 5, 0, 0x1234, 0xA001));
    EXPECT_EQ(0x1234, PGM_COMMON::calculate_crc16(nullptr, 0, 0, 0x1234, 0xA001));
    EXPECT_EQ(0xDEADBEEFU, PGM_COMMON::lsb_calculate_crc32(d, 0, 0, 0xDEADBEEF, 0x88010000, false, true));
    EXPECT_EQ(0xDEADBEEFU, PGM_COMMON::lsb_calculate_crc32(nullptr, 0, 0, 0xDEADBEEF, 0x88010000, false, true));
    EXPECT_EQ(0xDEADBEEFU, PGM_COMMON::msb_calculate_crc32(nullptr, 8, 0, 0xDEADBEEF, 0x04C11DB7, true));

    // Start bit 3 with 5 bits covers bits 3 to 7 of the first byte only.
    const BYTE a[2] = {0xA8, 0x00}, b[2] = {0xAF, 0xFF}, c[2] = {0xA0, 0x00};
    WORD bits_3_to_7 = PGM_COMMON::calculate_crc16(a, 3, 5, 0xFFFF, 0xA001);
    EXPECT_EQ(bits_3_to_7, PGM_COMMON::calculate_crc16(b, 3, 5, 0xFFFF, 0xA001));
    EXPECT_NE(bits_3_to_7, PGM_COMMON::calculate_crc16(c, 3, 5, 0xFFFF, 0xA001));
    EXPECT_EQ(ref_crc16(a, 3, 5, 0xFFFF, 0xA001), bits_3_to_7);
    // Most significant bit first, bit indexes 3 to 7 are bits 4 down to 0.
    const BYTE high_changed[2] = {0x48, 0xFF};
    for (bool msb : {false, true}) {
        const BYTE* same = msb ? high_changed : b;
        const BYTE* other = msb ? b : c;
        EXPECT_EQ(PGM_COMMON::lsb_calculate_crc32(a, 3, 5, 0xFFFFFFFF, 0xEDB88320, msb, true),
                  PGM_COMMON::lsb_calculate_crc32(same, 3, 5, 0xFFFFFFFF, 0xEDB88320, msb, true));
        EXPECT_NE(PGM_COMMON::lsb_calculate_crc32(a, 3, 5, 0xFFFFFFFF, 0xEDB88320, msb, true),
                  PGM_COMMON::lsb_calculate_crc32(other, 3, 5, 0xFFFFFFFF, 0xEDB88320, msb, true));
        EXPECT_EQ(PGM_COMMON::msb_calculate_crc32(a, 3, 5, 0xFFFFFFFF, 0x04C11DB7, msb),
                  PGM_COMMON::msb_calculate_crc32(same, 3, 5, 0xFFFFFFFF, 0x04C11DB7, msb));
        EXPECT_NE(PGM_COMMON::msb_calculate_crc32(a, 3, 5, 0xFFFFFFFF, 0x04C11DB7, msb),
                  PGM_COMMON::msb_calculate_crc32(other, 3, 5, 0xFFFFFFFF, 0x04C11DB7, msb));
    }

    // Whole bytes: calculate_crc16 with 0xA001 is CRC-16/MODBUS, the same as
    // the table CRC with the table of 0xA001.
    std::vector<WORD> modbus = reflected_table16(0xA001);
    EXPECT_EQ(0x4B37, PGM_COMMON::calculate_sof_crc16(d, 9, 0xFFFF, false, modbus.data()));

    // Internal errors.
    EXPECT_INTERNAL_ERROR(PGM_COMMON::calculate_sof_crc16(nullptr, 9, 0xFFFF, true, nullptr),
                          "base_address != NULL && size > 0");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::calculate_sof_crc16(d, 0, 0xFFFF, true, nullptr),
                          "base_address != NULL && size > 0");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::lsb_calculate_crc32(nullptr, 0, 72, 0xFFFFFFFF, 0x88010000, false, true),
                          "base_address != NULL");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::lsb_calculate_crc32(nullptr, 16, 8, 0, 0x88010000, false, true),
                          "base_address != NULL");

    // Null data elsewhere reads as zero bits: the table flag off, an
    // unaligned range, the other bit order or another polynomial.
    const std::vector<BYTE> zeros(3000, 0);
    struct CASE {
        DWORD start, count, polynomial;
        bool msb_first, use_table;
    };
    for (CASE k : {CASE{0, 72, 0x88010000, false, false}, CASE{3, 72, 0x88010000, false, true},
                   CASE{0, 75, 0x88010000, false, true}, CASE{0, 72, 0x88010000, true, true},
                   CASE{0, 72, 0xEDB88320, false, true}, CASE{8, 20000, 0xEDB88320, false, true},
                   CASE{5, 23000, 0x88010000, true, false}, CASE{16, 16000, 0x12345679, false, true}}) {
        EXPECT_EQ(ref_reflected(zeros.data(), k.start, k.count, 0x5A5A5A5A, k.polynomial, k.msb_first),
                  PGM_COMMON::lsb_calculate_crc32(nullptr, k.start, k.count, 0x5A5A5A5A, k.polynomial, k.msb_first,
                                                  k.use_table))
            << k.start << " " << k.count << " " << k.polynomial;
        EXPECT_EQ(ref_normal(zeros.data(), k.start, k.count, 0x5A5A5A5A, 0x04C11DB7, k.msb_first),
                  PGM_COMMON::msb_calculate_crc32(nullptr, k.start, k.count, 0x5A5A5A5A, 0x04C11DB7, k.msb_first));
        EXPECT_EQ(ref_crc16(zeros.data(), k.start, k.count, 0x5A5A, 0xA001),
                  PGM_COMMON::calculate_crc16(nullptr, k.start, k.count, 0x5A5A, 0xA001));
    }
    // The bit index is 32 bits wide: a range past its end goes on at bit 0.
    EXPECT_EQ(ref_reflected(nullptr, 0xFFFFFFF8, 16, 0xFFFFFFFF, 0x82F63B78, false),
              PGM_COMMON::lsb_calculate_crc32(nullptr, 0xFFFFFFF8, 16, 0xFFFFFFFF, 0x82F63B78, false, true));
    EXPECT_EQ(ref_normal(nullptr, 0xFFFFFFF3, 29, 0x1, 0x04C11DB7, false),
              PGM_COMMON::msb_calculate_crc32(nullptr, 0xFFFFFFF3, 29, 0x1, 0x04C11DB7, false));
}

TEST(Crc, FastPathsMatchBitSerial)
{
    std::mt19937 random(20240611);
    const DWORD reflected32[] = {0x88010000, 0xEDB88320, 0x82F63B78, 0xEB31D82E,
                                 0xA001,     0x80000001, DWORD(random() | 1)};
    const DWORD normal32[] = {0x04C11DB7, 0x1EDC6F41, 0x814141AB, 0x00000001, DWORD(random() | 1)};
    const WORD poly16[] = {0xA001, 0x8408, 0xA6BC, WORD(random())};

    for (int round = 0; round < 120; ++round) {
        size_t size = 1 + random() % (round % 3 == 0 ? 6000 : 300);
        std::vector<BYTE> data = random_bytes(random, size);
        RANGE r = random_range(random, size);
        DWORD init = random();
        bool msb = random() % 2;
        const BYTE* p = data.data();

        for (DWORD poly : reflected32) {
            for (bool use_table : {false, true}) {
                EXPECT_EQ(ref_reflected(p, r.start, r.count, init, poly, msb),
                          PGM_COMMON::lsb_calculate_crc32(p, r.start, r.count, init, poly, msb, use_table))
                    << "lsb " << std::hex << poly << " start " << std::dec << r.start << " count " << r.count
                    << " msb " << msb;
            }
        }
        for (DWORD poly : normal32) {
            EXPECT_EQ(ref_normal(p, r.start, r.count, init, poly, msb),
                      PGM_COMMON::msb_calculate_crc32(p, r.start, r.count, init, poly, msb))
                << "msb " << std::hex << poly << " start " << std::dec << r.start << " count " << r.count
                << " msb " << msb;
        }
        for (WORD poly : poly16) {
            EXPECT_EQ(ref_crc16(p, r.start, r.count, WORD(init), poly),
                      PGM_COMMON::calculate_crc16(p, r.start, r.count, WORD(init), poly))
                << "crc16 " << std::hex << poly << " start " << std::dec << r.start << " count " << r.count;
        }
        // Whole bytes through the byte-table CRC-16, built-in and caller's tables.
        DWORD bytes = DWORD(size - r.start / 8);
        if (bytes == 0)
            continue;
        const BYTE* q = p + r.start / 8;
        std::vector<WORD> jam = reflected_table16(0x8408);
        std::vector<WORD> other = reflected_table16(poly16[round % 4]);
        std::vector<WORD> not_crc(256);
        for (WORD& w : not_crc)
            w = WORD(random());
        not_crc[128] = 0xA001;
        EXPECT_EQ(WORD(~ref_table_crc16(q, bytes, WORD(init), jam.data())),
                  PGM_COMMON::calculate_sof_crc16(q, bytes, WORD(init), true, nullptr));
        EXPECT_EQ(ref_table_crc16(q, bytes, WORD(init), other.data()),
                  PGM_COMMON::calculate_sof_crc16(q, bytes, WORD(init), false, other.data()));
        EXPECT_EQ(ref_crc16(q, 0, bytes * 8, WORD(init), poly16[round % 4]),
                  PGM_COMMON::calculate_sof_crc16(q, bytes, WORD(init), false, other.data()));
        EXPECT_EQ(ref_table_crc16(q, bytes, WORD(init), not_crc.data()),
                  PGM_COMMON::calculate_sof_crc16(q, bytes, WORD(init), false, not_crc.data()));
        // A CRC table with one entry changed is no longer that CRC.
        other[77] ^= 0x0100;
        EXPECT_EQ(ref_table_crc16(q, bytes, WORD(init), other.data()),
                  PGM_COMMON::calculate_sof_crc16(q, bytes, WORD(init), false, other.data()));
    }
}

TEST(Crc, TableCacheAcrossPolynomialsAndThreads)
{
    // More polynomials than are kept at once, revisited in turn, from
    // several threads at the same time.
    std::mt19937 random(99);
    std::vector<BYTE> data = random_bytes(random, 4099);
    std::vector<DWORD> polys;
    for (int i = 0; i < 9; ++i)
        polys.push_back(random() | 0x80000001U);
    std::vector<DWORD> expected_lsb, expected_msb;
    for (DWORD poly : polys) {
        expected_lsb.push_back(ref_reflected(data.data(), 5, 32000, 0xFFFFFFFF, poly, false));
        expected_msb.push_back(ref_normal(data.data(), 8, 32000, 0, poly, true));
    }
    // Short pieces in a row, each continuing from the last result, before
    // and after the tables of a new polynomial are built.
    for (bool reflected : {true, false}) {
        DWORD poly = reflected ? 0xD5828281 : 0x741B8CD7;
        DWORD crc = 0xFFFFFFFF;
        for (DWORD offset = 0; offset + 20 <= 4000; offset += 20) {
            crc = reflected ? PGM_COMMON::lsb_calculate_crc32(data.data(), offset * 8, 160, crc, poly, false, true)
                            : PGM_COMMON::msb_calculate_crc32(data.data(), offset * 8, 160, crc, poly, true);
        }
        EXPECT_EQ(reflected ? ref_reflected(data.data(), 0, 32000, 0xFFFFFFFF, poly, false)
                            : ref_normal(data.data(), 0, 32000, 0xFFFFFFFF, poly, true),
                  crc);
    }

    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int pass = 0; pass < 3; ++pass) {
                for (size_t i = 0; i < polys.size(); ++i) {
                    size_t k = (i * (t + 1) + pass) % polys.size();
                    if (PGM_COMMON::lsb_calculate_crc32(data.data(), 5, 32000, 0xFFFFFFFF, polys[k], false, true) !=
                        expected_lsb[k])
                        ++failures[t];
                    if (PGM_COMMON::msb_calculate_crc32(data.data(), 8, 32000, 0, polys[k], true) != expected_msb[k])
                        ++failures[t];
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(std::vector<int>(4, 0), failures);
}

TEST(Crc, JamCrcInputBuffer)
{
    std::mt19937 random(5);
    std::vector<BYTE> data = random_bytes(random, 1000);
    data[0] = 0xFF;
    data[256] = 0xFF;
    std::string text(data.begin(), data.end());

    // 0xFF at the start of a chunk is the byte 255, not end of file.
    std::istringstream wrapped(text);
    PGM_JAM_CRC_IN_STREAMBUF buffer(&wrapped);
    EXPECT_EQ(0x0000, buffer.crc());
    EXPECT_EQ(255, buffer.sgetc());
    // The whole first chunk is counted before it is consumed.
    EXPECT_EQ(x25(std::vector<BYTE>(data.begin(), data.begin() + 256)), buffer.crc());
    std::vector<char> first(256);
    EXPECT_EQ(256, buffer.sgetn(first.data(), 256));
    EXPECT_EQ(255, buffer.sbumpc());

    // Reading the rest gives every byte and the X-25 of all of them.
    std::istream in(&buffer);
    std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.substr(257), rest);
    EXPECT_EQ(x25(data), buffer.crc());
    EXPECT_EQ(std::char_traits<char>::eof(), buffer.sgetc());
    EXPECT_EQ(x25(data), buffer.crc());

    // Writing is refused: nothing is reported as written.
    EXPECT_EQ(std::char_traits<char>::eof(), buffer.sputc('x'));
    std::ostream out(&buffer);
    out << "abc" << std::flush;
    EXPECT_TRUE(out.bad());

    // An empty stream ends at once with the initial CRC.
    std::istringstream empty("");
    PGM_JAM_CRC_IN_STREAMBUF nothing(&empty);
    EXPECT_EQ(std::char_traits<char>::eof(), nothing.sgetc());
    EXPECT_EQ(0x0000, nothing.crc());

    EXPECT_EQ(0x906E, [] {
        std::istringstream digits("123456789");
        PGM_JAM_CRC_IN_STREAMBUF b(&digits);
        std::istream s(&b);
        std::string all;
        s >> all;
        return b.crc();
    }());
}

TEST(Crc, JamCrcOutputBuffer)
{
    std::mt19937 random(6);
    std::vector<BYTE> data = random_bytes(random, 300);
    std::string text(data.begin(), data.end());

    // 300 bytes then a flush: all written, all counted.
    std::ostringstream wrapped;
    PGM_JAM_CRC_OUT_STREAMBUF buffer(&wrapped);
    std::ostream out(&buffer);
    out.write(text.data(), 100);
    EXPECT_EQ("", wrapped.str());
    EXPECT_EQ(0x0000, buffer.crc());
    out.write(text.data() + 100, 200);
    // The buffer holds 257 bytes: the first 257 have gone on when it filled.
    EXPECT_EQ(text.substr(0, 257), wrapped.str());
    EXPECT_EQ(x25(std::vector<BYTE>(data.begin(), data.begin() + 257)), buffer.crc());
    out.flush();
    EXPECT_EQ(text, wrapped.str());
    EXPECT_EQ(x25(data), buffer.crc());
    EXPECT_EQ(0, buffer.pubsync());
    EXPECT_EQ(x25(data), buffer.crc());

    // Without a stream it is a pure CRC sink.
    PGM_JAM_CRC_OUT_STREAMBUF sink(nullptr);
    std::ostream sink_out(&sink);
    sink_out << "123456789" << std::flush;
    EXPECT_EQ(0x906E, sink.crc());
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ('a' + i % 26, sink.sputc(char('a' + i % 26)));
    sink.pubsync();
    std::vector<BYTE> expected = bytes_of("123456789");
    for (int i = 0; i < 1000; ++i)
        expected.push_back(BYTE('a' + i % 26));
    EXPECT_EQ(x25(expected), sink.crc());

    // Reading is not supported: end of file, never a character from nowhere.
    EXPECT_EQ(std::char_traits<char>::eof(), sink.sgetc());
    EXPECT_EQ(std::char_traits<char>::eof(), sink.sbumpc());
    std::istream reader(&sink);
    EXPECT_EQ(std::char_traits<char>::eof(), reader.get());
}

TEST(Crc, JamCrcBufferCopies)
{
    std::mt19937 random(8);
    std::vector<BYTE> data = random_bytes(random, 600);
    std::string text(data.begin(), data.end());

    // A copy reads on from the same place in its own copy of the chunk.
    std::istringstream wrapped(text);
    PGM_JAM_CRC_IN_STREAMBUF source(&wrapped);
    std::vector<char> head(10);
    source.sgetn(head.data(), 10);
    PGM_JAM_CRC_IN_STREAMBUF copy(source);
    EXPECT_EQ(source.crc(), copy.crc());
    // The source moves on to its next chunk; the copy keeps its own bytes.
    std::vector<char> skip(300);
    EXPECT_EQ(300, source.sgetn(skip.data(), 300));
    std::vector<char> copied(246);
    EXPECT_EQ(246, copy.sgetn(copied.data(), 246));
    EXPECT_EQ(text.substr(10, 246), std::string(copied.begin(), copied.end()));
    EXPECT_EQ(x25(std::vector<BYTE>(data.begin(), data.begin() + 256)), copy.crc());

    // Assignment, and assignment to itself.
    std::istringstream other_stream("xyz");
    PGM_JAM_CRC_IN_STREAMBUF assigned(&other_stream);
    assigned = source;
    EXPECT_EQ(source.crc(), assigned.crc());
    EXPECT_EQ(source.sgetc(), assigned.sgetc());
    EXPECT_EQ(250, source.sgetn(skip.data(), 250));
    EXPECT_EQ(data[310], assigned.sbumpc());
    PGM_JAM_CRC_IN_STREAMBUF& alias = assigned;
    assigned = alias;
    EXPECT_EQ(data[311], assigned.sbumpc());
    EXPECT_EQ(x25(std::vector<BYTE>(data.begin(), data.begin() + 512)), assigned.crc());
    EXPECT_EQ(x25(data), source.crc());

    // Output copies keep their own pending bytes.
    std::ostringstream out_stream;
    PGM_JAM_CRC_OUT_STREAMBUF writer(&out_stream);
    writer.sputn("hello", 5);
    PGM_JAM_CRC_OUT_STREAMBUF writer_copy(writer);
    writer.sputn(" world", 6);
    writer.pubsync();
    EXPECT_EQ("hello world", out_stream.str());
    writer_copy.sputn("!", 1);
    writer_copy.pubsync();
    EXPECT_EQ("hello worldhello!", out_stream.str());
    EXPECT_EQ(x25(bytes_of("hello!")), writer_copy.crc());
    EXPECT_EQ(x25(bytes_of("hello world")), writer.crc());

    PGM_JAM_CRC_OUT_STREAMBUF writer_assigned(nullptr);
    writer.sputn("abc", 3);
    writer_assigned = writer;
    PGM_JAM_CRC_OUT_STREAMBUF& writer_alias = writer_assigned;
    writer_assigned = writer_alias;
    writer.sputn("def", 3);
    writer_assigned.sputn("g", 1);
    writer_assigned.pubsync();
    EXPECT_EQ("hello worldhello!abcg", out_stream.str());
    EXPECT_EQ(x25(bytes_of("hello worldabcg")), writer_assigned.crc());
    writer.pubsync();
    EXPECT_EQ(x25(bytes_of("hello worldabcdef")), writer.crc());
}
