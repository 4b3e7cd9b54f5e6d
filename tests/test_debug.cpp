// The developer trace and its file "programmer.dbg".
#include "test_support.h"

#include <filesystem>
#include <zlib.h>

struct PGM_DEBUG_TEST_ACCESS {
    static void reset()
    {
        PGM_DEBUG::PGM_DEBUG_LEVEL = 0xFFFFFFFF;
        PGM_DEBUG::PGM_DEBUG_MSG.clear();
        PGM_DEBUG::PGM_DEBUG_INI.clear();
    }
    static DWORD level() { return PGM_DEBUG::PGM_DEBUG_LEVEL; }
    static void set_level(DWORD level) { PGM_DEBUG::PGM_DEBUG_LEVEL = level; }
    static const std::string& pending() { return PGM_DEBUG::PGM_DEBUG_MSG; }
    static size_t cached_switches() { return PGM_DEBUG::PGM_DEBUG_INI.size(); }
    static bool check_file(const std::string& path, DWORD& size, BYTE** data, WORD& crc)
    {
        return PGM_DEBUG::check_file(path, size, data, crc);
    }
};

namespace {

std::string le32(DWORD value)
{
    std::string out;
    for (int i = 0; i < 4; ++i)
        out += char(BYTE(value >> (8 * i)));
    return out;
}

std::string with_trailer(const std::string& body)
{
    WORD crc = PGM_COMMON::calculate_crc16(reinterpret_cast<const BYTE*>(body.data()), 0, DWORD(body.size() * 8),
                                           0xFFFF, 0xA001);
    return body + char(crc & 0xFF) + char(crc >> 8);
}

std::string record(const std::string& text)
{
    uLongf size = compressBound(uLong(text.size()));
    std::string compressed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&compressed[0]), &size, reinterpret_cast<const Bytef*>(text.data()),
              uLong(text.size()), 1);
    compressed.resize(size);
    return le32(DWORD(size)) + le32(DWORD(text.size())) + compressed;
}

class DebugTrace : public testing::Test {
protected:
    void SetUp() override
    {
        cfg_clear();
        PGM_DEBUG_TEST_ACCESS::reset();
        gen_set_module_path(dir.path());
        path = dir.file("programmer.dbg");
    }
    void TearDown() override
    {
        PGM_DEBUG_TEST_ACCESS::reset();
        gen_set_module_path("");
        cfg_clear();
    }
    void trace_on(int level = 0)
    {
        cfg_set_value("PGM_DEBUG_TRACE", "on");
        cfg_set_value("PGM_DEBUG_TRACE_LEVEL", std::to_string(level));
        cfg_set_value("PGM_ENABLE_PGMIO_DEBUG", "on");
    }
    std::string read_back()
    {
        return capture_stdout([] { PGM_DEBUG::read_msg(); });
    }

    TEMP_DIR dir;
    std::string path;
};

} // namespace

TEST_F(DebugTrace, LevelIsResolvedOnceAndChecked)
{
    EXPECT_INTERNAL_ERROR(PGM_DEBUG::print_msg("pgmio", "", 101, "x"), "level <= 100");
    PGM_DEBUG::print_msg("pgmio", "", 0, "x");
    EXPECT_EQ(200u, PGM_DEBUG_TEST_ACCESS::level());
    EXPECT_EQ(0u, PGM_DEBUG_TEST_ACCESS::cached_switches());
    trace_on();
    PGM_DEBUG::print_msg("pgmio", "", 0, "x"); // off for the rest of the process
    EXPECT_EQ("", PGM_DEBUG_TEST_ACCESS::pending());
    EXPECT_INTERNAL_ERROR(PGM_DEBUG::print_msg("pgmio", "", 101, "x"), "level <= 100");
    EXPECT_FALSE(std::filesystem::exists(path));

    PGM_DEBUG_TEST_ACCESS::reset();
    trace_on(150);
    PGM_DEBUG::print_msg("pgmio", "", 1, "level one");
    PGM_DEBUG::print_msg("pgmio", "", 0, "level zero");
    EXPECT_EQ(0u, PGM_DEBUG_TEST_ACCESS::level());
    EXPECT_EQ("PGMIO: level zero\n", PGM_DEBUG_TEST_ACCESS::pending());

    PGM_DEBUG_TEST_ACCESS::set_level(150);
    EXPECT_INTERNAL_ERROR(PGM_DEBUG::print_msg("pgmio", "", 0, "x"), "PGM_DEBUG_LEVEL <= 100 || PGM_DEBUG_LEVEL == 200");
}

TEST_F(DebugTrace, GroupsSubGroupsAndSwitches)
{
    trace_on(10);
    PGM_DEBUG::print_msg("pgmio", "", 5, "x");
    EXPECT_EQ("PGMIO: x\n", PGM_DEBUG_TEST_ACCESS::pending());
    PGM_DEBUG::print_msg("pgmio", "rd", 5, "needs the sub-group switch");
    EXPECT_EQ("PGMIO: x\n", PGM_DEBUG_TEST_ACCESS::pending());
    PGM_DEBUG_TEST_ACCESS::reset();
    trace_on(10);
    cfg_set_value("PGM_ENABLE_SUB_GROUP_RD", "on");
    PGM_DEBUG::print_msg("pgmio", "rd", 5, "y");
    PGM_DEBUG::print_msg("pgmio", "rd", 11, "above the level");
    PGM_DEBUG::print_msg("other", "", 0, "switched off");
    PGM_DEBUG::print_msg("pgmio", "A B", 0, "space");
    PGM_DEBUG::print_msg("pgmio", "A\tB", 0, "tab");
    PGM_DEBUG::print_msg("pgmio", std::string(33, 'R'), 0, "too long");
    cfg_set_value("PGM_ENABLE_SUB_GROUP_" + std::string(32, 'R'), "on");
    PGM_DEBUG::print_msg("pgmio", std::string(32, 'r'), 0, "just fits");
    EXPECT_EQ("PGMIO: RD: y\nPGMIO: " + std::string(32, 'R') + ": just fits\n", PGM_DEBUG_TEST_ACCESS::pending());

    // A switch is read once: turning it off later is not seen.
    cfg_set_value("PGM_ENABLE_PGMIO_DEBUG", "off");
    PGM_DEBUG::print_msg("PgmIo", "", 0, "z");
    EXPECT_NE(std::string::npos, PGM_DEBUG_TEST_ACCESS::pending().find("PGMIO: z\n"));
}

TEST_F(DebugTrace, WritesWhenPendingTextPassesThousandCharacters)
{
    trace_on();
    PGM_DEBUG::print_msg("pgmio", "", 0, std::string(992, 'a')); // "PGMIO: " + 992 + "\n" = 1000
    EXPECT_EQ(1000u, PGM_DEBUG_TEST_ACCESS::pending().size());
    EXPECT_FALSE(std::filesystem::exists(path));

    PGM_DEBUG_TEST_ACCESS::reset();
    trace_on();
    PGM_DEBUG::print_msg("pgmio", "", 0, std::string(993, 'a')); // 1001
    EXPECT_TRUE(PGM_DEBUG_TEST_ACCESS::pending().empty());
    EXPECT_EQ("PGMIO: " + std::string(993, 'a') + "\n", read_back());
}

TEST_F(DebugTrace, RecordsAccumulateUnderOneTrailer)
{
    trace_on();
    PGM_DEBUG::print_msg("pgmio", "", 0, "first");
    PGM_DEBUG::write_msg();
    PGM_DEBUG::print_msg("pgmio", "", 0, "second");
    PGM_DEBUG::write_msg();
    EXPECT_EQ(with_trailer(record("PGMIO: first\n") + record("PGMIO: second\n")), read_file(path));
    EXPECT_EQ("PGMIO: first\nPGMIO: second\n", read_back());
    PGM_DEBUG::write_msg(); // nothing pending: the file stays as it is
    EXPECT_EQ(with_trailer(record("PGMIO: first\n") + record("PGMIO: second\n")), read_file(path));
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ("programmer.dbg", entry.path().filename().string());
}

TEST_F(DebugTrace, DamagedFileIsReplacedAndNotPrinted)
{
    trace_on();
    std::string good = with_trailer(record("PGMIO: old\n"));
    for (size_t at : {size_t(0), size_t(5), good.size() / 2, good.size() - 1}) {
        std::string damaged = good;
        damaged[at] = char(damaged[at] ^ 0x40);
        write_file(path, damaged);
        EXPECT_EQ("", read_back()) << at;
        PGM_DEBUG::print_msg("pgmio", "", 0, "new");
        PGM_DEBUG::write_msg();
        EXPECT_EQ(with_trailer(record("PGMIO: new\n")), read_file(path)) << at;
    }
    write_file(path, good.substr(0, good.size() - 3));
    EXPECT_EQ("", read_back());
    write_file(path, "not a trace file at all");
    PGM_DEBUG::print_msg("pgmio", "", 0, "fresh");
    PGM_DEBUG::write_msg();
    EXPECT_EQ("PGMIO: fresh\n", read_back());
}

TEST_F(DebugTrace, StructuralCheckOfTheFile)
{
    DWORD size = 0;
    BYTE* data = NULL;
    WORD crc = 0;
    EXPECT_FALSE(PGM_DEBUG_TEST_ACCESS::check_file(path, size, &data, crc)); // no file

    write_file(path, with_trailer(le32(0) + std::string(4, '\0'))); // 10 bytes
    EXPECT_FALSE(PGM_DEBUG_TEST_ACCESS::check_file(path, size, &data, crc));
    EXPECT_EQ(nullptr, data);

    std::string eleven = with_trailer(le32(1) + le32(1) + "x");
    write_file(path, eleven);
    EXPECT_TRUE(PGM_DEBUG_TEST_ACCESS::check_file(path, size, &data, crc));
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(9u, size);
    EXPECT_EQ(eleven.substr(0, 9), std::string(reinterpret_cast<char*>(data), size));
    EXPECT_EQ(BYTE(eleven[9]), BYTE(crc & 0xFF));
    EXPECT_EQ(BYTE(eleven[10]), BYTE(crc >> 8));
    EXPECT_INTERNAL_ERROR(PGM_DEBUG_TEST_ACCESS::check_file(path, size, &data, crc),
                          "data_size == 0 && *data == NULL");
    delete[] data;
    data = NULL;
    size = 0;

    // A record chain that overruns, or stops short of, the trailer.
    write_file(path, with_trailer(le32(2) + le32(1) + "x"));
    EXPECT_FALSE(PGM_DEBUG_TEST_ACCESS::check_file(path, size, &data, crc));
    write_file(path, with_trailer(le32(1) + le32(1) + "xy"));
    EXPECT_FALSE(PGM_DEBUG_TEST_ACCESS::check_file(path, size, &data, crc));
    write_file(path, with_trailer(le32(0xFFFFFFF8u) + le32(1) + "x"));
    EXPECT_FALSE(PGM_DEBUG_TEST_ACCESS::check_file(path, size, &data, crc));
    EXPECT_EQ(nullptr, data);
}

TEST_F(DebugTrace, ReadReportsDamageInsideRecords)
{
    // Structurally sound, but the sizes lie: no gigabyte allocation, just the error lines.
    std::string forged = record("PGMIO: ok\n");
    std::string huge_claim = forged.substr(0, 4) + le32(0xFFFFFFF0u) + forged.substr(8);
    write_file(path, with_trailer(record("PGMIO: first\n") + huge_claim));
    EXPECT_EQ("PGMIO: first\n\nError in decompressing data\n\nError detected\n", read_back());

    std::string wrong_size = forged.substr(0, 4) + le32(3) + forged.substr(8);
    write_file(path, with_trailer(wrong_size));
    EXPECT_EQ("\nError in decompressing data\n\nError detected\n", read_back());

    write_file(path, with_trailer(le32(1) + le32(1) + "x"));
    EXPECT_EQ("\nError in decompressing data\n\nError detected\n", read_back());

    // Text is printed up to its first NUL.
    write_file(path, with_trailer(record(std::string("ab\0cd", 5)) + record("ef")));
    EXPECT_EQ("abef", read_back());
}

TEST_F(DebugTrace, ExportedEntryTracesCopies)
{
    trace_on();
    pgm_common_vdebug("pgmio", "", 0, "via the entry");
    EXPECT_EQ("PGMIO: via the entry\n", PGM_DEBUG_TEST_ACCESS::pending());
}
