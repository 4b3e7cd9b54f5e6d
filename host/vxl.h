// Compressed stream library of the host suite: an input stream that reads
// gzip-compressed files decompressed and any other file as it is.
#pragma once

#include "host/host_types.h"
#include "pgm/h/pgm_common_api.h"

#include <istream>
#include <memory>
#include <streambuf>

enum VXL_ZSTREAM_ERROR_ENUM {
    VXL_ZSTREAM_OK = 0,
    VXL_ZSTREAM_DATA_ERROR = 1, // the compressed data are damaged or cut short
    VXL_ZSTREAM_READ_ERROR = 2, // the file could not be read
    VXL_ZSTREAM_ERROR_MAX
};

class VXL_ZIFSTREAM_BUF;

class PGM_COMMON_API VXL_ZIFSTREAM : public std::istream {
public:
    // Mode 1 reads. A key marks the protected form of the suite; such files
    // are read as they are stored.
    VXL_ZIFSTREAM(const char* path, int mode = 1, const BYTE* key = nullptr, int key_length = 16);
    ~VXL_ZIFSTREAM() override;
    VXL_ZIFSTREAM(const VXL_ZIFSTREAM&) = delete;
    VXL_ZIFSTREAM& operator=(const VXL_ZIFSTREAM&) = delete;

    int is_open() const;
    // VXL_ZSTREAM_OK while nothing went wrong.
    int last_error() const;
    // True when the file is gzip-compressed (decided on opening).
    bool is_compressed() const;
    void close(bool flush = false);

private:
    std::unique_ptr<VXL_ZIFSTREAM_BUF> buffer_; // owns the open file
};
