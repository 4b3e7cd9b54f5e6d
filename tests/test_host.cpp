// The host services the library stands on.
#include "test_support.h"

#include "host/con.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <regex>
#include <sys/time.h>
#include <unistd.h>
#include <zlib.h>

TEST(HostConfig, ReadsTheIniFileAndSetValues)
{
    TEMP_DIR dir;
    write_file(dir.file("pgm.ini"), "# settings\n\nA_SWITCH = Yes\nLEVEL=42\nHEX=0x1F\nBAD=12z\n=nothing\nTEXT=a=b\n");
    setenv("PGM_INI_FILE", dir.file("pgm.ini").c_str(), 1);
    cfg_clear();
    EXPECT_EQ(BRISOL_TRUE, cfg_is_on("A_SWITCH", false));
    EXPECT_EQ(42, cfg_get_int_value("LEVEL", 7));
    EXPECT_EQ(31, cfg_get_int_value("HEX", 7));
    EXPECT_EQ(7, cfg_get_int_value("BAD", 7));
    EXPECT_EQ(7, cfg_get_int_value("MISSING", 7));
    EXPECT_EQ("a=b", cfg_get_value("TEXT"));
    EXPECT_EQ("", cfg_get_value("MISSING"));

    cfg_set_value("LEVEL", "-3");
    EXPECT_EQ(-3, cfg_get_int_value("LEVEL", 7));
    unsetenv("PGM_INI_FILE");
    cfg_clear();
    EXPECT_EQ("", cfg_get_value("TEXT"));
}

TEST(HostConfig, SwitchWordsIgnoreCase)
{
    cfg_clear();
    for (const char* on : {"on", "TRUE", "Yes", "1"}) {
        cfg_set_value("S", on);
        EXPECT_EQ(BRISOL_TRUE, cfg_is_on("S", false)) << on;
    }
    for (const char* off : {"OFF", "false", "no", "0"}) {
        cfg_set_value("S", off);
        EXPECT_EQ(BRISOL_FALSE, cfg_is_on("S", true)) << off;
    }
    cfg_set_value("S", "maybe");
    EXPECT_EQ(BRISOL_TRUE, cfg_is_on("S", true));
    EXPECT_EQ(BRISOL_FALSE, cfg_is_on("S", false));
    EXPECT_EQ(BRISOL_TRUE, cfg_is_on("UNSET", true));

    int before = cfg_hostexe_ini_applied_count();
    cfg_hostexe_ini_applied();
    EXPECT_EQ(before + 1, cfg_hostexe_ini_applied_count());
    cfg_clear();
}

TEST(HostGeneral, ConversionsTrimmingAndComparison)
{
    char* end = nullptr;
    const char* text = "12ab";
    EXPECT_EQ(12u, gen_local_strtoQWORD(text, &end, 10));
    EXPECT_EQ(text + 2, end);
    EXPECT_EQ(0x12ABu, gen_local_strtoQWORD(text, &end, 16));
    EXPECT_EQ(text + 4, end);
    EXPECT_EQ(0u, gen_local_strtoQWORD("xyz", &end, 10));
    EXPECT_STREQ("xyz", end);
    EXPECT_EQ(UINT64_MAX, gen_local_strtoQWORD("99999999999999999999", &end, 10));
    EXPECT_EQ(5ul, gen_local_strtoul("101", nullptr, 2));

    EXPECT_EQ("a b", gen_remove_leading_and_trailing_spaces("  a b  "));
    EXPECT_EQ("\ta\t", gen_remove_leading_and_trailing_spaces(" \ta\t "));
    EXPECT_EQ("a", gen_remove_leading_and_trailing_white_spaces("\r\n\t a \n"));
    EXPECT_EQ("", gen_remove_leading_and_trailing_white_spaces(" \t "));
    EXPECT_EQ(0, gen_stricmp("AbC", "aBc"));
    EXPECT_NE(0, gen_strcmp("AbC", "aBc"));
    EXPECT_LT(gen_strcmp("a", "b"), 0);

    std::string mixed = "MiXeD 1";
    stl_toupper(mixed);
    EXPECT_EQ("MIXED 1", mixed);
    stl_tolower(mixed);
    EXPECT_EQ("mixed 1", mixed);

    std::string formatted;
    MEM_DETAIL::stl_raw_sprintf(formatted, "%s-%d", std::string(5000, 'x').c_str(), 7);
    EXPECT_EQ(5002u, formatted.size());
    EXPECT_EQ("-7", formatted.substr(5000));
}

TEST(HostGeneral, RandomStateRepeatsAndFoldersRedirect)
{
    GEN_RAND first(12345), second(12345);
    for (int i = 0; i < 100; ++i) {
        int value = first.get_rand();
        EXPECT_GE(value, 0);
        EXPECT_EQ(value, second.get_rand());
    }
    second.state = first.state;
    EXPECT_EQ(first.get_rand(), second.get_rand());

    int cores = 0, logical = 0;
    EXPECT_TRUE(GEN_MACHINE_INFO::get_core_cpu_count(cores));
    EXPECT_TRUE(GEN_MACHINE_INFO::get_logical_cpu_count(logical));
    EXPECT_GE(cores, 1);
    EXPECT_GE(logical, cores);

    std::string module = gen_get_module_path();
    EXPECT_TRUE(std::filesystem::is_directory(module));
    gen_set_module_path("/tmp/somewhere");
    gen_set_device_db_fullpath("/tmp/db");
    EXPECT_EQ("/tmp/somewhere", gen_get_module_path());
    EXPECT_EQ("/tmp/db", gen_get_device_db_fullpath());
    EXPECT_EQ("/tmp/somewhere", gen_get_unshipped_data_fullpath());
    gen_set_module_path("");
    gen_set_device_db_fullpath("");
    EXPECT_EQ(module, gen_get_module_path());
}

TEST(HostVersion, AnswersWhatWasSet)
{
    std::string text = ver_get_version();
    int index = ver_get_current_version_index_number();
    ver_set_version("21.2.1", 0x4B02);
    EXPECT_EQ("21.2.1", ver_get_version());
    EXPECT_EQ(0x4B02, ver_get_current_version_index_number());
    ver_set_version(text, index);
}

namespace {

// Points PGM_INI_FILE at a settings file with text for the life of the object.
class INI_FILE {
public:
    explicit INI_FILE(const std::string& text)
    {
        write_file(dir_.file("pgm.ini"), text);
        setenv("PGM_INI_FILE", dir_.file("pgm.ini").c_str(), 1);
        cfg_clear();
    }
    ~INI_FILE()
    {
        unsetenv("PGM_INI_FILE");
        cfg_clear();
    }
    INI_FILE(const INI_FILE&) = delete;
    INI_FILE& operator=(const INI_FILE&) = delete;
    std::string path() const { return dir_.file("pgm.ini"); }

private:
    TEMP_DIR dir_;
};

} // namespace

TEST(HostConfig, FileLinesAndPrecedence)
{
    INI_FILE ini("\xEF\xBB\xBF"
                 "FIRST=1\r\n"
                 "  # A=comment\r\n"
                 "; not a setting\n"
                 "\tSPACED  =  a b  \t\n"
                 "URL=x=y==z\n"
                 "EMPTY=\n"
                 "TWICE=old\n"
                 "TWICE=new\n"
                 "no equals sign\n"
                 "LAST=end");
    const struct {
        std::string name, value;
    } cases[] = {
        {"FIRST", "1"},      {"SPACED", "a b"}, {"URL", "x=y==z"}, {"EMPTY", ""}, {"TWICE", "new"},
        {"LAST", "end"},     {"A", ""},         {"# A", ""},       {"; not a setting", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.value, cfg_get_value(c.name)) << c.name;
    EXPECT_EQ(7, cfg_get_int_value("EMPTY", 7));
    EXPECT_EQ(BRISOL_TRUE, cfg_is_on("EMPTY", true));

    // A value set later wins over the file, and a later set over that.
    cfg_set_value("FIRST", "2");
    EXPECT_EQ("2", cfg_get_value("FIRST"));
    cfg_set_value("FIRST", "3");
    EXPECT_EQ(3, cfg_get_int_value("FIRST", 0));
    EXPECT_EQ("new", cfg_get_value("TWICE"));

    // The file is read once: a later edit is seen only after cfg_clear.
    write_file(ini.path(), "TWICE=edited\n");
    EXPECT_EQ("new", cfg_get_value("TWICE"));
    cfg_clear();
    EXPECT_EQ("edited", cfg_get_value("TWICE"));
    EXPECT_EQ("", cfg_get_value("FIRST"));

    setenv("PGM_INI_FILE", (ini.path() + ".missing").c_str(), 1);
    cfg_clear();
    EXPECT_EQ("", cfg_get_value("TWICE"));
    cfg_set_value("TWICE", "set");
    EXPECT_EQ("set", cfg_get_value("TWICE"));
}

TEST(HostConfig, IntegerForms)
{
    cfg_clear();
    const struct {
        std::string text;
        int value; // -7: the default
    } cases[] = {
        {"0", 0},          {"42", 42},        {"-3", -3},        {"007", 7},
        {"0x1F", 31},      {"0X1f", 31},      {"-0x10", -16},    {"0x7FFFFFFF", INT_MAX},
        {"2147483647", INT_MAX}, {"-2147483648", INT_MIN}, {"-0x80000000", INT_MIN},
        {"2147483648", -7}, {"-2147483649", -7}, {"99999999999999999999", -7},
        {"0x", -7},        {"-0x", -7},       {"-", -7},         {"--5", -7},
        {"12z", -7},       {"1 2", -7},       {"0x1G", -7},      {"x1", -7},
        {"", -7},          {"+5", -7},        {"5 ", -7},
    };
    for (const auto& c : cases) {
        cfg_set_value("N", c.text);
        EXPECT_EQ(c.value, cfg_get_int_value("N", -7)) << '"' << c.text << '"';
    }
    EXPECT_EQ(-7, cfg_get_int_value("UNSET", -7));
    cfg_clear();
}

TEST(HostGeneral, UnsignedConversionsStopAtTheFirstOtherCharacter)
{
    const struct {
        std::string text;
        int base;
        unsigned long value;
        size_t end; // characters used
    } cases[] = {
        {"12ab", 10, 12, 2},   {" \t12", 10, 12, 4},  {"777", 8, 511, 3},   {"8", 8, 0, 0},
        {"1A", 16, 26, 2},     {"1a", 16, 26, 2},     {"zZ", 36, 1295, 2},  {"", 10, 0, 0},
        {"   ", 10, 0, 0},     {"x", 16, 0, 0},       {"102", 2, 2, 2},
        {"18446744073709551616", 10, ULONG_MAX, 20}, {"18446744073709551615", 10, ULONG_MAX, 20},
    };
    for (const auto& c : cases) {
        char* end = nullptr;
        EXPECT_EQ(c.value, gen_local_strtoul(c.text.c_str(), &end, c.base)) << c.text;
        EXPECT_EQ(c.end, size_t(end - c.text.c_str())) << c.text;
    }
}

TEST(HostGeneral, DataFoldersFromSettingsEnvironmentOrModule)
{
    std::string module = gen_get_module_path();
    setenv("PGM_DEVICE_DB_DIR", "/env/db", 1);
    setenv("PGM_UNSHIPPED_DATA_DIR", "/env/data", 1);
    EXPECT_EQ("/env/db", gen_get_device_db_fullpath());
    EXPECT_EQ("/env/data", gen_get_unshipped_data_fullpath());
    gen_set_device_db_fullpath("/set/db");
    gen_set_unshipped_data_fullpath("/set/data");
    EXPECT_EQ("/set/db", gen_get_device_db_fullpath());
    EXPECT_EQ("/set/data", gen_get_unshipped_data_fullpath());
    gen_set_device_db_fullpath("");
    gen_set_unshipped_data_fullpath("");
    setenv("PGM_DEVICE_DB_DIR", "", 1);
    unsetenv("PGM_UNSHIPPED_DATA_DIR");
    EXPECT_EQ(module, gen_get_device_db_fullpath());
    EXPECT_EQ(module, gen_get_unshipped_data_fullpath());
    unsetenv("PGM_DEVICE_DB_DIR");
}

TEST(HostMemory, FormattingAndModules)
{
    std::string text = "21.2";
    MEM_DETAIL::stl_raw_sprintf(text, "%s.%d", text.c_str(), 1); // the old text as an argument
    EXPECT_EQ("21.2.1", text);
    MEM_DETAIL::stl_raw_sprintf(text, "%s", "");
    EXPECT_EQ("", text);
    std::string accented = "\xC3\x89t\xC3\xA9 Ab";
    stl_toupper(accented);
    EXPECT_EQ("\xC3\x89T\xC3\xA9 AB", accented); // ASCII letters only

    auto count = [] {
        std::vector<std::string> modules = mem_registered_modules();
        return std::count(modules.begin(), modules.end(), "HOST_TEST");
    };
    {
        MEM_INITIALIZER first("HOST_TEST");
        {
            MEM_INITIALIZER second("HOST_TEST");
            EXPECT_EQ(2, count());
        }
        EXPECT_EQ(1, count());
    }
    EXPECT_EQ(0, count());
}

TEST(HostConsole, ColourSequencesAndTerminals)
{
    const char* const SEQUENCES[16] = {"30", "34", "32", "36", "31", "35", "33", "37",
                                       "90", "94", "92", "96", "91", "95", "93", "0"};
    TEMP_DIR dir;
    FILE* file = std::fopen(dir.file("out").c_str(), "w");
    ASSERT_NE(nullptr, file);
    EXPECT_FALSE(con_is_console(file)); // a file is no terminal
    con_force_console(1);
    std::string expected;
    for (unsigned int attribute = 0; attribute < 16; attribute++) {
        con_set_text_attribute(file, attribute);
        expected += std::string("\033[") + SEQUENCES[attribute] + "m";
    }
    con_set_text_attribute(file, 0xF0 | 15); // background bits do not matter
    expected += "\033[0m";
    EXPECT_TRUE(con_stdout_is_console());
    con_force_console(0);
    con_set_text_attribute(file, 12);
    EXPECT_FALSE(con_is_console(file));
    con_force_console(-1);
    std::fclose(file);
    EXPECT_EQ(expected, read_file(dir.file("out")));

    EXPECT_FALSE(con_is_console(nullptr));
    int ends[2];
    ASSERT_EQ(0, pipe(ends));
    FILE* pipe_end = fdopen(ends[1], "w");
    EXPECT_FALSE(con_is_console(pipe_end));
    std::fclose(pipe_end);
    close(ends[0]);
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) {
        FILE* terminal = std::fopen(ptsname(master), "w");
        ASSERT_NE(nullptr, terminal);
        EXPECT_TRUE(con_is_console(terminal));
        std::fclose(terminal);
    }
    if (master >= 0)
        close(master);

    FILE* other = std::fopen(dir.file("console").c_str(), "w");
    con_set_stream(other);
    EXPECT_EQ(other, con_stream());
    con_set_stream(nullptr);
    EXPECT_EQ(stdout, con_stream());
    std::fclose(other);
}

TEST(HostThreads, ShellCommandsReportTheirExitStatus)
{
    TEMP_DIR dir;
    setenv("HOST_TEST_VALUE", "passed on", 1);
    const struct {
        std::string command;
        int status;
    } cases[] = {
        {"true", 0},
        {"", 0},
        {"false", 1},
        {"exit 3", 3},
        {"exit 255", 255},
        {"kill -TERM $$", -1}, // ended by a signal
        {"kill -KILL $$", -1},
        {"/nonexistent/program", 127},
        {"exec /nonexistent/program", 127},
        {"test \"$HOST_TEST_VALUE\" = 'passed on'", 0}, // the environment is passed on
        {"echo hi > '" + dir.file("x y") + "'", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.status, thr_run(c.command)) << c.command;
        EXPECT_EQ(c.status, thr_system(c.command)) << c.command;
    }
    EXPECT_EQ("hi\n", read_file(dir.file("x y")));
    unsetenv("HOST_TEST_VALUE");
}

namespace {

extern "C" void count_alarm(int)
{
}

double seconds_since(const timespec& start)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec - start.tv_sec) + double(now.tv_nsec - start.tv_nsec) / 1e9;
}

} // namespace

TEST(HostThreads, SleepLastsDespiteSignals)
{
    // A signal in the middle does not cut the sleep short.
    struct sigaction action = {}, old;
    action.sa_handler = count_alarm; // no SA_RESTART: the sleep is interrupted
    sigaction(SIGALRM, &action, &old);
    itimerval alarm = {{0, 0}, {0, 5000}};
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    setitimer(ITIMER_REAL, &alarm, nullptr);
    thr_msleep(40);
    EXPECT_GE(seconds_since(start), 0.040);
    sigaction(SIGALRM, &old, nullptr);
}

TEST(HostThreads, StartedThreadsRunAndAreWaitedFor)
{
    EXPECT_EQ(nullptr, thr_thread_start(nullptr, nullptr));
    EXPECT_FALSE(thr_thread_is_running(nullptr));
    thr_thread_wait(nullptr); // nothing to wait for

    THREAD_GATE gate;
    THR_THREAD_STRUCT* thread = thr_thread_start(wait_for_gate, &gate);
    ASSERT_NE(nullptr, thread);
    EXPECT_TRUE(thr_thread_is_running(thread)); // held until released
    gate.release = true;
    while (thr_thread_is_running(thread))
        thr_msleep(1);
    EXPECT_EQ(1, gate.done.load());
    thr_thread_wait(thread);

    gate.release = false;
    thread = thr_thread_start(wait_for_gate, &gate);
    ASSERT_NE(nullptr, thread);
    gate.release = true;
    thr_thread_wait(thread); // waits for the end
    EXPECT_EQ(2, gate.done.load());
}

namespace {

std::string gzip(const std::string& content)
{
    std::string out(compressBound(uLong(content.size())) + 32, '\0');
    z_stream stream = {};
    deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    stream.avail_in = uInt(content.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

} // namespace

TEST(HostCompressedStream, ReadsPlainAndGzipFiles)
{
    TEMP_DIR dir;
    const std::string big(300000, 'q'); // more than one read buffer
    const std::string packed = gzip("hello\n");
    std::string damaged = packed;
    damaged[damaged.size() - 5] ^= 1; // the CRC does not match
    const struct {
        std::string name, content;
        bool compressed;
        std::string read;
        int error;
    } cases[] = {
        {"plain.txt", "plain\ntext", false, "plain\ntext", VXL_ZSTREAM_OK},
        {"empty", "", false, "", VXL_ZSTREAM_OK},
        {"one.gz", packed, true, "hello\n", VXL_ZSTREAM_OK},
        {"two.gz", packed + gzip("world\n"), true, "hello\nworld\n", VXL_ZSTREAM_OK},
        {"big.gz", gzip(big), true, big, VXL_ZSTREAM_OK},
        {"cut.gz", packed.substr(0, packed.size() - 4), true, "", VXL_ZSTREAM_DATA_ERROR},
        {"crc.gz", damaged, true, "", VXL_ZSTREAM_DATA_ERROR},
        {"magic", "\x1F", false, "\x1F", VXL_ZSTREAM_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(dir.file(c.name), c.content);
        VXL_ZIFSTREAM in(dir.file(c.name).c_str());
        ASSERT_EQ(1, in.is_open());
        EXPECT_EQ(c.compressed, in.is_compressed());
        std::string read((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(c.error, in.last_error());
        if (c.error == VXL_ZSTREAM_OK) {
            EXPECT_EQ(c.read, read);
        }
        in.close();
        EXPECT_EQ(0, in.is_open());
    }
    VXL_ZIFSTREAM missing(dir.file("none").c_str());
    EXPECT_EQ(0, missing.is_open());
    EXPECT_TRUE(missing.fail());
    VXL_ZIFSTREAM folder(dir.path().c_str());
    std::string read((std::istreambuf_iterator<char>(folder)), std::istreambuf_iterator<char>());
    EXPECT_EQ("", read);
    EXPECT_EQ(VXL_ZSTREAM_READ_ERROR, folder.last_error());
}

TEST(HostSystem, HardwareAddressesAreListedOnceInOrder)
{
    CPT_MANAGER* manager = CPT_MANAGER::get_cpt_mgr();
    EXPECT_EQ(manager, CPT_MANAGER::get_cpt_mgr());
    std::string addresses = manager->get_local_hostid(3);
    EXPECT_TRUE(std::regex_match(addresses, std::regex("([0-9a-f]{2}(:[0-9a-f]{2})*(,|$))*"))) << addresses;
    EXPECT_EQ(std::string::npos, addresses.find("00:00:00:00:00:00")); // loopback left out
    std::vector<std::string> list = PGM_COMMON::split_string(addresses, ",");
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    EXPECT_EQ(list.end(), std::adjacent_find(list.begin(), list.end()));
}
