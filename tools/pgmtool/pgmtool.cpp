// pgmtool: the library's functions on the command line.
#include "pgmtool_frame.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>

namespace {

const PGMTOOL_COMMAND* find_command(const std::string& name)
{
    for (const PGMTOOL_COMMAND& command : pgmtool_commands()) {
        if (PGM_COMMON::compare_string(command.name, name, false))
            return &command;
    }
    return NULL;
}

std::vector<std::string> top_usage()
{
    std::vector<std::string> usage = {"pgmtool COMMAND [ARGUMENTS] [FILES]", "", "Commands:"};
    for (const PGMTOOL_COMMAND& command : pgmtool_commands()) {
        std::string name = command.name;
        name.resize(std::max<size_t>(name.size() + 1, 12), ' ');
        usage.push_back("  " + name + command.summary);
    }
    usage.push_back("");
    usage.push_back("\"pgmtool COMMAND --help\" describes a command's arguments.");
    usage.push_back("--ini=NAME=VALUE sets a configuration setting for the run.");
    return usage;
}

// Without a command: "--help" (or nothing) prints the command list.
int run_top_level(int argc, const char** argv)
{
    PGMTOOL_ARGS args("", top_usage());
    int parsed = args.parse(argc, argv, 0, 0);
    if (parsed >= 0)
        return parsed;
    args.print_help();
    return argc > 1 ? PGMTOOL_OK : PGMTOOL_USAGE_ERROR;
}

int run(int argc, const char** argv)
{
    if (argc < 2 || argv[1][0] == '-')
        return run_top_level(argc, argv);
    const PGMTOOL_COMMAND* command = find_command(argv[1]);
    if (!command) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "Unknown command \"%s\"", argv[1]);
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_PLAIN, 0, "Run \"pgmtool --help\" for the list of commands.");
        return PGMTOOL_USAGE_ERROR;
    }
    return command->run(argc - 1, argv + 1);
}

// The command, with its failures reported as "Error: " and their reason.
int run_guarded(int argc, const char** argv)
{
    try {
        return run(argc, argv);
    } catch (const PGM_INTERNAL_ERROR& error) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "%s", error.what());
    } catch (const PGMTOOL_FAILURE& error) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "%s", error.what());
    } catch (const std::bad_alloc&) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "Out of memory");
    } catch (const std::exception& error) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "%s", error.what());
    }
    return PGMTOOL_WORK_FAILED;
}

// Results that never reached standard output (a full disk, a closed pipe
// end) make the run a failure, as coreutils' close_stdout does. The reason
// goes to standard error, the one stream left.
int close_stdout(int exit_code)
{
    errno = 0;
    std::cout.flush();
    bool failed = !std::cout.good() || std::fflush(stdout) != 0 || std::ferror(stdout);
    int error = errno;
    failed = std::fclose(stdout) != 0 || failed;
    if (!failed)
        return exit_code;
    std::fprintf(stderr, "Error: Can't write standard output: %s\n", std::strerror(error != 0 ? error : errno));
    return PGMTOOL_WORK_FAILED;
}

} // namespace

int main(int argc, const char** argv)
{
    return close_stdout(run_guarded(argc, argv));
}
