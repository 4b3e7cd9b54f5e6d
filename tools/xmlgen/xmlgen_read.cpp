// Reading and checking a schema family description for pgm_xmlgen.
#include "xmlgen_model.h"

#include <map>
#include <set>

namespace xmlgen {
namespace {

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

} // namespace

void read_description(std::istream& in, DESCRIPTION& d, ERRORS& errors)
{
    for (const STATEMENT& statement : read_statements(in, errors))
        parse_statement(statement, d, errors);
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

} // namespace xmlgen
