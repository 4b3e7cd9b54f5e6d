// Packed version numbers, worker slots and the worker count.
#include "test_support.h"

#include <atomic>

namespace {

typedef PGM_COMMON PC;

std::string invalid_qword(const std::string& text)
{
    return "Invalid string \"" + text + "\" to qword conversion";
}

// Sets the suite's version for the life of the object.
class SUITE_VERSION {
public:
    SUITE_VERSION(const std::string& text, int index)
        : old_text_(ver_get_version()), old_index_(ver_get_current_version_index_number())
    {
        ver_set_version(text, index);
    }
    ~SUITE_VERSION() { ver_set_version(old_text_, old_index_); }
    SUITE_VERSION(const SUITE_VERSION&) = delete;
    SUITE_VERSION& operator=(const SUITE_VERSION&) = delete;

private:
    std::string old_text_;
    int old_index_;
};

} // namespace

TEST(Version, TextsPackAndPrintBack)
{
    const struct {
        std::string text;
        DWORD packed;
        std::string shown; // get_morvane_full_version_string of packed
    } cases[] = {
        {"21.2", 0x15200000, "21.2"},          {"21.2.1", 0x15210000, "21.2.1"},
        {"21.2.0", 0x15200000, "21.2"},        {"0.0", 0, "0.0"},
        {"255.15.15", 0xFFFF0000, "255.15.15"}, {"007.08.09", 0x07890000, "7.8.9"},
        {"21.2.", 0x15200000, "21.2"}, // an empty update converts as 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.packed, PC::get_morvane_version(c.text));
        EXPECT_EQ(c.shown, PC::get_morvane_full_version_string(c.packed));
    }
    // Packed versions order as the versions do.
    EXPECT_LT(PC::get_morvane_version("21.15.15"), PC::get_morvane_version("22.0"));
    EXPECT_LT(PC::get_morvane_version("21.2.15"), PC::get_morvane_version("21.3"));
    EXPECT_LT(PC::get_morvane_version("21.2"), PC::get_morvane_version("21.2.1"));
}

TEST(Version, PackedNumbersPrint)
{
    const struct {
        DWORD packed;
        std::string text;
    } cases[] = {
        {0x15200000, "21.2"},         {0x1521204B, "21.2.1 SP 2 Build 75"},
        {0x15200048, "21.2 Build 72"}, {0x15202000, "21.2 SP 2"},
        {0x15210001, "21.2.1 Build 1"}, {0xFFFFFFFF, "255.15.15 SP 15 Build 4095"},
        {0x00000800, "0.0 Build 2048"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, PC::get_morvane_full_version_string(c.packed)) << std::hex << c.packed;
}

TEST(Version, BadTextsAreInternalErrors)
{
    const std::string MAJOR = "major.size() != 0 && major.find(\"0x\") != 0 && major.find(\"b\") != 0";
    const std::string MINOR = "minor.size() != 0 && minor.find(\"0x\") != 0 && minor.find(\"b\") != 0";
    const std::string UPDATE = "update.find(\"0x\") != 0 && update.find(\"b\") != 0";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "version_string.size() != 0"},
        {"21", "index < version_string.size()"},
        {".2", MAJOR},
        {"0x15.2", MAJOR},
        {"b101.2", MAJOR},
        {"21.", MINOR},
        {"21..1", MINOR},
        {"21.0x2", MINOR},
        {"21.b1", MINOR},
        {"21.2.0x1", UPDATE},
        {"21.2.b1", UPDATE},
        {"256.2", "temp < 256"},
        {"21.16", "temp < 16"},
        {"21.2.16", "temp < 16"},
        {"-1.2", "temp < 256"},
        // Values above 32 bits are refused, not cut to their low 32 bits.
        {"4294967317.2", "temp < 256"},
        {"21.4294967298", "temp < 16"},
        {"21.2.4294967297", "temp < 16"},
        {"18446744073709551637.2", "temp < 256"},
        {"-18446744073709551615.2", "temp < 256"},
        {"21.-18446744073709551615", "temp < 16"},
        {"21.2.1.5", invalid_qword("1.5")},
        {"2x.1", invalid_qword("2x")},
        {"21. 2", invalid_qword(" 2")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_INTERNAL_ERROR(PC::get_morvane_version(c.text), c.error);
    }
}

TEST(Version, RunningSuite)
{
    const struct {
        std::string text;
        int index; // low byte service pack, bits 8 to 23 build
        DWORD packed;
        std::string shown;
    } cases[] = {
        {"21.2", 0x4800, 0x15200048, "21.2 Build 72"},
        {"21.2.1", 0x4B02, 0x1521204B, "21.2.1 SP 2 Build 75"},
        {"21.2.1", 0x0002, 0x15212000, "21.2.1 SP 2"},
        {"21.2.1", 0x7F004B02, 0x1521204B, "21.2.1 SP 2 Build 75"}, // bits above 23 are not the build
        {"255.15.15", 0x0FFF0F, 0xFFFFFFFF, "255.15.15 SP 15 Build 4095"},
        {"1.0.0", 0, 0x01000000, "1.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " " + std::to_string(c.index));
        SUITE_VERSION version(c.text, c.index);
        EXPECT_EQ(c.packed, PC::get_morvane_full_version());
        EXPECT_EQ(c.shown, PC::get_morvane_full_version_string());
    }

    const std::string YEAR = "year.size() != 0 && year.find(\"0x\") != 0 && year.find(\"b\") != 0";
    const std::string RELEASE = "release.size() != 0 && release.find(\"0x\") != 0 && release.find(\"b\") != 0";
    const struct {
        std::string text;
        int index;
        std::string error;
    } bad[] = {
        {"", 0, "ver_string.size() != 0"},
        {"21", 0, "index < ver_string.size()"},
        {"0x15.2", 0, YEAR},
        {".2", 0, YEAR},
        {"21.b", 0, RELEASE},
        {"21.", 0, RELEASE},
        {"21.2.0x1", 0, "update.find(\"0x\") != 0 && update.find(\"b\") != 0"},
        {"256.0", 0, "temp < 256"},
        {"4294967317.2", 0, "temp < 256"},
        {"21.16", 0, "temp < 16"},
        {"21.2.16", 0, "temp < 16"},
        {"21.2", 0x10, "service_pack < 16"},
        {"21.2", -1, "service_pack < 16"},
        {"21.2", 0x100000, "build_version < 4096"},
        {"21.2.x", 0, invalid_qword("x")},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.text + " " + std::to_string(c.index));
        SUITE_VERSION version(c.text, c.index);
        EXPECT_INTERNAL_ERROR(PC::get_morvane_full_version(), c.error);
        EXPECT_INTERNAL_ERROR(PC::get_morvane_full_version_string(), c.error);
    }
}

namespace {

typedef THR_THREAD_STRUCT** TABLE;

// A worker that takes some time of its own and then counts itself done.
void busy_for_a_while(void* arg)
{
    for (int i = 0; i < 20; i++)
        thr_msleep(1);
    static_cast<THREAD_GATE*>(arg)->done.fetch_add(1);
}

} // namespace

TEST(WorkerThreads, BrokenCallsAreInternalErrors)
{
    const std::string NO_TABLE = "threads != NULL && MAX_THREAD > 0";
    EXPECT_INTERNAL_ERROR(PGM_COMMON_THREAD::create_threads(0), "MAX_THREAD > 0");
    TABLE none = NULL;
    EXPECT_INTERNAL_ERROR(PGM_COMMON_THREAD::get_active_thread(none, 1, 0), NO_TABLE);
    EXPECT_INTERNAL_ERROR(PGM_COMMON_THREAD::wait_and_terminate_threads(none, 1, true), NO_TABLE);
    TABLE table = PGM_COMMON_THREAD::create_threads(1);
    EXPECT_INTERNAL_ERROR(PGM_COMMON_THREAD::get_active_thread(table, 0, 0), NO_TABLE);
    EXPECT_INTERNAL_ERROR(PGM_COMMON_THREAD::wait_and_terminate_threads(table, 0, true), NO_TABLE);
    ASSERT_NE(nullptr, table);
    PGM_COMMON_THREAD::wait_and_terminate_threads(table, 1, true);
    EXPECT_EQ(nullptr, table);
}

TEST(WorkerThreads, OneSlotWaitsForItsWorker)
{
    THREAD_GATE gate;
    TABLE table = PGM_COMMON_THREAD::create_threads(1);
    ASSERT_NE(nullptr, table);
    EXPECT_EQ(nullptr, table[0]);
    for (DWORD sleep_ms : {0u, 5u}) {
        SCOPED_TRACE(sleep_ms);
        EXPECT_EQ(0u, PGM_COMMON_THREAD::get_active_thread(table, 1, sleep_ms)); // empty: at once
        int before = gate.done.load();
        table[0] = thr_thread_start(busy_for_a_while, &gate);
        ASSERT_NE(nullptr, table[0]);
        EXPECT_EQ(0u, PGM_COMMON_THREAD::get_active_thread(table, 1, sleep_ms));
        EXPECT_EQ(before + 1, gate.done.load()); // the worker had finished
        EXPECT_EQ(nullptr, table[0]);            // and its handle was released
    }
    PGM_COMMON_THREAD::wait_and_terminate_threads(table, 1, true);
    EXPECT_EQ(nullptr, table);
}

TEST(WorkerThreads, FreeSlotsComeFirstAndAllAreWaitedFor)
{
    THREAD_GATE gate;
    TABLE table = PGM_COMMON_THREAD::create_threads(3);
    ASSERT_NE(nullptr, table);
    table[0] = thr_thread_start(wait_for_gate, &gate);
    table[2] = thr_thread_start(wait_for_gate, &gate);
    ASSERT_TRUE(table[0] != NULL && table[2] != NULL);
    // Slot 1 is free: found without waiting for the busy ones.
    EXPECT_EQ(1u, PGM_COMMON_THREAD::get_active_thread(table, 3, 0));
    table[1] = thr_thread_start(wait_for_gate, &gate);
    ASSERT_NE(nullptr, table[1]);
    EXPECT_EQ(0, gate.done.load());
    gate.release = true;
    DWORD slot = PGM_COMMON_THREAD::get_active_thread(table, 3, 1);
    EXPECT_LT(slot, 3u);
    EXPECT_EQ(nullptr, table[slot]);
    EXPECT_GE(gate.done.load(), 1);

    PGM_COMMON_THREAD::wait_and_terminate_threads(table, 3, false);
    EXPECT_EQ(3, gate.done.load());
    ASSERT_NE(nullptr, table); // kept, every slot free
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(nullptr, table[i]) << i;
    PGM_COMMON_THREAD::wait_and_terminate_threads(table, 3, false); // nothing started: returns at once
    PGM_COMMON_THREAD::wait_and_terminate_threads(table, 3, true);
    EXPECT_EQ(nullptr, table);
}

TEST(WorkerThreads, CountIsCappedOrAsked)
{
    int cores = 0, logical = 0;
    ASSERT_TRUE(GEN_MACHINE_INFO::get_core_cpu_count(cores));
    ASSERT_TRUE(GEN_MACHINE_INFO::get_logical_cpu_count(logical));
    const struct {
        int count;
        bool logical;
        int expected;
    } cases[] = {
        {64, true, 16}, {64, false, 16}, {17, false, 16}, {16, false, 16}, {5, true, 5}, {5, false, 5},
        {1, false, 1},  {0, false, cores}, {0, true, logical}, {-3, false, cores}, {-3, true, logical},
    };
    for (const auto& c : cases) {
        int count = c.count;
        PC::get_thread_count(count, c.logical);
        EXPECT_EQ(c.expected, count) << c.count << (c.logical ? " logical" : " cores");
    }
}
