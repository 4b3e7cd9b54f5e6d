// Command-line parsing against a program's table of arguments.
#pragma once

#include "host/host_types.h"
#include "pgm/h/pgm_common_api.h"

#include <string>
#include <vector>

enum PGM_COMMON_CMD_ARG_TYPE {
    PGM_COMMON_CMD_ARG_FLAG = 0,    // bound variable: bool
    PGM_COMMON_CMD_ARG_INTEGER = 1, // bound variable: int
    PGM_COMMON_CMD_ARG_STRING = 2,  // bound variable: std::string
    PGM_COMMON_CMD_ARG_MAX = 3
};

struct PGM_COMMON_CMD_ARG_STRUCT {
    std::string name;             // without dashes; matched without regard to case
    PGM_COMMON_CMD_ARG_TYPE type;
    void* ptr;                    // the program's variable, not owned
    bool upper_case;              // STRING: store the value in upper case
    bool hidden;                  // left out of the listing
    std::string help;             // description in the listing
};

struct PGM_COMMON_CMD_HELP_STRUCT {
    DWORD indent;     // indentation units
    std::string text; // a print format: write "%" as "%%"
};

enum PGM_COMMON_CMD_ERROR {
    PGM_COMMON_CMD_ERROR_NONE = 0,
    PGM_COMMON_CMD_ERROR_UNSUPPORTED = 2,
    PGM_COMMON_CMD_ERROR_DUPLICATED = 3,
    PGM_COMMON_CMD_ERROR_INTERNAL_NAME = 4,
    PGM_COMMON_CMD_ERROR_FORMAT = 5,
    PGM_COMMON_CMD_ERROR_INTEGER = 6
};

class PGM_COMMON_API PGM_COMMON_CMD {
public:
    // Parses argv[1..argc-1]; the table's hidden flags are cleared when
    // "--unhide_all_arg" is given. Words that are not arguments go to filepaths.
    static PGM_COMMON_CMD_ERROR parse_argument(int argc, const char** argv, DWORD count,
                                               const PGM_COMMON_CMD_ARG_STRUCT* list,
                                               std::vector<std::string>& filepaths,
                                               std::vector<std::string>* used = NULL);
    static void print_help(bool show_filepaths, DWORD count, const PGM_COMMON_CMD_ARG_STRUCT* list,
                           std::vector<std::string>& filepaths, DWORD help_count,
                           const PGM_COMMON_CMD_HELP_STRUCT* help);
    // Checks a program's table: unique names, known types, bound variables.
    static void unit_test(DWORD count, const PGM_COMMON_CMD_ARG_STRUCT* list);

private:
    static PGM_COMMON_CMD_ERROR parse_argument(std::vector<std::string> args, DWORD count,
                                               const PGM_COMMON_CMD_ARG_STRUCT* list,
                                               std::vector<std::string>& filepaths,
                                               std::vector<std::string>* used);
    static void split_arg(int argc, const char** argv, DWORD internal_count,
                          const PGM_COMMON_CMD_ARG_STRUCT* internal_list, std::vector<std::string>& user_args,
                          std::vector<std::string>& internal_args);
    static void prepare_check_list(DWORD count, std::vector<bool>& check_list);
    static PGM_COMMON_CMD_ERROR update_argument(std::vector<bool>& check_list, std::string& arg, DWORD count,
                                                const PGM_COMMON_CMD_ARG_STRUCT* list, bool& ini_applied);
    static PGM_COMMON_CMD_ERROR update_integer_argument(std::string value, const PGM_COMMON_CMD_ARG_STRUCT* list,
                                                        DWORD index);
    static PGM_COMMON_CMD_ERROR check_duplicated_arg(std::vector<bool>& check_list, std::string type_word,
                                                     std::string name, DWORD index);
    static std::string print_arg_value(const PGM_COMMON_CMD_ARG_STRUCT* list, DWORD index);
};
