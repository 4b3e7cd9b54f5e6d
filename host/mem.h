// Memory and string library of the host suite.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <cstdarg>
#include <string>
#include <vector>

// Registers a module with the memory accounting for as long as it lives.
class PGM_COMMON_API MEM_INITIALIZER {
public:
    explicit MEM_INITIALIZER(const char* module);
    ~MEM_INITIALIZER();
    MEM_INITIALIZER(const MEM_INITIALIZER&) = delete;
    MEM_INITIALIZER& operator=(const MEM_INITIALIZER&) = delete;

private:
    std::string module_;
};

// Modules registered now, one entry per living MEM_INITIALIZER.
PGM_COMMON_API std::vector<std::string> mem_registered_modules();

// Hands memory that the process has freed back to the system where the
// allocator keeps it, so that large work done in pieces stays small.
PGM_COMMON_API void mem_return_free_memory();

namespace MEM_DETAIL {
// Replaces text by the formatted result, of any length.
PGM_COMMON_API void stl_raw_sprintf(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));
}

PGM_COMMON_API void stl_vsprintf(std::string& text, const char* format, va_list args);
// ASCII case conversion in place.
PGM_COMMON_API void stl_tolower(std::string& text);
PGM_COMMON_API void stl_toupper(std::string& text);
