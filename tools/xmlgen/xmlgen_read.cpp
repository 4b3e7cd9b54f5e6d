// Reading a schema family description for pgm_xmlgen.
#include "xmlgen_model.h"


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

VALUE_LIST* find_list(std::vector<VALUE_LIST>& lists, const std::string& name)
{
    for (VALUE_LIST& list : lists) {
        if (list.name == name)
            return &list;
    }
    return nullptr;
}

// Appends the element names of a "|"-separated text in which @<name> stands
// for the names of a names list defined before. Names written out must be
// lower-case names when check_case is set (a rule's parents are checked
// against the described elements instead).
void expand_names(const STATEMENT& s, const std::string& text, bool check_case, DESCRIPTION& d, ERRORS& errors,
                  std::vector<std::string>& names)
{
    for (const std::string& piece : split(text, '|')) {
        if (piece.empty() || piece[0] != '@') {
            if (check_case && !is_lower_name(piece))
                errors.add(s.line, "element name \"" + piece + "\" is not a lower-case name");
            names.push_back(piece);
            continue;
        }
        const std::string name = piece.substr(1);
        VALUE_LIST* list = find_list(d.name_lists, name);
        if (!list) {
            errors.add(s.line, find_list(d.lists, name)
                                   ? "\"" + name + "\" is a list of allowed values, not of element names"
                                   : "no names list \"" + name + "\" before this line");
            continue;
        }
        list->used = true;
        names.insert(names.end(), list->values.begin(), list->values.end());
    }
}

// "list <name> <A|B|...>" or "names <name> <a|b|...>"; the two kinds share
// one set of list names.
void parse_list(const STATEMENT& s, DESCRIPTION& d, ERRORS& errors)
{
    const std::vector<std::string>& w = s.words;
    const bool names = w[0] == "names";
    if (w.size() != 3 || !is_lower_name(w[1])) {
        errors.add(s.line, names ? "expected \"names <name> <a|b|...>\" with a lower-case name"
                                 : "expected \"list <name> <A|B|...>\" with a lower-case name");
        return;
    }
    for (std::vector<VALUE_LIST>* lists : {&d.lists, &d.name_lists}) {
        if (const VALUE_LIST* list = find_list(*lists, w[1])) {
            errors.add(s.line, "list \"" + w[1] + "\" is already defined on line " + std::to_string(list->line));
            return;
        }
    }
    VALUE_LIST list{s.line, w[1], {}, false};
    if (names)
        expand_names(s, w[2], true, d, errors, list.values);
    else
        list.values = split(w[2], '|');
    (names ? d.name_lists : d.lists).push_back(list);
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
            VALUE_LIST* list = find_list(d.lists, field.list_name);
            if (!list) {
                errors.add(s.line, find_list(d.name_lists, field.list_name)
                                       ? "\"" + field.list_name + "\" is a list of element names, not of allowed values"
                                       : "no list named \"" + field.list_name + "\" before this line");
                return false;
            }
            field.allowed = list->values;
            list->used = true;
        } else {
            field.allowed = split(allowed, '|');
        }
    }
    return true;
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
    } else if (keyword == "list" || keyword == "names") {
        parse_list(s, d, errors);
    } else if (keyword == "element") {
        if (w.size() < 2 || w.size() > 3 || !is_class_type(w[1])) {
            errors.add(s.line, "expected \"element <CLASS> [<names>]\" with an upper-case class type");
            return;
        }
        ELEMENT element;
        element.line = s.line;
        element.kind = w[1];
        if (w.size() == 3)
            expand_names(s, w[2], true, d, errors, element.names);
        else
            element.names = {lower(w[1])};
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
        RULE rule{s.line, w[1], {}};
        expand_names(s, w[3], false, d, errors, rule.parents);
        d.rules.push_back(rule);
    } else {
        errors.add(s.line, "unknown keyword \"" + keyword + "\" (family, root, list, names, element, text, attr, "
                                                           "child or rule)");
    }
}

} // namespace

void read_description(std::istream& in, DESCRIPTION& d, ERRORS& errors)
{
    for (const STATEMENT& statement : read_statements(in, errors))
        parse_statement(statement, d, errors);
}

} // namespace xmlgen
