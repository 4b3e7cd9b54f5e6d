// Configuration library of the host suite: named settings.
//
// Settings come from the file named by the environment variable
// PGM_INI_FILE ("name=value" lines, "#" comments) and from cfg_set_value;
// a value set later wins.
#pragma once

#include <string>

typedef int BRISOL_BOOL;
const BRISOL_BOOL BRISOL_FALSE = 0;
const BRISOL_BOOL BRISOL_TRUE = 1;

// The setting's text, empty when it is not set.
std::string cfg_get_value(const std::string& name);
// The setting as a decimal (or "0x" hexadecimal) integer; the default when
// it is not set or is not a number.
int cfg_get_int_value(const std::string& name, int default_value);
// On for "on", "true", "yes", "1"; off for "off", "false", "no", "0" (any
// case); the default otherwise.
BRISOL_BOOL cfg_is_on(const std::string& name, bool default_value);
void cfg_set_value(const std::string& name, const std::string& value);
// Records that the settings of a command line have been applied.
void cfg_hostexe_ini_applied();
// How often cfg_hostexe_ini_applied has been called.
int cfg_hostexe_ini_applied_count();
// Test support: forgets every setting; the next lookup reads PGM_INI_FILE again.
void cfg_clear();
