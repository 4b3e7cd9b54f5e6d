// Named settings of the host configuration, and the access codes of the
// protected general settings.
#include "pgm/h/pgm_common_ini.h"

#include "host/cfg.h"
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/h/pgm_common.h"

#include <memory>
#include <vector>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// The tables, by enumeration value: name, default, owner, description.
const PGM_COMMON_INI_SETTING_INFO BOOLEAN_SETTINGS[PGM_COMMON_INI_BOOLEAN_MAX] = {
    {"PGM_VERIFY_AFTER_PROGRAM", 1, "pgm", "Read back and compare every block after programming it"},
    {"PGM_BLANK_CHECK_BEFORE_PROGRAM", 0, "pgm", "Check that the device is erased before programming it"},
    {"PGM_ERASE_BEFORE_PROGRAM", 1, "pgm", "Erase the device before programming it"},
    {"PGM_SKIP_IDCODE_CHECK", 0, "pgm", "Program without comparing the device's JTAG ID code with the expected one"},
    {"PGM_CHECK_CONF_DONE", 1, "pgm", "Wait for CONF_DONE after configuring a device"},
    {"PGM_KEEP_TEMP_FILES", 0, "common", "Keep the intermediate files of a run instead of removing them"},
    {"PGM_OVERWRITE_OUTPUT_FILES", 0, "pfg", "Replace existing output files without asking"},
    {"PGM_COMPRESS_OUTPUT_FILES", 0, "pfg", "Write programming files gzip-compressed"},
    {"PGM_LOG_TO_FILE", 0, "common", "Copy the console messages into the log file (PGM_LOG_FILE)"},
    {"PGM_LOG_TIMESTAMPS", 0, "common", "Start every logged line with the time"},
};

const PGM_COMMON_INI_SETTING_INFO INTEGER_SETTINGS[PGM_COMMON_INI_INTEGER_MAX] = {
    {"PGM_JTAG_FREQUENCY_KHZ", 6000, "pgm", "Clock of the JTAG chain in kHz"},
    {"PGM_PROGRAM_RETRY_COUNT", 0, "pgm", "Attempts at a block that fails to program or verify"},
    {"PGM_LOG_LEVEL", 1, "common", "Detail of the log, 0 (errors) to 3 (all)"},
};

const PGM_COMMON_INI_SETTING_INFO STRING_SETTINGS[PGM_COMMON_INI_STRING_MAX] = {
    {"PGM_LOG_FILE", 0, "common", "Path of the log file"},
    {"PGM_TEMP_DIRECTORY", 0, "common", "Folder of the intermediate files"},
    {"PGM_CABLE_NAME", 0, "pgm", "The programming cable to use when several are attached"},
};

// The key of the access codes.
const BYTE PASSWORD_KEY[32] = {0x5b, 0x91, 0x2e, 0xc4, 0x07, 0x3d, 0xa8, 0x66, 0xf2, 0x19, 0x8c, 0x40, 0xd5, 0x7e, 0x23, 0xb9,
                               0x6a, 0x04, 0xee, 0x37, 0x92, 0xc1, 0x58, 0x0f, 0xad, 0x74, 0x1b, 0xe6, 0x39, 0x85, 0xd0, 0x4c};

// The characters of the access codes: no 0, 1, I or O, which read alike.
const char PASSWORD_ALPHABET[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";

} // namespace

const PGM_COMMON_INI_SETTING_INFO& PGM_COMMON_INI::get_boolean_info(PGM_COMMON_INI_BOOLEAN_ENUM ini)
{
    PGM_CHECK(ini < PGM_COMMON_INI_BOOLEAN_MAX);
    return BOOLEAN_SETTINGS[ini];
}

const PGM_COMMON_INI_SETTING_INFO& PGM_COMMON_INI::get_integer_info(PGM_COMMON_INI_INTEGER_ENUM ini)
{
    PGM_CHECK(ini < PGM_COMMON_INI_INTEGER_MAX);
    return INTEGER_SETTINGS[ini];
}

const PGM_COMMON_INI_SETTING_INFO& PGM_COMMON_INI::get_string_info(PGM_COMMON_INI_STRING_ENUM ini)
{
    PGM_CHECK(ini < PGM_COMMON_INI_STRING_MAX);
    return STRING_SETTINGS[ini];
}

// The names are held plain: the name is the stored text.
std::string PGM_COMMON_INI::setting_name(const PGM_COMMON_INI_SETTING_INFO& info)
{
    std::string encoded_name = info.encoded_name;
    PGM_CHECK(encoded_name.size() > 0);
    return encoded_name;
}

bool PGM_COMMON_INI::get_boolean(PGM_COMMON_INI_BOOLEAN_ENUM ini, bool default_value)
{
    return cfg_is_on(setting_name(get_boolean_info(ini)), default_value) != BRISOL_FALSE;
}

int PGM_COMMON_INI::get_integer(PGM_COMMON_INI_INTEGER_ENUM ini, int default_value)
{
    return cfg_get_int_value(setting_name(get_integer_info(ini)), default_value);
}

std::string PGM_COMMON_INI::get_string(PGM_COMMON_INI_STRING_ENUM ini)
{
    return cfg_get_value(setting_name(get_string_info(ini)));
}

std::string PGM_COMMON_INI::get_general_ini(std::string ini, bool flag1, bool flag2)
{
    PGM_CHECK(!ini.empty());
    const std::string text = cfg_get_value(ini);
    if (text.size() <= 9 || text[8] != '@')
        return "";
    if (text.compare(0, 8, PGM_COMMON_SECURITY::gen_password(ini, 8, flag1, flag2)) != 0)
        return "";
    return text.substr(9);
}

// Each run of 32 characters comes from the HMAC of the name, the flags
// (one byte each, 0 or 1) and the run's number (four bytes, least
// significant first, from 0); each byte of it picks one of the 32
// characters.
std::string PGM_COMMON_SECURITY::gen_password(std::string name, DWORD length, bool flag1, bool flag2)
{
    std::vector<BYTE> message(name.begin(), name.end());
    message.push_back(flag1 ? 1 : 0);
    message.push_back(flag2 ? 1 : 0);
    message.resize(message.size() + 4);
    std::string password;
    password.reserve(length);
    for (DWORD run = 0; password.size() < length; ++run) {
        PGM_COMMON::put_dword(&message[message.size() - 4], run);
        std::unique_ptr<BYTE[]> digest(
            PGM_COMMON::get_block_hmac256(message.data(), DWORD(message.size()), PASSWORD_KEY, sizeof(PASSWORD_KEY)));
        for (DWORD i = 0; i < 32 && password.size() < length; ++i)
            password += PASSWORD_ALPHABET[digest[i] % 32];
    }
    return password;
}
