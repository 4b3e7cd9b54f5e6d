// pgmtool: the library's functions on the command line.
#include "pgmtool_frame.h"

#include "host/con.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>

int pgmtool_version(int argc, const char** argv);

namespace {

const PGMTOOL_COMMAND* find_command(const std::string& name)
{
    for (const PGMTOOL_COMMAND& command : pgmtool_commands()) {
        if (PGM_COMMON::compare_string(command.name, name, false))
            return &command;
    }
    return NULL;
}

std::vector<std::string> command_list()
{
    std::vector<std::string> lines = {"", "Commands:"};
    for (const PGMTOOL_COMMAND& command : pgmtool_commands()) {
        std::string name = command.name;
        name.resize(std::max<size_t>(name.size() + 1, 10), ' ');
        lines.push_back("  " + name + command.summary);
    }
    lines.push_back("");
    lines.push_back("\"pgmtool COMMAND --help\" describes a command. Every command also takes");
    lines.push_back("--ini=NAME=VALUE, which sets a configuration setting for the run.");
    return lines;
}

// Without a command: the list of commands, or the version.
int run_top_level(int argc, const char** argv)
{
    bool version = false;
    PGMTOOL_ARGS args("", {"COMMAND [OPTIONS] [FILES]"}, command_list(), "pgmtool hexinfo fw.hex");
    args.flag("version", version, "Print the versions of pgmtool and of the suite");
    if (!args.parse(argc, argv, 0, 0))
        return PGMTOOL_OK;
    if (version) {
        const char* words[] = {"version"};
        return pgmtool_version(1, words);
    }
    args.print_help(false, stderr);
    return PGMTOOL_USAGE_ERROR;
}

int run(int argc, const char** argv)
{
    if (argc < 2 || argv[1][0] == '-')
        return run_top_level(argc, argv);
    const PGMTOOL_COMMAND* command = find_command(argv[1]);
    if (!command)
        throw PGMTOOL_USAGE("unknown command \"" + std::string(argv[1]) + "\"");
    return command->run(argc - 1, argv + 1);
}

// The command, with its failures told on standard error.
int run_guarded(int argc, const char** argv)
{
    try {
        return run(argc, argv);
    } catch (const PGMTOOL_USAGE& error) {
        pgmtool_diagnose(error);
        const PGMTOOL_COMMAND* command = argc > 1 ? find_command(argv[1]) : NULL;
        std::string help = command != NULL ? std::string("pgmtool ") + command->name + " --help" : "pgmtool --help";
        std::fprintf(stderr, "Try \"%s\" for more information.\n", help.c_str());
        return PGMTOOL_USAGE_ERROR;
    } catch (const PGMTOOL_FAILURE& error) {
        pgmtool_diagnose(error);
    } catch (const PGM_INTERNAL_ERROR& error) {
        // A check of the library failed outside any file: a fault of the program.
        pgmtool_diagnose(PGMTOOL_ERROR, "", 0,
                         "internal error: " + std::string(error.what()) + " (" + error.file() + ":" +
                             std::to_string(error.line()) + ")");
    } catch (const std::bad_alloc&) {
        pgmtool_diagnose(PGMTOOL_ERROR, "", 0, "out of memory");
    } catch (const std::exception& error) {
        pgmtool_diagnose(PGMTOOL_ERROR, "", 0, error.what());
    }
    return PGMTOOL_WORK_FAILED;
}

// Results that never reached standard output (a full disk, a closed pipe
// end) make the run a failure, as coreutils' close_stdout does.
int close_stdout(int exit_code)
{
    errno = 0;
    std::cout.flush();
    bool failed = !std::cout.good() || std::fflush(stdout) != 0 || std::ferror(stdout);
    int error = errno;
    failed = std::fclose(stdout) != 0 || failed;
    if (!failed)
        return exit_code;
    // Standard output is closed now: the line is written without the frame.
    std::fprintf(stderr, "<stdout>: error: cannot write: %s\n", std::strerror(error != 0 ? error : errno));
    return PGMTOOL_WORK_FAILED;
}

} // namespace

int main(int argc, const char** argv)
{
    // Standard output carries results only: messages go to standard error.
    con_set_stream(stderr);
    msg_set_printer(pgmtool_print_catalogue);
    return close_stdout(run_guarded(argc, argv));
}
