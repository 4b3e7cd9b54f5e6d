// Writing the XML Schema of a checked description for pgm_xmlgen.
//
// The schema accepts what the loader accepts, as far as XSD 1.0 can say it:
// the value types follow the loader's conversions (the patterns below), an
// empty optional attribute counts as absent, element text that is only
// blanks counts as no text. Children may come in any order; where that and
// the counts cannot both be said, the loader's child counts say the rest.
#include "xmlgen_model.h"

#include <regex>
#include <set>
#include <stdexcept>

namespace xmlgen {
namespace {

// A 32-bit number as the loader reads it: numbers (decimal, "0x" hex, "b"
// binary, a leading "-"), each optionally shifted ("1 << 4"), joined by "|".
const char* const NUMBER = "(-?(0x[0-9a-fA-F]{0,16}|b[01]{0,64}|[0-9]+)|-)";
const std::string DWORD_PATTERN = std::string("\\s*") + NUMBER + "(\\s*<<\\s*" + NUMBER + ")?(\\s*\\|\\s*" +
                                  NUMBER + "(\\s*<<\\s*" + NUMBER + ")?)*\\s*";

// A value type of the schema: its name and its facets, or a regular
// expression of its texts.
struct SIMPLE_TYPE {
    const char* name;
    const char* comment;
    std::string pattern;                   // "" when words or min_length say it
    std::vector<std::string> words;        // an enumeration
    bool non_empty;                        // minLength 1
};

const SIMPLE_TYPE VALUE_TYPES[] = {
    {"value.bool", "A BOOL value.", "", {"true", "false", "ON", "OFF", "1", "0"}, false},
    {"value.pgm_xml_bool", "A PGM_XML_BOOL value; tristate stands for not given.", "",
     {"tristate", "true", "false", "ON", "OFF", "1", "0"}, false},
    {"value.integer", "A signed 32-bit number: decimal, \"0x\" hexadecimal or \"b\" binary.",
     "-?(0x[0-9a-fA-F]{0,16}|b[01]{0,64}|[0-9]*)", {}, true},
    {"value.dword", "A 32-bit number: decimal, \"0x\" hexadecimal or \"b\" binary, each optionally shifted "
                    "(\"1 << 4\"), several joined by \"|\".",
     DWORD_PATTERN, {}, false},
    {"value.string", "A text that must be given: an empty one counts as absent.", "", {}, true},
    {"value.text", "Element text: something other than blanks.", "[\\s\\S]*[^ \\t\\n][\\s\\S]*", {}, false},
    {"value.blank", "No element text: blanks only.", "[ \\t\\n]*", {}, false},
    {"value.empty", "The empty text, which counts as absent.", "", {""}, false},
    {"value.cpp_string", "An identifier that neither starts with \"_\" or a digit nor ends with \"_\".",
     "[A-Za-z]([A-Za-z0-9_]*[A-Za-z0-9])?", {}, false},
    {"value.hex_data", "Hexadecimal digits, the last two the first byte.", "[0-9a-fA-F]+", {}, false},
    {"value.stdhex_data", "Bytes of two hexadecimal digits each, in reading order.", "([0-9a-fA-F]{2})+", {}, false},
};

const SIMPLE_TYPE& value_type(const std::string& name)
{
    for (const SIMPLE_TYPE& type : VALUE_TYPES) {
        if (name == type.name)
            return type;
    }
    throw std::logic_error("no value type " + name);
}

// The text as XML attribute value or element text.
std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::string occurs(uint32_t min, uint32_t max)
{
    std::string out;
    if (min != 1)
        out += " minOccurs=\"" + std::to_string(min) + "\"";
    if (max != 1)
        out += " maxOccurs=\"" + (max == INFINITE_COUNT ? std::string("unbounded") : std::to_string(max)) + "\"";
    return out;
}

// The fewest and the most children a count list allows (gaps aside).
std::pair<uint32_t, uint32_t> count_bounds(const std::vector<std::vector<uint32_t>>& ranges)
{
    uint32_t min = INFINITE_COUNT, max = 0;
    for (const std::vector<uint32_t>& range : ranges) {
        min = std::min(min, range[0] == INFINITE_COUNT ? 1 : range[0]);
        max = std::max(max, range.back());
    }
    return {min, max};
}

class SCHEMA {
public:
    explicit SCHEMA(const DESCRIPTION& d) : d_(d) {}
    std::string text(const std::string& source_name);

private:
    std::string use(const std::string& name);
    std::string definition(const std::string& name) const;
    std::string base_type(const ELEMENT& element, const FIELD& field, bool text);
    std::string field_type(const ELEMENT& element, const FIELD& field, bool text);
    bool valid_default(const FIELD& field, const std::string& type) const;
    std::string text_default(const ELEMENT& element);
    std::string attributes(const ELEMENT& element, const std::string& indent);
    std::string content(const ELEMENT& element);
    std::string complex_type(const ELEMENT& element);

    const DESCRIPTION& d_;
    std::vector<std::string> used_;     // the simple types, in first use
    std::set<std::string> used_names_;
};

// Notes a simple type as used, with the types it is built of.
std::string SCHEMA::use(const std::string& name)
{
    const size_t dot = name.rfind('.');
    const std::string suffix = dot == std::string::npos ? "" : name.substr(dot);
    if (suffix == ".or_empty" || suffix == ".or_blank") {
        use(name.substr(0, dot));
        use(suffix == ".or_empty" ? "value.empty" : "value.blank");
    }
    if (used_names_.insert(name).second)
        used_.push_back(name);
    return name;
}

const FIELD* enum_field(const DESCRIPTION& d, const std::string& name)
{
    for (const ELEMENT& element : d.elements) {
        for (const FIELD& field : element.attributes) {
            if (name == "enum." + lower(element.kind) + "." + field.name)
                return &field;
        }
        if (element.has_text && name == "enum." + lower(element.kind) + ".value")
            return &element.text;
    }
    return nullptr;
}

std::string words_type(const std::vector<std::string>& words)
{
    std::string out = "        <xs:restriction base=\"xs:string\">\n";
    for (const std::string& word : words)
        out += "            <xs:enumeration value=\"" + escaped(word) + "\"/>\n";
    return out + "        </xs:restriction>\n";
}

std::string SCHEMA::definition(const std::string& name) const
{
    std::string out;
    const size_t dot = name.rfind('.');
    const std::string suffix = name.substr(dot);
    if (suffix == ".or_empty" || suffix == ".or_blank") {
        out = "        <xs:union memberTypes=\"" + name.substr(0, dot) +
              (suffix == ".or_empty" ? " value.empty" : " value.blank") + "\"/>\n";
    } else if (name.compare(0, 5, "list.") == 0) {
        for (const VALUE_LIST& list : d_.lists) {
            if (name == "list." + list.name)
                out = words_type(list.values);
        }
    } else if (name.compare(0, 5, "enum.") == 0) {
        out = words_type(enum_field(d_, name)->allowed);
    } else {
        const SIMPLE_TYPE& type = value_type(name);
        out = "    <!-- " + std::string(type.comment) + " -->\n";
        if (!type.words.empty())
            return out + "    <xs:simpleType name=\"" + name + "\">\n" + words_type(type.words) +
                   "    </xs:simpleType>\n";
        out += "    <xs:simpleType name=\"" + name + "\">\n        <xs:restriction base=\"xs:string\">\n";
        if (type.non_empty)
            out += "            <xs:minLength value=\"1\"/>\n";
        if (!type.pattern.empty())
            out += "            <xs:pattern value=\"" + escaped(type.pattern) + "\"/>\n";
        return out + "        </xs:restriction>\n    </xs:simpleType>\n";
    }
    return "    <xs:simpleType name=\"" + name + "\">\n" + out + "    </xs:simpleType>\n";
}

std::string SCHEMA::base_type(const ELEMENT& element, const FIELD& field, bool text)
{
    const std::string word = field.type->word;
    if (word == "ENUM")
        return field.list_name.empty() ? "enum." + lower(element.kind) + "." + field.name : "list." + field.list_name;
    if (word == "STRING" || word == "IGNORE")
        return text ? "value.text" : "value.string";
    return "value." + lower(word);
}

// The type of an attribute's value or an element's text under its presence
// rule: an optional one may also be empty (an attribute) or blank (a text).
std::string SCHEMA::field_type(const ELEMENT& element, const FIELD& field, bool text)
{
    const std::string exist = EXIST_WORDS[field.exist];
    if (exist == "MUST_NOT")
        return use("value.blank");
    const std::string base = base_type(element, field, text);
    if (exist == "MUST")
        return use(base);
    if (base == "value.string" || base == "value.text")
        return "xs:string";
    return use(base + (text ? ".or_blank" : ".or_empty"));
}

// Whether the default is a value of the type, so that the schema can state it.
bool SCHEMA::valid_default(const FIELD& field, const std::string& type) const
{
    const std::string& def = field.default_text;
    if (def.empty())
        return false;
    if (type == "xs:string")
        return true;
    const std::string base = type.substr(0, type.rfind(".or_"));
    if (base.compare(0, 5, "list.") == 0 || base.compare(0, 5, "enum.") == 0)
        return std::find(field.allowed.begin(), field.allowed.end(), def) != field.allowed.end();
    const SIMPLE_TYPE& simple = value_type(base);
    if (!simple.words.empty())
        return std::find(simple.words.begin(), simple.words.end(), def) != simple.words.end();
    return simple.pattern.empty() || std::regex_match(def, std::regex(simple.pattern));
}

// The default of an element's optional text, where the schema can state it.
std::string SCHEMA::text_default(const ELEMENT& element)
{
    if (!element.has_text || !element.childs.empty() || element.text.exist != 1)
        return "";
    const std::string type = field_type(element, element.text, true);
    return valid_default(element.text, type) ? " default=\"" + escaped(element.text.default_text) + "\"" : "";
}

std::string SCHEMA::attributes(const ELEMENT& element, const std::string& indent)
{
    std::string out;
    for (const FIELD& field : element.attributes) {
        if (field.exist == 2) // MUST_NOT: not declared, so refused
            continue;
        const std::string type = field_type(element, field, false);
        out += indent + "<xs:attribute name=\"" + field.name + "\" type=\"" + type + "\"";
        if (field.exist == 0)
            out += " use=\"required\"";
        else if (valid_default(field, type))
            out += " default=\"" + escaped(field.default_text) + "\"";
        out += "/>\n";
    }
    return out + indent + "<xs:attributeGroup ref=\"conditions\"/>\n";
}

// The children of an element: an "all" group when each kind comes at most
// once, the exact counts of a single kind, otherwise any number in any order.
std::string SCHEMA::content(const ELEMENT& element)
{
    struct PARTICLE {
        const ELEMENT* child;
        uint32_t min, max;
    };
    std::vector<PARTICLE> particles;
    bool at_most_one = true, some_required = false;
    for (const CHILD& child : element.childs) {
        std::pair<uint32_t, uint32_t> bounds = count_bounds(child.ranges);
        if (bounds.second == 0)
            continue; // never allowed
        particles.push_back({find_element(d_, child.kind), bounds.first, bounds.second});
        at_most_one = at_most_one && bounds.second <= 1;
        some_required = some_required || bounds.first > 0;
    }
    if (particles.empty())
        return "";
    auto declaration = [this](const std::string& name, const ELEMENT& child, const std::string& counts) {
        return "            <xs:element name=\"" + name + "\" type=\"" + child.kind + "\"" + text_default(child) +
               counts + "/>\n";
    };
    std::string open, close, body;
    if (particles.size() == 1) {
        const PARTICLE& p = particles[0];
        if (p.child->names.size() == 1)
            return "        <xs:sequence>\n" + declaration(p.child->names[0], *p.child, occurs(p.min, p.max)) +
                   "        </xs:sequence>\n";
        open = "        <xs:choice" + occurs(p.min, p.max) + ">\n";
        close = "        </xs:choice>\n";
    } else if (at_most_one) {
        open = "        <xs:all>\n";
        close = "        </xs:all>\n";
    } else {
        open = "        <xs:choice" + occurs(some_required ? 1 : 0, INFINITE_COUNT) + ">\n";
        close = "        </xs:choice>\n";
    }
    for (const PARTICLE& p : particles) {
        // In an "all" group a kind of several names is optional per name.
        bool optional = p.min == 0 || p.child->names.size() > 1;
        for (const std::string& name : p.child->names)
            body += declaration(name, *p.child, at_most_one && particles.size() > 1 && optional
                                                         ? occurs(0, 1)
                                                         : "");
    }
    return open + body + close;
}

std::string SCHEMA::complex_type(const ELEMENT& element)
{
    std::string names;
    for (const std::string& name : element.names)
        names += (names.empty() ? "<" : ", <") + name + ">";
    std::string out = "    <!-- " + names + " -->\n";
    const bool root = element.kind == d_.root;
    const bool mixed = root || (element.has_text && !element.childs.empty());
    out += "    <xs:complexType name=\"" + element.kind + "\"" + (mixed ? " mixed=\"true\"" : "") + ">\n";
    if (root)
        out += "        <!-- the loader does not read the root's text -->\n";
    if (mixed || !element.childs.empty())
        return out + content(element) + attributes(element, "        ") + "    </xs:complexType>\n";
    const std::string text = element.has_text ? field_type(element, element.text, true) : use("value.blank");
    out += "        <xs:simpleContent>\n            <xs:extension base=\"" + text + "\">\n";
    out += attributes(element, "                ");
    return out + "            </xs:extension>\n        </xs:simpleContent>\n    </xs:complexType>\n";
}

std::string SCHEMA::text(const std::string& source_name)
{
    std::string types;
    for (const ELEMENT& element : d_.elements)
        types += "\n" + complex_type(element);
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<!-- Generated by pgm_xmlgen from " + source_name + ": do not edit, change the description instead.\n";
    out += "     The " + d_.family + " XML files: the elements with their nesting, their attributes and the allowed\n"
           "     values. Children may come in any order; the counts this schema cannot say without fixing an\n"
           "     order are the loader's. Every element may carry the condition attributes __if_continue__,\n"
           "     __if_skip__ and __hidden__. -->\n";
    out += "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n\n";
    for (const std::string& name : find_element(d_, d_.root)->names)
        out += "    <xs:element name=\"" + name + "\" type=\"" + d_.root + "\"/>\n";
    out += "\n    <!-- ==== Value types ==== -->\n";
    // Value types in table order, the lists, the enumerations of single
    // fields, then the unions with the empty or blank text.
    for (const SIMPLE_TYPE& type : VALUE_TYPES) {
        if (used_names_.count(type.name))
            out += "\n" + definition(type.name);
    }
    for (const VALUE_LIST& list : d_.lists) {
        if (used_names_.count("list." + list.name))
            out += "\n" + definition("list." + list.name);
    }
    for (bool unions : {false, true}) {
        for (const std::string& name : used_) {
            bool is_union = name.find(".or_") != std::string::npos;
            if (is_union == unions && (is_union || name.compare(0, 5, "enum.") == 0))
                out += "\n" + definition(name);
        }
    }
    out += "\n    <xs:attributeGroup name=\"conditions\">\n";
    for (const char* name : {"__if_continue__", "__if_skip__", "__hidden__"})
        out += "        <xs:attribute name=\"" + std::string(name) + "\" type=\"xs:string\"/>\n";
    out += "    </xs:attributeGroup>\n\n    <!-- ==== Elements ==== -->\n" + types + "\n</xs:schema>\n";
    return out;
}

} // namespace

bool number_text(const std::string& type_word, const std::string& text)
{
    return std::regex_match(text, std::regex(value_type("value." + lower(type_word)).pattern));
}

std::string generated_schema(const DESCRIPTION& d, const std::string& source_name)
{
    return SCHEMA(d).text(source_name);
}

} // namespace xmlgen
