// File names, extensions, folders, wildcard listings, environment values,
// the patch log, the data folders and time stamps.
#include "test_support.h"

#include <cstdlib>
#include <ctime>
#include <sys/stat.h>

typedef PGM_COMMON PC;
typedef std::vector<std::string> NAMES;

struct PGM_COMMON_TEST_ACCESS {
    static NAMES find_filenames(const std::string& path) { return PC::find_filenames(path); }
    static NAMES find_folders(const std::string& path) { return PC::find_folders(path); }
    static bool is_wildcard(const std::string& text) { return PC::is_wildcard(text); }
    static QWORD find_wildcard(const std::string& text, bool first) { return PC::find_wildcard(text, first); }
};
typedef PGM_COMMON_TEST_ACCESS ACCESS;

namespace {

const char* const ENV_NAMES[] = {"USERNAME",        "SWSITE",          "TRCS_VERSION", "TRCS_BUILD_NUMBER",
                                 "TRCS_TARGET_SYS", "TRCS_TARGET_BIT", "FOO_USERNAME"};

// Puts the environment variables above back as they were.
struct ENV_RESTORER {
    std::vector<std::pair<bool, std::string>> saved;
    ENV_RESTORER()
    {
        for (const char* name : ENV_NAMES) {
            const char* value = std::getenv(name);
            saved.push_back({value != NULL, value ? value : ""});
        }
    }
    ~ENV_RESTORER()
    {
        for (size_t i = 0; i < saved.size(); i++) {
            if (saved[i].first)
                setenv(ENV_NAMES[i], saved[i].second.c_str(), 1);
            else
                unsetenv(ENV_NAMES[i]);
        }
    }
};

// Puts the installation folders back to their defaults.
struct FOLDER_RESTORER {
    ~FOLDER_RESTORER()
    {
        gen_set_module_path("");
        gen_set_device_db_fullpath("");
        gen_set_unshipped_data_fullpath("");
    }
};

bool exists(const std::string& path)
{
    return FIO_FILE_SYSTEM::exists(path);
}

bool is_folder(const std::string& path)
{
    struct stat record;
    return stat(path.c_str(), &record) == 0 && S_ISDIR(record.st_mode);
}

} // namespace

TEST(PathExtension, GetCheckMatchAndChange)
{
    const char* const names[] = {"a.b/c", "a.b\\c", "noext", "", "c.txt", ".cfg", "dir/x.tar.gz"};
    const int dot_at[] = {-1, -1, -1, -1, 1, 0, 9};
    EXPECT_EQ(nullptr, PC::get_extension(nullptr));
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(dot_at[i] < 0 ? nullptr : names[i] + dot_at[i], PC::get_extension(names[i])) << names[i];

    EXPECT_TRUE(PC::check_extension("X.RBF", "rbf"));
    EXPECT_TRUE(PC::check_extension("dir/a.rbf", "RBF"));
    EXPECT_FALSE(PC::check_extension("rbf", "rbf"));
    EXPECT_FALSE(PC::check_extension(".rbf", "rbf"));
    EXPECT_FALSE(PC::check_extension("a.rbfx", "rbf"));
    EXPECT_TRUE(PC::match_file_extension("a.txt", "dir/b.txt"));
    EXPECT_FALSE(PC::match_file_extension("a.txt", "b.TXT"));
    EXPECT_FALSE(PC::match_file_extension("a", "b"));
    EXPECT_FALSE(PC::match_file_extension("x.txt/a", "b.txt"));

    EXPECT_EQ(2u, PC::match_extension("a.tar.gz", {".zip", ".gz"}));
    EXPECT_EQ(1u, PC::match_extension("a.tar.gz", {".tar.gz", ".gz"}));
    EXPECT_EQ(0u, PC::match_extension("a.GZ", {".gz"}));
    EXPECT_EQ(0u, PC::match_extension("d.gz/a", {".gz"}));
    EXPECT_EQ(1u, PC::match_extension("a", {}));
    EXPECT_EQ(0u, PC::match_extension("a.b", {}));
    NAMES many(64, ".x");
    many[63] = ".y";
    EXPECT_EQ(QWORD(1) << 63, PC::match_extension("a.y", many));
    many.push_back(".z");
    EXPECT_INTERNAL_ERROR(PC::match_extension("a.y", many), "extension.size() <= 64");
    for (const char* bad : {"gz", ""})
        EXPECT_INTERNAL_ERROR(PC::match_extension("a.gz", {".zip", bad}), "e.size() > 0 && e.at(0) == '.'");

    EXPECT_EQ("a.pof", PC::change_extension("a.sof", ".sof", ".pof"));
    EXPECT_EQ("", PC::change_extension("a.rbf", ".sof", ".pof"));
    EXPECT_EQ("", PC::change_extension(".sof", ".sof", ".pof"));
    EXPECT_INTERNAL_ERROR(PC::check_extension("", "rbf"), "!filepath.empty() && !extension.empty()");
    EXPECT_INTERNAL_ERROR(PC::check_extension("a", ""), "!filepath.empty() && !extension.empty()");
    for (auto args : {NAMES{"", ".a", ".b"}, NAMES{"x", "", ".b"}, NAMES{"x", ".a", ""}})
        EXPECT_INTERNAL_ERROR(PC::change_extension(args[0], args[1], args[2]),
                              "filename.size() && src_extension.size() && des_extension.size()");
}

TEST(PathName, SlashesBackwardFoldersAndSplitting)
{
    const std::pair<std::string, std::string> slashes[] = {{"a\\b//c", "a/b/c"}, {"a\\\\\\b", "a/b"}, {"////", "/"}};
    for (const auto& c : slashes) {
        std::string path = c.first;
        PC::change_folder_slash(path);
        EXPECT_EQ(c.second, path) << c.first;
    }
    const std::pair<std::string, std::string> backward[] = {
        {"a/b/../c", "a/c"}, {"a\\b\\..\\c", "a/c"}, {"/a/b/../../c", "/c"}, {"a/..b", "a/..b"},
        {"a/b..", "a/b.."}, {"x/.../y", "x/.../y"}, {"../x", "../x"}, {"a/../../x", "../x"}, {"/..", "/"},
        {"/../x", "/x"}, {"a/..", "."}, {"a/b/../", "a/"}, {"a/./../b", "b"}, {"./../x", "../x"}, {"", ""}};
    for (const auto& c : backward) {
        std::string path = c.first;
        PC::remove_backward_folder(path);
        EXPECT_EQ(c.second, path) << c.first;
    }
    EXPECT_EQ("c.txt", PC::get_filename("a/b/c.txt"));
    EXPECT_EQ("", PC::get_filename("dir/"));

    const std::string split[][3] = {{"dir/", "dir", ""},  {"file", "", "file"}, {"/file", "/", "file"},
                                    {"/", "/", ""},       {"a\\b\\c", "a/b", "c"}};
    for (const auto& c : split) {
        std::string folder = "old", filename = "old";
        PC::get_folder_and_filename(c[0], folder, filename);
        EXPECT_EQ(c[1], folder) << c[0];
        EXPECT_EQ(c[2], filename) << c[0];
    }
    std::string folder, filename;
    EXPECT_INTERNAL_ERROR(PC::get_folder_and_filename("", folder, filename), "!filepath.empty()");
}

TEST(PathFolder, CreateFolderWithoutShell)
{
    TEMP_DIR dir;
    // A shell would split this name and run the commands in it.
    const std::string odd = dir.path() + "/it's a \"name\"; touch pwned $(touch pwned2)/inner";
    EXPECT_EQ(odd, PC::create_folder(odd));
    EXPECT_TRUE(is_folder(odd));
    EXPECT_FALSE(exists("pwned") || exists("pwned2"));
    EXPECT_EQ(dir.file("y"), PC::create_folder(dir.path() + "/x/../y"));
    EXPECT_EQ(dir.file("b1/b2"), PC::create_folder(dir.path() + "\\b1\\b2"));
    EXPECT_TRUE(is_folder(dir.file("y")) && is_folder(dir.file("b1/b2")) && !exists(dir.file("x")));
    EXPECT_EQ(dir.file("y"), PC::create_folder(dir.file("y")));

    write_file(dir.file("plain"), "x");
    EXPECT_INTERNAL_ERROR(PC::create_folder(dir.file("plain/sub")), "Not able to create folder: " + dir.file("plain"));
}

TEST(PathFind, WildcardsInNamesAndFolders)
{
    EXPECT_TRUE(ACCESS::is_wildcard("a*") && ACCESS::is_wildcard("a?") && !ACCESS::is_wildcard("a[b]"));
    EXPECT_EQ(1u, ACCESS::find_wildcard("a?b*", true));
    EXPECT_EQ(3u, ACCESS::find_wildcard("a?b*", false));
    EXPECT_EQ(2u, ACCESS::find_wildcard("ab*", false));
    EXPECT_EQ(0u, ACCESS::find_wildcard("?", true));
    EXPECT_EQ(~QWORD(0), ACCESS::find_wildcard("abc", true));

    TEMP_DIR dir;
    const std::string t = dir.path() + "/";
    for (const char* folder : {"a1", "a2", "a2/sub", "b"})
        mkdir((t + folder).c_str(), 0777);
    for (const char* file : {"top.txt", "a1/x.txt", "a1/y.rbf", "a2/x.txt", "b/z.txt"})
        write_file(t + file, "x");

    const struct { std::string pattern; bool folders; NAMES expected; } cases[] = {
        {"*.txt", false, {"top.txt"}},
        {"a?/x.txt", false, {"a1/x.txt", "a2/x.txt"}},
        {"*/x.txt", false, {"a1/x.txt", "a2/x.txt"}},
        {"a*/*", false, {"a1/x.txt", "a1/y.rbf", "a2/x.txt"}},
        {"a*/*", true, {"a1/x.txt", "a1/y.rbf", "a2/sub/", "a2/x.txt"}},
        {"*/", true, {"a1/", "a2/", "b/"}},
        {"*/", false, {}},
        {"*/sub/", true, {"a2/sub/"}},
        {"a1\\*.rbf", false, {"a1/y.rbf"}},
        {"top.txt", false, {"top.txt"}},
        {"missing.txt", false, {"missing.txt"}},
        {"a1", true, {"a1/"}},
        {"a1", false, {}},
        {"*.none", false, {}},
        {"q*/x.txt", false, {}},
        {"*/none*/x.txt", false, {}},
    };
    for (const auto& c : cases) {
        NAMES expected;
        for (const std::string& name : c.expected)
            expected.push_back(t + name);
        EXPECT_EQ(expected, PC::find_files(t + c.pattern, c.folders)) << c.pattern;
    }
    NAMES files = {"kept"};
    EXPECT_TRUE(PC::find_files(t + "b/*", files, false));
    EXPECT_EQ(NAMES({"kept", t + "b/z.txt"}), files);
    EXPECT_FALSE(PC::find_files(t + "b/*.rbf", files, true));
    EXPECT_EQ(2u, files.size());

    EXPECT_EQ(NAMES({"x.txt", "y.rbf"}), ACCESS::find_filenames(t + "a1/*"));
    EXPECT_EQ(NAMES({"name"}), ACCESS::find_filenames("no/such/name"));
    EXPECT_EQ(NAMES({t + "a1/", t + "a2/"}), ACCESS::find_folders(t + "a?"));
    EXPECT_EQ(NAMES({"x/"}), ACCESS::find_folders("x"));
    EXPECT_INTERNAL_ERROR(PC::find_files("", false), "!filepath.empty()");
    EXPECT_INTERNAL_ERROR(ACCESS::find_filenames(""), "!filepath.empty()");
}

TEST(PathEnvironment, NamesSetAndUnset)
{
    ENV_RESTORER restore;
    TEMP_DIR dir;
    const std::string temp = dir.file("it's; env.txt");
    setenv("USERNAME", "  alice  ", 1);
    setenv("SWSITE", "site=x", 1);
    setenv("FOO_USERNAME", "mallory", 1);
    for (int i = 2; i < 6; i++)
        unsetenv(ENV_NAMES[i]);
    std::string values[6] = {"keep", "keep", "keep", "keep", "keep", "keep"};
    EXPECT_TRUE(PC::get_env_info(values, temp));
    EXPECT_EQ("alice", values[0]);
    EXPECT_EQ("site=x", values[1]);
    for (int i = 2; i < 6; i++)
        EXPECT_EQ("keep", values[i]);
    EXPECT_FALSE(exists(temp));

    // grep finds nothing (FOO_USERNAME does not count): still a success.
    unsetenv("USERNAME");
    unsetenv("SWSITE");
    std::string unset[6] = {"a", "b", "c", "d", "e", "f"};
    EXPECT_TRUE(PC::get_env_info(unset, temp));
    EXPECT_EQ("a", unset[0]);
    EXPECT_FALSE(exists(temp));
    EXPECT_TRUE(PC::get_env_info(unset, ""));
    EXPECT_FALSE(exists("pgm_common_env_info.env.txt"));

    setenv("USERNAME", "bob", 1);
    EXPECT_FALSE(PC::get_env_info(unset, dir.file("missing/env.txt")));
    EXPECT_EQ("a", unset[0]);
}

TEST(PathPatchLog, IndexModes)
{
    FOLDER_RESTORER restore;
    TEMP_DIR dir;
    gen_set_module_path(dir.path());
    EXPECT_FALSE(PC::check_patch_log("key", QWORD(-1), false, NULL, 0));
    write_file(dir.file("morvane_patch_log.txt"), ".alpha\nBeta\nkey=1\nxx key=2\nkey=3\n");

    const struct { const char* keyword; int index; bool dot; bool expected; } cases[] = {
        {"alpha", -3, true, true}, {"ALPHA", -3, true, false}, {"ALPHA", -2, true, true}, {"alpha", -3, false, false},
        {"beta", -3, false, false}, {"beta", -2, false, true}, {"nothere", -1, false, true}, {"key", -1, false, false},
        {"key", 0, false, true}, {"key", 3, false, true}, {"key", 1, false, false}, {"alpha", 0, true, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, PC::check_patch_log(c.keyword, QWORD(c.index), c.dot, NULL, 0)) << c.keyword << c.index;

    std::string rest = "none";
    EXPECT_TRUE(PC::check_patch_log("key", 0, false, &rest, 0));
    EXPECT_EQ("=1", rest);
    EXPECT_TRUE(PC::check_patch_log("key", 0, false, &rest, 1));
    EXPECT_EQ("=3", rest);
    EXPECT_TRUE(PC::check_patch_log("key", 3, false, &rest, 0));
    EXPECT_EQ("=2", rest);
    rest = "none";
    EXPECT_FALSE(PC::check_patch_log("key", 0, false, &rest, 2));
    EXPECT_EQ("none", rest);

    EXPECT_INTERNAL_ERROR(PC::check_patch_log("", 0, false, NULL, 0), "keyword.size()");
    EXPECT_INTERNAL_ERROR(PC::check_patch_log("key", QWORD(-4), false, NULL, 0), "int(index) >= -3");
}

TEST(PathDataFolders, ModesWithExistingAndMissingFolders)
{
    FOLDER_RESTORER restore;
    TEMP_DIR bin, db, unshipped;
    gen_set_module_path(bin.path());
    gen_set_device_db_fullpath(db.path());
    gen_set_unshipped_data_fullpath(unshipped.path());
    EXPECT_EQ(bin.path(), PC::pgm_get_bin_directory());

    const std::string parts = bin.file("parts.txt");
    EXPECT_INTERNAL_ERROR(PC::pgm_get_bin_pgm_parts(0, "/parts.txt"), parts + " does not exist");
    EXPECT_EQ("", PC::pgm_get_bin_pgm_parts(1, "parts.txt"));
    EXPECT_EQ(parts, PC::pgm_get_bin_pgm_parts(2, "/parts.txt"));
    write_file(parts, "x");
    EXPECT_EQ(parts, PC::pgm_get_bin_pgm_parts(0, "parts.txt"));
    EXPECT_EQ(parts, PC::pgm_get_bin_pgm_parts(1, "/parts.txt"));

    const std::string programmer = db.path() + "/programmer/", db_parts = programmer + "pgm_parts.txt";
    EXPECT_INTERNAL_ERROR(PC::pgm_get_common_programmer(), programmer + " does not exist");
    EXPECT_INTERNAL_ERROR(PC::pgm_get_devinfo_prog_pgm_parts(0), programmer + " does not exist");
    EXPECT_EQ("", PC::pgm_get_devinfo_prog_pgm_parts(1));
    EXPECT_EQ(db_parts, PC::pgm_get_devinfo_prog_pgm_parts(2));
    mkdir(programmer.c_str(), 0777);
    EXPECT_EQ(programmer, PC::pgm_get_common_programmer());
    EXPECT_INTERNAL_ERROR(PC::pgm_get_devinfo_prog_pgm_parts(0), db_parts + " does not exist");
    write_file(db_parts, "x");
    EXPECT_EQ(db_parts, PC::pgm_get_devinfo_prog_pgm_parts(0));
    EXPECT_EQ(db_parts, PC::pgm_get_devinfo_prog_pgm_parts(1));

    const std::string devinfo = unshipped.path() + "/devinfo/programmer/";
    EXPECT_EQ(devinfo, PC::pgm_get_unshipped_programmer(false));
    EXPECT_INTERNAL_ERROR(PC::pgm_get_unshipped_programmer(true), devinfo + " does not exist");
    PC::create_folder(devinfo);
    EXPECT_EQ(devinfo, PC::pgm_get_unshipped_programmer(true));
}

TEST(PathTime, ReadingsCountFrom1970)
{
    const std::time_t before = std::time(NULL);
    const QWORD nano = PC::get_nano_time();
    const QWORD seconds = PC::get_time();
    const std::time_t after = std::time(NULL);
    EXPECT_EQ(0u, nano % 100);
    EXPECT_LE(QWORD(before), nano / 1000000000);
    EXPECT_LE(nano / 1000000000, seconds);
    EXPECT_LE(seconds, QWORD(after) + 1);
    EXPECT_LE(nano / 1000, PC::get_micro_time());
    EXPECT_LE(nano / 1000000, PC::get_mili_time());
}
