// pgmtool zip: create archives of stored members, list and test the
// members of any archive, and extract stored members. Extraction treats
// member names as hostile: nothing is written outside the target folder,
// no symbolic link is created or followed there, no two members land on
// one name, and a failed extraction takes back what it wrote.
#include "pgmtool_frame.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {


// Runs a read of the library that gives a reason when the archive cannot
// be read; throws that reason.
void read_or_fail(const std::string& archive, const std::function<std::string()>& read)
{
    std::string reason;
    pgmtool_reading(archive, {"ZIP archive", {}}, [&] {
        reason = read();
        return true;
    });
    if (!reason.empty())
        throw PGMTOOL_FAILURE(archive, reason);
}

void read_archive(const std::string& archive, PGM_COMMON_ZIP_FILE_LIST& members)
{
    read_or_fail(archive, [&] { return PGM_COMMON_ZIP::get_files(archive, members.list); });
}

// The members as the central directory describes them; nothing else of
// the archive is read.
std::vector<PGM_COMMON_ZIP_ENTRY> list_archive(const std::string& archive)
{
    std::vector<PGM_COMMON_ZIP_ENTRY> entries;
    read_or_fail(archive, [&] { return PGM_COMMON_ZIP::list_files(archive, entries); });
    return entries;
}

std::string method_name(WORD method)
{
    if (method == PGM_COMMON_ZIP_STORED)
        return "stored";
    return method == PGM_COMMON_ZIP_DEFLATED ? "deflated" : "method " + std::to_string(method);
}

// Extraction writes stored members only: names the first member it
// cannot write, with its method. An archive whose directory cannot be read
// is left to the reader of the whole archive to explain.
void refuse_compressed(const std::string& archive)
{
    std::vector<PGM_COMMON_ZIP_ENTRY> entries;
    if (!PGM_COMMON_ZIP::list_files(archive, entries).empty())
        return;
    for (const PGM_COMMON_ZIP_ENTRY& entry : entries) {
        std::string member = "member \"" + entry.filename + "\" is ";
        if (entry.method == PGM_COMMON_ZIP_DEFLATED)
            throw PGMTOOL_FAILURE(archive, member + "deflated (method 8), which this version extracts only when "
                                                    "stored; nothing extracted");
        if (entry.method != PGM_COMMON_ZIP_STORED)
            throw PGMTOOL_FAILURE(archive, member + "compressed with method " + std::to_string(entry.method) +
                                               ", which this version cannot extract; nothing extracted");
        if (entry.flags & PGM_COMMON_ZIP_ENCRYPTED)
            throw PGMTOOL_FAILURE(archive, member + "encrypted, which this version cannot extract; nothing "
                                                    "extracted");
    }
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

// Where the members of an archive land below the target: every folder
// they need and every file they write, each with the first member that
// needs it.
struct TARGETS {
    std::map<std::string, size_t> folders;
    std::map<std::string, size_t> files;
};

std::string below(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : folder + "/" + name;
}

// The targets of the members, refused when two members would land on one:
// two files of one name, or a name one member writes as a file and
// another needs as a folder.
TARGETS member_targets(const std::vector<PGM_COMMON_ZIP_FILE*>& members, const std::vector<MEMBER_PLACE>& places,
                       const std::string& archive)
{
    auto refuse = [&](size_t a, size_t b, const std::string& what) {
        throw PGMTOOL_FAILURE(archive, "members \"" + members[std::min(a, b)]->filename + "\" and \"" +
                                           members[std::max(a, b)]->filename + "\" " + what + "; nothing extracted");
    };
    TARGETS targets;
    for (size_t i = 0; i < places.size(); ++i) {
        std::string path;
        for (const std::string& step : places[i].folders) {
            path = below(path, step);
            targets.folders.emplace(path, i);
        }
        if (places[i].file.empty())
            continue;
        path = below(path, places[i].file);
        auto file = targets.files.emplace(path, i);
        if (!file.second)
            refuse(file.first->second, i, "are both written to " + path);
    }
    for (const auto& file : targets.files) {
        auto folder = targets.folders.find(file.first);
        if (folder != targets.folders.end())
            refuse(file.second, folder->second, "need " + file.first + " as both a file and a folder");
    }
    return targets;
}

// The temporary name a member is written to in its folder, which no
// member of the archive lands on.
std::string temporary_name(const MEMBER_PLACE& place, size_t index, const TARGETS& targets)
{
    std::string folder;
    for (const std::string& step : place.folders)
        folder = below(folder, step);
    std::string name = ".pgmtool-" + std::to_string(getpid()) + "-" + std::to_string(index);
    while (targets.files.count(below(folder, name + ".tmp")) || targets.folders.count(below(folder, name + ".tmp")))
        name += "_";
    return name + ".tmp";
}

// Folders made below the target, each as its steps.
using MADE_FOLDERS = std::vector<std::vector<std::string>>;

// Opens the folders of members below the target, each step in turn and
// never through a symbolic link. The folders of the last path stay open
// (up to a depth), so that the next path goes on from the steps both share.
class FOLDER_PATH {
public:
    // The folder of the steps below the target. With made given, missing
    // folders are made and added to it.
    int open(int target, const std::vector<std::string>& steps, const std::string& name, MADE_FOLDERS* made)
    {
        size_t shared = 0;
        while (shared < open_.size() && shared < steps.size() && open_[shared].step == steps[shared])
            ++shared;
        open_.resize(shared);
        deep_.reset();
        int fd = shared > 0 ? open_.back().folder->get() : target;
        for (size_t i = shared; i < steps.size(); ++i) {
            auto folder = std::make_unique<FIO_FD>(open_step(fd, steps, i, name, made));
            fd = folder->get();
            if (i < KEPT)
                open_.push_back({steps[i], std::move(folder)});
            else
                deep_ = std::move(folder);
        }
        return fd;
    }

private:
    static const size_t KEPT = 64;
    struct OPEN {
        std::string step;
        std::unique_ptr<FIO_FD> folder;
    };

    static int open_step(int parent, const std::vector<std::string>& steps, size_t i, const std::string& name,
                         MADE_FOLDERS* made)
    {
        const std::string& step = steps[i];
        if (made && mkdirat(parent, step.c_str(), 0777) == 0)
            made->emplace_back(steps.begin(), steps.begin() + i + 1);
        else if (made && errno != EEXIST)
            throw PGMTOOL_FAILURE("cannot make folder " + step + " of member " + name + ": " + std::strerror(errno));
        int fd = openat(parent, step.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            throw PGMTOOL_FAILURE("cannot open folder " + step + " of member " + name + ": " + std::strerror(errno) +
                                  (errno == ELOOP || errno == ENOTDIR ? " (not a plain folder)" : ""));
        return fd;
    }

    std::vector<OPEN> open_;       // the folders of the last path, from the target down
    std::unique_ptr<FIO_FD> deep_; // its folder when deeper than those kept
};

// Writes the member to a new file of the temporary name in its folder,
// removed again when it cannot be written whole.
void write_temporary(int folder, const std::string& temp, const PGM_COMMON_ZIP_FILE& member)
{
    int fd = openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        throw PGMTOOL_FAILURE("cannot write member " + member.filename + ": " + std::strerror(errno));
    size_t done = 0;
    while (done < member.size) {
        ssize_t written = write(fd, member.data + done, member.size - done);
        if (written <= 0)
            break;
        done += size_t(written);
    }
    bool ok = done == member.size;
    std::string reason = ok ? "" : std::strerror(errno);
    if (close(fd) != 0 && ok) {
        reason = std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        unlinkat(folder, temp.c_str(), 0);
        throw PGMTOOL_FAILURE("cannot write member " + member.filename + ": " + reason);
    }
}

// One extraction into a target folder. Every member is first written to a
// temporary file in its folder; only when all are written are they renamed
// onto their names, so that an old file (or symbolic link) of a member's
// name is replaced, never written through, and is kept when any member
// fails. Unless the extraction completes, what it made is removed: its
// files, the folders it made and the target folder when it made that.
class EXTRACTION {
public:
    EXTRACTION() = default;
    ~EXTRACTION()
    {
        if (!done_)
            undo();
    }
    EXTRACTION(const EXTRACTION&) = delete;
    EXTRACTION& operator=(const EXTRACTION&) = delete;

    void open_target(const std::string& dir)
    {
        std::error_code error;
        std::filesystem::path path = std::filesystem::absolute(dir, error).lexically_normal();
        if (!path.has_filename())
            path = path.parent_path();
        for (; path.has_relative_path() && !std::filesystem::exists(std::filesystem::symlink_status(path, error));
             path = path.parent_path())
            made_target_.push_back(path.string());
        std::filesystem::create_directories(dir, error);
        if (error)
            throw PGMTOOL_FAILURE("cannot make the folder: " + error.message());
        target_ = std::make_unique<FIO_FD>(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (target_->get() < 0)
            throw PGMTOOL_FAILURE(std::string("cannot open the folder: ") + std::strerror(errno));
    }

    void write(const MEMBER_PLACE& place, const PGM_COMMON_ZIP_FILE& member, const std::string& temp)
    {
        int folder = path_.open(target_->get(), place.folders, member.filename, &made_);
        if (place.file.empty())
            return;
        struct stat old;
        bool existed = fstatat(folder, place.file.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
        if (existed ? S_ISDIR(old.st_mode) : errno != ENOENT)
            throw PGMTOOL_FAILURE("cannot write member " + member.filename + ": " +
                                  (existed ? std::strerror(EISDIR) : std::strerror(errno)));
        write_temporary(folder, temp, member);
        written_.push_back({place.folders, temp, place.file, member.filename, existed, false});
    }

    void finish()
    {
        for (WRITTEN& file : written_) {
            int folder = path_.open(target_->get(), file.folders, file.member, nullptr);
            if (renameat(folder, file.temp.c_str(), folder, file.name.c_str()) != 0)
                throw PGMTOOL_FAILURE("cannot write member " + file.member + ": " + std::strerror(errno));
            file.placed = true;
        }
        done_ = true;
    }

private:
    struct WRITTEN {
        std::vector<std::string> folders;
        std::string temp;   // its temporary name
        std::string name;   // its own name
        std::string member; // the member's name in the archive
        bool existed;       // whether its own name was taken before
        bool placed;        // renamed onto its own name
    };

    // Removes a file or an empty folder below the target; quietly, as
    // undoing goes on whatever fails.
    void remove_below(const std::vector<std::string>& folders, const std::string& name, int flags)
    {
        try {
            unlinkat(path_.open(target_->get(), folders, name, nullptr), name.c_str(), flags);
        } catch (...) {
        }
    }

    // A member renamed onto an old file's name stays: the old file is gone.
    void undo()
    {
        for (auto file = written_.rbegin(); file != written_.rend(); ++file) {
            if (!file->placed)
                remove_below(file->folders, file->temp, 0);
            else if (!file->existed)
                remove_below(file->folders, file->name, 0);
        }
        for (auto folder = made_.rbegin(); folder != made_.rend(); ++folder)
            remove_below(std::vector<std::string>(folder->begin(), folder->end() - 1), folder->back(), AT_REMOVEDIR);
        for (const std::string& path : made_target_)
            rmdir(path.c_str());
    }

    std::vector<std::string> made_target_;        // the target and its parents made, deepest first
    std::unique_ptr<FIO_FD> target_;
    FOLDER_PATH path_;
    MADE_FOLDERS made_; // folders made below the target, in order
    std::vector<WRITTEN> written_;
    bool done_ = false;
};

// Writes every member under dir; a failure names the folder.
void extract_into(const std::string& archive, const std::string& dir, const PGM_COMMON_ZIP_FILE_LIST& members,
                  const std::vector<MEMBER_PLACE>& places, const TARGETS& targets)
{
    QWORD total = 0;
    for (const PGM_COMMON_ZIP_FILE* member : members.list)
        total += member->size;
    try {
        EXTRACTION extraction;
        extraction.open_target(dir);
        PGMTOOL_PROGRESS progress("Extracting " + archive, total);
        for (size_t i = 0; i < members.list.size(); ++i) {
            extraction.write(places[i], *members.list[i], temporary_name(places[i], i, targets));
            progress.advance(members.list[i]->size);
        }
        extraction.finish();
    } catch (const PGMTOOL_FAILURE& failure) {
        if (!failure.file().empty())
            throw;
        throw PGMTOOL_FAILURE(dir, failure.what());
    }
}

int extract(PGMTOOL_ARGS& args, const std::string& given, const std::string& dir)
{
    const std::string archive = args.input(given);
    refuse_compressed(archive);
    PGM_COMMON_ZIP_FILE_LIST members;
    read_archive(archive, members);
    // Every name is checked before anything is written.
    std::vector<MEMBER_PLACE> places(members.list.size());
    for (size_t i = 0; i < members.list.size(); ++i) {
        std::string reason;
        if (!member_place(members.list[i]->filename, places[i], reason))
            throw PGMTOOL_FAILURE(archive, "member \"" + members.list[i]->filename + "\" " + reason +
                                               "; nothing extracted");
    }
    TARGETS targets = member_targets(members.list, places, archive);
    extract_into(archive, dir, members, places, targets);
    args.summary("%s extracted to %s", pgmtool_amount(members.list.size(), "member").c_str(), dir.c_str());
    return PGMTOOL_OK;
}

// ---- Creation, listing and testing ----

int create(PGMTOOL_ARGS& args, const std::vector<std::string>& files, bool append)
{
    const std::string& output = args.output(files[0]);
    if (output != "-" && !PGM_COMMON::match_extension(output, {".zip"}))
        throw PGMTOOL_USAGE("the archive name " + output + " must end in \".zip\"");
    if (output == "-" && append)
        throw PGMTOOL_USAGE("--append needs an archive file, not standard output");
    std::vector<std::string> inputs(files.begin() + 1, files.end());
    for (const std::string& input : inputs) {
        if (input == "-")
            throw PGMTOOL_USAGE("members are files: standard input (\"-\") cannot be one");
        args.input(input);
    }
    // add_files refuses an old archive it cannot read, and replaces an old
    // file that is no archive at all.
    bool replacing = append && PGM_COMMON_ZIP::is_not_archive(output);
    pgmtool_writing(output, "stdout.zip",
                    [&](const std::string& path) { PGM_COMMON_ZIP::add_files(inputs, path, append); });
    args.summary("%s %s %s", output == "-" ? "<stdout>" : output.c_str(),
                 replacing ? "was not a ZIP archive; replaced by one written with"
                           : append ? "updated with" : "written with",
                 pgmtool_amount(inputs.size(), "member").c_str());
    return PGMTOOL_OK;
}

// One row of the listing: length, method, compressed size, CRC-32, date,
// time, name, as unzip -v shows them.
void print_row(const std::string& length, const std::string& method, const std::string& compressed,
               const std::string& crc, const std::string& date, const std::string& time, const std::string& name)
{
    std::printf("%10s  %-9s  %10s  %-8s  %-10s  %-8s  %s\n", length.c_str(), method.c_str(), compressed.c_str(),
                crc.c_str(), date.c_str(), time.c_str(), name.c_str());
}

int list(PGMTOOL_ARGS& args, const std::string& given)
{
    std::vector<PGM_COMMON_ZIP_ENTRY> entries = list_archive(args.input(given));
    const std::string rule(10, '-');
    print_row("Length", "Method", "Compressed", "CRC-32", "Date", "Time", "Name");
    print_row(rule, "---------", rule, "--------", rule, "--------", "----");
    QWORD length = 0, compressed = 0;
    for (const PGM_COMMON_ZIP_ENTRY& entry : entries) {
        char crc[16], date[16], time[16];
        std::snprintf(crc, sizeof crc, "%08x", unsigned(entry.crc));
        std::snprintf(date, sizeof date, "%04u-%02u-%02u", 1980u + (entry.date >> 9), (entry.date >> 5) & 15u,
                      entry.date & 31u);
        std::snprintf(time, sizeof time, "%02u:%02u:%02u", unsigned(entry.time >> 11), (entry.time >> 5) & 63u,
                      (entry.time & 31u) * 2);
        print_row(std::to_string(entry.size), method_name(entry.method), std::to_string(entry.compressed_size), crc,
                  date, time, entry.filename);
        length += entry.size;
        compressed += entry.compressed_size;
    }
    print_row(rule, "", rule, "", "", "", "----");
    print_row(std::to_string(length), "", std::to_string(compressed), "", "", "",
              pgmtool_amount(entries.size(), "member"));
    return PGMTOOL_OK;
}

// Reads every member and checks its size and CRC-32, as unzip -t does.
int test(PGMTOOL_ARGS& args, const std::string& given)
{
    const std::string archive = args.input(given);
    std::vector<PGM_COMMON_ZIP_ENTRY> entries = list_archive(archive);
    std::vector<std::string> reasons;
    pgmtool_reading(archive, {"ZIP archive", {}}, [&] {
        reasons = PGM_COMMON_ZIP::test_files(archive, entries);
        return true;
    });
    size_t bad = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::printf("    testing: %-24s  %s\n", entries[i].filename.c_str(), reasons[i].empty() ? "OK" : "bad");
        if (!reasons[i].empty()) {
            pgmtool_diagnose(PGMTOOL_ERROR, archive, 0, reasons[i]);
            ++bad;
        }
    }
    if (bad > 0)
        throw PGMTOOL_FAILURE(archive, std::to_string(bad) + " of " + pgmtool_amount(entries.size(), "member") +
                                           " failed the test");
    args.summary("No errors detected in compressed data of %s.", given == "-" ? "<stdin>" : given.c_str());
    return PGMTOOL_OK;
}

} // namespace

int pgmtool_zip(int argc, const char** argv)
{
    bool do_create = false, do_list = false, do_test = false, do_extract = false, append = false;
    std::string dir;
    PGMTOOL_ARGS args("zip", {"zip --create OUT.zip FILE... [--append]", "zip --list IN.zip", "zip --test IN.zip",
                              "zip --extract IN.zip --dir=DIR"},
                      {"--create writes stored (uncompressed) members, each under its path as given.",
                       "--list shows every member as the archive's directory describes it, of any method;",
                       "--test checks each member's CRC-32 (stored or deflated). --extract writes stored",
                       "members only; it refuses members that are absolute, leave DIR or land on one name,",
                       "and removes what it wrote when it fails."},
                      "pgmtool zip --create images.zip fw.bin boot.bin");
    args.flag("create", do_create, "Write OUT.zip from the files");
    args.flag("append", append, "Keep the members of an existing OUT.zip that the files do not replace");
    args.flag("list", do_list, "List the members of IN.zip: length, method, size, CRC-32, time, name");
    args.flag("test", do_test, "Check the CRC-32 of every member of IN.zip");
    args.flag("extract", do_extract, "Write the members of IN.zip under --dir");
    args.text("dir=DIR", dir, "Folder to extract into (made when missing)");
    if (!args.parse(argc, argv, 1, size_t(-1)))
        return PGMTOOL_OK;
    if (int(do_create) + int(do_list) + int(do_test) + int(do_extract) != 1)
        throw PGMTOOL_USAGE("zip needs one of --create, --list, --test and --extract");
    const std::vector<std::string>& files = args.files();
    if (do_create && files.size() < 2)
        throw PGMTOOL_USAGE("zip --create needs the archive and at least one file");
    if (!do_create && files.size() != 1)
        throw PGMTOOL_USAGE("zip --list, --test and --extract take one archive, not " + std::to_string(files.size()));
    if (do_extract && dir.empty())
        throw PGMTOOL_USAGE("zip --extract needs --dir=DIR");
    if (do_create)
        return create(args, files, append);
    if (do_test)
        return test(args, files[0]);
    return do_list ? list(args, files[0]) : extract(args, files[0], dir);
}
