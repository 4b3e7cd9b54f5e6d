// Parameter files: the reading rules, the written form, refusals of what
// would not read back, failed writes, and pgmtool param.
#include "test_support.h"

#include <csignal>
#include <zlib.h>

namespace {

typedef PGM_COMMON_PARAM_FILE_MANAGER MANAGER;

// The parameters as "NAME=VALUE;" (with "#" after a commented one), in order.
std::string listed(MANAGER& manager)
{
    std::string text;
    for (const auto& entry : *manager.get_param_value_map()) {
        EXPECT_EQ(entry.first, entry.second.name);
        text += entry.first + "=" + entry.second.value + (entry.second.comment ? "#" : "") + ";";
    }
    return text;
}

std::string padded(const std::string& name)
{
    return name + std::string(name.size() < 40 ? 40 - name.size() : 0, ' ');
}

} // namespace

TEST(ParamFile, ReadsByTheLineRules)
{
    struct CASE {
        std::string content;
        bool ok;
        std::string parameters;
        std::string error_line; // the line an error names
    };
    const CASE cases[] = {
        {"b = \"2\"\na = \"1\"\n", true, "a=1;b=2;", ""},
        {"   # a = \"1\"\nb = \"2\"\n", true, "b=2;", ""},
        {"\t# a = \"1\"\n", true, "# a=1;", ""},
        {"a = \"x=y\"\n", false, "", "a = \"x=y\""},
        {"a =\n", false, "", "a ="},
        {"a\n", false, "", "a"},
        {"  \" b c \"  =  \"  d e  \"  \n", true, "b c=d e;", ""},
        {"a = \"x\"y\"\n", true, "a=xy;", ""},
        {"a\t= \"1\t2\"\r\n", true, "a=12;", ""},
        {"= \"v\"\n\" \" = \"w\"\n", true, "", ""},
        {"a = \"1\"\na = \"2\"\n", true, "a=1;", ""},
        {"# one\n  # two\n", true, "", ""},
        {"a = \"1\"\nx\ty\nc = \"3\"\n", false, "a=1;", "x\ty"},
        {"a=b=\n", true, "a=b;", ""}, // the empty rest after the last "=" is no piece
        {"a==\n", true, "a=;", ""},
        {"a = \"\"\n", true, "a=;", ""},
        // Blank lines, also those of a file saved with CR LF, are skipped.
        {"a = \"1\"\r\n\r\n   \n\t\n \t\r\nb = \"2\"\r\n", true, "a=1;b=2;", ""},
        {"", true, "", ""}, // an empty file is an empty set, as write makes it
    };
    TEMP_DIR dir;
    for (const CASE& c : cases) {
        write_file(dir.file("p.par"), c.content);
        MANAGER manager;
        manager.set_value("stale", "x", false);
        std::string error = "untouched";
        EXPECT_EQ(c.ok, manager.read(dir.file("p.par"), error)) << c.content;
        EXPECT_EQ(c.parameters, listed(manager)) << c.content;
        EXPECT_EQ(c.ok ? "untouched" : "Found invalid format on line \"" + c.error_line + "\"", error) << c.content;
    }
    // A missing file, and a compressed one.
    MANAGER manager;
    manager.set_value("stale", "x", false);
    std::string error;
    EXPECT_FALSE(manager.read(dir.file("missing.par"), error));
    EXPECT_EQ("Fail to read " + dir.file("missing.par"), error);
    EXPECT_EQ("", listed(manager));
    gzFile packed = gzopen(dir.file("p.par.gz").c_str(), "wb");
    gzputs(packed, "a = \"1\"\n");
    gzclose(packed);
    EXPECT_TRUE(manager.read(dir.file("p.par.gz"), error));
    EXPECT_EQ("a=1;", listed(manager));
}

TEST(ParamFile, WritesPaddedLinesInNameOrderAndReadsThemBack)
{
    TEMP_DIR dir;
    const std::string long_name(40, 'L'), longer_name(45, 'M');
    MANAGER manager;
    manager.set_value("b", "two words", false);
    manager.set_value("a", "", false);
    manager.set_value(long_name, "x", false);
    manager.set_value(longer_name, "y", false);
    manager.set_value("c", "hidden = \"yes\"", true);
    manager.set_value("B", "#not a comment", false);
    std::string error = "untouched";
    ASSERT_TRUE(manager.write(dir.file("p.par"), error));
    EXPECT_EQ("untouched", error);
    EXPECT_EQ(padded("B") + " = \"#not a comment\"\n" + padded(long_name) + " = \"x\"\n" + longer_name +
                  " = \"y\"\n" + padded("a") + " = \"\"\n" + padded("b") + " = \"two words\"\n# " + padded("c") +
                  " = \"hidden = \"yes\"\"\n",
              read_file(dir.file("p.par")));
    MANAGER back;
    ASSERT_TRUE(back.read(dir.file("p.par"), error));
    manager.get_param_value_map()->erase("c"); // commented: not read back
    EXPECT_EQ(listed(manager), listed(back));

    // An empty set writes an empty file, which reads back empty.
    MANAGER empty;
    ASSERT_TRUE(empty.write(dir.file("empty.par"), error));
    EXPECT_EQ("", read_file(dir.file("empty.par")));
    EXPECT_TRUE(back.read(dir.file("empty.par"), error));
    EXPECT_EQ("", listed(back));

    EXPECT_FALSE(manager.write(dir.file("no/such/folder/p.par"), error));
    EXPECT_EQ("Fail to write " + dir.file("no/such/folder/p.par"), error);
}

TEST(ParamFile, GetSetAndCopies)
{
    MANAGER manager;
    std::string value = "stale";
    bool comment = true;
    EXPECT_FALSE(manager.get_value("a", value, comment));
    EXPECT_EQ("", value);
    EXPECT_FALSE(comment);
    manager.set_value(" a ", " \"quoted\" ", true); // kept as given
    EXPECT_TRUE(manager.get_value(" a ", value, comment));
    EXPECT_EQ(" \"quoted\" ", value);
    EXPECT_TRUE(comment);
    EXPECT_FALSE(manager.get_value("a", value, comment)); // exact names
    manager.set_value(" a ", "new", false);
    EXPECT_TRUE(manager.get_value(" a ", value, comment));
    EXPECT_EQ("new", value);
    EXPECT_FALSE(comment);
    MANAGER copy(manager), assigned;
    assigned = manager;
    manager.set_value("b", "1", false);
    manager.get_param_value_map()->erase(" a ");
    EXPECT_EQ("b=1;", listed(manager));
    EXPECT_EQ(" a =new;", listed(copy));
    EXPECT_EQ(" a =new;", listed(assigned));
}

// Everything write puts in the file reads back as it was set; what would
// not is refused, and nothing is written.
TEST(ParamFile, WriteRefusesWhatWouldNotReadBack)
{
    struct CASE {
        std::string name, value;
        bool comment;
        std::string reason; // empty: written
    };
    const CASE cases[] = {
        {"", "v", false, "its name is empty"},
        {"#a", "v", false, ""}, // behind a tab, which the reader deletes
        {"#", "#", false, ""},
        {" a", "v", false, "its name begins with a space"},
        {"a ", "v", false, "its name ends with a space"},
        {"a", " v", false, "its value begins with a space"},
        {"a", "v ", false, "its value ends with a space"},
        {"a\"b", "v", false, "its name holds a double quote"},
        {"a", "say \"hi\"", false, "its value holds a double quote"},
        {"a=b", "v", false, "its name holds \"=\""},
        {"a", "x=y", false, "its value holds \"=\""},
        {"a\tb", "v", false, "its name holds a tab"},
        {"a", "v\rw", false, "its value holds a carriage return"},
        {"a", "v\nw", false, "its value holds a line feed"},
        {std::string("a\0b", 3), "v", false, "its name holds a NUL byte"},
        {"a", std::string("v\0w", 3), false, "its value holds a NUL byte"},
        {"\x1f\x8b", "v", false, "its name begins with the bytes of a gzip header (1F 8B)"},
        {"c", "v\nb = \"w\"", true, "its value holds a line feed"},
        {"a b", "  inner  spaces # and = \"quotes\" ", true, ""}, // a comment line keeps it all
        {"a#b", "#v", false, ""},
        {"a b", "", false, ""},
    };
    TEMP_DIR dir;
    const std::string path = dir.file("p.par");
    for (const CASE& c : cases) {
        write_file(path, "old = \"1\"\n");
        MANAGER manager;
        manager.set_value("ok", "fine", false);
        manager.set_value(c.name, c.value, c.comment);
        std::string error;
        EXPECT_EQ(c.reason.empty(), manager.write(path, error)) << c.name;
        if (!c.reason.empty()) {
            EXPECT_EQ("Fail to write " + path + ": parameter \"" + c.name + "\" would not read back: " + c.reason,
                      error);
            EXPECT_EQ("old = \"1\"\n", read_file(path));
            continue;
        }
        MANAGER back;
        ASSERT_TRUE(back.read(path, error)) << error;
        if (c.comment)
            manager.get_param_value_map()->erase(c.name);
        EXPECT_EQ(listed(manager), listed(back));
    }
    // A record filed under another name than its own.
    MANAGER manager;
    (*manager.get_param_value_map())["key"] = PARAM_PROPERTIES{"name", "v", false};
    std::string error;
    EXPECT_FALSE(manager.write(path, error));
    EXPECT_EQ("Fail to write " + path + ": parameter \"key\" would not read back: it is filed under the name \"name\"",
              error);
}

// A write that fails part-way reports it and leaves the old file whole.
TEST(ParamFile, FailedWriteKeepsTheOldFile)
{
    TEMP_DIR dir;
    const std::string path = dir.file("p.par");
    write_file(path, "old = \"1\"\n");
    MANAGER manager;
    for (int i = 0; i < 100; ++i)
        manager.set_value("name" + std::to_string(i), std::string(100, 'v'), false);
    // In a child whose files may not grow beyond 4 KiB.
    EXPECT_EQ(0, run_with_file_size_limit(4096, SIG_IGN, [&] {
                  std::string error;
                  return !manager.write(path, error) && error == "Fail to write " + path ? 0 : 1;
              }));
    EXPECT_EQ("old = \"1\"\n", read_file(path));
    // A device that is full.
    std::string error;
    EXPECT_FALSE(manager.write("/dev/full", error));
    EXPECT_EQ("Fail to write /dev/full", error);
}

TEST(ParamFile, PgmtoolListsGetsAndSets)
{
    TEMP_DIR dir;
    const std::string params = "b = \"2\"\na = \"1\"\n# " + padded("c") + " = \"3\"\n";
    write_file(dir.file("p.par"), params);
    write_file(dir.file("bad.par"), "a = \"1\"\n\n  \nnot a parameter\n");
    expect_pgmtool({{"param p.par", 0, "a=1\nb=2\n", ""},
                    {"param - < p.par", 0, "a=1\nb=2\n", ""},
                    {"param p.par --get=b", 0, "2\n", ""},
                    {"param p.par --get=c", 2, "", "p.par:3: error: parameter \"c\" is only commented out (a \"#\" "
                                                   "line), not set\n"},
                    {"param p.par --get=z", 2, "", "p.par: error: no parameter \"z\"\n"},
                    {"param bad.par", 2, "", "bad.par:4: error: the line is not a parameter NAME = \"VALUE\" (one "
                                             "\"=\", then a value)\n"},
                    {"param missing.par", 2, "", "missing.par: error: cannot open: No such file or directory\n"},
                    {"param p.par --set=b=5 --get=b", 1, "", "pgmtool: error: --get and --set cannot be given "
                                                             "together\nTry \"pgmtool param --help\" for more "
                                                             "information.\n"},
                    {"param p.par --comment", 1, "", "pgmtool: error: --comment goes with --set\nTry \"pgmtool param "
                                                     "--help\" for more information.\n"},
                    {"param p.par --set=b", 1, "", "pgmtool: error: --set needs NAME=VALUE, not \"b\"\nTry \"pgmtool "
                                                   "param --help\" for more information.\n"},
                    {"param p.par --set='b= 5'", 2, "", "p.par: error: cannot write: parameter \"b\" would not read "
                                                        "back: its value begins with a space\n"},
                    {"param - --set=d=x=y < p.par", 2, "", "<stdout>: error: cannot write: parameter \"d\" would not "
                                                           "read back: its value holds \"=\"\n"},
                    {"param - --set=d=4 < p.par", 0, padded("a") + " = \"1\"\n" + padded("b") + " = \"2\"\n" +
                                                         padded("d") + " = \"4\"\n", ""}},
                   dir.path());
    EXPECT_EQ(params, read_file(dir.file("p.par"))); // refusals wrote nothing
    expect_pgmtool({{"param p.par --set=b=5", 0, "", ""},
                    {"param p.par --set='e=two words' --comment", 0, "", ""},
                    {"param new.par --set=x=", 0, "", ""}},
                   dir.path());
    EXPECT_EQ(padded("a") + " = \"1\"\n" + padded("b") + " = \"5\"\n# " + padded("e") + " = \"two words\"\n",
              read_file(dir.file("p.par")));
    EXPECT_EQ(padded("x") + " = \"\"\n", read_file(dir.file("new.par")));
    RUN_RESULT full = run_pgmtool("param /dev/full --set=a=1", dir.path());
    EXPECT_EQ(2, full.exit_code);
    EXPECT_EQ("/dev/full: error: cannot open: not a regular file\n", full.error);
}
