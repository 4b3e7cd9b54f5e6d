// Helpers of the fuzz targets: cutting the input into texts.
#pragma once

#include "pgm/h/pgm_common_export.h"

#include <cstddef>
#include <cstdint>
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
