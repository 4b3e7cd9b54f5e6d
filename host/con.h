// Console of the host platform: the stream console lines go to, and colour
// attributes on a terminal.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <cstdio>

// The stream console messages are written to (PGM_COMMON_MSG::print_msg and
// the catalogue messages of the message library): standard output unless
// set otherwise.
PGM_COMMON_API FILE* con_stream();
// Sets that stream; null gives back standard output.
PGM_COMMON_API void con_set_stream(FILE* stream);

// True when the stream is a terminal that takes colour sequences.
PGM_COMMON_API bool con_is_console(FILE* stream);
// True when standard output is such a terminal.
PGM_COMMON_API bool con_stdout_is_console();
// Sets the text colour of out from a console attribute (bits 0 blue,
// 1 green, 2 red, 3 intensity); when out is a terminal this writes an ANSI
// sequence to it. Attribute 15 ends a line and gives back the terminal's
// own colours.
PGM_COMMON_API void con_set_text_attribute(FILE* out, unsigned int attribute);
// Test support: treat every stream as a console (1), none (0), or ask the system (-1).
PGM_COMMON_API void con_force_console(int mode);
