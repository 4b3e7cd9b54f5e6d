// Reading a whole file as it is on disk, shared by the library's areas.
#pragma once

#include "pgm/common/pgm_internal.h"

#include "host/host_types.h"

#include <string>

// The file_size bytes of a plain file followed by a 0 byte, without any
// decompression; null when it cannot be read whole. A file_size of 0 (the
// status size of the files of /proc, whose size shows only at their end)
// reads the file to its end, below DWORD(-1) bytes. Caller deletes[] it.
BYTE* pgm_read_plain_file(const std::string& filepath, QWORD file_size, DWORD& size);
