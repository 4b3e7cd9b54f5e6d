// Command-line argument parser.
//
// The program declares a table of arguments; each "-name", "--name=value"
// word is matched against it without regard to case and its value is
// stored straight into the bound variable. Two built-in arguments are kept
// apart from the program's table: "unhide_all_arg" (FLAG) clears every
// entry's hidden flag, and "ini" (STRING, "--ini=NAME=VALUE") sets one
// setting of the host configuration library. Words that are not arguments
// are file paths.
#include "pgm/h/pgm_common_cmd.h"

#include "host/cfg.h"
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/h/pgm_common.h"
#include "pgm/h/pgm_common_msg.h"

#include <cstring>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// Type words used in messages, indexed by PGM_COMMON_CMD_ARG_TYPE.
const char* const ARG_TYPE_WORDS[PGM_COMMON_CMD_ARG_MAX] = {"FLAG", "INTEGER", "STRING"};

// Number of built-in arguments and their names, in table order.
const DWORD INTERNAL_ARG_COUNT = 2;
const char* const INTERNAL_UNHIDE_ALL_ARG = "unhide_all_arg";
const char* const INTERNAL_INI = "ini";

// The raw value of an entry's type field. A table may hold any 32-bit
// value there (cast into the enum); reading the bytes instead of the enum
// keeps such values well defined, and the unsigned view makes a negative
// value "not below PGM_COMMON_CMD_ARG_MAX" as well.
DWORD raw_type(const PGM_COMMON_CMD_ARG_STRUCT& entry)
{
    DWORD value = 0;
    static_assert(sizeof(entry.type) == sizeof(value), "type field is 32 bits");
    std::memcpy(&value, &entry.type, sizeof(value));
    return value;
}

// The word without its leading "-" characters.
std::string strip_dashes(const std::string& word)
{
    size_t start = word.find_first_not_of('-');
    return start == std::string::npos ? std::string() : word.substr(start);
}

// True for a word that names an argument: not empty and its first "-" is
// its first character.
bool is_argument_word(const std::string& word)
{
    return !word.empty() && word.find('-') == 0;
}

// The part of text before its first "=" (all of it when there is none).
std::string name_part(const std::string& text)
{
    return text.substr(0, text.find('='));
}

} // namespace

PGM_COMMON_CMD_ERROR PGM_COMMON_CMD::parse_argument(int argc, const char** argv, DWORD count,
                                                    const PGM_COMMON_CMD_ARG_STRUCT* list,
                                                    std::vector<std::string>& filepaths,
                                                    std::vector<std::string>* used)
{
    // The built-in arguments' variables live for this call only.
    bool unhide_all_arg = false;
    std::string ini;
    const PGM_COMMON_CMD_ARG_STRUCT internal_list[INTERNAL_ARG_COUNT] = {
        {INTERNAL_UNHIDE_ALL_ARG, PGM_COMMON_CMD_ARG_FLAG, &unhide_all_arg, false, false, ""},
        {INTERNAL_INI, PGM_COMMON_CMD_ARG_STRING, &ini, false, false, ""}};

    for (DWORD i = 0; i < count; i++) {
        for (DWORD j = 0; j < INTERNAL_ARG_COUNT; j++) {
            if (PGM_COMMON::compare_string(list[i].name, internal_list[j].name, false)) {
                PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "\"%s\" has been used for internal %s argument",
                                          internal_list[j].name.c_str(),
                                          ARG_TYPE_WORDS[raw_type(internal_list[j])]);
                return PGM_COMMON_CMD_ERROR_INTERNAL_NAME;
            }
        }
    }

    std::vector<std::string> user_args;
    std::vector<std::string> internal_args;
    split_arg(argc, argv, INTERNAL_ARG_COUNT, internal_list, user_args, internal_args);

    PGM_CHECK(filepaths.size() == 0);
    PGM_COMMON_CMD_ERROR error = parse_argument(internal_args, INTERNAL_ARG_COUNT, internal_list, filepaths, NULL);
    PGM_CHECK(filepaths.size() == 0);

    if (error == PGM_COMMON_CMD_ERROR_NONE) {
        if (unhide_all_arg) {
            // The table is the program's own; clearing its hidden flags in
            // place is part of this function's contract.
            PGM_COMMON_CMD_ARG_STRUCT* writable = const_cast<PGM_COMMON_CMD_ARG_STRUCT*>(list);
            for (DWORD i = 0; i < count; i++)
                writable[i].hidden = false;
        }
        error = parse_argument(user_args, count, list, filepaths, used);
    }
    return error;
}

void PGM_COMMON_CMD::split_arg(int argc, const char** argv, DWORD internal_count,
                               const PGM_COMMON_CMD_ARG_STRUCT* internal_list, std::vector<std::string>& user_args,
                               std::vector<std::string>& internal_args)
{
    for (int i = 1; i < argc; i++) {
        std::string word = argv[i];
        if (!is_argument_word(word)) {
            user_args.push_back(word);
            continue;
        }
        std::string name = name_part(strip_dashes(word));
        bool internal = false;
        for (DWORD j = 0; j < internal_count && !internal; j++)
            internal = PGM_COMMON::compare_string(name, internal_list[j].name, false);
        if (internal)
            internal_args.push_back(word);
        else
            user_args.push_back(word);
    }
}

void PGM_COMMON_CMD::prepare_check_list(DWORD count, std::vector<bool>& check_list)
{
    for (DWORD i = 0; i < count; i++)
        check_list.push_back(false);
}

PGM_COMMON_CMD_ERROR PGM_COMMON_CMD::parse_argument(std::vector<std::string> args, DWORD count,
                                                    const PGM_COMMON_CMD_ARG_STRUCT* list,
                                                    std::vector<std::string>& filepaths,
                                                    std::vector<std::string>* used)
{
    // One bit per table entry: set once the argument has been given.
    std::vector<bool> check_list;
    prepare_check_list(count, check_list);
    PGM_CHECK(check_list.size() > 0);

    bool ini_applied = false;
    for (const std::string& word : args) {
        if (!is_argument_word(word)) {
            filepaths.push_back(word);
            continue;
        }
        std::string arg = strip_dashes(word);
        PGM_COMMON_CMD_ERROR error = update_argument(check_list, arg, count, list, ini_applied);
        if (error != PGM_COMMON_CMD_ERROR_NONE)
            return error;
        if (used != NULL)
            used->push_back(arg);
    }
    if (ini_applied)
        cfg_hostexe_ini_applied();
    return PGM_COMMON_CMD_ERROR_NONE;
}

PGM_COMMON_CMD_ERROR PGM_COMMON_CMD::update_argument(std::vector<bool>& check_list, std::string& arg, DWORD count,
                                                     const PGM_COMMON_CMD_ARG_STRUCT* list, bool& ini_applied)
{
    size_t equal = arg.find('=');
    bool has_equal = equal != std::string::npos;
    std::string name = arg.substr(0, equal);
    std::string value = has_equal ? arg.substr(equal + 1) : std::string();

    DWORD index = count;
    for (DWORD i = 0; i < count; i++) {
        if (PGM_COMMON::compare_string(list[i].name, name, false)) {
            index = i;
            break;
        }
    }
    PGM_COMMON_CMD_ERROR error = PGM_COMMON_CMD_ERROR_NONE;
    if (index == count || raw_type(list[index]) >= PGM_COMMON_CMD_ARG_MAX) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "Argument: %s (%s) is not supported", name.c_str(),
                                  arg.c_str());
        error = PGM_COMMON_CMD_ERROR_UNSUPPORTED;
    }
    const PGM_COMMON_CMD_ARG_STRUCT* entry = error == PGM_COMMON_CMD_ERROR_NONE ? &list[index] : NULL;
    DWORD type = entry != NULL ? raw_type(*entry) : DWORD(PGM_COMMON_CMD_ARG_MAX);

    if (error == PGM_COMMON_CMD_ERROR_NONE)
        error = check_duplicated_arg(check_list, ARG_TYPE_WORDS[type], name, index);

    if (error == PGM_COMMON_CMD_ERROR_NONE && type == PGM_COMMON_CMD_ARG_FLAG) {
        if (has_equal) {
            PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0,
                                      "FLAG argument shouldn't have \"=\" sign and any value: %s (%s)",
                                      name.c_str(), arg.c_str());
            error = PGM_COMMON_CMD_ERROR_FORMAT;
        } else {
            bool* flag = static_cast<bool*>(entry->ptr);
            *flag = !*flag;
        }
    } else if (error == PGM_COMMON_CMD_ERROR_NONE) {
        // INTEGER and STRING need a non-empty value after "=".
        if (!has_equal) {
            PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0,
                                      "INT and STR argument expected to have \"=\" between argument and value: %s",
                                      name.c_str());
            error = PGM_COMMON_CMD_ERROR_FORMAT;
        } else if (value.empty()) {
            PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0,
                                      "INT and STR argument's value cannot be empty string: %s (%s)", name.c_str(),
                                      arg.c_str());
            error = PGM_COMMON_CMD_ERROR_FORMAT;
        } else if (type == PGM_COMMON_CMD_ARG_STRING) {
            std::string* text = static_cast<std::string*>(entry->ptr);
            *text = value;
            if (entry->upper_case)
                stl_toupper(*text);
            // Only the name written exactly "ini" applies a setting.
            if (name == INTERNAL_INI) {
                size_t ini_equal = value.find('=');
                if (ini_equal == std::string::npos || ini_equal + 1 == value.size()) {
                    PGM_COMMON_MSG::print_msg(
                        PGM_COMMON_MSG_ERROR, 0,
                        "Internal INI must follow format --ini=<ini string>=<ini value> but found \"%s\"",
                        value.c_str());
                    error = PGM_COMMON_CMD_ERROR_FORMAT;
                } else {
                    cfg_set_value(value.substr(0, ini_equal), value.substr(ini_equal + 1));
                    ini_applied = true;
                }
            }
        } else {
            error = update_integer_argument(value, list, index);
        }
    }
    arg = name;
    return error;
}

PGM_COMMON_CMD_ERROR PGM_COMMON_CMD::update_integer_argument(std::string value,
                                                             const PGM_COMMON_CMD_ARG_STRUCT* list, DWORD index)
{
    bool ok = false;
    int number = PGM_COMMON::convert_string_to_integer(value, false, &ok, NULL, false);
    if (!ok) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "Unable to convert the argument's value to integer: %s",
                                  list[index].name.c_str());
        return PGM_COMMON_CMD_ERROR_INTEGER;
    }
    *static_cast<int*>(list[index].ptr) = number;
    return PGM_COMMON_CMD_ERROR_NONE;
}

PGM_COMMON_CMD_ERROR PGM_COMMON_CMD::check_duplicated_arg(std::vector<bool>& check_list, std::string type_word,
                                                          std::string name, DWORD index)
{
    // "ini" (written exactly so) may be given any number of times.
    if (name != INTERNAL_INI && check_list[index]) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "Duplication %s argument: %s", type_word.c_str(),
                                  name.c_str());
        return PGM_COMMON_CMD_ERROR_DUPLICATED;
    }
    check_list[index] = true;
    return PGM_COMMON_CMD_ERROR_NONE;
}

std::string PGM_COMMON_CMD::print_arg_value(const PGM_COMMON_CMD_ARG_STRUCT* list, DWORD index)
{
    DWORD type = raw_type(list[index]);
    PGM_CHECK_TEXT(type < PGM_COMMON_CMD_ARG_MAX, "type < PGM_COMMON_CMD_ARG_MAX");
    PGM_CHECK_TEXT(list[index].ptr != NULL, "arg_list[arg_index].ptr != NULL");
    std::string text;
    if (type == PGM_COMMON_CMD_ARG_FLAG)
        text = *static_cast<const bool*>(list[index].ptr) ? "TRUE" : "FALSE";
    else if (type == PGM_COMMON_CMD_ARG_INTEGER)
        MEM_DETAIL::stl_raw_sprintf(text, "%d", *static_cast<const int*>(list[index].ptr));
    else
        text = *static_cast<const std::string*>(list[index].ptr);
    return text;
}

void PGM_COMMON_CMD::print_help(bool show_filepaths, DWORD count, const PGM_COMMON_CMD_ARG_STRUCT* list,
                                std::vector<std::string>& filepaths, DWORD help_count,
                                const PGM_COMMON_CMD_HELP_STRUCT* help)
{
    if (!show_filepaths) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 0, "\nFormat:\n");
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 1, "1) FLAG: --flag");
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 1, "2) INTEGER: --integer=123");
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 1, "3) STRING: --string=abc or --string=\"abc\"");
    }
    PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 0, "\n*********** Updated Arguments ***********");

    static const char* const HEADINGS[PGM_COMMON_CMD_ARG_MAX] = {
        "\nList of FLAG arguments:\n", "\nList of INTEGER arguments:\n", "\nList of STRING arguments:\n"};
    for (DWORD type = 0; type < PGM_COMMON_CMD_ARG_MAX; type++) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 0, "%s", HEADINGS[type]);
        int number = 1;
        for (DWORD i = 0; i < count; i++) {
            if (raw_type(list[i]) != type || list[i].hidden)
                continue;
            PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 1, "%d) %s (%s) : %s", number++, list[i].name.c_str(),
                                      print_arg_value(list, i).c_str(), list[i].help.c_str());
        }
    }

    if (show_filepaths && filepaths.size() > 0) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 0, "\nList of filepaths:\n");
        for (size_t i = 0; i < filepaths.size(); i++)
            PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 1, "%d) %s", int(i + 1), filepaths[i].c_str());
    }

    PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 0, "\n*********** Usage ***********\n");
    PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 0, "Usage:\n");
    for (DWORD i = 0; i < help_count; i++) {
        // The usage text is itself the print format (a "%" is written "%%").
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, help[i].indent, help[i].text.c_str());
#pragma GCC diagnostic pop
    }
    PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 0, "\n");
}

void PGM_COMMON_CMD::unit_test(DWORD count, const PGM_COMMON_CMD_ARG_STRUCT* list)
{
    const PGM_COMMON_CMD_ARG_STRUCT* arg_list = list;
    for (DWORD arg_index = 0; arg_index < count; arg_index++) {
        for (DWORD earlier = 0; earlier < arg_index; earlier++) {
            if (PGM_COMMON::compare_string(arg_list[earlier].name, arg_list[arg_index].name, false))
                PGM_FAIL("Found duplicated argument %s", arg_list[earlier].name.c_str());
        }
        PGM_CHECK_TEXT(raw_type(arg_list[arg_index]) < PGM_COMMON_CMD_ARG_MAX,
                       "arg_list[arg_index].type < PGM_COMMON_CMD_ARG_MAX");
        PGM_CHECK(arg_list[arg_index].ptr != NULL);
        print_arg_value(arg_list, arg_index);
    }
    PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_DEBUG, 1, "Total of supported argument count: %d", int(count));
}
