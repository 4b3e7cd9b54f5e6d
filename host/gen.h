// General utility library of the host suite.
#pragma once

#include "host/host_types.h"
#include "pgm/h/pgm_common_api.h"

#include <string>

// Folder of the running executable.
PGM_COMMON_API std::string gen_get_module_path();
// Root of the installed device database.
PGM_COMMON_API std::string gen_get_device_db_fullpath();
// Root of the data present only in internal installations.
PGM_COMMON_API std::string gen_get_unshipped_data_fullpath();

// Test support: redirect the folders above ("" goes back to the default).
PGM_COMMON_API void gen_set_module_path(const std::string& dir);
PGM_COMMON_API void gen_set_device_db_fullpath(const std::string& dir);
PGM_COMMON_API void gen_set_unshipped_data_fullpath(const std::string& dir);

// Locale-independent unsigned conversions of leading digits of the base;
// *end marks the first character not used. A value too large for the
// result gives its largest value, as strtoul does.
PGM_COMMON_API unsigned long gen_local_strtoul(const char* text, char** end, int base);
PGM_COMMON_API QWORD gen_local_strtoQWORD(const char* text, char** end, int base);

PGM_COMMON_API std::string gen_remove_leading_and_trailing_spaces(const std::string& text);
PGM_COMMON_API std::string gen_remove_leading_and_trailing_white_spaces(const std::string& text);

PGM_COMMON_API int gen_strcmp(const char* a, const char* b);
PGM_COMMON_API int gen_stricmp(const char* a, const char* b);

// Pseudo-random numbers from a 32-bit state (a linear congruential generator).
class PGM_COMMON_API GEN_RAND {
public:
    explicit GEN_RAND(DWORD seed = 1) : state(seed) {}
    // A pseudo-random value from 0 to 0x7FFFFFFF.
    int get_rand();

    DWORD state; // the generator's whole state; set it to repeat a sequence
};

class PGM_COMMON_API GEN_MACHINE_INFO {
public:
    static bool get_core_cpu_count(int& count);
    static bool get_logical_cpu_count(int& count);
};
