// pgmtool zip: create, list and extract ZIP archives of stored members.
// Extraction treats member names as hostile: nothing is written outside
// the target folder, and no symbolic link is created or followed there.
#include "pgmtool_frame.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void read_archive(const std::string& archive, PGM_COMMON_ZIP_FILE_LIST& members)
{
    pgmtool_check_input(archive);
    std::string reason = PGM_COMMON_ZIP::get_files(archive, members.list);
    if (!reason.empty())
        throw PGMTOOL_FAILURE(reason);
}

// ---- Extraction ----

// Where a member goes: its folders below the target and its file name,
// empty for a member that names a folder.
struct MEMBER_PLACE {
    std::vector<std::string> folders;
    std::string file;
};

// The place of a member name, or the reason it is refused: absolute and
// drive-letter names, and names whose ".." steps leave the target.
bool member_place(std::string name, MEMBER_PLACE& place, std::string& reason)
{
    for (char& c : name) {
        if (c == '\\')
            c = '/';
    }
    if (name.empty() || name.find('\0') != std::string::npos) {
        reason = "is empty or holds a NUL character";
        return false;
    }
    if (name[0] == '/' || (name.size() >= 2 && name[1] == ':')) {
        reason = "is an absolute path";
        return false;
    }
    bool folder = name.back() == '/';
    std::vector<std::string> steps;
    for (const std::string& step : PGM_COMMON::split_string(name, "/", false, false, DWORD(-1), {}, "", false)) {
        if (step.empty() || step == ".")
            continue;
        if (step == "..") {
            if (steps.empty()) {
                reason = "leaves the target folder through \"..\"";
                return false;
            }
            steps.pop_back();
            continue;
        }
        steps.push_back(step);
    }
    if (steps.empty()) {
        reason = "names the target folder itself";
        return false;
    }
    if (!folder) {
        place.file = steps.back();
        steps.pop_back();
    }
    place.folders = steps;
    return true;
}

// An open folder descriptor, closed when it goes out of scope.
class FOLDER {
public:
    explicit FOLDER(int fd) : fd_(fd) {}
    ~FOLDER()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    FOLDER(const FOLDER&) = delete;
    FOLDER& operator=(const FOLDER&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

std::string system_reason()
{
    return std::strerror(errno);
}

// Opens (and makes) each folder below the target in turn, never through a
// symbolic link.
std::unique_ptr<FOLDER> open_member_folder(int target, const MEMBER_PLACE& place, const std::string& name)
{
    auto folder = std::make_unique<FOLDER>(dup(target));
    for (const std::string& step : place.folders) {
        if (mkdirat(folder->fd(), step.c_str(), 0777) != 0 && errno != EEXIST)
            throw PGMTOOL_FAILURE("Can't make folder " + step + " of member " + name + ": " + system_reason());
        int next = openat(folder->fd(), step.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0)
            throw PGMTOOL_FAILURE("Can't open folder " + step + " of member " + name + ": " + system_reason() +
                                  (errno == ELOOP || errno == ENOTDIR ? " (not a plain folder)" : ""));
        folder = std::make_unique<FOLDER>(next);
    }
    return folder;
}

// Writes the member to a new temporary file in its folder and renames it
// over its name, so that an old file (or symbolic link) of that name is
// replaced, never written through.
void write_member(const FOLDER& folder, const std::string& file, const PGM_COMMON_ZIP_FILE& member)
{
    std::string temp = ".pgmtool-" + std::to_string(getpid()) + "-" + file + ".tmp";
    if (temp.size() > 255)
        temp = ".pgmtool-" + std::to_string(getpid()) + ".tmp";
    int fd = openat(folder.fd(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        throw PGMTOOL_FAILURE("Can't write member " + member.filename + ": " + system_reason());
    size_t done = 0;
    while (done < member.size) {
        ssize_t written = write(fd, member.data + done, member.size - done);
        if (written <= 0)
            break;
        done += size_t(written);
    }
    bool ok = done == member.size;
    std::string reason = ok ? "" : system_reason();
    if (close(fd) != 0 && ok) {
        reason = system_reason();
        ok = false;
    }
    if (ok && renameat(folder.fd(), temp.c_str(), folder.fd(), file.c_str()) != 0) {
        reason = system_reason();
        ok = false;
    }
    if (!ok) {
        unlinkat(folder.fd(), temp.c_str(), 0);
        throw PGMTOOL_FAILURE("Can't write member " + member.filename + ": " + reason);
    }
}

int extract(const std::string& archive, const std::string& dir)
{
    PGM_COMMON_ZIP_FILE_LIST members;
    read_archive(archive, members);
    // Every name is checked before anything is written.
    std::vector<MEMBER_PLACE> places(members.list.size());
    QWORD total = 0;
    for (size_t i = 0; i < members.list.size(); ++i) {
        std::string reason;
        if (!member_place(members.list[i]->filename, places[i], reason))
            throw PGMTOOL_FAILURE("Member \"" + members.list[i]->filename + "\" of " + archive + " " + reason +
                                  "; nothing extracted");
        total += members.list[i]->size;
    }
    PGM_COMMON::create_folder(dir);
    FOLDER target(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (target.fd() < 0)
        throw PGMTOOL_FAILURE("Can't open folder " + dir + ": " + system_reason());
    PGMTOOL_PROGRESS progress("Extracting " + archive, total);
    for (size_t i = 0; i < members.list.size(); ++i) {
        std::unique_ptr<FOLDER> folder = open_member_folder(target.fd(), places[i], members.list[i]->filename);
        if (!places[i].file.empty())
            write_member(*folder, places[i].file, *members.list[i]);
        progress.advance(members.list[i]->size);
    }
    std::printf("%s extracted to %s\n", pgmtool_amount(members.list.size(), "member").c_str(), dir.c_str());
    return PGMTOOL_OK;
}

// ---- Creation and listing ----

int create(const std::vector<std::string>& files, bool append)
{
    const std::string& output = files[0];
    if (!PGM_COMMON::match_extension(output, {".zip"}))
        throw PGMTOOL_FAILURE("The archive name " + output + " must end in \".zip\"");
    std::vector<std::string> inputs(files.begin() + 1, files.end());
    for (const std::string& input : inputs)
        pgmtool_check_input(input);
    PGM_COMMON_ZIP::add_files(inputs, output, append);
    std::printf("%s %s %s\n", output.c_str(), append ? "updated with" : "written with",
                pgmtool_amount(inputs.size(), "member").c_str());
    return PGMTOOL_OK;
}

int list(const std::string& archive)
{
    PGM_COMMON_ZIP_FILE_LIST members;
    read_archive(archive, members);
    for (const PGM_COMMON_ZIP_FILE* member : members.list)
        std::printf("%10u  %08X  %s\n", unsigned(member->size),
                    unsigned(PGM_COMMON_ZIP::get_crc32(member->data, member->size)), member->filename.c_str());
    return PGMTOOL_OK;
}

} // namespace

int pgmtool_zip(int argc, const char** argv)
{
    bool do_create = false, do_list = false, do_extract = false, append = false;
    std::string dir;
    PGMTOOL_ARGS args("zip", {"pgmtool zip --create OUT.zip FILE... [--append]",
                              "pgmtool zip --list IN.zip",
                              "pgmtool zip --extract IN.zip --dir=DIR",
                              "Archives of stored (uncompressed) members. --create stores each file under its",
                              "path as given, with its bytes as they are on disk; with --append the members",
                              "of OUT.zip stay in front, except those the new files replace. --list prints",
                              "one line per member: its size, its CRC-32 and its name. --extract writes every",
                              "member under DIR; a member whose name is absolute or leaves DIR is refused",
                              "before anything is written."});
    args.flag("create", do_create, "Write OUT.zip from the files");
    args.flag("append", append, "Keep the members of an existing OUT.zip");
    args.flag("list", do_list, "List the members of IN.zip");
    args.flag("extract", do_extract, "Write the members of IN.zip under --dir");
    args.text("dir", dir, "Folder to extract into (made when missing)");
    int parsed = args.parse(argc, argv, 1, size_t(-1));
    if (parsed >= 0)
        return parsed;
    if (int(do_create) + int(do_list) + int(do_extract) != 1) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "zip needs one of --create, --list and --extract");
        return PGMTOOL_USAGE_ERROR;
    }
    const std::vector<std::string>& files = args.files();
    if (do_create && files.size() < 2) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "zip --create needs the archive and at least one file");
        return PGMTOOL_USAGE_ERROR;
    }
    if (!do_create && files.size() != 1) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "zip --list and --extract take one archive");
        return PGMTOOL_USAGE_ERROR;
    }
    if (do_extract && dir.empty()) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "zip --extract needs --dir=DIR");
        return PGMTOOL_USAGE_ERROR;
    }
    if (do_create)
        return create(files, append);
    return do_list ? list(files[0]) : extract(files[0], dir);
}
