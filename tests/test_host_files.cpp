// The host file services: paths, folder searches and the atomic writer.
#include "test_support.h"

#include "host/fio.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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
}

TEST(HostFiles, FullPathsAreAbsoluteAndNormal)
{
    const std::string cwd = std::filesystem::current_path().string();
    const std::string parent = cwd.substr(0, std::max<size_t>(cwd.rfind('/'), 1));
    const struct {
        std::string path;
        std::string full;
    } cases[] = {
        {".", cwd},
        {"./", cwd},
        {"..", parent},
        {"../", parent},
        {"a", cwd + "/a"},
        {"a/", cwd + "/a"},
        {"a//b", cwd + "/a/b"},
        {"./a/./b/.", cwd + "/a/b"},
        {"a/b/../c", cwd + "/a/c"},
        {"a/..", cwd},
        {"a/../../x", parent + "/x"},
        {"/", "/"},
        {"//", "/"},
        {"/..", "/"},
        {"/../a", "/a"},
        {"//a///b//", "/a/b"},
        {"/a/b/./../c/", "/a/c"},
        {"/a b/\xC3\xA9\xFF", "/a b/\xC3\xA9\xFF"}, // bytes kept as they are
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.full, FIO_PATH(c.path).fullpath());
        std::wstring wide = fio_get_unc_full_path(FIO_PATH(c.path));
        EXPECT_EQ(c.full.size(), wide.size()); // one wide character per byte
        EXPECT_EQ(c.full, fio_narrow_path(wide));
    }
    const struct {
        std::string path, base, absolute;
    } bases[] = {
        {"x/../y", "/base", "/base/y"}, {"x", "/base/", "/base/x"}, {"/abs/../p", "/base", "/abs/../p"},
        {"x/./y", "", cwd + "/x/y"},
    };
    for (const auto& c : bases) {
        FIO_PATH path(c.path);
        path.become_absolute(c.base);
        EXPECT_EQ(c.absolute, std::string(path)) << c.path << " on " << c.base;
    }
    EXPECT_EQ("y.tar.gz", FIO_PATH("/x.d/y.tar.gz").filename());
    EXPECT_EQ("y", FIO_PATH("y").filename());
}

namespace {

// How a child fails to write the new contents of a file of 64 KiB limit:
// the write itself fails, or only the flush at the commit.
struct SHORT_WRITE {
    size_t bytes;     // written in one call, above the limit of 4 KiB
    bool write_fails; // else the commit is the first to fail
};

// In a child with "ulimit -f" at 4 KiB and SIGXFSZ at action: writes the
// bytes to path through an atomic file. Exits 0 when the failure showed
// where expected with EFBIG and "File too large", SIGXFSZ has its old
// action back, the old file is whole, and it can be written again within
// the limit.
int write_beyond_the_limit(const std::string& path, const SHORT_WRITE& how, void (*action)(int), bool unnamed)
{
    return run_with_file_size_limit(4096, action, [&] {
        FIO_ATOMIC_FILE::allow_unnamed_temporaries(unnamed);
        std::string block(how.bytes, 'x');
        {
            FIO_ATOMIC_FILE file(path);
            if (file.write(block.data(), block.size()) == how.write_fails)
                return 11;
            if (file.commit() || file.error() != EFBIG || file.reason() != "File too large")
                return 12;
        }
        struct sigaction now;
        if (sigaction(SIGXFSZ, nullptr, &now) != 0 || now.sa_handler != action)
            return 13;
        if (read_file(path) != "old")
            return 14;
        // Within the limit the file can be written again.
        FIO_ATOMIC_FILE again(path);
        return again.write("x", 1) && again.commit() ? 0 : 15;
    });
}

} // namespace

TEST(HostFiles, AtomicFileKeepsTheOldFileWhenAWriteFails)
{
    const SHORT_WRITE hows[] = {{1 << 16, true}, {6000, false}};
    void (*const actions[])(int) = {SIG_DFL, SIG_IGN};
    for (bool unnamed : TEMPORARY_KINDS) {
        for (const SHORT_WRITE& how : hows) {
            for (auto action : actions) {
                SCOPED_TRACE(std::string(unnamed ? "unnamed " : "named ") + std::to_string(how.bytes) +
                             (action == SIG_IGN ? " SIGXFSZ ignored" : " SIGXFSZ default"));
                TEMP_DIR dir;
                write_file(dir.file("out.bin"), "old");
                chmod(dir.file("out.bin").c_str(), 0640);
                EXPECT_EQ(0, write_beyond_the_limit(dir.file("out.bin"), how, action, unnamed));
                EXPECT_EQ("x", read_file(dir.file("out.bin")));
                EXPECT_EQ(0640u, mode_of(dir.file("out.bin")) & 07777);
                EXPECT_EQ(std::vector<std::string>{"out.bin"}, names_in(dir.path()));
            }
        }
    }
}
