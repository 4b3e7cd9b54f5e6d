// pgm_xmlgen: writes the element classes of one XML schema family from its
// description (h/pgm_common_xml_<family>.desc; the format is explained at the
// top of each description).
//
//   pgm_xmlgen <description> <output folder> <family>
//
// writes <output folder>/pgm_common_xml_<family>_auto_export.h and
// <output folder>/pgm_common_xml_<family>_auto.cpp. Every problem of the
// description is reported as "<file>:<line>: error: <message>" and nothing
// is written; both files are written through temporary files and renamed, so
// a failed run leaves no half-written file behind.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const size_t WIDTH = 120; // longest line of the generated code
const uint32_t INFINITE_COUNT = 0xFFFFFFFF;

// ---- Description model ----

struct VALUE_TYPE {
    const char* word;        // as written in the description
    const char* enumerator;  // PGM_XML_TYPE member
    const char* member_type; // C++ type of the bound member
    const char* initializer; // in-class initializer of the member, or ""
};

const VALUE_TYPE VALUE_TYPES[] = {
    {"BOOL", "PGM_XML_TYPE_BOOL", "bool", " = false"},
    {"PGM_XML_BOOL", "PGM_XML_TYPE_PGM_XML_BOOL", "BYTE", " = 0"},
    {"INTEGER", "PGM_XML_TYPE_INTEGER", "int", " = 0"},
    {"DWORD", "PGM_XML_TYPE_DWORD", "DWORD", " = 0"},
    {"STRING", "PGM_XML_TYPE_STRING", "std::string", ""},
    {"CPP_STRING", "PGM_XML_TYPE_CPP_STRING", "std::string", ""},
    {"HEX_DATA", "PGM_XML_TYPE_HEX_DATA", "PGM_COMMON_XML_HEX_DATA", ""},
    {"STDHEX_DATA", "PGM_XML_TYPE_STDHEX_DATA", "PGM_COMMON_XML_HEX_DATA", ""},
    {"ENUM", "PGM_XML_TYPE_ENUM", "PGM_COMMON_XML_ENUM", " = PGM_COMMON_XML_ENUM__INVALID__"},
    {"IGNORE", "PGM_XML_TYPE_IGNORE", "std::string", ""},
};

const char* const EXIST_WORDS[] = {"MUST", "OPTIONAL", "MUST_NOT"};

// Names a generated member may not take: C++ keywords, the names the
// generated code uses itself, and the members of the base class that it
// calls (the base's "info" may be hidden, some schemas name a child list so).
const std::set<std::string> RESERVED_NAMES = {
    "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case", "catch", "char",
    "char16_t", "char32_t", "class", "compl", "const", "constexpr", "const_cast", "continue", "decltype", "default",
    "delete", "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "final",
    "float", "for", "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept", "not",
    "not_eq", "nullptr", "operator", "or", "or_eq", "override", "private", "protected", "public", "register",
    "reinterpret_cast", "return", "short", "signed", "sizeof", "static", "static_assert", "static_cast", "struct",
    "switch", "template", "this", "thread_local", "throw", "true", "try", "typedef", "typeid", "typename", "union",
    "unsigned", "using", "virtual", "void", "volatile", "wchar_t", "while",
    // the generated code's own names
    "sub_class_type", "child", "remove", "back", "grouped",
    // members of PGM_COMMON_XML_ELEMENT
    "attribute_info", "parent", "childs", "add_child", "remove_child", "set_childs", "ungroup_all_child",
    "get_childs", "get_child_count", "get_element", "get_parent", "get_attribute_index", "is_attribute_empty",
    "read_attribute_string", "read_attribute_bool", "read_attribute_xml_bool", "read_attribute_value",
    "read_attribute_enum", "write_attribute_string", "write_attribute_value", "write_attribute_enum", "write_string",
    "write_value", "write_enum", "check_child_count", "clear_childs", "group_child", "set_parent",
    "get_sub_class_type", "grouping", "init_check", "check_count", "unsupported_child", "find_attribute",
    "attribute_member"};

// An element's text or one attribute.
struct FIELD {
    int line = 0;
    std::string name;       // the attribute name; "value" for the text
    const VALUE_TYPE* type = nullptr;
    int exist = 0;          // index into EXIST_WORDS
    std::string default_text;
    std::vector<std::string> allowed; // ENUM only
    std::string list_name;  // when allowed comes from a named list
};

struct CHILD {
    int line = 0;
    std::string kind;
    std::vector<std::vector<uint32_t>> ranges;
};

struct ELEMENT {
    int line = 0;
    std::string kind;               // class type, e.g. RAW_FILE
    std::vector<std::string> names; // element names in the file
    bool has_text = false;
    FIELD text;
    std::vector<FIELD> attributes;
    std::vector<CHILD> childs;
};

struct RULE {
    int line = 0;
    std::string kind;
    std::vector<std::string> parents;
};

struct VALUE_LIST {
    int line = 0;
    std::string name;
    std::vector<std::string> values;
    bool used = false;
};

struct DESCRIPTION {
    std::string family;
    int family_line = 0;
    std::string root;
    int root_line = 0;
    std::vector<VALUE_LIST> lists;
    std::vector<ELEMENT> elements;
    std::vector<RULE> rules;
};

// ---- Diagnostics ----

class ERRORS {
public:
    explicit ERRORS(std::string file) : file_(std::move(file)) {}
    void add(int line, const std::string& message) { messages_.emplace_back(line, message); }
    bool empty() const { return messages_.empty(); }
    // Prints the messages in line order.
    void print()
    {
        std::stable_sort(messages_.begin(), messages_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& message : messages_)
            std::cerr << file_ << ":" << message.first << ": error: " << message.second << "\n";
    }

private:
    std::string file_;
    std::vector<std::pair<int, std::string>> messages_;
};

// ---- Text helpers ----

std::string upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return text;
}

std::string lower(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return text;
}

bool is_lower_name(const std::string& text)
{
    if (text.empty() || !((text[0] >= 'a' && text[0] <= 'z') || text[0] == '_'))
        return false;
    for (char c : text) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    return true;
}

bool is_class_type(const std::string& text)
{
    if (text.empty() || !(text[0] >= 'A' && text[0] <= 'Z'))
        return false;
    for (char c : text) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    return true;
}

// A value name of the name table: letters, digits and "_".
bool is_value_name(const std::string& text)
{
    if (text.empty())
        return false;
    for (char c : text) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    return true;
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> pieces(1);
    for (char c : text) {
        if (c == separator)
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    return pieces;
}

std::string join(const std::vector<std::string>& pieces, const std::string& separator)
{
    std::string text;
    for (size_t i = 0; i < pieces.size(); ++i)
        text += (i ? separator : "") + pieces[i];
    return text;
}

// The text as a C string literal.
std::string literal(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\%03o", unsigned(c));
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

// ---- Reading the description ----

// One statement: its words, the line it starts on. A quoted word keeps its
// quotes so that "empty" and empty stay apart.
struct STATEMENT {
    int line = 0;
    std::vector<std::string> words;
};

// Splits one line into words; false (with a message) for an unterminated
// quote or a bad escape.
bool split_words(const std::string& text, std::vector<std::string>& words, std::string& problem)
{
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            std::string word = "\"";
            ++i;
            bool closed = false;
            while (i < text.size()) {
                char q = text[i++];
                if (q == '"') {
                    closed = true;
                    break;
                }
                if (q == '\\') {
                    if (i >= text.size() || (text[i] != '"' && text[i] != '\\')) {
                        problem = "only \\\" and \\\\ may follow a backslash in a quoted text";
                        return false;
                    }
                    q = text[i++];
                }
                word += q;
            }
            if (!closed) {
                problem = "quoted text without its closing quote";
                return false;
            }
            if (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r' && text[i] != '#') {
                problem = "a quoted text must be followed by a blank";
                return false;
            }
            words.push_back(word + "\"");
        } else {
            std::string word;
            while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r' && text[i] != '#')
                word += text[i++];
            words.push_back(word);
        }
    }
    return true;
}

std::vector<STATEMENT> read_statements(std::istream& in, ERRORS& errors)
{
    std::vector<STATEMENT> statements;
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        std::vector<std::string> words;
        std::string problem;
        if (!split_words(text, words, problem)) {
            errors.add(line, problem);
            continue;
        }
        if (words.empty())
            continue;
        if (words[0][0] != '|') {
            statements.push_back({line, words});
            continue;
        }
        // "| A|B" continues the value list that ends the statement before.
        std::string more = join(words, "");
        if (statements.empty() || words.size() > 2 || (words.size() == 2 && words[0] != "|") ||
            words.back()[0] == '"' || statements.back().words.back()[0] == '"') {
            errors.add(line, "a continuation line holds one \"|\" followed by more values of the list on the "
                             "line before");
            continue;
        }
        statements.back().words.back() += more;
    }
    return statements;
}

const VALUE_TYPE* find_type(const std::string& word)
{
    for (const VALUE_TYPE& type : VALUE_TYPES) {
        if (word == type.word)
            return &type;
    }
    return nullptr;
}

int find_exist(const std::string& word)
{
    for (int i = 0; i < 3; ++i) {
        if (word == EXIST_WORDS[i])
            return i;
    }
    return -1;
}

// Reads "<TYPE> <EXIST> <default> [<allowed>]" from words[first...].
bool parse_field(const STATEMENT& s, size_t first, FIELD& field, DESCRIPTION& d, ERRORS& errors)
{
    const std::vector<std::string>& w = s.words;
    if (w.size() < first + 3 || w.size() > first + 4) {
        errors.add(s.line, "expected \"" + w[0] + (w[0] == "attr" ? " <name>" : "") +
                               " <TYPE> <EXIST> <default> [<allowed values>]\"");
        return false;
    }
    field.line = s.line;
    field.type = find_type(w[first]);
    if (!field.type) {
        errors.add(s.line, "unknown type \"" + w[first] +
                               "\" (BOOL, PGM_XML_BOOL, INTEGER, DWORD, STRING, CPP_STRING, HEX_DATA, STDHEX_DATA, "
                               "ENUM or IGNORE)");
        return false;
    }
    field.exist = find_exist(w[first + 1]);
    if (field.exist < 0) {
        errors.add(s.line, "unknown presence rule \"" + w[first + 1] + "\" (MUST, OPTIONAL or MUST_NOT)");
        return false;
    }
    const std::string& def = w[first + 2];
    if (def == "empty") {
        field.default_text.clear();
    } else if (def.size() >= 2 && def[0] == '"') {
        field.default_text = def.substr(1, def.size() - 2);
    } else {
        errors.add(s.line, "the default \"" + def + "\" must be quoted, or the word empty");
        return false;
    }
    if (w.size() == first + 4) {
        const std::string& allowed = w[first + 3];
        if (allowed[0] == '@') {
            field.list_name = allowed.substr(1);
            bool found = false;
            for (VALUE_LIST& list : d.lists) {
                if (list.name == field.list_name) {
                    field.allowed = list.values;
                    list.used = found = true;
                }
            }
            if (!found) {
                errors.add(s.line, "no list named \"" + field.list_name + "\" before this line");
                return false;
            }
        } else {
            field.allowed = split(allowed, '|');
        }
    }
    return true;
}

bool valid_bool_text(const std::string& text)
{
    return text == "ON" || text == "OFF" || text == "1" || text == "0" || text == "true" || text == "false";
}

// The checks the library makes when it installs the default, made here so
// that a bad description fails the build rather than the first load.
void check_field(const FIELD& field, const std::string& what, ERRORS& errors)
{
    const std::string type = field.type->word;
    const std::string& def = field.default_text;
    if (type == "ENUM") {
        if (field.allowed.size() < 2) {
            errors.add(field.line, what + ": an ENUM needs a list of two or more allowed values");
            return;
        }
        std::set<std::string> seen;
        for (const std::string& value : field.allowed) {
            if (!is_value_name(value))
                errors.add(field.line, what + ": allowed value \"" + value + "\" is not a name of letters, digits "
                                              "and \"_\"");
            else if (!seen.insert(value).second)
                errors.add(field.line, what + ": allowed value \"" + value + "\" is listed twice");
        }
        if (def != "_INVALID__" && !seen.count(def))
            errors.add(field.line, what + ": the default \"" + def + "\" is neither _INVALID__ nor an allowed value");
        return;
    }
    if (!field.allowed.empty())
        errors.add(field.line, what + ": only an ENUM has allowed values");
    if (type == "BOOL" && !valid_bool_text(def))
        errors.add(field.line, what + ": a BOOL default is one of true, false, ON, OFF, 1, 0");
    else if (type == "PGM_XML_BOOL" && !(def.empty() || def == "tristate" || valid_bool_text(def)))
        errors.add(field.line, what + ": a PGM_XML_BOOL default is empty, tristate, true, false, ON, OFF, 1 or 0");
    else if ((type == "DWORD" || type == "INTEGER") && def.empty())
        errors.add(field.line, what + ": a " + type + " needs a number as its default");
    else if (type == "CPP_STRING" && !def.empty() &&
             (!is_value_name(def) || def[0] == '_' || (def[0] >= '0' && def[0] <= '9') || def.back() == '_'))
        errors.add(field.line, what + ": a CPP_STRING default is empty or an identifier that neither starts "
                                      "with \"_\" or a digit nor ends with \"_\"");
    else if (type == "IGNORE" && !def.empty())
        errors.add(field.line, what + ": an IGNORE value has the empty default");
}

bool parse_counts(const std::string& text, std::vector<std::vector<uint32_t>>& ranges)
{
    for (const std::string& piece : split(text, ',')) {
        if (piece == "infinity") {
            ranges.push_back({INFINITE_COUNT});
            continue;
        }
        std::vector<std::string> ends = split(piece, '-');
        if (ends.size() > 2)
            return false;
        std::vector<uint32_t> range;
        for (const std::string& end : ends) {
            if (end.empty() || end.size() > 10 || end.find_first_not_of("0123456789") != std::string::npos)
                return false;
            unsigned long long value = std::stoull(end);
            if (value >= INFINITE_COUNT)
                return false;
            range.push_back(uint32_t(value));
        }
        if (range.size() == 2 && range[0] >= range[1])
            return false;
        ranges.push_back(range);
    }
    return true;
}

ELEMENT* current_element(DESCRIPTION& d, const STATEMENT& s, ERRORS& errors)
{
    if (d.elements.empty()) {
        errors.add(s.line, "\"" + s.words[0] + "\" belongs to an element: put it after an \"element\" line");
        return nullptr;
    }
    return &d.elements.back();
}

void parse_statement(const STATEMENT& s, DESCRIPTION& d, ERRORS& errors)
{
    const std::vector<std::string>& w = s.words;
    const std::string& keyword = w[0];
    if (keyword == "family" || keyword == "root") {
        bool family = keyword == "family";
        if (w.size() != 2 || (family ? !is_lower_name(w[1]) : !is_class_type(w[1]))) {
            errors.add(s.line, family ? "expected \"family <name>\" with a lower-case name"
                                      : "expected \"root <CLASS>\" with an upper-case class type");
        } else if (family ? d.family_line : d.root_line) {
            errors.add(s.line, "a second \"" + keyword + "\" line");
        } else {
            (family ? d.family : d.root) = w[1];
            (family ? d.family_line : d.root_line) = s.line;
        }
    } else if (keyword == "list") {
        if (w.size() != 3 || !is_lower_name(w[1])) {
            errors.add(s.line, "expected \"list <name> <A|B|...>\" with a lower-case name");
            return;
        }
        for (const VALUE_LIST& list : d.lists) {
            if (list.name == w[1]) {
                errors.add(s.line, "list \"" + w[1] + "\" is already defined on line " + std::to_string(list.line));
                return;
            }
        }
        d.lists.push_back({s.line, w[1], split(w[2], '|'), false});
    } else if (keyword == "element") {
        if (w.size() < 2 || w.size() > 3 || !is_class_type(w[1])) {
            errors.add(s.line, "expected \"element <CLASS> [<names>]\" with an upper-case class type");
            return;
        }
        ELEMENT element;
        element.line = s.line;
        element.kind = w[1];
        element.names = w.size() == 3 ? split(w[2], '|') : std::vector<std::string>{lower(w[1])};
        for (const std::string& name : element.names) {
            if (!is_lower_name(name))
                errors.add(s.line, "element name \"" + name + "\" is not a lower-case name");
        }
        d.elements.push_back(element);
    } else if (keyword == "text") {
        ELEMENT* element = current_element(d, s, errors);
        if (!element)
            return;
        if (element->has_text) {
            errors.add(s.line, "element " + element->kind + " has a \"text\" line already");
            return;
        }
        FIELD field;
        if (!parse_field(s, 1, field, d, errors))
            return;
        field.name = "value";
        element->has_text = true;
        element->text = field;
    } else if (keyword == "attr") {
        ELEMENT* element = current_element(d, s, errors);
        if (!element)
            return;
        if (w.size() < 2 || !is_lower_name(w[1]) || w[1].compare(0, 2, "__") == 0) {
            errors.add(s.line, "expected \"attr <name> ...\" with a lower-case name not starting with \"__\"");
            return;
        }
        FIELD field;
        if (!parse_field(s, 2, field, d, errors))
            return;
        field.name = w[1];
        element->attributes.push_back(field);
    } else if (keyword == "child") {
        ELEMENT* element = current_element(d, s, errors);
        if (!element)
            return;
        CHILD child;
        child.line = s.line;
        if (w.size() != 3 || !is_class_type(w[1])) {
            errors.add(s.line, "expected \"child <CLASS> <counts>\"");
            return;
        }
        child.kind = w[1];
        if (!parse_counts(w[2], child.ranges)) {
            errors.add(s.line, "bad counts \"" + w[2] + "\": ranges joined by \",\", each a count, a range a-b "
                                                        "with a < b, or infinity");
            return;
        }
        element->childs.push_back(child);
    } else if (keyword == "rule") {
        if (w.size() != 4 || !is_class_type(w[1]) || w[2] != "under") {
            errors.add(s.line, "expected \"rule <CLASS> under <parent names>\"");
            return;
        }
        d.rules.push_back({s.line, w[1], split(w[3], '|')});
    } else {
        errors.add(s.line, "unknown keyword \"" + keyword + "\" (family, root, list, element, text, attr, child "
                                                           "or rule)");
    }
}

// ---- Checking the description as a whole ----

const ELEMENT* find_element(const DESCRIPTION& d, const std::string& kind)
{
    for (const ELEMENT& element : d.elements) {
        if (element.kind == kind)
            return &element;
    }
    return nullptr;
}

void check_members(const ELEMENT& element, ERRORS& errors)
{
    std::map<std::string, int> members; // member name -> line
    auto add = [&](const std::string& name, int line, const std::string& what) {
        if (RESERVED_NAMES.count(name))
            errors.add(line, what + " \"" + name + "\" of " + element.kind + " cannot be a member name of the "
                                                                                 "generated class");
        else if (!members.emplace(name, line).second)
            errors.add(line, what + " \"" + name + "\" of " + element.kind + " clashes with the member from line " +
                                 std::to_string(members[name]));
    };
    if (element.has_text) {
        check_field(element.text, element.kind + " text", errors);
        add("value", element.text.line, "text member");
    }
    for (const FIELD& field : element.attributes) {
        check_field(field, element.kind + " attribute " + field.name, errors);
        add(field.name, field.line, "attribute");
    }
    std::set<std::string> kinds;
    for (const CHILD& child : element.childs) {
        if (!kinds.insert(child.kind).second)
            errors.add(child.line, element.kind + " lists child " + child.kind + " twice");
        else
            add(lower(child.kind), child.line, "child list");
    }
}

void check_description(DESCRIPTION& d, const std::string& family, ERRORS& errors)
{
    if (!d.family_line)
        errors.add(1, "the \"family " + family + "\" line is missing");
    else if (d.family != family)
        errors.add(d.family_line, "the description is of family \"" + d.family + "\" but \"" + family +
                                      "\" was asked for");
    std::map<std::string, const ELEMENT*> by_name;
    std::set<std::string> kinds;
    for (const ELEMENT& element : d.elements) {
        if (!kinds.insert(element.kind).second)
            errors.add(element.line, "element " + element.kind + " is described twice");
        for (const std::string& name : element.names) {
            if (!by_name.emplace(name, &element).second)
                errors.add(element.line, "element name \"" + name + "\" is already used by " + by_name[name]->kind);
        }
        check_members(element, errors);
        for (const CHILD& child : element.childs) {
            if (!find_element(d, child.kind))
                errors.add(child.line, "child " + child.kind + " of " + element.kind + " is not described");
        }
    }
    if (!d.root_line)
        errors.add(1, "the \"root <CLASS>\" line is missing");
    else if (!find_element(d, d.root))
        errors.add(d.root_line, "root " + d.root + " is not described");

    std::map<std::string, int> rule_lines;
    for (const RULE& rule : d.rules) {
        const ELEMENT* element = find_element(d, rule.kind);
        if (!element) {
            errors.add(rule.line, "rule for " + rule.kind + ", which is not described");
            continue;
        }
        if (rule.kind == d.root)
            errors.add(rule.line, "the root " + rule.kind + " cannot have a parent rule");
        if (!rule_lines.emplace(rule.kind, rule.line).second)
            errors.add(rule.line, "a second rule for " + rule.kind + " (the first is on line " +
                                      std::to_string(rule_lines[rule.kind]) + ")");
        for (const std::string& parent : rule.parents) {
            auto found = by_name.find(parent);
            if (found == by_name.end()) {
                errors.add(rule.line, "parent \"" + parent + "\" is not an element name of this family");
                continue;
            }
            bool accepted = false;
            for (const CHILD& child : found->second->childs)
                accepted = accepted || child.kind == rule.kind;
            if (!accepted)
                errors.add(rule.line, "the rule puts " + rule.kind + " under " + parent + ", but " +
                                          found->second->kind + " has no \"child " + rule.kind + "\" line");
        }
    }
    for (const ELEMENT& element : d.elements) {
        if (element.kind != d.root && !rule_lines.count(element.kind))
            errors.add(element.line, "element " + element.kind + " has no parent rule (\"rule " + element.kind +
                                         " under ...\")");
        for (const CHILD& child : element.childs) {
            bool placed = false;
            for (const RULE& rule : d.rules) {
                for (const std::string& parent : rule.parents) {
                    for (const std::string& name : element.names)
                        placed = placed || (rule.kind == child.kind && parent == name);
                }
            }
            if (!placed && find_element(d, child.kind))
                errors.add(child.line, element.kind + " accepts child " + child.kind + ", but no rule puts it under " +
                                           join(element.names, " or "));
        }
    }
    for (const VALUE_LIST& list : d.lists) {
        for (const std::string& value : list.values) {
            if (!is_value_name(value))
                errors.add(list.line, "value \"" + value + "\" of list " + list.name + " is not a name of letters, "
                                                                                       "digits and \"_\"");
        }
        if (!list.used)
            errors.add(list.line, "list " + list.name + " is not used");
    }
}

// ---- Writing the code ----

// Splits a C string literal of a "|"-separated list into pieces that fit
// from column indent.
std::vector<std::string> wrapped_literal(const std::string& text, size_t indent)
{
    std::vector<std::string> pieces;
    std::string piece;
    for (const std::string& value : split(text, '|')) {
        std::string next = piece.empty() ? value : piece + "|" + value;
        if (!piece.empty() && indent + literal(next + "|").size() + 2 > WIDTH) {
            pieces.push_back(literal(piece + "|"));
            piece = value;
        } else {
            piece = next;
        }
    }
    pieces.push_back(literal(piece));
    return pieces;
}

// One argument of a generated call; list holds the unquoted text of a
// "|"-list literal that may be split over several lines.
struct ARGUMENT {
    std::string text;
    std::string list;
};

// A call or initializer "head arg, arg, ... tail" laid out in lines of at
// most WIDTH columns, continuation lines aligned after head (or indented
// below it when an argument would not fit there).
std::string layout(const std::string& head, const std::vector<ARGUMENT>& args, const std::string& tail)
{
    std::vector<std::string> texts;
    for (const ARGUMENT& arg : args)
        texts.push_back(arg.text);
    std::string single = head + join(texts, ", ") + tail;
    if (single.size() <= WIDTH)
        return single + "\n";
    // Arguments that do not fit after the head start on the next line.
    size_t widest = 0;
    for (const ARGUMENT& arg : args)
        widest = std::max(widest, arg.list.empty() ? arg.text.size() + tail.size() : 0);
    const bool below = head.size() + widest > WIDTH;
    const std::string indent(below ? head.find_first_not_of(' ') + 4 : head.size(), ' ');
    std::vector<std::string> lines{head};
    if (below)
        lines.push_back(indent);
    bool fresh = true; // nothing but the head or the indent on the last line yet
    for (size_t i = 0; i < args.size(); ++i) {
        std::string end = i + 1 < args.size() ? "," : tail;
        std::vector<std::string> pieces{args[i].text};
        if (!args[i].list.empty() && indent.size() + args[i].text.size() + end.size() > WIDTH)
            pieces = wrapped_literal(args[i].list, indent.size());
        bool split_arg = pieces.size() > 1; // a split literal takes lines of its own
        for (size_t p = 0; p < pieces.size(); ++p) {
            std::string piece = pieces[p] + (p + 1 == pieces.size() ? end : "");
            if (!fresh && (split_arg || lines.back().size() + 1 + piece.size() > WIDTH)) {
                lines.push_back(indent);
                fresh = true;
            }
            lines.back() += (fresh ? "" : " ") + piece;
            fresh = false;
        }
        if (split_arg && i + 1 < args.size()) {
            lines.push_back(indent);
            fresh = true;
        }
    }
    return join(lines, "\n") + "\n";
}

// A comment of words, wrapped to WIDTH.
std::string comment(const std::string& indent, const std::string& text)
{
    std::string out, line = indent + "//";
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        if (line.size() + 1 + word.size() > WIDTH) {
            out += line + "\n";
            line = indent + "//";
        }
        line += " " + word;
    }
    return out + line + "\n";
}

class GENERATOR {
public:
    GENERATOR(const DESCRIPTION& d, std::string source_name)
        : d_(d), source_name_(std::move(source_name)), prefix_("PGM_COMMON_XML_" + upper(d.family) + "_")
    {
    }

    std::string header() const;
    std::string source() const;

private:
    std::string class_name(const std::string& kind) const { return prefix_ + kind; }
    static std::string enumerator(const std::string& kind) { return "PGM_COMMON_XML_ENUM_" + kind; }
    std::string banner() const
    {
        return comment("", "Generated by pgm_xmlgen from " + source_name_ +
                               ": do not edit, change the description instead.");
    }
    static bool is_leaf(const ELEMENT& element) { return element.childs.empty(); }
    std::string class_declaration(const ELEMENT& element) const;
    std::string constructor(const ELEMENT& element) const;
    std::string child_functions(const ELEMENT& element) const;
    std::string family_function() const;
    std::vector<ARGUMENT> field_arguments(const FIELD& field) const;

    const DESCRIPTION& d_;
    std::string source_name_;
    std::string prefix_;
};

std::string GENERATOR::header() const
{
    std::string out = banner();
    out += "//\n";
    out += comment("", "The element classes of the " + d_.family +
                           " XML files, one per element kind: each binds its attributes and its text to its public "
                           "members, installs their defaults when it is built, and files its children into typed "
                           "lists (the children are owned by the base class's child list).");
    out += "#pragma once\n\n#include \"pgm/h/pgm_common_xml_element.h\"\n\n#include <string>\n#include <vector>\n\n";
    for (const ELEMENT& element : d_.elements)
        out += "class " + class_name(element.kind) + ";\n";
    for (const ELEMENT& element : d_.elements)
        out += "\n" + class_declaration(element);
    out += "\n";
    out += comment("", "How the loader builds a tree of the " + d_.family +
                           " files: the root class, and per class below the root the parent and element names it is "
                           "created under.");
    out += "PGM_COMMON_API const PGM_COMMON_XML_FAMILY& pgm_common_xml_" + d_.family + "_family();\n";
    return out;
}

std::string GENERATOR::class_declaration(const ELEMENT& element) const
{
    std::string names;
    for (const std::string& name : element.names)
        names += (names.empty() ? "<" : ", <") + name + ">";
    std::string out = comment("", names);
    const std::string name = class_name(element.kind);
    out += "class PGM_COMMON_API " + name + " : public PGM_COMMON_XML_ELEMENT {\npublic:\n";
    std::string parameter = "PGM_COMMON_XML_ENUM sub_class_type = " + enumerator(element.kind) + ");\n";
    std::string declaration = "    explicit " + name + "(" + parameter;
    out += declaration.size() <= WIDTH + 1 ? declaration : "    explicit " + name + "(\n        " + parameter;
    if (element.has_text) {
        out += "\n    // the element's text\n";
        out += std::string("    ") + element.text.type->member_type + " value" + element.text.type->initializer +
               ";\n";
    }
    if (!element.attributes.empty()) {
        out += "\n    // attributes\n";
        for (const FIELD& field : element.attributes)
            out += std::string("    ") + field.type->member_type + " " + field.name + field.type->initializer + ";\n";
    }
    if (!element.childs.empty()) {
        out += "\n    // children by class, in document order\n";
        for (const CHILD& child : element.childs)
            out += "    std::vector<" + class_name(child.kind) + "*> " + lower(child.kind) + ";\n";
    }
    out += "\nprotected:\n    void check_child_count() override;\n";
    if (!is_leaf(element))
        out += "    void clear_childs() override;\n";
    out += "    void group_child(PGM_COMMON_XML_ELEMENT* child, bool remove, bool back) override;\n};\n";
    return out;
}

std::vector<ARGUMENT> GENERATOR::field_arguments(const FIELD& field) const
{
    std::vector<ARGUMENT> args;
    args.push_back({field.type->enumerator, ""});
    args.push_back({std::string("PGM_XML_EXIST_") + EXIST_WORDS[field.exist], ""});
    args.push_back({literal(field.default_text), ""});
    if (!field.list_name.empty())
        args.push_back({"LIST_" + upper(field.list_name), ""});
    else
        args.push_back({literal(join(field.allowed, "|")), join(field.allowed, "|")});
    args.push_back({"&" + field.name, ""});
    return args;
}

std::string GENERATOR::constructor(const ELEMENT& element) const
{
    const std::string name = class_name(element.kind);
    std::string out = layout(name + "::" + name + "(", {{"PGM_COMMON_XML_ENUM sub_class_type", ""}}, ")");
    std::vector<ARGUMENT> args = {{enumerator(element.kind), ""}, {"sub_class_type", ""}};
    if (element.has_text) {
        for (const ARGUMENT& arg : field_arguments(element.text))
            args.push_back(arg);
    } else {
        args.push_back({"PGM_XML_TYPE_NONE", ""});
        args.push_back({"PGM_XML_EXIST_MUST_NOT", ""});
        args.push_back({"\"\"", ""});
        args.push_back({"\"\"", ""});
        args.push_back({"NULL", ""});
    }
    out += layout("    : PGM_COMMON_XML_ELEMENT(", args, ")");
    out += "{\n";
    if (!element.attributes.empty())
        out += "    attribute_info.reserve(attribute_info.size() + " + std::to_string(element.attributes.size()) + ");\n";
    for (const FIELD& field : element.attributes) {
        std::vector<ARGUMENT> field_args = {{literal(field.name), ""}};
        for (const ARGUMENT& arg : field_arguments(field))
            field_args.push_back(arg);
        out += layout("    attribute_info.push_back({", field_args, "});");
    }
    out += "    init_check();\n}\n";
    return out;
}

std::string count_text(const std::vector<std::vector<uint32_t>>& ranges)
{
    std::vector<std::string> texts;
    for (const std::vector<uint32_t>& range : ranges) {
        std::vector<std::string> ends;
        for (uint32_t end : range)
            ends.push_back(end == INFINITE_COUNT ? "0xFFFFFFFF" : std::to_string(end));
        texts.push_back("{" + join(ends, ", ") + "}");
    }
    return "{" + join(texts, ", ") + "}";
}

std::string GENERATOR::child_functions(const ELEMENT& element) const
{
    const std::string name = class_name(element.kind);
    std::string out = "void " + name + "::check_child_count()\n{\n";
    for (const CHILD& child : element.childs)
        out += "    check_count(" + enumerator(child.kind) + ", " + count_text(child.ranges) + ");\n";
    out += "    PGM_COMMON_XML_ELEMENT::check_child_count();\n}\n\n";
    if (is_leaf(element)) {
        out += layout("void " + name + "::group_child(", {{"PGM_COMMON_XML_ELEMENT* child", ""}, {"bool", ""}, {"bool", ""}},
                      ")");
        out += "{\n";
        out += "    unsupported_child(child);\n}\n";
        return out;
    }
    out += "void " + name + "::clear_childs()\n{\n";
    for (const CHILD& child : element.childs)
        out += "    " + lower(child.kind) + ".clear();\n";
    out += "}\n\n";
    out += layout("void " + name + "::group_child(",
                  {{"PGM_COMMON_XML_ELEMENT* child", ""}, {"bool remove", ""}, {"bool back", ""}}, ")");
    out += "{\n";
    out += "    bool grouped = false;\n    switch (child->info.class_type) {\n";
    for (const CHILD& child : element.childs) {
        const std::string list = lower(child.kind);
        out += "    case " + enumerator(child.kind) + ":\n";
        out += layout("        grouped = group_typed(",
                      {{list, ""}, {literal(list + ".size()"), ""}, {"child", ""}, {"remove", ""}, {"back", ""}}, ");");
        out += "        break;\n";
    }
    out += "    default:\n        break;\n    }\n    if (!grouped)\n        unsupported_child(child);\n}\n";
    return out;
}

std::string GENERATOR::family_function() const
{
    std::string out = "const PGM_COMMON_XML_FAMILY& pgm_common_xml_" + d_.family + "_family()\n{\n";
    out += "    static const PGM_COMMON_XML_FAMILY family = {\n";
    out += "        " + literal("h/pgm_common_xml_" + d_.family + "_auto") + ",\n";
    out += "        " + enumerator(d_.root) + ",\n        create_root,\n        {\n";
    for (const RULE& rule : d_.rules) {
        const ELEMENT* element = find_element(d_, rule.kind);
        std::vector<ARGUMENT> args = {{literal(join(rule.parents, "|")), join(rule.parents, "|")},
                                      {literal(join(element->names, "|")), join(element->names, "|")},
                                      {"create<" + class_name(rule.kind) + ">", ""}};
        out += layout("            {", args, "},");
    }
    out += "        },\n    };\n    return family;\n}\n";
    return out;
}

std::string GENERATOR::source() const
{
    std::string out = banner();
    out += "#include \"h/pgm_common_xml_" + d_.family + "_auto_export.h\"\n\n";
    out += "#include \"host/mem.h\"\n#include \"pgm/common/pgm_check.h\"\n\n#include <typeinfo>\n\n";
    out += "static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);\n\nnamespace {\n\n";
    for (const VALUE_LIST& list : d_.lists) {
        out += "// allowed values of list " + list.name + "\n";
        std::string head = "const char LIST_" + upper(list.name) + "[] = ";
        std::vector<std::string> pieces = wrapped_literal(join(list.values, "|"), head.size());
        for (size_t i = 0; i < pieces.size(); ++i)
            out += (i ? std::string(head.size(), ' ') : head) + pieces[i] + (i + 1 == pieces.size() ? ";\n" : "\n");
        out += "\n";
    }
    out += "// Adds child to one typed child list, at the back or the front, or drops the\n"
           "// last or the first entry; false when child is not of the list's class.\n"
           "template <class T>\n"
           "bool group_typed(std::vector<T*>& list, const char* size_text, PGM_COMMON_XML_ELEMENT* child, "
           "bool remove, bool back)\n"
           "{\n"
           "    if (remove) {\n"
           "        PGM_CHECK_TEXT(list.size(), size_text);\n"
           "        if (back)\n"
           "            list.pop_back();\n"
           "        else\n"
           "            list.erase(list.begin());\n"
           "        return true;\n"
           "    }\n"
           "    // The class type alone may be shared by classes of other families;\n"
           "    // the exact class is the quick test, a class derived from it the slow one.\n"
           "    T* typed = typeid(*child) == typeid(T) ? static_cast<T*>(child) : dynamic_cast<T*>(child);\n"
           "    if (typed == NULL)\n"
           "        return false;\n"
           "    if (back)\n"
           "        list.push_back(typed);\n"
           "    else\n"
           "        list.insert(list.begin(), typed);\n"
           "    return true;\n"
           "}\n\n";
    out += "template <class T>\nPGM_COMMON_XML_ELEMENT* create(PGM_COMMON_XML_ENUM sub_class_type)\n{\n"
           "    return new T(sub_class_type);\n}\n\n";
    out += "PGM_COMMON_XML_ELEMENT* create_root()\n{\n    return new " + class_name(d_.root) + "(" +
           enumerator(d_.root) + ");\n}\n\n} // namespace\n";
    for (const ELEMENT& element : d_.elements) {
        out += "\n// ---- " + class_name(element.kind) + " ----\n\n";
        out += constructor(element) + "\n" + child_functions(element);
    }
    out += "\n// ---- The family ----\n\n" + family_function();
    return out;
}

// ---- Files ----

bool write_file(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "pgm_xmlgen: cannot write " << path << ": " << std::strerror(errno) << "\n";
        return false;
    }
    return true;
}

// Writes every file beside its final name, then renames them all.
bool write_files(const std::vector<std::pair<std::string, std::string>>& files)
{
    bool ok = true;
    for (const auto& file : files)
        ok = ok && write_file(file.first + ".tmp", file.second);
    for (const auto& file : files) {
        std::error_code error;
        if (ok) {
            std::filesystem::rename(file.first + ".tmp", file.first, error);
            if (error) {
                std::cerr << "pgm_xmlgen: cannot rename to " << file.first << ": " << error.message() << "\n";
                ok = false;
            }
        }
        std::filesystem::remove(file.first + ".tmp", error);
    }
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: pgm_xmlgen <description> <output folder> <family>\n";
        return 2;
    }
    const std::string desc_path = argv[1], out_dir = argv[2], family = argv[3];
    std::ifstream in(desc_path, std::ios::binary);
    if (!in) {
        std::cerr << "pgm_xmlgen: cannot read " << desc_path << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    ERRORS errors(desc_path);
    DESCRIPTION d;
    for (const STATEMENT& statement : read_statements(in, errors))
        parse_statement(statement, d, errors);
    if (in.bad()) {
        std::cerr << "pgm_xmlgen: cannot read " << desc_path << "\n";
        return 1;
    }
    if (!is_lower_name(family)) {
        std::cerr << "pgm_xmlgen: the family \"" << family << "\" is not a lower-case name\n";
        return 2;
    }
    check_description(d, family, errors);
    if (!errors.empty()) {
        errors.print();
        return 1;
    }
    std::error_code error;
    std::filesystem::create_directories(out_dir, error);
    if (error) {
        std::cerr << "pgm_xmlgen: cannot create " << out_dir << ": " << error.message() << "\n";
        return 1;
    }
    GENERATOR generator(d, std::filesystem::path(desc_path).filename().string());
    const std::string stem = out_dir + "/pgm_common_xml_" + family + "_auto";
    return write_files({{stem + "_export.h", generator.header()}, {stem + ".cpp", generator.source()}}) ? 0 : 1;
}
