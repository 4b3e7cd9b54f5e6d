// Reading a whole file as it is on disk, shared by the library's areas.
#pragma once

#include "host/host_types.h"

#include <string>

// The file_size bytes of a plain file followed by a 0 byte, without any
// decompression; null when it cannot be read whole. Caller deletes[] it.
BYTE* pgm_read_plain_file(const std::string& filepath, QWORD file_size, DWORD& size);
