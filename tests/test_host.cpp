// The host services the library stands on.
#include "test_support.h"

#include "host/con.h"

#include <cstdlib>
#include <filesystem>

TEST(HostConfig, ReadsTheIniFileAndSetValues)
{
    TEMP_DIR dir;
    write_file(dir.file("pgm.ini"), "# settings\n\nA_SWITCH = Yes\nLEVEL=42\nHEX=0x1F\nBAD=12z\n=nothing\nTEXT=a=b\n");
    setenv("PGM_INI_FILE", dir.file("pgm.ini").c_str(), 1);
    cfg_clear();
    EXPECT_EQ(BRISOL_TRUE, cfg_is_on("A_SWITCH", false));
    EXPECT_EQ(42, cfg_get_int_value("LEVEL", 7));
    EXPECT_EQ(31, cfg_get_int_value("HEX", 7));
    EXPECT_EQ(7, cfg_get_int_value("BAD", 7));
    EXPECT_EQ(7, cfg_get_int_value("MISSING", 7));
    EXPECT_EQ("a=b", cfg_get_value("TEXT"));
    EXPECT_EQ("", cfg_get_value("MISSING"));

    cfg_set_value("LEVEL", "-3");
    EXPECT_EQ(-3, cfg_get_int_value("LEVEL", 7));
    unsetenv("PGM_INI_FILE");
    cfg_clear();
    EXPECT_EQ("", cfg_get_value("TEXT"));
}

TEST(HostConfig, SwitchWordsIgnoreCase)
{
    cfg_clear();
    for (const char* on : {"on", "TRUE", "Yes", "1"}) {
        cfg_set_value("S", on);
        EXPECT_EQ(BRISOL_TRUE, cfg_is_on("S", false)) << on;
    }
    for (const char* off : {"OFF", "false", "no", "0"}) {
        cfg_set_value("S", off);
        EXPECT_EQ(BRISOL_FALSE, cfg_is_on("S", true)) << off;
    }
    cfg_set_value("S", "maybe");
    EXPECT_EQ(BRISOL_TRUE, cfg_is_on("S", true));
    EXPECT_EQ(BRISOL_FALSE, cfg_is_on("S", false));
    EXPECT_EQ(BRISOL_TRUE, cfg_is_on("UNSET", true));

    int before = cfg_hostexe_ini_applied_count();
    cfg_hostexe_ini_applied();
    EXPECT_EQ(before + 1, cfg_hostexe_ini_applied_count());
    cfg_clear();
}

TEST(HostGeneral, ConversionsTrimmingAndComparison)
{
    char* end = nullptr;
    const char* text = "12ab";
    EXPECT_EQ(12u, gen_local_strtoQWORD(text, &end, 10));
    EXPECT_EQ(text + 2, end);
    EXPECT_EQ(0x12ABu, gen_local_strtoQWORD(text, &end, 16));
    EXPECT_EQ(text + 4, end);
    EXPECT_EQ(0u, gen_local_strtoQWORD("xyz", &end, 10));
    EXPECT_STREQ("xyz", end);
    EXPECT_EQ(UINT64_MAX, gen_local_strtoQWORD("99999999999999999999", &end, 10));
    EXPECT_EQ(5ul, gen_local_strtoul("101", nullptr, 2));

    EXPECT_EQ("a b", gen_remove_leading_and_trailing_spaces("  a b  "));
    EXPECT_EQ("\ta\t", gen_remove_leading_and_trailing_spaces(" \ta\t "));
    EXPECT_EQ("a", gen_remove_leading_and_trailing_white_spaces("\r\n\t a \n"));
    EXPECT_EQ("", gen_remove_leading_and_trailing_white_spaces(" \t "));
    EXPECT_EQ(0, gen_stricmp("AbC", "aBc"));
    EXPECT_NE(0, gen_strcmp("AbC", "aBc"));
    EXPECT_LT(gen_strcmp("a", "b"), 0);

    std::string mixed = "MiXeD 1";
    stl_toupper(mixed);
    EXPECT_EQ("MIXED 1", mixed);
    stl_tolower(mixed);
    EXPECT_EQ("mixed 1", mixed);

    std::string formatted;
    MEM_DETAIL::stl_raw_sprintf(formatted, "%s-%d", std::string(5000, 'x').c_str(), 7);
    EXPECT_EQ(5002u, formatted.size());
    EXPECT_EQ("-7", formatted.substr(5000));
}

TEST(HostGeneral, RandomStateRepeatsAndFoldersRedirect)
{
    GEN_RAND first(12345), second(12345);
    for (int i = 0; i < 100; ++i) {
        int value = first.get_rand();
        EXPECT_GE(value, 0);
        EXPECT_EQ(value, second.get_rand());
    }
    second.state = first.state;
    EXPECT_EQ(first.get_rand(), second.get_rand());

    int cores = 0, logical = 0;
    EXPECT_TRUE(GEN_MACHINE_INFO::get_core_cpu_count(cores));
    EXPECT_TRUE(GEN_MACHINE_INFO::get_logical_cpu_count(logical));
    EXPECT_GE(cores, 1);
    EXPECT_GE(logical, cores);

    std::string module = gen_get_module_path();
    EXPECT_TRUE(std::filesystem::is_directory(module));
    gen_set_module_path("/tmp/somewhere");
    gen_set_device_db_fullpath("/tmp/db");
    EXPECT_EQ("/tmp/somewhere", gen_get_module_path());
    EXPECT_EQ("/tmp/db", gen_get_device_db_fullpath());
    EXPECT_EQ("/tmp/somewhere", gen_get_unshipped_data_fullpath());
    gen_set_module_path("");
    gen_set_device_db_fullpath("");
    EXPECT_EQ(module, gen_get_module_path());
}

TEST(HostFiles, PathsAndWildcardSearch)
{
    TEMP_DIR dir;
    write_file(dir.file("b.hex"), "1");
    write_file(dir.file("a.hex"), "12");
    write_file(dir.file("a.bin"), "");
    write_file(dir.file(".hidden.hex"), "");
    std::filesystem::create_directory(dir.file("sub.hex"));

    FIO_FIND_DATA entry;
    intptr_t handle = FIO_FILE_SYSTEM::findfirst(dir.file("*.hex"), &entry);
    ASSERT_GE(handle, 0);
    std::vector<std::string> names = {entry.name};
    std::vector<unsigned> attributes = {entry.attrib};
    while (FIO_FILE_SYSTEM::findnext(handle, &entry) == 0) {
        names.push_back(entry.name);
        attributes.push_back(entry.attrib);
    }
    EXPECT_EQ(0, FIO_FILE_SYSTEM::findclose(handle));
    EXPECT_EQ((std::vector<std::string>{"a.hex", "b.hex", "sub.hex"}), names);
    EXPECT_EQ((std::vector<unsigned>{0, 0, FIO_A_SUBDIR}), attributes);
    EXPECT_LT(FIO_FILE_SYSTEM::findfirst(dir.file("?.txt"), &entry), 0);
    EXPECT_GE(FIO_FILE_SYSTEM::findfirst(dir.file("?.bin"), &entry), 0);
    EXPECT_EQ("a.bin", entry.name);

    FIO_STAT record;
    EXPECT_TRUE(FIO_FILE_SYSTEM::status(dir.file("a.hex"), record));
    EXPECT_EQ(2, record.st_size);
    EXPECT_TRUE(FIO_FILE_SYSTEM::exists(dir.file("sub.hex")));
    EXPECT_FALSE(FIO_FILE_SYSTEM::exists(dir.file("none")));

    FIO_PATH path(dir.path() + "/sub.hex/../a.hex");
    EXPECT_EQ(dir.file("a.hex"), path.fullpath());
    EXPECT_EQ("a.hex", path.filename());
    FIO_PATH relative("x/y.txt");
    relative.become_absolute("");
    EXPECT_EQ((std::filesystem::current_path() / "x/y.txt").string(), std::string(relative));
}

TEST(HostFiles, AtomicFileReplacesWholeOrNothing)
{
    TEMP_DIR dir;
    std::string target = dir.file("out.bin");
    write_file(target, "old");
    {
        FIO_ATOMIC_FILE file(target);
        ASSERT_NE(nullptr, file.stream());
        EXPECT_TRUE(file.write("new content", 11));
        EXPECT_EQ("old", read_file(target)); // nothing visible before the commit
    }
    EXPECT_EQ("old", read_file(target));
    {
        FIO_ATOMIC_FILE file(target);
        EXPECT_TRUE(file.write("new content", 11));
        EXPECT_TRUE(file.commit());
    }
    EXPECT_EQ("new content", read_file(target));
    size_t entries = 0;
    for (auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(1u, entries); // no temporary file left behind

    FIO_ATOMIC_FILE nowhere(dir.file("missing/out.bin"));
    EXPECT_EQ(nullptr, nowhere.stream());
    EXPECT_FALSE(nowhere.write("x", 1));
    EXPECT_FALSE(nowhere.commit());
}

TEST(HostThreads, ShellCommandsReportTheirExitStatus)
{
    TEMP_DIR dir;
    EXPECT_EQ(0, thr_run("true"));
    EXPECT_NE(0, thr_run("exit 3"));
    EXPECT_EQ(0, thr_system("echo hi > '" + dir.file("x y") + "'"));
    EXPECT_EQ("hi\n", read_file(dir.file("x y")));
    thr_msleep(1);
}

TEST(HostVersion, AnswersWhatWasSet)
{
    std::string text = ver_get_version();
    int index = ver_get_current_version_index_number();
    ver_set_version("21.2.1", 0x4B02);
    EXPECT_EQ("21.2.1", ver_get_version());
    EXPECT_EQ(0x4B02, ver_get_current_version_index_number());
    ver_set_version(text, index);
}

TEST(HostConsole, ColoursOnlyOnAConsole)
{
    con_force_console(1);
    std::string coloured = capture_stdout([] {
        con_set_text_attribute(stdout, 4 | 8);
        con_set_text_attribute(stdout, 1 | 8);
        con_set_text_attribute(stdout, 5 | 8);
        con_set_text_attribute(stdout, 15);
    });
    EXPECT_EQ("\033[91m\033[94m\033[95m\033[0m", coloured);
    con_force_console(0);
    EXPECT_EQ("", capture_stdout([] { con_set_text_attribute(stdout, 4 | 8); }));
    con_force_console(-1);
}
