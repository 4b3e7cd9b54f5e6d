// Moving data from DOM nodes into element objects under the presence rules
// of their descriptions, element-name matching for the file dispatcher, and
// validation of a built tree against a schema.
#include "pgm/h/pgm_common_xml.h"
#include "pgm/h/pgm_common_xml_dom.h"

#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_xml_text.h"
#include "pgm/h/pgm_common.h"

#include <memory>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

XERCES_CPP_NAMESPACE_USE

namespace {

std::string class_name(const PGM_COMMON_XML_ELEMENT* element)
{
    return PGM_COMMON_XML_UTIL::convert_enum_to_string(element->info.class_type);
}

bool is_builtin(const PGM_COMMON_XML_ATTRIBUTE_INFO& entry, const char* name)
{
    return entry.name == name && entry.ptr == NULL;
}

// Converts a value of the file into its member; a value the conversion
// refuses is raised again with what it belongs to, the element and the
// attribute (none for the element's text), in front of the reason:
// "element settings, attribute mode: Supported string are ...".
void assign_value(DOMNode* element, const char* attribute, const void* ptr, BYTE type, BYTE exist,
                  const std::string& value, const std::string& enum_string)
{
    try {
        PGM_COMMON_XML::assign_xml_value(ptr, type, exist, value, enum_string, false);
    } catch (const PGM_INTERNAL_ERROR& error) {
        std::string about = "element " + pgm_xml_narrow(element != NULL ? element->getNodeName() : NULL);
        if (attribute != NULL)
            about += std::string(", attribute ") + attribute;
        throw PGM_INTERNAL_ERROR(about + ": " + error.what(), error.module(), error.file(), error.line());
    }
}

} // namespace

void PGM_COMMON_XML_HELPER::get_attribute(PGM_COMMON_XML_ELEMENT* element, DOMNamedNodeMap* attributes)
{
    PGM_CHECK(element != NULL);
    std::vector<PGM_COMMON_XML_ATTRIBUTE_INFO>& infos = element->attribute_info;
    if (infos.empty()) {
        insignificant_attribute(attributes);
        return;
    }
    PGM_CHECK_TEXT(infos.size() >= 3 && is_builtin(infos[0], PGM_COMMON_XML_IF_CONTINUE),
                   "element->attribute_info.at(0).name == \"__if_continue__\" && "
                   "element->attribute_info.at(0).ptr == NULL");
    PGM_CHECK_TEXT(is_builtin(infos[1], PGM_COMMON_XML_IF_SKIP),
                   "element->attribute_info.at(1).name == \"__if_skip__\" && element->attribute_info.at(1).ptr == NULL");
    PGM_CHECK_TEXT(is_builtin(infos[2], PGM_COMMON_XML_HIDDEN),
                   "element->attribute_info.at(2).name == \"__hidden__\" && element->attribute_info.at(2).ptr == NULL");
    XMLSize_t count = attributes != NULL ? attributes->getLength() : 0;
    for (XMLSize_t i = 0; i < count; ++i) {
        DOMNode* attribute = attributes->item(i);
        std::string name = pgm_xml_narrow(attribute->getNodeName());
        std::string value = pgm_xml_narrow(attribute->getNodeValue());
        auto entry = infos.begin();
        while (entry != infos.end() && entry->name != name)
            ++entry;
        if (entry == infos.end())
            PGM_FAIL("Attribute %s is not supported by element %s", name.c_str(), class_name(element).c_str());
        if (value.empty())
            continue;
        entry->string = value;
        assign_value(static_cast<DOMAttr*>(attribute)->getOwnerElement(), name.c_str(), entry->ptr, entry->type,
                     entry->exist, entry->string, entry->enum_string);
    }
    for (const PGM_COMMON_XML_ATTRIBUTE_INFO& entry : infos) {
        if (entry.exist == PGM_XML_EXIST_MUST_NOT && attributes != NULL) {
            PGM_COMMON_XML_PARSER_DOM_STRX name(entry.name.c_str());
            PGM_CHECK_TEXT(attributes->getNamedItem(name.xmlch_str()) == NULL, "attribute_name != (* attribute).name");
        }
        if (entry.exist == PGM_XML_EXIST_MUST && entry.string.empty())
            PGM_FAIL("Element %s attribute %s must exist but not", class_name(element).c_str(), entry.name.c_str());
    }
}

void PGM_COMMON_XML_HELPER::get_value(PGM_COMMON_XML_ELEMENT* element, DOMNode* node)
{
    PGM_CHECK(element != NULL);
    PGM_COMMON_XML_INFO& info = element->info;
    info.string = PGM_COMMON_XML_DOM_HELPER::get_text_content_from_dom_node(node, true);
    if (info.ptr != NULL && info.exist != PGM_XML_EXIST_MUST_NOT) {
        if (info.exist == PGM_XML_EXIST_MUST && info.string.empty())
            PGM_FAIL("Element %s must have value", class_name(element).c_str());
        assign_value(node, NULL, info.ptr, info.type, info.exist, info.string, info.enum_string);
    } else if (!info.string.empty()) {
        PGM_FAIL("Element %s must not have value", class_name(element).c_str());
    }
}

std::string PGM_COMMON_XML_HELPER::get_node_string(DOMNode* node)
{
    PGM_CHECK(node != NULL);
    return pgm_xml_narrow(node->getNodeValue());
}

void PGM_COMMON_XML_HELPER::insignificant_attribute(DOMNamedNodeMap* attributes)
{
    PGM_CHECK(attributes == NULL || attributes->getLength() == 0);
}

bool PGM_COMMON_XML_HELPER::match_attribute(DOMNode* node, std::string name, std::string value)
{
    PGM_CHECK(value.size());
    return PGM_COMMON_XML_DOM_HELPER::get_attribute_string_from_dom_node(node, name) == value;
}

bool PGM_COMMON_XML_HELPER::match_element_name(std::string name, std::string name_list)
{
    PGM_CHECK(name.size() > 0 && name_list.size() > 0);
    if (name_list.find('|') == std::string::npos)
        return name == name_list;
    PGM_CHECK_TEXT(name_list.size() > 2 && name_list[0] != '|' && name_list.back() != '|',
                   "name_list.size() > 2 && name_list.at(0) != '|' && name_list.at(name_list.size()-1) != '|'");
    size_t start = 0;
    for (;;) {
        size_t end = name_list.find('|', start);
        if (name_list.compare(start, end == std::string::npos ? std::string::npos : end - start, name) == 0)
            return true;
        if (end == std::string::npos)
            return false;
        start = end + 1;
    }
}

// ---- Validation of a built tree ----

void PGM_COMMON_XML_HELPER::check_xsd(PGM_COMMON_XML_ELEMENT* element, const char* schema, std::string buffer_id)
{
    PGM_CHECK(element != NULL);
    std::string xml;
    PGM_COMMON_XML::write_xml_element(element, xml, "", true, true, true);
    PGM_CHECK(xml.size() > 0);
    std::unique_ptr<PGM_COMMON_XML_PARSER_DOM> dom = std::make_unique<PGM_COMMON_XML_PARSER_DOM>();
    DOMDocument* doc = dom->loadconfig(xml, schema, buffer_id, false);
    PGM_CHECK(doc != NULL);
    PGM_CHECK(dom->get_error_handler() != NULL);
    PGM_CHECK_TEXT(!dom->get_error_handler()->getSawErrors(), "Error during XML parsing");
}
