#include "host/vxl.h"

#include <vector>
#include <zlib.h>

namespace {
const unsigned int VXL_BUFFER_SIZE = 1u << 17;
}

// A read buffer over zlib's gz functions, which decompress gzip content
// and pass any other content through unchanged.
class VXL_ZIFSTREAM_BUF : public std::streambuf {
public:
    explicit VXL_ZIFSTREAM_BUF(const char* path) : file_(path ? gzopen(path, "rb") : nullptr)
    {
        if (file_ == nullptr)
            return;
        gzbuffer(file_, VXL_BUFFER_SIZE);
        compressed_ = gzdirect(file_) == 0;
    }
    ~VXL_ZIFSTREAM_BUF() override { close(); }
    VXL_ZIFSTREAM_BUF(const VXL_ZIFSTREAM_BUF&) = delete;
    VXL_ZIFSTREAM_BUF& operator=(const VXL_ZIFSTREAM_BUF&) = delete;

    bool is_open() const { return file_ != nullptr; }
    bool is_compressed() const { return compressed_; }
    int last_error() const { return error_; }
    void close()
    {
        if (file_ != nullptr)
            gzclose_r(file_);
        file_ = nullptr;
        setg(nullptr, nullptr, nullptr);
    }

protected:
    int_type underflow() override
    {
        if (gptr() < egptr())
            return traits_type::to_int_type(*gptr());
        if (file_ == nullptr || error_ != VXL_ZSTREAM_OK)
            return traits_type::eof();
        buffer_.resize(VXL_BUFFER_SIZE);
        int count = gzread(file_, buffer_.data(), VXL_BUFFER_SIZE);
        int code = Z_OK;
        gzerror(file_, &code);
        if (count < 0 || (code != Z_OK && code != Z_STREAM_END)) {
            error_ = code == Z_ERRNO ? VXL_ZSTREAM_READ_ERROR : VXL_ZSTREAM_DATA_ERROR;
            return traits_type::eof();
        }
        if (count == 0)
            return traits_type::eof();
        setg(buffer_.data(), buffer_.data(), buffer_.data() + count);
        return traits_type::to_int_type(*gptr());
    }

private:
    gzFile file_;              // owned; null when closed or not opened
    bool compressed_ = false;  // gzip content, decompressed while reading
    int error_ = VXL_ZSTREAM_OK;
    std::vector<char> buffer_; // the bytes delivered by the last read
};

VXL_ZIFSTREAM::VXL_ZIFSTREAM(const char* path, int, const BYTE*, int)
    : std::istream(nullptr), buffer_(new VXL_ZIFSTREAM_BUF(path))
{
    rdbuf(buffer_.get());
    if (!buffer_->is_open())
        setstate(std::ios::failbit);
}

VXL_ZIFSTREAM::~VXL_ZIFSTREAM() = default;

int VXL_ZIFSTREAM::is_open() const
{
    return buffer_->is_open() ? 1 : 0;
}

int VXL_ZIFSTREAM::last_error() const
{
    return buffer_->last_error();
}

bool VXL_ZIFSTREAM::is_compressed() const
{
    return buffer_->is_compressed();
}

void VXL_ZIFSTREAM::close(bool)
{
    buffer_->close();
}
