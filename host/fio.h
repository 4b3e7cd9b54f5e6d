// File I/O library of the host suite: paths and file-system queries.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

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
    // Closes the descriptor held and takes fd.
    void reset(int fd = -1);

private:
    int fd_;
};

// An output file written whole or not at all, the one way every output of
// the library and its tools is written.
//
// What the output name points at decides how:
// - A regular file, or no file: the bytes go to a temporary file in the
//   folder of the file that is finally replaced, and commit() gives it the
//   target's name (rename). On Linux the temporary has no name until then
//   (O_TMPFILE), so nothing is left behind whatever ends the process; where
//   the file system refuses that, it is a named ".pgmXXXXXX" in the same
//   folder, removed by discard, at exit and on SIGHUP, SIGINT, SIGQUIT,
//   SIGTERM, SIGPIPE and SIGABRT (where those still have their default
//   action). SIGXFSZ is ignored while a file is open, so that an output
//   larger than "ulimit -f" fails with "File too large" instead of
//   killing the process.
// - A symbolic link is followed; its final target is the file replaced,
//   and a dangling link's target is created. The link stays as it was.
// - A hard link: the name given gets the new contents as a new file, and
//   the other names keep the old contents, whole. Replacing contents in
//   place (as cp does) would let a failed or interrupted write leave a
//   torn file under every name; like git, rsync and editors that save by
//   rename, contents are replaced atomically, which gives the name a new
//   file.
// - A character or block device, a FIFO or a socket is written straight
//   through, with no temporary and no rename: it is opened for writing
//   (without truncation, waiting for a FIFO's reader) and stays what it
//   is. A name that stands for an open descriptor of the process
//   ("/dev/stdout", "/dev/fd/N", "/proc/self/fd/N") writes through that
//   descriptor, as a shell redirection does, whatever kind of file it is.
// - A folder is refused ("Is a directory").
// A regular file is replaced only where cp would overwrite it without
// asking: the user may write it and it has some write permission bit (root
// may write any file); else the output is refused with "Permission
// denied". The new contents keep the old file's permission bits, without
// the set-user-ID, set-group-ID and sticky bits, and its owner and group
// where the process may set them; a new file gets 0666 less the umask.
class PGM_COMMON_API FIO_ATOMIC_FILE {
public:
    explicit FIO_ATOMIC_FILE(const std::string& path);
    ~FIO_ATOMIC_FILE();
    FIO_ATOMIC_FILE(const FIO_ATOMIC_FILE&) = delete;
    FIO_ATOMIC_FILE& operator=(const FIO_ATOMIC_FILE&) = delete;

    // The stream to write to; null when the output could not be opened.
    FILE* stream() const { return stream_; }
    bool write(const void* data, size_t size);
    // Flushes, syncs and gives the file its name; false on any failure,
    // with the target untouched, error() telling why and errno set to it.
    // Writes that went straight through to a device stay written.
    bool commit();
    // The errno value of the first failure (opening, a write, or the
    // commit), 0 while there is none.
    int error() const { return error_; }
    // The first failure in words ("No space left on device"), empty while
    // there is none.
    std::string reason() const;
    // Whether the bytes go straight to a device, FIFO, socket or open
    // descriptor instead of through a temporary file.
    bool direct() const { return kind_ == DIRECT; }

    // Whether files opened later may use unnamed temporary files (the
    // default); false makes them use named ones, as on file systems that
    // refuse unnamed files.
    static void allow_unnamed_temporaries(bool allowed);

private:
    enum KIND { NONE, DIRECT, UNNAMED, NAMED };

    bool open_output(const std::string& path);
    bool open_descriptor(int descriptor);
    bool open_device(const std::string& path);
    bool open_temporary(const std::string& path, const struct stat* replaced);
    bool open_named_temporary(mode_t mode);
    bool give_name();
    bool fail(int error);
    void discard();
    static ssize_t write_through(void* cookie, const char* data, size_t size);

    FIO_FD folder_;           // the folder of the file replaced
    std::string name_;        // the name of the file replaced in folder_
    std::string temp_name_;   // a named temporary in folder_, empty when none
    int slot_ = -1;           // its entry among the names removed on signals
    FIO_FD fd_;               // where the bytes go
    FILE* stream_ = nullptr;  // buffers the writes into fd_; owned
    KIND kind_ = NONE;
    bool replaces_ = false;   // the file replaced exists
    bool sync_ = false;       // fd_ is synced at commit
    bool dropping_ = false;   // buffered bytes are dropped, not written
    int error_ = 0;
};
