// The frame every pgmtool command stands on: its table of commands,
// argument parsing with help, reading input and reporting failure.
#pragma once

#include "pgm/h/pgm_common_export.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Exit codes of pgmtool.
const int PGMTOOL_OK = 0;
const int PGMTOOL_USAGE_ERROR = 1; // the command line was wrong; already reported
const int PGMTOOL_WORK_FAILED = 2; // the work failed; reported as "Error: " + text

// Thrown by a command when its work fails; main prints "Error: " + what().
class PGMTOOL_FAILURE : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct PGMTOOL_COMMAND {
    const char* name;
    const char* summary;                          // one line for the command list
    std::function<int(int, const char**)> run;    // argv[0] is the command's name
};

// Every command, in the order of the listing.
const std::vector<PGMTOOL_COMMAND>& pgmtool_commands();

// A command's arguments: the table it is parsed against and its usage
// lines. A "help" flag is added to every table.
class PGMTOOL_ARGS {
public:
    PGMTOOL_ARGS(std::string command, std::vector<std::string> usage);

    void flag(const std::string& name, bool& value, const std::string& help);
    void integer(const std::string& name, int& value, const std::string& help);
    void text(const std::string& name, std::string& value, const std::string& help);
    // A text that may be given empty ("--name="), which the parser alone
    // refuses; given_empty tells whether it was.
    void text_or_empty(const std::string& name, std::string& value, const std::string& help);
    bool given_empty(const std::string& name) const;

    // Parses argv (argv[0] is the command's name). Returns -1 when the
    // command should go on, or the exit code to leave with: after printing
    // the help, or after a wrong command line. The file count must lie
    // between min_files and max_files.
    int parse(int argc, const char** argv, size_t min_files, size_t max_files);

    const std::vector<std::string>& files() const { return files_; }
    void print_help();

private:
    std::string command_;
    std::vector<PGM_COMMON_CMD_HELP_STRUCT> usage_;
    std::vector<PGM_COMMON_CMD_ARG_STRUCT> table_;
    std::vector<std::string> files_;
    void take_out_empty_texts(std::vector<const char*>& words);
    static std::vector<size_t> take_out_dashes(std::vector<const char*>& words);
    bool integers_in_range(const std::vector<const char*>& words) const;
    int usage_error() const;

    std::vector<std::string> integers_;     // names of integer arguments
    std::vector<std::string> may_be_empty_; // names of text_or_empty arguments
    std::vector<std::string> given_empty_;  // those given as "--name="
    bool help_ = false;
};

// Shows "WHAT NN%" on standard error while long work goes on, when
// standard error is a terminal and the work is large enough to wait for.
class PGMTOOL_PROGRESS {
public:
    PGMTOOL_PROGRESS(const std::string& what, uint64_t total);
    ~PGMTOOL_PROGRESS();
    PGMTOOL_PROGRESS(const PGMTOOL_PROGRESS&) = delete;
    PGMTOOL_PROGRESS& operator=(const PGMTOOL_PROGRESS&) = delete;
    void advance(uint64_t amount);

private:
    std::string what_;
    uint64_t total_;       // amount of the whole work
    uint64_t done_ = 0;    // amount done so far
    bool shown_;           // whether anything is shown at all
    int last_percent_ = -1; // last percentage shown, -1 before the first
};

// Work below this many bytes shows no progress.
const uint64_t PGMTOOL_PROGRESS_MIN = uint64_t(256) << 20;

// Calls consume for each piece of a file, read in order ("-" is standard
// input); throws PGMTOOL_FAILURE naming the file when it cannot be read.
void pgmtool_read_file_pieces(const std::string& path, const std::function<void(const BYTE*, size_t)>& consume);

// ---- Files of the commands ----

// Throws PGMTOOL_FAILURE naming the file when it is missing or is not a
// regular file.
void pgmtool_check_input(const std::string& path);
// "1 byte", "2 bytes".
std::string pgmtool_amount(QWORD count, const char* unit);
// False, after saying so, when an --name value is below minimum.
bool pgmtool_count_ok(const char* name, int value, int minimum);
// Writes the whole output through a temporary file and a rename; throws
// PGMTOOL_FAILURE when it cannot, leaving any old file as it was.
void pgmtool_write_output(const std::string& path, const BYTE* data, size_t size);
// Commits an output written through its stream; throws as above.
void pgmtool_commit_output(FIO_ATOMIC_FILE& output, const std::string& path);
