// The generated classes of the serial-flash and SD/MMC device databases and
// of the fuse database: what every class binds, the child counts and parent
// rules the loader enforces, and the example files read, written and read
// back.
#include "test_support.h"

#include "h/pgm_common_xml_fuse_db_auto_export.h"
#include "h/pgm_common_xml_gfpdb_qspi_auto_export.h"
#include "h/pgm_common_xml_gfpdb_sdmmc_auto_export.h"
#include "pgm/h/pgm_common_xml_export.h"

#include <cctype>
#include <functional>
#include <map>
#include <set>
#include <sstream>

namespace {

typedef PGM_COMMON_XML_ELEMENT ELEMENT;
typedef std::unique_ptr<ELEMENT> TREE;

const PGM_COMMON_XML_FILE_ENUM QSPI = PGM_COMMON_XML_FILE_GFPDB_QSPI;
const PGM_COMMON_XML_FILE_ENUM SDMMC = PGM_COMMON_XML_FILE_GFPDB_SDMMC;
const PGM_COMMON_XML_FILE_ENUM FUSE_DB = PGM_COMMON_XML_FILE_FUSE_DB;

TREE parse(PGM_COMMON_XML_FILE_ENUM kind, const std::string& file)
{
    return TREE(static_cast<ELEMENT*>(PGM_COMMON_XML::parse_xml(kind, file, "", false, "", "", "")));
}

// Loads text as the file job.xml of a fresh folder.
TREE load(PGM_COMMON_XML_FILE_ENUM kind, const std::string& text)
{
    TEMP_DIR dir;
    write_file(dir.file("job.xml"), text + "\n");
    return parse(kind, dir.file("job.xml"));
}

std::vector<std::string> words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> result;
    for (std::string word; in >> word;)
        result.push_back(word);
    return result;
}

std::string tag(const std::string& name, const std::string& body)
{
    return "<" + name + ">" + body + "</" + name + ">";
}

const size_t ALL = size_t(-1);

// A container's children, each a whole element, with one left out or one
// given twice.
std::string children(const std::vector<std::string>& parts, size_t drop = ALL, size_t twice = ALL)
{
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i)
        text += i == drop ? "" : i == twice ? parts[i] + parts[i] : parts[i];
    return text;
}

// ---- The serial flash database ----

const std::vector<std::string> PHASES = {"<initialization/>", "<program/>", "<erase/>",
                                         "<verify_blankcheck_examine/>", "<termination/>"};
const std::vector<std::string> DEVICE_INFO = {
    "<total_device_die>1</total_device_die>", "<dummy_clock_cycle_x4>6</dummy_clock_cycle_x4>",
    "<prog_flow_template>t</prog_flow_template>", "<device_name>n</device_name>",
    "<dummy_clock_cycle>8</dummy_clock_cycle>", "<device_id>0x20</device_id>",
    "<device_io_voltage>1.8V</device_io_voltage>", "<device_density>1Gb</device_density>"};
const std::vector<std::string> ACTION_CHILDREN = {
    "<expected_data_mask>1</expected_data_mask>", "<expected_data>1</expected_data>", "<name>n</name>",
    "<data>00</data>", "<data_length>1</data_length>", "<direction>in</direction>",
    "<attempt_count>3</attempt_count>", "<erase_size>4096</erase_size>", "<delay unit=\"ms\">1</delay>",
    "<command>0x06</command>", "<page_size>256</page_size>", "<address>0</address>",
    "<addressing_mode>4</addressing_mode>", "<act_dummy_clock_cycle>8</act_dummy_clock_cycle>",
    "<bus_width>x4</bus_width>", "<description>d</description>"};

std::string flow(const std::string& sdm = children(PHASES), const std::string& sfl = children(PHASES))
{
    return tag("programming_flow", tag("sdm", sdm) + tag("sfl", sfl));
}
std::string makers(size_t drop = ALL, size_t twice = ALL)
{
    return children({tag("cypress", flow()), tag("micron", flow()), tag("macronix", flow()), tag("winbond", flow())},
                    drop, twice);
}
std::string flash(const std::string& info = children(DEVICE_INFO))
{
    return tag("flash", tag("device_info", info) + flow());
}
std::string qspi(const std::string& body) { return "<qspi_flash version=\"1\">" + body + "</qspi_flash>"; }
// A flash whose sdm initialization holds the one action given.
std::string with_action(const std::string& action)
{
    return qspi(tag("flash", tag("device_info", children(DEVICE_INFO)) +
                                 flow("<initialization>" + action + "</initialization>" + children(PHASES, 0))));
}

// Loads text and expects it to load, or to fail with error when one is given.
void expect_load(PGM_COMMON_XML_FILE_ENUM kind, const std::string& text, const std::string& expected)
{
    SCOPED_TRACE(text);
    if (expected.empty())
        EXPECT_NO_THROW(load(kind, text));
    else
        EXPECT_INTERNAL_ERROR(load(kind, text), expected);
}

std::string count_error(const std::string& element, const std::string& child, const std::string& range, int found)
{
    return "Element " + element + " has invalid " + child + " child count, expected invalid range is \"" + range +
           "\" but found " + std::to_string(found);
}

// The upper-case name of an element written as "<name>..." or "<name ...".
std::string kind_of(const std::string& element)
{
    std::string name = element.substr(1, element.find_first_of(" />") - 1);
    for (char& c : name)
        c = char(toupper(c));
    return name;
}

// ---- Whole trees as text ----

// Every element of a tree with the strings of its attributes and its text.
std::string strings_of(ELEMENT* e, const std::string& indent = "")
{
    std::string text = indent + name_of(e->info.sub_class_type);
    for (const PGM_COMMON_XML_ATTRIBUTE_INFO& a : e->attribute_info)
        text += " " + a.name + "=\"" + a.string + "\"";
    text += " text=\"" + e->info.string + "\"\n";
    for (ELEMENT* child : e->get_childs())
        text += strings_of(child, indent + "  ");
    return text;
}

const char* const TYPE_WORDS[] = {"NONE",     "BOOL",     "PGM_XML_BOOL", "INTEGER", "DWORD", "STRING",
                                  "CPP_STRING", "HEX_DATA", "STDHEX_DATA",  "ENUM",    "IGNORE"};
const char* const EXIST_WORDS[] = {"MUST", "OPTIONAL", "MUST_NOT"};

std::string rule_text(BYTE type, BYTE exist, const std::string& default_string, const std::string& enum_string)
{
    std::string text = std::string(TYPE_WORDS[type]) + " " + EXIST_WORDS[exist] + " \"" + default_string + "\"";
    return enum_string.empty() ? text : text + " " + enum_string;
}

// A class as its text rule and its own attributes, one per line.
std::string description_of(const ELEMENT& e)
{
    std::string text = "text " + rule_text(e.info.type, e.info.exist, e.info.default_string, e.info.enum_string);
    for (size_t i = 3; i < e.attribute_info.size(); ++i) {
        const PGM_COMMON_XML_ATTRIBUTE_INFO& a = e.attribute_info[i];
        text += "\n" + a.name + " " + rule_text(a.type, a.exist, a.default_string, a.enum_string);
    }
    return text;
}

const char* const FUSE_TYPES = "BOOL|HEX|DECIMAL|CANCEL_ID|STARTUP_DELAY|PUBKEY_SIZE|QUAD_BOOL|RMA_COUNTER|FLEX_BOOL|"
                               "PTS_COUNTER|PTS_COUNTER_BASE|SVN_COUNTER|USER_CRC|DIS_JTAG|SECURE_CLOCK|AES_UPDATE|"
                               "FPGA_ZERORIZE|HPS_ZERORIZE|DIS_VIR_EFUSE|DIS_HPS_DEBUG|DIS_EFUSE_AES|DIS_BBRAM_AES|"
                               "DIS_PUF_AES|DIS_PUF_ENROLL|FW_COSIGN|USER_FUSES";
const char* const ACTION_TYPES = "WRITE_REG|READ_REG|WRITE_DATA|READ_DATA|ERASE|CUSTOM";

} // namespace

TEST(XmlFlashDbClasses, TextAndAttributes)
{
    const std::string none = "text NONE MUST_NOT \"\"", string = "text STRING MUST \"\"";
    const std::string optional = "text STRING OPTIONAL \"\"", dword = "text DWORD MUST \"0\"";
    struct FAMILY {
        PGM_COMMON_XML_FILE_ENUM kind;
        const char* source;
        PGM_COMMON_XML_ENUM root;
        std::vector<std::pair<std::string, std::string>> groups; // class types -> their text rule
        std::map<std::string, std::string> attributes;           // class type -> its own attribute lines
    };
    const FAMILY families[] = {
        {QSPI,
         "h/pgm_common_xml_gfpdb_qspi_auto",
         PGM_COMMON_XML_ENUM_QSPI_FLASH,
         {{"QSPI_FLASH GOLDEN_TEMPLATE CYPRESS MICRON MACRONIX WINBOND FLASH USER_TEMPLATE DEVICE_INFO "
           "PROGRAMMING_FLOW SDM SFL INITIALIZATION PROGRAM ERASE VERIFY_BLANKCHECK_EXAMINE TERMINATION ACTION",
           none},
          {"TEMPLATE_NAME PROG_FLOW_TEMPLATE DEVICE_NAME DEVICE_ID DEVICE_IO_VOLTAGE DEVICE_DENSITY ADDRESS NAME "
           "DATA_LENGTH DIRECTION COMMAND BUS_WIDTH DESCRIPTION",
           string},
          {"DATA EXPECTED_DATA_MASK EXPECTED_DATA", optional},
          {"TOTAL_DEVICE_DIE DUMMY_CLOCK_CYCLE_X4 DUMMY_CLOCK_CYCLE ATTEMPT_COUNT ERASE_SIZE DELAY PAGE_SIZE "
           "ADDRESSING_MODE ACT_DUMMY_CLOCK_CYCLE",
           dword}},
         {{"QSPI_FLASH", "version DWORD MUST \"1\""},
          {"ACTION", std::string("type ENUM MUST \"_INVALID__\" ") + ACTION_TYPES},
          {"DELAY", "unit STRING MUST \"us\""}}},
        {SDMMC,
         "h/pgm_common_xml_gfpdb_sdmmc_auto",
         PGM_COMMON_XML_ENUM_SDMMC_FLASH,
         {{"SDMMC_FLASH FLASH DEVICE_INFO", none}, {"DEVICE_NAME DEVICE_IO_VOLTAGE DEVICE_DENSITY", string}},
         {{"SDMMC_FLASH", "version DWORD MUST \"1\""}}},
        {FUSE_DB,
         "h/pgm_common_xml_fuse_db_auto",
         PGM_COMMON_XML_ENUM_FUSE_DB,
         {{"FUSE_DB FUSES FUSE", none}},
         {{"FUSE_DB", "version DWORD MUST \"0\""},
          {"FUSES", "bank DWORD MUST \"0\""},
          {"FUSE", std::string("read_only BOOL OPTIONAL \"true\"\n"
                               "accept_hex BOOL OPTIONAL \"false\"\n"
                               "write_ini_ctrl BOOL OPTIONAL \"false\"\n"
                               "type ENUM MUST \"HEX\" ") +
                       FUSE_TYPES +
                       "\n"
                       "bit_size DWORD MUST \"0\"\n"
                       "internal_name STRING MUST \"\"\n"
                       "hidden BOOL OPTIONAL \"true\"\n"
                       "user_name STRING OPTIONAL \"\"\n"
                       "col DWORD MUST \"0\"\n"
                       "row DWORD MUST \"0\""}}},
    };
    for (const FAMILY& f : families) {
        const PGM_COMMON_XML_FAMILY* family = PGM_COMMON_XML::get_family(f.kind);
        ASSERT_NE(nullptr, family);
        EXPECT_STREQ(f.source, family->source);
        EXPECT_EQ(f.root, family->root_type);
        std::map<std::string, std::string> expected, found;
        for (const auto& group : f.groups) {
            for (const std::string& kind : words(group.first)) {
                auto attributes = f.attributes.find(kind);
                expected[kind] = group.second + (attributes == f.attributes.end() ? "" : "\n" + attributes->second);
            }
        }
        std::vector<std::unique_ptr<ELEMENT>> objects = every_class(*family);
        EXPECT_EQ(f.root, objects.at(0)->info.class_type);
        for (const std::unique_ptr<ELEMENT>& e : objects) {
            EXPECT_EQ(e->info.class_type, e->info.sub_class_type);
            EXPECT_TRUE(found.emplace(name_of(e->info.class_type), description_of(*e)).second)
                << name_of(e->info.class_type) << " has two parent rules";
        }
        EXPECT_EQ(expected, found);
    }
}

TEST(XmlFlashDbClasses, Defaults)
{
    PGM_COMMON_XML_FUSE_DB_FUSE fuse;
    EXPECT_TRUE(fuse.read_only);
    EXPECT_TRUE(fuse.hidden);
    EXPECT_FALSE(fuse.accept_hex);
    EXPECT_FALSE(fuse.write_ini_ctrl);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_HEX, fuse.type);
    EXPECT_EQ("", fuse.user_name);
    EXPECT_EQ(0u, fuse.bit_size + fuse.col + fuse.row);
    EXPECT_EQ(0u, PGM_COMMON_XML_FUSE_DB_FUSE_DB().version);
    EXPECT_EQ(0u, PGM_COMMON_XML_FUSE_DB_FUSES().bank);
    EXPECT_EQ(1u, PGM_COMMON_XML_GFPDB_QSPI_QSPI_FLASH().version);
    EXPECT_EQ(1u, PGM_COMMON_XML_GFPDB_SDMMC_SDMMC_FLASH().version);
    EXPECT_EQ(PGM_COMMON_XML_ENUM__INVALID__, PGM_COMMON_XML_GFPDB_QSPI_ACTION().type);
    PGM_COMMON_XML_GFPDB_QSPI_DELAY delay;
    EXPECT_EQ("us", delay.unit);
    EXPECT_EQ(0u, delay.value);
}

TEST(XmlFlashDbFile, SerialFlashCounts)
{
    struct CASE {
        std::string name, text, error; // error empty: loads
    };
    std::vector<CASE> cases = {
        {"no flash, no template", qspi(""), ""},
        {"any number of flash and user templates, empty phases",
         qspi(tag("golden_template", makers()) + flash() + flash() +
              children({tag("user_template", tag("template_name", "a") + flow())}, ALL, 0)),
         ""},
        {"two golden templates", qspi(children({tag("golden_template", makers())}, ALL, 0)),
         count_error("QSPI_FLASH", "GOLDEN_TEMPLATE", "0, 1", 2)},
        {"programming_flow with sdm only",
         qspi(tag("flash", tag("device_info", children(DEVICE_INFO)) +
                               tag("programming_flow", tag("sdm", children(PHASES))))),
         count_error("PROGRAMMING_FLOW", "SFL", "1", 0)},
        {"programming_flow with two sfl",
         qspi(tag("flash", tag("device_info", children(DEVICE_INFO)) +
                               tag("programming_flow", children({tag("sdm", children(PHASES)),
                                                                 tag("sfl", children(PHASES))}, ALL, 1)))),
         count_error("PROGRAMMING_FLOW", "SFL", "1", 2)},
        {"flash without device_info and flow", qspi("<flash/>"), count_error("FLASH", "DEVICE_INFO", "1", 0)},
        {"flash without flow", qspi(tag("flash", tag("device_info", children(DEVICE_INFO)))),
         count_error("FLASH", "PROGRAMMING_FLOW", "1", 0)},
        {"user template without name", qspi(tag("user_template", flow())),
         count_error("USER_TEMPLATE", "TEMPLATE_NAME", "1", 0)},
        {"user template without flow", qspi(tag("user_template", tag("template_name", "a"))),
         count_error("USER_TEMPLATE", "PROGRAMMING_FLOW", "1", 0)},
        {"maker without flow", qspi(tag("golden_template", "<cypress/><micron/><macronix/><winbond/>")),
         count_error("CYPRESS", "PROGRAMMING_FLOW", "1", 0)},
        {"empty golden template", qspi("<golden_template/>"), count_error("GOLDEN_TEMPLATE", "CYPRESS", "1", 0)},
        {"empty device_info", qspi(flash("")), count_error("DEVICE_INFO", "TOTAL_DEVICE_DIE", "1", 0)},
        {"empty sdm", qspi(tag("flash", tag("device_info", children(DEVICE_INFO)) + flow(""))),
         count_error("SDM", "TERMINATION", "1", 0)},
        {"one action of each kind, one of every parameter",
         with_action("<action type=\"WRITE_REG\">" + children(ACTION_CHILDREN) + "</action>" +
                     "<action type=\"CUSTOM\"/><action type=\"READ_DATA\"/>"),
         ""},
        {"every parameter twice", with_action("<action type=\"ERASE\">" + children(ACTION_CHILDREN) +
                                              children(ACTION_CHILDREN) + "</action>"),
         count_error("ACTION", "EXPECTED_DATA_MASK", "0, 1", 2)},
    };
    // Each child a container needs exactly once, left out and given twice;
    // the action parameters given twice.
    const std::string makers_list[] = {"<cypress>", "<micron>", "<macronix>", "<winbond>"};
    for (size_t i = 0; i < 4; ++i) {
        for (int twice = 0; twice < 2; ++twice)
            cases.push_back({"maker " + makers_list[i],
                             qspi(tag("golden_template", twice ? makers(ALL, i) : makers(i))),
                             count_error("GOLDEN_TEMPLATE", kind_of(makers_list[i]), "1", twice * 2)});
    }
    for (size_t i = 0; i < DEVICE_INFO.size(); ++i) {
        for (int twice = 0; twice < 2; ++twice)
            cases.push_back({DEVICE_INFO[i],
                             qspi(flash(twice ? children(DEVICE_INFO, ALL, i) : children(DEVICE_INFO, i))),
                             count_error("DEVICE_INFO", kind_of(DEVICE_INFO[i]), "1", twice * 2)});
    }
    for (size_t i = 0; i < PHASES.size(); ++i) {
        for (int twice = 0; twice < 2; ++twice) {
            std::string sfl = twice ? children(PHASES, ALL, i) : children(PHASES, i);
            cases.push_back({"sfl " + PHASES[i], qspi(tag("flash", tag("device_info", children(DEVICE_INFO)) +
                                                                       flow(children(PHASES), sfl))),
                             count_error("SFL", kind_of(PHASES[i]), "1", twice * 2)});
        }
    }
    for (size_t i = 0; i < ACTION_CHILDREN.size(); ++i)
        cases.push_back({ACTION_CHILDREN[i],
                         with_action("<action type=\"READ_REG\">" + children(ACTION_CHILDREN, ALL, i) + "</action>"),
                         count_error("ACTION", kind_of(ACTION_CHILDREN[i]), "0, 1", 2)});
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        expect_load(QSPI, c.text, c.error);
    }
}

TEST(XmlFlashDbFile, SdmmcAndFuseCounts)
{
    const std::vector<std::string> info = {"<device_io_voltage>3.3V</device_io_voltage>",
                                           "<device_density>8GB</device_density>", "<device_name>e</device_name>"};
    auto sdmmc = [](const std::string& body) { return "<sdmmc_flash version=\"1\">" + body + "</sdmmc_flash>"; };
    auto fuses = [](const std::string& body) { return "<fuse_db version=\"1\">" + body + "</fuse_db>"; };
    const std::string fuse = "<fuse type=\"BOOL\" bit_size=\"1\" internal_name=\"f\" col=\"1\" row=\"2\"/>";
    struct CASE {
        PGM_COMMON_XML_FILE_ENUM kind;
        std::string text, error; // error empty: loads
    };
    std::vector<CASE> cases = {
        {SDMMC, sdmmc(""), ""},
        {SDMMC, sdmmc(children({tag("flash", tag("device_info", children(info)))}, ALL, 0)), ""},
        {SDMMC, sdmmc("<flash/>"), count_error("FLASH", "DEVICE_INFO", "1", 0)},
        {SDMMC, sdmmc("<flash><device_info/></flash>"), count_error("DEVICE_INFO", "DEVICE_IO_VOLTAGE", "1", 0)},
        {FUSE_DB, fuses(""), count_error("FUSE_DB", "FUSES", "infinity", 0)},
        {FUSE_DB, fuses("<fuses bank=\"1\"/>"), count_error("FUSES", "FUSE", "infinity", 0)},
        {FUSE_DB, fuses("<fuses bank=\"1\">" + fuse + "</fuses><fuses bank=\"2\"/>"),
         count_error("FUSES", "FUSE", "infinity", 0)},
        {FUSE_DB, fuses("<fuses bank=\"1\">" + fuse + fuse + "</fuses><fuses bank=\"1\">" + fuse + "</fuses>"), ""},
    };
    for (size_t i = 0; i < info.size(); ++i) {
        for (int twice = 0; twice < 2; ++twice) {
            const std::string body = twice ? children(info, ALL, i) : children(info, i);
            cases.push_back({SDMMC, sdmmc(tag("flash", tag("device_info", body))),
                             count_error("DEVICE_INFO", kind_of(info[i]), "1", twice * 2)});
        }
    }
    for (const CASE& c : cases)
        expect_load(c.kind, c.text, c.error);
}

TEST(XmlFlashDbFile, ElementAndAttributeRules)
{
    const std::string fuse_start = "<fuse_db version=\"1\"><fuses bank=\"0\">", fuse_end = "</fuses></fuse_db>";
    const std::string sdmmc_info = "<sdmmc_flash version=\"1\"><flash><device_info><device_io_voltage>v"
                                   "</device_io_voltage><device_density>d</device_density>";
    const std::string sdmmc_end = "</device_info></flash></sdmmc_flash>";
    const std::string must_attributes[] = {"type=\"HEX\"", "bit_size=\"8\"", "internal_name=\"f\"", "col=\"1\"",
                                           "row=\"2\""};
    struct CASE {
        PGM_COMMON_XML_FILE_ENUM kind;
        std::string text, error; // error empty: loads
    };
    std::vector<CASE> cases = {
        {QSPI, "<qspi_flash/>", "Element QSPI_FLASH attribute version must exist but not"},
        {QSPI, with_action("<action/>"), "Element ACTION attribute type must exist but not"},
        {QSPI, with_action("<action type=\"NOP\"/>"),
         std::string("element action, attribute type: Supported string are \"") + ACTION_TYPES +
             "\", but the input is \"NOP\""},
        {QSPI, with_action("<action type=\"ERASE\" unit=\"us\"/>"),
         "Attribute unit is not supported by element ACTION"},
        {QSPI, with_action("<action type=\"ERASE\"><delay>5</delay></action>"),
         "Element DELAY attribute unit must exist but not"},
        {QSPI, with_action("<action type=\"ERASE\">go</action>"), "Element ACTION must not have value"},
        {QSPI, qspi("<user_template><template_name/></user_template>"), "Element TEMPLATE_NAME must have value"},
        {QSPI, qspi(tag("flash", tag("device_info", children(DEVICE_INFO) + flow()))),
         "Parent element \"device_info\" does not support \"programming_flow\" element"},
        {QSPI, qspi(tag("flash", tag("device_info", children(DEVICE_INFO)) +
                                     flow("<action type=\"ERASE\"/>" + children(PHASES)))),
         "Parent element \"sdm\" does not support \"action\" element"},
        {QSPI, qspi("<flash><template_name>t</template_name></flash>"),
         "Parent element \"flash\" does not support \"template_name\" element"},
        {QSPI, qspi("<fuses bank=\"0\"/>"), "Parent element \"qspi_flash\" does not support \"fuses\" element"},
        {SDMMC, "<sdmmc_flash/>", "Element SDMMC_FLASH attribute version must exist but not"},
        {SDMMC, sdmmc_info + "<device_name/>" + sdmmc_end, "Element DEVICE_NAME must have value"},
        {SDMMC, sdmmc_info + "<device_name>e</device_name><device_id>1</device_id>" + sdmmc_end,
         "Parent element \"device_info\" does not support \"device_id\" element"},
        {SDMMC, "<sdmmc_flash version=\"1\"><flash>" + flow() + "</flash></sdmmc_flash>",
         "Parent element \"flash\" does not support \"programming_flow\" element"},
        {SDMMC, "<sdmmc_flash version=\"1\"><golden_template/></sdmmc_flash>",
         "Parent element \"sdmmc_flash\" does not support \"golden_template\" element"},
        {FUSE_DB, "<fuse_db/>", "Element FUSE_DB attribute version must exist but not"},
        {FUSE_DB, "<fuse_db version=\"1\"><fuses/></fuse_db>", "Element FUSES attribute bank must exist but not"},
        {FUSE_DB,
         fuse_start + "<fuse type=\"INVALID\" bit_size=\"1\" internal_name=\"f\" col=\"1\" row=\"2\"/>" + fuse_end,
         std::string("element fuse, attribute type: Supported string are \"") + FUSE_TYPES +
             "\", but the input is \"INVALID\""},
        {FUSE_DB,
         fuse_start + "<fuse type=\"HEX\" bit_size=\"1\" internal_name=\"f\" col=\"1\" row=\"2\">x</fuse>" + fuse_end,
         "Element FUSE must not have value"},
        {FUSE_DB, "<fuse_db version=\"1\"><fuse type=\"HEX\" bit_size=\"1\" internal_name=\"f\" col=\"1\" row=\"2\"/>"
                  "</fuse_db>",
         "Parent element \"fuse_db\" does not support \"fuse\" element"},
        {FUSE_DB, fuse_start + "<fuse/>" + fuse_end, "Element FUSE attribute type must exist but not"},
    };
    // Each MUST attribute of a fuse left out; each text of a flash device and
    // an action given empty (data and the expected data may be empty).
    for (size_t i = 0; i < 5; ++i) {
        std::string fuse = "<fuse";
        for (size_t j = 0; j < 5; ++j)
            fuse += j == i ? "" : " " + must_attributes[j];
        cases.push_back({FUSE_DB, fuse_start + fuse + "/>" + fuse_end,
                         "Element FUSE attribute " + must_attributes[i].substr(0, must_attributes[i].find('=')) +
                             " must exist but not"});
    }
    for (size_t i = 0; i < DEVICE_INFO.size(); ++i) {
        std::vector<std::string> info = DEVICE_INFO;
        info[i] = "<" + kind_of(info[i]) + "/>";
        for (char& c : info[i])
            c = char(tolower(c));
        cases.push_back({QSPI, qspi(flash(children(info))), "Element " + kind_of(DEVICE_INFO[i]) + " must have value"});
    }
    for (const std::string& parameter : ACTION_CHILDREN) {
        const std::string kind = kind_of(parameter);
        std::string empty = parameter.substr(0, parameter.find('>')) + "/>";
        bool optional = kind == "DATA" || kind == "EXPECTED_DATA" || kind == "EXPECTED_DATA_MASK";
        cases.push_back({QSPI, with_action("<action type=\"READ_REG\">" + empty + "</action>"),
                         optional ? "" : "Element " + kind + " must have value"});
    }
    for (const CASE& c : cases)
        expect_load(c.kind, c.text, c.error.empty() ? "" : "job.xml:1: " + c.error);
}

TEST(XmlFlashDbFile, Values)
{
    TREE tree = load(FUSE_DB, "<fuse_db version=\"7\"><fuses bank=\"4\">"
                              "<fuse type=\"USER_FUSES\" bit_size=\"1 &lt;&lt; 8\" internal_name=\"u\" col=\"3\" "
                              "row=\"0x10\"/></fuses><fuses bank=\"4\"><fuse type=\"BOOL\" bit_size=\"1\" "
                              "internal_name=\"b\" col=\"0\" row=\"0\" read_only=\"OFF\" hidden=\"false\" "
                              "accept_hex=\"ON\" write_ini_ctrl=\"1\" user_name=\"B &amp; b\"/></fuses></fuse_db>");
    auto* db = dynamic_cast<PGM_COMMON_XML_FUSE_DB_FUSE_DB*>(tree.get());
    ASSERT_NE(nullptr, db);
    EXPECT_EQ(7u, db->version);
    ASSERT_EQ(2u, db->fuses.size()); // one bank twice: both kept
    EXPECT_EQ(4u, db->fuses[0]->bank);
    EXPECT_EQ(4u, db->fuses[1]->bank);
    const PGM_COMMON_XML_FUSE_DB_FUSE* plain = db->fuses[0]->fuse.at(0);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_USER_FUSES, plain->type);
    EXPECT_EQ(256u, plain->bit_size);
    EXPECT_EQ(3u, plain->col);
    EXPECT_EQ(16u, plain->row);
    EXPECT_TRUE(plain->read_only && plain->hidden);
    EXPECT_FALSE(plain->accept_hex || plain->write_ini_ctrl);
    EXPECT_EQ("", plain->user_name);
    const PGM_COMMON_XML_FUSE_DB_FUSE* flags = db->fuses[1]->fuse.at(0);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_BOOL, flags->type);
    EXPECT_FALSE(flags->read_only || flags->hidden);
    EXPECT_TRUE(flags->accept_hex && flags->write_ini_ctrl);
    EXPECT_EQ("B & b", flags->user_name);

    tree = load(QSPI, with_action("<action type=\"WRITE_DATA\"><data/><expected_data></expected_data>"
                                  "<delay unit=\"ns\">0x20</delay><address>0x1000</address></action>"
                                  "<action type=\"READ_REG\"/>"));
    auto* qspi_root = dynamic_cast<PGM_COMMON_XML_GFPDB_QSPI_QSPI_FLASH*>(tree.get());
    ASSERT_NE(nullptr, qspi_root);
    const PGM_COMMON_XML_GFPDB_QSPI_FLASH* device = qspi_root->flash.at(0);
    EXPECT_EQ("1.8V", device->device_info.at(0)->device_io_voltage.at(0)->value);
    EXPECT_EQ(6u, device->device_info.at(0)->dummy_clock_cycle_x4.at(0)->value);
    const auto& actions = device->programming_flow.at(0)->sdm.at(0)->initialization.at(0)->action;
    ASSERT_EQ(2u, actions.size());
    EXPECT_EQ(PGM_COMMON_XML_ENUM_WRITE_DATA, actions[0]->type);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_READ_REG, actions[1]->type);
    EXPECT_EQ("", actions[0]->data.at(0)->value);
    EXPECT_EQ("", actions[0]->expected_data.at(0)->value);
    EXPECT_EQ("ns", actions[0]->delay.at(0)->unit);
    EXPECT_EQ(32u, actions[0]->delay.at(0)->value);
    EXPECT_EQ("0x1000", actions[0]->address.at(0)->value);
    EXPECT_TRUE(actions[1]->command.empty());

    tree = load(SDMMC, "<sdmmc_flash version=\"3\"><flash><device_info><device_name>e</device_name>"
                       "<device_density>any text</device_density><device_io_voltage>3V3</device_io_voltage>"
                       "</device_info></flash></sdmmc_flash>");
    auto* sdmmc = dynamic_cast<PGM_COMMON_XML_GFPDB_SDMMC_SDMMC_FLASH*>(tree.get());
    ASSERT_NE(nullptr, sdmmc);
    EXPECT_EQ(3u, sdmmc->version);
    EXPECT_EQ("any text", sdmmc->flash.at(0)->device_info.at(0)->device_density.at(0)->value);
    EXPECT_EQ("3V3", sdmmc->flash.at(0)->device_info.at(0)->device_io_voltage.at(0)->value);
}

TEST(XmlFlashDbFamily, ParentRules)
{
    const std::pair<PGM_COMMON_XML_FILE_ENUM, std::string> cases[] = {
        {QSPI, "qspi_flash: golden_template flash user_template\n"
               "golden_template: cypress micron macronix winbond\n"
               "cypress|micron|macronix|winbond|flash|user_template: programming_flow\n"
               "programming_flow: sdm sfl\n"
               "sdm|sfl: initialization program erase verify_blankcheck_examine termination\n"
               "initialization|program|erase|verify_blankcheck_examine|termination: action\n"
               "action: expected_data_mask expected_data name data data_length direction attempt_count erase_size "
               "delay command page_size address addressing_mode act_dummy_clock_cycle bus_width description\n"
               "flash: device_info\n"
               "device_info: total_device_die dummy_clock_cycle_x4 prog_flow_template device_name dummy_clock_cycle "
               "device_id device_io_voltage device_density\n"
               "user_template: template_name\n"},
        {SDMMC, "sdmmc_flash: flash\n"
                "flash: device_info\n"
                "device_info: device_name device_io_voltage device_density\n"},
        {FUSE_DB, "fuse_db: fuses\n"
                  "fuses: fuse\n"},
    };
    for (const auto& c : cases) {
        const PGM_COMMON_XML_FAMILY& family = *PGM_COMMON_XML::get_family(c.first);
        // The rules in order, those of one parent list on one line.
        std::string text, parents;
        for (const PGM_COMMON_XML_CHILD_RULE& rule : family.rules) {
            if (rule.parents != parents)
                text += (text.empty() ? "" : "\n") + std::string(rule.parents) + ":";
            parents = rule.parents;
            text += " " + std::string(rule.childs);
            std::unique_ptr<ELEMENT> e(rule.create(PGM_COMMON_XML_ENUM_HEX));
            EXPECT_EQ(PGM_COMMON_XML_ENUM_HEX, e->info.sub_class_type) << rule.childs;
        }
        EXPECT_EQ(c.second, text + "\n");
    }
}

TEST(XmlFlashDbFile, ExamplesRoundTrip)
{
    const std::pair<PGM_COMMON_XML_FILE_ENUM, std::string> examples[] = {
        {QSPI, "gfpdb_qspi.xml"}, {SDMMC, "gfpdb_sdmmc.xml"}, {FUSE_DB, "fuse_db.xml"}};
    TEMP_DIR dir;
    for (const auto& example : examples) {
        SCOPED_TRACE(example.second);
        TREE first = parse(example.first, PGM_SOURCE_DIR "/examples/" + example.second);
        // Every class stands in the file, every attribute and text is given a
        // value other than its default.
        std::set<std::string> given, all;
        std::function<void(ELEMENT*)> collect = [&](ELEMENT* e) {
            const std::string kind = name_of(e->info.class_type);
            given.insert(kind);
            for (size_t i = 3; i < e->attribute_info.size(); ++i) {
                const PGM_COMMON_XML_ATTRIBUTE_INFO& a = e->attribute_info[i];
                if (!a.string.empty() && a.string != a.default_string)
                    given.insert(kind + "." + a.name);
            }
            if (e->info.ptr && !e->info.string.empty() && e->info.string != e->info.default_string)
                given.insert(kind + " text");
            for (ELEMENT* child : e->get_childs())
                collect(child);
        };
        collect(first.get());
        for (const std::unique_ptr<ELEMENT>& e : every_class(*PGM_COMMON_XML::get_family(example.first))) {
            const std::string kind = name_of(e->info.class_type);
            all.insert(kind);
            for (size_t i = 3; i < e->attribute_info.size(); ++i)
                all.insert(kind + "." + e->attribute_info[i].name);
            if (e->info.ptr)
                all.insert(kind + " text");
        }
        EXPECT_EQ(all, given);

        const std::string written = dir.file(example.second);
        PGM_COMMON_XML::write_xml(first.get(), written);
        TREE second = parse(example.first, written);
        EXPECT_EQ(strings_of(first.get()), strings_of(second.get()));
    }
}
