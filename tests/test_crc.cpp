#include "test_support.h"

#include <zlib.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <sstream>
#include <thread>

namespace {

enum KIND { LSB32, MSB32, CRC16 };
const int END = std::char_traits<char>::eof();
const std::string DIGITS = "123456789";

// The definition the fast paths keep: one shift-and-XOR per bit; null data is zero bits.
DWORD bit_serial(KIND kind, const BYTE* data, DWORD start, DWORD count, DWORD crc, DWORD polynomial, bool msb_first)
{
    const DWORD mask = kind == CRC16 ? 0xFFFF : 0xFFFFFFFF;
    crc &= mask;
    polynomial &= mask;
    msb_first = msb_first && kind != CRC16;
    for (DWORD i = start; i != start + count; ++i) {
        DWORD bit = data ? (data[i / 8] >> (msb_first ? 7 - i % 8 : i % 8)) & 1 : 0;
        DWORD out = kind == MSB32 ? crc >> 31 : crc & 1;
        crc = kind == MSB32 ? crc << 1 : crc >> 1;
        if (bit != out)
            crc ^= polynomial;
    }
    return crc;
}

DWORD fast(KIND kind, const BYTE* data, DWORD start, DWORD count, DWORD crc, DWORD polynomial, bool msb_first,
           bool use_table = true)
{
    if (kind == LSB32)
        return PGM_COMMON::lsb_calculate_crc32(data, start, count, crc, polynomial, msb_first, use_table);
    if (kind == MSB32)
        return PGM_COMMON::msb_calculate_crc32(data, start, count, crc, polynomial, msb_first);
    return PGM_COMMON::calculate_crc16(data, start, count, WORD(crc), WORD(polynomial));
}

void expect_bit_serial(KIND kind, const BYTE* data, DWORD start, DWORD count, DWORD crc, DWORD polynomial,
                       bool msb_first, bool use_table = true)
{
    EXPECT_EQ(bit_serial(kind, data, start, count, crc, polynomial, msb_first),
              fast(kind, data, start, count, crc, polynomial, msb_first, use_table))
        << "kind " << kind << " polynomial " << std::hex << polynomial << std::dec << " bits " << start << "+"
        << count << " msb_first " << msb_first << " use_table " << use_table;
}

WORD sof(const BYTE* data, DWORD size, WORD crc, bool invert, const WORD* table = nullptr)
{
    return PGM_COMMON::calculate_sof_crc16(data, size, crc, invert, table);
}

WORD table_walk(const BYTE* data, DWORD size, WORD crc, const std::vector<WORD>& table)
{
    for (DWORD i = 0; i < size; ++i)
        crc = WORD(table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
    return crc;
}

std::vector<WORD> table16(WORD polynomial)
{
    std::vector<WORD> table(256);
    for (DWORD x = 0; x < 256; ++x) {
        BYTE byte = BYTE(x);
        table[x] = WORD(bit_serial(CRC16, &byte, 0, 8, 0, polynomial, false));
    }
    return table;
}

const BYTE* bytes(const std::string& text)
{
    return reinterpret_cast<const BYTE*>(text.data());
}

WORD x25(const std::string& text)
{
    return WORD(~bit_serial(CRC16, bytes(text), 0, DWORD(text.size() * 8), 0xFFFF, 0x8408, false));
}

std::string random_text(std::mt19937& random, size_t size)
{
    std::string text(size, '\0');
    for (char& c : text)
        c = char(random());
    return text;
}

} // namespace

TEST(Crc, CheckValuesAndBuiltInTables)
{
    const BYTE* d = bytes(DIGITS);
    const BYTE one = 1, top = 0x80;
    const std::vector<WORD> modbus = table16(0xA001);
    EXPECT_EQ(0x4B37U, fast(CRC16, d, 0, 72, 0xFFFF, 0xA001, false));
    EXPECT_EQ(0x4B37, sof(d, 9, 0xFFFF, false, modbus.data()));
    EXPECT_EQ(0x906E, sof(d, 9, 0xFFFF, true));
    EXPECT_EQ(0x906E, x25(DIGITS));
    EXPECT_EQ(0x2189, sof(d, 9, 0, false));
    for (bool use_table : {true, false})
        EXPECT_EQ(0xCBF43926U, ~fast(LSB32, d, 0, 72, 0xFFFFFFFF, 0xEDB88320, false, use_table));
    EXPECT_EQ(0xFC891918U, ~fast(MSB32, d, 0, 72, 0xFFFFFFFF, 0x04C11DB7, true));
    EXPECT_EQ(0xE3069283U, ~fast(LSB32, d, 0, 72, 0xFFFFFFFF, 0x82F63B78, false));
    // One byte into a zero register gives its table entry.
    EXPECT_EQ(0x1189, sof(&one, 1, 0, false));
    EXPECT_EQ(0x8408, sof(&top, 1, 0, false));
    EXPECT_EQ(0xEE76, sof(&one, 1, 0, true));
    EXPECT_EQ(0x01100200U, fast(LSB32, &one, 0, 8, 0, 0x88010000, false));
    EXPECT_EQ(0x88010000U, fast(LSB32, &top, 0, 8, 0, 0x88010000, false));

    std::mt19937 random(3);
    const std::string data = random_text(random, 5000);
    for (DWORD init : {0U, 0xFFFFFFFFU, 0x12345678U})
        for (DWORD size : {1U, 63U, 64U, 3001U})
            EXPECT_EQ(~DWORD(crc32(~init, bytes(data), size)),
                      fast(LSB32, bytes(data), 0, size * 8, init, 0xEDB88320, false));
    const std::vector<WORD> jam = table16(0x8408);
    for (DWORD size : {1U, 15U, 16U, 17U, 1023U, 5000U})
        EXPECT_EQ(table_walk(bytes(data), size, 0x1D0F, jam), sof(bytes(data), size, 0x1D0F, false)) << size;
}

TEST(Crc, EdgeCasesAndInternalErrors)
{
    // Bits 3 to 7 of the first byte only: bits 4 to 0 when most significant first.
    const BYTE a[2] = {0xA8, 0x00}, b[2] = {0xAF, 0xFF}, c[2] = {0xA0, 0x00}, high_changed[2] = {0x48, 0xFF};
    for (KIND kind : {LSB32, MSB32, CRC16}) {
        DWORD poly = kind == LSB32 ? 0xEDB88320 : kind == MSB32 ? 0x04C11DB7 : 0xA001;
        for (bool msb : {false, true}) {
            bool high_first = msb && kind != CRC16;
            DWORD crc = fast(kind, a, 3, 5, 0xFFFFFFFF, poly, msb);
            EXPECT_EQ(crc, fast(kind, high_first ? high_changed : b, 3, 5, 0xFFFFFFFF, poly, msb)) << kind << msb;
            EXPECT_NE(crc, fast(kind, high_first ? b : c, 3, 5, 0xFFFFFFFF, poly, msb)) << kind << msb;
            expect_bit_serial(kind, a, 3, 5, 0xFFFFFFFF, poly, msb);
        }
    }

    EXPECT_INTERNAL_ERROR(sof(nullptr, 9, 0xFFFF, true), "base_address != NULL && size > 0");
    EXPECT_INTERNAL_ERROR(sof(bytes(DIGITS), 0, 0xFFFF, true), "base_address != NULL && size > 0");
    EXPECT_INTERNAL_ERROR(fast(LSB32, nullptr, 0, 72, 0xFFFFFFFF, 0x88010000, false), "base_address != NULL");
    EXPECT_INTERNAL_ERROR(fast(LSB32, nullptr, 16, 8, 0, 0x88010000, false), "base_address != NULL");

    // Null data elsewhere: no bits, no table, unaligned, other bit order or polynomial.
    const struct {
        DWORD start, count, polynomial;
        bool msb_first, use_table;
    } null_cases[] = {{0, 0, 0x88010000, false, true},     {8, 0, 0x88010000, true, true},
                      {0, 72, 0x88010000, false, false},   {3, 72, 0x88010000, false, true},
                      {0, 75, 0x88010000, false, true},    {0, 72, 0x88010000, true, true},
                      {0, 72, 0xEDB88320, false, true},    {8, 20000, 0xEDB88320, false, true},
                      {5, 23000, 0x88010000, true, false}, {16, 16000, 0x12345679, false, true}};
    for (const auto& k : null_cases) {
        expect_bit_serial(LSB32, nullptr, k.start, k.count, 0x5A5A5A5A, k.polynomial, k.msb_first, k.use_table);
        expect_bit_serial(MSB32, nullptr, k.start, k.count, 0x5A5A5A5A, 0x04C11DB7, k.msb_first);
        expect_bit_serial(CRC16, nullptr, k.start, k.count, 0x5A5A, 0xA001, false);
    }
    // The bit index is 32 bits wide: a range past its end goes on at bit 0.
    expect_bit_serial(LSB32, nullptr, 0xFFFFFFF8, 16, 0xFFFFFFFF, 0x82F63B78, false);
    expect_bit_serial(MSB32, nullptr, 0xFFFFFFF3, 29, 0x1, 0x04C11DB7, false);
}

TEST(Crc, FastPathsMatchBitSerial)
{
    std::mt19937 random(20240611);
    const std::pair<KIND, std::vector<DWORD>> families[] = {
        {LSB32, {0x88010000, 0xEDB88320, 0x82F63B78, 0xEB31D82E, 0xA001, 0x80000001, DWORD(random() | 1)}},
        {MSB32, {0x04C11DB7, 0x1EDC6F41, 0x814141AB, 0x00000001, DWORD(random() | 1)}},
        {CRC16, {0xA001, 0x8408, 0xA6BC, DWORD(random() & 0xFFFF)}},
    };
    for (int round = 0; round < 120; ++round) {
        const std::string data = random_text(random, 1 + random() % (round % 3 == 0 ? 6000 : 300));
        // Start bit in the first bytes, any count after it, whole bytes about half the time.
        const DWORD align = random() % 2 ? ~7U : ~0U;
        const DWORD start = DWORD(random() % (std::min<size_t>(data.size() * 8, 200) + 1)) & align;
        const DWORD count = DWORD(random() % (data.size() * 8 - start + 1)) & align;
        DWORD init = DWORD(random());
        bool msb = random() % 2;
        for (const auto& family : families)
            for (DWORD poly : family.second)
                for (bool use_table : {true, false})
                    if (use_table || family.first == LSB32)
                        expect_bit_serial(family.first, bytes(data), start, count, init, poly, msb, use_table);

        // Byte tables: built-in, a CRC's, no CRC's, and a CRC's with one entry changed.
        const DWORD offset = std::min(start / 8, DWORD(data.size() - 1)), size = DWORD(data.size()) - offset;
        const BYTE* q = bytes(data) + offset;
        const WORD init16 = WORD(init), poly16 = WORD(families[2].second[round % 4]);
        std::vector<WORD> crc_table = table16(poly16), not_crc(256);
        std::generate(not_crc.begin(), not_crc.end(), [&random] { return WORD(random()); });
        not_crc[128] = 0xA001;
        EXPECT_EQ(WORD(~table_walk(q, size, init16, table16(0x8408))), sof(q, size, init16, true));
        EXPECT_EQ(WORD(bit_serial(CRC16, q, 0, size * 8, init16, poly16, false)),
                  sof(q, size, init16, false, crc_table.data()));
        EXPECT_EQ(table_walk(q, size, init16, not_crc), sof(q, size, init16, false, not_crc.data()));
        crc_table[77] ^= 0x0100;
        EXPECT_EQ(table_walk(q, size, init16, crc_table), sof(q, size, init16, false, crc_table.data()));
    }
}

TEST(Crc, TableCacheAcrossPolynomialsAndThreads)
{
    std::mt19937 random(99);
    const std::string data = random_text(random, 4099);
    const BYTE* p = bytes(data);
    // More polynomials than the cache keeps, each with its LSB32 and MSB32 result.
    std::vector<DWORD> polys, expected;
    for (int i = 0; i < 9; ++i) {
        polys.push_back(DWORD(random() | 0x80000001U));
        expected.push_back(bit_serial(LSB32, p, 5, 32000, 0xFFFFFFFF, polys.back(), false));
        expected.push_back(bit_serial(MSB32, p, 8, 32000, 0, polys.back(), true));
    }
    // Short pieces in a row, before and after a new polynomial's tables are built.
    for (KIND kind : {LSB32, MSB32}) {
        DWORD poly = kind == LSB32 ? 0xD5828281 : 0x741B8CD7, crc = 0xFFFFFFFF;
        for (DWORD offset = 0; offset + 20 <= 4000; offset += 20)
            crc = fast(kind, p, offset * 8, 160, crc, poly, kind == MSB32);
        EXPECT_EQ(bit_serial(kind, p, 0, 32000, 0xFFFFFFFF, poly, kind == MSB32), crc) << kind;
    }

    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < 20 * polys.size(); ++i) {
                size_t k = (i * (t + 1) + i / polys.size()) % polys.size();
                failures[t] += fast(LSB32, p, 5, 32000, 0xFFFFFFFF, polys[k], false) != expected[2 * k];
                failures[t] += fast(MSB32, p, 8, 32000, 0, polys[k], true) != expected[2 * k + 1];
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(std::vector<int>(4, 0), failures);
}

TEST(Crc, JamCrcBuffersReadAndWrite)
{
    std::mt19937 random(5);
    std::string data = random_text(random, 1000);
    data[0] = data[256] = char(0xFF);
    std::istringstream wrapped(data), empty("");
    PGM_JAM_CRC_IN_STREAMBUF buffer(&wrapped), nothing(&empty);
    EXPECT_EQ(0x0000, buffer.crc());
    // 0xFF at a chunk start is 255, not end of file; a chunk counts once fetched.
    EXPECT_EQ(255, buffer.sgetc());
    EXPECT_EQ(x25(data.substr(0, 256)), buffer.crc());
    std::string first(256, '\0');
    EXPECT_EQ(256, buffer.sgetn(&first[0], 256));
    EXPECT_EQ(255, buffer.sbumpc());
    std::istream in(&buffer);
    EXPECT_EQ(data.substr(257), std::string(std::istreambuf_iterator<char>(in), {}));
    EXPECT_EQ(END, buffer.sgetc());
    EXPECT_EQ(x25(data), buffer.crc());
    EXPECT_EQ(END, buffer.sputc('x'));
    EXPECT_EQ(END, nothing.sgetc());
    EXPECT_EQ(0x0000, nothing.crc());

    data.resize(300);
    std::ostringstream written;
    PGM_JAM_CRC_OUT_STREAMBUF writer(&written), sink(nullptr);
    std::ostream out(&writer);
    out.write(data.data(), 100);
    EXPECT_EQ("", written.str());
    EXPECT_EQ(0x0000, writer.crc());
    // The put area holds 257 bytes, passed on when it fills.
    out.write(data.data() + 100, 200);
    EXPECT_EQ(data.substr(0, 257), written.str());
    EXPECT_EQ(x25(data.substr(0, 257)), writer.crc());
    out.flush();
    EXPECT_EQ(data, written.str());
    EXPECT_EQ(x25(data), writer.crc());
    EXPECT_EQ(0, writer.pubsync());
    EXPECT_EQ(x25(data), writer.crc());

    std::ostream sink_out(&sink);
    sink_out << DIGITS << std::flush;
    EXPECT_EQ(0x906E, sink.crc());
    std::string text = DIGITS;
    for (int i = 0; i < 1000; ++i) {
        text += char('a' + i % 26);
        EXPECT_EQ(text.back(), sink.sputc(text.back()));
    }
    sink.pubsync();
    EXPECT_EQ(x25(text), sink.crc());
    EXPECT_EQ(END, sink.sgetc());
    EXPECT_EQ(END, sink.sbumpc());
}

TEST(Crc, JamCrcBufferCopies)
{
    std::mt19937 random(8);
    const std::string data = random_text(random, 600);
    std::istringstream wrapped(data), other_stream("xyz");
    PGM_JAM_CRC_IN_STREAMBUF source(&wrapped), assigned(&other_stream);
    std::string got(300, '\0');
    EXPECT_EQ(10, source.sgetn(&got[0], 10));
    PGM_JAM_CRC_IN_STREAMBUF copy(source);
    assigned = source;
    assigned = *&assigned;
    // The source fetches its next chunk; each copy reads on in its own.
    EXPECT_EQ(300, source.sgetn(&got[0], 300));
    EXPECT_EQ(x25(data.substr(0, 512)), source.crc());
    for (PGM_JAM_CRC_IN_STREAMBUF* reader : {&copy, &assigned}) {
        EXPECT_EQ(246, reader->sgetn(&got[0], 246));
        EXPECT_EQ(data.substr(10, 246), got.substr(0, 246));
        EXPECT_EQ(x25(data.substr(0, 256)), reader->crc());
    }

    // The copies keep their pending "llo" while the source writes over its own.
    std::ostringstream out_stream;
    PGM_JAM_CRC_OUT_STREAMBUF writer(&out_stream), writer_assigned(nullptr);
    writer.sputn("he", 2);
    writer.pubsync();
    writer.sputn("llo", 3);
    PGM_JAM_CRC_OUT_STREAMBUF writer_copy(writer);
    writer_assigned = writer;
    writer_assigned = *&writer_assigned;
    writer.pubsync();
    writer.sputn(" world", 6);
    writer.pubsync();
    writer_copy.sputn("!", 1);
    writer_copy.pubsync();
    writer_assigned.sputn("?", 1);
    writer_assigned.pubsync();
    EXPECT_EQ("hello worldllo!llo?", out_stream.str());
    EXPECT_EQ(x25("hello world"), writer.crc());
    EXPECT_EQ(x25("hello!"), writer_copy.crc());
    EXPECT_EQ(x25("hello?"), writer_assigned.crc());
}
