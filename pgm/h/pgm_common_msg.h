// Console messages for the command-line front ends and the developer trace.
#pragma once

#include "host/host_types.h"
#include "pgm/h/pgm_common_api.h"

#include <iosfwd>
#include <string>
#include <vector>

enum PGM_COMMON_MSG_TYPE {
    PGM_COMMON_MSG_PLAIN = 0,
    PGM_COMMON_MSG_WARNING = 1,
    PGM_COMMON_MSG_DEBUG = 2,
    PGM_COMMON_MSG_ERROR = 3,
    PGM_COMMON_MSG_INFO = 4,
    PGM_COMMON_MSG_WARNING_NO_COLOR = 5,
    PGM_COMMON_MSG_DEBUG_NO_COLOR = 6,
    PGM_COMMON_MSG_ERROR_NO_COLOR = 7,
    PGM_COMMON_MSG_MAX
};

class PGM_COMMON_API PGM_COMMON_MSG {
public:
    // Prints indent units of three spaces, the type's prefix and the
    // formatted text on one line of the console stream (standard output
    // unless the host console is given another, see host/con.h), coloured
    // when that stream is a console.
    static void print_msg(PGM_COMMON_MSG_TYPE type, DWORD indent, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
};

// One cached trace switch: its upper-case name and whether it is on.
struct PGM_DEBUG_ENABLE_INFO {
    std::string name;
    bool enable;
};

// The developer trace: grouped, levelled lines collected in memory and
// stored compressed, with a CRC-16 trailer, in "programmer.dbg" in the
// module folder. Process-wide and unsynchronised: trace from one thread.
class PGM_COMMON_API PGM_DEBUG {
public:
    PGM_DEBUG& operator=(const PGM_DEBUG&) { return *this; }
    PGM_DEBUG& operator=(PGM_DEBUG&&) { return *this; }

    static void print_msg(std::string group, std::string sub_group, DWORD level, std::string msg);
    // Appends the pending text to the trace file as one record. A damaged
    // file is moved aside to "programmer.dbg.damaged" (or ".damaged.N")
    // and a new one is begun; a FIFO or other special file of that name is
    // left alone and the text dropped.
    static void write_msg();
    // Flushes, then prints the whole trace file to standard output.
    static void read_msg();
    // The same to out; false when the file is damaged or is not a regular
    // file (after printing "\nError detected\n"). A missing file is no
    // damage: nothing has been traced yet.
    static bool read_msg(std::ostream& out);

private:
    static bool check_enable(std::string name);
    static bool check_file(std::string path, DWORD& data_size, BYTE** data, WORD& crc);

    // 0xFFFFFFFF until resolved; 0 to 100 the active level; 200 trace off.
    static DWORD PGM_DEBUG_LEVEL;
    // Trace text not yet written to the file.
    static std::string PGM_DEBUG_MSG;
    // Switches already looked up, in the order of first lookup.
    static std::vector<PGM_DEBUG_ENABLE_INFO> PGM_DEBUG_INI;

    friend struct PGM_DEBUG_TEST_ACCESS;
};

// Exported entry of the trace for other modules.
PGM_COMMON_API void pgm_common_vdebug(std::string group, std::string sub_group, DWORD level, std::string msg);
