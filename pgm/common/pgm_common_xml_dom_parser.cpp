// Loading XML files and texts into a Xerces-C DOM, the parser's error
// handler, the narrow and wide text holder, and the DOM node readers.
//
// Files and schemas are untrusted. Every parser the library makes refuses
// every external entity and DTD through its entity resolver, and so do the
// parsers Xerces makes itself to read a schema, which ask the same
// resolver; nothing outside the text is ever read. The library's parsers
// also bound entity expansion (how many, and how large each replacement
// text) and the nesting of elements. A schema is read from its file by
// the library, checked by such a parser, and only then handed to Xerces as
// a grammar for the parse: Xerces' own schema parser bounds nothing.
#include "pgm/h/pgm_common_xml_dom.h"
#include "pgm/h/pgm_common_xml.h"

#include "host/fio.h"
#include "host/gen.h"
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_xml_text.h"
#include "pgm/h/pgm_common.h"
#include "pgm/h/pgm_common_xml_encoding.h"

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/sax/SAXException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>
#include <xercesc/validators/common/Grammar.hpp>

#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

XERCES_CPP_NAMESPACE_USE

namespace {

// Concatenated text of the node's direct text children; only_text tells
// whether the node has no other children.
std::string direct_text(DOMNode* node, bool& only_text)
{
    std::string text;
    only_text = true;
    for (DOMNode* child = node->getFirstChild(); child != nullptr; child = child->getNextSibling()) {
        if (child->getNodeType() == DOMNode::TEXT_NODE)
            text += pgm_xml_narrow(child->getNodeValue());
        else
            only_text = false;
    }
    return text;
}

// The DOM's text content of the node: the text and CDATA of its
// descendants in document order, comments and processing instructions
// left out. Gathered without recursion, so the nesting has no bearing.
std::string descendant_text(DOMNode* top)
{
    std::string text;
    DOMNode* node = top->getFirstChild();
    while (node != nullptr) {
        const DOMNode::NodeType type = node->getNodeType();
        if ((type == DOMNode::ELEMENT_NODE || type == DOMNode::ENTITY_REFERENCE_NODE) &&
            node->getFirstChild() != nullptr) {
            node = node->getFirstChild();
            continue;
        }
        if (type == DOMNode::TEXT_NODE || type == DOMNode::CDATA_SECTION_NODE)
            pgm_xml_append_narrow(text, node->getNodeValue());
        while (node != nullptr && node->getNextSibling() == nullptr) {
            node = node->getParentNode();
            if (node == top)
                node = nullptr;
        }
        if (node != nullptr)
            node = node->getNextSibling();
    }
    return text;
}

std::string text_content(DOMNode* node)
{
    bool only_text = true;
    std::string direct = direct_text(node, only_text);
    std::string text;
    for (char c : direct) {
        if (c != '\n' && c != '\t')
            text += c;
    }
    if (gen_remove_leading_and_trailing_spaces(text).empty())
        return "";
    // Without other children the whole text content is the direct text.
    return only_text ? direct : descendant_text(node);
}

// The lines of the start tags of a document's elements, in document
// order. They are looked up only to tell an error, so a list serves; DOM
// user data, on the elements or on the document, made a 10 MB job load a
// third to a half slower.
using ELEMENT_LINES = std::vector<std::pair<const DOMNode*, XMLFileLoc>>;

// Stops a parse from inside the parser's handlers; the parser that threw it
// has posted the reason or knows it.
struct PARSE_STOPPED {};

// Holds a parser's security manager; a base class of the parser, so that it
// is made before the parser and outlives it.
struct SECURITY_HOLDER {
    SECURITY_HOLDER() { security_manager.setEntityExpansionLimit(PGM_COMMON_XML_MAX_ENTITY_EXPANSIONS); }
    SecurityManager security_manager;
};

// An input that cannot be opened: what the resolver gives for anything
// outside the text, so that the parser reports the entity, DTD or schema it
// could not read.
class REFUSED_SOURCE : public InputSource {
public:
    explicit REFUSED_SOURCE(const XMLCh* system_id) : InputSource(system_id) {}
    BinInputStream* makeStream() const override { return nullptr; }
};

class REFUSING_RESOLVER : public XMLEntityResolver {
public:
    InputSource* resolveEntity(XMLResourceIdentifier* resource) override
    {
        return new REFUSED_SOURCE(resource->getSystemId());
    }
};

// Holds no state, so all parsers in all threads share it.
XMLEntityResolver* refusing_resolver()
{
    static REFUSING_RESOLVER resolver;
    return &resolver;
}

// A DOM parser that refuses nesting deeper than PGM_COMMON_XML_MAX_DEPTH
// (before the element is built) and entities whose replacement text is
// longer than PGM_COMMON_XML_MAX_ENTITY_SIZE (when they are declared, before
// any use), and never reads outside the text.
class GUARDED_PARSER : private SECURITY_HOLDER, public XercesDOMParser {
public:
    GUARDED_PARSER() : XercesDOMParser(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr)
    {
        setLoadExternalDTD(false);
        setDisableDefaultEntityResolution(true);
        setXMLEntityResolver(refusing_resolver());
        setSecurityManager(&security_manager);
    }

    void startDocument() override
    {
        XercesDOMParser::startDocument();
        m_lines.clear();
        m_markup_line = 0;
    }

    // The line of the element's start tag; 0 when unknown.
    XMLFileLoc line_of(const DOMNode* element) const
    {
        for (const auto& entry : m_lines) {
            if (entry.first == element)
                return entry.second;
        }
        return 0;
    }

    // Whether the parse stopped at an element nested too deep.
    bool too_deep() const { return m_too_deep; }

    void startElement(const XMLElementDecl& declaration, const unsigned int url_id, const XMLCh* const prefix,
                      const RefVectorOf<XMLAttr>& attributes, const XMLSize_t count, const bool empty,
                      const bool root) override
    {
        if (m_depth >= PGM_COMMON_XML_MAX_DEPTH) {
            m_too_deep = true;
            throw PARSE_STOPPED();
        }
        ++m_depth;
        // An empty element ends here, whether or not the base class ends it
        // through endElement.
        m_ending_empty = empty;
        // Taken before an empty element ends. Before the root a comment may
        // end lines above its start tag: its line is where the tag ends.
        const XMLFileLoc line = root || m_markup_line == 0 ? line_now() : m_markup_line;
        XercesDOMParser::startElement(declaration, url_id, prefix, attributes, count, empty, root);
        // The new element is the current node, also when it ended already.
        m_lines.emplace_back(getCurrentNode(), line);
        m_markup_line = line_now();
        if (empty)
            --m_depth;
        m_ending_empty = false;
    }

    void endElement(const XMLElementDecl& declaration, const unsigned int url_id, const bool root,
                    const XMLCh* const prefix) override
    {
        if (!m_ending_empty)
            --m_depth;
        XercesDOMParser::endElement(declaration, url_id, root, prefix);
        m_markup_line = line_now();
    }

    // Inside the root, markup begins on the line where what comes before it
    // ends: these and the element handlers keep that line, so that an
    // element is told by the line its start tag begins on.
    void docCharacters(const XMLCh* const chars, const XMLSize_t length, const bool cdata) override
    {
        XercesDOMParser::docCharacters(chars, length, cdata);
        m_markup_line = line_now();
    }

    void docComment(const XMLCh* const comment) override
    {
        XercesDOMParser::docComment(comment);
        m_markup_line = line_now();
    }

    void docPI(const XMLCh* const target, const XMLCh* const data) override
    {
        XercesDOMParser::docPI(target, data);
        m_markup_line = line_now();
    }

    void entityDecl(const DTDEntityDecl& declaration, const bool parameter, const bool ignored) override
    {
        if (declaration.getValue() != nullptr && declaration.getValueLen() > PGM_COMMON_XML_MAX_ENTITY_SIZE) {
            std::string text;
            MEM_DETAIL::stl_raw_sprintf(text, "The replacement text of %sentity \"%s\" is %lu characters long; "
                                              "at most %u are accepted",
                                        parameter ? "parameter " : "", pgm_xml_narrow(declaration.getName()).c_str(),
                                        (unsigned long)declaration.getValueLen(), PGM_COMMON_XML_MAX_ENTITY_SIZE);
            PGM_COMMON_XML_PARSER_DOM_STRX message(text.c_str());
            getErrorHandler()->fatalError(SAXParseException(message.xmlch_str(), *getScanner()->getLocator()));
            throw PARSE_STOPPED();
        }
        XercesDOMParser::entityDecl(declaration, parameter, ignored);
    }

private:
    XMLFileLoc line_now() { return getScanner()->getLocator()->getLineNumber(); }

    ELEMENT_LINES m_lines;
    XMLFileLoc m_markup_line = 0; // where the next markup begins, 0 before the root
    unsigned m_depth = 0;
    bool m_ending_empty = false;
    bool m_too_deep = false;
};

// Runs one parse of the parser (a document or a grammar) named name in the
// messages; what it throws becomes the loader's internal errors.
void run_parse(GUARDED_PARSER& parser, const std::string& name, const std::function<void()>& parse)
{
    try {
        parse();
    } catch (const PARSE_STOPPED&) {
        if (parser.too_deep())
            PGM_FAIL("Elements in file %s are nested deeper than %u levels", name.c_str(), PGM_COMMON_XML_MAX_DEPTH);
    } catch (const XMLException& e) {
        std::cout << "Exception message is: \n" << pgm_xml_narrow(e.getMessage()) << "\n";
        PGM_FAIL("Error during XML parsing");
    } catch (const DOMException& e) {
        std::cout << "error code" << e.code << std::endl;
        PGM_FAIL("Error during XML parsing");
    } catch (const SAXException& e) {
        std::cout << pgm_xml_narrow(e.getMessage()) << std::endl;
        PGM_FAIL("Error during XML parsing");
    } catch (...) {
        std::cout << "unexpected internal error in file:" << "pgm/common/pgm_common_xml_dom_parser" << std::endl;
        PGM_FAIL("Error during XML parsing");
    }
}

} // namespace

// ---- Error handler ----

PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER::PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER(bool collect)
    : saw_errors(false), collect_messages(collect)
{
}

PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER::~PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER() = default;

void PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER::warning(const SAXParseException& e)
{
    post_error_msg(e, "Warning");
}

void PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER::error(const SAXParseException& e)
{
    saw_errors = true;
    post_error_msg(e, "Error");
}

void PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER::fatalError(const SAXParseException& e)
{
    saw_errors = true;
    post_error_msg(e, "Fatal Error");
}

void PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER::resetErrors()
{
    saw_errors = false;
}

bool PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER::handleError(const DOMError& e)
{
    saw_errors = true;
    switch (e.getSeverity()) {
    case DOMError::DOM_SEVERITY_WARNING:
        post("\nWarning at file ");
        break;
    case DOMError::DOM_SEVERITY_ERROR:
        post("\nError at file ");
        break;
    default:
        post("\nFatal Error at file ");
        break;
    }
    return true;
}

std::string PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER::getMsg()
{
    return msg;
}

bool PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER::getSawErrors()
{
    return saw_errors;
}

void PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER::post_error_msg(const SAXParseException& e, const char* kind)
{
    std::string text;
    MEM_DETAIL::stl_raw_sprintf(text, "%s at file \"%s\", line %d, column %d\n   Message: %s\n", kind,
                                pgm_xml_narrow(e.getSystemId()).c_str(), int(e.getLineNumber()),
                                int(e.getColumnNumber()), pgm_xml_narrow(e.getMessage()).c_str());
    post(text);
}

void PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER::post(const std::string& text)
{
    if (collect_messages)
        msg += text;
    else
        std::cerr << text << std::flush;
}

// ---- Text holder ----

PGM_COMMON_XML_PARSER_DOM_STRX::PGM_COMMON_XML_PARSER_DOM_STRX() = default;

PGM_COMMON_XML_PARSER_DOM_STRX::PGM_COMMON_XML_PARSER_DOM_STRX(const char* text)
{
    assign(text);
}

PGM_COMMON_XML_PARSER_DOM_STRX::PGM_COMMON_XML_PARSER_DOM_STRX(const XMLCh* text)
{
    assign(text);
}

PGM_COMMON_XML_PARSER_DOM_STRX::~PGM_COMMON_XML_PARSER_DOM_STRX()
{
    release_narrow();
    release_wide();
}

void PGM_COMMON_XML_PARSER_DOM_STRX::assign(const char* text)
{
    release_wide();
    if (text != nullptr)
        m_xmlch_str = pgm_xml_to_wide(text);
}

void PGM_COMMON_XML_PARSER_DOM_STRX::assign(const XMLCh* text)
{
    release_narrow();
    if (text != nullptr && *text != 0)
        m_c_str = pgm_xml_to_narrow(text);
}

PGM_COMMON_XML_PARSER_DOM_STRX& PGM_COMMON_XML_PARSER_DOM_STRX::operator=(const char* text)
{
    assign(text);
    return *this;
}

PGM_COMMON_XML_PARSER_DOM_STRX& PGM_COMMON_XML_PARSER_DOM_STRX::operator=(const XMLCh* text)
{
    assign(text);
    return *this;
}

const char* PGM_COMMON_XML_PARSER_DOM_STRX::c_str() const
{
    return m_c_str;
}

const XMLCh* PGM_COMMON_XML_PARSER_DOM_STRX::xmlch_str() const
{
    return m_xmlch_str;
}

void PGM_COMMON_XML_PARSER_DOM_STRX::release_narrow()
{
    if (m_c_str != nullptr)
        XMLString::release(&m_c_str, XMLPlatformUtils::fgMemoryManager);
}

void PGM_COMMON_XML_PARSER_DOM_STRX::release_wide()
{
    if (m_xmlch_str != nullptr)
        XMLString::release(&m_xmlch_str, XMLPlatformUtils::fgMemoryManager);
}

// ---- Loader ----

PGM_COMMON_XML_PARSER_DOM::PGM_COMMON_XML_PARSER_DOM() = default;

// The error handler goes first, then the parser.
PGM_COMMON_XML_PARSER_DOM::~PGM_COMMON_XML_PARSER_DOM()
{
    m_error_handler.reset();
    m_parser.reset();
}

DOMDocument* PGM_COMMON_XML_PARSER_DOM::loadconfig(const char* file, const char* schema, bool encoded,
                                                   std::string replacement, bool collect_messages)
{
    PGM_CHECK(file != NULL);
    FIO_STAT status;
    if (!FIO_FILE_SYSTEM::exists(file) || !FIO_FILE_SYSTEM::status(file, status))
        PGM_FAIL("Cannot locate file %s.", file);
    std::string filestring;
    if (encoded) {
        int fail_reason = 0;
        filestring = pgm_xml_decode_file(file, fail_reason);
        PGM_CHECK(!filestring.empty() && fail_reason == 0);
    } else {
        DWORD size = 0;
        std::unique_ptr<BYTE[]> data(PGM_COMMON::pgm_open_input_bin_file(file, size));
        if (data)
            filestring.assign(reinterpret_cast<const char*>(data.get()), size);
        PGM_CHECK(!filestring.empty());
    }
    PGM_COMMON::replacement_default_value(filestring, replacement, true);
    PGM_CHECK(!filestring.empty());
    loadconfig(std::move(filestring), schema, PGM_COMMON::get_filename(file), collect_messages);
    PGM_CHECK(m_parser != NULL);
    return m_parser->getDocument();
}

DOMDocument* PGM_COMMON_XML_PARSER_DOM::loadconfig(std::string text, const char* schema, std::string buffer_id,
                                                   bool collect_messages)
{
    try {
        pgm_xml_ensure_platform();
    } catch (const XMLException& e) {
        std::cout << "Error during initialization! :\n" << pgm_xml_narrow(e.getMessage()) << "\n";
        PGM_FAIL("Error during XML parsing");
    }
    PGM_CHECK(m_parser == NULL);
    m_parser = std::make_unique<GUARDED_PARSER>();
    m_error_handler = std::make_unique<PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER>(collect_messages);
    configure(schema);
    if (schema != NULL)
        load_schema(schema);
    PGM_COMMON_XML_PARSER_DOM_STRX id(buffer_id.c_str());
    MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()), text.size(), id.xmlch_str(), false);
    run_parse(static_cast<GUARDED_PARSER&>(*m_parser), buffer_id, [&] { m_parser->parse(source); });
    return m_parser->getDocument();
}

PGM_COMMON_XML_PARSER_DOM_ERROR_HANDLER* PGM_COMMON_XML_PARSER_DOM::get_error_handler()
{
    return m_error_handler.get();
}

// The parser's own settings (no external DTD, no entity resolution of its
// own, bounded expansion) are made with it.
void PGM_COMMON_XML_PARSER_DOM::configure(const char* schema)
{
    bool with_schema = schema != NULL;
    m_parser->setValidationScheme(XercesDOMParser::Val_Auto);
    m_parser->setDoNamespaces(with_schema);
    m_parser->setDoSchema(with_schema);
    if (with_schema) {
        m_parser->setValidationSchemaFullChecking(true);
        m_parser->setValidationConstraintFatal(true);
    }
    m_parser->setErrorHandler(m_error_handler.get());
}

// The parser resolves nothing by itself, so the schema is read here from
// its file, once. Xerces reads a grammar with a parser of its own that
// bounds no entity expansion or nesting, so the same bytes are first
// parsed as a plain document by a guarded parser; only a schema that
// passes is handed over as the grammar for the parse, and named as its
// location (a location without a grammar would only add a message that it
// cannot be opened). A schema that cannot be read at all is an error of
// the load: the text would otherwise pass unchecked.
void PGM_COMMON_XML_PARSER_DOM::load_schema(const char* schema)
{
    PGM_COMMON_XML_PARSER_DOM_STRX path(schema);
    LocalFileInputSource file(path.xmlch_str()); // names the schema by its full path
    const std::string name = pgm_xml_narrow(file.getSystemId());
    DWORD size = 0;
    std::unique_ptr<BYTE[]> text(PGM_COMMON::pgm_open_input_bin_file(schema, size));
    bool loaded = false;
    if (text) {
        MemBufInputSource checked(text.get(), size, file.getSystemId(), false);
        GUARDED_PARSER screen;
        screen.setValidationScheme(XercesDOMParser::Val_Never);
        screen.setDoNamespaces(true);
        screen.setErrorHandler(m_error_handler.get());
        run_parse(screen, name, [&] { screen.parse(checked); });
        if (!m_error_handler->getSawErrors()) {
            MemBufInputSource source(text.get(), size, file.getSystemId(), false);
            run_parse(static_cast<GUARDED_PARSER&>(*m_parser), name, [&] {
                loaded = m_parser->loadGrammar(source, Grammar::SchemaGrammarType, true) != nullptr;
            });
        }
    }
    if (loaded)
        m_parser->setExternalNoNamespaceSchemaLocation(path.xmlch_str());
    if (!loaded && !m_error_handler->getSawErrors()) {
        PGM_COMMON_XML_PARSER_DOM_STRX message("the schema could not be read");
        m_error_handler->error(SAXParseException(message.xmlch_str(), nullptr, path.xmlch_str(), 0, 0));
    }
    m_parser->useCachedGrammarInParse(true);
}

// ---- DOM readers ----

std::string PGM_COMMON_XML_DOM_HELPER::get_element_name_from_node(DOMNode* node)
{
    PGM_CHECK(node != NULL);
    return pgm_xml_narrow(node->getNodeName());
}

std::string PGM_COMMON_XML_DOM_HELPER::get_attribute_string_from_dom_element(DOMElement* element, std::string name)
{
    PGM_CHECK(element != NULL);
    PGM_COMMON_XML_PARSER_DOM_STRX wide_name(name.c_str());
    if (!element->hasAttribute(wide_name.xmlch_str()))
        return "";
    return pgm_xml_narrow(element->getAttribute(wide_name.xmlch_str()));
}

std::string PGM_COMMON_XML_DOM_HELPER::get_attribute_string_from_dom_node(DOMNode* node, std::string name)
{
    DOMElement* element = dynamic_cast<DOMElement*>(node);
    PGM_CHECK(element != NULL);
    return get_attribute_string_from_dom_element(element, name);
}

DOMNodeList* PGM_COMMON_XML_DOM_HELPER::get_elements_by_tag_name(DOMNode* node, std::string name)
{
    DOMElement* element = dynamic_cast<DOMElement*>(node);
    PGM_CHECK(element != NULL);
    PGM_COMMON_XML_PARSER_DOM_STRX wide_name(name.c_str());
    return element->getElementsByTagName(wide_name.xmlch_str());
}

std::string PGM_COMMON_XML_DOM_HELPER::get_text_content_from_dom_element(DOMElement* element, bool)
{
    PGM_CHECK(element != NULL);
    return text_content(element);
}

std::string PGM_COMMON_XML_DOM_HELPER::get_text_content_from_dom_node(DOMNode* node, bool)
{
    PGM_CHECK(node != NULL);
    return text_content(node);
}

unsigned long PGM_COMMON_XML_PARSER_DOM::get_line_of_node(DOMNode* node) const
{
    if (node == NULL || m_parser == NULL || node->getOwnerDocument() != m_parser->getDocument())
        return 0;
    return static_cast<unsigned long>(static_cast<const GUARDED_PARSER&>(*m_parser).line_of(node));
}

std::string PGM_COMMON_XML_PARSER_DOM::get_location_of_node(DOMNode* node) const
{
    DOMDocument* document = node != NULL ? node->getOwnerDocument() : NULL;
    std::string where = document != NULL ? pgm_xml_narrow(document->getDocumentURI()) : "";
    unsigned long line = get_line_of_node(node);
    if (!where.empty() && line > 0)
        where += ":" + std::to_string(line);
    return where;
}
