// Loading XML files into a Xerces-C DOM, and reading names, attributes and
// text from its nodes. Texts cross the DOM boundary as UTF-8.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>

#include <memory>
#include <string>

// Entity references a document (or a schema) may expand in all. The files
// have no use for more than a few, and every expansion may copy the whole
// text.
inline constexpr unsigned PGM_COMMON_XML_MAX_ENTITY_EXPANSIONS = 100;
// The longest replacement text, in characters, of an entity a document (or
// a schema) may declare. With the number of expansions bounded as well, a
// document expands to at most 100 times 64 Ki characters more than it holds.
inline constexpr unsigned PGM_COMMON_XML_MAX_ENTITY_SIZE = 65536;

// Formats the parser's messages and remembers whether an error occurred.
class PGM_COMMON_API PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER : public XERCES_CPP_NAMESPACE::ErrorHandler {
public:
    // With collect_messages the messages are kept for getMsg(); without, they
    // go to the standard error stream at once.
    explicit PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER(bool collect_messages);
    ~PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER() override;

    void warning(const XERCES_CPP_NAMESPACE::SAXParseException& e) override;
    void error(const XERCES_CPP_NAMESPACE::SAXParseException& e) override;
    void fatalError(const XERCES_CPP_NAMESPACE::SAXParseException& e) override;
    void resetErrors() override;
    // Notes the error and produces only its heading; always true.
    bool handleError(const XERCES_CPP_NAMESPACE::DOMError& e);

    std::string getMsg();
    bool getSawErrors();

private:
    void post_error_msg(const XERCES_CPP_NAMESPACE::SAXParseException& e, const char* kind);
    void post(const std::string& text);

    bool saw_errors;
    bool collect_messages;
    std::string msg;
};

// One text in the narrow (UTF-8) and the Xerces wide form. Built from a
// narrow text it holds the wide form; built from a wide text, the narrow
// form (none when the wide text is absent or empty).
class PGM_COMMON_API PGM_COMMON_XML_PARSER_DOM_STRX {
public:
    PGM_COMMON_XML_PARSER_DOM_STRX();
    explicit PGM_COMMON_XML_PARSER_DOM_STRX(const char* text);
    explicit PGM_COMMON_XML_PARSER_DOM_STRX(const XMLCh* text);
    ~PGM_COMMON_XML_PARSER_DOM_STRX();
    PGM_COMMON_XML_PARSER_DOM_STRX(const PGM_COMMON_XML_PARSER_DOM_STRX&) = delete;
    PGM_COMMON_XML_PARSER_DOM_STRX& operator=(const PGM_COMMON_XML_PARSER_DOM_STRX&) = delete;

    void assign(const char* text);
    void assign(const XMLCh* text);
    PGM_COMMON_XML_PARSER_DOM_STRX& operator=(const char* text);
    PGM_COMMON_XML_PARSER_DOM_STRX& operator=(const XMLCh* text);

    const char* c_str() const;
    const XMLCh* xmlch_str() const;

private:
    void release_narrow();
    void release_wide();

    char* m_c_str = nullptr;     // owned, released through the Xerces memory manager
    XMLCh* m_xmlch_str = nullptr; // owned, likewise
};

// Loads one XML file or text into a DOM. The document belongs to this
// object and lives as long as it; one object serves one load, in one
// thread. Objects in different threads load at the same time safely.
class PGM_COMMON_API PGM_COMMON_XML_PARSER_DOM {
public:
    PGM_COMMON_XML_PARSER_DOM();
    ~PGM_COMMON_XML_PARSER_DOM();
    PGM_COMMON_XML_PARSER_DOM(const PGM_COMMON_XML_PARSER_DOM&) = delete;
    PGM_COMMON_XML_PARSER_DOM& operator=(const PGM_COMMON_XML_PARSER_DOM&) = delete;

    // Reads the file (decoded when encoded), applies the keyword
    // replacements and parses it, validating against schema when given.
    XERCES_CPP_NAMESPACE::DOMDocument* loadconfig(const char* file, const char* schema, bool encoded,
                                                  std::string replacement, bool collect_messages);
    // Parses the text; buffer_id names it in the messages. No external
    // entity, DTD or schema is ever read, for the text or for the schema;
    // an entity whose replacement text is longer than
    // PGM_COMMON_XML_MAX_ENTITY_SIZE, or more expansions than
    // PGM_COMMON_XML_MAX_ENTITY_EXPANSIONS, end the parse with an error
    // through the handler. Elements nested deeper than
    // PGM_COMMON_XML_MAX_DEPTH are an internal error naming buffer_id (or
    // the schema's file).
    XERCES_CPP_NAMESPACE::DOMDocument* loadconfig(std::string text, const char* schema, std::string buffer_id,
                                                  bool collect_messages);
    PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER* get_error_handler();
    // The line of the loaded text on which the element's start tag begins
    // (for the root element, where it ends); 0 for a node that is no
    // element of this object's document.
    unsigned long get_line_of_node(XERCES_CPP_NAMESPACE::DOMNode* node) const;
    // Where the node stands, for messages: "job.xml:7" with the buffer id
    // of its document (the file name) and the line; "job.xml" without a
    // line; empty without either.
    std::string get_location_of_node(XERCES_CPP_NAMESPACE::DOMNode* node) const;

private:
    void configure(const char* schema);
    void load_schema(const char* schema);

    std::unique_ptr<XERCES_CPP_NAMESPACE::XercesDOMParser> m_parser;
    std::unique_ptr<PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER> m_error_handler;
};

// Reading names, attributes and text from DOM nodes.
class PGM_COMMON_API PGM_COMMON_XML_DOM_HELPER {
public:
    // "#text" for text nodes, "#comment" for comments.
    static std::string get_element_name_from_node(XERCES_CPP_NAMESPACE::DOMNode* node);
    // The attribute's value; empty when the element has no such attribute.
    static std::string get_attribute_string_from_dom_element(XERCES_CPP_NAMESPACE::DOMElement* element,
                                                             std::string name);
    static std::string get_attribute_string_from_dom_node(XERCES_CPP_NAMESPACE::DOMNode* node, std::string name);
    static XERCES_CPP_NAMESPACE::DOMNodeList* get_elements_by_tag_name(XERCES_CPP_NAMESPACE::DOMNode* node,
                                                                       std::string name);
    // Empty when the element's own text is only layout white space;
    // otherwise its whole text content as it stands.
    static std::string get_text_content_from_dom_element(XERCES_CPP_NAMESPACE::DOMElement* element, bool unused);
    static std::string get_text_content_from_dom_node(XERCES_CPP_NAMESPACE::DOMNode* node, bool unused);
};
