// pgmtool version and pgmtool trace.
#include "pgmtool_frame.h"

#include <cstdio>
#include <iostream>
#include <sys/stat.h>

int pgmtool_version(int argc, const char** argv)
{
    PGMTOOL_ARGS args("version", {"version"},
                      {"Prints the versions of pgmtool and of the suite it serves, and the suite's",
                       "packed version number (hexadecimal) with its text."},
                      "pgmtool version");
    if (!args.parse(argc, argv, 0, 0))
        return PGMTOOL_OK;
    std::printf("pgmtool %s\n", PGM_COMMON_VERSION_TEXT);
    std::printf("suite version %s (index %d)\n", ver_get_version().c_str(), ver_get_current_version_index_number());
    std::printf("packed version 0x%08X (%s)\n", unsigned(PGM_COMMON::get_morvane_full_version()),
                PGM_COMMON::get_morvane_full_version_string().c_str());
    return PGMTOOL_OK;
}

int pgmtool_trace(int argc, const char** argv)
{
    std::string add, group = "PGMTOOL", sub_group;
    int level = 0;
    PGMTOOL_ARGS args("trace", {"trace", "trace --add=TEXT [--group=G] [--sub-group=S] [--level=N]"},
                      {"Without --add, prints the developer trace file \"programmer.dbg\" kept beside the",
                       "program. With --add, traces one line and writes it to that file; lines are kept",
                       "only while the trace is on (settings PGM_DEBUG_TRACE and PGM_ENABLE_<G>_DEBUG)."},
                      "pgmtool trace --add=hello --ini=PGM_DEBUG_TRACE=on --ini=PGM_ENABLE_PGMTOOL_DEBUG=on");
    args.text("add", add, "Text of a trace line to add");
    args.text("group=G", group, "Trace group of the line");
    args.text("sub_group=S", sub_group, "Trace sub-group of the line");
    args.integer("level", level, "Trace level of the line, 0 to 100");
    if (!args.parse(argc, argv, 0, 0))
        return PGMTOOL_OK;
    if (add.empty()) {
        const std::string path = gen_get_module_path() + "/programmer.dbg";
        FIO_STAT record;
        if (FIO_FILE_SYSTEM::status(path, record) && !S_ISREG(record.st_mode))
            throw PGMTOOL_FAILURE(path, "cannot open: not a regular file");
        if (!PGM_DEBUG::read_msg(std::cout))
            throw PGMTOOL_FAILURE(path, "the trace file is damaged");
        return PGMTOOL_OK;
    }
    if (level < 0 || level > 100)
        throw PGMTOOL_USAGE("--level must lie between 0 and 100, not " + std::to_string(level));
    PGM_DEBUG::print_msg(group, sub_group, DWORD(level), add);
    PGM_DEBUG::write_msg();
    return PGMTOOL_OK;
}
