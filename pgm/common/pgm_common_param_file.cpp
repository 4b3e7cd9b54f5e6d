// Parameter files of NAME = "VALUE" lines.
#include "pgm/h/pgm_common_param_file.h"

#include "host/fio.h"
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/h/pgm_common.h"

#include <cerrno>
#include <vector>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// Why a name or value of a parameter line would not read back as it is,
// or empty when it would: the reader deletes tabs, line breaks and double
// quotes, trims spaces and splits the line at "=".
std::string line_text_flaw(const std::string& text, const char* what)
{
    const std::pair<char, const char*> held[] = {{'\0', "a NUL byte"}, {'"', "a double quote"}, {'=', "\"=\""},
                                                 {'\t', "a tab"},      {'\r', "a carriage return"},
                                                 {'\n', "a line feed"}};
    for (const auto& character : held) {
        if (text.find(character.first) != std::string::npos)
            return std::string("its ") + what + " holds " + character.second;
    }
    if (!text.empty() && text.front() == ' ')
        return std::string("its ") + what + " begins with a space";
    if (!text.empty() && text.back() == ' ')
        return std::string("its ") + what + " ends with a space";
    return "";
}

// A comment line is never read back; only a text that would end it early
// (a line feed, or a NUL byte that cuts the formatted line) harms the file.
std::string comment_text_flaw(const std::string& text, const char* what)
{
    if (text.find('\0') != std::string::npos)
        return std::string("its ") + what + " holds a NUL byte";
    if (text.find('\n') != std::string::npos)
        return std::string("its ") + what + " holds a line feed";
    return "";
}

// Why the parameter filed under key would not be read back from the file
// as it is, or empty when it would.
std::string unreadable_because(const std::string& key, const PARAM_PROPERTIES& param)
{
    if (param.name != key)
        return "it is filed under the name \"" + param.name + "\"";
    if (param.comment) {
        std::string flaw = comment_text_flaw(param.name, "name");
        return flaw.empty() ? comment_text_flaw(param.value, "value") : flaw;
    }
    if (param.name.empty())
        return "its name is empty";
    // A file that begins so is read as gzip-compressed.
    if (param.name.compare(0, 2, "\x1f\x8b") == 0)
        return "its name begins with the bytes of a gzip header (1F 8B)";
    std::string flaw = line_text_flaw(param.name, "name");
    return flaw.empty() ? line_text_flaw(param.value, "value") : flaw;
}

// Writes the text as the whole file; 0, or the errno value of the failure,
// with any old file left as it was.
int write_whole(const std::string& filepath, const std::string& text)
{
    FIO_ATOMIC_FILE file(filepath);
    if (file.stream() != nullptr && file.write(text.data(), text.size()) && file.commit())
        return 0;
    return file.error() != 0 ? file.error() : EIO;
}

// Only spaces, tabs and line breaks: a blank line, also one of a file
// saved with CR LF line ends.
bool is_blank(const std::string& line)
{
    return line.find_first_not_of(" \t\r\n") == std::string::npos;
}

} // namespace

PGM_COMMON_PARAM_FILE_MANAGER::PGM_COMMON_PARAM_FILE_MANAGER() = default;
PGM_COMMON_PARAM_FILE_MANAGER::PGM_COMMON_PARAM_FILE_MANAGER(const PGM_COMMON_PARAM_FILE_MANAGER& other) = default;
PGM_COMMON_PARAM_FILE_MANAGER& PGM_COMMON_PARAM_FILE_MANAGER::operator=(const PGM_COMMON_PARAM_FILE_MANAGER& other) =
    default;
PGM_COMMON_PARAM_FILE_MANAGER::~PGM_COMMON_PARAM_FILE_MANAGER() = default;

bool PGM_COMMON_PARAM_FILE_MANAGER::read(std::string filepath, std::string& error)
{
    param_value_map.clear();
    std::vector<std::string> lines;
    // An empty file is an empty set of parameters, as write makes it.
    if (!PGM_COMMON::pgm_open_input_file(filepath, lines, 0, true)) {
        error = "Fail to read " + filepath;
        return false;
    }
    for (const std::string& line : lines) {
        std::string name, value;
        if (!parse_line(line, name, value)) {
            error = "Found invalid format on line \"" + line + "\"";
            return false;
        }
        if (!name.empty())
            param_value_map.emplace(name, PARAM_PROPERTIES{name, value, false}); // the first of a name stays
    }
    return true;
}

bool PGM_COMMON_PARAM_FILE_MANAGER::write(std::string filepath, std::string& error)
{
    for (const auto& entry : param_value_map) {
        const std::string flaw = unreadable_because(entry.first, entry.second);
        if (!flaw.empty()) {
            error = "Fail to write " + filepath + ": parameter \"" + entry.first + "\" would not read back: " + flaw;
            return false;
        }
    }
    std::string text;
    for (const auto& entry : param_value_map) {
        const PARAM_PROPERTIES& param = entry.second;
        std::string line;
        MEM_DETAIL::stl_raw_sprintf(line, param.comment ? "# %-40s = \"%s\"\n" : "%-40s = \"%s\"\n",
                                    param.name.c_str(), param.value.c_str());
        // A line that begins with "#" is a comment; behind a tab, which the
        // reader deletes, it is a parameter whose name begins with "#".
        if (!param.comment && param.name[0] == '#')
            text += '\t';
        text += line;
    }
    const int failure = write_whole(filepath, text);
    if (failure == 0)
        return true;
    error = "Fail to write " + filepath;
    errno = failure;
    return false;
}

bool PGM_COMMON_PARAM_FILE_MANAGER::get_value(std::string param, std::string& value, bool& comment) const
{
    value.clear();
    comment = false;
    auto found = param_value_map.find(param);
    if (found == param_value_map.end())
        return false;
    value = found->second.value;
    comment = found->second.comment;
    return true;
}

void PGM_COMMON_PARAM_FILE_MANAGER::set_value(std::string param, std::string value, bool comment)
{
    param_value_map.erase(param);
    param_value_map.emplace(param, PARAM_PROPERTIES{param, value, comment});
    std::string read_value;
    bool read_comment = false;
    PGM_CHECK(get_value(param, read_value, read_comment));
    PGM_CHECK(value.compare(read_value) == 0);
    PGM_CHECK(comment == read_comment);
}

std::map<std::string, PARAM_PROPERTIES>* PGM_COMMON_PARAM_FILE_MANAGER::get_param_value_map()
{
    return &param_value_map;
}

bool PGM_COMMON_PARAM_FILE_MANAGER::parse_line(std::string line, std::string& name, std::string& value)
{
    name.clear();
    value.clear();
    if (is_blank(line))
        return true;
    // Only spaces may stand before the "#" of a comment line.
    size_t first = line.find_first_not_of(' ');
    if (first != std::string::npos && line[first] == '#')
        return true;
    std::string text;
    for (char c : line) {
        if (c != '\t' && c != '\n' && c != '\r')
            text += c;
    }
    // The text before each "=" is a piece; the rest after the last one is a
    // piece when it is not empty. A line is two pieces, name and value.
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t equal = text.find('='); equal != std::string::npos; equal = text.find('=', start)) {
        pieces.push_back(text.substr(start, equal - start));
        start = equal + 1;
    }
    if (start < text.size())
        pieces.push_back(text.substr(start));
    if (pieces.size() != 2)
        return false;
    name = reformat(pieces[0]);
    value = reformat(pieces[1]);
    return true;
}

std::string PGM_COMMON_PARAM_FILE_MANAGER::reformat(std::string text)
{
    std::string unquoted;
    for (char c : text) {
        if (c != '"')
            unquoted += c;
    }
    size_t first = unquoted.find_first_not_of(' ');
    if (first == std::string::npos)
        return "";
    return unquoted.substr(first, unquoted.find_last_not_of(' ') - first + 1);
}
