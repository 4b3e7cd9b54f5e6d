// Encoded XML files: the text sealed with AES-256-GCM under a key derived
// from the library's file key. Layout, version 1:
//   "PGMX", version byte 1, 12-byte IV, ciphertext, 16-byte tag;
// the magic and the version byte are authenticated with the text.
#pragma once

#include "host/host_types.h"
#include "pgm/h/pgm_common_api.h"

#include <string>
#include <vector>

// Why an encoded file was refused; 0 when it was read.
enum PGM_XML_DECODE_FAILURE {
    PGM_XML_DECODE_OK = 0,
    PGM_XML_DECODE_UNREADABLE = 1, // the file cannot be read
    PGM_XML_DECODE_TRUNCATED = 2,  // shorter than the header and the tag
    PGM_XML_DECODE_BAD_MAGIC = 3,  // not an encoded file
    PGM_XML_DECODE_BAD_VERSION = 4,
    PGM_XML_DECODE_BAD_TAG = 5, // damaged, or sealed under another key
    PGM_XML_DECODE_CIPHER = 6   // the cipher could not run
};

// The file bytes of the text.
PGM_COMMON_API std::vector<BYTE> pgm_xml_encode(const std::string& text);
// The text of the file bytes; fail_reason receives a PGM_XML_DECODE_FAILURE
// and the text is empty unless it is 0.
PGM_COMMON_API std::string pgm_xml_decode(const BYTE* data, size_t size, int& fail_reason);
PGM_COMMON_API std::string pgm_xml_decode_file(const std::string& path, int& fail_reason);
