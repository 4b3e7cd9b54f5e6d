#include "pgmtool_frame.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

PGMTOOL_ARGS::PGMTOOL_ARGS(std::string command, std::vector<std::string> usage) : command_(std::move(command))
{
    // Usage lines are print formats: a "%" of the text is written "%%".
    for (const std::string& line : usage) {
        std::string format;
        for (char c : line)
            format += c == '%' ? std::string("%%") : std::string(1, c);
        usage_.push_back({1, format});
    }
    flag("help", help_, "Print this help and stop");
}

void PGMTOOL_ARGS::flag(const std::string& name, bool& value, const std::string& help)
{
    table_.push_back({name, PGM_COMMON_CMD_ARG_FLAG, &value, false, false, help});
}

void PGMTOOL_ARGS::integer(const std::string& name, int& value, const std::string& help)
{
    table_.push_back({name, PGM_COMMON_CMD_ARG_INTEGER, &value, false, false, help});
}

void PGMTOOL_ARGS::text(const std::string& name, std::string& value, const std::string& help)
{
    table_.push_back({name, PGM_COMMON_CMD_ARG_STRING, &value, false, false, help});
}

void PGMTOOL_ARGS::text_or_empty(const std::string& name, std::string& value, const std::string& help)
{
    text(name, value, help);
    may_be_empty_.push_back(name);
}

bool PGMTOOL_ARGS::given_empty(const std::string& name) const
{
    return std::find(given_empty_.begin(), given_empty_.end(), name) != given_empty_.end();
}

int PGMTOOL_ARGS::parse(int argc, const char** argv, size_t min_files, size_t max_files)
{
    // The words "--NAME=" (any number of dashes, any case) of the arguments
    // that may be empty are taken out before the parser sees them.
    std::vector<const char*> words(argv, argv + argc);
    for (const std::string& name : may_be_empty_) {
        for (auto word = words.begin() + (words.empty() ? 0 : 1); word != words.end();) {
            const char* bare = *word + std::strspn(*word, "-");
            bool empty = bare != *word && PGM_COMMON::compare_string(bare, name + "=", false);
            if (empty && !given_empty(name))
                given_empty_.push_back(name);
            word = empty ? words.erase(word) : word + 1;
        }
    }
    PGM_COMMON_CMD_ERROR error = PGM_COMMON_CMD::parse_argument(int(words.size()), words.data(), DWORD(table_.size()),
                                                                table_.data(), files_, NULL);
    if (error != PGM_COMMON_CMD_ERROR_NONE) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_PLAIN, 0, "Run \"pgmtool %s --help\" for the arguments.",
                                  command_.c_str());
        return PGMTOOL_USAGE_ERROR;
    }
    if (help_) {
        print_help();
        return PGMTOOL_OK;
    }
    if (files_.size() < min_files || files_.size() > max_files) {
        std::string expected = min_files == max_files ? std::to_string(min_files)
                                                      : std::to_string(min_files) + " to " + std::to_string(max_files);
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "%s expects %s file argument(s) but found %zu",
                                  command_.c_str(), expected.c_str(), files_.size());
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_PLAIN, 0, "Run \"pgmtool %s --help\" for the arguments.",
                                  command_.c_str());
        return PGMTOOL_USAGE_ERROR;
    }
    return -1;
}

void PGMTOOL_ARGS::print_help()
{
    std::vector<std::string> no_files;
    PGM_COMMON_CMD::print_help(false, DWORD(table_.size()), table_.data(), no_files, DWORD(usage_.size()),
                               usage_.data());
}

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
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        throw PGMTOOL_FAILURE("Can't read file " + path + ": " + std::strerror(errno));
    struct stat record;
    uint64_t size = fstat(fileno(file.get()), &record) == 0 ? uint64_t(record.st_size) : 0;
    PGMTOOL_PROGRESS progress("Reading " + path, size);
    std::vector<BYTE> piece(size_t(1) << 20);
    size_t count = 0;
    while ((count = std::fread(piece.data(), 1, piece.size(), file.get())) > 0) {
        consume(piece.data(), count);
        progress.advance(count);
    }
    if (std::ferror(file.get()))
        throw PGMTOOL_FAILURE("Can't read file " + path + ": " + std::strerror(errno));
}

void pgmtool_check_input(const std::string& path)
{
    FIO_STAT record;
    if (!FIO_FILE_SYSTEM::status(path, record))
        throw PGMTOOL_FAILURE("Can't open " + path + ": " + std::strerror(errno));
    if (!S_ISREG(record.st_mode))
        throw PGMTOOL_FAILURE("Can't open " + path + ": not a regular file");
}

std::string pgmtool_amount(QWORD count, const char* unit)
{
    return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}

bool pgmtool_count_ok(const char* name, int value, int minimum)
{
    if (value >= minimum)
        return true;
    PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "--%s must be at least %d, not %d", name, minimum, value);
    return false;
}

void pgmtool_commit_output(FIO_ATOMIC_FILE& output, const std::string& path)
{
    // errno still tells why the temporary file could not be made or written.
    if (output.commit())
        return;
    std::string reason = errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
    throw PGMTOOL_FAILURE("Can't write file " + path + reason);
}

void pgmtool_write_output(const std::string& path, const BYTE* data, size_t size)
{
    errno = 0;
    FIO_ATOMIC_FILE output(path);
    PGMTOOL_PROGRESS progress("Writing " + path, size);
    const size_t piece = size_t(1) << 20;
    for (size_t done = 0; done < size && output.stream(); done += piece) {
        size_t count = std::min(piece, size - done);
        if (!output.write(data + done, count))
            break;
        progress.advance(count);
    }
    pgmtool_commit_output(output, path);
}
