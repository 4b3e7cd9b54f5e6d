// Console of the host platform: colour attributes on a terminal.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <cstdio>

// True when standard output is a terminal that takes colour sequences.
PGM_COMMON_API bool con_stdout_is_console();
// Sets the text colour from a console attribute (bits 0 blue, 1 green,
// 2 red, 3 intensity); on a terminal this writes an ANSI sequence to out.
// Attribute 15 ends a line and gives back the terminal's own colours.
PGM_COMMON_API void con_set_text_attribute(FILE* out, unsigned int attribute);
// Test support: treat standard output as a console (1), not (0), or ask the system (-1).
PGM_COMMON_API void con_force_console(int mode);
