// Reading, filtering, checking and writing the XML configuration files,
// and the text conversions of the element model.
#pragma once

#include "pgm/h/pgm_common_api.h"
#include "pgm/h/pgm_common_xml_element.h"

#include <xercesc/util/XercesDefs.hpp>

#include <string>
#include <vector>

XERCES_CPP_NAMESPACE_BEGIN
class DOMNode;
class DOMNamedNodeMap;
XERCES_CPP_NAMESPACE_END

// The deepest nesting of elements the XML framework accepts, the document
// element (or the root of a tree) counting as level 1. The configuration
// files nest a few levels, rarely more than ten, so 1,000 is far beyond
// any real file, and it bounds what deeper nesting costs: the written text
// indents every level by four more spaces, so its size grows with the
// square of the depth (some 4 MB of indentation for 1,000 levels), and the
// few walks that still recurse (the child-count check, which follows the
// schema families' own nesting, and Xerces' reading of a schema) keep a
// bounded stack. The loader refuses a file (or a schema) that nests
// deeper; the writer and the condition filter refuse such a tree built in
// code. The library's own walks over DOM nodes and element trees do not
// recurse.
inline constexpr unsigned PGM_COMMON_XML_MAX_DEPTH = 1000;

// The kind of XML file a caller reads.
enum PGM_COMMON_XML_FILE_ENUM {
    PGM_COMMON_XML_FILE_FBGEN_ASSEMBLER = 0,
    PGM_COMMON_XML_FILE_FUSE_DB = 1,
    PGM_COMMON_XML_FILE_GFPDB_QSPI = 2,
    PGM_COMMON_XML_FILE_GFPDB_SDMMC = 3,
    PGM_COMMON_XML_FILE_PFG = 4,
    PGM_COMMON_XML_FILE_MAX
};

// Threads. parse_xml, write_xml, write_xml_element and check_xsd may be
// called from several threads at once, and so may the loaders of
// PGM_COMMON_XML_PARSER_DOM objects and the members of
// PGM_COMMON_XML_HELPER and PGM_COMMON_XML_DOM_HELPER, as long as each
// thread works on its own element trees, loader objects and documents: an
// element tree, a PGM_COMMON_XML_PARSER_DOM and its document are used by one
// thread at a time. The Xerces platform is initialised once in the
// process, by whichever load comes first, and never terminated by the
// library.
class PGM_COMMON_API PGM_COMMON_XML {
public:
    // Reads a file of the kind into a tree of schema objects, filtered by
    // the "|"-separated conditions, its child counts checked and, with xsd,
    // validated. The caller deletes the returned root.
    // An element, attribute or value the file may not hold is an internal
    // error whose text begins with where it stands, the file name and the
    // line of the element's start tag, and for a value what it belongs to:
    // "job.xml:7: element settings, attribute mode: Supported string are
    // ...". The tree validated is the one written anew from the loaded
    // tree, whose lines are not the file's: the schema's messages name it
    // "job.xml (filtered)" when conditions or replacements were given,
    // "job.xml (as loaded)" otherwise.
    static void* parse_xml(PGM_COMMON_XML_FILE_ENUM kind, std::string file, std::string xsd, bool encoded,
                           std::string continue_conditions, std::string skip_conditions, std::string replacement);
    // Writes the tree as an XML file, built-in attributes included. Both
    // refuse a tree nested deeper than PGM_COMMON_XML_MAX_DEPTH, which the
    // loader would refuse to read back.
    static void write_xml(PGM_COMMON_XML_ELEMENT* root, std::string file);
    static void write_xml_element(PGM_COMMON_XML_ELEMENT* element, std::string& out, std::string indent,
                                  bool skip_if_continue, bool skip_if_skip, bool skip_hidden);
    // Validates the file against the schema: the messages go to errors when
    // there was an error, to warnings otherwise.
    static void check_xsd(std::string file, std::string xsd, std::string& errors, std::string& warnings);
    // Sets the members of the element from one text per attribute entry.
    static void overwrite_attribute_string(PGM_COMMON_XML_ELEMENT* element, std::string* attribute_values);

    // Converts text into the member at ptr (see PGM_XML_TYPE).
    static void assign_xml_value(const void* ptr, BYTE type, BYTE exist, std::string value,
                                 std::string enum_string, bool init);
    // Installs the defaults of an element's text and attributes.
    static void init_check(PGM_COMMON_XML_INFO info, std::vector<PGM_COMMON_XML_ATTRIBUTE_INFO>& attributes);
    static bool get_final_booloean(BYTE value, bool default_value);

    // The schema family of a kind; null until its classes are built in.
    static const PGM_COMMON_XML_FAMILY* get_family(PGM_COMMON_XML_FILE_ENUM kind);

private:
    static std::string get_attribute_string(PGM_COMMON_XML_ELEMENT* element, bool skip_if_continue,
                                            bool skip_if_skip, bool skip_hidden);
    static std::string get_xml_string(std::string text);
};

class PGM_COMMON_API PGM_COMMON_XML_HELPER {
public:
    // ---- Text conversions ----
    static bool get_boolean(std::string string);
    static BYTE get_pgm_xml_boolean(std::string string);
    static std::string check_cpp_string(std::string string);
    static void get_hex_data(PGM_COMMON_XML_HEX_DATA& hex_data, std::string string);
    static void get_stdhex_data(PGM_COMMON_XML_HEX_DATA& hex_data, std::string string);
    static PGM_COMMON_XML_ENUM convert_string_to_enum(std::string value, std::string enum_string, char seperator);
    static PGM_COMMON_XML_ENUM convert_string_to_enum(std::string name);

    // ---- Reading from the DOM ----
    static void get_attribute(PGM_COMMON_XML_ELEMENT* element, XERCES_CPP_NAMESPACE::DOMNamedNodeMap* attributes);
    static void get_value(PGM_COMMON_XML_ELEMENT* element, XERCES_CPP_NAMESPACE::DOMNode* node);
    static std::string get_node_string(XERCES_CPP_NAMESPACE::DOMNode* node);
    static void insignificant_attribute(XERCES_CPP_NAMESPACE::DOMNamedNodeMap* attributes);
    static bool match_attribute(XERCES_CPP_NAMESPACE::DOMNode* node, std::string name, std::string value);
    static bool match_element_name(std::string name, std::string name_list);
    // Removes the elements whose "__if_continue__" names none of the
    // continue conditions, then those whose "__if_skip__" names one of the
    // skip conditions.
    static void update_if_condition(PGM_COMMON_XML_ELEMENT* root, std::string continue_conditions,
                                    std::string skip_conditions);
    // Validates the tree, without its built-in attributes, against the schema.
    static void check_xsd(PGM_COMMON_XML_ELEMENT* root, const char* schema, std::string buffer_id);

private:
    static void update_if_condition(PGM_COMMON_XML_ELEMENT* element, std::vector<std::string>& conditions,
                                    bool is_continue);
    static bool compare_if_condition(std::string condition, std::vector<std::string>& conditions);
    static std::string get_element_if_continue(PGM_COMMON_XML_ELEMENT* element);
    static std::string get_element_if_skip(PGM_COMMON_XML_ELEMENT* element);
};
