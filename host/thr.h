// Thread library of the host suite.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <string>

// Runs a shell command line; 0 when it succeeded.
PGM_COMMON_API int thr_run(const std::string& command);
PGM_COMMON_API int thr_system(const std::string& command);
PGM_COMMON_API void thr_msleep(unsigned int milliseconds);
