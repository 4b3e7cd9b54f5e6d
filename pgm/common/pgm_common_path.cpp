// File names and extensions, folders, wildcard listings, the tool chain's
// data folders, a few environment variables, the installation's patch log
// and wall-clock time stamps.
#include "pgm/h/pgm_common.h"

#include "host/fio.h"
#include "host/gen.h"
#include "host/mem.h"
#include "host/thr.h"
#include "pgm/common/pgm_check.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

const QWORD NOT_FOUND = std::numeric_limits<QWORD>::max();
const char* const PATCH_LOG_NAME = "morvane_patch_log.txt";
const char* const DEFAULT_ENV_FILE = "pgm_common_env_info.env.txt";
const char* const ENV_NAMES[6] = {"USERNAME",          "SWSITE",          "TRCS_VERSION",
                                  "TRCS_BUILD_NUMBER", "TRCS_TARGET_SYS", "TRCS_TARGET_BIT"};

bool ends_with(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void replace_all(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t found = text.find(from); found != std::string::npos; found = text.find(from, found))
        text.replace(found, from.size(), to);
}

bool is_folder(const std::string& path)
{
    FIO_STAT record;
    return FIO_FILE_SYSTEM::status(path, record) && S_ISDIR(record.st_mode);
}

// The non-empty components of a path with "/" separators.
std::vector<std::string> path_components(const std::string& path)
{
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = std::min(path.find('/', start), path.size());
        if (end > start)
            names.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// The names of the entries that match the last component of pattern, in
// the order the file system reports them; folders only when asked.
std::vector<std::string> list_entries(const std::string& pattern, bool folders_only)
{
    std::vector<std::string> names;
    FIO_FIND_DATA entry;
    intptr_t handle = FIO_FILE_SYSTEM::findfirst(pattern, &entry);
    if (handle < 0)
        return names;
    do {
        if (!folders_only || (entry.attrib & FIO_A_SUBDIR))
            names.push_back(entry.name);
    } while (FIO_FILE_SYSTEM::findnext(handle, &entry) == 0);
    FIO_FILE_SYSTEM::findclose(handle);
    return names;
}

void make_folder(const std::string& path)
{
    if (is_folder(path))
        return;
    ::mkdir(path.c_str(), 0777);
    if (!is_folder(path))
        PGM_FAIL("Not able to create folder: %s", path.c_str());
}

// The text in single quotes for the shell, each ' written as '\''.
std::string shell_quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Unlinks a file when the object dies, also while an internal error unwinds.
class FILE_REMOVER {
public:
    explicit FILE_REMOVER(const std::string& path) : path_(path) {}
    ~FILE_REMOVER() { ::unlink(path_.c_str()); }
    FILE_REMOVER(const FILE_REMOVER&) = delete;
    FILE_REMOVER& operator=(const FILE_REMOVER&) = delete;

private:
    std::string path_; // the file to remove
};

// The values of the names that lines set as "NAME=value".
void take_env_values(const std::vector<std::string>& lines, std::string (&values)[6])
{
    for (const std::string& line : lines) {
        for (int i = 0; i < 6; i++) {
            std::string start = std::string(ENV_NAMES[i]) + "=";
            if (line.compare(0, start.size(), start) == 0) {
                values[i] = gen_remove_leading_and_trailing_spaces(line.substr(start.size()));
                break;
            }
        }
    }
}

// folder + "/" + name, without doubling a "/" that either side brings.
std::string join_path(const std::string& folder, const std::string& name)
{
    if (ends_with(folder, "/") || (!name.empty() && name[0] == '/'))
        return folder + name;
    return folder + "/" + name;
}

// Mode 0: the path, which must exist; mode 1: the path, or "" when it does
// not exist; mode 2 and above: the path unchecked.
std::string path_for_mode(BYTE mode, const std::string& path)
{
    if (mode >= 2 || FIO_FILE_SYSTEM::exists(path))
        return path;
    if (mode == 0)
        PGM_FAIL("%s does not exist", path.c_str());
    return std::string();
}

std::string existing_path(const std::string& path)
{
    return path_for_mode(0, path);
}

} // namespace

// ---- Extensions ----

const char* PGM_COMMON::get_extension(const char* filename)
{
    if (!filename)
        return NULL;
    for (size_t i = std::strlen(filename); i > 0; i--) {
        char c = filename[i - 1];
        if (c == '.')
            return filename + i - 1;
        if (c == '/' || c == '\\')
            return NULL;
    }
    return NULL;
}

bool PGM_COMMON::check_extension(std::string filepath, std::string extension)
{
    PGM_CHECK(!filepath.empty() && !extension.empty());
    std::string dotted = "." + extension;
    stl_tolower(filepath);
    stl_tolower(dotted);
    return dotted.size() < filepath.size() && ends_with(filepath, dotted);
}

bool PGM_COMMON::match_file_extension(std::string a, std::string b)
{
    const char* a_extension = get_extension(a.c_str());
    const char* b_extension = get_extension(b.c_str());
    return a_extension && b_extension && std::strcmp(a_extension, b_extension) == 0;
}

QWORD PGM_COMMON::match_extension(std::string filename, std::vector<std::string> extensions)
{
    PGM_CHECK_TEXT(extensions.size() <= 64, "extension.size() <= 64");
    bool has_extension = get_extension(filename.c_str()) != NULL;
    if (extensions.empty())
        return has_extension ? 0 : 1;
    if (!has_extension)
        return 0;
    for (size_t i = 0; i < extensions.size(); i++) {
        const std::string& e = extensions[i];
        PGM_CHECK(e.size() > 0 && e.at(0) == '.');
        if (ends_with(filename, e))
            return QWORD(1) << i;
    }
    return 0;
}

std::string PGM_COMMON::change_extension(std::string filename, std::string src_extension,
                                         std::string des_extension)
{
    PGM_CHECK(filename.size() && src_extension.size() && des_extension.size());
    if (filename.size() <= src_extension.size() || !ends_with(filename, src_extension))
        return std::string();
    return filename.substr(0, filename.size() - src_extension.size()) + des_extension;
}

// ---- Paths ----

void PGM_COMMON::change_folder_slash(std::string& path)
{
    replace_all(path, "\\", "/");
    replace_all(path, "//", "/");
}

// ".." is removed only as a whole component, together with the folder
// before it. A ".." with no folder before it stays in a relative path
// ("../x") and goes at the root of an absolute one ("/../x" is "/x", as the
// root is its own parent). "." components just before a ".." are dropped
// first, as they name no folder; a relative path left with nothing is ".".
void PGM_COMMON::remove_backward_folder(std::string& path)
{
    change_folder_slash(path);
    std::vector<std::string> names = path_components(path);
    bool has_backward = false;
    for (const std::string& name : names)
        has_backward = has_backward || name == "..";
    if (!has_backward)
        return;
    bool absolute = path[0] == '/';
    bool trailing_slash = path.back() == '/';
    std::vector<std::string> kept;
    for (const std::string& name : names) {
        if (name != "..") {
            kept.push_back(name);
            continue;
        }
        while (!kept.empty() && kept.back() == ".")
            kept.pop_back();
        if (!kept.empty() && kept.back() != "..")
            kept.pop_back();
        else if (!absolute)
            kept.push_back(name);
    }
    std::string result = absolute ? "/" : "";
    for (size_t i = 0; i < kept.size(); i++)
        result += (i ? "/" : "") + kept[i];
    if (result.empty())
        result = ".";
    if (trailing_slash && result.back() != '/')
        result += "/";
    path = result;
}

std::string PGM_COMMON::get_filename(std::string path)
{
    return FIO_PATH(path).filename();
}

void PGM_COMMON::get_folder_and_filename(std::string filepath, std::string& folder, std::string& filename)
{
    PGM_CHECK(!filepath.empty());
    change_folder_slash(filepath);
    size_t slash = filepath.rfind('/');
    if (slash == std::string::npos) {
        folder.clear();
        filename = filepath;
        return;
    }
    folder = filepath.substr(0, slash);
    filename = filepath.substr(slash + 1);
    if (folder.empty())
        folder = "/";
}

// Each missing folder along the path is made with mkdir(2) itself, so no
// character of the name is ever seen by a shell.
std::string PGM_COMMON::create_folder(std::string folder)
{
    FIO_PATH path(folder);
    path.become_absolute("");
    std::string absolute = path.fullpath();
    change_folder_slash(absolute);
    for (size_t end = absolute.find('/', 1);; end = absolute.find('/', end + 1)) {
        make_folder(absolute.substr(0, end));
        if (end == std::string::npos)
            break;
    }
    return absolute;
}

// ---- Wildcard listings ----

bool PGM_COMMON::is_wildcard(std::string text)
{
    return text.find_first_of("*?") != std::string::npos;
}

QWORD PGM_COMMON::find_wildcard(std::string text, bool first)
{
    size_t star = text.find('*');
    size_t question = text.find('?');
    if (star == std::string::npos && question == std::string::npos)
        return NOT_FOUND;
    if (star == std::string::npos)
        return question;
    if (question == std::string::npos)
        return star;
    return first ? std::min(star, question) : std::max(star, question);
}

std::vector<std::string> PGM_COMMON::find_filenames(std::string filepath)
{
    PGM_CHECK(!filepath.empty());
    change_folder_slash(filepath);
    if (!is_wildcard(filepath))
        return {get_filename(filepath)};
    return list_entries(filepath, false);
}

// Each component continues from the existing folders it names or matches
// (files do not count), so a component that matches nothing leaves no
// folder and the pattern matches none.
std::vector<std::string> PGM_COMMON::find_folders(std::string filepath)
{
    if (!is_wildcard(filepath))
        return {ends_with(filepath, "/") ? filepath : filepath + "/"};
    std::vector<std::string> folder_names = path_components(filepath);
    PGM_CHECK(folder_names.size());
    std::vector<std::string> folders = {filepath[0] == '/' ? "/" : ""};
    for (const std::string& name : folder_names) {
        std::vector<std::string> next;
        for (const std::string& folder : folders) {
            if (!is_wildcard(name)) {
                if (is_folder(folder + name))
                    next.push_back(folder + name + "/");
                continue;
            }
            for (const std::string& match : list_entries(folder + name, true))
                next.push_back(folder + match + "/");
        }
        folders.swap(next);
    }
    return folders;
}

// A path without wildcards is taken as written; with wildcards only the
// entries that exist are listed.
std::vector<std::string> PGM_COMMON::find_files(std::string filepath, bool include_folders)
{
    PGM_CHECK(!filepath.empty());
    change_folder_slash(filepath);
    std::vector<std::string> entries = {filepath};
    if (is_wildcard(filepath)) {
        std::string folder, name;
        get_folder_and_filename(filepath, folder, name);
        std::vector<std::string> folders = folder.empty() ? std::vector<std::string>{""} : find_folders(folder);
        entries.clear();
        for (const std::string& found : folders) {
            if (name.empty() || !is_wildcard(name)) {
                if (FIO_FILE_SYSTEM::exists(found + name))
                    entries.push_back(found + name);
                continue;
            }
            for (const std::string& match : find_filenames(found + name))
                entries.push_back(found + match);
        }
    }
    std::vector<std::string> files;
    for (const std::string& file : entries) {
        PGM_CHECK(!file.empty());
        bool folder = ends_with(file, "/") || is_folder(file);
        if (!folder)
            files.push_back(file);
        else if (include_folders)
            files.push_back(ends_with(file, "/") ? file : file + "/");
    }
    return files;
}

bool PGM_COMMON::find_files(std::string filepath, std::vector<std::string>& files, bool include_folders)
{
    std::vector<std::string> found = find_files(filepath, include_folders);
    files.insert(files.end(), found.begin(), found.end());
    return !found.empty();
}

// ---- Environment and patch log ----

// grep exits with 0 when it selected lines, 1 when it selected none and 2
// on an error; the shell gives 1 or 2 when it cannot write the file. So the
// query succeeded when the status is 0 or 1 and the file exists: with 1 no
// name is set and the file is empty, which still counts as success. The
// file is removed whenever it exists afterwards, also when the query failed.
bool PGM_COMMON::get_env_info(std::string (&values)[6], std::string temp_file)
{
    std::string temp = temp_file.empty() ? DEFAULT_ENV_FILE : temp_file;
    std::string command = "env | grep ";
    for (const char* name : ENV_NAMES)
        command += "-e \"^" + std::string(name) + "=\" ";
    command += "> " + shell_quoted(temp);
    int status = thr_system(command);
    FILE_REMOVER remover(temp);
    if ((status != 0 && status != 1) || !FIO_FILE_SYSTEM::exists(temp))
        return false;
    if (status == 0) {
        std::vector<std::string> env;
        PGM_CHECK(pgm_open_input_file(temp, env, 0, false));
        take_env_values(env, values);
    }
    return true;
}

// index -3: a line equal to the key; -2: the same without regard to case;
// -1: true when no line contains the key; 0 or more: a line whose first
// occurrence of the key starts there (with found_rest, the occurrence-th
// such line, and the rest of it after the key).
bool PGM_COMMON::check_patch_log(std::string keyword, QWORD index, bool add_dot, std::string* found_rest,
                                 DWORD occurrence)
{
    PGM_CHECK(keyword.size());
    const int64_t signed_index = int64_t(index);
    PGM_CHECK_TEXT(signed_index >= -3, "int(index) >= -3");
    std::vector<std::string> lines;
    if (!pgm_open_input_file(join_path(gen_get_module_path(), PATCH_LOG_NAME), lines, 0, false))
        return false;
    const std::string key = add_dot ? "." + keyword : keyword;
    DWORD count = 0;
    for (const std::string& line : lines) {
        if (signed_index == -3 || signed_index == -2) {
            if (compare_string(line, key, signed_index == -3))
                return true;
        } else if (signed_index == -1) {
            if (line.find(key) != std::string::npos)
                return false;
        } else if (line.find(key) == index) {
            if (!found_rest)
                return true;
            if (count++ == occurrence) {
                *found_rest = line.substr(index + key.size());
                return true;
            }
        }
    }
    return signed_index == -1;
}

// ---- Data folders ----

std::string PGM_COMMON::pgm_get_bin_directory()
{
    return gen_get_module_path();
}

std::string PGM_COMMON::pgm_get_bin_pgm_parts(BYTE mode, std::string name)
{
    return path_for_mode(mode, join_path(gen_get_module_path(), name));
}

std::string PGM_COMMON::pgm_get_common_programmer()
{
    return existing_path(gen_get_device_db_fullpath() + "/programmer/");
}

// Only mode 0 requires the programmer folder: mode 1 gives "" and mode 2
// the path when it is missing, as they do for a missing file.
std::string PGM_COMMON::pgm_get_devinfo_prog_pgm_parts(BYTE mode)
{
    std::string folder = mode == 0 ? pgm_get_common_programmer() : gen_get_device_db_fullpath() + "/programmer/";
    return path_for_mode(mode, folder + "pgm_parts.txt");
}

std::string PGM_COMMON::pgm_get_unshipped_programmer(bool must_exist)
{
    std::string folder = gen_get_unshipped_data_fullpath() + "/devinfo/programmer/";
    return must_exist ? existing_path(folder) : folder;
}

// ---- Time ----

// The POSIX real-time clock already counts from 1970-01-01 00:00:00 UTC;
// the reading is cut to 100 ns units.
QWORD PGM_COMMON::get_nano_time()
{
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    QWORD units = QWORD(now.tv_sec) * 10000000 + QWORD(now.tv_nsec) / 100;
    return units * 100;
}

QWORD PGM_COMMON::get_micro_time()
{
    return get_nano_time() / 1000;
}

QWORD PGM_COMMON::get_mili_time()
{
    return get_nano_time() / 1000000;
}

QWORD PGM_COMMON::get_time()
{
    return get_nano_time() / 1000000000;
}
