// The frame every pgmtool command stands on: its table of commands, the
// command line with help, the files a command reads and writes, and one
// way of reporting what went wrong.
//
// Standard output carries results only. Errors, warnings and notes go to
// standard error, one line each:
//   FILE:LINE: error: TEXT     about a line of a file
//   FILE: error: TEXT          about a file
//   pgmtool: error: TEXT       about nothing in particular (the command line)
// with "warning" in place of "error" for warnings. Standard input is shown
// as "<stdin>", standard output as "<stdout>".
#pragma once

#include "pgm/h/pgm_common_export.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// Exit codes of pgmtool.
const int PGMTOOL_OK = 0;
const int PGMTOOL_USAGE_ERROR = 1; // the command line was wrong
const int PGMTOOL_WORK_FAILED = 2; // the work failed

// Thrown when the work fails (exit code 2). Names the file, and the line
// of it, where the failure has one.
class PGMTOOL_FAILURE : public std::runtime_error {
public:
    explicit PGMTOOL_FAILURE(const std::string& text) : std::runtime_error(text) {}
    PGMTOOL_FAILURE(std::string file, const std::string& text, long line = 0)
        : std::runtime_error(text), file_(std::move(file)), line_(line)
    {
    }
    // A failure whose reason has been printed already.
    static PGMTOOL_FAILURE told();

    const std::string& file() const { return file_; } // empty: no file
    long line() const { return line_; }               // 0: no line
    bool is_told() const { return told_; }

private:
    std::string file_;
    long line_ = 0;
    bool told_ = false;
};

// Thrown for a wrong command line (exit code 1).
class PGMTOOL_USAGE : public PGMTOOL_FAILURE {
public:
    using PGMTOOL_FAILURE::PGMTOOL_FAILURE;
};

enum PGMTOOL_SEVERITY { PGMTOOL_ERROR, PGMTOOL_WARNING, PGMTOOL_NOTE };

// Prints one line on standard error in the form above; file is a path as
// the user gave it ("-": standard input), or empty.
void pgmtool_diagnose(PGMTOOL_SEVERITY severity, const std::string& file, long line, const std::string& text);
// Prints a failure in that form.
void pgmtool_diagnose(const PGMTOOL_FAILURE& failure);
// Prints the catalogue messages of the library in that form, about the
// file being read (pgmtool_reading); installed by main.
void pgmtool_print_catalogue(const MSG_RECORD& record);

struct PGMTOOL_COMMAND {
    const char* name;
    const char* summary;                          // one line for the command list
    std::function<int(int, const char**)> run;    // argv[0] is the command's name
};

// Every command, in the order of the listing.
const std::vector<PGMTOOL_COMMAND>& pgmtool_commands();

// A command's command line: its options, its files and its help.
//
// Options are parsed by the library's parser after the words are brought
// into its form: "--name value" becomes "--name=value", dashes in a name
// become underscores, "-h" is "--help", and after "--" every word is a
// file. "-" is a file: standard input or output.
class PGMTOOL_ARGS {
public:
    // usage: the forms of the command line after "pgmtool "; about: a few
    // lines on what the command does; example: one command line.
    PGMTOOL_ARGS(std::string command, std::vector<std::string> usage, std::vector<std::string> about,
                 std::string example);
    ~PGMTOOL_ARGS();
    PGMTOOL_ARGS(const PGMTOOL_ARGS&) = delete;
    PGMTOOL_ARGS& operator=(const PGMTOOL_ARGS&) = delete;

    // Options. A name may name its value's placeholder: "max_size=N".
    void flag(const std::string& name, bool& value, const std::string& help);
    void integer(const std::string& name, int& value, const std::string& help);
    void text(const std::string& name, std::string& value, const std::string& help);
    // A text that may be given empty ("--name="), which the parser alone
    // refuses; given_empty tells whether it was.
    void text_or_empty(const std::string& name, std::string& value, const std::string& help);
    bool given_empty(const std::string& name) const;
    // A text that may be given many times; each value is appended to
    // values, in the order given. The library's parser refuses an option
    // given twice, so these never reach it.
    void texts(const std::string& name, std::vector<std::string>& values, const std::string& help);

    // Parses argv (argv[0] is the command's name). False after printing
    // the help that was asked for; throws PGMTOOL_USAGE for a wrong command
    // line, also when the number of files is not min_files to max_files.
    bool parse(int argc, const char** argv, size_t min_files, size_t max_files);
    const std::vector<std::string>& files() const { return files_; }
    // Prints the help: the short one, or with the parser's own listing.
    void print_help(bool all, FILE* out = stdout) const;

    // Declares an input file: it must be a regular file that can be read,
    // and no output of the command. Returns the path to hand the library;
    // for "-" a file holding what standard input gave.
    std::string input(const std::string& path);
    // An input read by pgmtool_read_file_pieces, which reads "-" itself.
    const std::string& streamed_input(const std::string& path);
    // Declares an output file: it must not be a folder nor the same file
    // as an input (refused before anything is written). "-" is standard
    // output.
    const std::string& output(const std::string& path);
    // A line of the command's results: on standard output, or on standard
    // error when standard output carries an output file.
    void summary(const char* format, ...) const __attribute__((format(printf, 2, 3)));

private:
    struct OPTION {
        std::string name, placeholder, help;
        PGM_COMMON_CMD_ARG_TYPE type;
        const void* value;
        bool may_be_empty;
        std::vector<std::string>* values; // texts(): where the values go, else null
    };
    // A declared file, with its identity when it exists as a regular file.
    struct KNOWN_FILE {
        std::string path;
        bool output;
        bool exists;
        uint64_t device, inode;
    };

    void add(const std::string& name, PGM_COMMON_CMD_ARG_TYPE type, void* value, const std::string& help,
             bool may_be_empty);
    const OPTION* find(const std::string& name) const;
    int help_asked(const std::vector<std::string>& words) const;
    std::vector<std::string> normalise(const std::vector<std::string>& words);
    void check_range(const std::string& name, const std::string& value) const;
    void run_parser(const std::vector<std::string>& options);
    void check_file_count(size_t min_files, size_t max_files) const;
    void check_distinct(const KNOWN_FILE& file);

    std::string command_;
    std::vector<std::string> usage_, about_;
    std::string example_;
    std::vector<OPTION> options_;
    std::vector<PGM_COMMON_CMD_ARG_STRUCT> table_;
    std::vector<std::string> files_;
    std::vector<std::string> given_empty_; // text_or_empty options given as "--name="
    std::deque<std::string> repeated_;     // what the parser's listing shows of texts() options
    std::vector<KNOWN_FILE> known_;         // inputs and outputs declared so far
    std::vector<std::unique_ptr<FILE, int (*)(FILE*)>> spools_; // standard input kept in files
    bool help_ = false;
    bool stdout_taken_ = false; // an output is "-"
};

// Throws PGMTOOL_USAGE when an --name value is below minimum.
void pgmtool_at_least(const char* name, int value, int minimum);
// "1 byte", "2 bytes".
std::string pgmtool_amount(QWORD count, const char* unit);

// What a file a command reads should hold, for telling what is wrong with
// it: its kind in words, and the library's checks that bad content fails,
// each with what its failure means.
struct PGMTOOL_CONTENT {
    std::string kind;                                        // "hexadecimal record file"
    std::vector<std::pair<std::string, std::string>> checks; // check's text, meaning
};

// Runs read, which has the library read the input path. Meanwhile the
// library's catalogue messages are printed about the file. Read failing
// (false) or the library raising an internal error fails the command, with
// the reason in words: the message the library printed, the meaning of its
// check (the check follows in parentheses), or "is not a valid KIND".
void pgmtool_reading(const std::string& path, const PGMTOOL_CONTENT& content, const std::function<bool()>& read);

// Runs write, which has the library write the output path, given the path
// to write to: a temporary file for "-", copied to standard output after;
// spool_name names that file (the library may want an extension). A missing
// folder of the output is made first; an internal error of the library
// fails the command as "PATH: error: cannot write (CHECK)".
void pgmtool_writing(const std::string& path, const std::string& spool_name,
                     const std::function<void(const std::string&)>& write);

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

// An output being written: standard output for "-", otherwise a temporary
// file renamed onto the name at commit, in a folder made when missing.
class PGMTOOL_OUTPUT {
public:
    explicit PGMTOOL_OUTPUT(const std::string& path);
    ~PGMTOOL_OUTPUT();
    PGMTOOL_OUTPUT(const PGMTOOL_OUTPUT&) = delete;
    PGMTOOL_OUTPUT& operator=(const PGMTOOL_OUTPUT&) = delete;

    FILE* stream() const; // null when the file could not be made
    void write(const BYTE* data, size_t size);
    // Throws PGMTOOL_FAILURE naming the file when it could not be written
    // whole, leaving any old file as it was.
    void commit();

private:
    std::string path_;
    std::unique_ptr<FIO_ATOMIC_FILE> file_; // null for standard output
    int error_ = 0;                          // errno of the first failure
};

// Writes a whole output through PGMTOOL_OUTPUT.
void pgmtool_write_output(const std::string& path, const BYTE* data, size_t size);
