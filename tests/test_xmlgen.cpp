// pgm_xmlgen as a compiler: every message a bad description can earn, with
// its file, line and exit code, and what a small good description becomes
// (tests/data/xmlgen/tiny.desc against the expected files beside it).
//
// After a deliberate change of the generated code, rewrite the expected
// files with: PGM_XMLGEN_REGENERATE=1 build/tests/pgm_tests --gtest_filter='Xmlgen.Tiny*'
// and review their diff.
#include "test_support.h"

#include <cstdlib>

namespace {

const std::string XMLGEN = PGM_XMLGEN_PATH;
const std::string DATA = PGM_SOURCE_DIR "/tests/data/xmlgen/";

// A good description; the cases append lines to it (line 9 on), which
// belong to the root element TOP.
const std::string BASE = "family t\n"                            // 1
                         "root TOP\n"                            // 2
                         "list kinds A|B\n"                      // 3
                         "element ITEM\n"                        // 4
                         "    text ENUM OPTIONAL \"A\" @kinds\n" // 5
                         "rule ITEM under top\n"                 // 6
                         "element TOP\n"                         // 7
                         "    child ITEM 0,infinity\n";          // 8

RUN_RESULT run_xmlgen(const std::string& arguments) { return run_command(XMLGEN + " " + arguments); }

} // namespace

TEST(Xmlgen, EveryDescriptionErrorNamesItsLine)
{
    struct CASE {
        std::string text;   // appended to BASE (whole descriptions below)
        std::string errors; // each "LINE: MESSAGE"
    };
    const CASE cases[] = {
        // words and lines
        {"    attr a STRING MUST \"x\\y\"", "9: only \\\" and \\\\ may follow a backslash in a quoted text"},
        {"    attr a STRING MUST \"x", "9: quoted text without its closing quote"},
        {"    attr a STRING MUST \"x\"y", "9: a quoted text must be followed by a blank"},
        {"    attr a ENUM MUST \"A\" A|B\n| C | D",
         "10: a continuation line holds one \"|\" followed by more values of the list on the line before"},
        {"    attr a STRING MUST \"x\"\n| C",
         "10: a continuation line holds one \"|\" followed by more values of the list on the line before"},
        {"attribute a", "9: unknown keyword \"attribute\" (family, root, list, names, element, text, attr, child "
                        "or rule)"},
        // statements
        {"family t", "9: a second \"family\" line"},
        {"root TOP", "9: a second \"root\" line"},
        {"family T", "9: expected \"family <name>\" with a lower-case name"},
        {"root Top", "9: expected \"root <CLASS>\" with an upper-case class type"},
        {"list Kinds A|B", "9: expected \"list <name> <A|B|...>\" with a lower-case name"},
        {"list kinds C|D", "9: list \"kinds\" is already defined on line 3"},
        {"names Tops top", "9: expected \"names <name> <a|b|...>\" with a lower-case name"},
        {"names kinds top", "9: list \"kinds\" is already defined on line 3"},
        {"names tops top|Box", "9: element name \"Box\" is not a lower-case name\n9: list tops is not used"},
        {"element item", "9: expected \"element <CLASS> [<names>]\" with an upper-case class type"},
        {"element OTHER a|B\nrule OTHER under top", "9: element name \"B\" is not a lower-case name\n"
                                                    "10: the rule puts OTHER under top, but TOP has no \"child "
                                                    "OTHER\" line"},
        {"    text STRING", "9: expected \"text <TYPE> <EXIST> <default> [<allowed values>]\""},
        {"    text STRING MUST empty\n    text STRING MUST empty", "10: element TOP has a \"text\" line already"},
        {"    attr a STRING MUST", "9: expected \"attr <name> <TYPE> <EXIST> <default> [<allowed values>]\""},
        {"    attr __a STRING MUST empty",
         "9: expected \"attr <name> ...\" with a lower-case name not starting with \"__\""},
        {"    attr a NUMBER MUST empty", "9: unknown type \"NUMBER\" (BOOL, PGM_XML_BOOL, INTEGER, DWORD, STRING, "
                                       "CPP_STRING, HEX_DATA, STDHEX_DATA, ENUM or IGNORE)"},
        {"    attr a STRING ALWAYS empty", "9: unknown presence rule \"ALWAYS\" (MUST, OPTIONAL or MUST_NOT)"},
        {"    attr a STRING MUST x", "9: the default \"x\" must be quoted, or the word empty"},
        {"    attr a ENUM MUST \"A\" @sizes", "9: no list named \"sizes\" before this line"},
        {"names tops top\n    attr a ENUM MUST \"A\" @tops",
         "9: list tops is not used\n10: \"tops\" is a list of element names, not of allowed values"},
        {"element OTHER @tops\nrule OTHER under top|@kinds",
         "9: no names list \"tops\" before this line\n10: \"kinds\" is a list of allowed values, not of element "
         "names\n10: the rule puts OTHER under top, but TOP has no \"child OTHER\" line"},
        {"    child ITEM", "9: expected \"child <CLASS> <counts>\""},
        {"    child ITEM 2-1", "9: bad counts \"2-1\": ranges joined by \",\", each a count, a range a-b with a < b, "
                               "or infinity"},
        {"    child ITEM 4294967295", "9: bad counts \"4294967295\": ranges joined by \",\", each a count, a range "
                                      "a-b with a < b, or infinity"},
        {"rule ITEM top", "9: expected \"rule <CLASS> under <parent names>\""},
        // values
        {"    attr a ENUM MUST \"A\" A", "9: TOP attribute a: an ENUM needs a list of two or more allowed values"},
        {"    attr a ENUM MUST \"A\" A|b-c|A",
         "9: TOP attribute a: allowed value \"b-c\" is not a name of letters, digits and \"_\"\n"
         "9: TOP attribute a: allowed value \"A\" is listed twice"},
        {"    attr a ENUM MUST \"C\" A|B", "9: TOP attribute a: the default \"C\" is neither _INVALID__ nor an "
                                         "allowed value"},
        {"    attr a STRING MUST empty A|B", "9: TOP attribute a: only an ENUM has allowed values"},
        {"    attr a BOOL OPTIONAL \"yes\"", "9: TOP attribute a: a BOOL default is one of true, false, ON, OFF, 1, 0"},
        {"    text PGM_XML_BOOL OPTIONAL \"yes\"",
         "9: TOP text: a PGM_XML_BOOL default is empty, tristate, true, false, ON, OFF, 1 or 0"},
        {"    attr a DWORD OPTIONAL empty", "9: TOP attribute a: a DWORD needs a number as its default"},
        {"    attr a INTEGER OPTIONAL empty", "9: TOP attribute a: a INTEGER needs a number as its default"},
        {"    attr a DWORD OPTIONAL \"0X1\"", "9: TOP attribute a: the default \"0X1\" is not a number the loader "
                                          "reads"},
        {"    attr a HEX_DATA OPTIONAL \"0x1\"", "9: TOP attribute a: the default \"0x1\" is not hexadecimal digits"},
        {"    attr a STDHEX_DATA OPTIONAL \"abc\"",
         "9: TOP attribute a: the default \"abc\" is not bytes of two hexadecimal digits"},
        {"    attr a CPP_STRING OPTIONAL \"a_\"",
         "9: TOP attribute a: a CPP_STRING default is empty or an identifier that neither starts with \"_\" or a "
         "digit nor ends with \"_\""},
        {"    attr a IGNORE OPTIONAL \"x\"", "9: TOP attribute a: an IGNORE value has the empty default"},
        // members and classes
        {"    attr class STRING MUST empty",
         "9: attribute \"class\" of TOP cannot be a member name of the generated class"},
        {"    attr item STRING MUST empty", "8: child list \"item\" of TOP clashes with the member from line 9"},
        {"    child ITEM 1", "9: TOP lists child ITEM twice"},
        {"    child OTHER 1", "9: child OTHER of TOP is not described"},
        {"element ITEM", "9: element ITEM is described twice\n9: element name \"item\" is already used by ITEM"},
        // rules and lists
        {"rule OTHER under top", "9: rule for OTHER, which is not described"},
        {"rule TOP under item", "9: the root TOP cannot have a parent rule\n"
                                "9: the rule puts TOP under item, but ITEM has no \"child TOP\" line"},
        {"rule ITEM under top", "9: a second rule for ITEM (the first is on line 6)"},
        {"element OTHER\nrule OTHER under nowhere", "10: parent \"nowhere\" is not an element name of this family"},
        {"element OTHER", "9: element OTHER has no parent rule (\"rule OTHER under ...\")"},
        {"element OTHER other|another\n    child ITEM 0,1\nrule OTHER under top",
         "10: OTHER accepts child ITEM, but no rule puts it under other or another\n"
         "11: the rule puts OTHER under top, but TOP has no \"child OTHER\" line"},
        {"names others other|another\nelement OTHER @others\n    child ITEM 0,1\nrule OTHER under top",
         "11: OTHER accepts child ITEM, but no rule puts it under other or another\n"
         "12: the rule puts OTHER under top, but TOP has no \"child OTHER\" line"},
        {"    child SUB 0,1\nnames tops top\nnames above @tops\nelement SUB\nrule SUB under @above|top",
         "13: parent \"top\" is named twice in the rule"},
        {"list bad A|b-c", "9: value \"b-c\" of list bad is not a name of letters, digits and \"_\"\n"
                           "9: list bad is not used"},
    };
    const CASE whole_cases[] = {
        {"family t\nroot TOP\n    attr a STRING MUST empty\nelement TOP",
         "3: \"attr\" belongs to an element: put it after an \"element\" line"},
        {"root TOP\nelement TOP", "1: the \"family t\" line is missing"},
        {"family t\nelement TOP", "1: the \"root <CLASS>\" line is missing\n"
                                  "2: element TOP has no parent rule (\"rule TOP under ...\")"},
        {"family t\nroot TOP", "2: root TOP is not described"},
    };
    TEMP_DIR dir;
    std::vector<CASE> all;
    for (const CASE& c : cases)
        all.push_back({BASE + c.text, c.errors});
    all.insert(all.end(), std::begin(whole_cases), std::end(whole_cases));
    for (const CASE& c : all) {
        SCOPED_TRACE(c.text);
        write_file(dir.file("d.desc"), c.text + "\n");
        RUN_RESULT result = run_xmlgen(dir.file("d.desc") + " " + dir.file("out") + " t");
        std::string expected;
        for (const std::string& line : PGM_COMMON::split_string(c.errors, "\n", false, false, DWORD(-1), {}, "",
                                                                false))
            expected += dir.file("d.desc") + ":" + line.substr(0, line.find(':')) + ": error:" +
                        line.substr(line.find(':') + 1) + "\n";
        EXPECT_EQ(1, result.exit_code);
        EXPECT_EQ(expected, result.output);
    }
    // Nothing is written after an error; the base itself is good.
    EXPECT_NE(0, run_command("test -e " + dir.file("out")).exit_code);
    write_file(dir.file("d.desc"), BASE);
    EXPECT_EQ(0, run_xmlgen(dir.file("d.desc") + " " + dir.file("out") + " t").exit_code);
    EXPECT_EQ(0, run_command("test -s " + dir.file("out/pgm_common_xml_t.xsd")).exit_code);
    // The family asked for must be the described one, and a lower-case name.
    RUN_RESULT other = run_xmlgen(dir.file("d.desc") + " " + dir.file("out") + " u");
    EXPECT_EQ(1, other.exit_code);
    EXPECT_EQ(dir.file("d.desc") + ":1: error: the description is of family \"t\" but \"u\" was asked for\n",
              other.output);
    struct RUN {
        std::string arguments;
        int exit_code;
        std::string output;
    };
    const RUN runs[] = {
        {"", 2, "usage: pgm_xmlgen <description> <output folder> <family>\n"},
        {dir.file("d.desc") + " " + dir.file("out") + " T", 2, "pgm_xmlgen: the family \"T\" is not a lower-case name\n"},
        {dir.file("none.desc") + " " + dir.file("out") + " t", 1,
         "pgm_xmlgen: cannot read " + dir.file("none.desc") + ": No such file or directory\n"},
        {dir.path() + " " + dir.file("out") + " t", 1, "pgm_xmlgen: cannot read " + dir.path() + "\n"},
        {dir.file("d.desc") + " " + dir.file("d.desc") + " t", 1,
         "pgm_xmlgen: cannot create " + dir.file("d.desc") + ": Not a directory\n"},
    };
    for (const RUN& run : runs) {
        RUN_RESULT result = run_xmlgen(run.arguments);
        EXPECT_EQ(run.exit_code, result.exit_code) << run.arguments;
        EXPECT_EQ(run.output, result.output) << run.arguments;
    }
}

// The tiny family's generated files, byte for byte; its schema is one that
// xmllint reads and applies.
TEST(Xmlgen, TinyFamilyGivesTheExpectedFiles)
{
    TEMP_DIR dir;
    ASSERT_EQ(0, run_xmlgen(DATA + "tiny.desc " + dir.path() + " tiny").exit_code);
    const bool regenerate = std::getenv("PGM_XMLGEN_REGENERATE") != nullptr;
    const std::pair<const char*, const char*> files[] = {{"pgm_common_xml_tiny_auto_export.h", "tiny_auto_export.h"},
                                                         {"pgm_common_xml_tiny_auto.cpp", "tiny_auto.cpp"},
                                                         {"pgm_common_xml_tiny.xsd", "tiny.xsd"},
                                                         {"pgm_common_xml_tiny_auto_table.inc", "tiny_auto_table.inc"}};
    for (const auto& file : files) {
        SCOPED_TRACE(file.second);
        const std::string generated = read_file(dir.file(file.first));
        if (regenerate)
            write_file(DATA + file.second, generated);
        EXPECT_EQ(read_file(DATA + file.second), generated);
    }
    const std::pair<const char*, bool> documents[] = {
        {"<box size=\"1 &lt;&lt; 2\"><thing colour=\"BLUE\">x</thing><lid shade=\"RED\" code=\"0a1B\"><note/></lid>"
         "<item weight=\"\">y</item></box>",
         true},
        {"<box size=\"1\"><lid shade=\"RED\" code=\"0a1\"/></box>", false},
        {"<box size=\"1\"><thing colour=\"PINK\">x</thing></box>", false},
        {"<box size=\"1\"><note>maybe</note></box>", false},
        {"<box size=\"1\"><lid shade=\"RED\"><item>x</item></lid></box>", false},
    };
    for (const auto& document : documents) {
        SCOPED_TRACE(document.first);
        write_file(dir.file("box.xml"), document.first);
        RUN_RESULT result =
            run_command(std::string(PGM_XMLLINT) + " --noout --schema " + DATA + "tiny.xsd " + dir.file("box.xml"));
        EXPECT_EQ(document.second, result.exit_code == 0) << result.output;
    }
}
