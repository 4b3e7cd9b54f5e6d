#include "pgm/common/pgm_common_catalogue.h"

#include "host/mem.h"
#include "pgm/common/pgm_check.h"

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

const char* const TEXT_17920 = "Checksum on line %1!d! does not match expected checksum/OPGM_HEX_FILE_CHECKSUM_ERROR";
const char* const TEXT_17921 = "Data in HEX File overlaps between data blocks at address %1!X! and address "
                               "%2!X!/OPGM_HEX_FILE_OVERLAP_ERROR";
const char* const TEXT_17922 = "File %1!s! is not a valid Hexadecimal (Orvan-Format) File/OPGM_INVALID_HEX_FILE";
const char* const TEXT_17923 = "Can't save or open file %1!s!/EPGM_FILE_IO_ERROR";
const char* const TEXT_17924 = "Found invalid character in MIF file %1!s!/OPGM_MIF_INVALID_CHAR";
const char* const TEXT_17925 = "File %1!s! is not a valid Memory Initialization File/OPGM_INVALID_MIF_FILE";
const char* const TEXT_18093 =
    "Memory depth (%1!d!) in the Memory Initialization File \"%3!s!\" is larger than the flash memory depth "
    "(%2!d!). Truncated remaining initial content value to fit flash memory. If you do not want the remaining "
    "initial content value to be truncated, make sure the Memory Initialization File contains the same memory "
    "depth values for the flash memory./WPGM_INIT_CONTENT_OVERFLOW";
const char* const TEXT_18094 =
    "Memory depth (%1!d!) in the Memory Initialization File \"%3!s!\" is less than the flash memory depth "
    "(%2!d!). Make sure the Memory Initialization File contains the sufficient memory depth values for the "
    "flash memory./WPGM_INIT_CONTENT_INSUFFICIENT";

template <typename... ARGS>
std::unique_ptr<MSG_O> make_o(unsigned int id, const char* text, ARGS... args)
{
    auto message = std::make_unique<MSG_O>(nullptr);
    message->fill_args(text, args...);
    message->set_id(id);
    return message;
}

std::unique_ptr<MSG_POST> make_depth_warning(unsigned int id, const char* text, int file_depth, int flash_depth,
                                             const std::string& path)
{
    if (MSG_INDEX::get_default_index().is_suppressed(id))
        return std::make_unique<MSG_W_NULL>();
    auto message = std::make_unique<MSG_W>(nullptr);
    message->fill_args(text, file_depth, flash_depth, path.c_str());
    message->set_severity_level(1);
    message->set_id(id);
    return message;
}

} // namespace

std::unique_ptr<MSG_O> pgm_msg_hex_checksum_error(int line_number)
{
    std::unique_ptr<MSG_O> message = make_o(17920, TEXT_17920, line_number);
    message->set_line(line_number);
    return message;
}

std::unique_ptr<MSG_O> pgm_msg_hex_overlap_error(DWORD address_a, DWORD address_b)
{
    return make_o(17921, TEXT_17921, unsigned(address_a), unsigned(address_b));
}

std::unique_ptr<MSG_O> pgm_msg_invalid_hex_file(const std::string& path)
{
    return make_o(17922, TEXT_17922, path.c_str());
}

std::unique_ptr<MSG_E> pgm_msg_file_io_error(const std::string& path)
{
    auto message = std::make_unique<MSG_E>(nullptr);
    message->fill_args(TEXT_17923, path.c_str());
    message->set_id(17923);
    return message;
}

std::unique_ptr<MSG_O> pgm_msg_mif_invalid_char(const std::string& path)
{
    return make_o(17924, TEXT_17924, path.c_str());
}

std::unique_ptr<MSG_O> pgm_msg_invalid_mif_file(const std::string& path)
{
    return make_o(17925, TEXT_17925, path.c_str());
}

std::unique_ptr<MSG_POST> pgm_msg_init_content_overflow(int file_depth, int flash_depth, const std::string& path)
{
    return make_depth_warning(18093, TEXT_18093, file_depth, flash_depth, path);
}

std::unique_ptr<MSG_POST> pgm_msg_init_content_insufficient(int file_depth, int flash_depth, const std::string& path)
{
    return make_depth_warning(18094, TEXT_18094, file_depth, flash_depth, path);
}

void pgm_msg_issue(MSG_O& message, bool as_warning)
{
    if (!as_warning) {
        message.prompt(nullptr);
        return;
    }
    MSG_W warning(nullptr);
    warning.set_id(message.get_id());
    warning.set_msg_text(message.get_msg_text_c_str());
    warning.post();
}

void pgm_post_depth_warnings(DWORD file_depth, DWORD required_size, const std::string& path)
{
    if (required_size == 0 || file_depth == required_size)
        return;
    if (file_depth > required_size)
        pgm_msg_init_content_overflow(int(file_depth), int(required_size), path)->post();
    else
        pgm_msg_init_content_insufficient(int(file_depth), int(required_size), path)->post();
}
