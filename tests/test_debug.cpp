// The developer trace and its file "programmer.dbg".
#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
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

TEST_F(DebugTrace, DamagedFileIsReportedAndKeptAside)
{
    trace_on();
    std::string good = with_trailer(record("PGMIO: old\n"));
    std::vector<std::string> damaged_files;
    for (size_t at : {size_t(0), size_t(5), good.size() / 2, good.size() - 1}) {
        damaged_files.push_back(good);
        damaged_files.back()[at] = char(good[at] ^ 0x40);
    }
    damaged_files.push_back(good.substr(0, good.size() - 3));
    damaged_files.push_back("not a trace file at all");
    for (size_t i = 0; i < damaged_files.size(); ++i) {
        write_file(path, damaged_files[i]);
        std::ostringstream shown;
        EXPECT_FALSE(PGM_DEBUG::read_msg(shown)) << i;
        EXPECT_EQ("\nError detected\n", shown.str()) << i;
        PGM_DEBUG::print_msg("pgmio", "", 0, "new");
        PGM_DEBUG::write_msg();
        EXPECT_EQ(with_trailer(record("PGMIO: new\n")), read_file(path)) << i;
        std::string kept = path + ".damaged" + (i == 0 ? std::string() : "." + std::to_string(i + 1));
        EXPECT_EQ(damaged_files[i], read_file(kept)) << i;
    }
    std::ostringstream whole;
    EXPECT_TRUE(PGM_DEBUG::read_msg(whole));
    EXPECT_EQ("PGMIO: new\n", whole.str());
    std::filesystem::remove(path);
    std::ostringstream none;
    EXPECT_TRUE(PGM_DEBUG::read_msg(none)); // nothing traced yet is no damage
    EXPECT_EQ("", none.str());
}

TEST_F(DebugTrace, SpecialFileIsNeitherWaitedOnNorReplaced)
{
    trace_on();
    ASSERT_EQ(0, mkfifo(path.c_str(), 0600));
    std::ostringstream shown;
    EXPECT_FALSE(PGM_DEBUG::read_msg(shown)); // opening a FIFO to read would wait for a writer
    EXPECT_EQ("\nError detected\n", shown.str());
    PGM_DEBUG::print_msg("pgmio", "", 0, "dropped");
    PGM_DEBUG::write_msg();
    EXPECT_TRUE(std::filesystem::is_fifo(path));
    EXPECT_EQ("", PGM_DEBUG_TEST_ACCESS::pending());
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

    // Records are inflated in pieces: long texts come out whole.
    std::string long_text(300000, 'a');
    long_text[123456] = 'b';
    write_file(path, with_trailer(record(long_text) + record("tail\n")));
    EXPECT_EQ(long_text + "tail\n", read_back());

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

namespace {

// Traces a line when the process ends, once a child run arms it: a caller's
// global object is destroyed after everything the library built on first
// use during the run.
struct TRACE_AT_EXIT {
    bool armed = false;
    ~TRACE_AT_EXIT()
    {
        if (armed)
            PGM_DEBUG::print_msg("pgmio", "", 0, "from a global destructor");
    }
} trace_at_exit;

} // namespace

// Run only as a child of the test below: it traces from an exit handler
// registered before the settings and the module folder are first used, and
// from a global destructor, and leaves the lines to the exit-time flush.
TEST(DebugTraceAtExit, DISABLED_Child)
{
    const char* folder = std::getenv("PGM_TEST_TRACE_FOLDER");
    ASSERT_NE(nullptr, folder);
    std::atexit([] { PGM_DEBUG::print_msg("pgmio", "", 0, "from an exit handler"); });
    cfg_set_value("PGM_DEBUG_TRACE", "on");
    cfg_set_value("PGM_ENABLE_PGMIO_DEBUG", "on");
    gen_set_module_path(folder);
    trace_at_exit.armed = true;
}

TEST(DebugTraceAtExit, LinesTracedWhileTheProcessEndsReachTheFile)
{
    TEMP_DIR dir; // a folder name of more than 15 characters, beyond a short string's own buffer
    ASSERT_GT(dir.path().size(), 15u);
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    RUN_RESULT child = run_command("PGM_TEST_TRACE_FOLDER=" + dir.path() + " " + self +
                                   " --gtest_also_run_disabled_tests --gtest_filter=DebugTraceAtExit.DISABLED_Child");
    EXPECT_EQ(0, child.exit_code) << child.output;
    gen_set_module_path(dir.path());
    std::ostringstream shown;
    EXPECT_TRUE(PGM_DEBUG::read_msg(shown));
    gen_set_module_path("");
    EXPECT_EQ("PGMIO: from an exit handler\nPGMIO: from a global destructor\n", shown.str());
}
