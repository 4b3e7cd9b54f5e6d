// Stream buffers keeping a running Jam CRC of the bytes they pass on.
#include "pgm/h/pgm_jam_crc_streambuf.h"

#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/h/pgm_common.h"

#include <cstring>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// Continues the Jam CRC (reflected polynomial 0x8408, no final inversion)
// over n bytes.
WORD update_jam_crc(WORD crc, const char* bytes, std::streamsize n)
{
    if (n <= 0)
        return crc;
    return PGM_COMMON::calculate_sof_crc16(reinterpret_cast<const BYTE*>(bytes), DWORD(n), crc, false, nullptr);
}

// The place in this buffer at the offset that pointer has in the other
// buffer; null stays null.
char* same_offset(char* buffer, const char* other_buffer, const char* pointer)
{
    return pointer ? buffer + (pointer - other_buffer) : nullptr;
}

} // namespace

// ---- Input ----

PGM_JAM_CRC_IN_STREAMBUF::PGM_JAM_CRC_IN_STREAMBUF(std::basic_istream<char>* stream)
    : m_stream(stream), m_crc(0xFFFF), m_buffer()
{
    setg(m_buffer, m_buffer, m_buffer);
}

PGM_JAM_CRC_IN_STREAMBUF::PGM_JAM_CRC_IN_STREAMBUF(const PGM_JAM_CRC_IN_STREAMBUF& other)
    : std::basic_streambuf<char>(other), m_stream(nullptr), m_crc(0), m_buffer()
{
    *this = other;
}

// Copies the source's bytes; the get area points into this buffer at the same offsets.
PGM_JAM_CRC_IN_STREAMBUF& PGM_JAM_CRC_IN_STREAMBUF::operator=(const PGM_JAM_CRC_IN_STREAMBUF& other)
{
    if (this == &other)
        return *this;
    std::basic_streambuf<char>::operator=(other);
    m_stream = other.m_stream;
    m_crc = other.m_crc;
    std::memcpy(m_buffer, other.m_buffer, sizeof m_buffer);
    setg(same_offset(m_buffer, other.m_buffer, other.eback()), same_offset(m_buffer, other.m_buffer, other.gptr()),
         same_offset(m_buffer, other.m_buffer, other.egptr()));
    return *this;
}

PGM_JAM_CRC_IN_STREAMBUF::~PGM_JAM_CRC_IN_STREAMBUF() {}

WORD PGM_JAM_CRC_IN_STREAMBUF::crc() const
{
    return WORD(~m_crc);
}

// Writing through an input buffer is not supported: nothing is written.
int PGM_JAM_CRC_IN_STREAMBUF::overflow(int)
{
    return traits_type::eof();
}

// Fetches the next chunk of up to 256 bytes and counts all of it in the CRC.
int PGM_JAM_CRC_IN_STREAMBUF::underflow()
{
    if (m_stream == nullptr || m_stream->eof())
        return traits_type::eof();
    m_stream->read(m_buffer, sizeof m_buffer);
    std::streamsize n = m_stream->gcount();
    if (n < 1)
        return traits_type::eof();
    m_crc = update_jam_crc(m_crc, m_buffer, n);
    setg(m_buffer, m_buffer, m_buffer + n);
    return traits_type::to_int_type(m_buffer[0]);
}

// ---- Output ----

PGM_JAM_CRC_OUT_STREAMBUF::PGM_JAM_CRC_OUT_STREAMBUF(std::basic_ostream<char>* stream)
    : m_stream(stream), m_crc(0xFFFF), m_buffer()
{
    setp(m_buffer, m_buffer + sizeof m_buffer);
}

PGM_JAM_CRC_OUT_STREAMBUF::PGM_JAM_CRC_OUT_STREAMBUF(const PGM_JAM_CRC_OUT_STREAMBUF& other)
    : std::basic_streambuf<char>(other), m_stream(nullptr), m_crc(0), m_buffer()
{
    *this = other;
}

// Copies the source's bytes; the put area points into this buffer at the same offsets.
PGM_JAM_CRC_OUT_STREAMBUF& PGM_JAM_CRC_OUT_STREAMBUF::operator=(const PGM_JAM_CRC_OUT_STREAMBUF& other)
{
    if (this == &other)
        return *this;
    std::basic_streambuf<char>::operator=(other);
    m_stream = other.m_stream;
    m_crc = other.m_crc;
    std::memcpy(m_buffer, other.m_buffer, sizeof m_buffer);
    setp(same_offset(m_buffer, other.m_buffer, other.pbase()), same_offset(m_buffer, other.m_buffer, other.epptr()));
    pbump(int(other.pptr() - other.pbase()));
    return *this;
}

// Pending bytes are neither written nor counted: the user flushes first.
PGM_JAM_CRC_OUT_STREAMBUF::~PGM_JAM_CRC_OUT_STREAMBUF() {}

WORD PGM_JAM_CRC_OUT_STREAMBUF::crc() const
{
    return WORD(~m_crc);
}

// The buffer is full: pass its bytes on, then start it again with c.
int PGM_JAM_CRC_OUT_STREAMBUF::overflow(int c)
{
    sync();
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::eof();
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

// Reading through an output buffer is not supported. The get area stays
// empty, so answering anything but end of file would have the standard
// reading functions take a character from nowhere.
int PGM_JAM_CRC_OUT_STREAMBUF::underflow()
{
    return traits_type::eof();
}

// Counts the pending bytes in the CRC, writes them to the wrapped stream
// when there is one, and empties the buffer.
int PGM_JAM_CRC_OUT_STREAMBUF::sync()
{
    std::streamsize n = pptr() - pbase();
    m_crc = update_jam_crc(m_crc, pbase(), n);
    if (m_stream != nullptr && n > 0)
        m_stream->write(pbase(), n);
    setp(m_buffer, m_buffer + sizeof m_buffer);
    return 0;
}
