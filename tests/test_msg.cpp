// Internal errors, catalogue messages and console lines.
#include "test_support.h"

#include "host/con.h"

#include <algorithm>
#include <memory>

TEST(Messages, InternalErrorCarriesConditionModuleFileAndLine)
{
    try {
        PGM_COMMON::n_units(5, 0);
        FAIL() << "no internal error";
    } catch (const PGM_INTERNAL_ERROR& error) {
        EXPECT_EQ("PGM_COMMON", error.module());
        EXPECT_EQ(0u, error.file().find("pgm/common/"));
        EXPECT_GT(error.line(), 0);
    }
    try {
        PGM_COMMON::convert_string_to_qword("12Z", true, NULL, NULL, false);
        FAIL() << "no internal error";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ("Invalid string \"12Z\" to qword conversion", error.what());
    }
}

// The catalogue messages as callers meet them: the readers build, issue and
// release them. The hex and MIF reader tests check every id they issue;
// here the whole texts of the depth warnings and the printed form of a
// prompt posted as a warning.
TEST(Messages, DepthWarningsAndPromptsPostedAsWarnings)
{
    TEMP_DIR dir;
    const std::string path = dir.file("m.mif");
    struct CASE {
        DWORD depth;
        unsigned int id;
        std::string text;
    };
    const CASE cases[] = {
        {300, 18093,
         "Memory depth (300) in the Memory Initialization File \"" + path + "\" is larger than the flash memory "
         "depth (256). Truncated remaining initial content value to fit flash memory. If you do not want the "
         "remaining initial content value to be truncated, make sure the Memory Initialization File contains the "
         "same memory depth values for the flash memory."},
        {100, 18094,
         "Memory depth (100) in the Memory Initialization File \"" + path + "\" is less than the flash memory "
         "depth (256). Make sure the Memory Initialization File contains the sufficient memory depth values for the "
         "flash memory."},
    };
    for (const CASE& c : cases) {
        write_file(path, "WIDTH=8; DEPTH=" + std::to_string(c.depth) + ";\nCONTENT BEGIN\nEND;\n");
        PGMIO_MIF_READER reader;
        reader.set_file(path);
        reader.set_required_size(256);
        std::vector<MSG_RECORD> issued = issued_by([&reader] { reader.read_mif_file(); });
        ASSERT_EQ(1u, issued.size()) << c.depth;
        EXPECT_EQ(c.id, issued[0].id);
        EXPECT_EQ('W', issued[0].type);
        EXPECT_EQ(c.text, issued[0].text);
    }

    std::string bad_sum = hex_record(0x10, 0, {1, 2});
    bad_sum.back() = bad_sum.back() == '0' ? '1' : '0';
    write_file(dir.file("bad.hex"), hex_record(0, 0, {1}) + "\n" + hex_record(1, 0, {2}) + "\n" + bad_sum + "\n");
    PGMIO_HEX_READER reader;
    reader.set_file(dir.file("bad.hex"));
    msg_take_issued();
    std::string shown = capture_stdout([&reader] { reader.read_hex_file(false, true); });
    std::vector<MSG_RECORD> issued = msg_take_issued();
    ASSERT_EQ(1u, issued.size());
    EXPECT_EQ('W', issued[0].type);
    EXPECT_EQ(17920u, issued[0].id);
    EXPECT_EQ("Warning (17920): Checksum on line 3 does not match expected checksum\n", shown);
    if (reader.get_hex_list())
        pgmio_delete_hex_blocks(*reader.get_hex_list());
}

TEST(Messages, LoadedLibraryRegistersItsPostableIdsAndModule)
{
    MSG_POST_TYPE type = MSG_POST_INFO;
    EXPECT_TRUE(msg_is_registered(17923, &type));
    EXPECT_EQ(MSG_POST_ERROR, type);
    EXPECT_TRUE(msg_is_registered(18093, &type));
    EXPECT_EQ(MSG_POST_WARNING, type);
    EXPECT_TRUE(msg_is_registered(18094, &type));
    EXPECT_FALSE(msg_is_registered(17920));
    std::vector<std::string> modules = mem_registered_modules();
    EXPECT_NE(modules.end(), std::find(modules.begin(), modules.end(), "PGM_COMMON"));
}

TEST(Messages, FillArgsFormatsInsertsInNumberOrder)
{
    MSG_O message(nullptr);
    message.fill_args("%2!s! then %1!d! and %1!X! /100%/OTEST_ID", 255, "second");
    EXPECT_STREQ("second then 255 and FF /100%", message.get_msg_text_c_str());
    EXPECT_EQ((std::vector<std::string>{"255", "second"}), message.get_inserts());
    MSG_E plain(nullptr);
    plain.fill_args("no inserts / here");
    EXPECT_STREQ("no inserts / here", plain.get_msg_text_c_str());
}

TEST(ConsoleMessages, PrefixIndentAndColours)
{
    con_force_console(0);
    EXPECT_EQ("      Error: x 5\n", capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 2, "x %d", 5); }));
    EXPECT_EQ("Warning: w\n", capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_WARNING, 0, "w"); }));
    EXPECT_EQ("   Debug: a\nb\n",
              capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_DEBUG, 1, "a\nb"); }));
    EXPECT_EQ("i\n", capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 0, "i"); }));
    EXPECT_EQ("p\n", capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_PLAIN, 0, "p"); }));
    EXPECT_EQ("Warning: n\n",
              capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_WARNING_NO_COLOR, 0, "n"); }));
    EXPECT_EQ("Debug: n\n", capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_DEBUG_NO_COLOR, 0, "n"); }));

    con_force_console(1);
    EXPECT_EQ("\033[91m      Error: x 5\n\033[0m",
              capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 2, "x %d", 5); }));
    EXPECT_EQ("\033[95mi\n\033[0m", capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_INFO, 0, "i"); }));
    EXPECT_EQ("\033[94mWarning: w\n\033[0m",
              capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_WARNING, 0, "w"); }));
    EXPECT_EQ("\033[96mDebug: d\n\033[0m",
              capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_DEBUG, 0, "d"); }));
    EXPECT_EQ("\033[0mError: e\n\033[0m",
              capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR_NO_COLOR, 0, "e"); }));
    EXPECT_EQ("\033[0mo\n\033[0m",
              capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_TYPE(9), 0, "o"); }));
    con_force_console(-1);
}

namespace {

std::vector<MSG_RECORD> printed; // what print_record was given

void print_record(const MSG_RECORD& record)
{
    printed.push_back(record);
}

std::string stream_text(FILE* stream)
{
    std::fflush(stream);
    std::rewind(stream);
    std::string text;
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream))
        text += char(c);
    return text;
}

} // namespace

TEST(Messages, PrinterTakesEveryIssuedMessageWithItsInsertsAndLine)
{
    TEMP_DIR dir;
    std::string bad = hex_record(0, 0, {1, 2});
    bad[bad.size() - 1] ^= 1; // a wrong checksum on line 2
    write_file(dir.file("c.hex"), hex_record(0, 0, {0}) + "\n" + bad + "\n" + hex_record(0, 1, {}) + "\n");
    PGMIO_HEX_READER reader;
    reader.set_file(dir.file("c.hex"));
    printed.clear();
    msg_take_issued();
    ASSERT_EQ(nullptr, msg_set_printer(print_record));
    EXPECT_EQ("", capture_stdout([&] { reader.read_hex_file(false, false); }));
    EXPECT_EQ(print_record, msg_set_printer(nullptr));
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(17920u, printed[0].id);
    EXPECT_EQ((std::vector<std::string>{"2"}), printed[0].inserts);
    EXPECT_EQ(2, printed[0].line);
    std::vector<MSG_RECORD> issued = msg_take_issued(); // recorded as before
    ASSERT_EQ(printed.size(), issued.size());
    EXPECT_EQ(printed[0].inserts, issued[0].inserts);
}

TEST(ConsoleMessages, TheConsoleStreamTakesConsoleLinesAndCatalogueMessages)
{
    std::unique_ptr<FILE, int (*)(FILE*)> stream(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(stream);
    con_set_stream(stream.get());
    EXPECT_EQ(stream.get(), con_stream());
    std::string shown = capture_stdout([] {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "x");
        DWORD size = 0, lowest = 0;
        EXPECT_EQ(nullptr, PGM_COMMON::read_hex_data("f.bin", size, lowest));
    });
    con_set_stream(nullptr);
    msg_take_issued();
    EXPECT_EQ("", shown);
    // A file is no console, whatever standard output is.
    EXPECT_EQ("Error: x\nError (17923): Can't save or open file f.bin\n", stream_text(stream.get()));
    EXPECT_FALSE(con_is_console(stream.get()));
    EXPECT_EQ(stdout, con_stream());
    EXPECT_EQ("p\n", capture_stdout([] { PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_PLAIN, 0, "p"); }));
}
