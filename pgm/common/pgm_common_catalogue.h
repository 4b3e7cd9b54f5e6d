// Builders of the library's catalogue messages, one per id. The caller
// issues the message (post, or prompt for the O messages) and the
// unique_ptr deletes it.
#pragma once

#include "pgm/common/pgm_internal.h"

#include "host/host_types.h"
#include "host/msg.h"

#include <memory>
#include <string>

std::unique_ptr<MSG_O> pgm_msg_hex_checksum_error(int line_number);                       // 17920
std::unique_ptr<MSG_O> pgm_msg_hex_overlap_error(DWORD address_a, DWORD address_b);       // 17921
std::unique_ptr<MSG_O> pgm_msg_invalid_hex_file(const std::string& path);                 // 17922
std::unique_ptr<MSG_E> pgm_msg_file_io_error(const std::string& path);                    // 17923
std::unique_ptr<MSG_O> pgm_msg_mif_invalid_char(const std::string& path);                 // 17924
std::unique_ptr<MSG_O> pgm_msg_invalid_mif_file(const std::string& path);                 // 17925
// 18093 and 18094: an MSG_W_NULL when the message index has the id switched off.
std::unique_ptr<MSG_POST> pgm_msg_init_content_overflow(int file_depth, int flash_depth, const std::string& path);
std::unique_ptr<MSG_POST> pgm_msg_init_content_insufficient(int file_depth, int flash_depth,
                                                            const std::string& path);

// Posts 18093 when the file's depth passes the required size, 18094 when
// it falls short; nothing when they are equal or nothing is required.
void pgm_post_depth_warnings(DWORD file_depth, DWORD required_size, const std::string& path);

// Shows an O message, or, when errors are to be treated as warnings,
// posts a warning with its id and text instead.
void pgm_msg_issue(MSG_O& message, bool as_warning);
