// File I/O library of the host suite: paths and file-system queries.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/stat.h>

class PGM_COMMON_API FIO_PATH {
public:
    FIO_PATH() = default;
    FIO_PATH(const char* path) : path_(path ? path : "") {}
    FIO_PATH(const std::string& path) : path_(path) {}

    operator std::string() const { return path_; }
    // The absolute, lexically normalised path.
    std::string fullpath() const;
    // The last path component, extension included.
    std::string filename() const;
    // Makes the path absolute against base, or the working directory when base is empty.
    void become_absolute(const std::string& base);

private:
    std::string path_;
};

// Attribute bit of a sub-directory in a find record.
const unsigned int FIO_A_SUBDIR = 0x10;

struct FIO_FIND_DATA {
    std::string name;    // entry name without its folder
    unsigned int attrib; // FIO_A_SUBDIR for a folder
    uint64_t size;       // file length in bytes
};

typedef struct stat FIO_STAT;

class PGM_COMMON_API FIO_FILE_SYSTEM {
public:
    static bool exists(const FIO_PATH& path);
    static bool status(const FIO_PATH& path, FIO_STAT& record);
    static FILE* fopen(const FIO_PATH& path, const char* mode);
    // Enumerates the entries of a folder whose names match the last component
    // of pattern ("*" and "?" wildcards). Returns a handle (negative when
    // nothing matches) and fills the first entry.
    static intptr_t findfirst(const FIO_PATH& pattern, FIO_FIND_DATA* data);
    // 0 and the next entry, or -1 when there are no more.
    static int findnext(intptr_t handle, FIO_FIND_DATA* data);
    static int findclose(intptr_t handle);
};

// The absolute path as a wide string, one character per byte of the path.
PGM_COMMON_API std::wstring fio_get_unc_full_path(const FIO_PATH& path);
// The byte path of a wide path made by fio_get_unc_full_path.
PGM_COMMON_API std::string fio_narrow_path(const std::wstring& path);

// A POSIX file descriptor, closed when its owner goes; negative for none.
class PGM_COMMON_API FIO_FD {
public:
    explicit FIO_FD(int fd = -1) : fd_(fd) {}
    ~FIO_FD();
    FIO_FD(const FIO_FD&) = delete;
    FIO_FD& operator=(const FIO_FD&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// A file written whole or not at all: the bytes go to a temporary file in
// the target's folder, which commit() renames over the target. A file
// that is never committed is removed, so a failed write leaves the old
// target, if any, untouched.
class PGM_COMMON_API FIO_ATOMIC_FILE {
public:
    explicit FIO_ATOMIC_FILE(const std::string& path);
    ~FIO_ATOMIC_FILE();
    FIO_ATOMIC_FILE(const FIO_ATOMIC_FILE&) = delete;
    FIO_ATOMIC_FILE& operator=(const FIO_ATOMIC_FILE&) = delete;

    // The stream to write to; null when the temporary file could not be made.
    FILE* stream() const { return stream_; }
    bool write(const void* data, size_t size);
    // Flushes, closes and renames; false (and the target untouched) on any failure.
    bool commit();

private:
    void discard();

    std::string path_;         // the target
    std::string temp_path_;    // the temporary file, empty once renamed or removed
    FILE* stream_ = nullptr;   // owned; open until commit or discard
    bool failed_ = false;      // a write failed
};
