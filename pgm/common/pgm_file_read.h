// Reading a whole file as it is on disk, shared by the library's areas.
#pragma once

#include "pgm/common/pgm_internal.h"

#include "host/host_types.h"

#include <string>
#include <vector>

// The file_size bytes of a plain file followed by a 0 byte, without any
// decompression; null when it cannot be read whole. A file_size of 0 (the
// status size of the files of /proc, whose size shows only at their end)
// reads the file to its end, below DWORD(-1) bytes. Caller deletes[] it.
BYTE* pgm_read_plain_file(const std::string& filepath, QWORD file_size, DWORD& size);

// A line of a text file with its number in the file (from 1).
struct PGM_NUMBERED_LINE {
    std::string text;
    size_t number;
};
// The data lines of the lines of a text file: white space and "//" and "#"
// comments removed, the lines left empty dropped.
std::vector<PGM_NUMBERED_LINE> pgm_data_lines(const std::vector<std::string>& input);
