// Every XML family of the build, from the tables pgm_xmlgen writes beside
// each family's classes: each class built through its family's rules holds
// the described attribute records and defaults, the example files of each
// family pass its generated schema, which agrees with the loader, and are
// read, written and read back keeping every value.
#include "test_support.h"

#include "pgm/h/pgm_common_xml_export.h"
#include "xml_families.h"

#include <cstring>
#include <dirent.h>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace {

typedef PGM_COMMON_XML_ELEMENT ELEMENT;
typedef std::unique_ptr<ELEMENT> ELEMENT_PTR;

struct FAMILY_ROW {
    std::string word;
    const PGM_COMMON_XML_FAMILY& (*family)();
};

struct CLASS_ROW {
    std::string family, class_name;
    PGM_COMMON_XML_ENUM kind;
    std::string names;
    size_t attributes;
    bool has_text;
    std::function<bool(ELEMENT*)> is_class;
};

struct FIELD_ROW {
    std::string class_name, name;
    std::function<const void*(ELEMENT*)> member;
    BYTE type, exist;
    std::string default_text, allowed;
};

#define XML_CLASS(...)
#define XML_FIELD(...)
#define XML_FAMILY(family) {#family, &pgm_common_xml_##family##_family},
const FAMILY_ROW FAMILIES[] = {
#include "xml_family_tables.inc"
};
#undef XML_FAMILY
#define XML_FAMILY(family)

#undef XML_CLASS
#define XML_CLASS(family, CLASS, KIND, names, attributes, has_text)                                              \
    {#family, #CLASS, PGM_COMMON_XML_ENUM_##KIND, names, attributes, has_text,                                     \
     [](ELEMENT* e) { return dynamic_cast<CLASS*>(e) != nullptr; }},
const CLASS_ROW CLASSES[] = {
#include "xml_family_tables.inc"
};
#undef XML_CLASS
#define XML_CLASS(...)

#undef XML_FIELD
#define XML_FIELD(CLASS, name, member, TYPE, EXIST, default_text, allowed)                                       \
    {#CLASS, name, [](ELEMENT* e) -> const void* { return &dynamic_cast<CLASS&>(*e).member; }, PGM_XML_TYPE_##TYPE, \
     PGM_XML_EXIST_##EXIST, default_text, allowed},
const FIELD_ROW FIELDS[] = {
#include "xml_family_tables.inc"
};

std::string lower(std::string text)
{
    for (char& c : text)
        c = char(tolower(c));
    return text;
}

const FAMILY_ROW& family_named(const std::string& word)
{
    for (const FAMILY_ROW& row : FAMILIES) {
        if (row.word == word)
            return row;
    }
    throw std::runtime_error("no family " + word);
}

// An object of the class, made as the loader makes it: the root, or
// through the rule that creates the class, under its first element name.
ELEMENT* create(const CLASS_ROW& row)
{
    const PGM_COMMON_XML_FAMILY& family = family_named(row.family).family();
    if (family.root_type == row.kind)
        return family.create_root();
    for (const PGM_COMMON_XML_CHILD_RULE& rule : family.rules) {
        if (rule.childs == row.names) {
            std::string first = row.names.substr(0, row.names.find('|'));
            return rule.create(PGM_COMMON_XML_UTIL::convert_string_to_enum(upper(first), true));
        }
    }
    return nullptr;
}

bool bool_word(const std::string& text) { return text == "ON" || text == "1" || text == "true"; }

// The member holds the default converted by its type.
void expect_default(const FIELD_ROW& field, const void* member)
{
    const std::string& def = field.default_text;
    switch (field.type) {
    case PGM_XML_TYPE_BOOL:
        EXPECT_EQ(bool_word(def), *static_cast<const bool*>(member));
        break;
    case PGM_XML_TYPE_PGM_XML_BOOL:
        EXPECT_EQ(def.empty() || def == "tristate" ? 2 : bool_word(def) ? 1 : 0, *static_cast<const BYTE*>(member));
        break;
    case PGM_XML_TYPE_INTEGER:
        EXPECT_EQ(PGM_COMMON::convert_string_to_integer(def, false, NULL, NULL, false),
                  *static_cast<const int*>(member));
        break;
    case PGM_XML_TYPE_DWORD:
        EXPECT_EQ(PGM_COMMON::convert_string_to_special_dword(def, "<<", false, NULL),
                  *static_cast<const DWORD*>(member));
        break;
    case PGM_XML_TYPE_STRING:
    case PGM_XML_TYPE_CPP_STRING:
        EXPECT_EQ(def, *static_cast<const std::string*>(member));
        break;
    case PGM_XML_TYPE_IGNORE:
        EXPECT_EQ("", *static_cast<const std::string*>(member));
        break;
    case PGM_XML_TYPE_HEX_DATA:
    case PGM_XML_TYPE_STDHEX_DATA: {
        const PGM_COMMON_XML_HEX_DATA& data = *static_cast<const PGM_COMMON_XML_HEX_DATA*>(member);
        DWORD size = 0;
        std::unique_ptr<BYTE[]> bytes;
        if (!def.empty())
            bytes.reset(field.type == PGM_XML_TYPE_HEX_DATA
                            ? PGM_COMMON::convert_hex_string_to_byte_array(def, 0xFFFFFFFF, &size, false, NULL)
                            : PGM_COMMON::convert_standard_hex_string_to_byte_array(def, 0xFFFFFFFF, &size, false,
                                                                                     NULL));
        ASSERT_EQ(size, data.size);
        EXPECT_TRUE(size == 0 ? data.data == nullptr : std::memcmp(bytes.get(), data.data, size) == 0);
        break;
    }
    case PGM_XML_TYPE_ENUM:
        EXPECT_EQ(def == "_INVALID__" ? PGM_COMMON_XML_ENUM__INVALID__
                                      : PGM_COMMON_XML_UTIL::convert_string_to_enum(def, true),
                  *static_cast<const PGM_COMMON_XML_ENUM*>(member));
        break;
    default:
        ADD_FAILURE() << "type " << int(field.type);
    }
}

// The record of one field: the element's text ("" as name) or an attribute.
void expect_record(const FIELD_ROW& field, const std::string& name, BYTE type, BYTE exist,
                   const std::string& default_string, const std::string& enum_string, const void* ptr, ELEMENT* e)
{
    SCOPED_TRACE(field.class_name + " " + (field.name.empty() ? "text" : field.name));
    EXPECT_EQ(field.name, name);
    EXPECT_EQ(field.type, type);
    EXPECT_EQ(field.exist, exist);
    EXPECT_EQ(field.default_text, default_string);
    EXPECT_EQ(field.allowed, enum_string);
    // Every allowed value is a name-table entry.
    for (const std::string& value : enum_string.empty() ? std::vector<std::string>()
                                                        : PGM_COMMON::split_string(enum_string, "|", false, true))
        EXPECT_NE(PGM_COMMON_XML_ENUM__INVALID__, PGM_COMMON_XML_UTIL::convert_string_to_enum(value, false)) << value;
    ASSERT_EQ(field.member(e), ptr);
    expect_default(field, ptr);
}

std::string xsd_of(const std::string& family) { return PGM_BINARY_DIR "/h/pgm_common_xml_" + family + ".xsd"; }

// The family whose root element has the name, with its file kind.
const FAMILY_ROW* family_of_root(const std::string& name, PGM_COMMON_XML_FILE_ENUM& kind)
{
    for (const FAMILY_ROW& row : FAMILIES) {
        for (int k = 0; k < PGM_COMMON_XML_FILE_MAX; ++k) {
            kind = PGM_COMMON_XML_FILE_ENUM(k);
            if (PGM_COMMON_XML::get_family(kind) == &row.family() &&
                lower(PGM_COMMON_XML_UTIL::convert_enum_to_string(row.family().root_type)) == name)
                return &row;
        }
    }
    return nullptr;
}

// The name of a file's document element.
std::string root_name(const std::string& path)
{
    const std::string text = read_file(path);
    size_t at = 0;
    while ((at = text.find('<', at)) != std::string::npos && (text[at + 1] == '?' || text[at + 1] == '!'))
        ++at;
    return text.substr(at + 1, text.find_first_of(" \t\r\n/>", at) - at - 1);
}

std::vector<std::string> example_files()
{
    std::vector<std::string> files = {PGM_SOURCE_DIR "/tests/data/xml/pfg_full.xml"};
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(PGM_SOURCE_DIR "/examples"), closedir);
    for (dirent* entry = dir ? readdir(dir.get()) : nullptr; entry; entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".xml") == 0)
            files.push_back(PGM_SOURCE_DIR "/examples/" + name);
    }
    return files;
}

// Whether xmllint finds the file valid under the schema.
bool xmllint_valid(const std::string& file, const std::string& xsd)
{
    return run_command(std::string(PGM_XMLLINT) + " --noout --schema '" + xsd + "' '" + file + "'").exit_code == 0;
}

} // namespace

TEST(XmlFamilies, EveryClassHoldsItsDescribedDefaults)
{
    ASSERT_NE(0u, sizeof(FAMILIES) / sizeof(FAMILIES[0]));
    size_t checked = 0;
    for (const CLASS_ROW& row : CLASSES) {
        SCOPED_TRACE(row.class_name);
        std::unique_ptr<ELEMENT> e(create(row));
        ASSERT_NE(nullptr, e);
        EXPECT_TRUE(row.is_class(e.get()));
        EXPECT_EQ(row.kind, e->info.class_type);
        ASSERT_EQ(3 + row.attributes, e->attribute_info.size());
        EXPECT_EQ(row.has_text, e->info.type != PGM_XML_TYPE_NONE);
        size_t attribute = 3;
        for (const FIELD_ROW& field : FIELDS) {
            if (field.class_name != row.class_name)
                continue;
            ++checked;
            if (field.name.empty()) {
                const PGM_COMMON_XML_INFO& info = e->info;
                expect_record(field, "", info.type, info.exist, info.default_string, info.enum_string, info.ptr,
                              e.get());
            } else {
                const PGM_COMMON_XML_ATTRIBUTE_INFO& a = e->attribute_info.at(attribute++);
                expect_record(field, a.name, a.type, a.exist, a.default_string, a.enum_string, a.ptr, e.get());
            }
        }
        EXPECT_EQ(e->attribute_info.size(), attribute);
    }
    EXPECT_EQ(sizeof(FIELDS) / sizeof(FIELDS[0]), checked);
    // A rule's object takes the element name it is made for as sub-class.
    for (const FAMILY_ROW& row : FAMILIES) {
        for (const PGM_COMMON_XML_CHILD_RULE& rule : row.family().rules)
            EXPECT_EQ(PGM_COMMON_XML_ENUM_HEX, ELEMENT_PTR(rule.create(PGM_COMMON_XML_ENUM_HEX))->info.sub_class_type);
    }
}

// The examples pass their family's schema through the library, xmllint and
// the loader with the schema; pgmtool prints the same schema.
TEST(XmlFamilies, ExamplesPassTheGeneratedSchema)
{
    const std::map<std::string, std::string> pgmtool_kinds = {
        {"fbgen_assembler", "fbgen"}, {"gfpdb_qspi", "qspi"}, {"gfpdb_sdmmc", "sdmmc"}};
    ASSERT_FALSE(std::string(PGM_XMLLINT).empty()) << "xmllint is missing (scripts/install-deps.sh installs it)";
    for (const std::string& file : example_files()) {
        SCOPED_TRACE(file);
        PGM_COMMON_XML_FILE_ENUM kind = PGM_COMMON_XML_FILE_MAX;
        const FAMILY_ROW* family = family_of_root(root_name(file), kind);
        ASSERT_NE(nullptr, family) << "no family of this build has the root element " << root_name(file);
        const std::string xsd = xsd_of(family->word);
        std::string errors, warnings;
        PGM_COMMON_XML::check_xsd(file, xsd, errors, warnings);
        EXPECT_EQ("", errors);
        EXPECT_TRUE(xmllint_valid(file, xsd));
        load_xml(kind, file, xsd);
        auto word = pgmtool_kinds.find(family->word);
        RUN_RESULT printed = run_pgmtool("xml --print-xsd --kind=" +
                                         (word == pgmtool_kinds.end() ? family->word : word->second));
        EXPECT_EQ(0, printed.exit_code);
        EXPECT_EQ(read_file(xsd), printed.output);
        EXPECT_EQ(std::string(family->family().xsd), printed.output);
    }
}

// Values at the edges of what the loader takes are judged alike by the
// schema (through the library and xmllint) and the loader.
TEST(XmlFamilies, SchemaAgreesWithTheLoader)
{
    struct CASE {
        const char* body;
        bool valid;
    };
    const CASE cases[] = {
        // numbers: the loader's forms, shifts and "|" lists, blanks around
        {"<pfg version=\"0x1f\"/>", true},
        {"<pfg version=\" 1 &lt;&lt; 4 | b101 \"/>", true},
        {"<pfg version=\"-1\"/>", true},
        {"<pfg version=\"0x\"/>", true},
        {"<pfg version=\"0X1F\"/>", false},
        {"<pfg version=\"1 &lt;&lt;\"/>", false},
        {"<pfg version=\"1|\"/>", false},
        {"<pfg version=\"\"/>", false},
        // empty optional attributes count as absent; required ones do not
        {"<pfg version=\"1\"><settings mode=\"PS\" custom_db_dir=\"\"/></pfg>", true},
        {"<pfg version=\"1\"><raw_files><raw_file type=\"RBF\" id=\"r\" bitswap=\"\">a</raw_file></raw_files></pfg>",
         true},
        {"<pfg version=\"1\"><raw_files><raw_file type=\"RBF\" id=\"\">a</raw_file></raw_files></pfg>", false},
        {"<pfg version=\"1\"><raw_files><raw_file type=\"RBF\" id=\"r\" bitswap=\"yes\">a</raw_file></raw_files>"
         "</pfg>",
         false},
        // blank text is no text
        {"<pfg version=\"1\"><settings mode=\"PS\">\n\t </settings></pfg>", true},
        {"<pfg version=\"1\"><settings mode=\"PS\">x</settings></pfg>", false},
        {"<pfg version=\"1\"><raw_files><raw_file type=\"RBF\" id=\"r\"> \n</raw_file></raw_files></pfg>", false},
        // conditions on any element, children in any order
        {"<pfg version=\"1\"><assignments><assignment partition_id=\"p\" __if_skip__=\"A\"><bitstream_id>b"
         "</bitstream_id><raw_file_id __hidden__=\"h\">r</raw_file_id></assignment></assignments></pfg>",
         true},
        {"<pfg version=\"1\"><flash_devices><flash_device type=\"t\" id=\"f\"/><flash_loader>l</flash_loader>"
         "</flash_devices></pfg>",
         true},
        // unknown child, missing required attribute, bad enumeration value
        {"<pfg version=\"1\"><raw_files><partition s_addr=\"0\" e_addr=\"1\" id=\"p\"/></raw_files></pfg>", false},
        {"<pfg version=\"1\"><settings/></pfg>", false},
        {"<pfg version=\"1\"><settings mode=\"AS\"/></pfg>", false},
        {"<pfg version=\"1\"><settings mode=\"PS\" speed=\"1\"/></pfg>", false},
    };
    TEMP_DIR dir;
    const std::string file = dir.file("job.xml"), xsd = xsd_of("pfg");
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.body);
        write_file(file, c.body);
        std::string errors, warnings;
        PGM_COMMON_XML::check_xsd(file, xsd, errors, warnings);
        EXPECT_EQ(c.valid, errors.empty()) << errors;
        EXPECT_EQ(c.valid, xmllint_valid(file, xsd));
        bool loaded = true;
        try {
            load_xml(PGM_COMMON_XML_FILE_PFG, file);
        } catch (const PGM_INTERNAL_ERROR&) {
            loaded = false;
        }
        EXPECT_EQ(c.valid, loaded);
    }
}

// Each example gives every class and every attribute a value other than its
// default; written and read back, and written by pgmtool, it keeps them all.
TEST(XmlFamilies, ExamplesRoundTrip)
{
    struct CASE {
        PGM_COMMON_XML_FILE_ENUM kind;
        std::string file, pgmtool_kind;
        std::vector<std::string> written; // texts the written file holds
    };
    const CASE cases[] = {
        {PGM_COMMON_XML_FILE_PFG, "tests/data/xml/pfg_full.xml", "pfg",
         {" password=\"p&amp;ss &quot;word&quot;\"",
          "/data/j\xC3\xBCrgen/\xC3\x9C" "berpr\xC3\xBC" "fung/boot_\xC2\xB5" "C.hex"}},
        {PGM_COMMON_XML_FILE_FBGEN_ASSEMBLER, "examples/fbgen_assembler.xml", "fbgen",
         {"<comment_action>Start of the &quot;boot&quot; &amp; load sequence",
          "    <bitstream>\n        <cmf_section"}},
        {PGM_COMMON_XML_FILE_GFPDB_QSPI, "examples/gfpdb_qspi.xml", "qspi",
         {"<description>Erase a 4-Kbyte subsector &amp; wait</description>"}},
        {PGM_COMMON_XML_FILE_GFPDB_SDMMC, "examples/gfpdb_sdmmc.xml", "sdmmc",
         {"<device_density>128Gb</device_density>"}},
        {PGM_COMMON_XML_FILE_FUSE_DB, "examples/fuse_db.xml", "fuse_db",
         {"user_name=\"User fuses &amp; &quot;owner&quot; data\""}},
    };
    TEMP_DIR dir;
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string file = PGM_SOURCE_DIR "/" + c.file;
        XML_TREE first = load_xml(c.kind, file);
        std::set<std::string> given, all;
        std::function<void(ELEMENT*)> collect = [&](ELEMENT* e) {
            const std::string kind = name_of(e->info.class_type);
            given.insert(kind);
            for (size_t i = 3; i < e->attribute_info.size(); ++i) {
                const PGM_COMMON_XML_ATTRIBUTE_INFO& a = e->attribute_info[i];
                if (!a.string.empty() && a.string != a.default_string && member_text(a.type, a.ptr) != a.default_string)
                    given.insert(kind + "." + a.name);
            }
            if (e->info.ptr && !e->info.string.empty() && e->info.string != e->info.default_string)
                given.insert(kind + " text");
            for (ELEMENT* child : e->get_childs())
                collect(child);
        };
        collect(first.get());
        for (const ELEMENT_PTR& e : every_class(*PGM_COMMON_XML::get_family(c.kind))) {
            const std::string kind = name_of(e->info.class_type);
            all.insert(kind);
            for (size_t i = 3; i < e->attribute_info.size(); ++i) {
                if (e->attribute_info[i].exist != PGM_XML_EXIST_MUST_NOT)
                    all.insert(kind + "." + e->attribute_info[i].name);
            }
            if (e->info.ptr)
                all.insert(kind + " text");
        }
        EXPECT_EQ(all, given);

        PGM_COMMON_XML::write_xml(first.get(), dir.file("written.xml"));
        const std::string written = read_file(dir.file("written.xml"));
        for (const std::string& text : c.written)
            EXPECT_NE(std::string::npos, written.find(text)) << text;
        EXPECT_EQ(dump(first.get()), dump(load_xml(c.kind, dir.file("written.xml")).get()));
        RUN_RESULT result = run_pgmtool("xml '" + file + "' --kind=" + c.pgmtool_kind + " --out=out.xml", dir.path());
        EXPECT_EQ(0, result.exit_code) << result.error;
        EXPECT_EQ(written, read_file(dir.file("out.xml")));
    }
}
