// What went wrong, told one way; the files a command reads and writes.
#include "pgmtool_frame.h"

#include "host/con.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file the library is reading, with the errors told about it so far.
struct READING {
    std::string path;
    int errors = 0;
};

// The files being read, innermost last. pgmtool runs on one thread.
std::vector<READING>& readings()
{
    static std::vector<READING> list;
    return list;
}

// Paths of files holding what standard input gave, shown as "<stdin>".
std::vector<std::string>& stdin_copies()
{
    static std::vector<std::string> paths;
    return paths;
}

// A text of the library with the copies of standard input named as such.
std::string shown_text(std::string text)
{
    for (const std::string& copy : stdin_copies()) {
        for (size_t at = text.find(copy); at != std::string::npos; at = text.find(copy, at))
            text.replace(at, copy.size(), "<stdin>");
    }
    return text;
}

std::string shown_name(const std::string& path)
{
    return path == "-" ? "<stdin>" : shown_text(path); // also "COPY (filtered)"
}

class READING_SCOPE {
public:
    explicit READING_SCOPE(const std::string& path) { readings().push_back({path, 0}); }
    ~READING_SCOPE() { readings().pop_back(); }
    READING_SCOPE(const READING_SCOPE&) = delete;
    READING_SCOPE& operator=(const READING_SCOPE&) = delete;
    int errors() const { return readings().back().errors; }
};

// Whether a text of an internal error is the source text of a check
// rather than words: operators, or a bare name.
bool is_condition(const std::string& text)
{
    for (const char* mark : {"==", "!=", "<=", ">=", "&&", "||", "()", "->", " > ", " < "}) {
        if (text.find(mark) != std::string::npos)
            return true;
    }
    return text.find(' ') == std::string::npos;
}

// A text of the library that begins with where it is about, "NAME:LINE:
// TEXT" or "NAME: TEXT" with NAME the path or its file name: the text
// after that, and the line; any other text as it is.
std::string unlocated(const std::string& path, const std::string& text, long& line)
{
    for (const std::string& name : {path, PGM_COMMON::get_filename(path)}) {
        if (name.empty() || text.size() <= name.size() + 1 || text.compare(0, name.size(), name) != 0 ||
            text[name.size()] != ':')
            continue;
        size_t at = name.size() + 1, end = at;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
            ++end;
        if (end > at && text.compare(end, 2, ": ") == 0) {
            line = std::atol(text.c_str() + at);
            return text.substr(end + 2);
        }
        if (text[at] == ' ')
            return text.substr(at + 1);
    }
    return text;
}

std::string system_reason(int error)
{
    return error != 0 ? std::string(": ") + std::strerror(error) : std::string();
}

// Makes the folder an output goes into when it is missing.
void make_folder_of(const std::string& path)
{
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (folder.empty() || std::filesystem::is_directory(folder, error))
        return;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw PGMTOOL_FAILURE(path, "cannot make its folder " + folder.string() + ": " + error.message());
}

// A new folder for temporary files, removed with what it holds.
class TEMP_FOLDER {
public:
    TEMP_FOLDER()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "pgmtool-XXXXXX").string();
        if (mkdtemp(&pattern[0]) == nullptr)
            throw PGMTOOL_FAILURE("cannot make a temporary folder" + system_reason(errno));
        path_ = pattern;
    }
    ~TEMP_FOLDER() { remove(); }
    // Removes the folder and what it holds (files still open stay readable).
    void remove()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TEMP_FOLDER(const TEMP_FOLDER&) = delete;
    TEMP_FOLDER& operator=(const TEMP_FOLDER&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Throws unless path is a regular file that can be opened for reading.
void check_readable(const std::string& path)
{
    FIO_STAT record;
    if (!FIO_FILE_SYSTEM::status(path, record))
        throw PGMTOOL_FAILURE(path, "cannot open" + system_reason(errno));
    if (S_ISDIR(record.st_mode))
        throw PGMTOOL_FAILURE(path, "cannot open" + system_reason(EISDIR));
    if (!S_ISREG(record.st_mode))
        throw PGMTOOL_FAILURE(path, "cannot open: not a regular file");
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw PGMTOOL_FAILURE(path, "cannot open" + system_reason(errno));
    close(fd);
}

} // namespace

// ---- Telling what went wrong ----

PGMTOOL_FAILURE PGMTOOL_FAILURE::told()
{
    PGMTOOL_FAILURE failure("");
    failure.told_ = true;
    return failure;
}

void pgmtool_diagnose(PGMTOOL_SEVERITY severity, const std::string& file, long line, const std::string& about)
{
    // A reason of the library may name the file already.
    const std::string text = shown_text(file.empty() ? about : unlocated(file, about, line));
    std::string where = file.empty() ? "pgmtool" : shown_name(file);
    if (line > 0)
        where += ":" + std::to_string(line);
    static const char* const WORDS[] = {"error", "warning", "note"};
    static const unsigned int COLOURS[] = {4, 5, 3}; // red, magenta, cyan
    std::fflush(stdout); // what came before stays before on a shared terminal
    std::fprintf(stderr, "%s: ", where.c_str());
    con_set_text_attribute(stderr, COLOURS[severity] | 8);
    std::fprintf(stderr, "%s:", WORDS[severity]);
    con_set_text_attribute(stderr, 15);
    std::fprintf(stderr, " %s\n", text.c_str());
    std::fflush(stderr);
}

void pgmtool_diagnose(const PGMTOOL_FAILURE& failure)
{
    if (failure.is_told())
        return;
    pgmtool_diagnose(PGMTOOL_ERROR, failure.file(), failure.line(), failure.what());
}

void pgmtool_print_catalogue(const MSG_RECORD& record)
{
    READING* reading = readings().empty() ? nullptr : &readings().back();
    long line = record.line;
    PGMTOOL_SEVERITY severity = record.type == 'W' ? PGMTOOL_WARNING : PGMTOOL_ERROR;
    if (reading != nullptr && severity == PGMTOOL_ERROR)
        ++reading->errors;
    pgmtool_diagnose(severity, reading != nullptr ? reading->path : "", line, shown_text(record.text));
}

// ---- Inputs and outputs of a command ----

void PGMTOOL_ARGS::check_distinct(const KNOWN_FILE& file)
{
    for (const KNOWN_FILE& known : known_) {
        if (known.output == file.output || !known.exists || !file.exists || known.device != file.device ||
            known.inode != file.inode)
            continue;
        const KNOWN_FILE& output = file.output ? file : known;
        const KNOWN_FILE& input = file.output ? known : file;
        throw PGMTOOL_USAGE(output.path, "the output is the same file as the input " + input.path);
    }
    known_.push_back(file);
}

std::string PGMTOOL_ARGS::input(const std::string& path)
{
    streamed_input(path);
    if (path != "-")
        return path;
    // The library reads files by name: standard input is kept in an
    // unnamed temporary file, which it reads through /proc.
    std::unique_ptr<FILE, int (*)(FILE*)> copy(std::tmpfile(), &std::fclose);
    if (!copy)
        throw PGMTOOL_FAILURE(path, "cannot keep a copy" + system_reason(errno));
    pgmtool_read_file_pieces(path, [&copy](const BYTE* data, size_t size) {
        if (std::fwrite(data, 1, size, copy.get()) != size)
            throw PGMTOOL_FAILURE("-", "cannot keep a copy" + system_reason(errno));
    });
    if (std::fflush(copy.get()) != 0)
        throw PGMTOOL_FAILURE(path, "cannot keep a copy" + system_reason(errno));
    std::string copy_path = "/proc/self/fd/" + std::to_string(fileno(copy.get()));
    stdin_copies().push_back(copy_path);
    spools_.push_back(std::move(copy));
    return copy_path;
}

const std::string& PGMTOOL_ARGS::streamed_input(const std::string& path)
{
    KNOWN_FILE file{path, false, false, 0, 0};
    if (path == "-") {
        bool again = std::any_of(known_.begin(), known_.end(),
                                 [](const KNOWN_FILE& known) { return !known.output && known.path == "-"; });
        if (again)
            throw PGMTOOL_USAGE("standard input (\"-\") can be read only once");
    } else {
        check_readable(path);
        FIO_STAT record;
        file.exists = FIO_FILE_SYSTEM::status(path, record);
        file.device = record.st_dev;
        file.inode = record.st_ino;
    }
    check_distinct(file);
    return path;
}

const std::string& PGMTOOL_ARGS::output(const std::string& path)
{
    KNOWN_FILE file{path, true, false, 0, 0};
    if (path == "-") {
        if (stdout_taken_)
            throw PGMTOOL_USAGE("standard output (\"-\") can take only one output");
        stdout_taken_ = true;
    } else {
        FIO_STAT record;
        bool found = FIO_FILE_SYSTEM::status(path, record);
        if (found && S_ISDIR(record.st_mode))
            throw PGMTOOL_FAILURE(path, "cannot write" + system_reason(EISDIR));
        file.exists = found && S_ISREG(record.st_mode);
        file.device = record.st_dev;
        file.inode = record.st_ino;
        // A name of standard output ("/dev/stdout", or the file it is
        // redirected to) takes it as "-" does: summaries go elsewhere.
        struct stat out;
        if (found && fstat(STDOUT_FILENO, &out) == 0 && out.st_dev == record.st_dev && out.st_ino == record.st_ino)
            stdout_taken_ = true;
    }
    check_distinct(file);
    return path;
}

// ---- The library reading and writing files ----

void pgmtool_reading(const std::string& path, const PGMTOOL_CONTENT& content, const std::function<bool()>& read)
{
    READING_SCOPE scope(path);
    bool ok = false;
    try {
        ok = read();
    } catch (const PGM_INTERNAL_ERROR& error) {
        long line = 0;
        const std::string text = unlocated(path, error.what(), line);
        // A check may follow what it is about: "element x, attribute y: CHECK".
        for (const auto& check : content.checks) {
            const std::string& failed = check.first;
            size_t at = text.size() - std::min(text.size(), failed.size());
            bool after_about = at == 0 || (at >= 2 && text.compare(at - 2, 2, ": ") == 0);
            if (after_about && text.compare(at, std::string::npos, failed) == 0)
                throw PGMTOOL_FAILURE(path, text.substr(0, at) + check.second + " (" + failed + ")", line);
        }
        throw PGMTOOL_FAILURE(path, is_condition(text) ? "is not a valid " + content.kind + " (" + text + ")" : text,
                              line);
    }
    if (ok)
        return;
    if (scope.errors() > 0)
        throw PGMTOOL_FAILURE::told();
    throw PGMTOOL_FAILURE(path, "is not a valid " + content.kind);
}

namespace {

void library_writes(const std::string& path, const std::string& shown,
                    const std::function<void(const std::string&)>& write)
{
    errno = 0;
    try {
        write(path);
    } catch (const PGM_INTERNAL_ERROR& error) {
        const std::string text = error.what();
        throw PGMTOOL_FAILURE(shown, is_condition(text) ? "cannot write" + system_reason(errno) + " (" + text + ")"
                                                        : text);
    }
}

} // namespace

void pgmtool_writing(const std::string& path, const std::string& spool_name,
                     const std::function<void(const std::string&)>& write)
{
    if (path != "-") {
        make_folder_of(path);
        library_writes(path, path, write);
        return;
    }
    TEMP_FOLDER folder;
    const std::string spool = folder.path() + "/" + spool_name;
    library_writes(spool, "<stdout>", write);
    // The spool is copied from an open descriptor once its folder is gone,
    // so that nothing stays behind when a closed pipe ends the process.
    std::unique_ptr<FILE, int (*)(FILE*)> spooled(std::fopen(spool.c_str(), "rb"), &std::fclose);
    if (!spooled)
        throw PGMTOOL_FAILURE("<stdout>", "cannot read back what was written" + system_reason(errno));
    folder.remove();
    PGMTOOL_OUTPUT output("-");
    pgmtool_read_file_pieces("/proc/self/fd/" + std::to_string(fileno(spooled.get())),
                             [&output](const BYTE* data, size_t size) { output.write(data, size); });
    output.commit();
}

// ---- Reading and writing in pieces ----

PGMTOOL_PROGRESS::PGMTOOL_PROGRESS(const std::string& what, uint64_t total)
    : what_(what), total_(total), shown_(total >= PGMTOOL_PROGRESS_MIN && isatty(STDERR_FILENO) == 1)
{
}

PGMTOOL_PROGRESS::~PGMTOOL_PROGRESS()
{
    if (shown_ && last_percent_ >= 0)
        std::fprintf(stderr, "\r%*s\r", int(what_.size() + 8), "");
}

void PGMTOOL_PROGRESS::advance(uint64_t amount)
{
    done_ += amount;
    if (!shown_)
        return;
    int percent = int(std::min<uint64_t>(done_ * 100 / total_, 100)); // the file may grow meanwhile
    if (percent == last_percent_)
        return;
    last_percent_ = percent;
    std::fprintf(stderr, "\r%s %3d%%", what_.c_str(), percent);
    std::fflush(stderr);
}

void pgmtool_read_file_pieces(const std::string& path, const std::function<void(const BYTE*, size_t)>& consume)
{
    const bool standard_input = path == "-";
    std::unique_ptr<FILE, int (*)(FILE*)> file(standard_input ? stdin : std::fopen(path.c_str(), "rb"),
                                               standard_input ? [](FILE*) { return 0; } : &std::fclose);
    if (!file)
        throw PGMTOOL_FAILURE(path, "cannot open" + system_reason(errno));
    struct stat record;
    uint64_t size = fstat(fileno(file.get()), &record) == 0 && S_ISREG(record.st_mode) ? uint64_t(record.st_size) : 0;
    PGMTOOL_PROGRESS progress("Reading " + shown_name(path), size);
    std::vector<BYTE> piece(size_t(1) << 20);
    size_t count = 0;
    while ((count = std::fread(piece.data(), 1, piece.size(), file.get())) > 0) {
        consume(piece.data(), count);
        progress.advance(count);
    }
    if (std::ferror(file.get()))
        throw PGMTOOL_FAILURE(path, "cannot read" + system_reason(errno));
}

PGMTOOL_OUTPUT::PGMTOOL_OUTPUT(const std::string& path) : path_(path)
{
    if (path == "-")
        return;
    make_folder_of(path);
    errno = 0;
    file_ = std::make_unique<FIO_ATOMIC_FILE>(path);
    if (file_->stream() == nullptr)
        error_ = errno;
}

PGMTOOL_OUTPUT::~PGMTOOL_OUTPUT() = default;

FILE* PGMTOOL_OUTPUT::stream() const
{
    return file_ ? file_->stream() : stdout;
}

void PGMTOOL_OUTPUT::write(const BYTE* data, size_t size)
{
    if (error_ != 0 || stream() == nullptr)
        return;
    errno = 0;
    bool written = file_ ? file_->write(data, size) : std::fwrite(data, 1, size, stdout) == size;
    if (!written)
        error_ = errno != 0 ? errno : EIO;
}

void PGMTOOL_OUTPUT::commit()
{
    if (!file_) {
        errno = 0;
        if (error_ == 0 && std::fflush(stdout) == 0 && !std::ferror(stdout))
            return;
        throw PGMTOOL_FAILURE("<stdout>", "cannot write" + system_reason(error_ != 0 ? error_ : errno));
    }
    errno = 0;
    if (error_ == 0 && file_->commit())
        return;
    throw PGMTOOL_FAILURE(path_, "cannot write" + system_reason(error_ != 0 ? error_ : errno));
}

void pgmtool_write_output(const std::string& path, const BYTE* data, size_t size)
{
    PGMTOOL_OUTPUT output(path);
    PGMTOOL_PROGRESS progress("Writing " + (path == "-" ? std::string("<stdout>") : path), size);
    const size_t piece = size_t(1) << 20;
    for (size_t done = 0; done < size && output.stream(); done += piece) {
        size_t count = std::min(piece, size - done);
        output.write(data + done, count);
        progress.advance(count);
    }
    output.commit();
}
