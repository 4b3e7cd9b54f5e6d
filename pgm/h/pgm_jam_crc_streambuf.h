// Stream buffers that keep a running Jam CRC (CRC-16/X-25) of every byte
// passing between a standard stream and its user.
#pragma once

#include "host/host_types.h"
#include "pgm/h/pgm_common_api.h"

#include <istream>
#include <ostream>
#include <streambuf>

// Reads through a wrapped input stream in chunks of 256 bytes; the CRC
// covers every byte fetched from the wrapped stream.
class PGM_COMMON_API PGM_JAM_CRC_IN_STREAMBUF : public std::basic_streambuf<char> {
public:
    explicit PGM_JAM_CRC_IN_STREAMBUF(std::basic_istream<char>* stream);
    PGM_JAM_CRC_IN_STREAMBUF(const PGM_JAM_CRC_IN_STREAMBUF& other);
    PGM_JAM_CRC_IN_STREAMBUF& operator=(const PGM_JAM_CRC_IN_STREAMBUF& other);
    ~PGM_JAM_CRC_IN_STREAMBUF() override;

    // The complement of the running CRC.
    WORD crc() const;

protected:
    int overflow(int c) override;
    int underflow() override;

private:
    std::basic_istream<char>* m_stream; // wrapped stream, not owned
    WORD m_crc;                         // running CRC, 0xFFFF at start
    char m_buffer[256];                 // bytes fetched and not yet consumed
};

// Writes through to a wrapped output stream (or none: a pure CRC sink).
// Only bytes that have been synchronised count: flush before reading crc().
class PGM_COMMON_API PGM_JAM_CRC_OUT_STREAMBUF : public std::basic_streambuf<char> {
public:
    explicit PGM_JAM_CRC_OUT_STREAMBUF(std::basic_ostream<char>* stream);
    PGM_JAM_CRC_OUT_STREAMBUF(const PGM_JAM_CRC_OUT_STREAMBUF& other);
    PGM_JAM_CRC_OUT_STREAMBUF& operator=(const PGM_JAM_CRC_OUT_STREAMBUF& other);
    ~PGM_JAM_CRC_OUT_STREAMBUF() override;

    WORD crc() const;

protected:
    int overflow(int c) override;
    int underflow() override;
    int sync() override;

private:
    std::basic_ostream<char>* m_stream; // wrapped stream, not owned, may be null
    WORD m_crc;                         // running CRC, 0xFFFF at start
    char m_buffer[257];                 // put area
};
