// The generated classes of the serial-flash and SD/MMC device databases and
// of the fuse database: defaults, the child counts and parent rules the
// loader enforces, and values as read.
#include "test_support.h"

#include "h/pgm_common_xml_fuse_db_auto_export.h"
#include "h/pgm_common_xml_gfpdb_qspi_auto_export.h"
#include "h/pgm_common_xml_gfpdb_sdmmc_auto_export.h"

namespace {

typedef PGM_COMMON_XML_ELEMENT ELEMENT;

const PGM_COMMON_XML_FILE_ENUM QSPI = PGM_COMMON_XML_FILE_GFPDB_QSPI;
const PGM_COMMON_XML_FILE_ENUM SDMMC = PGM_COMMON_XML_FILE_GFPDB_SDMMC;
const PGM_COMMON_XML_FILE_ENUM FUSE_DB = PGM_COMMON_XML_FILE_FUSE_DB;

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

// The upper-case name of an element written as "<name>..." or "<name ...".
std::string kind_of(const std::string& element)
{
    return upper(element.substr(1, element.find_first_of(" />") - 1));
}

const char* const FUSE_TYPES = "BOOL|HEX|DECIMAL|CANCEL_ID|STARTUP_DELAY|PUBKEY_SIZE|QUAD_BOOL|RMA_COUNTER|FLEX_BOOL|"
                               "PTS_COUNTER|PTS_COUNTER_BASE|SVN_COUNTER|USER_CRC|DIS_JTAG|SECURE_CLOCK|AES_UPDATE|"
                               "FPGA_ZERORIZE|HPS_ZERORIZE|DIS_VIR_EFUSE|DIS_HPS_DEBUG|DIS_EFUSE_AES|DIS_BBRAM_AES|"
                               "DIS_PUF_AES|DIS_PUF_ENROLL|FW_COSIGN|USER_FUSES";
const char* const ACTION_TYPES = "WRITE_REG|READ_REG|WRITE_DATA|READ_DATA|ERASE|CUSTOM";

} // namespace

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
    // Data and the expected data may be empty, the other action texts not.
    for (const std::string parameter : {"<data/>", "<expected_data_mask/>", "<command/>", "<delay unit=\"ms\"/>"}) {
        const std::string kind = kind_of(parameter);
        bool optional = kind == "DATA" || kind == "EXPECTED_DATA_MASK";
        cases.push_back({QSPI, with_action("<action type=\"READ_REG\">" + parameter + "</action>"),
                         optional ? "" : "Element " + kind + " must have value"});
    }
    for (const CASE& c : cases)
        expect_load(c.kind, c.text, c.error.empty() ? "" : "job.xml:1: " + c.error);
}

TEST(XmlFlashDbFile, Values)
{
    XML_TREE tree = load_xml_text(FUSE_DB, "<fuse_db version=\"7\"><fuses bank=\"4\">"
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

    tree = load_xml_text(QSPI, with_action("<action type=\"WRITE_DATA\"><data/><expected_data></expected_data>"
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

    tree = load_xml_text(SDMMC, "<sdmmc_flash version=\"3\"><flash><device_info><device_name>e</device_name>"
                       "<device_density>any text</device_density><device_io_voltage>3V3</device_io_voltage>"
                       "</device_info></flash></sdmmc_flash>");
    auto* sdmmc = dynamic_cast<PGM_COMMON_XML_GFPDB_SDMMC_SDMMC_FLASH*>(tree.get());
    ASSERT_NE(nullptr, sdmmc);
    EXPECT_EQ(3u, sdmmc->version);
    EXPECT_EQ("any text", sdmmc->flash.at(0)->device_info.at(0)->device_density.at(0)->value);
    EXPECT_EQ("3V3", sdmmc->flash.at(0)->device_info.at(0)->device_io_voltage.at(0)->value);
}
