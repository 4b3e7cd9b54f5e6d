// Named settings read by enumeration value, protected general settings and
// their access codes, and pgmtool ini.
#include "test_support.h"

#include <algorithm>
#include <set>

struct PGM_COMMON_INI_TEST_ACCESS {
    static std::string setting_name(const PGM_COMMON_INI_SETTING_INFO& info) { return PGM_COMMON_INI::setting_name(info); }
};

namespace {

// The documented names, by enumeration value.
const char* const BOOLEAN_NAMES[] = {"PGM_VERIFY_AFTER_PROGRAM", "PGM_BLANK_CHECK_BEFORE_PROGRAM",
                                     "PGM_ERASE_BEFORE_PROGRAM", "PGM_SKIP_IDCODE_CHECK", "PGM_CHECK_CONF_DONE",
                                     "PGM_KEEP_TEMP_FILES", "PGM_OVERWRITE_OUTPUT_FILES",
                                     "PGM_COMPRESS_OUTPUT_FILES", "PGM_LOG_TO_FILE", "PGM_LOG_TIMESTAMPS"};
const char* const INTEGER_NAMES[] = {"PGM_JTAG_FREQUENCY_KHZ", "PGM_PROGRAM_RETRY_COUNT", "PGM_LOG_LEVEL"};
const char* const STRING_NAMES[] = {"PGM_LOG_FILE", "PGM_TEMP_DIRECTORY", "PGM_CABLE_NAME"};

} // namespace

TEST(Ini, TypedGettersReadTheNamedSettings)
{
    static_assert(PGM_COMMON_INI_BOOLEAN_MAX == 10 && PGM_COMMON_INI_INTEGER_MAX == 3 && PGM_COMMON_INI_STRING_MAX == 3,
                  "setting counts");
    std::set<std::string> owners = {"pgm", "pfg", "common"};
    for (int i = 0; i < PGM_COMMON_INI_BOOLEAN_MAX; ++i) {
        const auto ini = PGM_COMMON_INI_BOOLEAN_ENUM(i);
        const PGM_COMMON_INI_SETTING_INFO& info = PGM_COMMON_INI::get_boolean_info(ini);
        EXPECT_EQ(BOOLEAN_NAMES[i], info.encoded_name);
        EXPECT_TRUE(owners.count(info.owner) && !info.encoded_description.empty() && info.default_value <= 1);
        // The switch words in any case; anything else, or nothing, gives the default.
        const std::pair<const char*, int> values[] = {{"on", 1}, {"TRUE", 1}, {"yes", 1}, {"1", 1}, {"Off", 0},
                                                      {"false", 0}, {"no", 0}, {"0", 0}, {"maybe", -1}, {"", -1}};
        for (const auto& value : values) {
            cfg_clear();
            if (*value.first)
                cfg_set_value(BOOLEAN_NAMES[i], value.first);
            for (bool default_value : {false, true})
                EXPECT_EQ(value.second < 0 ? default_value : value.second == 1,
                          PGM_COMMON_INI::get_boolean(ini, default_value))
                    << BOOLEAN_NAMES[i] << " " << value.first;
        }
    }
    for (int i = 0; i < PGM_COMMON_INI_INTEGER_MAX; ++i) {
        const auto ini = PGM_COMMON_INI_INTEGER_ENUM(i);
        EXPECT_EQ(INTEGER_NAMES[i], PGM_COMMON_INI::get_integer_info(ini).encoded_name);
        cfg_clear();
        EXPECT_EQ(-7, PGM_COMMON_INI::get_integer(ini, -7));
        cfg_set_value(INTEGER_NAMES[i], "0x10");
        EXPECT_EQ(16, PGM_COMMON_INI::get_integer(ini, -7));
        cfg_set_value(INTEGER_NAMES[i], "-12");
        EXPECT_EQ(-12, PGM_COMMON_INI::get_integer(ini, -7));
        cfg_set_value(INTEGER_NAMES[i], "twelve");
        EXPECT_EQ(-7, PGM_COMMON_INI::get_integer(ini, -7));
    }
    for (int i = 0; i < PGM_COMMON_INI_STRING_MAX; ++i) {
        const auto ini = PGM_COMMON_INI_STRING_ENUM(i);
        EXPECT_EQ(STRING_NAMES[i], PGM_COMMON_INI::get_string_info(ini).encoded_name);
        cfg_clear();
        EXPECT_EQ("", PGM_COMMON_INI::get_string(ini));
        cfg_set_value(STRING_NAMES[i], "/tmp/pgm log");
        EXPECT_EQ("/tmp/pgm log", PGM_COMMON_INI::get_string(ini));
    }
    cfg_clear();
}

TEST(Ini, BrokenPreconditionsAreInternalErrors)
{
    EXPECT_INTERNAL_ERROR(PGM_COMMON_INI::get_boolean(PGM_COMMON_INI_BOOLEAN_ENUM(10), true),
                          "ini < PGM_COMMON_INI_BOOLEAN_MAX");
    EXPECT_TRUE(PGM_COMMON_INI::get_boolean(PGM_COMMON_INI_BOOLEAN_ENUM(9), true));
    EXPECT_INTERNAL_ERROR(PGM_COMMON_INI::get_integer(PGM_COMMON_INI_INTEGER_ENUM(3), 0),
                          "ini < PGM_COMMON_INI_INTEGER_MAX");
    EXPECT_INTERNAL_ERROR(PGM_COMMON_INI::get_string(PGM_COMMON_INI_STRING_ENUM(3)), "ini < PGM_COMMON_INI_STRING_MAX");
    EXPECT_INTERNAL_ERROR(PGM_COMMON_INI_TEST_ACCESS::setting_name({"", 0, "pgm", "x"}), "encoded_name.size() > 0");
    EXPECT_INTERNAL_ERROR(PGM_COMMON_INI::get_general_ini("", false, false), "!ini.empty()");
}

TEST(Ini, AccessCodes)
{
    const std::string alphabet = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    std::set<std::string> codes;
    for (const char* name : {"PGM_SITE_KEY", "PGM_SITE_KEZ", "P", "PGM_SITE_KEY\x01"}) {
        for (int flags = 0; flags < 4; ++flags) {
            std::string code = PGM_COMMON_SECURITY::gen_password(name, 8, flags & 1, flags & 2);
            EXPECT_EQ(8u, code.size());
            EXPECT_EQ(std::string::npos, code.find_first_not_of(alphabet)) << code;
            EXPECT_EQ(code, PGM_COMMON_SECURITY::gen_password(name, 8, flags & 1, flags & 2));
            codes.insert(code);
        }
    }
    EXPECT_EQ(16u, codes.size()); // every name and flag changes the code
    const std::string long_code = PGM_COMMON_SECURITY::gen_password("PGM_SITE_KEY", 100, true, false);
    EXPECT_EQ(100u, long_code.size());
    EXPECT_EQ(std::string::npos, long_code.find_first_not_of(alphabet));
    EXPECT_EQ(PGM_COMMON_SECURITY::gen_password("PGM_SITE_KEY", 8, true, false), long_code.substr(0, 8));
    EXPECT_NE(long_code.substr(0, 32), long_code.substr(32, 32)); // each run of 32 its own
    EXPECT_EQ("", PGM_COMMON_SECURITY::gen_password("PGM_SITE_KEY", 0, false, false));
    // Over many names every character turns up.
    std::string seen;
    for (int i = 0; i < 64; ++i)
        seen += PGM_COMMON_SECURITY::gen_password("N" + std::to_string(i), 8, false, false);
    for (char c : alphabet)
        EXPECT_NE(std::string::npos, seen.find(c)) << c;
}

TEST(Ini, GeneralSettingsNeedTheirCode)
{
    const std::string code = PGM_COMMON_SECURITY::gen_password("PGM_SITE_KEY", 8, true, false);
    const std::string other = PGM_COMMON_SECURITY::gen_password("PGM_SITE_KEY", 8, false, false);
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"abc", ""},
        {code + "@", ""},                  // nine characters: no value
        {code + "@v", "v"},
        {code + "@a@b = c", "a@b = c"},
        {other + "@v", ""},                // the code of other flags
        {code.substr(0, 7) + "@@v", ""},
        {"x" + code + "@v", ""},
    };
    for (const auto& c : cases) {
        cfg_clear();
        if (!c.first.empty())
            cfg_set_value("PGM_SITE_KEY", c.first);
        EXPECT_EQ(c.second, PGM_COMMON_INI::get_general_ini("PGM_SITE_KEY", true, false)) << c.first;
    }
    cfg_set_value("PGM_OTHER_KEY", code + "@v"); // the code of another name
    EXPECT_EQ("", PGM_COMMON_INI::get_general_ini("PGM_OTHER_KEY", true, false));
    cfg_clear();
}

TEST(Ini, PgmtoolListsSettingsAndMakesCodes)
{
    auto line = [](const std::string& name, const std::string& type, const std::string& value) {
        return name + std::string(32 - name.size(), ' ') + type + std::string(9 - type.size(), ' ') + value + "\n";
    };
    std::string listing;
    for (const char* name : BOOLEAN_NAMES) {
        std::string value = "(not set)";
        if (name == std::string("PGM_VERIFY_AFTER_PROGRAM"))
            value = "on";
        if (name == std::string("PGM_LOG_TO_FILE"))
            value = "(set to \"maybe\", which is not on or off)";
        listing += line(name, "boolean", value);
    }
    listing += line("PGM_JTAG_FREQUENCY_KHZ", "integer", "(set to \"fast\", which is not a number)");
    listing += line("PGM_PROGRAM_RETRY_COUNT", "integer", "(not set)");
    listing += line("PGM_LOG_LEVEL", "integer", "16");
    listing += line("PGM_LOG_FILE", "string", "/tmp/a b");
    listing += line("PGM_TEMP_DIRECTORY", "string", "(not set)");
    listing += line("PGM_CABLE_NAME", "string", "(not set)");
    const std::string code = PGM_COMMON_SECURITY::gen_password("K", 8, false, false);
    const std::string code2 = PGM_COMMON_SECURITY::gen_password("K", 8, false, true);
    const std::string usage = "\nTry \"pgmtool ini --help\" for more information.\n";
    expect_pgmtool({
        {"ini --ini=PGM_VERIFY_AFTER_PROGRAM=yes --ini=PGM_LOG_TO_FILE=maybe --ini=PGM_JTAG_FREQUENCY_KHZ=fast "
         "--ini=PGM_LOG_LEVEL=0x10 '--ini=PGM_LOG_FILE=/tmp/a b'",
         0, listing, ""},
        {"ini --code=K", 0, code + "\n", ""},
        {"ini --code=K --flag2", 0, code2 + "\n", ""},
        {"ini --get=K --ini=K=" + code + "@value", 0, "value\n", ""},
        {"ini --get=K --flag2 --ini=K=" + code2 + "@value", 0, "value\n", ""},
        {"ini --get=K --flag1 --ini=K=" + code + "@value", 2, "",
         "pgmtool: error: setting K is not CODE@VALUE with its access code (pgmtool ini --code=K --flag1) and a "
         "value\n"},
        {"ini --get=K", 2, "", "pgmtool: error: setting K is not set\n"},
        {"ini --get=K --code=K", 1, "", "pgmtool: error: --code and --get cannot be given together" + usage},
        {"ini --flag1", 1, "", "pgmtool: error: --flag1 and --flag2 go with --code or --get" + usage},
    });
}
