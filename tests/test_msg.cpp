// Internal errors, catalogue messages and console lines.
#include "test_support.h"

#include "host/con.h"
#include "pgm/common/pgm_common_catalogue.h"

#include <algorithm>
#include <memory>

namespace {

MSG_RECORD issue_one(MSG_BASE& message)
{
    msg_take_issued();
    capture_stdout([&message] {
        if (auto* prompt = dynamic_cast<MSG_O*>(&message))
            prompt->prompt(nullptr);
        else
            dynamic_cast<MSG_POST&>(message).post();
    });
    std::vector<MSG_RECORD> issued = msg_take_issued();
    EXPECT_EQ(1u, issued.size());
    return issued.empty() ? MSG_RECORD{0, ' ', "", {}, 0} : issued[0];
}

} // namespace

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

TEST(Messages, CatalogueTextsIdsAndTypes)
{
    struct CASE {
        std::unique_ptr<MSG_BASE> message;
        unsigned int id;
        char type;
        std::string text;
    };
    std::vector<CASE> cases;
    cases.push_back({pgm_msg_hex_checksum_error(12), 17920, 'O', "Checksum on line 12 does not match expected checksum"});
    cases.push_back({pgm_msg_hex_overlap_error(0x1F0, 0xABCDEF), 17921, 'O',
                     "Data in HEX File overlaps between data blocks at address 1F0 and address ABCDEF"});
    cases.push_back({pgm_msg_invalid_hex_file("a.hex"), 17922, 'O',
                     "File a.hex is not a valid Hexadecimal (Orvan-Format) File"});
    cases.push_back({pgm_msg_file_io_error("/x/y.bin"), 17923, 'E', "Can't save or open file /x/y.bin"});
    cases.push_back({pgm_msg_mif_invalid_char("m.mif"), 17924, 'O', "Found invalid character in MIF file m.mif"});
    cases.push_back({pgm_msg_invalid_mif_file("m.mif"), 17925, 'O',
                     "File m.mif is not a valid Memory Initialization File"});
    cases.push_back({pgm_msg_init_content_overflow(300, 256, "m.mif"), 18093, 'W',
                     "Memory depth (300) in the Memory Initialization File \"m.mif\" is larger than the flash memory "
                     "depth (256). Truncated remaining initial content value to fit flash memory. If you do not want "
                     "the remaining initial content value to be truncated, make sure the Memory Initialization File "
                     "contains the same memory depth values for the flash memory."});
    cases.push_back({pgm_msg_init_content_insufficient(100, 256, "m.mif"), 18094, 'W',
                     "Memory depth (100) in the Memory Initialization File \"m.mif\" is less than the flash memory "
                     "depth (256). Make sure the Memory Initialization File contains the sufficient memory depth "
                     "values for the flash memory."});
    for (CASE& c : cases) {
        EXPECT_EQ(c.id, c.message->get_id());
        MSG_RECORD record = issue_one(*c.message);
        EXPECT_EQ(c.id, record.id);
        EXPECT_EQ(c.type, record.type);
        EXPECT_EQ(c.text, record.text);
    }
    EXPECT_EQ(1, cases[6].message->get_severity_level());
}

TEST(Messages, PromptsReissuedAsWarningsAndSuppressedWarnings)
{
    auto prompt = pgm_msg_hex_checksum_error(3);
    msg_take_issued();
    std::string shown = capture_stdout([&prompt] { pgm_msg_issue(*prompt, true); });
    std::vector<MSG_RECORD> issued = msg_take_issued();
    ASSERT_EQ(1u, issued.size());
    EXPECT_EQ('W', issued[0].type);
    EXPECT_EQ(17920u, issued[0].id);
    EXPECT_EQ("Checksum on line 3 does not match expected checksum", issued[0].text);
    EXPECT_EQ("Warning (17920): Checksum on line 3 does not match expected checksum\n", shown);

    capture_stdout([&prompt] { pgm_msg_issue(*prompt, false); });
    issued = msg_take_issued();
    ASSERT_EQ(1u, issued.size());
    EXPECT_EQ('O', issued[0].type);

    MSG_INDEX::get_default_index().suppress(18093);
    auto quiet = pgm_msg_init_content_overflow(1, 2, "x");
    EXPECT_NE(nullptr, dynamic_cast<MSG_W_NULL*>(quiet.get()));
    EXPECT_EQ(0u, quiet->get_id());
    EXPECT_EQ("", capture_stdout([&quiet] { quiet->post(); }));
    EXPECT_TRUE(msg_take_issued().empty());
    MSG_INDEX::get_default_index().suppress(18093, false);
    EXPECT_NE(nullptr, dynamic_cast<MSG_W*>(pgm_msg_init_content_overflow(1, 2, "x").get()));
    EXPECT_EQ(nullptr, dynamic_cast<MSG_W_NULL*>(pgm_msg_init_content_overflow(1, 2, "x").get()));
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
    printed.clear();
    ASSERT_EQ(nullptr, msg_set_printer(print_record));
    auto checksum = pgm_msg_hex_checksum_error(12);
    checksum->set_line(12);
    EXPECT_EQ("", capture_stdout([&] { checksum->prompt(nullptr); }));
    EXPECT_EQ(print_record, msg_set_printer(nullptr));
    ASSERT_EQ(1u, printed.size());
    EXPECT_EQ(17920u, printed[0].id);
    EXPECT_EQ((std::vector<std::string>{"12"}), printed[0].inserts);
    EXPECT_EQ(12, printed[0].line);
    std::vector<MSG_RECORD> issued = msg_take_issued(); // recorded as before
    ASSERT_EQ(1u, issued.size());
    EXPECT_EQ(printed[0].inserts, issued[0].inserts);
    EXPECT_EQ((std::vector<std::string>{"100", "256", "m.mif"}),
              issue_one(*pgm_msg_init_content_overflow(100, 256, "m.mif")).inserts);
}

TEST(ConsoleMessages, TheConsoleStreamTakesConsoleLinesAndCatalogueMessages)
{
    std::unique_ptr<FILE, int (*)(FILE*)> stream(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(stream);
    con_set_stream(stream.get());
    EXPECT_EQ(stream.get(), con_stream());
    std::string shown = capture_stdout([] {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "x");
        pgm_msg_file_io_error("f.bin")->post();
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
