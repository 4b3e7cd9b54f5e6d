#include "pgmtool_frame.h"

int pgmtool_version(int argc, const char** argv);
int pgmtool_crc(int argc, const char** argv);
int pgmtool_trace(int argc, const char** argv);

const std::vector<PGMTOOL_COMMAND>& pgmtool_commands()
{
    static const std::vector<PGMTOOL_COMMAND> commands = {
        {"version", "Print the versions of pgmtool and of the suite", pgmtool_version},
        {"crc", "Print the CRC of a file (crc16, x25, kermit, crc32)", pgmtool_crc},
        {"trace", "Print the developer trace file, or add a line to it", pgmtool_trace},
    };
    return commands;
}
