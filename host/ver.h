// Version library of the host suite.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <string>

// The suite's version text, dot-separated decimal parts ("21.2" or "21.2.1").
PGM_COMMON_API std::string ver_get_version();
// Low byte: service pack; bits 8 to 23: build number.
PGM_COMMON_API int ver_get_current_version_index_number();
// Test support: sets what the two functions above answer.
PGM_COMMON_API void ver_set_version(const std::string& text, int index);
