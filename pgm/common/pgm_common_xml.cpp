// The entry points for the XML configuration files: reading a file of a
// given kind into a tree of schema objects, writing a tree back as XML,
// validating a file against a schema, and setting attribute members from
// a list of texts.
#include "pgm/h/pgm_common_xml.h"
#include "pgm/h/pgm_common_xml_dom.h"

#include "h/pgm_common_xml_fbgen_assembler_auto_export.h"
#include "h/pgm_common_xml_fuse_db_auto_export.h"
#include "h/pgm_common_xml_gfpdb_qspi_auto_export.h"
#include "h/pgm_common_xml_gfpdb_sdmmc_auto_export.h"
#include "h/pgm_common_xml_pfg_auto_export.h"
#include "host/fio.h"
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_xml_text.h"
#include "pgm/h/pgm_common.h"

#include <memory>
#include <unordered_map>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

XERCES_CPP_NAMESPACE_USE

// Reports the text as an error of the family's generated source.
#define PGM_FAMILY_CHECK(family, condition, text)                                         \
    do {                                                                                   \
        if (!(condition))                                                                  \
            MSG_INTERNAL_ERROR::report(text, PGM_MODULE_NAME, (family).source, __LINE__); \
    } while (0)

namespace {

const std::string INDENT = "    ";

// The rules of a family by the element names they create, each name's
// rules in the family's order, so that finding an element's rule does not
// walk every rule of the family.
class RULE_INDEX {
public:
    explicit RULE_INDEX(const PGM_COMMON_XML_FAMILY& family)
    {
        for (const PGM_COMMON_XML_CHILD_RULE& rule : family.rules) {
            for (const std::string& name : pgm_xml_words(rule.childs))
                rules_[name].push_back(&rule);
        }
    }

    // The first rule that creates child under parent; null when none does.
    const PGM_COMMON_XML_CHILD_RULE* find(const std::string& parent, const std::string& child) const
    {
        auto found = rules_.find(child);
        if (found == rules_.end())
            return NULL;
        for (const PGM_COMMON_XML_CHILD_RULE* rule : found->second) {
            if (PGM_COMMON_XML_HELPER::match_element_name(parent, rule->parents))
                return rule;
        }
        return NULL;
    }

private:
    std::unordered_map<std::string, std::vector<const PGM_COMMON_XML_CHILD_RULE*>> rules_;
};

// Runs work, which reads the node; an error it raises is raised again with
// where the node stands in the file in front of its text:
// "job.xml:7: element settings, attribute mode: Supported string are ...".
template <typename WORK>
void reading_node(const PGM_COMMON_XML_PARSER_DOM& dom, DOMNode* node, WORK work)
{
    try {
        work();
    } catch (const PGM_INTERNAL_ERROR& error) {
        std::string where = dom.get_location_of_node(node);
        if (where.empty())
            throw;
        throw PGM_INTERNAL_ERROR(where + ": " + error.what(), error.module(), error.file(), error.line());
    }
}

// The object for a DOM element, filled from its attributes and text.
std::unique_ptr<PGM_COMMON_XML_ELEMENT> create_element(const PGM_COMMON_XML_CHILD_RULE& rule, DOMNode* node,
                                                       std::string name)
{
    stl_toupper(name);
    std::unique_ptr<PGM_COMMON_XML_ELEMENT> element(rule.create(PGM_COMMON_XML_HELPER::convert_string_to_enum(name)));
    PGM_CHECK(element != NULL);
    PGM_COMMON_XML_HELPER::get_attribute(element.get(), node->getAttributes());
    PGM_COMMON_XML_HELPER::get_value(element.get(), node);
    return element;
}

// Builds the objects below root from the children of the document element,
// depth first in document order, without recursion.
void build_tree(const PGM_COMMON_XML_FAMILY& family, const PGM_COMMON_XML_PARSER_DOM& dom, DOMElement* top,
                PGM_COMMON_XML_ELEMENT* root)
{
    const RULE_INDEX rules(family);
    std::vector<DOMNode*> nodes, child_nodes;
    std::vector<PGM_COMMON_XML_ELEMENT*> elements;
    DOMNode* parent_node = top;
    PGM_COMMON_XML_ELEMENT* parent = root;
    DOMNode* node = top->getFirstChild();
    for (;;) {
        if (node == NULL) {
            if (nodes.empty())
                break;
            parent_node = nodes.back();
            node = child_nodes.back()->getNextSibling();
            parent = elements.back();
            nodes.pop_back();
            child_nodes.pop_back();
            elements.pop_back();
            continue;
        }
        std::string name = PGM_COMMON_XML_DOM_HELPER::get_element_name_from_node(node);
        if (name == "#text" || name == "#comment") {
            node = node->getNextSibling();
            continue;
        }
        PGM_COMMON_XML_ELEMENT* element = NULL;
        // What is not an element (text, a processing instruction) is told
        // at its parent's line.
        reading_node(dom, node->getNodeType() == DOMNode::ELEMENT_NODE ? node : parent_node, [&] {
            std::string parent_name = PGM_COMMON_XML_DOM_HELPER::get_element_name_from_node(parent_node);
            const PGM_COMMON_XML_CHILD_RULE* rule = rules.find(parent_name, name);
            if (rule == NULL)
                PGM_FAIL("Parent element \"%s\" does not support \"%s\" element", parent_name.c_str(),
                         name.c_str());
            // A child the parent refuses stays ours until add_child takes it.
            std::unique_ptr<PGM_COMMON_XML_ELEMENT> created = create_element(*rule, node, name);
            parent->add_child(created.get(), NULL);
            element = created.release();
        });
        nodes.push_back(parent_node);
        child_nodes.push_back(node);
        elements.push_back(parent);
        parent_node = node;
        parent = element;
        node = node->getFirstChild();
    }
    PGM_CHECK(nodes.size() == 0);
    PGM_CHECK(child_nodes.size() == 0);
    PGM_CHECK(elements.size() == 0);
}

// A parser reads a carriage return in text, and a tab or a line end in an
// attribute value, as other white space: they are written as references.
std::string attribute_value(const std::string& escaped)
{
    std::string value;
    for (char c : escaped) {
        if (c == '\t')
            value += "&#9;";
        else if (c == '\n')
            value += "&#10;";
        else
            value += c;
    }
    return value;
}

// The element's name in a file: its sub-class name in lower case.
std::string element_name(const PGM_COMMON_XML_ELEMENT* element)
{
    std::string name = PGM_COMMON_XML_UTIL::convert_enum_to_string(element->info.sub_class_type);
    stl_tolower(name);
    return name;
}

} // namespace

void* PGM_COMMON_XML::parse_xml(PGM_COMMON_XML_FILE_ENUM kind, std::string file, std::string xsd, bool encoded,
                                std::string continue_conditions, std::string skip_conditions,
                                std::string replacement)
{
    PGM_CHECK_TEXT(int(kind) >= 0 && int(kind) < int(PGM_COMMON_XML_FILE_MAX), "Unsupported XML file type");
    const PGM_COMMON_XML_FAMILY* family = get_family(kind);
    PGM_CHECK(family != NULL);

    std::unique_ptr<PGM_COMMON_XML_PARSER_DOM> dom = std::make_unique<PGM_COMMON_XML_PARSER_DOM>();
    DOMDocument* xml = dom->loadconfig(file.c_str(), NULL, encoded, replacement, false);
    PGM_FAMILY_CHECK(*family, xml != NULL, "xml != NULL");
    PGM_FAMILY_CHECK(*family, dom->get_error_handler() != NULL, "dom->get_error_handler() != NULL");
    PGM_FAMILY_CHECK(*family, !dom->get_error_handler()->getSawErrors(), "Error during XML parsing");
    DOMElement* top = xml->getDocumentElement();
    PGM_FAMILY_CHECK(*family, top != NULL, "Unable to read the XML file");

    std::unique_ptr<PGM_COMMON_XML_ELEMENT> root(family->create_root());
    PGM_CHECK(root != NULL);
    reading_node(*dom, top, [&] { PGM_COMMON_XML_HELPER::get_attribute(root.get(), top->getAttributes()); });
    build_tree(*family, *dom, top, root.get());
    PGM_COMMON_XML_HELPER::update_if_condition(root.get(), continue_conditions, skip_conditions);
    root->check_child_count();
    dom.reset();
    // What is validated is the tree written anew, whose lines are not the
    // file's: its messages name it apart from the file.
    bool filtered = !continue_conditions.empty() || !skip_conditions.empty() || !replacement.empty();
    if (!xsd.empty())
        PGM_COMMON_XML_HELPER::check_xsd(root.get(), xsd.c_str(),
                                         PGM_COMMON::get_filename(file) + (filtered ? " (filtered)" : " (as loaded)"));
    return root.release();
}

// The file is written whole or not at all, into its folder, made when missing.
void PGM_COMMON_XML::write_xml(PGM_COMMON_XML_ELEMENT* root, std::string file)
{
    if (root != NULL && pgm_xml_deeper_than(root, PGM_COMMON_XML_MAX_DEPTH))
        PGM_FAIL("Cannot write file %s: the XML tree is nested deeper than %u levels", file.c_str(),
                 PGM_COMMON_XML_MAX_DEPTH);
    std::string folder, name;
    PGM_COMMON::get_folder_and_filename(file, folder, name);
    if (!folder.empty() && !FIO_FILE_SYSTEM::exists(folder)) {
        try {
            PGM_COMMON::create_folder(folder);
        } catch (const PGM_INTERNAL_ERROR&) {
            // The file cannot be made either, which is reported below.
        }
    }
    FIO_ATOMIC_FILE out(file);
    PGM_CHECK_TEXT(out.stream() != NULL, "out != NULL");
    std::string xml;
    write_xml_element(root, xml, "", false, false, false);
    PGM_CHECK(xml.size() > 0);
    if (!out.write(xml.data(), xml.size()) || !out.commit())
        PGM_FAIL("Cannot write file %s: %s.", file.c_str(), out.reason().c_str());
}

// Depth first in document order, with a list of the elements whose start
// tag is written (each with the next child to write) instead of recursion.
void PGM_COMMON_XML::write_xml_element(PGM_COMMON_XML_ELEMENT* element, std::string& out, std::string indent,
                                       bool skip_if_continue, bool skip_if_skip, bool skip_hidden)
{
    PGM_CHECK(element != NULL);
    if (pgm_xml_deeper_than(element, PGM_COMMON_XML_MAX_DEPTH))
        PGM_FAIL("The XML tree is nested deeper than %u levels", PGM_COMMON_XML_MAX_DEPTH);
    std::vector<std::pair<PGM_COMMON_XML_ELEMENT*, size_t>> open;
    // Writes an element without children whole, and the start of one with.
    auto start = [&](PGM_COMMON_XML_ELEMENT* next) {
        const std::string name = element_name(next);
        out += indent + "<" + name + get_attribute_string(next, skip_if_continue, skip_if_skip, skip_hidden);
        if (!next->childs.empty()) {
            PGM_CHECK_TEXT(next->info.ptr == NULL, "element->info.ptr == NULL");
            out += ">\n";
            open.emplace_back(next, 0);
            indent += INDENT;
        } else if (next->info.ptr != NULL) {
            out += ">" + get_xml_string(next->info.string) + "</" + name + ">\n";
        } else {
            out += "/>\n";
        }
    };
    start(element);
    while (!open.empty()) {
        PGM_COMMON_XML_ELEMENT* parent = open.back().first;
        const size_t index = open.back().second++;
        if (index < parent->childs.size()) {
            start(parent->childs[index]);
            continue;
        }
        open.pop_back();
        indent.resize(indent.size() - INDENT.size());
        out += indent + "</" + element_name(parent) + ">\n";
    }
}

void PGM_COMMON_XML::check_xsd(std::string file, std::string xsd, std::string& errors, std::string& warnings)
{
    std::unique_ptr<PGM_COMMON_XML_PARSER_DOM> dom = std::make_unique<PGM_COMMON_XML_PARSER_DOM>();
    DOMDocument* doc = dom->loadconfig(file.c_str(), xsd.empty() ? NULL : xsd.c_str(), false, "", true);
    PGM_CHECK(doc != NULL);
    PGM_CHECK(dom->get_error_handler() != NULL);
    if (dom->get_error_handler()->getSawErrors())
        errors = dom->get_error_handler()->getMsg();
    else
        warnings = dom->get_error_handler()->getMsg();
}

void PGM_COMMON_XML::overwrite_attribute_string(PGM_COMMON_XML_ELEMENT* element, std::string* attribute_values)
{
    PGM_CHECK(element != NULL && element->attribute_info.size() != 0 && attribute_values != NULL);
    for (size_t i = 0; i < element->attribute_info.size(); ++i) {
        const PGM_COMMON_XML_ATTRIBUTE_INFO& entry = element->attribute_info[i];
        if (!attribute_values[i].empty() && entry.ptr != NULL)
            assign_xml_value(entry.ptr, entry.type, entry.exist, attribute_values[i], entry.enum_string, false);
    }
}

const PGM_COMMON_XML_FAMILY* PGM_COMMON_XML::get_family(PGM_COMMON_XML_FILE_ENUM kind)
{
    switch (kind) {
    case PGM_COMMON_XML_FILE_FBGEN_ASSEMBLER:
        return &pgm_common_xml_fbgen_assembler_family();
    case PGM_COMMON_XML_FILE_FUSE_DB:
        return &pgm_common_xml_fuse_db_family();
    case PGM_COMMON_XML_FILE_GFPDB_QSPI:
        return &pgm_common_xml_gfpdb_qspi_family();
    case PGM_COMMON_XML_FILE_GFPDB_SDMMC:
        return &pgm_common_xml_gfpdb_sdmmc_family();
    case PGM_COMMON_XML_FILE_PFG:
        return &pgm_common_xml_pfg_family();
    default:
        return NULL;
    }
}

std::string PGM_COMMON_XML::get_attribute_string(PGM_COMMON_XML_ELEMENT* element, bool skip_if_continue,
                                                 bool skip_if_skip, bool skip_hidden)
{
    std::string text;
    for (const PGM_COMMON_XML_ATTRIBUTE_INFO& entry : element->attribute_info) {
        if ((skip_if_continue && entry.name == PGM_COMMON_XML_IF_CONTINUE) ||
            (skip_if_skip && entry.name == PGM_COMMON_XML_IF_SKIP) ||
            (skip_hidden && entry.name == PGM_COMMON_XML_HIDDEN))
            continue;
        if (entry.exist == PGM_XML_EXIST_MUST || (entry.exist == PGM_XML_EXIST_OPTIONAL && !entry.string.empty()))
            text += " " + entry.name + "=\"" + attribute_value(get_xml_string(entry.string)) + "\"";
    }
    return text;
}

std::string PGM_COMMON_XML::get_xml_string(std::string text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '&':
            escaped += "&amp;";
            break;
        case '\'':
            escaped += "&apos;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\r':
            escaped += "&#13;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}
