#include "pgmtool_frame.h"

#include <algorithm>
#include <cerrno>
#include <climits>
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
    integers_.push_back(name);
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

// The words "--NAME=" (any number of dashes, any case) of the arguments
// that may be empty are taken out before the parser sees them.
void PGMTOOL_ARGS::take_out_empty_texts(std::vector<const char*>& words)
{
    for (const std::string& name : may_be_empty_) {
        for (auto word = words.begin() + 1; word != words.end();) {
            const char* bare = *word + std::strspn(*word, "-");
            bool empty = bare != *word && PGM_COMMON::compare_string(bare, name + "=", false);
            if (empty && !given_empty(name))
                given_empty_.push_back(name);
            word = empty ? words.erase(word) : word + 1;
        }
    }
}

// "-" (standard input or output) is a file to pgmtool but a nameless
// argument to the parser: it is taken out, and the result tells where
// each one stands among the files.
std::vector<size_t> PGMTOOL_ARGS::take_out_dashes(std::vector<const char*>& words)
{
    std::vector<size_t> dashes;
    size_t file_count = 0;
    for (auto word = words.begin() + 1; word != words.end();) {
        bool dash = std::strcmp(*word, "-") == 0;
        if (dash)
            dashes.push_back(file_count);
        file_count += dash || (*word)[0] != '-' ? 1 : 0;
        word = dash ? words.erase(word) : word + 1;
    }
    return dashes;
}

int PGMTOOL_ARGS::usage_error() const
{
    PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_PLAIN, 0, "Run \"pgmtool %s --help\" for the arguments.",
                              command_.c_str());
    return PGMTOOL_USAGE_ERROR;
}

int PGMTOOL_ARGS::parse(int argc, const char** argv, size_t min_files, size_t max_files)
{
    std::vector<const char*> words(argv, argv + std::max(argc, 1));
    take_out_empty_texts(words);
    std::vector<size_t> dashes = take_out_dashes(words);
    if (!integers_in_range(words))
        return usage_error();
    PGM_COMMON_CMD_ERROR error = PGM_COMMON_CMD::parse_argument(int(words.size()), words.data(), DWORD(table_.size()),
                                                                table_.data(), files_, NULL);
    for (size_t position : dashes)
        files_.insert(files_.begin() + std::ptrdiff_t(std::min(position, files_.size())), "-");
    if (error != PGM_COMMON_CMD_ERROR_NONE)
        return usage_error();
    if (help_) {
        print_help();
        return PGMTOOL_OK;
    }
    if (files_.size() < min_files || files_.size() > max_files) {
        std::string expected = min_files == max_files ? std::to_string(min_files)
                                                      : std::to_string(min_files) + " to " + std::to_string(max_files);
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "%s expects %s file argument(s) but found %zu",
                                  command_.c_str(), expected.c_str(), files_.size());
        return usage_error();
    }
    return -1;
}

// The library's parser keeps the low 32 bits of a larger number, so
// "--count=4294967297" would count 1: a number outside the range of the
// integer is refused here. Text that is no number at all is left to the
// parser's own message.
bool PGMTOOL_ARGS::integers_in_range(const std::vector<const char*>& words) const
{
    for (size_t i = 1; i < words.size(); ++i) {
        const char* bare = words[i] + std::strspn(words[i], "-");
        const char* equal = std::strchr(bare, '=');
        if (bare == words[i] || equal == nullptr)
            continue;
        std::string name(bare, equal), value(equal + 1);
        bool integer = std::any_of(integers_.begin(), integers_.end(), [&name](const std::string& known) {
            return PGM_COMMON::compare_string(known, name, false);
        });
        bool negative = !value.empty() && value[0] == '-';
        std::string digits = value.substr(negative ? 1 : 0);
        if (!integer || digits.empty())
            continue;
        bool number = true;
        QWORD magnitude = PGM_COMMON::convert_string_to_qword(digits, false, &number, NULL, false);
        if (number && magnitude > (negative ? QWORD(INT_MAX) + 1 : QWORD(INT_MAX))) {
            PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "--%s=%s is out of range (%d to %d)", name.c_str(),
                                      value.c_str(), INT_MIN, INT_MAX);
            return false;
        }
    }
    return true;
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
    const bool standard_input = path == "-";
    std::unique_ptr<FILE, int (*)(FILE*)> file(standard_input ? stdin : std::fopen(path.c_str(), "rb"),
                                               standard_input ? [](FILE*) { return 0; } : &std::fclose);
    const std::string name = standard_input ? std::string("standard input") : "file " + path;
    if (!file)
        throw PGMTOOL_FAILURE("Can't read " + name + ": " + std::strerror(errno));
    struct stat record;
    uint64_t size = fstat(fileno(file.get()), &record) == 0 && S_ISREG(record.st_mode) ? uint64_t(record.st_size) : 0;
    PGMTOOL_PROGRESS progress("Reading " + path, size);
    std::vector<BYTE> piece(size_t(1) << 20);
    size_t count = 0;
    while ((count = std::fread(piece.data(), 1, piece.size(), file.get())) > 0) {
        consume(piece.data(), count);
        progress.advance(count);
    }
    if (std::ferror(file.get()))
        throw PGMTOOL_FAILURE("Can't read " + name + ": " + std::strerror(errno));
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
