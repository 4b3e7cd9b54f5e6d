// The command line of a pgmtool command: words brought into the form of
// the library's parser, parsed by it, and the help.
#include "pgmtool_frame.h"

#include "host/con.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The library's built-in arguments, which every command takes.
const char* const INI = "ini";
const char* const UNHIDE_ALL_ARG = "unhide_all_arg";

// The name of an option as the table has it: dashes are underscores.
std::string table_name(std::string name)
{
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

// The name as people type it: underscores are dashes.
std::string typed_name(std::string name)
{
    std::replace(name.begin(), name.end(), '_', '-');
    return name;
}

bool same_name(const std::string& a, const std::string& b)
{
    return PGM_COMMON::compare_string(table_name(a), table_name(b), false);
}

// Gives the console stream back as it was when this was made.
class CONSOLE_REDIRECT {
public:
    CONSOLE_REDIRECT() : before_(con_stream()) {}
    ~CONSOLE_REDIRECT() { con_set_stream(before_); }
    CONSOLE_REDIRECT(const CONSOLE_REDIRECT&) = delete;
    CONSOLE_REDIRECT& operator=(const CONSOLE_REDIRECT&) = delete;
    void to(FILE* stream) { con_set_stream(stream); }

private:
    FILE* before_;
};

// What the library's parser prints while it runs, kept instead of shown:
// the console stream points at memory meanwhile.
class CONSOLE_CAPTURE {
public:
    CONSOLE_CAPTURE() : stream_(open_memstream(&buffer_, &size_))
    {
        if (stream_ != nullptr)
            redirect_.to(stream_);
    }
    ~CONSOLE_CAPTURE()
    {
        if (stream_ != nullptr)
            std::fclose(stream_);
        std::free(buffer_);
    }
    CONSOLE_CAPTURE(const CONSOLE_CAPTURE&) = delete;
    CONSOLE_CAPTURE& operator=(const CONSOLE_CAPTURE&) = delete;

    std::string text()
    {
        if (stream_ == nullptr)
            return "";
        std::fflush(stream_);
        return std::string(buffer_, size_);
    }

private:
    CONSOLE_REDIRECT redirect_; // destroyed after the body closes stream_; nothing prints between
    char* buffer_ = nullptr;
    size_t size_ = 0;
    FILE* stream_;
};

// The parser's message without its "Error: " prefix and line end.
std::string parser_message(std::string text)
{
    const std::string prefix = "Error: ";
    if (text.compare(0, prefix.size(), prefix) == 0)
        text.erase(0, prefix.size());
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text.empty() ? "the command line is not valid" : text;
}

} // namespace

PGMTOOL_ARGS::PGMTOOL_ARGS(std::string command, std::vector<std::string> usage, std::vector<std::string> about,
                           std::string example)
    : command_(std::move(command)), usage_(std::move(usage)), about_(std::move(about)), example_(std::move(example))
{
    // The parser wants at least one entry; help is never handed to it.
    add("help", PGM_COMMON_CMD_ARG_FLAG, &help_, "Print this help (--help=all: with the parser's listing)", false);
}

PGMTOOL_ARGS::~PGMTOOL_ARGS() = default;

void PGMTOOL_ARGS::add(const std::string& name, PGM_COMMON_CMD_ARG_TYPE type, void* value, const std::string& help,
                       bool may_be_empty)
{
    size_t equal = name.find('=');
    std::string bare = name.substr(0, equal);
    std::string placeholder = equal == std::string::npos ? "" : name.substr(equal + 1);
    if (placeholder.empty() && type != PGM_COMMON_CMD_ARG_FLAG)
        placeholder = type == PGM_COMMON_CMD_ARG_INTEGER ? "N" : "TEXT";
    options_.push_back({bare, placeholder, help, type, value, may_be_empty, nullptr});
    table_.push_back({bare, type, value, false, false, help});
}

void PGMTOOL_ARGS::flag(const std::string& name, bool& value, const std::string& help)
{
    add(name, PGM_COMMON_CMD_ARG_FLAG, &value, help, false);
}

void PGMTOOL_ARGS::integer(const std::string& name, int& value, const std::string& help)
{
    add(name, PGM_COMMON_CMD_ARG_INTEGER, &value, help, false);
}

void PGMTOOL_ARGS::text(const std::string& name, std::string& value, const std::string& help)
{
    add(name, PGM_COMMON_CMD_ARG_STRING, &value, help, false);
}

void PGMTOOL_ARGS::text_or_empty(const std::string& name, std::string& value, const std::string& help)
{
    add(name, PGM_COMMON_CMD_ARG_STRING, &value, help, true);
}

void PGMTOOL_ARGS::texts(const std::string& name, std::vector<std::string>& values, const std::string& help)
{
    repeated_.emplace_back();
    add(name, PGM_COMMON_CMD_ARG_STRING, &repeated_.back(), help, false);
    options_.back().values = &values;
}

bool PGMTOOL_ARGS::given_empty(const std::string& name) const
{
    return std::find(given_empty_.begin(), given_empty_.end(), name) != given_empty_.end();
}

const PGMTOOL_ARGS::OPTION* PGMTOOL_ARGS::find(const std::string& name) const
{
    static const OPTION built_in[] = {{INI, "NAME=VALUE", "", PGM_COMMON_CMD_ARG_STRING, nullptr, false, nullptr},
                                      {UNHIDE_ALL_ARG, "", "", PGM_COMMON_CMD_ARG_FLAG, nullptr, false, nullptr}};
    for (const OPTION& option : options_) {
        if (same_name(option.name, name))
            return &option;
    }
    for (const OPTION& option : built_in) {
        if (same_name(option.name, name))
            return &option;
    }
    return nullptr;
}

// 0: no help asked for; 1: the short help; 2: with the parser's listing.
int PGMTOOL_ARGS::help_asked(const std::vector<std::string>& words) const
{
    int asked = 0;
    for (const std::string& word : words) {
        if (word == "--")
            break;
        if (word.size() < 2 || word[0] != '-')
            continue;
        std::string bare = word.substr(std::min(word.find_first_not_of('-'), word.size()));
        std::string name = bare.substr(0, bare.find('='));
        if (!same_name(name, "h") && !same_name(name, "help"))
            continue;
        if (name != bare && !PGM_COMMON::compare_string(bare.substr(name.size()), "=all", false))
            throw PGMTOOL_USAGE("--help takes no value, or \"=all\": " + word);
        asked = std::max(asked, name != bare ? 2 : 1);
    }
    return asked;
}

// The option words in the parser's form, "--name=value"; the files go to
// files_, and "--name=" of a text that may be empty to given_empty_.
std::vector<std::string> PGMTOOL_ARGS::normalise(const std::vector<std::string>& words)
{
    std::vector<std::string> options;
    bool options_ended = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (options_ended || word.size() < 2 || word[0] != '-') {
            files_.push_back(word);
            continue;
        }
        if (word == "--") {
            options_ended = true;
            continue;
        }
        std::string bare = word.substr(std::min(word.find_first_not_of('-'), word.size()));
        size_t equal = bare.find('=');
        std::string name = table_name(bare.substr(0, equal));
        const OPTION* option = find(name);
        if (option == nullptr) {
            options.push_back("--" + name + (equal == std::string::npos ? "" : bare.substr(equal)));
            continue; // the parser says it is not supported
        }
        bool valued = option->type != PGM_COMMON_CMD_ARG_FLAG;
        if (valued && equal == std::string::npos && i + 1 == words.size())
            throw PGMTOOL_USAGE("--" + typed_name(option->name) + " needs a value (--" + typed_name(option->name) +
                                "=" + option->placeholder + ")");
        std::string value = equal != std::string::npos ? bare.substr(equal + 1) : valued ? words[++i] : "";
        bool has_value = equal != std::string::npos || valued;
        if (option->values != nullptr) {
            if (value.empty())
                throw PGMTOOL_USAGE("--" + typed_name(option->name) + " needs a value (--" +
                                    typed_name(option->name) + "=" + option->placeholder + ")");
            option->values->push_back(value);
            continue;
        }
        if (option->may_be_empty && has_value && value.empty()) {
            if (!given_empty(option->name))
                given_empty_.push_back(option->name);
            continue;
        }
        if (option->type == PGM_COMMON_CMD_ARG_INTEGER)
            check_range(name, value);
        options.push_back("--" + name + (has_value ? "=" + value : ""));
    }
    return options;
}

// The library's parser keeps the low 32 bits of a larger number, so
// "--count=4294967297" would count 1: a number outside the range of the
// integer is refused here. Text that is no number at all is left to the
// parser's own message.
void PGMTOOL_ARGS::check_range(const std::string& name, const std::string& value) const
{
    bool negative = !value.empty() && value[0] == '-';
    std::string digits = value.substr(negative ? 1 : 0);
    if (digits.empty())
        return;
    bool number = true;
    QWORD magnitude = PGM_COMMON::convert_string_to_qword(digits, false, &number, NULL, false);
    if (number && magnitude > (negative ? QWORD(INT_MAX) + 1 : QWORD(INT_MAX)))
        throw PGMTOOL_USAGE("--" + typed_name(name) + "=" + value + " is out of range (" + std::to_string(INT_MIN) +
                            " to " + std::to_string(INT_MAX) + ")");
}

void PGMTOOL_ARGS::run_parser(const std::vector<std::string>& options)
{
    std::vector<const char*> argv = {command_.c_str()};
    for (const std::string& option : options)
        argv.push_back(option.c_str());
    std::vector<std::string> no_files;
    CONSOLE_CAPTURE capture;
    PGM_COMMON_CMD_ERROR error = PGM_COMMON_CMD::parse_argument(int(argv.size()), argv.data(), DWORD(table_.size()),
                                                                table_.data(), no_files, NULL);
    if (error != PGM_COMMON_CMD_ERROR_NONE)
        throw PGMTOOL_USAGE(parser_message(capture.text()));
}

void PGMTOOL_ARGS::check_file_count(size_t min_files, size_t max_files) const
{
    size_t found = files_.size();
    if (found >= min_files && found <= max_files)
        return;
    std::string expected;
    if (max_files == size_t(-1))
        expected = "at least " + pgmtool_amount(min_files, "file argument");
    else if (max_files == 0)
        expected = "no file arguments";
    else if (min_files == max_files)
        expected = pgmtool_amount(min_files, "file argument");
    else
        expected = std::to_string(min_files) + " to " + pgmtool_amount(max_files, "file argument");
    std::string name = command_.empty() ? "pgmtool" : command_;
    throw PGMTOOL_USAGE(name + " takes " + expected + ", not " + std::to_string(found));
}

bool PGMTOOL_ARGS::parse(int argc, const char** argv, size_t min_files, size_t max_files)
{
    std::vector<std::string> words(argv + std::min(argc, 1), argv + std::max(argc, 1));
    if (int asked = help_asked(words)) {
        print_help(asked == 2);
        return false;
    }
    run_parser(normalise(words));
    check_file_count(min_files, max_files);
    return true;
}

void PGMTOOL_ARGS::print_help(bool all, FILE* out) const
{
    // A form that begins with spaces goes on with the one before it.
    std::string prefix = "Usage: ";
    for (const std::string& line : usage_) {
        bool continued = !line.empty() && line[0] == ' ';
        std::fprintf(out, "%s%s%s\n", prefix.c_str(), continued ? "        " : "pgmtool ", line.c_str());
        prefix.assign(prefix.size(), ' ');
    }
    for (const std::string& line : about_)
        std::fprintf(out, "%s\n", line.c_str());
    std::vector<std::pair<std::string, std::string>> lines;
    std::vector<OPTION> listed(options_.begin() + 1, options_.end()); // help comes last
    listed.push_back(options_.front());
    for (const OPTION& option : listed) {
        std::string name = option.name == "help" ? "-h, --help" : "--" + typed_name(option.name);
        std::string help = option.help;
        if (option.type == PGM_COMMON_CMD_ARG_INTEGER)
            help += " (default " + std::to_string(*static_cast<const int*>(option.value)) + ")";
        else if (option.type == PGM_COMMON_CMD_ARG_STRING && !static_cast<const std::string*>(option.value)->empty())
            help += " (default " + *static_cast<const std::string*>(option.value) + ")";
        lines.push_back({name + (option.placeholder.empty() ? "" : "=" + option.placeholder), help});
    }
    size_t width = 0;
    for (const auto& line : lines)
        width = std::max(width, line.first.size());
    std::fprintf(out, "\nOptions:\n");
    for (const auto& line : lines)
        std::fprintf(out, "  %-*s  %s\n", int(width), line.first.c_str(), line.second.c_str());
    std::fprintf(out, "\nExample: %s\n", example_.c_str());
    std::fflush(out);
    if (!all)
        return;
    std::vector<PGM_COMMON_CMD_HELP_STRUCT> usage;
    for (const std::string& line : usage_) {
        std::string format; // usage lines are print formats: "%" is written "%%"
        for (char c : "pgmtool " + line)
            format += c == '%' ? std::string("%%") : std::string(1, c);
        usage.push_back({1, format});
    }
    std::vector<std::string> no_files;
    CONSOLE_REDIRECT redirect;
    redirect.to(out);
    PGM_COMMON_CMD::print_help(false, DWORD(table_.size()), table_.data(), no_files, DWORD(usage.size()),
                               usage.data());
}

void PGMTOOL_ARGS::summary(const char* format, ...) const
{
    FILE* out = stdout_taken_ ? stderr : stdout;
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
    std::fputc('\n', out);
    std::fflush(out);
}

void pgmtool_at_least(const char* name, int value, int minimum)
{
    if (value < minimum)
        throw PGMTOOL_USAGE("--" + typed_name(name) + " must be at least " + std::to_string(minimum) + ", not " +
                            std::to_string(value));
}

std::string pgmtool_amount(QWORD count, const char* unit)
{
    return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}
