#include "host/cfg.h"

#include "host/gen.h"
#include "host/mem.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>

namespace {

struct SETTINGS {
    std::mutex mutex;
    std::map<std::string, std::string> values; // name to text
    bool file_read = false;                    // PGM_INI_FILE has been read
    int ini_applied = 0;                       // calls of cfg_hostexe_ini_applied
};

// Built on first use and never destroyed: the trace reads settings from
// destructors and exit handlers that may run after this file's statics
// would have gone.
SETTINGS& settings()
{
    static SETTINGS* all = new SETTINGS;
    return *all;
}

// Reads "name=value" lines of the file named by PGM_INI_FILE, once.
void read_ini_file(SETTINGS& all)
{
    if (all.file_read)
        return;
    all.file_read = true;
    const char* path = std::getenv("PGM_INI_FILE");
    if (!path || !*path)
        return;
    std::ifstream in(path);
    std::string line;
    for (bool first = true; std::getline(in, line); first = false) {
        if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) // UTF-8 byte order mark
            line.erase(0, 3);
        line = gen_remove_leading_and_trailing_white_spaces(line);
        size_t equal = line.find('=');
        if (line.empty() || line[0] == '#' || equal == std::string::npos || equal == 0)
            continue;
        std::string name = gen_remove_leading_and_trailing_white_spaces(line.substr(0, equal));
        std::string value = gen_remove_leading_and_trailing_white_spaces(line.substr(equal + 1));
        all.values[name] = value; // a later line wins
    }
}

bool lookup(const std::string& name, std::string& value)
{
    SETTINGS& all = settings();
    std::lock_guard<std::mutex> lock(all.mutex);
    read_ini_file(all);
    auto it = all.values.find(name);
    if (it == all.values.end())
        return false;
    value = it->second;
    return true;
}

} // namespace

std::string cfg_get_value(const std::string& name)
{
    std::string value;
    lookup(name, value);
    return value;
}

int cfg_get_int_value(const std::string& name, int default_value)
{
    std::string value;
    if (!lookup(name, value) || value.empty())
        return default_value;
    const char* text = value.c_str();
    bool negative = *text == '-';
    if (negative)
        ++text;
    int base = (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) ? 16 : 10;
    const char* digits = base == 16 ? text + 2 : text;
    char* end = nullptr;
    unsigned long number = gen_local_strtoul(digits, &end, base);
    // Down to INT_MIN when negative, up to INT_MAX otherwise.
    if (end == digits || *end != '\0' || number > 0x7FFFFFFFul + (negative ? 1 : 0))
        return default_value;
    return negative ? int(-static_cast<long long>(number)) : int(number);
}

BRISOL_BOOL cfg_is_on(const std::string& name, bool default_value)
{
    std::string value;
    if (lookup(name, value)) {
        stl_tolower(value);
        if (value == "on" || value == "true" || value == "yes" || value == "1")
            return BRISOL_TRUE;
        if (value == "off" || value == "false" || value == "no" || value == "0")
            return BRISOL_FALSE;
    }
    return default_value ? BRISOL_TRUE : BRISOL_FALSE;
}

void cfg_set_value(const std::string& name, const std::string& value)
{
    SETTINGS& all = settings();
    std::lock_guard<std::mutex> lock(all.mutex);
    read_ini_file(all);
    all.values[name] = value;
}

void cfg_hostexe_ini_applied()
{
    SETTINGS& all = settings();
    std::lock_guard<std::mutex> lock(all.mutex);
    ++all.ini_applied;
}

int cfg_hostexe_ini_applied_count()
{
    SETTINGS& all = settings();
    std::lock_guard<std::mutex> lock(all.mutex);
    return all.ini_applied;
}

void cfg_clear()
{
    SETTINGS& all = settings();
    std::lock_guard<std::mutex> lock(all.mutex);
    all.values.clear();
    all.file_read = false;
    all.ini_applied = 0;
}
