#include "host/fio.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fnmatch.h>
#include <map>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Entries of one open search, in name order, and the next one to report.
struct SEARCH {
    std::vector<FIO_FIND_DATA> entries;
    size_t next = 0;
};

struct SEARCHES {
    std::mutex mutex;
    std::map<intptr_t, std::unique_ptr<SEARCH>> open;
    intptr_t last_handle = 0;
};

SEARCHES& searches()
{
    static SEARCHES* all = new SEARCHES; // never destroyed: used until exit
    return *all;
}

std::vector<FIO_FIND_DATA> list_matches(const fs::path& pattern)
{
    std::vector<FIO_FIND_DATA> entries;
    fs::path folder = pattern.has_parent_path() ? pattern.parent_path() : fs::path(".");
    std::string name_pattern = pattern.filename().string();
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        if (fnmatch(name_pattern.c_str(), name.c_str(), FNM_PERIOD) != 0)
            continue;
        std::error_code ignored;
        bool folder_entry = it->is_directory(ignored);
        uint64_t size = folder_entry ? 0 : uint64_t(it->file_size(ignored));
        entries.push_back({name, folder_entry ? FIO_A_SUBDIR : 0u, ignored ? 0 : size});
    }
    std::sort(entries.begin(), entries.end(),
              [](const FIO_FIND_DATA& a, const FIO_FIND_DATA& b) { return a.name < b.name; });
    return entries;
}

} // namespace

std::string FIO_PATH::fullpath() const
{
    if (path_.empty())
        return std::string();
    std::error_code error;
    fs::path absolute = fs::absolute(fs::path(path_), error);
    if (error)
        return path_;
    std::string normal = absolute.lexically_normal().string();
    if (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

std::string FIO_PATH::filename() const
{
    return fs::path(path_).filename().string();
}

void FIO_PATH::become_absolute(const std::string& base)
{
    fs::path path(path_);
    if (path.is_absolute())
        return;
    std::error_code error;
    fs::path root = base.empty() ? fs::current_path(error) : fs::path(base);
    path_ = (root / path).lexically_normal().string();
}

bool FIO_FILE_SYSTEM::exists(const FIO_PATH& path)
{
    std::error_code error;
    return fs::exists(fs::path(std::string(path)), error);
}

bool FIO_FILE_SYSTEM::status(const FIO_PATH& path, FIO_STAT& record)
{
    return ::stat(std::string(path).c_str(), &record) == 0;
}

FILE* FIO_FILE_SYSTEM::fopen(const FIO_PATH& path, const char* mode)
{
    return ::fopen(std::string(path).c_str(), mode);
}

intptr_t FIO_FILE_SYSTEM::findfirst(const FIO_PATH& pattern, FIO_FIND_DATA* data)
{
    auto search = std::make_unique<SEARCH>();
    search->entries = list_matches(fs::path(std::string(pattern)));
    if (search->entries.empty() || !data)
        return -1;
    *data = search->entries[0];
    search->next = 1;
    SEARCHES& all = searches();
    std::lock_guard<std::mutex> lock(all.mutex);
    intptr_t handle = ++all.last_handle;
    all.open[handle] = std::move(search);
    return handle;
}

int FIO_FILE_SYSTEM::findnext(intptr_t handle, FIO_FIND_DATA* data)
{
    SEARCHES& all = searches();
    std::lock_guard<std::mutex> lock(all.mutex);
    auto it = all.open.find(handle);
    if (it == all.open.end() || !data || it->second->next >= it->second->entries.size())
        return -1;
    *data = it->second->entries[it->second->next++];
    return 0;
}

int FIO_FILE_SYSTEM::findclose(intptr_t handle)
{
    SEARCHES& all = searches();
    std::lock_guard<std::mutex> lock(all.mutex);
    return all.open.erase(handle) ? 0 : -1;
}

std::wstring fio_get_unc_full_path(const FIO_PATH& path)
{
    // POSIX paths are byte strings: each byte becomes one wide character,
    // so fio_narrow_path gives the same bytes back whatever the locale.
    std::string full = path.fullpath();
    std::wstring wide;
    wide.reserve(full.size());
    for (char c : full)
        wide += wchar_t((unsigned char)c);
    return wide;
}

std::string fio_narrow_path(const std::wstring& path)
{
    std::string narrow;
    narrow.reserve(path.size());
    for (wchar_t c : path)
        narrow += char(c);
    return narrow;
}

FIO_FD::~FIO_FD()
{
    reset();
}

void FIO_FD::reset(int fd)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

namespace {

// Named temporary files, removed when a signal ends the process or at
// exit. The entries are read by a signal handler: fixed storage, and each
// one is published through its state only once it is filled.
struct TEMP_ENTRY {
    std::atomic<int> state{0}; // FREE, BUSY while filled or emptied, or NAMED
    pid_t owner = 0;           // a forked child leaves its parent's files alone
    int folder = -1;
    char name[16] = {};
};
enum { ENTRY_FREE, ENTRY_BUSY, ENTRY_NAMED };
const int TEMP_ENTRIES = 64;
TEMP_ENTRY temp_entries[TEMP_ENTRIES];

const int CLEANUP_SIGNALS[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGABRT};
const char TEMP_PREFIX[] = ".pgm";
const size_t TEMP_LETTERS = 6;
const int MAX_LINKS = 40; // symbolic links followed, as the kernel's limit

std::atomic<bool> unnamed_allowed{true};

// Only async-signal-safe calls.
void remove_temp_files()
{
    pid_t self = getpid();
    for (TEMP_ENTRY& entry : temp_entries)
        if (entry.state.load() == ENTRY_NAMED && entry.owner == self)
            unlinkat(entry.folder, entry.name, 0);
}

extern "C" void remove_temp_files_on_signal(int signal_number)
{
    remove_temp_files();
    // The default action ends the process once the handler returns.
    ::signal(signal_number, SIG_DFL);
    raise(signal_number);
}

extern "C" void remove_temp_files_at_exit()
{
    remove_temp_files();
}

// Installed once, on the signals whose default action ends the process
// and that the program does not handle itself.
void install_cleanup()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int signal_number : CLEANUP_SIGNALS) {
            struct sigaction old;
            if (sigaction(signal_number, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) ||
                old.sa_handler != SIG_DFL)
                continue;
            struct sigaction action = {};
            action.sa_handler = remove_temp_files_on_signal;
            sigemptyset(&action.sa_mask);
            sigaction(signal_number, &action, nullptr);
        }
        std::atexit(remove_temp_files_at_exit);
    });
}

// The entry that names the file, or -1 when all are taken (the file is
// then still removed by its owner, only not on signals).
int register_temp_file(int folder, const std::string& name)
{
    install_cleanup();
    for (int i = 0; i < TEMP_ENTRIES; ++i) {
        TEMP_ENTRY& entry = temp_entries[i];
        int expected = ENTRY_FREE;
        if (!entry.state.compare_exchange_strong(expected, ENTRY_BUSY))
            continue;
        entry.owner = getpid();
        entry.folder = folder;
        std::snprintf(entry.name, sizeof(entry.name), "%s", name.c_str());
        entry.state.store(ENTRY_NAMED);
        return i;
    }
    return -1;
}

void unregister_temp_file(int index)
{
    if (index >= 0)
        temp_entries[index].state.store(ENTRY_FREE);
}

// Holds the cleanup signals back in this thread while a temporary file
// gets or changes its name, so that none ends the process between.
class SIGNALS_HELD {
public:
    SIGNALS_HELD()
    {
        sigset_t held;
        sigemptyset(&held);
        for (int signal_number : CLEANUP_SIGNALS)
            sigaddset(&held, signal_number);
        pthread_sigmask(SIG_BLOCK, &held, &old_);
    }
    ~SIGNALS_HELD() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    SIGNALS_HELD(const SIGNALS_HELD&) = delete;
    SIGNALS_HELD& operator=(const SIGNALS_HELD&) = delete;

private:
    sigset_t old_;
};

// SIGXFSZ is ignored while any output is open, where the program left it
// at its default action (which ends the process with a core dump).
struct XFSZ_STATE {
    std::mutex mutex;
    int users = 0;
    bool ignored = false;
};

XFSZ_STATE& xfsz_state()
{
    static XFSZ_STATE* state = new XFSZ_STATE; // never destroyed: used until exit
    return *state;
}

void set_xfsz_action(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(SIGXFSZ, &action, nullptr);
}

void hold_xfsz()
{
    XFSZ_STATE& state = xfsz_state();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.users++ > 0)
        return;
    struct sigaction old;
    if (sigaction(SIGXFSZ, nullptr, &old) == 0 && !(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL) {
        set_xfsz_action(SIG_IGN);
        state.ignored = true;
    }
}

void release_xfsz()
{
    XFSZ_STATE& state = xfsz_state();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (--state.users > 0 || !state.ignored)
        return;
    set_xfsz_action(SIG_DFL);
    state.ignored = false;
}

// Splits a path into its folder ("." for none) and its last name.
void split_path(const std::string& path, std::string& folder, std::string& name)
{
    size_t slash = path.find_last_of('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

// The descriptor of this process that path stands for ("/proc/self/fd/1",
// "/dev/fd/1"), or -1 when it is no such name.
int descriptor_named(const std::string& path)
{
    std::string folder, name;
    split_path(path, folder, name);
    if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != std::string::npos ||
        folder.size() < 2 || folder.compare(folder.size() - 2, 2, "fd") != 0)
        return -1;
    char real[PATH_MAX];
    if (!realpath(folder.c_str(), real))
        return -1;
    std::string own = "/proc/" + std::to_string(getpid()) + "/";
    std::string resolved = real;
    bool ours = resolved.compare(0, own.size(), own) == 0 && resolved.size() > 3 &&
                resolved.compare(resolved.size() - 3, 3, "/fd") == 0;
    return ours ? std::atoi(name.c_str()) : -1;
}

// What an output name leads to once its symbolic links are followed.
struct OUTPUT_TARGET {
    std::string path;    // the final name
    int descriptor = -1; // or the descriptor it stands for
    bool exists = false;
    struct stat record = {};
};

// 0, or the errno value that tells why the name cannot be followed.
int follow_links(const std::string& path, OUTPUT_TARGET& target)
{
    if (path.empty())
        return ENOENT;
    std::string current = path;
    for (int links = 0; links <= MAX_LINKS; ++links) {
        target.descriptor = descriptor_named(current);
        if (target.descriptor >= 0)
            return 0;
        target.path = current;
        if (lstat(current.c_str(), &target.record) != 0)
            return errno == ENOENT ? 0 : errno;
        target.exists = !S_ISLNK(target.record.st_mode);
        if (target.exists)
            return 0;
        std::vector<char> text(std::max<size_t>(size_t(target.record.st_size) + 2, PATH_MAX));
        ssize_t size = readlink(current.c_str(), text.data(), text.size());
        if (size < 0)
            return errno;
        if (size_t(size) >= text.size())
            return ENAMETOOLONG;
        std::string link(text.data(), size_t(size));
        std::string folder, name;
        split_path(current, folder, name);
        current = link.empty() || link[0] == '/' ? link : folder + "/" + link;
    }
    return ELOOP;
}

// Calls make with fresh ".pgmXXXXXX" names until one does not exist yet;
// make's errno value, 0 once it made the file.
template <typename MAKE> int with_temp_name(std::string& name, MAKE make)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::atomic<uint64_t> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        uint64_t bits = (uint64_t(getpid()) << 40) ^ (uint64_t(now.tv_sec) << 30) ^ uint64_t(now.tv_nsec) ^
                        (++counter * 0x9E3779B97F4A7C15ull);
        bits = (bits ^ (bits >> 31)) * 0xBF58476D1CE4E5B9ull;
        name = TEMP_PREFIX;
        for (size_t i = 0; i < TEMP_LETTERS; ++i, bits /= 62)
            name += letters[bits % 62];
        int error = make(name);
        if (error != EEXIST)
            return error;
    }
    return EEXIST;
}

} // namespace

void FIO_ATOMIC_FILE::allow_unnamed_temporaries(bool allowed)
{
    unnamed_allowed.store(allowed);
}

FIO_ATOMIC_FILE::FIO_ATOMIC_FILE(const std::string& path)
{
    hold_xfsz();
    if (!open_output(path)) {
        discard();
        return;
    }
    cookie_io_functions_t functions = {nullptr, write_through, nullptr, nullptr};
    stream_ = fopencookie(this, "w", functions);
    if (!stream_) {
        fail(errno);
        discard();
    }
}

FIO_ATOMIC_FILE::~FIO_ATOMIC_FILE()
{
    discard();
    release_xfsz();
}

bool FIO_ATOMIC_FILE::open_output(const std::string& path)
{
    OUTPUT_TARGET target;
    int error = follow_links(path, target);
    if (error != 0)
        return fail(error);
    if (target.descriptor >= 0)
        return open_descriptor(target.descriptor);
    if (target.exists && !S_ISREG(target.record.st_mode))
        return open_device(target.path);
    return open_temporary(target.path, target.exists ? &target.record : nullptr);
}

bool FIO_ATOMIC_FILE::open_descriptor(int descriptor)
{
    int flags = fcntl(descriptor, F_GETFL);
    if (flags < 0)
        return fail(errno);
    if ((flags & O_ACCMODE) == O_RDONLY)
        return fail(EBADF);
    fd_.reset(fcntl(descriptor, F_DUPFD_CLOEXEC, 0));
    if (fd_.get() < 0)
        return fail(errno);
    kind_ = DIRECT;
    return true;
}

bool FIO_ATOMIC_FILE::open_device(const std::string& path)
{
    fd_.reset(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    struct stat record;
    if (fd_.get() < 0 || fstat(fd_.get(), &record) != 0)
        return fail(errno);
    if (S_ISDIR(record.st_mode))
        return fail(EISDIR);
    kind_ = DIRECT;
    sync_ = S_ISBLK(record.st_mode);
    return true;
}

bool FIO_ATOMIC_FILE::open_temporary(const std::string& path, const struct stat* replaced)
{
    std::string folder;
    split_path(path, folder, name_);
    if (name_.empty() || name_ == "." || name_ == "..")
        return fail(EISDIR);
    if (replaced && faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return fail(errno);
    if (replaced && (replaced->st_mode & 0222) == 0)
        return fail(EACCES);
    folder_.reset(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder_.get() < 0)
        return fail(errno);
    replaces_ = replaced != nullptr;
    // A replacement is private until it has the old file's permissions.
    mode_t mode = replaces_ ? 0600 : 0666;
#ifdef O_TMPFILE
    if (unnamed_allowed.load() && access("/proc/self/fd", X_OK) == 0) {
        fd_.reset(openat(folder_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
        if (fd_.get() < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return fail(errno);
        kind_ = fd_.get() < 0 ? NONE : UNNAMED;
    }
#endif
    if (kind_ == NONE && !open_named_temporary(mode))
        return false;
    if (!replaces_)
        return true;
    if (fchown(fd_.get(), replaced->st_uid, replaced->st_gid) != 0)
        errno = 0; // another owner where the process may not set it: the file is ours, as a copy would be
    return fchmod(fd_.get(), replaced->st_mode & 0777) == 0 || fail(errno);
}

bool FIO_ATOMIC_FILE::open_named_temporary(mode_t mode)
{
    SIGNALS_HELD held;
    int error = with_temp_name(temp_name_, [&](const std::string& name) {
        fd_.reset(openat(folder_.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        return fd_.get() < 0 ? errno : 0;
    });
    if (error != 0) {
        temp_name_.clear();
        return fail(error);
    }
    slot_ = register_temp_file(folder_.get(), temp_name_);
    kind_ = NAMED;
    return true;
}

ssize_t FIO_ATOMIC_FILE::write_through(void* cookie, const char* data, size_t size)
{
    FIO_ATOMIC_FILE* file = static_cast<FIO_ATOMIC_FILE*>(cookie);
    if (file->dropping_)
        return ssize_t(size);
    for (size_t done = 0; done < size;) {
        ssize_t count = ::write(file->fd_.get(), data + done, size - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            file->fail(count < 0 ? errno : EIO);
            return 0; // the stream's error
        }
        done += size_t(count);
    }
    return ssize_t(size);
}

bool FIO_ATOMIC_FILE::write(const void* data, size_t size)
{
    if (stream_ && error_ == 0 && size && std::fwrite(data, 1, size, stream_) != size)
        fail(EIO); // unless the descriptor told a reason first
    return stream_ && error_ == 0;
}

bool FIO_ATOMIC_FILE::commit()
{
    bool ok = stream_ && error_ == 0;
    // Writes may also have gone straight to stream(): its error flag counts.
    if (ok)
        ok = (std::fflush(stream_) == 0 && !std::ferror(stream_)) || fail(EIO);
    if (ok && (kind_ != DIRECT || sync_))
        ok = fsync(fd_.get()) == 0 || fail(errno);
    if (ok && kind_ != DIRECT)
        ok = give_name();
    if (!stream_ && error_ == 0)
        fail(EBADF); // committed twice
    discard();
    if (!ok)
        errno = error_;
    return ok;
}

// An unnamed file gets the target's name at once when there is no target,
// or a temporary name first; a temporary name is then renamed over the
// target.
bool FIO_ATOMIC_FILE::give_name()
{
    SIGNALS_HELD held;
    auto link_to = [&](const std::string& name) {
        if (linkat(fd_.get(), "", folder_.get(), name.c_str(), AT_EMPTY_PATH) == 0)
            return 0;
        std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
        return linkat(AT_FDCWD, self.c_str(), folder_.get(), name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
    };
    if (kind_ == UNNAMED) {
        int error = replaces_ ? EEXIST : link_to(name_);
        if (error == 0)
            return true;
        if (error == EEXIST)
            error = with_temp_name(temp_name_, link_to);
        if (error != 0) {
            temp_name_.clear();
            return fail(error);
        }
    }
    if (renameat(folder_.get(), temp_name_.c_str(), folder_.get(), name_.c_str()) != 0) {
        fail(errno);
        unlinkat(folder_.get(), temp_name_.c_str(), 0);
    }
    temp_name_.clear();
    unregister_temp_file(slot_);
    slot_ = -1;
    return error_ == 0;
}

bool FIO_ATOMIC_FILE::fail(int error)
{
    if (error_ == 0)
        error_ = error != 0 ? error : EIO;
    return false;
}

std::string FIO_ATOMIC_FILE::reason() const
{
    return error_ != 0 ? std::strerror(error_) : std::string();
}

void FIO_ATOMIC_FILE::discard()
{
    if (stream_) {
        dropping_ = true;
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temp_name_.empty()) {
        unlinkat(folder_.get(), temp_name_.c_str(), 0);
        temp_name_.clear();
    }
    unregister_temp_file(slot_);
    slot_ = -1;
    fd_.reset();
}
