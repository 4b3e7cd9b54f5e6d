#include "host/fio.h"

#include <algorithm>
#include <filesystem>
#include <fnmatch.h>
#include <map>
#include <memory>
#include <mutex>
#include <vector>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

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
    if (fd_ >= 0)
        ::close(fd_);
}

FIO_ATOMIC_FILE::FIO_ATOMIC_FILE(const std::string& path) : path_(path)
{
    std::string pattern = path + ".tmpXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0)
        return;
    temp_path_ = name.data();
    stream_ = fdopen(fd, "wb");
    if (!stream_) {
        ::close(fd);
        discard();
    }
}

FIO_ATOMIC_FILE::~FIO_ATOMIC_FILE()
{
    discard();
}

bool FIO_ATOMIC_FILE::write(const void* data, size_t size)
{
    if (!stream_ || (size && std::fwrite(data, 1, size, stream_) != size))
        failed_ = true;
    return !failed_;
}

bool FIO_ATOMIC_FILE::commit()
{
    if (!stream_ || failed_) {
        discard();
        return false;
    }
    // Writes may also have gone straight to stream(): its error flag counts.
    bool ok = !std::ferror(stream_) && std::fflush(stream_) == 0 && fsync(fileno(stream_)) == 0;
    ok = (std::fclose(stream_) == 0) && ok;
    stream_ = nullptr;
    // mkstemp makes the file private: a replaced file keeps its own
    // permissions, a new one gets the usual ones.
    struct stat target;
    if (stat(path_.c_str(), &target) == 0) {
        chmod(temp_path_.c_str(), target.st_mode & 07777);
    } else {
        mode_t mask = umask(0);
        umask(mask);
        chmod(temp_path_.c_str(), 0666 & ~mask);
    }
    if (!ok || std::rename(temp_path_.c_str(), path_.c_str()) != 0) {
        discard();
        return false;
    }
    temp_path_.clear();
    return true;
}

void FIO_ATOMIC_FILE::discard()
{
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temp_path_.empty()) {
        std::remove(temp_path_.c_str());
        temp_path_.clear();
    }
}
