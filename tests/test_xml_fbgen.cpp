// The generated classes of the firmware-bitstream assembler description:
// defaults and allowed values, element texts, sub-class names, child counts
// and the loader's parent rules.
#include "test_support.h"

#include "h/pgm_common_xml_fbgen_assembler_auto_export.h"

#include <map>

namespace {

typedef PGM_COMMON_XML_ELEMENT ELEMENT;

const PGM_COMMON_XML_FAMILY& family()
{
    return pgm_common_xml_fbgen_assembler_family();
}

XML_TREE create(const std::string& name)
{
    return create_named(family(), name);
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

std::string fbgen(const std::string& body)
{
    return "<fbgen>" + body + "</fbgen>";
}

XML_TREE load_body(const std::string& body)
{
    return load_xml_text(PGM_COMMON_XML_FILE_FBGEN_ASSEMBLER, fbgen(body));
}

// The names of a "|"-list, none for the empty text.
std::vector<std::string> values_of(const std::string& list)
{
    return list.empty() ? std::vector<std::string>() : PGM_COMMON::split_string(list, "|", false, true);
}

} // namespace

TEST(XmlFbgenFamily, SubClassNames)
{
    EXPECT_STREQ("h/pgm_common_xml_fbgen_assembler_auto", family().source);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_FBGEN, family().root_type);
    // The classes of several element names: the class type stays, the name is the sub-class type.
    const std::map<std::string, int> shared = {
        {"MAIN_SECTION", 10}, {"PARAM_TABLE", 4}, {"DEV_PROV_DATA", 2}, {"DATA", 18}, {"CASTING_ACTION", 2}};
    std::map<std::string, int> found;
    for (const PGM_COMMON_XML_CHILD_RULE& rule : family().rules) {
        for (const std::string& name : values_of(rule.childs)) {
            XML_TREE e = create(name);
            EXPECT_EQ(enum_of(upper(name)), e->info.sub_class_type);
            if (e->info.class_type != e->info.sub_class_type)
                ++found[name_of(e->info.class_type)];
        }
    }
    EXPECT_EQ(shared, found);
}

TEST(XmlFbgenDefaults, ValuesAndAllowedLists)
{
    struct DEFAULT {
        const char* element;
        const char* attribute;
        const char* value; // the member as text
    };
    const DEFAULT defaults[] = {
        {"settings", "hash", "SHA_256"},           {"settings", "encryption_update_ratio", "128"},
        {"settings", "swizzle_sof", "ON"},         {"settings", "gzip_brisol_mode", "tristate"},
        {"settings", "one_cnoc_mode", "false"},    {"developer", "route_buffer_count", "240"},
        {"hps_main_section", "dump_golden", ""},   {"option_bits", "data", "3405689280"},
        {"option_bits", "linear_index", "4294967295"}, {"iossm_param_table", "type", "_INVALID__"},
        {"power_table", "page_command_payload", "255"}, {"power_table", "bus_speed_mode", "100KHZ"},
        {"pr_firmware", "mode", "ACTIVE_ONLY"},    {"xcvr", "startup", "AGGRESSIVE_ON"},
        {"cram", "interleave", "tristate"},        {"eram_abort", "delay_cycles", "106"},
        {"command_header", "source", "SDM"},       {"command_header", "addr_reg", "1"},
    };
    for (const DEFAULT& c : defaults)
        EXPECT_EQ(c.value, attribute_text(create(c.element).get(), c.attribute)) << c.element << " " << c.attribute;

    struct LIST {
        const char* element;
        const char* attribute; // NULL: the element's text
        size_t count;
        const char* last;
    };
    const LIST lists[] = {
        {"pin", "value", 39, "nLOADFACTORY"},
        {"pin_role", NULL, 39, "nLOADFACTORY"},
        {"pin_state", NULL, 2, "ASSERT"},
        {"bram", "two_d_compression", 17, "OFF"},
        {"settings", "enable_s4", 4, "FRAGMENTED"},
        {"info", "bitline_opcode", 16, "LUT2_ONE"},
        {"info", "vrexa_type", 11, "TILE_VARIANT_K"},
        {"command_header", "message", 12, "SEQ_MODE"},
        {"ipc_hdr0", "source", 9, "USER"},
        {"ipc_hdr1", "format", 7, "WRINCINT"},
        {"power_table", "slave_device_type", 6, "OTHER"},
        {"fw_file", "type", 11, "DIB"},
        {"qspi_table", "flash12_map", 4, "3"},
        {"device_settings", "write_opcode", 0, ""},
        {"pr_firmware", "mode", 3, "LOAD_ALL_IF_ANY_ACTIVE"},
    };
    for (const LIST& c : lists) {
        SCOPED_TRACE(std::string(c.element) + " " + (c.attribute ? c.attribute : "text"));
        XML_TREE e = create(c.element);
        const std::string list = c.attribute ? e->attribute_info.at(e->get_attribute_index(c.attribute)).enum_string
                                             : e->info.enum_string;
        EXPECT_EQ(c.count, values_of(list).size());
        if (!c.count)
            continue;
        EXPECT_EQ(c.last, list.substr(list.rfind('|') + 1));
        // The library takes the last value and stores its member.
        if (c.attribute)
            e->write_attribute_string(c.attribute, c.last);
        else
            e->write_string(c.last);
        EXPECT_EQ(c.last, c.attribute ? attribute_text(e.get(), c.attribute) : member_text(e->info.type, e->info.ptr));
    }
    // The regulator and tile variant names stand where the name table keeps them.
    EXPECT_EQ(PGM_COMMON_XML_ENUM(86), enum_of("REGULATOR_KIND_1"));
    EXPECT_EQ(PGM_COMMON_XML_ENUM(147), enum_of("TILE_VARIANT_K"));
}

TEST(XmlFbgenFile, AttributeAndTextRules)
{
    const std::pair<std::string, std::string> cases[] = {
        // inside <fbgen>; the error on line 1
        {"<bitstream><cmf_section/><io_main_section/></bitstream>",
         "Element CMF_SECTION attribute filepath must exist but not"},
        // attributes the description leaves out of a class
        {io_section("<option_bits linear_index=\"3\"/>"), "attribute_name != (* attribute).name"},
        {io_section("<cram><info cnoc_dir=\"WEST\"/></cram>"), "attribute_name != (* attribute).name"},
        {"<ssblock_info name=\"s\" linear_index=\"1\"/>", "attribute_name != (* attribute).name"},
        {fw_file("<if_action><nop/></if_action>"), "Element IF_ACTION attribute condition must exist but not"},
        {fw_file("<cnoc_send_action><command_header message=\"JTAG\"/></cnoc_send_action>"),
         "Element COMMAND_HEADER attribute format must exist but not"},
        {fw_file("<cnoc_send_action><ipc_hdr3 operation=\"1\" data=\"2\"/></cnoc_send_action>"),
         "Element IPC_HDR3 attribute id must exist but not"},
        {"<input_file><sof_file>a.sof</sof_file></input_file>", "Element SOF_FILE attribute label must exist but not"},
        {"<input_file><pmsf_file label=\"a\"/></input_file>", "Element PMSF_FILE must have value"},
        {"<input_file><pmsf_file label=\"_a\">a.pmsf</pmsf_file></input_file>",
         "element pmsf_file, attribute label: string.at(0) != '_' && !(string.at(0) >= '0' && "
         "string.at(0) <= '9')"},
        {fw_file("<config_pin_action><pin_role>nLOADFACTORY</pin_role><pin_state>LOW</pin_state>"
                 "</config_pin_action>"),
         "element pin_state: Supported string are \"DEASSERT|ASSERT\", but the input is \"LOW\""},
        {fw_file("<cnoc_send_action type=\"ESRAM\"/>"),
         "element cnoc_send_action, attribute type: Supported string are \"SECTOR|LSM|CBSSM|AIB|IO|UIB|DIB\", but the "
         "input is \"ESRAM\""},
        {"<settings hash=\"SHA_512\"/>",
         "element settings, attribute hash: Supported string are \"SHA_NONE|SHA_256|SHA_384\", but the input is "
         "\"SHA_512\""},
        {"<settings gzip_brisol_mode=\"maybe\"/>",
         "element settings, attribute gzip_brisol_mode: string == \"OFF\" || string == \"0\" || string == \"false\""},
    };
    for (const auto& c : cases)
        expect_load(PGM_COMMON_XML_FILE_FBGEN_ASSEMBLER, fbgen(c.first), "job.xml:1: " + c.second);
    // Texts and attributes as read: DWORD shifts, hex data in both byte orders, tristate.
    XML_TREE root = load_body(io_section("<verify_hash_action target=\"t\"><data_hash>0A0B0C</data_hash>"
                                         "<total_data_size>1&lt;&lt;12</total_data_size></verify_hash_action>"
                                         "<cram interleave=\"OFF\"/>") +
                              "<sblock_info name=\"b\"><dyn_val name=\"d\"><ob_val hex_value=\"0A0B0C\" "
                              "name=\"o\"/></dyn_val></sblock_info>");
    auto* fb = static_cast<PGM_COMMON_XML_FBGEN_ASSEMBLER_FBGEN*>(root.get());
    auto* verify = fb->bitstream.at(0)->main_section.at(0)->verify_hash_action.at(0);
    EXPECT_EQ("0A0B0C", member_text(PGM_XML_TYPE_STDHEX_DATA, &verify->data_hash.at(0)->value));
    EXPECT_EQ(4096u, verify->total_data_size.at(0)->value);
    EXPECT_EQ("0C0B0A",
              member_text(PGM_XML_TYPE_HEX_DATA, &fb->sblock_info.at(0)->dyn_val.at(0)->ob_val.at(0)->hex_value));
    auto* cram = fb->bitstream.at(0)->main_section.at(0)->data.at(0);
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
        {"<input_file>" + repeat(pmsf, 3) + "</input_file>", "INPUT_FILE", "PMSF_FILE", "0 - 2", 3},
        {qspi(""), "QSPI_TABLE", "DEVICE_SETTINGS", "1 - 4", 0},
        {qspi(repeat(device, 5)), "QSPI_TABLE", "DEVICE_SETTINGS", "1 - 4", 5},
        {"<sblock_info name=\"b\"/>", "SBLOCK_INFO", "DYN_VAL", "infinity", 0},
        {"<ssblock_info name=\"s\"/>", "SSBLOCK_INFO", "SBLOCK_INFO", "infinity", 0},
        {"<settings/><settings/>", "FBGEN", "SETTINGS", "0 - 1", 2},
        {"<fw_file type=\"IO\"/>", "FW_FILE", "FIXED_ACTION", "1", 0},
        {fw_file("<fixed_action><firmware_id>2</firmware_id></fixed_action>"), "FW_FILE", "FIXED_ACTION", "1", 2},
        // In check order: fixed_action is counted before indexsize_action, flags before firmware_id.
        {"<fw_file type=\"IO\"><indexsize_action/><indexsize_action/></fw_file>", "FW_FILE", "FIXED_ACTION", "1", 0},
        {"<fw_file type=\"IO\"><fixed_action><flags/><flags/></fixed_action></fw_file>", "FIXED_ACTION", "FLAGS",
         "0 - 1", 2},
        {fw_file("<config_pin_action><pin_role>NA</pin_role></config_pin_action>"), "CONFIG_PIN_ACTION", "PIN_STATE",
         "1", 0},
        {fw_file("<generic_action/>"), "GENERIC_ACTION", "RAW_DATA", "infinity", 0},
        {fw_file("<send_redundancy_action><info_type>1</info_type><info_type>2</info_type></send_redundancy_action>"),
         "SEND_REDUNDANCY_ACTION", "INFO_TYPE", "1", 2},
        {io_section("<verify_hash_action target=\"t\"><total_data_size>1</total_data_size><total_data_size>2"
                    "</total_data_size></verify_hash_action>"),
         "VERIFY_HASH_ACTION", "TOTAL_DATA_SIZE", "0 - 1", 2},
    };
    for (const CASE& c : cases)
        expect_load(PGM_COMMON_XML_FILE_FBGEN_ASSEMBLER, fbgen(c.body),
                    count_error(c.parent, c.child, c.range, c.found));
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
        expect_load(PGM_COMMON_XML_FILE_FBGEN_ASSEMBLER, fbgen(body), "");
}

TEST(XmlFbgenFile, ParentRules)
{
    struct CASE {
        std::string body;   // inside <fbgen>
        std::string parent; // empty: accepted
        std::string child;
    };
    const CASE cases[] = {
        {io_section("<fuse_filter_action type=\"1\" value=\"2\"/>"), "io_main_section", "fuse_filter_action"},
        {io_section("<hex_firmware filepath=\"h\"/>"), "io_main_section", "hex_firmware"},
        {io_section("<if_action condition=\"c\"/>"), "io_main_section", "if_action"},
        {io_section("<fixed_action/>"), "io_main_section", "fixed_action"},
        {io_section("<cmf_section filepath=\"c\"/>"), "io_main_section", "cmf_section"},
        {io_section("<option_bits><address/></option_bits>"), "option_bits", "address"},
        {io_section("<dev_prov_dimk><nop/></dev_prov_dimk>"), "dev_prov_dimk", "nop"},
        {fw_file("<if_action condition=\"c\"><if_action condition=\"d\"/></if_action>"), "if_action", "if_action"},
        {fw_file("<if_action condition=\"c\"><if_action_end/></if_action>"), "if_action", "if_action_end"},
        {fw_file("<firmware filepath=\"f\"/>"), "fw_file", "firmware"},
        {fw_file("<config_pin_action><pin/></config_pin_action>"), "config_pin_action", "pin"},
        {"<io_main_section/>", "fbgen", "io_main_section"},
        {"<fw_file type=\"IO\"><fw_file type=\"IO\"/></fw_file>", "fw_file", "fw_file"},
        {"<ssblock_info name=\"s\"><dyn_val name=\"d\"/></ssblock_info>", "ssblock_info", "dyn_val"},
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
    for (const CASE& c : cases)
        expect_load(PGM_COMMON_XML_FILE_FBGEN_ASSEMBLER, fbgen(c.body),
                    c.parent.empty() ? "" : "job.xml:1: Parent element \"" + c.parent + "\" does not support \"" +
                                                c.child + "\" element");
}

TEST(XmlFbgenGroupChild, TypedListsAndRefusals)
{
    // Both main sections land in the one list; the casting elements likewise.
    XML_TREE root = load_body("<bitstream><io_main_section><multicast_action/><nop/><mcast_filter_action/>"
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
