// The generated classes of the firmware-bitstream assembler description:
// defaults and allowed values, element texts, sub-class names, child counts,
// the loader's parent rules, and examples/fbgen_assembler.xml read, written
// and read back.
#include "test_support.h"

#include "h/pgm_common_xml_fbgen_assembler_auto_export.h"
#include "pgm/h/pgm_common_xml_export.h"

#include <functional>
#include <map>
#include <set>

namespace {

typedef PGM_COMMON_XML_ELEMENT ELEMENT;
typedef std::unique_ptr<ELEMENT> TREE;

const std::string EXAMPLE = PGM_SOURCE_DIR "/examples/fbgen_assembler.xml";

const PGM_COMMON_XML_FAMILY& family()
{
    return pgm_common_xml_fbgen_assembler_family();
}

TREE parse(const std::string& file)
{
    return TREE(static_cast<ELEMENT*>(
        PGM_COMMON_XML::parse_xml(PGM_COMMON_XML_FILE_FBGEN_ASSEMBLER, file, "", false, "", "", "")));
}

// A new object for the element name, as the loader creates it.
TREE create(const std::string& name)
{
    if (name == "fbgen")
        return TREE(family().create_root());
    for (const PGM_COMMON_XML_CHILD_RULE& rule : family().rules) {
        if (PGM_COMMON_XML_HELPER::match_element_name(name, rule.childs))
            return TREE(rule.create(enum_of(upper(name))));
    }
    ADD_FAILURE() << "no rule creates " << name;
    return TREE(family().create_root());
}

const PGM_COMMON_XML_ATTRIBUTE_INFO& attribute(ELEMENT* e, const std::string& name)
{
    return e->attribute_info.at(e->get_attribute_index(name));
}

// The member of an attribute as text.
std::string value_of(ELEMENT* e, const std::string& name)
{
    return member_text(attribute(e, name).type, attribute(e, name).ptr);
}

// Pieces of files: the text of a fw_file with its one fixed_action around
// more actions, and a bitstream of one io_main_section around items.
std::string fw_file(const std::string& actions)
{
    return "<fw_file type=\"IO\"><fixed_action><firmware_id>1</firmware_id></fixed_action>" + actions + "</fw_file>";
}

std::string io_section(const std::string& items)
{
    return "<bitstream><io_main_section>" + items + "</io_main_section></bitstream>";
}

// Writes <fbgen>body</fbgen> to fb.xml in dir and loads it.
TREE load_body(const TEMP_DIR& dir, const std::string& body)
{
    write_file(dir.file("fb.xml"), "<fbgen>" + body + "</fbgen>\n");
    return parse(dir.file("fb.xml"));
}

// The names of a "|"-list, none for the empty text.
std::vector<std::string> values_of(const std::string& list)
{
    return list.empty() ? std::vector<std::string>() : PGM_COMMON::split_string(list, "|", false, true);
}

std::string repeat(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

} // namespace

TEST(XmlFbgenFamily, ClassesTextsAndRules)
{
    EXPECT_EQ(&family(), PGM_COMMON_XML::get_family(PGM_COMMON_XML_FILE_FBGEN_ASSEMBLER));
    EXPECT_STREQ("h/pgm_common_xml_fbgen_assembler_auto", family().source);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_FBGEN, family().root_type);
    EXPECT_EQ(90u, family().rules.size());
    // The elements with text: its type and default, for an ENUM the allowed values.
    struct TEXT {
        PGM_XML_TYPE type;
        std::string default_string, enum_string;
    };
    const TEXT string_text{PGM_XML_TYPE_STRING, "", ""}, dword_text{PGM_XML_TYPE_DWORD, "0", ""};
    const std::map<std::string, TEXT> texts = {
        {"PMSF_FILE", string_text},      {"SOF_OPERATION", string_text},    {"SOF_FILE", string_text},
        {"DAT_DIRECTORY", string_text},  {"WRITEBACK_FILE", string_text},   {"COMMENT_ACTION", string_text},
        {"HPS_DATA", string_text},       {"ARGUMENT", dword_text},          {"TOTAL_DATA_SIZE", dword_text},
        {"IPC_DATA", dword_text},        {"FIRMWARE_ID", dword_text},       {"FIRMWARE_VERSION", dword_text},
        {"OPERATION", dword_text},       {"DELAY_CYCLES", dword_text},      {"MAX_WAIT_TIME_MS", dword_text},
        {"RAW_DATA", dword_text},        {"INFO_TYPE", dword_text},
        {"DATA_HASH", {PGM_XML_TYPE_STDHEX_DATA, "", ""}},
        {"PIN_STATE", {PGM_XML_TYPE_ENUM, "_INVALID__", "DEASSERT|ASSERT"}},
        {"PIN_ROLE", {PGM_XML_TYPE_ENUM, "_INVALID__", attribute(create("pin").get(), "value").enum_string}},
    };
    size_t attributes = 0, with_text = 0;
    std::vector<TREE> objects = every_class(family());
    ASSERT_EQ(91u, objects.size());
    for (const TREE& e : objects) {
        const std::string kind = name_of(e->info.class_type);
        SCOPED_TRACE(kind);
        auto text = texts.find(kind);
        with_text += text != texts.end();
        const TEXT none{PGM_XML_TYPE_NONE, "", ""};
        const TEXT& expected = text != texts.end() ? text->second : none;
        EXPECT_EQ(expected.type, e->info.type);
        EXPECT_EQ(text != texts.end() ? PGM_XML_EXIST_MUST : PGM_XML_EXIST_MUST_NOT, e->info.exist);
        EXPECT_EQ(expected.default_string, e->info.default_string);
        EXPECT_EQ(expected.enum_string, e->info.enum_string);
        EXPECT_EQ(text != texts.end(), e->info.ptr != NULL);
        attributes += e->attribute_info.size() - 3;
        // Every allowed value is a name-table entry, every member holds its default.
        for (const PGM_COMMON_XML_ATTRIBUTE_INFO& a : e->attribute_info) {
            for (const std::string& value : values_of(a.enum_string))
                EXPECT_NE(PGM_COMMON_XML_ENUM__INVALID__, PGM_COMMON_XML_UTIL::convert_string_to_enum(value, false))
                    << a.name << " " << value;
            if (!a.ptr || a.type == PGM_XML_TYPE_HEX_DATA || a.type == PGM_XML_TYPE_STDHEX_DATA)
                continue;
            const std::string expected_member = a.default_string == "0xCAFEB1C0" ? "3405689280"
                                                : a.default_string == "-1"       ? "4294967295"
                                                                                 : a.default_string;
            EXPECT_EQ(expected_member, member_text(a.type, a.ptr)) << a.name;
        }
    }
    EXPECT_EQ(texts.size(), with_text);
    EXPECT_EQ(299u, attributes);

    // The classes of several element names: the class type stays, the name is the sub-class type.
    const std::map<std::string, int> shared = {
        {"MAIN_SECTION", 10}, {"PARAM_TABLE", 4}, {"DEV_PROV_DATA", 2}, {"DATA", 18}, {"CASTING_ACTION", 2}};
    std::map<std::string, int> found;
    for (const PGM_COMMON_XML_CHILD_RULE& rule : family().rules) {
        for (const std::string& name : values_of(rule.childs)) {
            TREE e = create(name);
            EXPECT_EQ(enum_of(upper(name)), e->info.sub_class_type);
            found[name_of(e->info.class_type)] += e->info.class_type != e->info.sub_class_type;
        }
    }
    for (auto i = found.begin(); i != found.end();)
        i = i->second ? std::next(i) : found.erase(i);
    EXPECT_EQ(shared, found);
}

TEST(XmlFbgenDefaults, Values)
{
    struct CASE {
        const char* element;
        const char* attribute;
        const char* value; // the member as text
    };
    const CASE cases[] = {
        {"settings", "hash", "SHA_256"},
        {"settings", "encryption_update_ratio", "128"},
        {"settings", "swizzle_sof", "ON"},
        {"settings", "sdm_feature", "AUTO"},
        {"settings", "bitstream_format", "SDM"},
        {"settings", "dump_golden", "OFF"},
        {"settings", "gzip_brisol_mode", "tristate"},
        {"settings", "compression", "true"},
        {"settings", "one_cnoc_mode", "false"},
        {"developer", "preroutes", "15"},
        {"developer", "route_buffer_count", "240"},
        {"developer", "optimize_bitstream_action", "true"},
        {"cmf_section", "source", "USER"},
        {"cmf_section", "include_in_bitstream", "true"},
        {"hps_main_section", "hash", "SHA_256"},
        {"hps_main_section", "dump_golden", ""},
        {"hps_main_section", "group_descriptor", "true"},
        {"option_bits", "data", "3405689280"},
        {"option_bits", "message", "UNICAST"},
        {"option_bits", "linear_index", "4294967295"},
        {"rnrssm_param_table", "package_size", "2048"},
        {"iossm_param_table", "interrupt_wait_time", "1000"},
        {"iossm_param_table", "type", "_INVALID__"},
        {"power_table", "version", "1"},
        {"power_table", "volt_stable_delay", "10"},
        {"power_table", "fpga_release_delay", "10"},
        {"power_table", "page_command_payload", "255"},
        {"power_table", "bus_speed_mode", "100KHZ"},
        {"power_table", "mode", "PMBUS_MASTER"},
        {"power_table", "slave_device_type", "OTHER"},
        {"power_table", "vout_unit", "VOLT"},
        {"qspi_table", "clock_polarity", "LOW"},
        {"qspi_table", "clock_phase", "ACTIVE"},
        {"qspi_table", "chip_select_type", "INDIVIDUAL"},
        {"qspi_table", "flash15_map", "0"},
        {"device_settings", "instruction_width", "SINGLE"},
        {"device_settings", "read_addr_width", "QUAD"},
        {"main_descriptor", "signature", "true"},
        {"firmware", "source", "USER"},
        {"pr_firmware", "mode", "ACTIVE_ONLY"},
        {"vrexa_firmware", "source", "USER"},
        {"xcvr", "startup", "AGGRESSIVE_ON"},
        {"cram", "interleave", "tristate"},
        {"cram", "compression", "true"},
        {"cram", "enable_s4", "ON"},
        {"info", "gen_end_frame", "4294967295"},
        {"info", "group_sector_sequence", "4294967295"},
        {"info", "cnoc_dir", "_INVALID__"},
        {"dummy_padding_block", "count", "1"},
        {"dummy_padding_block", "auto_update_comment_index", "true"},
        {"nop", "count", "1"},
        {"eram_abort", "flush_count", "40"},
        {"eram_abort", "delay_cycles", "106"},
        {"eram_abort", "x", "0"},
        {"hex_firmware", "vrexa", "false"},
        {"hex_firmware", "warm_reset", "false"},
        {"hex_firmware", "size", "0"},
        {"hex_firmware", "reverse_last_byte_size", "0"},
        {"command_header", "source", "SDM"},
        {"command_header", "addr_reg", "1"},
        {"command_header", "tlen", "0"},
        {"command_header", "info", "0"},
        {"command_header", "address", "0"},
        {"command_header", "message", "_INVALID__"},
        {"ipc_hdr0", "source", "SDM"},
        {"cnoc_send_action", "iossm_branch", "false"},
        {"cnoc_send_action", "sync_after", "0"},
        {"address", "linear_index", "4294967295"},
        {"flags", "security_permission", "0"},
    };
    for (const CASE& c : cases) {
        TREE e = create(c.element);
        EXPECT_EQ(c.value, value_of(e.get(), c.attribute)) << c.element << " " << c.attribute;
    }
}

TEST(XmlFbgenDefaults, AllowedValueLists)
{
    struct CASE {
        const char* element;
        const char* attribute; // NULL: the element's text
        size_t count;
        const char* last;
    };
    const CASE cases[] = {
        {"pin", "value", 39, "nLOADFACTORY"},
        {"pin_role", NULL, 39, "nLOADFACTORY"},
        {"pin_state", NULL, 2, "ASSERT"},
        {"settings", "two_d_compression", 17, "OFF"},
        {"dpb_main_section", "two_d_compression", 17, "OFF"},
        {"bram", "two_d_compression", 17, "OFF"},
        {"settings", "swizzle_sof", 3, "OFF"},
        {"settings", "sdm_feature", 3, "FULL"},
        {"settings", "enable_s4", 4, "FRAGMENTED"},
        {"esram_bbus", "bitline_opcode", 16, "LUT2_ONE"},
        {"info", "bitline_opcode", 16, "LUT2_ONE"},
        {"info", "vrexa_type", 11, "TILE_VARIANT_K"},
        {"info", "type", 8, "ESRAM"},
        {"command_header", "message", 12, "SEQ_MODE"},
        {"ipc_hdr0", "source", 9, "USER"},
        {"ipc_hdr1", "format", 7, "WRINCINT"},
        {"power_table", "slave_device_type", 6, "OTHER"},
        {"power_table", "mode", 3, "PWM_MASTER"},
        {"cnoc_send_action", "type", 7, "DIB"},
        {"fw_file", "type", 11, "DIB"},
        {"address", "cnoc", 4, "TEST_EAST"},
        {"qspi_table", "flash12_map", 4, "3"},
        {"device_settings", "write_opcode", 0, ""},
        {"option_bits", "message", 2, "MULTICAST"},
        {"pr_firmware", "mode", 3, "LOAD_ALL_IF_ANY_ACTIVE"},
        {"regscan", "pr_mode", 4, "CHECK"},
        {"avmm2", "startup", 4, "OFF"},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(std::string(c.element) + " " + (c.attribute ? c.attribute : "text"));
        TREE e = create(c.element);
        const std::string list = c.attribute ? attribute(e.get(), c.attribute).enum_string : e->info.enum_string;
        EXPECT_EQ(c.count, values_of(list).size());
        if (!c.count)
            continue;
        EXPECT_EQ(c.last, list.substr(list.rfind('|') + 1));
        // The library takes the last value and stores its member.
        if (c.attribute)
            e->write_attribute_string(c.attribute, c.last);
        else
            e->write_string(c.last);
        EXPECT_EQ(c.last, c.attribute ? value_of(e.get(), c.attribute) : member_text(e->info.type, e->info.ptr));
    }
    // The regulator and tile variant names stand where the name table keeps them.
    EXPECT_EQ(PGM_COMMON_XML_ENUM(86), enum_of("REGULATOR_KIND_1"));
    EXPECT_EQ(PGM_COMMON_XML_ENUM(147), enum_of("TILE_VARIANT_K"));
}

TEST(XmlFbgenFile, AttributeAndTextRules)
{
    struct CASE {
        std::string body; // inside <fbgen>, on line 1 of fb.xml
        std::string error;
    };
    const CASE cases[] = {
        {"<bitstream><cmf_section/><io_main_section/></bitstream>",
         "Element CMF_SECTION attribute filepath must exist but not"},
        {io_section("<option_bits linear_index=\"3\"/>"), "attribute_name != (* attribute).name"},
        {io_section("<rnrssm_param_table linear_index=\"3\"/>"), "attribute_name != (* attribute).name"},
        {io_section("<cram><info cnoc_dir=\"WEST\"/></cram>"), "attribute_name != (* attribute).name"},
        {"<ssblock_info name=\"s\" linear_index=\"1\"><sblock_info name=\"b\"><dyn_val name=\"d\"><ob_val "
         "hex_value=\"1\" name=\"o\"/></dyn_val></sblock_info></ssblock_info>",
         "attribute_name != (* attribute).name"},
        {"<fw_file><fixed_action><firmware_id>1</firmware_id></fixed_action></fw_file>",
         "Element FW_FILE attribute type must exist but not"},
        {fw_file("<if_action><nop/></if_action>"), "Element IF_ACTION attribute condition must exist but not"},
        {fw_file("<hex_firmware size=\"4\"/>"), "Element HEX_FIRMWARE attribute filepath must exist but not"},
        {fw_file("<cnoc_send_action><command_header message=\"JTAG\"/></cnoc_send_action>"),
         "Element COMMAND_HEADER attribute format must exist but not"},
        {fw_file("<cnoc_send_action><command_header format=\"RD\"/></cnoc_send_action>"),
         "Element COMMAND_HEADER attribute message must exist but not"},
        {fw_file("<cnoc_send_action><ipc_hdr1 addr_reg=\"1\" tlen=\"2\"/></cnoc_send_action>"),
         "Element IPC_HDR1 attribute format must exist but not"},
        {fw_file("<cnoc_send_action><ipc_hdr0 info=\"1\"/></cnoc_send_action>"),
         "Element IPC_HDR0 attribute message must exist but not"},
        {fw_file("<cnoc_send_action><ipc_hdr3 operation=\"1\" data=\"2\"/></cnoc_send_action>"),
         "Element IPC_HDR3 attribute id must exist but not"},
        {io_section("<main_descriptor><qspi_table clock_polarity=\"LOW\" clock_phase=\"ACTIVE\" flash0_map=\"0\" "
                    "flash_count_minus_one=\"0\"/></main_descriptor>"),
         "Element QSPI_TABLE attribute chip_select_type must exist but not"},
        {"<input_file><sof_file>a.sof</sof_file></input_file>", "Element SOF_FILE attribute label must exist but not"},
        {"<input_file><pmsf_file label=\"a\"/></input_file>", "Element PMSF_FILE must have value"},
        {"<input_file><pmsf_file label=\"_a\">a.pmsf</pmsf_file></input_file>",
         "element pmsf_file, attribute label: string.at(0) != '_' && !(string.at(0) >= '0' && "
         "string.at(0) <= '9')"},
        {fw_file("<config_pin_action><pin_role>nLOADFACTORY</pin_role><pin_state>LOW</pin_state>"
                 "</config_pin_action>"),
         "element pin_state: Supported string are \"DEASSERT|ASSERT\", but the input is \"LOW\""},
        {"<fw_file type=\"ESRAM\"/>", "element fw_file, attribute type: Supported string are "
                                      "\"SECTOR|LSM|CBSSM|AIB|IO|VREXA|VREXA_CAL|VREXA3_SPICO|VREXA3_SERDES|UIB|DIB\", "
                                      "but the input is \"ESRAM\""},
        {fw_file("<cnoc_send_action type=\"ESRAM\"/>"),
         "element cnoc_send_action, attribute type: Supported string are \"SECTOR|LSM|CBSSM|AIB|IO|UIB|DIB\", but the "
         "input is \"ESRAM\""},
        {io_section("<option_bits message=\"BROADCAST\"/>"),
         "element option_bits, attribute message: Supported string are \"UNICAST|MULTICAST\", but the input is "
         "\"BROADCAST\""},
        {"<settings hash=\"SHA_512\"/>",
         "element settings, attribute hash: Supported string are \"SHA_NONE|SHA_256|SHA_384\", but the input is "
         "\"SHA_512\""},
        {"<settings gzip_brisol_mode=\"maybe\"/>",
         "element settings, attribute gzip_brisol_mode: string == \"OFF\" || string == \"0\" || string == \"false\""},
    };
    TEMP_DIR dir;
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_INTERNAL_ERROR(load_body(dir, c.body), "fb.xml:1: " + c.error);
    }
    // Texts and attributes as read: DWORD shifts, hex data in both byte orders, tristate.
    TREE root = load_body(dir, io_section("<verify_hash_action target=\"t\"><data_hash>0A0B0C</data_hash>"
                                          "<total_data_size>1&lt;&lt;12</total_data_size></verify_hash_action>"
                                          "<cram interleave=\"OFF\"/>") +
                                   "<sblock_info name=\"b\"><dyn_val name=\"d\"><ob_val hex_value=\"0A0B0C\" "
                                   "name=\"o\"/></dyn_val></sblock_info>");
    auto* fbgen = static_cast<PGM_COMMON_XML_FBGEN_ASSEMBLER_FBGEN*>(root.get());
    auto* verify = fbgen->bitstream.at(0)->main_section.at(0)->verify_hash_action.at(0);
    EXPECT_EQ("0A0B0C", member_text(PGM_XML_TYPE_STDHEX_DATA, &verify->data_hash.at(0)->value));
    EXPECT_EQ(4096u, verify->total_data_size.at(0)->value);
    EXPECT_EQ("0C0B0A", member_text(PGM_XML_TYPE_HEX_DATA,
                                    &fbgen->sblock_info.at(0)->dyn_val.at(0)->ob_val.at(0)->hex_value));
    auto* cram = fbgen->bitstream.at(0)->main_section.at(0)->data.at(0);
    EXPECT_EQ(0, cram->interleave);
    EXPECT_EQ(2, cram->cnoc4);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_CRAM, static_cast<ELEMENT*>(cram)->info.sub_class_type);
}

TEST(XmlFbgenFile, ChildCounts)
{
    struct CASE {
        std::string body; // inside <fbgen>
        std::string parent, child, range;
        int found;
    };
    const std::string ob = "<ob_val hex_value=\"1\" name=\"o\"/>";
    const std::string pmsf = "<pmsf_file>a.pmsf</pmsf_file>";
    const std::string device = "<device_settings write_data_width=\"QUAD\" addr_bytes=\"3\" write_addr_width=\"QUAD\" "
                               "instruction_width=\"SINGLE\" read_data_width=\"QUAD\" multidie=\"false\" "
                               "cs_deselect_time=\"0\" page_size=\"256\" identification=\"1\" read_dummy_cycles=\"8\" "
                               "read_opcode=\"11\" die_size=\"0\" cs_interval_time=\"0\" erase_size0=\"4096\" "
                               "write_dummy_cycles=\"0\" cs_hold_time=\"0\" cs_setup_time=\"0\" device_size=\"1\" "
                               "erase_opcode0=\"32\" read_addr_width=\"QUAD\" write_opcode=\"2\"/>";
    auto qspi = [](const std::string& devices) {
        return io_section("<main_descriptor><qspi_table clock_polarity=\"LOW\" clock_phase=\"ACTIVE\" "
                          "flash0_map=\"0\" flash_count_minus_one=\"0\" chip_select_type=\"INDIVIDUAL\">" +
                          devices + "</qspi_table></main_descriptor>");
    };
    const CASE cases[] = {
        {"<bitstream/>", "BITSTREAM", "MAIN_SECTION", "1 - 4", 0},
        {"<bitstream>" + repeat("<io_main_section/><hps_main_section/>", 2) + "<dpb_main_section/></bitstream>",
         "BITSTREAM", "MAIN_SECTION", "1 - 4", 5},
        {"<bitstream><cmf_section filepath=\"c\"/><cmf_section filepath=\"d\"/><io_main_section/></bitstream>",
         "BITSTREAM", "CMF_SECTION", "0 - 1", 2},
        {io_section(repeat("<vrexa_firmware filepath=\"v\"/>", 3)), "IO_MAIN_SECTION", "VREXA_FIRMWARE", "0 - 2", 3},
        {"<bitstream><hps_main_section><iossm_firmware/><iossm_firmware/></hps_main_section></bitstream>",
         "HPS_MAIN_SECTION", "IOSSM_FIRMWARE", "0 - 1", 2},
        {io_section("<main_descriptor/><main_descriptor/>"), "IO_MAIN_SECTION", "MAIN_DESCRIPTOR", "0 - 1", 2},
        {"<input_file>" + repeat(pmsf, 3) + "</input_file>", "INPUT_FILE", "PMSF_FILE", "0 - 2", 3},
        {"<input_file><writeback_file>a</writeback_file><writeback_file>b</writeback_file></input_file>",
         "INPUT_FILE", "WRITEBACK_FILE", "0 - 1", 2},
        {qspi(""), "QSPI_TABLE", "DEVICE_SETTINGS", "1 - 4", 0},
        {qspi(repeat(device, 5)), "QSPI_TABLE", "DEVICE_SETTINGS", "1 - 4", 5},
        {io_section("<main_descriptor><pin_table/><pin_table/></main_descriptor>"), "MAIN_DESCRIPTOR", "PIN_TABLE",
         "0 - 1", 2},
        {"<sblock_info name=\"b\"/>", "SBLOCK_INFO", "DYN_VAL", "infinity", 0},
        {"<sblock_info name=\"b\"><dyn_val name=\"d\"/></sblock_info>", "DYN_VAL", "OB_VAL", "infinity", 0},
        {"<ssblock_info name=\"s\"/>", "SSBLOCK_INFO", "SBLOCK_INFO", "infinity", 0},
        {"<settings/><settings/>", "FBGEN", "SETTINGS", "0 - 1", 2},
        {"<developer/><developer/>", "FBGEN", "DEVELOPER", "0 - 1", 2},
        {"<fw_file type=\"IO\"/>", "FW_FILE", "FIXED_ACTION", "1", 0},
        {fw_file("<fixed_action><firmware_id>2</firmware_id></fixed_action>"), "FW_FILE", "FIXED_ACTION", "1", 2},
        {fw_file("<indexsize_action/><indexsize_action/>"), "FW_FILE", "INDEXSIZE_ACTION", "0 - 1", 2},
        // In check order: fixed_action is counted before indexsize_action, flags before firmware_id.
        {"<fw_file type=\"IO\"><indexsize_action/><indexsize_action/></fw_file>", "FW_FILE", "FIXED_ACTION", "1", 0},
        {"<fw_file type=\"IO\"><fixed_action><flags/><flags/></fixed_action></fw_file>", "FIXED_ACTION", "FLAGS",
         "0 - 1", 2},
        {"<fw_file type=\"IO\"><fixed_action/></fw_file>", "FIXED_ACTION", "FIRMWARE_ID", "1", 0},
        {fw_file("<cnoc_send_action><ipc_hdr0 info=\"1\" message=\"JTAG\"/><ipc_hdr0 info=\"2\" message=\"JTAG\"/>"
                 "</cnoc_send_action>"),
         "CNOC_SEND_ACTION", "IPC_HDR0", "0 - 1", 2},
        {fw_file("<config_pin_action><pin_role>NA</pin_role></config_pin_action>"), "CONFIG_PIN_ACTION", "PIN_STATE",
         "1", 0},
        {fw_file("<config_pin_action><pin_state>ASSERT</pin_state></config_pin_action>"), "CONFIG_PIN_ACTION",
         "PIN_ROLE", "1", 0},
        {fw_file("<generic_action/>"), "GENERIC_ACTION", "RAW_DATA", "infinity", 0},
        {fw_file("<operation_action/>"), "OPERATION_ACTION", "OPERATION", "1", 0},
        {fw_file("<cnoc_delay_action/>"), "CNOC_DELAY_ACTION", "DELAY_CYCLES", "1", 0},
        {fw_file("<send_redundancy_action><info_type>1</info_type><info_type>2</info_type></send_redundancy_action>"),
         "SEND_REDUNDANCY_ACTION", "INFO_TYPE", "1", 2},
        {fw_file("<interrupt_wait_action><max_wait_time_ms>1</max_wait_time_ms><max_wait_time_ms>2</max_wait_time_ms>"
                 "</interrupt_wait_action>"),
         "INTERRUPT_WAIT_ACTION", "MAX_WAIT_TIME_MS", "0 - 1", 2},
        {io_section("<verify_hash_action target=\"t\"><total_data_size>1</total_data_size><total_data_size>2"
                    "</total_data_size></verify_hash_action>"),
         "VERIFY_HASH_ACTION", "TOTAL_DATA_SIZE", "0 - 1", 2},
    };
    TEMP_DIR dir;
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_INTERNAL_ERROR(load_body(dir, c.body),
                              "Element " + c.parent + " has invalid " + c.child +
                                  " child count, expected invalid range is \"" + c.range + "\" but found " +
                                  std::to_string(c.found));
    }
    // Empty, at the bounds, and any number where any number is allowed.
    const std::string accepted[] = {
        "",
        "<bitstream><io_main_section/><hps_main_section/><fpga_main_section/><dpb_main_section/></bitstream>",
        "<input_file>" + repeat(pmsf, 2) + repeat("<sof_file label=\"s\">s.sof</sof_file>", 3) + "</input_file>",
        qspi(repeat(device, 4)),
        io_section(repeat("<vrexa_firmware filepath=\"v\"/>", 2) + repeat("<nop/><cram/><flush/>", 3)),
        fw_file(repeat("<hex_firmware filepath=\"h\"/><if_action condition=\"c\"/><if_action_end/>", 3)),
        repeat("<sblock_info name=\"b\"><dyn_val name=\"d\">" + ob + ob + "</dyn_val></sblock_info>", 2),
    };
    for (const std::string& body : accepted)
        EXPECT_NO_THROW(load_body(dir, body)) << body;
}

TEST(XmlFbgenFile, ParentRules)
{
    struct CASE {
        std::string body;   // inside <fbgen>
        std::string parent; // empty: accepted
        std::string child;
    };
    const std::string nop = "<nop/>";
    const CASE cases[] = {
        {io_section("<fuse_filter_action type=\"1\" value=\"2\"/>"), "io_main_section", "fuse_filter_action"},
        {io_section("<hex_firmware filepath=\"h\"/>"), "io_main_section", "hex_firmware"},
        {io_section("<if_action condition=\"c\"/>"), "io_main_section", "if_action"},
        {io_section("<fixed_action/>"), "io_main_section", "fixed_action"},
        {io_section("<indexsize_action/>"), "io_main_section", "indexsize_action"},
        {io_section("<if_action_end/>"), "io_main_section", "if_action_end"},
        {io_section("<cmf_section filepath=\"c\"/>"), "io_main_section", "cmf_section"},
        {io_section("<info/>"), "io_main_section", "info"},
        {io_section("<address/>"), "io_main_section", "address"},
        {io_section("<option_bits><address/></option_bits>"), "option_bits", "address"},
        {io_section("<cram><active start_frame=\"1\" end_frame=\"2\"/></cram>"), "cram", "active"},
        {io_section("<dev_prov_dimk><nop/></dev_prov_dimk>"), "dev_prov_dimk", "nop"},
        {fw_file("<if_action condition=\"c\"><if_action condition=\"d\"/></if_action>"), "if_action", "if_action"},
        {fw_file("<if_action condition=\"c\"><if_action_end/></if_action>"), "if_action", "if_action_end"},
        {fw_file("<if_action condition=\"c\"><hps_download_action/></if_action>"), "if_action",
         "hps_download_action"},
        {fw_file("<if_action condition=\"c\"><fixed_action/></if_action>"), "if_action", "fixed_action"},
        {fw_file("<firmware filepath=\"f\"/>"), "fw_file", "firmware"},
        {fw_file("<cram/>"), "fw_file", "cram"},
        {fw_file("<test_jtag_action command=\"1\"/>"), "fw_file", "test_jtag_action"},
        {fw_file("<config_pin_action><pin/></config_pin_action>"), "config_pin_action", "pin"},
        {"<io_main_section/>", "fbgen", "io_main_section"},
        {"<dyn_val name=\"d\"/>", "fbgen", "dyn_val"},
        {"<ob_val hex_value=\"1\" name=\"o\"/>", "fbgen", "ob_val"},
        {"<pmsf_file>p</pmsf_file>", "fbgen", "pmsf_file"},
        {"<fw_file type=\"IO\"><fw_file type=\"IO\"/></fw_file>", "fw_file", "fw_file"},
        {"<ssblock_info name=\"s\"><dyn_val name=\"d\"/></ssblock_info>", "ssblock_info", "dyn_val"},
        {"<bitstream><main_section/></bitstream>", "bitstream", "main_section"},
        // Accepted: the same elements where the rules put them.
        {fw_file("<if_action condition=\"c\"><hex_firmware filepath=\"h\"/><fuse_filter_action type=\"1\" value=\"2\"/>"
                 "<mcast_filter_action><address/></mcast_filter_action></if_action>"),
         "", ""},
        {io_section("<dev_prov_dimk><test_jtag_action command=\"1\"><argument>3</argument></test_jtag_action>"
                    "</dev_prov_dimk><option_bits><except_address/></option_bits><hps_download_action/>"),
         "", ""},
        {"<ssblock_info name=\"s\"><sblock_info name=\"b\"><dyn_val name=\"d\"><ob_val hex_value=\"1\" name=\"o\"/>"
         "</dyn_val></sblock_info></ssblock_info>",
         "", ""},
    };
    TEMP_DIR dir;
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.body);
        if (c.parent.empty())
            EXPECT_NO_THROW(load_body(dir, c.body));
        else
            EXPECT_INTERNAL_ERROR(load_body(dir, c.body), "fb.xml:1: Parent element \"" + c.parent +
                                                              "\" does not support \"" + c.child + "\" element");
    }
}

TEST(XmlFbgenGroupChild, TypedListsAndRefusals)
{
    // Both main sections land in the one list; the casting elements likewise.
    TEMP_DIR dir;
    TREE root = load_body(dir, "<bitstream><io_main_section><multicast_action/><nop/><mcast_filter_action/>"
                               "<dibssm_param_table/><dev_prov_non_dimk/></io_main_section><hps_main_section/>"
                               "</bitstream>");
    auto* bitstream = static_cast<PGM_COMMON_XML_FBGEN_ASSEMBLER_FBGEN*>(root.get())->bitstream.at(0);
    ASSERT_EQ(2u, bitstream->main_section.size());
    std::vector<std::string> names;
    for (ELEMENT* e : bitstream->main_section) {
        EXPECT_EQ(PGM_COMMON_XML_ENUM_MAIN_SECTION, e->info.class_type);
        names.push_back(name_of(e->info.sub_class_type));
    }
    EXPECT_EQ((std::vector<std::string>{"IO_MAIN_SECTION", "HPS_MAIN_SECTION"}), names);
    auto* io = bitstream->main_section.at(0);
    ASSERT_EQ(2u, io->casting_action.size());
    EXPECT_EQ(PGM_COMMON_XML_ENUM_MULTICAST_ACTION, io->casting_action.at(0)->info.sub_class_type);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_MCAST_FILTER_ACTION, io->casting_action.at(1)->info.sub_class_type);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_DIBSSM_PARAM_TABLE, io->param_table.at(0)->info.sub_class_type);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_DEV_PROV_NON_DIMK, io->dev_prov_data.at(0)->info.sub_class_type);
    EXPECT_EQ(1u, io->nop.size());
    EXPECT_EQ(5u, io->get_childs().size());

    // Messages name the sub-class type.
    OPEN<PGM_COMMON_XML_FBGEN_ASSEMBLER_MAIN_SECTION> hps(PGM_COMMON_XML_ENUM_HPS_MAIN_SECTION);
    OPEN<PGM_COMMON_XML_FBGEN_ASSEMBLER_IF_ACTION> if_action;
    OPEN<PGM_COMMON_XML_FBGEN_ASSEMBLER_CASTING_ACTION> multicast(PGM_COMMON_XML_ENUM_MULTICAST_ACTION);
    struct CASE {
        ELEMENT* parent;
        ELEMENT* child;
        const char* error;
    };
    const CASE cases[] = {
        {&hps, new PGM_COMMON_XML_FBGEN_ASSEMBLER_FUSE_FILTER_ACTION(),
         "Element \"HPS_MAIN_SECTION\" does not support child element \"FUSE_FILTER_ACTION\""},
        {&hps, new PGM_COMMON_XML_FBGEN_ASSEMBLER_HEX_FIRMWARE(),
         "Element \"HPS_MAIN_SECTION\" does not support child element \"HEX_FIRMWARE\""},
        {&if_action, new PGM_COMMON_XML_FBGEN_ASSEMBLER_IF_ACTION(),
         "Element \"IF_ACTION\" does not support child element \"IF_ACTION\""},
        {&if_action, new PGM_COMMON_XML_FBGEN_ASSEMBLER_HPS_DOWNLOAD_ACTION(),
         "Element \"IF_ACTION\" does not support child element \"HPS_DOWNLOAD_ACTION\""},
        {&multicast, new PGM_COMMON_XML_FBGEN_ASSEMBLER_INFO(),
         "Element \"MULTICAST_ACTION\" does not support child element \"INFO\""},
    };
    for (const CASE& c : cases) {
        std::unique_ptr<ELEMENT> child(c.child);
        EXPECT_INTERNAL_ERROR(c.parent->add_child(child.get()), c.error);
    }
    PGM_COMMON_XML_FBGEN_ASSEMBLER_MAIN_SECTION section;
    PGM_COMMON_XML_FBGEN_ASSEMBLER_CASTING_ACTION casting;
    OPEN<PGM_COMMON_XML_FBGEN_ASSEMBLER_BITSTREAM> empty_bitstream;
    EXPECT_INTERNAL_ERROR(empty_bitstream.group_child(&section, true, true), "main_section.size()");
    EXPECT_INTERNAL_ERROR(hps.group_child(&casting, true, false), "casting_action.size()");
    for (int i = 0; i < 3; ++i)
        add<PGM_COMMON_XML_FBGEN_ASSEMBLER_VREXA_FIRMWARE>(hps);
    EXPECT_INTERNAL_ERROR(hps.check_child_count(), "Element HPS_MAIN_SECTION has invalid VREXA_FIRMWARE child count, "
                                                   "expected invalid range is \"0 - 2\" but found 3");
}

TEST(XmlFbgenFile, ExampleRoundTrip)
{
    TREE first = parse(EXAMPLE);
    auto* fbgen = dynamic_cast<PGM_COMMON_XML_FBGEN_ASSEMBLER_FBGEN*>(first.get());
    ASSERT_NE(nullptr, fbgen);
    // A few members, the last values of the long lists among them.
    auto* fw = fbgen->fw_file.at(0);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_VREXA3_SERDES, fw->type);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_nLOADFACTORY, fw->config_pin_action.at(0)->pin_role.at(0)->value);
    EXPECT_EQ(16u, fw->cnoc_send_action.at(0)->ipc_data.at(1)->value);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_SEQ_MODE, fw->cnoc_send_action.at(0)->command_header.at(0)->message);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_USER, fw->cnoc_send_action.at(0)->command_header.at(0)->source);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_WRINCINT, fw->cnoc_send_action.at(0)->command_header.at(0)->format);
    EXPECT_EQ("Start of the \"boot\" & load sequence", fw->comment_action.at(0)->value);
    EXPECT_EQ(2u, fw->if_action.at(0)->casting_action.at(0)->address.at(0)->x);
    auto* io = fbgen->bitstream.at(0)->main_section.at(0);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_ERAM_ONLY_SEMI_TARGET_ON, io->two_d_compression);
    EXPECT_EQ(4u, io->param_table.size());
    EXPECT_EQ(PGM_COMMON_XML_ENUM_nLOADFACTORY, io->main_descriptor.at(0)->pin_table.at(0)->pin.at(0)->value);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_REGULATOR_KIND_5, io->main_descriptor.at(0)->power_table.at(0)->slave_device_type);
    EXPECT_EQ(0x12345678u, io->option_bits.at(0)->data);
    EXPECT_EQ(4294967295u, io->option_bits.at(0)->linear_index);
    auto* fpga = fbgen->bitstream.at(0)->main_section.at(1);
    EXPECT_EQ(18u, fpga->data.size());
    EXPECT_EQ(PGM_COMMON_XML_ENUM_LUT2_ONE, fpga->data.at(0)->bitline_opcode);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_TILE_VARIANT_K, fpga->data.at(0)->info.at(0)->vrexa_type);
    EXPECT_EQ(1, fpga->data.at(0)->interleave);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_XCVR, static_cast<ELEMENT*>(fpga->data.at(17))->info.sub_class_type);
    EXPECT_EQ(1, fbgen->settings.at(0)->gzip_brisol_mode);

    // Every class is there and every attribute holds a value other than its default.
    std::set<std::string> given, all;
    std::function<void(ELEMENT*)> collect = [&](ELEMENT* e) {
        given.insert(name_of(e->info.class_type));
        for (size_t i = 3; i < e->attribute_info.size(); ++i) {
            const PGM_COMMON_XML_ATTRIBUTE_INFO& a = e->attribute_info[i];
            if (!a.string.empty() && a.string != a.default_string && member_text(a.type, a.ptr) != a.default_string)
                given.insert(name_of(e->info.class_type) + "." + a.name);
        }
        for (ELEMENT* child : e->get_childs())
            collect(child);
    };
    collect(fbgen);
    for (const TREE& e : every_class(family())) {
        all.insert(name_of(e->info.class_type));
        for (size_t i = 3; i < e->attribute_info.size(); ++i) {
            if (e->attribute_info[i].exist != PGM_XML_EXIST_MUST_NOT)
                all.insert(name_of(e->info.class_type) + "." + e->attribute_info[i].name);
        }
    }
    EXPECT_EQ(all, given);

    // Written and read back: the same attribute texts, members and element texts.
    TEMP_DIR dir;
    PGM_COMMON_XML::write_xml(fbgen, dir.file("written.xml"));
    const std::string written = read_file(dir.file("written.xml"));
    EXPECT_NE(std::string::npos, written.find("<comment_action>Start of the &quot;boot&quot; &amp; load sequence"));
    EXPECT_NE(std::string::npos, written.find("    <bitstream>\n        <cmf_section"));
    TREE second = parse(dir.file("written.xml"));
    EXPECT_EQ(dump(first.get()), dump(second.get()));

    // pgmtool loads and writes it the same way.
    RUN_RESULT result = run_pgmtool("xml '" + EXAMPLE + "' --kind=fbgen --out=out.xml", dir.path());
    EXPECT_EQ(0, result.exit_code) << result.error;
    EXPECT_EQ(written, read_file(dir.file("out.xml")));
}
