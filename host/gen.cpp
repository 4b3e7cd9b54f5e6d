#include "host/gen.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

struct FOLDERS {
    std::mutex mutex;
    std::string module_path;    // "" means the executable's folder
    std::string device_db;      // "" means PGM_DEVICE_DB_DIR or the module folder
    std::string unshipped_data; // "" means PGM_UNSHIPPED_DATA_DIR or the module folder
};

// Built on first use and never destroyed: the trace file is written from
// an exit-time action that may run after this file's statics would have gone.
FOLDERS& folders()
{
    static FOLDERS* all = new FOLDERS;
    return *all;
}

std::string executable_folder()
{
    std::string path(4096, '\0');
    ssize_t size = readlink("/proc/self/exe", &path[0], path.size() - 1);
    if (size <= 0)
        return ".";
    path.resize(size_t(size));
    size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string folder_or(const std::string& set, const char* variable)
{
    if (!set.empty())
        return set;
    const char* value = std::getenv(variable);
    if (value && *value)
        return value;
    return gen_get_module_path();
}

int digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

// Leading digits of the base after optional blanks; saturates at max.
QWORD parse_unsigned(const char* text, char** end, int base, QWORD max)
{
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v')
        ++p;
    const char* first = p;
    QWORD value = 0;
    bool overflow = false;
    for (; digit_value(*p) < base; ++p) {
        QWORD digit = QWORD(digit_value(*p));
        if (value > (max - digit) / QWORD(base))
            overflow = true;
        else
            value = value * QWORD(base) + digit;
    }
    if (end)
        *end = const_cast<char*>(p == first ? text : p);
    if (overflow) {
        errno = ERANGE;
        return max;
    }
    return value;
}

const char* const WHITE_SPACE = " \t\r\n";

std::string trim(const std::string& text, const char* blanks)
{
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

} // namespace

std::string gen_get_module_path()
{
    FOLDERS& all = folders();
    std::lock_guard<std::mutex> lock(all.mutex);
    return all.module_path.empty() ? executable_folder() : all.module_path;
}

std::string gen_get_device_db_fullpath()
{
    std::string set;
    {
        std::lock_guard<std::mutex> lock(folders().mutex);
        set = folders().device_db;
    }
    return folder_or(set, "PGM_DEVICE_DB_DIR");
}

std::string gen_get_unshipped_data_fullpath()
{
    std::string set;
    {
        std::lock_guard<std::mutex> lock(folders().mutex);
        set = folders().unshipped_data;
    }
    return folder_or(set, "PGM_UNSHIPPED_DATA_DIR");
}

void gen_set_module_path(const std::string& dir)
{
    std::lock_guard<std::mutex> lock(folders().mutex);
    folders().module_path = dir;
}

void gen_set_device_db_fullpath(const std::string& dir)
{
    std::lock_guard<std::mutex> lock(folders().mutex);
    folders().device_db = dir;
}

void gen_set_unshipped_data_fullpath(const std::string& dir)
{
    std::lock_guard<std::mutex> lock(folders().mutex);
    folders().unshipped_data = dir;
}

unsigned long gen_local_strtoul(const char* text, char** end, int base)
{
    return static_cast<unsigned long>(parse_unsigned(text, end, base, ULONG_MAX));
}

QWORD gen_local_strtoQWORD(const char* text, char** end, int base)
{
    return parse_unsigned(text, end, base, UINT64_MAX);
}

std::string gen_remove_leading_and_trailing_spaces(const std::string& text)
{
    return trim(text, " ");
}

std::string gen_remove_leading_and_trailing_white_spaces(const std::string& text)
{
    return trim(text, WHITE_SPACE);
}

int gen_strcmp(const char* a, const char* b)
{
    return std::strcmp(a, b);
}

int gen_stricmp(const char* a, const char* b)
{
    return strcasecmp(a, b);
}

int GEN_RAND::get_rand()
{
    // The constants of the ANSI C example generator, full 32-bit state.
    state = state * 1103515245u + 12345u;
    return int((state >> 1) & 0x7FFFFFFFu);
}

bool GEN_MACHINE_INFO::get_core_cpu_count(int& count)
{
    // Physical cores are the distinct (package, core) pairs of the online CPUs.
    std::set<std::pair<std::string, std::string>> cores;
    int logical = 0;
    get_logical_cpu_count(logical);
    for (int cpu = 0; cpu < logical; ++cpu) {
        std::string topology = "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/";
        std::ifstream package(topology + "physical_package_id"), core(topology + "core_id");
        std::string package_id, core_id;
        if (package >> package_id && core >> core_id)
            cores.insert({package_id, core_id});
    }
    count = cores.empty() ? logical : int(cores.size());
    return true;
}

bool GEN_MACHINE_INFO::get_logical_cpu_count(int& count)
{
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    count = online > 0 ? int(online) : 1;
    return true;
}
