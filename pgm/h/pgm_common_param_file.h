// Parameter files: named string parameters kept in memory, read from and
// written to a text file of lines
//     NAME                                     = "VALUE"
// A parameter marked as a comment is written as such a line behind "# ",
// so that the file documents it without setting it; reading skips it.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <map>
#include <string>

// One parameter.
struct PARAM_PROPERTIES {
    std::string name;  // the parameter's name, equal to its key in the map
    std::string value;
    bool comment;      // written as a comment line, not read back
};

class PGM_COMMON_API PGM_COMMON_PARAM_FILE_MANAGER {
public:
    PGM_COMMON_PARAM_FILE_MANAGER();
    PGM_COMMON_PARAM_FILE_MANAGER(const PGM_COMMON_PARAM_FILE_MANAGER& other);
    PGM_COMMON_PARAM_FILE_MANAGER& operator=(const PGM_COMMON_PARAM_FILE_MANAGER& other);
    ~PGM_COMMON_PARAM_FILE_MANAGER();

    // Replaces the parameters by those of the file (plain or gzip-compressed).
    // Comment lines (a "#" after nothing but spaces) and blank lines are
    // skipped, tabs and line breaks deleted; NAME = "VALUE" lose their
    // double quotes and surrounding spaces; of two lines of one name the
    // first counts; an empty file is an empty set. False with the reason in
    // error: "Fail to read FILE" when it cannot be read, "Found invalid
    // format on line "LINE"" for a line without exactly one "=" and a value
    // after it (the parameters of the lines before it are kept).
    bool read(std::string filepath, std::string& error);
    // Writes every parameter, in name order, one line each, as the whole
    // file or not at all; a name that begins with "#" is written behind a
    // tab, so that its line is not a comment. A parameter that would not
    // read back as it is (an empty name; a name or value holding a
    // double quote, "=", a tab, a line break or a NUL byte, or beginning or
    // ending with a space) is refused with "Fail to write FILE: parameter
    // "NAME" would not read back: WHY" and nothing is written. "Fail to
    // write FILE" when it cannot be written, with errno telling why.
    bool write(std::string filepath, std::string& error);
    // The parameter's value and comment flag; false (value empty, comment
    // false) when there is no parameter of that name.
    bool get_value(std::string param, std::string& value, bool& comment) const;
    // Adds the parameter, or replaces the one of that name; name and value
    // are kept as given.
    void set_value(std::string param, std::string value, bool comment);
    // The parameters themselves, by name; changes act on this object.
    std::map<std::string, PARAM_PROPERTIES>* get_param_value_map();

private:
    // A line's name and value; true with both empty for a comment line or
    // a blank one, false with both empty for a line that is not NAME = "VALUE".
    bool parse_line(std::string line, std::string& name, std::string& value);
    // Without double quotes and without leading and trailing spaces.
    std::string reformat(std::string text);

    std::map<std::string, PARAM_PROPERTIES> param_value_map;
};
