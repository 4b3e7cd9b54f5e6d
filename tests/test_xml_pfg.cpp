// The generated classes of the programming-file generator job: defaults,
// child counts, typed child lists, the loader's rules and the messages of
// the generated schema.
#include "test_support.h"

#include "h/pgm_common_xml_pfg_auto_export.h"
#include "pgm/h/pgm_common_xml_export.h"

#include <algorithm>
#include <functional>
#include <memory>

namespace {

typedef PGM_COMMON_XML_ELEMENT ELEMENT;

} // namespace

TEST(XmlPfgDefaults, Values)
{
    PGM_COMMON_XML_PFG_PATH path;
    EXPECT_EQ(PGM_COMMON_XML_ENUM_2, path.security_opt_secure);
    EXPECT_EQ("2|3", path.attribute_info[path.get_attribute_index("security_opt_secure")].enum_string);
    int levels = 0;
    for (const PGM_COMMON_XML_ATTRIBUTE_INFO& a : path.attribute_info) {
        if (a.name.compare(0, 13, "security_opt_") != 0 || a.name == "security_opt_secure")
            continue;
        ++levels;
        EXPECT_EQ(PGM_COMMON_XML_ENUM_0, *static_cast<PGM_COMMON_XML_ENUM*>(a.ptr)) << a.name;
        EXPECT_EQ("0|1|2|3", a.enum_string) << a.name;
    }
    EXPECT_EQ(10, levels);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_OFF, path.signing);
    EXPECT_FALSE(path.encryption);
    EXPECT_EQ(0u, path.rsu_version);

    PGM_COMMON_XML_PFG_OUTPUT_FILE output;
    EXPECT_EQ(PGM_COMMON_XML_ENUM_INVALID, output.subtype); // the member named INVALID, not _INVALID__
    EXPECT_EQ(PGM_COMMON_XML_ENUM_RBF, output.type);
    PGM_COMMON_XML_PFG_SECONDARY_FILE secondary;
    EXPECT_EQ(PGM_COMMON_XML_ENUM_MAP, secondary.type);
    PGM_COMMON_XML_PFG_SETTINGS settings;
    EXPECT_EQ(PGM_COMMON_XML_ENUM__INVALID__, settings.mode);
    PGM_COMMON_XML_PFG_RAW_FILE raw;
    EXPECT_EQ(PGM_COMMON_XML_ENUM__INVALID__, raw.type);
    EXPECT_EQ(28u, std::count(raw.attribute_info[4].enum_string.begin(), raw.attribute_info[4].enum_string.end(),
                              '|') + 1u);

    PGM_COMMON_XML_PFG_CCERT_OPTIONS ccert;
    EXPECT_EQ(2u, ccert.pr_slot);
    EXPECT_EQ(0u, ccert.counter_value);
    EXPECT_EQ(0u, ccert.cancel_key);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_INVALID, ccert.ccert_type);

    PGM_COMMON_XML_PFG_FLASH_DEVICE flash;
    EXPECT_TRUE(flash.force_ssmclk_to_use_ismclk && flash.enable_user_ios_weak_pullup && flash.disable_test);
    EXPECT_FALSE(flash.enable_test || flash.isp_source);

    PGM_COMMON_XML_PFG_FILE_OPTIONS options;
    EXPECT_TRUE(options.use_relative);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_UP, options.direction);
    EXPECT_EQ("0", options.s_addr);
    EXPECT_EQ("6MHz", options.frequency);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_3_3V, options.voltage);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_P, options.operation);

    EXPECT_EQ(PGM_COMMON_XML_ENUM_AUTO, PGM_COMMON_XML_PFG_RAW_FILE_ID().addr_mode);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_ALL, PGM_COMMON_XML_PFG_BITSTREAM_ID().section);
}

TEST(XmlPfgChildCount, Rules)
{
    struct CASE {
        const char* name;
        std::function<void(ELEMENT&)> build;
        const char* error; // NULL: passes
    };
    const CASE cases[] = {
        {"empty pfg", [](ELEMENT&) {}, NULL},
        {"one of each",
         [](ELEMENT& pfg) {
             add<PGM_COMMON_XML_PFG_SETTINGS>(pfg);
             add<PGM_COMMON_XML_PFG_RAW_FILES>(pfg);
             add<PGM_COMMON_XML_PFG_ASSIGNMENT>(*add<PGM_COMMON_XML_PFG_ASSIGNMENTS>(pfg));
             add<PGM_COMMON_XML_PFG_PATH>(*add<PGM_COMMON_XML_PFG_BITSTREAM>(*add<PGM_COMMON_XML_PFG_BITSTREAMS>(pfg)));
             ELEMENT* flash = add<PGM_COMMON_XML_PFG_FLASH_DEVICE>(*add<PGM_COMMON_XML_PFG_FLASH_DEVICES>(pfg));
             for (int i = 0; i < 4; ++i)
                 add<PGM_COMMON_XML_PFG_PARTITION>(*add<PGM_COMMON_XML_PFG_MBR>(*flash));
             add<PGM_COMMON_XML_PFG_OUTPUT_FILE>(*add<PGM_COMMON_XML_PFG_OUTPUT_FILES>(pfg));
         },
         NULL},
        {"two settings",
         [](ELEMENT& pfg) {
             add<PGM_COMMON_XML_PFG_SETTINGS>(pfg);
             add<PGM_COMMON_XML_PFG_SETTINGS>(pfg);
         },
         "Element PFG has invalid SETTINGS child count, expected invalid range is \"0, 1\" but found 2"},
        {"bitstreams without bitstream", [](ELEMENT& pfg) { add<PGM_COMMON_XML_PFG_BITSTREAMS>(pfg); },
         "Element BITSTREAMS has invalid BITSTREAM child count, expected invalid range is \"infinity\" but found 0"},
        {"bitstream without path",
         [](ELEMENT& pfg) { add<PGM_COMMON_XML_PFG_BITSTREAM>(*add<PGM_COMMON_XML_PFG_BITSTREAMS>(pfg)); },
         "Element BITSTREAM has invalid PATH child count, expected invalid range is \"infinity\" but found 0"},
        {"output_files without output_file", [](ELEMENT& pfg) { add<PGM_COMMON_XML_PFG_OUTPUT_FILES>(pfg); },
         "Element OUTPUT_FILES has invalid OUTPUT_FILE child count, expected invalid range is \"infinity\" but "
         "found 0"},
        {"five mbr",
         [](ELEMENT& pfg) {
             ELEMENT* flash = add<PGM_COMMON_XML_PFG_FLASH_DEVICE>(*add<PGM_COMMON_XML_PFG_FLASH_DEVICES>(pfg));
             for (int i = 0; i < 5; ++i)
                 add<PGM_COMMON_XML_PFG_MBR>(*flash);
         },
         "Element FLASH_DEVICE has invalid MBR child count, expected invalid range is \"0, 1, 2, 3, 4\" but found 5"},
        {"flash_loader alone", [](ELEMENT& pfg) {
             add<PGM_COMMON_XML_PFG_FLASH_LOADER>(*add<PGM_COMMON_XML_PFG_FLASH_DEVICES>(pfg));
         },
         "Element FLASH_DEVICES has invalid FLASH_DEVICE child count, expected invalid range is \"infinity\" but "
         "found 0"},
        {"two bitstream_id in output_file",
         [](ELEMENT& pfg) {
             ELEMENT* output = add<PGM_COMMON_XML_PFG_OUTPUT_FILE>(*add<PGM_COMMON_XML_PFG_OUTPUT_FILES>(pfg));
             add<PGM_COMMON_XML_PFG_FLASH_DEVICE_ID>(*output);
             add<PGM_COMMON_XML_PFG_FLASH_DEVICE_ID>(*output);
             add<PGM_COMMON_XML_PFG_BITSTREAM_ID>(*output);
             add<PGM_COMMON_XML_PFG_BITSTREAM_ID>(*output);
         },
         "Element OUTPUT_FILE has invalid BITSTREAM_ID child count, expected invalid range is \"0, 1\" but found 2"},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        OPEN<PGM_COMMON_XML_PFG_PFG> pfg;
        c.build(pfg);
        if (c.error)
            EXPECT_INTERNAL_ERROR(pfg.check_child_count(), c.error);
        else
            pfg.check_child_count();
    }
}

TEST(XmlPfgGroupChild, TypedLists)
{
    PGM_COMMON_XML_PFG_OUTPUT_FILE output;
    auto* a = add<PGM_COMMON_XML_PFG_SECONDARY_FILE>(output);
    auto* id = add<PGM_COMMON_XML_PFG_BITSTREAM_ID>(output);
    auto* b = add<PGM_COMMON_XML_PFG_SECONDARY_FILE>(output);
    auto* c = new PGM_COMMON_XML_PFG_SECONDARY_FILE();
    output.add_child(c, a); // before the first child: first in its list
    EXPECT_EQ((std::vector<PGM_COMMON_XML_PFG_SECONDARY_FILE*>{c, a, b}), output.secondary_file);
    EXPECT_EQ((std::vector<PGM_COMMON_XML_PFG_BITSTREAM_ID*>{id}), output.bitstream_id);
    output.remove_child(c, true); // the first child: drops the first entry
    EXPECT_EQ((std::vector<PGM_COMMON_XML_PFG_SECONDARY_FILE*>{a, b}), output.secondary_file);
    output.remove_child(b, true); // the last child: drops the last entry
    EXPECT_EQ((std::vector<PGM_COMMON_XML_PFG_SECONDARY_FILE*>{a}), output.secondary_file);
    output.remove_child(id, true);
    EXPECT_TRUE(output.bitstream_id.empty());

    OPEN<PGM_COMMON_XML_PFG_PFG> pfg;
    PGM_COMMON_XML_PFG_SETTINGS settings;
    EXPECT_INTERNAL_ERROR(pfg.group_child(&settings, true, true), "settings.size()");
    OPEN<PGM_COMMON_XML_PFG_MBR> mbr;
    PGM_COMMON_XML_PFG_PARTITION partition;
    EXPECT_INTERNAL_ERROR(mbr.group_child(&partition, true, false), "partition.size()");
}

TEST(XmlPfgGroupChild, UnsupportedChild)
{
    // An element of the same class type from another family is refused too.
    class FOREIGN_PATH : public ELEMENT {
    public:
        FOREIGN_PATH()
            : ELEMENT(PGM_COMMON_XML_ENUM_PATH, PGM_COMMON_XML_ENUM_PATH, PGM_XML_TYPE_NONE, PGM_XML_EXIST_MUST_NOT, "",
                      "", NULL)
        {
            init_check();
        }
    };
    struct CASE {
        ELEMENT* parent;
        ELEMENT* child;
        const char* error;
    };
    PGM_COMMON_XML_PFG_PFG pfg;
    PGM_COMMON_XML_PFG_PATH path;
    PGM_COMMON_XML_PFG_BITSTREAM bitstream;
    PGM_COMMON_XML_PFG_MBR mbr(PGM_COMMON_XML_ENUM_SDMMC);
    const CASE cases[] = {
        {&pfg, new PGM_COMMON_XML_PFG_PATH(), "Element \"PFG\" does not support child element \"PATH\""},
        {&path, new PGM_COMMON_XML_PFG_RAW_FILE(), "Element \"PATH\" does not support child element \"RAW_FILE\""},
        {&bitstream, new FOREIGN_PATH(), "Element \"BITSTREAM\" does not support child element \"PATH\""},
        {&mbr, new PGM_COMMON_XML_PFG_MBR(), "Element \"SDMMC\" does not support child element \"MBR\""},
    };
    for (const CASE& c : cases) {
        std::unique_ptr<ELEMENT> child(c.child);
        EXPECT_INTERNAL_ERROR(c.parent->add_child(child.get()), c.error);
    }
}

TEST(XmlPfgFile, ElementAndAttributeRules)
{
    const std::string output = "<output_files><output_file name=\"n\" directory=\"d\" type=\"RBF\">";
    const std::string flash = "<flash_devices><flash_device type=\"t\" id=\"f\">";
    const std::string partition = "<partition s_addr=\"0\" e_addr=\"1\" id=\"p\"/>";
    const std::pair<std::string, std::string> cases[] = {
        // body inside <pfg version="1">; the error, none when it loads
        {"<raw_files><raw_file id=\"r\">a.hex</raw_file></raw_files>",
         "Element RAW_FILE attribute type must exist but not"},
        {"<raw_files><raw_file id=\"r\" type=\"HEX\"/></raw_files>", "Element RAW_FILE must have value"},
        {"<output_files><output_file name=\"n\" directory=\"d\"/></output_files>",
         "Element OUTPUT_FILE attribute type must exist but not"},
        {output + "<ccert_options/></output_file></output_files>",
         "Element CCERT_OPTIONS attribute ccert_type must exist but not"},
        {output + partition + "</output_file></output_files>",
         "Parent element \"output_file\" does not support \"partition\" element"},
        {output + "<raw_file_id>r</raw_file_id></output_file></output_files>",
         "Parent element \"output_file\" does not support \"raw_file_id\" element"},
        {"<bitstreams><bitstream id=\"b\"><path security_opt_secure=\"1\">a.sof</path></bitstream></bitstreams>",
         "element path, attribute security_opt_secure: Supported string are \"2|3\", but the input is \"1\""},
        {"<settings mode=\"PS\">fast</settings>", "Element SETTINGS must not have value"},
        {"<settings mode=\"PS\" speed=\"fast\"/>", "Attribute speed is not supported by element SETTINGS"},
        // partitions under flash_device and mbr, bitstream ids under output_file
        {flash + partition + "<mbr e_addr=\"9\" type=\"t\" id=\"m\" s_addr=\"2\">" + partition +
             "</mbr></flash_device></flash_devices>" + output +
             "<bitstream_id>b</bitstream_id></output_file></output_files>",
         ""},
    };
    for (const auto& c : cases)
        expect_load(PGM_COMMON_XML_FILE_PFG, "<pfg version=\"1\">" + c.first + "</pfg>",
                    c.second.empty() ? "" : "job.xml:1: " + c.second);
    // An absent subtype keeps INVALID.
    XML_TREE root =
        load_xml_text(PGM_COMMON_XML_FILE_PFG, "<pfg version=\"1\">" + output + "</output_file></output_files></pfg>");
    EXPECT_EQ(PGM_COMMON_XML_ENUM_INVALID,
              static_cast<PGM_COMMON_XML_PFG_PFG*>(root.get())->output_files.at(0)->output_file.at(0)->subtype);
}

TEST(XmlPfgFile, Schema)
{
    const std::string xsd = PGM_BINARY_DIR "/h/pgm_common_xml_pfg.xsd";
    std::string errors, warnings;
    struct CASE {
        const char* body; // on line 2
        const char* where;
        const char* message;
    };
    const CASE cases[] = {
        {"<settings mode=\"PS\" speed=\"fast\"/>", "line 2, column 39",
         "attribute 'speed' is not declared for element 'settings'"},
        {"<settings mode=\"AS\"/>", "line 2, column 26", "value 'AS' not in enumeration"},
        {"<raw_files><partition s_addr=\"0\" e_addr=\"1\" id=\"p\"/></raw_files>", "line 2, column 57",
         "no declaration found for element 'partition'"},
        {"<raw_files><raw_file id=\"r\">a.hex</raw_file></raw_files>", "line 2, column 33",
         "missing required attribute 'type'"},
        {"<settings mode=\"PS\"/><settings mode=\"FPP\"/>", "line 3, column 7",
         "element 'settings' is not allowed for content model "
         "'All(settings?,raw_files?,assignments?,bitstreams?,flash_devices?,output_files?)'"},
    };
    TEMP_DIR dir;
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.body);
        write_file(dir.file("bad.xml"), std::string("<pfg version=\"1\">\n    ") + c.body + "\n</pfg>\n");
        errors.clear();
        PGM_COMMON_XML::check_xsd(dir.file("bad.xml"), xsd, errors, warnings);
        EXPECT_EQ(std::string("Error at file \"bad.xml\", ") + c.where + "\n   Message: " + c.message + "\n", errors);
    }
}
