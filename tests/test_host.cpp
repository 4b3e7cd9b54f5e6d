// The host services the library stands on.
#include "test_support.h"

#include "host/con.h"
#include "host/fio.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

TEST(HostFiles, PathsAndWildcardSearch)
{
    TEMP_DIR dir;
    write_file(dir.file("b.hex"), "1");
    write_file(dir.file("a.hex"), "12");
    write_file(dir.file("a.bin"), "");
    write_file(dir.file(".hidden.hex"), "");
    std::filesystem::create_directory(dir.file("sub.hex"));

    FIO_FIND_DATA entry;
    intptr_t handle = FIO_FILE_SYSTEM::findfirst(dir.file("*.hex"), &entry);
    ASSERT_GE(handle, 0);
    std::vector<std::string> names = {entry.name};
    std::vector<unsigned> attributes = {entry.attrib};
    while (FIO_FILE_SYSTEM::findnext(handle, &entry) == 0) {
        names.push_back(entry.name);
        attributes.push_back(entry.attrib);
    }
    EXPECT_EQ(0, FIO_FILE_SYSTEM::findclose(handle));
    EXPECT_EQ((std::vector<std::string>{"a.hex", "b.hex", "sub.hex"}), names);
    EXPECT_EQ((std::vector<unsigned>{0, 0, FIO_A_SUBDIR}), attributes);
    EXPECT_LT(FIO_FILE_SYSTEM::findfirst(dir.file("?.txt"), &entry), 0);
    EXPECT_GE(FIO_FILE_SYSTEM::findfirst(dir.file("?.bin"), &entry), 0);
    EXPECT_EQ("a.bin", entry.name);

    FIO_STAT record;
    EXPECT_TRUE(FIO_FILE_SYSTEM::status(dir.file("a.hex"), record));
    EXPECT_EQ(2, record.st_size);
    EXPECT_TRUE(FIO_FILE_SYSTEM::exists(dir.file("sub.hex")));
    EXPECT_FALSE(FIO_FILE_SYSTEM::exists(dir.file("none")));

    FIO_PATH path(dir.path() + "/sub.hex/../a.hex");
    EXPECT_EQ(dir.file("a.hex"), path.fullpath());
    EXPECT_EQ("a.hex", path.filename());
    FIO_PATH relative("x/y.txt");
    relative.become_absolute("");
    EXPECT_EQ((std::filesystem::current_path() / "x/y.txt").string(), std::string(relative));
}

namespace {

// The names in a folder, sorted.
std::vector<std::string> names_in(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Writes text to path through an atomic file; the error, 0 when committed.
int write_atomically(const std::string& path, const std::string& text)
{
    FIO_ATOMIC_FILE file(path);
    bool written = file.write(text.data(), text.size());
    if (file.commit() && written)
        return 0;
    return file.error() == errno ? file.error() : -1; // commit() sets errno too
}

mode_t mode_of(const std::string& path)
{
    struct stat record = {};
    EXPECT_EQ(0, lstat(path.c_str(), &record)) << path;
    return record.st_mode;
}

// Both kinds of temporary file: unnamed, and named as on file systems
// that refuse unnamed files.
const bool TEMPORARY_KINDS[] = {true, false};

struct TEMPORARY_KIND {
    explicit TEMPORARY_KIND(bool unnamed) : trace(__FILE__, __LINE__, unnamed ? "unnamed" : "named")
    {
        FIO_ATOMIC_FILE::allow_unnamed_temporaries(unnamed);
    }
    ~TEMPORARY_KIND() { FIO_ATOMIC_FILE::allow_unnamed_temporaries(true); }
    testing::ScopedTrace trace;
};

} // namespace

TEST(HostFiles, AtomicFileReplacesWholeOrNothing)
{
    for (bool unnamed : TEMPORARY_KINDS) {
        TEMPORARY_KIND kind(unnamed);
        TEMP_DIR dir;
        std::string target = dir.file("out.bin");
        write_file(target, "old");
        {
            FIO_ATOMIC_FILE file(target);
            ASSERT_NE(nullptr, file.stream());
            EXPECT_TRUE(file.write("new content", 11));
            EXPECT_EQ("old", read_file(target)); // nothing visible before the commit
            EXPECT_EQ(unnamed ? 1u : 2u, names_in(dir.path()).size());
        }
        EXPECT_EQ("old", read_file(target));
        EXPECT_EQ(0, write_atomically(target, "new content"));
        EXPECT_EQ(0, write_atomically(dir.file("new.bin"), "new"));
        EXPECT_EQ("new content", read_file(target));
        EXPECT_EQ((std::vector<std::string>{"new.bin", "out.bin"}), names_in(dir.path()));

        FIO_ATOMIC_FILE twice(target);
        EXPECT_TRUE(twice.commit());
        EXPECT_FALSE(twice.commit());
        EXPECT_EQ("", read_file(target));
    }
}

TEST(HostFiles, AtomicFileFollowsTheName)
{
    const std::string LONG_NAME(254, 'n');
    struct {
        std::string output; // in the folder
        int error;
        std::string changed; // now holds "new"
        std::string kept;    // still holds "old"
    } const cases[] = {
        {"link.bin", 0, "a.bin", ""},           // a symbolic link's target is replaced
        {"dangling", 0, "sub/made.bin", ""},    // and made when it does not exist
        {"h2.bin", 0, "h2.bin", "h1.bin"},      // a hard link's other name keeps the old contents
        {LONG_NAME, 0, LONG_NAME, ""},          // the temporary's name does not grow with it
        {"loop", ELOOP, "", ""},
        {"sub", EISDIR, "", ""},
        {"sub/", EISDIR, "", ""},
        {"none/x.bin", ENOENT, "", ""},
        {"a.bin/x.bin", ENOTDIR, "", ""},
        {"", ENOENT, "", ""},
    };
    for (bool unnamed : TEMPORARY_KINDS) {
        TEMPORARY_KIND kind(unnamed);
        TEMP_DIR dir;
        namespace fs = std::filesystem;
        fs::create_directory(dir.file("sub"));
        write_file(dir.file("a.bin"), "old");
        write_file(dir.file("h1.bin"), "old");
        write_file(dir.file(LONG_NAME), "old");
        fs::create_hard_link(dir.file("h1.bin"), dir.file("h2.bin"));
        fs::create_symlink("sub/../a.bin", dir.file("link.bin"));
        fs::create_symlink("sub/made.bin", dir.file("dangling"));
        fs::create_symlink("loop", dir.file("loop"));
        for (const auto& c : cases) {
            SCOPED_TRACE(c.output);
            std::string output = c.output.empty() ? "" : dir.file(c.output);
            EXPECT_EQ(c.error, write_atomically(output, "new"));
            if (!c.changed.empty()) {
                EXPECT_EQ("new", read_file(dir.file(c.changed)));
            }
            if (!c.kept.empty()) {
                EXPECT_EQ("old", read_file(dir.file(c.kept)));
            }
        }
        EXPECT_TRUE(S_ISLNK(mode_of(dir.file("link.bin"))));
        EXPECT_TRUE(S_ISLNK(mode_of(dir.file("dangling"))));
        EXPECT_EQ(8u, names_in(dir.path()).size()); // no temporary left
        EXPECT_EQ(std::vector<std::string>{"made.bin"}, names_in(dir.file("sub")));
    }
}

TEST(HostFiles, AtomicFileWritesSpecialFilesStraightThrough)
{
    TEMP_DIR dir;
    std::string fifo = dir.file("fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    std::string received;
    std::thread reader([&] { received = read_file(fifo); });
    EXPECT_EQ(0, write_atomically(fifo, "through the FIFO"));
    reader.join();
    EXPECT_EQ("through the FIFO", received);
    EXPECT_TRUE(S_ISFIFO(mode_of(fifo)));

    if (access("/dev/null", W_OK) == 0) {
        EXPECT_EQ(0, write_atomically("/dev/null", "gone"));
        EXPECT_TRUE(S_ISCHR(mode_of("/dev/null")));
    }
    // Names of open descriptors write through them, as a redirection does.
    EXPECT_EQ("to standard output", capture_stdout([] {
                  std::fflush(stdout);
                  EXPECT_EQ(0, write_atomically("/dev/stdout", "to standard output"));
              }));
    write_file(dir.file("log.txt"), "first ");
    FIO_FD appended(open(dir.file("log.txt").c_str(), O_WRONLY | O_APPEND));
    EXPECT_EQ(0, write_atomically("/dev/fd/" + std::to_string(appended.get()), "second"));
    EXPECT_EQ("first second", read_file(dir.file("log.txt")));
    FIO_FD read_only(open(fifo.c_str(), O_RDONLY | O_NONBLOCK));
    EXPECT_EQ(EBADF, write_atomically("/proc/self/fd/" + std::to_string(read_only.get()), "x"));
    EXPECT_EQ((std::vector<std::string>{"fifo", "log.txt"}), names_in(dir.path()));

    // A FIFO whose reader went away: the write's own reason.
    struct sigaction ignore = {}, old;
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &old);
    FIO_ATOMIC_FILE file(fifo);
    EXPECT_TRUE(file.direct());
    read_only.reset();
    file.write("x", 1);
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(EPIPE, file.error());
    EXPECT_EQ("Broken pipe", file.reason());
    sigaction(SIGPIPE, &old, nullptr);
}

TEST(HostFiles, AtomicFileReplacesAsCpWould)
{
    mode_t mask = umask(027);
    struct {
        int old_mode; // -1: no file
        int error;
        mode_t new_mode;
    } const cases[] = {
        {-1, 0, 0640},           // a new file: 0666 less the umask
        {0640, 0, 0640},         // the old permissions, whatever the umask
        {0604, 0, 0604},
        {04755, 0, 0755},        // without set-user-ID
        {02775, 0, 0775},        // and set-group-ID
        {0444, EACCES, 0444},    // no write permission: refused, even for root
        {0, EACCES, 0},
    };
    for (bool unnamed : TEMPORARY_KINDS) {
        TEMPORARY_KIND kind(unnamed);
        TEMP_DIR dir;
        for (const auto& c : cases) {
            SCOPED_TRACE(c.old_mode);
            std::string path = dir.file("out" + std::to_string(c.old_mode));
            if (c.old_mode >= 0) {
                write_file(path, "old");
                chmod(path.c_str(), mode_t(c.old_mode));
            }
            EXPECT_EQ(c.error, write_atomically(path, "new"));
            EXPECT_EQ(c.new_mode, mode_of(path) & 07777);
            if (geteuid() == 0 || (mode_of(path) & 0400)) {
                EXPECT_EQ(c.error == 0 ? "new" : "old", read_file(path));
            }
        }
        EXPECT_EQ(std::size(cases), names_in(dir.path()).size());
    }
    umask(mask);
}

namespace {

// Starts a child that writes 64 KiB of out.bin in folder and waits,
// unfinished, to be killed; ready once the bytes are in the temporary.
pid_t start_unfinished_writer(const std::string& folder, bool unnamed)
{
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        FIO_ATOMIC_FILE::allow_unnamed_temporaries(unnamed);
        FIO_ATOMIC_FILE file(folder + "/out.bin");
        std::string block(1 << 16, 'x');
        bool written = file.write(block.data(), block.size()) && std::fflush(file.stream()) == 0;
        if (!written || ::write(ready[1], "r", 1) != 1)
            _exit(1);
        for (;;)
            pause();
    }
    char byte = 0;
    close(ready[1]);
    if (child < 0 || read(ready[0], &byte, 1) != 1)
        child = -1;
    close(ready[0]);
    return child;
}

} // namespace

TEST(HostFiles, AtomicFileLeavesNoTemporaryBehind)
{
    struct sigaction term;
    sigaction(SIGTERM, nullptr, &term);
    if (term.sa_handler == SIG_IGN)
        GTEST_SKIP() << "SIGTERM is ignored";
    struct {
        bool unnamed;
        int signal_number;
    } const cases[] = {{true, SIGTERM}, {false, SIGTERM}, {true, SIGKILL}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.unnamed ? "unnamed " : "named ") + strsignal(c.signal_number));
        TEMP_DIR dir;
        write_file(dir.file("out.bin"), "old");
        pid_t child = start_unfinished_writer(dir.path(), c.unnamed);
        ASSERT_GT(child, 0);
        EXPECT_EQ(c.unnamed ? 1u : 2u, names_in(dir.path()).size());
        kill(child, c.signal_number);
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal_number) << status;
        EXPECT_EQ(std::vector<std::string>{"out.bin"}, names_in(dir.path()));
        EXPECT_EQ("old", read_file(dir.file("out.bin")));
    }

    // An output larger than "ulimit -f" fails with its reason.
    for (bool unnamed : TEMPORARY_KINDS) {
        TEMPORARY_KIND kind(unnamed);
        TEMP_DIR dir;
        pid_t child = fork();
        if (child == 0) {
            struct rlimit limit = {4096, 4096};
            std::string block(1 << 16, 'x');
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(1);
            int error = write_atomically(dir.file("out.bin"), block);
            FIO_ATOMIC_FILE file(dir.file("out.bin"));
            _exit(error == EFBIG && file.write("x", 1) && file.commit() ? 0 : 2);
        }
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ("x", read_file(dir.file("out.bin")));
        EXPECT_EQ(std::vector<std::string>{"out.bin"}, names_in(dir.path()));
    }
}

TEST(HostThreads, ShellCommandsReportTheirExitStatus)
{
    TEMP_DIR dir;
    EXPECT_EQ(0, thr_run("true"));
    EXPECT_NE(0, thr_run("exit 3"));
    EXPECT_EQ(0, thr_system("echo hi > '" + dir.file("x y") + "'"));
    EXPECT_EQ("hi\n", read_file(dir.file("x y")));
    thr_msleep(1);
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

TEST(HostConsole, ColoursOnlyOnAConsole)
{
    con_force_console(1);
    std::string coloured = capture_stdout([] {
        con_set_text_attribute(stdout, 4 | 8);
        con_set_text_attribute(stdout, 1 | 8);
        con_set_text_attribute(stdout, 5 | 8);
        con_set_text_attribute(stdout, 15);
    });
    EXPECT_EQ("\033[91m\033[94m\033[95m\033[0m", coloured);
    con_force_console(0);
    EXPECT_EQ("", capture_stdout([] { con_set_text_attribute(stdout, 4 | 8); }));
    con_force_console(-1);
}
