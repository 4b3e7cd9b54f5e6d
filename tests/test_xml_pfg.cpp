// The generated classes of the programming-file generator job: defaults,
// child counts, typed child lists and the loader's rules, and whole files
// read, written, read back and checked against the generated schema.
#include "test_support.h"

#include "h/pgm_common_xml_pfg_auto_export.h"
#include "pgm/h/pgm_common_xml_export.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <set>

namespace {

const std::string XML_DATA = PGM_SOURCE_DIR "/tests/data/xml/";

typedef PGM_COMMON_XML_ELEMENT ELEMENT;

ELEMENT* parse(const std::string& file, const std::string& xsd = "")
{
    return static_cast<ELEMENT*>(PGM_COMMON_XML::parse_xml(PGM_COMMON_XML_FILE_PFG, file, xsd, false, "", "", ""));
}

} // namespace

TEST(XmlPfgDefaults, EveryClassDescribesItself)
{
    const std::set<std::string> text_kinds = {"RAW_FILE",  "RAW_FILE_ID",  "BITSTREAM_ID",
                                              "PATH",      "FLASH_LOADER", "FLASH_DEVICE_ID"};
    std::vector<std::unique_ptr<ELEMENT>> objects = every_class(pgm_common_xml_pfg_family());
    ASSERT_EQ(23u, objects.size());
    for (const std::unique_ptr<ELEMENT>& e : objects) {
        const std::string kind = name_of(e->info.class_type);
        SCOPED_TRACE(kind);
        EXPECT_EQ(e->info.class_type, e->info.sub_class_type);
        bool text = text_kinds.count(kind) != 0;
        EXPECT_EQ(text ? PGM_XML_TYPE_STRING : PGM_XML_TYPE_NONE, e->info.type);
        EXPECT_EQ(text ? PGM_XML_EXIST_MUST : PGM_XML_EXIST_MUST_NOT, e->info.exist);
        EXPECT_EQ(text, e->info.ptr != NULL);
        // Every allowed value is a name-table entry and the member holds the default.
        for (const PGM_COMMON_XML_ATTRIBUTE_INFO& a : e->attribute_info) {
            if (a.type != PGM_XML_TYPE_ENUM)
                continue;
            std::vector<std::string> values = PGM_COMMON::split_string(a.enum_string, "|", false, true);
            for (const std::string& value : values)
                EXPECT_NE(PGM_COMMON_XML_ENUM__INVALID__, PGM_COMMON_XML_UTIL::convert_string_to_enum(value, false))
                    << a.name << " " << value;
            EXPECT_EQ(a.default_string, member_text(a.type, a.ptr)) << a.name;
        }
    }
}

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
    EXPECT_EQ(46u, path.attribute_info.size());

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

TEST(XmlPfgFamily, RootAndParentRules)
{
    const PGM_COMMON_XML_FAMILY& family = pgm_common_xml_pfg_family();
    EXPECT_STREQ("h/pgm_common_xml_pfg_auto", family.source);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_PFG, family.root_type);
    std::unique_ptr<ELEMENT> root(family.create_root());
    EXPECT_NE(nullptr, dynamic_cast<PGM_COMMON_XML_PFG_PFG*>(root.get()));
    EXPECT_EQ(PGM_COMMON_XML_ENUM_PFG, root->info.sub_class_type);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"pfg", "settings"},
        {"pfg", "raw_files"},
        {"pfg", "assignments"},
        {"pfg", "bitstreams"},
        {"pfg", "flash_devices"},
        {"pfg", "output_files"},
        {"raw_files", "raw_file"},
        {"assignments", "assignment"},
        {"assignment", "raw_file_id"},
        {"assignment|output_file", "bitstream_id"},
        {"bitstreams", "bitstream"},
        {"bitstream", "path"},
        {"flash_devices", "flash_loader"},
        {"flash_devices", "flash_device"},
        {"flash_device|mbr", "partition"},
        {"flash_device", "mbr"},
        {"output_files", "output_file"},
        {"output_file", "provision_options"},
        {"output_file", "secondary_file"},
        {"output_file", "ccert_options"},
        {"output_file", "flash_device_id"},
        {"secondary_file|output_file", "file_options"},
    };
    ASSERT_EQ(expected.size(), family.rules.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const PGM_COMMON_XML_CHILD_RULE& rule = family.rules[i];
        EXPECT_EQ(expected[i].first, rule.parents);
        EXPECT_EQ(expected[i].second, rule.childs);
        std::unique_ptr<ELEMENT> e(rule.create(PGM_COMMON_XML_ENUM_HEX));
        EXPECT_EQ(enum_of(upper(rule.childs)), e->info.class_type) << rule.childs;
        EXPECT_EQ(PGM_COMMON_XML_ENUM_HEX, e->info.sub_class_type);
    }
}

TEST(XmlPfgFile, RoundTrip)
{
    std::unique_ptr<ELEMENT> first(parse(XML_DATA + "pfg_full.xml"));
    auto* pfg = dynamic_cast<PGM_COMMON_XML_PFG_PFG*>(first.get());
    ASSERT_NE(nullptr, pfg);
    EXPECT_EQ(3u, pfg->version);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_AVSTX16, pfg->settings.at(0)->mode);
    PGM_COMMON_XML_PFG_RAW_FILE* raw = pfg->raw_files.at(0)->raw_file.at(0);
    EXPECT_EQ("/data/j\xC3\xBCrgen/\xC3\x9C" "berpr\xC3\xBC" "fung/boot_\xC2\xB5" "C.hex", raw->value);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_HEX, raw->type);
    PGM_COMMON_XML_PFG_PATH* path = pfg->bitstreams.at(0)->bitstream.at(0)->path.at(0);
    EXPECT_EQ("p&ss \"word\"", path->password);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_3, path->security_opt_secure);
    EXPECT_TRUE(path->seu_recovery);
    PGM_COMMON_XML_PFG_FLASH_DEVICE* flash = pfg->flash_devices.at(0)->flash_device.at(0);
    EXPECT_EQ("P1", flash->mbr.at(0)->partition.at(0)->id);
    EXPECT_EQ(1u, flash->partition.size());
    PGM_COMMON_XML_PFG_OUTPUT_FILE* output = pfg->output_files.at(0)->output_file.at(0);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_BBRAM_IID_PUF_WRAPPED_AES_KEY, output->ccert_options.at(0)->ccert_type);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_PB, output->secondary_file.at(0)->file_options.at(0)->operation);
    EXPECT_EQ("Bitstream_1", output->bitstream_id.at(0)->value);

    // The file gives every attribute of every class a value other than its default.
    std::set<std::string> given, all;
    std::function<void(ELEMENT*)> collect = [&](ELEMENT* e) {
        for (size_t i = 3; i < e->attribute_info.size(); ++i) {
            const PGM_COMMON_XML_ATTRIBUTE_INFO& a = e->attribute_info[i];
            if (!a.string.empty() && member_text(a.type, a.ptr) != a.default_string)
                given.insert(name_of(e->info.class_type) + "." + a.name);
        }
        given.insert(name_of(e->info.class_type));
        for (ELEMENT* child : e->get_childs())
            collect(child);
    };
    collect(pfg);
    for (const std::unique_ptr<ELEMENT>& e : every_class(pgm_common_xml_pfg_family())) {
        all.insert(name_of(e->info.class_type));
        for (size_t i = 3; i < e->attribute_info.size(); ++i)
            all.insert(name_of(e->info.class_type) + "." + e->attribute_info[i].name);
    }
    EXPECT_EQ(all, given);

    TEMP_DIR dir;
    PGM_COMMON_XML::write_xml(pfg, dir.file("written.xml"));
    const std::string written = read_file(dir.file("written.xml"));
    EXPECT_NE(std::string::npos, written.find(" password=\"p&amp;ss &quot;word&quot;\""));
    std::unique_ptr<ELEMENT> second(parse(dir.file("written.xml")));
    EXPECT_EQ(dump(first.get()), dump(second.get()));
}

TEST(XmlPfgFile, ElementAndAttributeRules)
{
    struct CASE {
        const char* body; // inside <pfg version="1">
        const char* error;
    };
    const char* const output_start = "<output_files><output_file name=\"n\" directory=\"d\" type=\"RBF\">";
    const CASE cases[] = {
        {"<raw_files><raw_file id=\"r\">a.hex</raw_file></raw_files>",
         "Element RAW_FILE attribute type must exist but not"},
        {"<raw_files><raw_file id=\"r\" type=\"HEX\"/></raw_files>", "Element RAW_FILE must have value"},
        {"<output_files><output_file name=\"n\" directory=\"d\"/></output_files>",
         "Element OUTPUT_FILE attribute type must exist but not"},
        {"<output_files><output_file name=\"n\" directory=\"d\" type=\"RBF\"><ccert_options/></output_file>"
         "</output_files>",
         "Element CCERT_OPTIONS attribute ccert_type must exist but not"},
        {"<output_files><output_file name=\"n\" directory=\"d\" type=\"RBF\"><partition s_addr=\"0\" e_addr=\"1\" "
         "id=\"p\"/></output_file></output_files>",
         "Parent element \"output_file\" does not support \"partition\" element"},
        {"<bitstreams><bitstream id=\"b\"><path security_opt_secure=\"1\">a.sof</path></bitstream></bitstreams>",
         "element path, attribute security_opt_secure: Supported string are \"2|3\", but the input is \"1\""},
        {"<settings mode=\"PS\">fast</settings>", "Element SETTINGS must not have value"},
        {"<settings mode=\"PS\" speed=\"fast\"/>", "Attribute speed is not supported by element SETTINGS"},
    };
    TEMP_DIR dir;
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.body);
        write_file(dir.file("job.xml"), std::string("<pfg version=\"1\">") + c.body + "</pfg>\n");
        EXPECT_INTERNAL_ERROR(delete parse(dir.file("job.xml")), std::string("job.xml:1: ") + c.error);
    }
    // Partitions stand under flash_device and mbr; an absent subtype keeps INVALID.
    write_file(dir.file("job.xml"),
               std::string("<pfg version=\"1\"><flash_devices><flash_device type=\"t\" id=\"f\">"
                           "<partition s_addr=\"0\" e_addr=\"1\" id=\"p\"/><mbr e_addr=\"9\" type=\"t\" id=\"m\" "
                           "s_addr=\"2\"><partition s_addr=\"2\" e_addr=\"3\" id=\"q\"/></mbr></flash_device>"
                           "</flash_devices>") +
                   output_start + "</output_file></output_files></pfg>\n");
    std::unique_ptr<ELEMENT> root(parse(dir.file("job.xml")));
    auto* pfg = static_cast<PGM_COMMON_XML_PFG_PFG*>(root.get());
    EXPECT_EQ("q", pfg->flash_devices.at(0)->flash_device.at(0)->mbr.at(0)->partition.at(0)->id);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_INVALID, pfg->output_files.at(0)->output_file.at(0)->subtype);
}

TEST(XmlPfgFile, Schema)
{
    const std::string xsd = PGM_BINARY_DIR "/h/pgm_common_xml_pfg.xsd";
    std::string errors = "untouched", warnings;
    PGM_COMMON_XML::check_xsd(XML_DATA + "pfg_full.xml", xsd, errors, warnings);
    EXPECT_EQ("untouched", errors);
    errors.clear();
    PGM_COMMON_XML::check_xsd(PGM_SOURCE_DIR "/examples/pfg_job.xml", xsd, errors, warnings);
    EXPECT_EQ("", errors);
    delete parse(XML_DATA + "pfg_full.xml", xsd);

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
