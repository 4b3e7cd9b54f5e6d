// pgmtool param: list, get and set the parameters of a parameter file.
#include "pgmtool_frame.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char* const INVALID_LINE = "Found invalid format on line \"";

// The lines of a file, blank lines included, so that each has its number.
std::vector<std::string> numbered_lines(const std::string& path)
{
    std::vector<std::string> lines;
    PGM_COMMON::pgm_open_input_file(path, lines, 0, true, true);
    return lines;
}

// The number (from 1) of the first line of the file that is text; 0 when none.
long line_of(const std::string& path, const std::string& text)
{
    const std::vector<std::string> lines = numbered_lines(path);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == text)
            return long(i + 1);
    }
    return 0;
}

// The number of the first comment line that holds the parameter as write
// puts a commented one ("# NAME  = ..."); 0 when none.
long commented_line_of(const std::string& path, const std::string& name)
{
    const std::vector<std::string> lines = numbered_lines(path);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        size_t at = line.find_first_not_of(' ');
        if (at == std::string::npos || line[at] != '#')
            continue;
        at = line.find_first_not_of(' ', at + 1);
        if (at == std::string::npos || line.compare(at, name.size(), name) != 0)
            continue;
        at = line.find_first_not_of(' ', at + name.size());
        if (at != std::string::npos && line[at] == '=')
            return long(i + 1);
    }
    return 0;
}

void read_parameters(PGM_COMMON_PARAM_FILE_MANAGER& parameters, const std::string& shown, const std::string& path)
{
    pgmtool_reading(shown, {"parameter file", {}}, [&] {
        std::string error;
        if (parameters.read(path, error))
            return true;
        if (error.compare(0, std::strlen(INVALID_LINE), INVALID_LINE) != 0)
            throw PGMTOOL_FAILURE(shown, "cannot read: the compressed data are damaged or cut short");
        const std::string line = error.substr(std::strlen(INVALID_LINE), error.size() - std::strlen(INVALID_LINE) - 1);
        throw PGMTOOL_FAILURE(shown, "the line is not a parameter NAME = \"VALUE\" (one \"=\", then a value)",
                              line_of(path, line));
    });
}

void write_parameters(PGM_COMMON_PARAM_FILE_MANAGER& parameters, const std::string& path)
{
    pgmtool_writing(path, "parameters.txt", [&](const std::string& target) {
        std::string error;
        errno = 0;
        if (parameters.write(target, error))
            return;
        const std::string failed = "Fail to write " + target;
        int reason = errno;
        if (error.size() > failed.size() + 2 && error.compare(0, failed.size() + 2, failed + ": ") == 0)
            throw PGMTOOL_FAILURE(path == "-" ? "<stdout>" : path, "cannot write: " + error.substr(failed.size() + 2));
        throw PGMTOOL_FAILURE(path == "-" ? "<stdout>" : path,
                              "cannot write" + (reason != 0 ? ": " + std::string(std::strerror(reason)) : ""));
    });
}

void get_parameter(const PGM_COMMON_PARAM_FILE_MANAGER& parameters, const std::string& shown,
                   const std::string& path, const std::string& name)
{
    std::string value;
    bool comment = false;
    if (parameters.get_value(name, value, comment)) {
        std::printf("%s\n", value.c_str());
        return;
    }
    long line = commented_line_of(path, name);
    if (line > 0)
        throw PGMTOOL_FAILURE(shown, "parameter \"" + name + "\" is only commented out (a \"#\" line), not set", line);
    throw PGMTOOL_FAILURE(shown, "no parameter \"" + name + "\"");
}

} // namespace

int pgmtool_param(int argc, const char** argv)
{
    std::string get, set;
    bool comment = false;
    PGMTOOL_ARGS args("param", {"param FILE", "param FILE --get=NAME", "param FILE --set=NAME=VALUE [--comment]"},
                      {"Reads a parameter file of NAME = \"VALUE\" lines (\"-\": standard input) and lists its",
                       "parameters as NAME=VALUE lines, prints the value of one (--get), or sets one and",
                       "writes the file again (--set; \"-\" writes to standard output). --set on a missing",
                       "FILE starts it. The file is written anew from its parameters, in name order: its",
                       "comment lines are not kept. A parameter that would not read back as it is set",
                       "(\"=\", a double quote, a tab or line break, spaces around, an empty name)",
                       "is refused and nothing is written."},
                      "pgmtool param device.par --set=JTAG_FREQUENCY=6000");
    args.text("get=NAME", get, "Print the value of the parameter NAME");
    args.text("set=NAME=VALUE", set, "Set the parameter NAME to VALUE and write the file");
    args.flag("comment", comment, "With --set: write the parameter as a comment line, which documents it unset");
    if (!args.parse(argc, argv, 1, 1))
        return PGMTOOL_OK;
    if (!get.empty() && !set.empty())
        throw PGMTOOL_USAGE("--get and --set cannot be given together");
    if (comment && set.empty())
        throw PGMTOOL_USAGE("--comment goes with --set");
    if (!set.empty() && set.find('=') == std::string::npos)
        throw PGMTOOL_USAGE("--set needs NAME=VALUE, not \"" + set + "\"");
    const std::string& file = args.files()[0];
    PGM_COMMON_PARAM_FILE_MANAGER parameters;
    // --set on a file that does not exist starts it.
    FIO_STAT record;
    bool starts = !set.empty() && file != "-" && !FIO_FILE_SYSTEM::status(file, record) && errno == ENOENT;
    std::string path;
    if (!starts) {
        path = args.input(file);
        read_parameters(parameters, file, path);
    }
    if (!get.empty()) {
        get_parameter(parameters, file, path, get);
        return PGMTOOL_OK;
    }
    if (!set.empty()) {
        size_t equal = set.find('=');
        parameters.set_value(set.substr(0, equal), set.substr(equal + 1), comment);
        write_parameters(parameters, file);
        return PGMTOOL_OK;
    }
    for (const auto& entry : *parameters.get_param_value_map())
        std::printf("%s=%s\n", entry.first.c_str(), entry.second.value.c_str());
    return PGMTOOL_OK;
}
