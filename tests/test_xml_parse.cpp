// Loading XML configuration files: the reading rules of attributes and text,
// the dispatcher's refusals, element-name matching, the condition filter,
// schema validation, the written form, encoded files, untrusted documents
// and pgmtool xml. The programming-file generator classes serve as schema.
//   tests/data/xml/parse/job.xsd: raw files only, no condition attributes
#include "test_support.h"

#include "h/pgm_common_xml_pfg_auto_export.h"
#include "pgm/h/pgm_common_xml_export.h"

#include <memory>

XERCES_CPP_NAMESPACE_USE

namespace {

typedef PGM_COMMON_XML_PFG_PFG ROOT;
typedef std::unique_ptr<ROOT> JOB;
const std::string JOB_XSD = PGM_SOURCE_DIR "/tests/data/xml/parse/job.xsd";

struct OPTIONS {
    std::string continue_conditions, skip_conditions, xsd, replacement;
    bool encoded = false;
};

JOB load(const std::string& path, const OPTIONS& options = OPTIONS())
{
    void* root = PGM_COMMON_XML::parse_xml(PGM_COMMON_XML_FILE_PFG, path, options.xsd, options.encoded,
                                           options.continue_conditions, options.skip_conditions,
                                           options.replacement);
    return JOB(static_cast<ROOT*>(static_cast<PGM_COMMON_XML_ELEMENT*>(root)));
}

// Loads the text from a file named job.xml.
JOB load_text(const std::string& text, const OPTIONS& options = OPTIONS())
{
    TEMP_DIR dir;
    write_file(dir.file("job.xml"), text);
    return load(dir.file("job.xml"), options);
}

std::string written(PGM_COMMON_XML_ELEMENT* root, bool skip_builtins = false)
{
    std::string text;
    PGM_COMMON_XML::write_xml_element(root, text, "", skip_builtins, skip_builtins, skip_builtins);
    return text;
}

std::string capture_stderr(const std::function<void()>& fn)
{
    testing::internal::CaptureStderr();
    try {
        fn();
    } catch (...) {
        testing::internal::GetCapturedStderr();
        throw;
    }
    return testing::internal::GetCapturedStderr();
}

std::string raw_files(const std::string& content)
{
    return "<pfg version=\"1\"><raw_files>" + content + "</raw_files></pfg>";
}

// The ids of the raw files and bitstreams left in a job, from the typed lists.
std::string ids(ROOT* job)
{
    std::string text;
    for (auto* files : job->raw_files)
        for (auto* file : files->raw_file)
            text += file->id + " ";
    for (auto* bitstreams : job->bitstreams)
        for (auto* bitstream : bitstreams->bitstream)
            text += bitstream->id + " ";
    return text;
}

class FAKE_DOM_ERROR : public DOMError {
public:
    explicit FAKE_DOM_ERROR(ErrorSeverity severity) : severity_(severity) {}
    ErrorSeverity getSeverity() const override { return severity_; }
    const XMLCh* getMessage() const override { return nullptr; }
    DOMLocator* getLocation() const override { return nullptr; }
    void* getRelatedException() const override { return nullptr; }
    const XMLCh* getType() const override { return nullptr; }
    void* getRelatedData() const override { return nullptr; }

private:
    ErrorSeverity severity_;
};

} // namespace

TEST(XmlParseRead, TextAttributesCommentsAndWhiteSpace)
{
    JOB job = load_text("<!-- head -->\n<pfg version=\"7\">\n  <!-- c -->\n  <raw_files>\n    <!-- c2 -->\n"
                        "    <raw_file type=\"HEX\" id=\"a\" bitswap=\"\">  12  </raw_file>\n  </raw_files>\n</pfg>\n");
    EXPECT_EQ(7u, job->version);
    auto* file = job->raw_files.at(0)->raw_file.at(0);
    EXPECT_EQ("  12  ", file->value);
    EXPECT_EQ("  12  ", file->info.string);
    EXPECT_FALSE(file->bitswap); // given empty: treated as absent
    EXPECT_EQ("", file->attribute_info[file->get_attribute_index("bitswap")].string);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_HEX, file->type);
    // The root's name is not examined, only what it holds.
    EXPECT_EQ(3u, load_text("<job version=\"3\"/>")->version);
}

TEST(XmlParseRead, RefusedDocuments)
{
    const std::string at = "job.xml:1: ";
    const std::pair<std::string, std::string> cases[] = {
        {raw_files("<raw_file type=\"RBF\" id=\"a\">\n\t</raw_file>"), at + "Element RAW_FILE must have value"},
        {raw_files("text"), at + "Element RAW_FILES must not have value"},
        {raw_files("<raw_file type=\"RBF\" id=\"\">x</raw_file>"),
         at + "Element RAW_FILE attribute id must exist but not"},
        {raw_files("<raw_file type=\"RBF\" id=\"a\" size=\"1\">x</raw_file>"),
         at + "Attribute size is not supported by element RAW_FILE"},
        {"<pfg version=\"1\"><bitstreams><path>p</path></bitstreams></pfg>",
         at + "Parent element \"bitstreams\" does not support \"path\" element"},
        {"<job version=\"1\"><raw_files/></job>", at + "Parent element \"job\" does not support \"raw_files\" element"},
        {"<pfg version=\"1\"><?target data?></pfg>", at + "Parent element \"pfg\" does not support \"target\" element"},
        {"<pfg version=\"1\"><![CDATA[x]]></pfg>",
         at + "Parent element \"pfg\" does not support \"#cdata-section\" element"},
        {"<pfg version=\"1\"><settings mode=\"PS\"/><settings mode=\"PS\"/></pfg>",
         "Element PFG has invalid SETTINGS child count, expected invalid range is \"0, 1\" but found 2"},
        {"<pfg version=\"1\"><raw_files></pfg>", "Error during XML parsing"},
        {"<pfg/>", at + "Element PFG attribute version must exist but not"},
        {"", "!filestring.empty()"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        capture_stderr([&] { EXPECT_INTERNAL_ERROR(load_text(c.first), c.second); });
    }
    try {
        capture_stderr([] { load_text("<pfg"); });
        ADD_FAILURE() << "no internal error";
    } catch (const PGM_INTERNAL_ERROR& error) {
        EXPECT_EQ("h/pgm_common_xml_pfg_auto", error.file());
    }
}

// A value the loader refuses is told with the line of its element's start
// tag, the element and the attribute, before the reason.
TEST(XmlParseRead, RefusedValuesNameTheirLineElementAndAttribute)
{
    const std::string head = "<?xml version=\"1.0\"?>\n<!-- a job -->\n<pfg version=\"1\">\n  <raw_files>\n";
    const std::string tail = "  </raw_files>\n  <settings mode=\"PS\"/>\n</pfg>\n";
    const std::pair<std::string, std::string> cases[] = {
        {"    <raw_file type=\"RBF\" id=\"a\"\n      bitswap=\"maybe\">x</raw_file>\n",
         "job.xml:5: element raw_file, attribute bitswap: string == \"OFF\" || string == \"0\" || string == \"false\""},
        {"\n\n    <raw_file\n type=\"RBF\">x</raw_file>\n",
         "job.xml:7: Element RAW_FILE attribute id must exist but not"},
        {"    <raw_file type=\"RBF\" id=\"a\">x</raw_file><!-- c -->\n"
         "    <raw_file type=\"RBF\" id=\"b\"> </raw_file>\n",
         "job.xml:6: Element RAW_FILE must have value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_INTERNAL_ERROR(load_text(head + c.first + tail), c.second);
    }
    std::string bogus = head + tail;
    bogus.replace(bogus.find("\"PS\""), 4, "\"BOGUS\"");
    EXPECT_INTERNAL_ERROR(load_text(bogus), "job.xml:6: element settings, attribute mode: Supported string are "
                                            "\"PS|FPP|ASX1|ASX4|AVSTX8|AVSTX16|AVSTX32|INTERNAL\", but the input is "
                                            "\"BOGUS\"");
    bogus.replace(bogus.find("version=\"1\""), 11, "version=\"x1\"");
    EXPECT_INTERNAL_ERROR(load_text(bogus), "job.xml:3: element pfg, attribute version: Invalid string \"x1\" to "
                                            "qword conversion");
}

TEST(XmlParseRead, KindsFilesAndReplacements)
{
    EXPECT_INTERNAL_ERROR(PGM_COMMON_XML::parse_xml(PGM_COMMON_XML_FILE_MAX, "x", "", false, "", "", ""),
                          "Unsupported XML file type");
    EXPECT_INTERNAL_ERROR(load("/nonexistent/job.xml"), "Cannot locate file /nonexistent/job.xml.");
    const std::string text = "<pfg version=\"__@VER@__1__!VER!__\"/>";
    EXPECT_EQ(1u, load_text(text)->version);
    OPTIONS options;
    options.replacement = "VER=5";
    EXPECT_EQ(5u, load_text(text, options)->version);
}

TEST(XmlParseDom, LinesOfStartTags)
{
    PGM_COMMON_XML_PARSER_DOM dom, other;
    DOMDocument* doc = dom.loadconfig("<!-- c -->\n<a\n x=\"1\">\n  <b/><c\n y=\"2\"\n/>\n  <!-- c -->\n\n<d>t</d></a>",
                                      NULL, "t.xml", true);
    DOMDocument* foreign = other.loadconfig("<a/>", NULL, "u.xml", true);
    ASSERT_TRUE(doc != NULL && foreign != NULL);
    DOMElement* a = doc->getDocumentElement();
    std::vector<std::string> where;
    for (DOMNode* node = a->getFirstChild(); node != NULL; node = node->getNextSibling())
        where.push_back(dom.get_location_of_node(node));
    // The root is told where its start tag ends; text and comments have no line.
    EXPECT_EQ(3u, dom.get_line_of_node(a));
    EXPECT_EQ((std::vector<std::string>{"t.xml", "t.xml:4", "t.xml:4", "t.xml", "t.xml", "t.xml", "t.xml:9"}), where);
    EXPECT_EQ(0u, dom.get_line_of_node(foreign->getDocumentElement()));
    EXPECT_EQ(1u, other.get_line_of_node(foreign->getDocumentElement()));
    EXPECT_EQ("", dom.get_location_of_node(NULL));
}

TEST(XmlParseDom, MatchElementName)
{
    const struct {
        const char* name;
        const char* list;
        bool match;
    } cases[] = {{"a", "x|ab|a", true}, {"a", "x|ab", false}, {"ab", "ab", true}, {"a", "ab", false},
                 {"b", "a|b", true}};
    for (const auto& c : cases)
        EXPECT_EQ(c.match, PGM_COMMON_XML_HELPER::match_element_name(c.name, c.list)) << c.name << " " << c.list;
    for (const char* list : {"|a", "a|", "||"})
        EXPECT_INTERNAL_ERROR(PGM_COMMON_XML_HELPER::match_element_name("a", list),
                              "name_list.size() > 2 && name_list.at(0) != '|' && "
                              "name_list.at(name_list.size()-1) != '|'");
    EXPECT_INTERNAL_ERROR(PGM_COMMON_XML_HELPER::match_element_name("", "a"),
                          "name.size() > 0 && name_list.size() > 0");
}

TEST(XmlParseDom, MessagesNodesAndOneLoadPerObject)
{
    PGM_COMMON_XML_PARSER_DOM dom;
    DOMDocument* doc = dom.loadconfig(std::string("<a k=\"v\">\n <b>t</b><b/></c>"), NULL, "mem.xml", true);
    ASSERT_TRUE(doc != NULL && dom.get_error_handler()->getSawErrors());
    EXPECT_EQ("Fatal Error at file \"mem.xml\", line 2, column 16\n   Message: expected end of tag 'a'\n",
              dom.get_error_handler()->getMsg());
    DOMElement* a = doc->getDocumentElement();
    EXPECT_EQ("v", PGM_COMMON_XML_DOM_HELPER::get_attribute_string_from_dom_element(a, "k"));
    EXPECT_EQ("", PGM_COMMON_XML_DOM_HELPER::get_attribute_string_from_dom_element(a, "none"));
    EXPECT_TRUE(PGM_COMMON_XML_HELPER::match_attribute(a, "k", "v"));
    EXPECT_EQ(2u, PGM_COMMON_XML_DOM_HELPER::get_elements_by_tag_name(a, "b")->getLength());
    EXPECT_EQ("#text", PGM_COMMON_XML_DOM_HELPER::get_element_name_from_node(a->getFirstChild()));
    EXPECT_EQ("", PGM_COMMON_XML_DOM_HELPER::get_text_content_from_dom_element(a, true));
    EXPECT_INTERNAL_ERROR(PGM_COMMON_XML_DOM_HELPER::get_attribute_string_from_dom_node(a->getFirstChild(), "k"),
                          "element != NULL");
    EXPECT_INTERNAL_ERROR(PGM_COMMON_XML_HELPER::insignificant_attribute(a->getAttributes()),
                          "attributes == NULL || attributes->getLength() == 0");
    EXPECT_INTERNAL_ERROR(dom.loadconfig(std::string("<a/>"), NULL, "mem.xml", true), "m_parser == NULL");

    PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER collected(true);
    const std::pair<DOMError::ErrorSeverity, const char*> headings[] = {
        {DOMError::DOM_SEVERITY_WARNING, "\nWarning at file "},
        {DOMError::DOM_SEVERITY_ERROR, "\nError at file "},
        {DOMError::DOM_SEVERITY_FATAL_ERROR, "\nFatal Error at file "}};
    std::string expected;
    for (const auto& heading : headings) {
        EXPECT_TRUE(collected.handleError(FAKE_DOM_ERROR(heading.first)));
        expected += heading.second;
    }
    EXPECT_EQ(expected, collected.getMsg());
    EXPECT_TRUE(collected.getSawErrors());
    collected.resetErrors();
    EXPECT_FALSE(collected.getSawErrors());
    PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER printed(false);
    FAKE_DOM_ERROR error(DOMError::DOM_SEVERITY_ERROR);
    EXPECT_EQ("\nError at file ", capture_stderr([&] { printed.handleError(error); }));
    EXPECT_EQ("", printed.getMsg());
}

TEST(XmlParseFilter, ConditionsRemoveSubtreesAndKeepOrder)
{
    const std::string text = "<pfg version=\"1\"><raw_files>"
                             "<raw_file type=\"RBF\" id=\"r1\" __if_continue__=\"A|B\">x</raw_file>"
                             "<raw_file type=\"RBF\" id=\"r2\" __if_continue__=\"B|C\">x</raw_file>"
                             "<raw_file type=\"RBF\" id=\"r3\" __if_skip__=\"C\">x</raw_file>"
                             "<raw_file type=\"RBF\" id=\"r4\" __if_continue__=\"A\" __if_skip__=\"D\">x</raw_file>"
                             "</raw_files><bitstreams __if_continue__=\"B\">"
                             "<bitstream id=\"b1\" __if_skip__=\"C\"><path>p</path></bitstream>"
                             "<bitstream id=\"b2\"><path>p</path></bitstream></bitstreams></pfg>";
    const struct {
        const char* continue_conditions;
        const char* skip_conditions;
        const char* ids;
    } cases[] = {{"", "", "r1 r2 r3 r4 b1 b2 "}, {"A", "", "r1 r3 r4 "},    {"B", "", "r1 r2 r3 b1 b2 "},
                 {"", "C", "r1 r2 r4 b2 "},       {"B", "C|D", "r1 r2 b2 "}, {" A | B ", "", "r1 r2 r3 r4 b1 b2 "}};
    for (const auto& c : cases) {
        OPTIONS options;
        options.continue_conditions = c.continue_conditions;
        options.skip_conditions = c.skip_conditions;
        EXPECT_EQ(c.ids, ids(load_text(text, options).get())) << c.continue_conditions << " / " << c.skip_conditions;
    }
    OPTIONS bar;
    bar.continue_conditions = "|";
    EXPECT_INTERNAL_ERROR(load_text(text, bar), "conditions.size() > 0");
    EXPECT_INTERNAL_ERROR(load_text("<pfg version=\"1\" __if_skip__=\"A\"/>"), "get_element_if_skip(element).empty()");
    EXPECT_INTERNAL_ERROR(load_text("<pfg version=\"1\" __if_continue__=\"A\"/>"),
                          "get_element_if_continue(element).empty()");
}

TEST(XmlParseFilter, ManyChildrenAreFilteredInOnePass)
{
    const int count = 100000;
    ROOT job;
    auto* files = new PGM_COMMON_XML_PFG_RAW_FILES();
    job.add_child(files);
    for (int i = 0; i < count; ++i) {
        auto* file = new PGM_COMMON_XML_PFG_RAW_FILE();
        file->id = std::to_string(i);
        file->attribute_info[1].string = i % 3 == 0 ? "C|E" : "D";
        files->add_child(file);
    }
    PGM_COMMON_XML_HELPER::update_if_condition(&job, "", "C");
    ASSERT_EQ(size_t(count - (count + 2) / 3), files->childs.size());
    ASSERT_EQ(files->childs.size(), files->raw_file.size());
    for (size_t k = 0; k < files->raw_file.size(); ++k) {
        int expected = int(k / 2 * 3 + k % 2 + 1);
        ASSERT_EQ(std::to_string(expected), files->raw_file[k]->id);
        ASSERT_EQ(files->childs[k], files->raw_file[k]);
    }
}

TEST(XmlParseSchema, CheckXsdSeparatesErrorsFromWarnings)
{
    TEMP_DIR dir;
    write_file(dir.file("good.xml"), raw_files("<raw_file type=\"RBF\" id=\"a\">x</raw_file>"));
    write_file(dir.file("bad.xml"), "<pfg version=\"x\">\n<raw_files/></pfg>");
    std::string errors = "untouched", warnings = "old";
    PGM_COMMON_XML::check_xsd(dir.file("good.xml"), JOB_XSD, errors, warnings);
    EXPECT_EQ("untouched", errors);
    EXPECT_EQ("", warnings);
    warnings = "untouched";
    PGM_COMMON_XML::check_xsd(dir.file("bad.xml"), JOB_XSD, errors, warnings);
    EXPECT_EQ("Error at file \"bad.xml\", line 1, column 18\n"
              "   Message: value 'x' does not match regular expression facet '[+\\-]?[0-9]+'\n",
              errors);
    EXPECT_EQ("untouched", warnings);
    // A schema the parser cannot read leaves nothing to pass against.
    PGM_COMMON_XML::check_xsd(dir.file("good.xml"), dir.file("none.xsd"), errors, warnings);
    EXPECT_NE(std::string::npos, errors.find("Message: the schema could not be read\n")) << errors;
}

TEST(XmlParseSchema, TheFilteredTreeWithoutConditionsIsValidated)
{
    const std::string text = "<pfg version=\"2\">\n<settings mode=\"PS\" __if_continue__=\"X\"/>\n"
                             "<raw_files __hidden__=\"h\">"
                             "<raw_file type=\"RBF\" id=\"a\" __if_skip__=\"Z\">x</raw_file></raw_files></pfg>";
    OPTIONS options;
    options.xsd = JOB_XSD;
    options.continue_conditions = "A";
    EXPECT_EQ("a ", ids(load_text(text, options).get()));
    options.continue_conditions = "";
    std::string messages =
        capture_stderr([&] { EXPECT_INTERNAL_ERROR(load_text(text, options), "Error during XML parsing"); });
    // The text validated is the tree written anew, named apart from the file.
    EXPECT_EQ(0u, messages.find("Error at file \"job.xml (as loaded)\", line 2, column ")) << messages;
    options.replacement = "UNUSED=1";
    messages = capture_stderr([&] { EXPECT_INTERNAL_ERROR(load_text(text, options), "Error during XML parsing"); });
    EXPECT_EQ(0u, messages.find("Error at file \"job.xml (filtered)\", line 2, column ")) << messages;
}

TEST(XmlParseWrite, FormatEscapingAndBuiltins)
{
    JOB job = load_text("<pfg version=\"1\" __hidden__=\"h\"><settings mode=\"PS\"/><raw_files>"
                        "<raw_file type=\"RBF\" id=\"a&quot;b&amp;c&apos;&lt;&gt;\" __if_continue__=\"A\">"
                        "x&lt;y</raw_file>"
                        "</raw_files><bitstreams><bitstream id=\"b\"><path signing=\"ON\">p</path></bitstream>"
                        "</bitstreams></pfg>");
    EXPECT_EQ("<pfg __hidden__=\"h\" version=\"1\">\n"
              "    <settings mode=\"PS\"/>\n"
              "    <raw_files>\n"
              "        <raw_file __if_continue__=\"A\" type=\"RBF\" id=\"a&quot;b&amp;c&apos;&lt;&gt;\">"
              "x&lt;y</raw_file>\n"
              "    </raw_files>\n"
              "    <bitstreams>\n"
              "        <bitstream id=\"b\">\n"
              "            <path signing=\"ON\">p</path>\n"
              "        </bitstream>\n"
              "    </bitstreams>\n"
              "</pfg>\n",
              written(job.get()));
    std::string bare = written(job.get(), true);
    EXPECT_EQ(0u, bare.find("<pfg version=\"1\">\n"));
    EXPECT_EQ(std::string::npos, bare.find("__"));
    PGM_COMMON_XML_PFG_PATH path;
    EXPECT_EQ("<path></path>\n", written(&path));
    PGM_COMMON_XML_PFG_BITSTREAM bitstream;
    EXPECT_EQ("<bitstream id=\"\"/>\n", written(&bitstream));
    EXPECT_INTERNAL_ERROR(written(NULL), "element != NULL");
}

TEST(XmlParseWrite, ReadWriteReadKeepsTheValues)
{
    // UTF-8 texts, and white space that a parser would otherwise change.
    const std::string id = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93\t\n!";
    const std::string value = "caf\xC3\xA9\r/\xC2\xB5";
    JOB job = load_text(raw_files("<raw_file type=\"RBF\" id=\"Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93&#9;&#10;!\">"
                                  "caf\xC3\xA9&#13;/\xC2\xB5</raw_file>"));
    auto* file = job->raw_files.at(0)->raw_file.at(0);
    EXPECT_EQ(id, file->id);
    EXPECT_EQ(value, file->value);
    TEMP_DIR dir;
    const std::string copy = dir.file("new/folder/job.xml");
    PGM_COMMON_XML::write_xml(job.get(), copy);
    EXPECT_EQ(written(job.get()), read_file(copy));
    JOB again = load(copy);
    EXPECT_EQ(id, again->raw_files.at(0)->raw_file.at(0)->id);
    EXPECT_EQ(value, again->raw_files.at(0)->raw_file.at(0)->value);
    EXPECT_EQ(read_file(copy), written(again.get()));

    write_file(dir.file("file.txt"), "");
    EXPECT_INTERNAL_ERROR(PGM_COMMON_XML::write_xml(job.get(), dir.file("file.txt/job.xml")), "out != NULL");
}

TEST(XmlParseWrite, OverwriteAttributeStringSetsMembersOnly)
{
    PGM_COMMON_XML_PFG_RAW_FILE file;
    std::string values[] = {"A", "", "", "ON", "HEX", ""};
    ASSERT_EQ(6u, file.attribute_info.size());
    PGM_COMMON_XML::overwrite_attribute_string(&file, values);
    EXPECT_TRUE(file.bitswap);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_HEX, file.type);
    EXPECT_EQ("", file.id);
    for (const PGM_COMMON_XML_ATTRIBUTE_INFO& entry : file.attribute_info)
        EXPECT_EQ("", entry.string) << entry.name;
    EXPECT_INTERNAL_ERROR(PGM_COMMON_XML::overwrite_attribute_string(&file, NULL),
                          "element != NULL && element->attribute_info.size() != 0 && attribute_values != NULL");
}

TEST(XmlParseEncoded, RoundTripAndRefusedFiles)
{
    TEMP_DIR dir;
    const std::vector<BYTE> sealed = pgm_xml_encode("<pfg version=\"9\"/>");
    OPTIONS options;
    options.encoded = true;
    write_file(dir.file("job.enc"), std::string(sealed.begin(), sealed.end()));
    EXPECT_EQ(9u, load(dir.file("job.enc"), options)->version);

    auto changed = [&](size_t at, BYTE value) {
        std::vector<BYTE> bytes = sealed;
        bytes.at(at) = value;
        return bytes;
    };
    const std::pair<std::vector<BYTE>, int> cases[] = {
        {changed(sealed.size() - 1, BYTE(sealed.back() ^ 1)), PGM_XML_DECODE_BAD_TAG},
        {changed(20, BYTE(sealed[20] ^ 0x80)), PGM_XML_DECODE_BAD_TAG},
        {changed(8, BYTE(sealed[8] ^ 1)), PGM_XML_DECODE_BAD_TAG}, // the IV
        {changed(4, 2), PGM_XML_DECODE_BAD_VERSION},
        {changed(0, 'X'), PGM_XML_DECODE_BAD_MAGIC},
        {std::vector<BYTE>(sealed.begin(), sealed.begin() + 32), PGM_XML_DECODE_TRUNCATED},
        {bytes_of("<pfg version=\"9\"/>"), PGM_XML_DECODE_BAD_MAGIC},
        {pgm_xml_encode(""), PGM_XML_DECODE_OK},
    };
    for (const auto& c : cases) {
        int reason = -1;
        pgm_xml_decode(c.first.data(), c.first.size(), reason);
        EXPECT_EQ(c.second, reason);
        write_file(dir.file("bad.enc"), std::string(c.first.begin(), c.first.end()));
        EXPECT_INTERNAL_ERROR(load(dir.file("bad.enc"), options), "!filestring.empty() && fail_reason == 0");
    }
}

TEST(XmlParseSecurity, EntitiesNeverReachOutsideTheText)
{
    // A document type under which the job is valid, so that only the entities
    // decide. A reference named like an element is read as that element.
    const std::string dtd = "<!ELEMENT pfg (bitstreams)><!ATTLIST pfg version CDATA #REQUIRED>"
                            "<!ELEMENT bitstreams (bitstream)><!ELEMENT bitstream (#PCDATA)>"
                            "<!ATTLIST bitstream id CDATA #REQUIRED>";
    const std::string body = "<pfg version=\"1\"><bitstreams><bitstream id=\"b\">&path;</bitstream></bitstreams></pfg>";
    TEMP_DIR dir;
    const std::string secret = "TOP-SECRET-" + std::to_string(42 * 1001);
    write_file(dir.file("secret.txt"), secret);
    write_file(dir.file("secret.dtd"), dtd + "<!ENTITY path \"" + secret + "\">");
    JOB inside = load_text("<!DOCTYPE pfg [" + dtd + "<!ENTITY path \"inside\">]>" + body);
    EXPECT_EQ("inside", inside->bitstreams.at(0)->bitstream.at(0)->path.at(0)->value);

    std::string laughs = "<!ENTITY a \"lollollollollollollollollollol\">";
    for (char level = 'b'; level <= 'j'; ++level) {
        laughs += std::string("<!ENTITY ") + level + " \"";
        for (int i = 0; i < 10; ++i)
            laughs += std::string("&") + char(level - 1) + ";";
        laughs += "\">";
    }
    const std::string documents[] = {
        "<!DOCTYPE pfg [" + dtd + "<!ENTITY path SYSTEM \"" + dir.file("secret.txt") + "\">]>" + body,
        "<!DOCTYPE pfg [" + dtd + "<!ENTITY path SYSTEM \"file://" + dir.file("secret.txt") + "\">]>" + body,
        "<!DOCTYPE pfg [<!ENTITY % p SYSTEM \"" + dir.file("secret.dtd") + "\"> %p;]>" + body,
        "<!DOCTYPE pfg SYSTEM \"" + dir.file("secret.dtd") + "\">" + body,
        "<!DOCTYPE pfg [" + dtd + laughs + "<!ENTITY path \"&j;\">]>" + body,
    };
    for (const std::string& document : documents) {
        std::string refusal, messages;
        std::string output = capture_stdout([&] {
            messages = capture_stderr([&] {
                try {
                    load_text(document);
                } catch (const PGM_INTERNAL_ERROR& error) {
                    refusal = error.what();
                }
            });
        });
        EXPECT_EQ("Error during XML parsing", refusal);
        EXPECT_EQ(std::string::npos, (output + messages).find(secret)) << messages;
        write_file(dir.file("doc.xml"), document);
        std::string errors, warnings;
        PGM_COMMON_XML::check_xsd(dir.file("doc.xml"), JOB_XSD, errors, warnings);
        EXPECT_FALSE(errors.empty());
        EXPECT_EQ(std::string::npos, (errors + warnings).find(secret));
    }
}

TEST(XmlParsePgmtool, LoadCheckWriteAndEncode)
{
    TEMP_DIR dir;
    const std::string job = dir.file("job.xml");
    write_file(job, "<pfg version=\"__@V@__1__!V!__\"><raw_files>"
                    "<raw_file type=\"RBF\" id=\"a\" __if_continue__=\"A\">x</raw_file>"
                    "<raw_file type=\"RBF\" id=\"b\">y</raw_file></raw_files></pfg>");
    write_file(dir.file("bad.xml"), "<pfg version=\"1\"><bitstreams><path>p</path></bitstreams></pfg>");
    write_file(dir.file("broken.xml"), "<pfg version=\"1\">\n<raw_files>\n</pfg>\n");
    write_file(dir.file("values.xml"), "<pfg version=\"1\">\n<raw_files>\n<raw_file type=\"RBF\" id=\"a\" "
                                       "bitswap=\"maybe\">x</raw_file>\n</raw_files>\n</pfg>\n");
    write_file(dir.file("mode.xml"), "<pfg version=\"1\">\n<settings mode=\"BOGUS\"/>\n</pfg>\n");
    // On line 3 of the file, on line 2 of the tree as written for validation.
    const std::string settings_refused = "no declaration found for element 'settings' (column 44)\n";
    write_file(dir.file("hidden.xml"), "\n\n<pfg version=\"1\"><settings mode=\"PS\" custom_db_dir=\"d\"/></pfg>\n");
    expect_pgmtool(
        {{"xml job.xml --kind=pfg --out=out/copy.xml", 0, "pfg: 4 elements\nWritten to out/copy.xml\n", ""},
         {"xml job.xml --kind pfg '--continue=B|C' --replace V=2 --xsd=" + JOB_XSD + " --out=f.xml", 0,
          "pfg: 3 elements\nWritten to f.xml\n", ""},
         {"xml bad.xml --kind=pfg", 2, "", "bad.xml:1: error: Parent element \"bitstreams\" does not support \"path\" "
                                           "element\n"},
         // Values refused name the line, the element and the attribute; the
         // schema's messages about a filtered tree name that tree.
         {"xml values.xml --kind=pfg", 2, "",
          "values.xml:3: error: element raw_file, attribute bitswap: the value is not one of ON, OFF, 1, 0, true and "
          "false (string == \"OFF\" || string == \"0\" || string == \"false\")\n"},
         {"xml - --kind=pfg < mode.xml", 2, "",
          "<stdin>:2: error: element settings, attribute mode: Supported string are "
          "\"PS|FPP|ASX1|ASX4|AVSTX8|AVSTX16|AVSTX32|INTERNAL\", but the input is \"BOGUS\"\n"},
         {"xml hidden.xml --kind=pfg --skip=A --xsd=" + JOB_XSD, 2, "",
          "hidden.xml (filtered):2: error: " + settings_refused + "hidden.xml: error: Error during XML parsing\n"},
         {"xml hidden.xml --kind=pfg --xsd=" + JOB_XSD, 2, "",
          "hidden.xml (as loaded):2: error: " + settings_refused + "hidden.xml: error: Error during XML parsing\n"},
         {"xml broken.xml --kind=pfg", 2, "",
          "broken.xml:3: error: expected end of tag 'raw_files' (column 3)\n"
          "broken.xml: error: Error during XML parsing\n"},
         {"xml job.xml --kind=pfg --encoded", 2, "",
          "job.xml: error: cannot be decoded: it is not an encoded file, or it is damaged "
          "(!filestring.empty() && fail_reason == 0)\n"},
         {"xml f.xml --check-xsd=" + JOB_XSD, 0, "f.xml conforms to " + JOB_XSD + "\n", ""},
         {"xml job.xml --encode=job.enc", 0, "job.xml encoded to job.enc\n", ""},
         {"xml job.enc --kind=pfg --encoded --skip=A", 0, "pfg: 4 elements\n", ""},
         {"xml - --kind=pfg --out=- < job.xml", 0, written(load(job).get()),
          "pfg: 4 elements\nWritten to <stdout>\n"}},
        dir.path());
    EXPECT_EQ(written(load(job).get()), read_file(dir.file("out/copy.xml")));
    EXPECT_EQ(2u, load(dir.file("f.xml"))->version);
    RUN_RESULT result = run_pgmtool("xml job.xml --check_xsd=" + JOB_XSD, dir.path());
    EXPECT_EQ(2, result.exit_code);
    EXPECT_EQ(0u, result.error.find("job.xml:1: error: ")) << result.error;
    EXPECT_NE(std::string::npos, result.error.find("\njob.xml: error: does not conform to " + JOB_XSD + "\n"));
    for (const char* wrong :
         {"", " --kind=nope", " --kind=pfg --check-xsd=x", " --check_xsd=x --out=y", " --continue="})
        EXPECT_EQ(1, run_pgmtool("xml job.xml" + std::string(wrong), dir.path()).exit_code) << wrong;
}
