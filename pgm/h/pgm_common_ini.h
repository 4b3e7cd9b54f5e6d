// Named settings of the host configuration (host/cfg.h: the file named by
// PGM_INI_FILE, and "--ini=NAME=VALUE" on a command line), read by
// enumeration value instead of by name, and general settings protected by
// an access code.
//
// The settings, by enumeration value (name of the setting: meaning):
//
// Switches ("on", "true", "yes", "1" / "off", "false", "no", "0"):
//   VERIFY_AFTER_PROGRAM         PGM_VERIFY_AFTER_PROGRAM: read back and compare every
//                                block after programming it
//   BLANK_CHECK_BEFORE_PROGRAM   PGM_BLANK_CHECK_BEFORE_PROGRAM: check that the device
//                                is erased before programming it
//   ERASE_BEFORE_PROGRAM         PGM_ERASE_BEFORE_PROGRAM: erase the device before
//                                programming it
//   SKIP_IDCODE_CHECK            PGM_SKIP_IDCODE_CHECK: program without comparing the
//                                device's JTAG ID code with the expected one
//   CHECK_CONF_DONE              PGM_CHECK_CONF_DONE: wait for CONF_DONE after
//                                configuring a device
//   KEEP_TEMP_FILES              PGM_KEEP_TEMP_FILES: keep the intermediate files of a
//                                run instead of removing them
//   OVERWRITE_OUTPUT_FILES       PGM_OVERWRITE_OUTPUT_FILES: replace existing output
//                                files without asking
//   COMPRESS_OUTPUT_FILES        PGM_COMPRESS_OUTPUT_FILES: write programming files
//                                gzip-compressed
//   LOG_TO_FILE                  PGM_LOG_TO_FILE: copy the console messages into the
//                                log file (PGM_LOG_FILE)
//   LOG_TIMESTAMPS               PGM_LOG_TIMESTAMPS: start every logged line with the
//                                time
// Integers (decimal or "0x" hexadecimal):
//   JTAG_FREQUENCY_KHZ           PGM_JTAG_FREQUENCY_KHZ: clock of the JTAG chain in kHz
//   PROGRAM_RETRY_COUNT          PGM_PROGRAM_RETRY_COUNT: attempts at a block that fails
//                                to program or verify
//   LOG_LEVEL                    PGM_LOG_LEVEL: detail of the log, 0 (errors) to 3 (all)
// Texts:
//   LOG_FILE                     PGM_LOG_FILE: path of the log file
//   TEMP_DIRECTORY               PGM_TEMP_DIRECTORY: folder of the intermediate files
//   CABLE_NAME                   PGM_CABLE_NAME: the programming cable to use when
//                                several are attached
#pragma once

#include "host/host_types.h"
#include "pgm/h/pgm_common_api.h"

#include <string>

enum PGM_COMMON_INI_BOOLEAN_ENUM {
    PGM_COMMON_INI_BOOLEAN_VERIFY_AFTER_PROGRAM = 0,
    PGM_COMMON_INI_BOOLEAN_BLANK_CHECK_BEFORE_PROGRAM,
    PGM_COMMON_INI_BOOLEAN_ERASE_BEFORE_PROGRAM,
    PGM_COMMON_INI_BOOLEAN_SKIP_IDCODE_CHECK,
    PGM_COMMON_INI_BOOLEAN_CHECK_CONF_DONE,
    PGM_COMMON_INI_BOOLEAN_KEEP_TEMP_FILES,
    PGM_COMMON_INI_BOOLEAN_OVERWRITE_OUTPUT_FILES,
    PGM_COMMON_INI_BOOLEAN_COMPRESS_OUTPUT_FILES,
    PGM_COMMON_INI_BOOLEAN_LOG_TO_FILE,
    PGM_COMMON_INI_BOOLEAN_LOG_TIMESTAMPS,
    PGM_COMMON_INI_BOOLEAN_MAX
};

enum PGM_COMMON_INI_INTEGER_ENUM {
    PGM_COMMON_INI_INTEGER_JTAG_FREQUENCY_KHZ = 0,
    PGM_COMMON_INI_INTEGER_PROGRAM_RETRY_COUNT,
    PGM_COMMON_INI_INTEGER_LOG_LEVEL,
    PGM_COMMON_INI_INTEGER_MAX
};

enum PGM_COMMON_INI_STRING_ENUM {
    PGM_COMMON_INI_STRING_LOG_FILE = 0,
    PGM_COMMON_INI_STRING_TEMP_DIRECTORY,
    PGM_COMMON_INI_STRING_CABLE_NAME,
    PGM_COMMON_INI_STRING_MAX
};

// One entry of the setting tables.
struct PGM_COMMON_INI_SETTING_INFO {
    std::string encoded_name;        // the setting's name (held plain)
    DWORD default_value;             // the value the tool chain assumes when it is not set
    std::string owner;               // the part of the tool chain it tunes: "pgm", "pfg" or "common"
    std::string encoded_description; // what it does (held plain)
};

class PGM_COMMON_API PGM_COMMON_INI {
public:
    // The switch's state, or default_value when it is not set or is not
    // one of the switch words.
    static bool get_boolean(PGM_COMMON_INI_BOOLEAN_ENUM ini, bool default_value);
    // The number, or default_value when it is not set or not a number.
    static int get_integer(PGM_COMMON_INI_INTEGER_ENUM ini, int default_value);
    // The text, empty when it is not set.
    static std::string get_string(PGM_COMMON_INI_STRING_ENUM ini);
    // The value of a general setting written "CODE@VALUE", where CODE is
    // PGM_COMMON_SECURITY::gen_password(ini, 8, flag1, flag2); empty when it
    // is not set or does not carry that code.
    static std::string get_general_ini(std::string ini, bool flag1, bool flag2);

    // The table entries, for listing the settings.
    static const PGM_COMMON_INI_SETTING_INFO& get_boolean_info(PGM_COMMON_INI_BOOLEAN_ENUM ini);
    static const PGM_COMMON_INI_SETTING_INFO& get_integer_info(PGM_COMMON_INI_INTEGER_ENUM ini);
    static const PGM_COMMON_INI_SETTING_INFO& get_string_info(PGM_COMMON_INI_STRING_ENUM ini);

private:
    friend struct PGM_COMMON_INI_TEST_ACCESS; // the tests reach the private helpers
    // The plain name of a table entry.
    static std::string setting_name(const PGM_COMMON_INI_SETTING_INFO& info);
};

class PGM_COMMON_API PGM_COMMON_SECURITY {
public:
    // An access code of length characters from "ABCDEFGHJKLMNPQRSTUVWXYZ23456789"
    // derived from the name and the two flags: HMAC-SHA-256 under a key
    // built into the library, so that only the library and its tools make it.
    static std::string gen_password(std::string name, DWORD length, bool flag1, bool flag2);
};
