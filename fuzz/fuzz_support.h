// Helpers of the fuzz targets: cutting the input into texts.
#pragma once

#include "pgm/h/pgm_common_export.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Texts separated by NUL bytes in the input.
inline std::vector<std::string> fuzz_texts(const uint8_t* data, size_t size)
{
    std::vector<std::string> texts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            texts.emplace_back();
        else
            texts.back() += char(data[i]);
    }
    return texts;
}

// Runs work; an internal error is an accepted outcome of bad input.
template <typename WORK>
void fuzz_run(WORK work)
{
    try {
        work();
    } catch (const PGM_INTERNAL_ERROR&) {
    }
}

// Writes the input to a file of this process with the given extension,
// sends standard output (where messages go) to /dev/null and forgets the
// messages of earlier runs. Returns the file's path, or "" on failure.
inline std::string fuzz_input_file(const uint8_t* data, size_t size, const char* extension)
{
    static const std::string folder = [] {
        char name[] = "/tmp/pgm_fuzz_XXXXXX";
        return std::string(mkdtemp(name) ? name : "/tmp");
    }();
    static FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    msg_take_issued();
    std::string path = folder + "/input" + extension;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return "";
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    return path;
}
