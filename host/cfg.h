// Configuration library of the host suite: named settings.
//
// Settings come from the file named by the environment variable
// PGM_INI_FILE ("name=value" lines, "#" comments, an optional UTF-8 byte
// order mark) and from cfg_set_value; a value set later wins, and so does
// a later line of the file over an earlier one.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <string>

typedef int BRISOL_BOOL;
const BRISOL_BOOL BRISOL_FALSE = 0;
const BRISOL_BOOL BRISOL_TRUE = 1;

// The setting's text, empty when it is not set.
PGM_COMMON_API std::string cfg_get_value(const std::string& name);
// The setting as a decimal (or "0x" hexadecimal) integer; the default when
// it is not set or is not a number.
PGM_COMMON_API int cfg_get_int_value(const std::string& name, int default_value);
// On for "on", "true", "yes", "1"; off for "off", "false", "no", "0" (any
// case); the default otherwise.
PGM_COMMON_API BRISOL_BOOL cfg_is_on(const std::string& name, bool default_value);
PGM_COMMON_API void cfg_set_value(const std::string& name, const std::string& value);
// Records that the settings of a command line have been applied.
PGM_COMMON_API void cfg_hostexe_ini_applied();
// How often cfg_hostexe_ini_applied has been called.
PGM_COMMON_API int cfg_hostexe_ini_applied_count();
// Test support: forgets every setting; the next lookup reads PGM_INI_FILE again.
PGM_COMMON_API void cfg_clear();
