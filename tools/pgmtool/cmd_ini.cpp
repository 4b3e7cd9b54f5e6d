// pgmtool ini: the named settings as the library reads them, and the
// access codes of protected general settings.
#include "pgmtool_frame.h"

#include <cstdio>

namespace {

// The value of a setting as the library reads it; read(default) reads it
// with that default, so two defaults that give two results tell that the
// setting is not set or not of its type.
std::string shown_value(const std::string& name, const char* kind, const std::function<std::string(int)>& read)
{
    const std::string text = cfg_get_value(name);
    if (text.empty())
        return "(not set)";
    const std::string value = read(0);
    if (value != read(1))
        return "(set to \"" + text + "\", which is not " + kind + ")";
    return value;
}

void print_setting(const std::string& name, const char* type, const std::string& value)
{
    std::printf("%-31s %-8s %s\n", name.c_str(), type, value.c_str());
}

void list_settings()
{
    for (int i = 0; i < PGM_COMMON_INI_BOOLEAN_MAX; ++i) {
        const auto ini = PGM_COMMON_INI_BOOLEAN_ENUM(i);
        const std::string& name = PGM_COMMON_INI::get_boolean_info(ini).encoded_name;
        print_setting(name, "boolean", shown_value(name, "on or off", [ini](int default_value) {
                          return std::string(PGM_COMMON_INI::get_boolean(ini, default_value != 0) ? "on" : "off");
                      }));
    }
    for (int i = 0; i < PGM_COMMON_INI_INTEGER_MAX; ++i) {
        const auto ini = PGM_COMMON_INI_INTEGER_ENUM(i);
        const std::string& name = PGM_COMMON_INI::get_integer_info(ini).encoded_name;
        print_setting(name, "integer", shown_value(name, "a number", [ini](int default_value) {
                          return std::to_string(PGM_COMMON_INI::get_integer(ini, default_value));
                      }));
    }
    for (int i = 0; i < PGM_COMMON_INI_STRING_MAX; ++i) {
        const auto ini = PGM_COMMON_INI_STRING_ENUM(i);
        const std::string& name = PGM_COMMON_INI::get_string_info(ini).encoded_name;
        print_setting(name, "string", shown_value(name, "a text", [ini](int) { return PGM_COMMON_INI::get_string(ini); }));
    }
}

} // namespace

int pgmtool_ini(int argc, const char** argv)
{
    std::string code, get;
    bool flag1 = false, flag2 = false;
    PGMTOOL_ARGS args("ini", {"ini", "ini --code=NAME [--flag1] [--flag2]", "ini --get=NAME [--flag1] [--flag2]"},
                      {"Lists the named settings of the tool chain (name, type, value) as the library reads",
                       "them from the settings file (PGM_INI_FILE) and --ini=NAME=VALUE. --code prints the",
                       "access code of a protected general setting, which is then written CODE@VALUE;",
                       "--get prints the value of such a setting. The code depends on the two variant",
                       "flags, --flag1 and --flag2, which the tool chain's callers choose."},
                      "pgmtool ini --get=PGM_SITE_KEY --ini=PGM_SITE_KEY=$(pgmtool ini --code=PGM_SITE_KEY)@value");
    args.text("code=NAME", code, "Print the access code of the general setting NAME");
    args.text("get=NAME", get, "Print the value of the protected general setting NAME");
    args.flag("flag1", flag1, "With --code or --get: the first variant flag of the code");
    args.flag("flag2", flag2, "With --code or --get: the second variant flag of the code");
    if (!args.parse(argc, argv, 0, 0))
        return PGMTOOL_OK;
    if (!code.empty() && !get.empty())
        throw PGMTOOL_USAGE("--code and --get cannot be given together");
    if ((flag1 || flag2) && code.empty() && get.empty())
        throw PGMTOOL_USAGE("--flag1 and --flag2 go with --code or --get");
    if (!code.empty()) {
        std::printf("%s\n", PGM_COMMON_SECURITY::gen_password(code, 8, flag1, flag2).c_str());
        return PGMTOOL_OK;
    }
    if (!get.empty()) {
        const std::string value = PGM_COMMON_INI::get_general_ini(get, flag1, flag2);
        if (value.empty() && cfg_get_value(get).empty())
            throw PGMTOOL_FAILURE("setting " + get + " is not set");
        if (value.empty())
            throw PGMTOOL_FAILURE("setting " + get + " is not CODE@VALUE with its access code (pgmtool ini --code=" +
                                  get + (flag1 ? " --flag1" : "") + (flag2 ? " --flag2" : "") + ") and a value");
        std::printf("%s\n", value.c_str());
        return PGMTOOL_OK;
    }
    list_settings();
    return PGMTOOL_OK;
}
