// Checking a schema family description as a whole for pgm_xmlgen: the
// values of each field, the member names of each class, and the classes,
// rules and lists together.
#include "xmlgen_model.h"

#include <map>
#include <set>

namespace xmlgen {
namespace {

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
    else if ((type == "DWORD" || type == "INTEGER" || type == "HEX_DATA" || type == "STDHEX_DATA") &&
             !def.empty() && !number_text(type, def))
        errors.add(field.line, what + ": the default \"" + def + "\" is not " +
                                   (type == "STDHEX_DATA" ? "bytes of two hexadecimal digits"
                                    : type == "HEX_DATA"  ? "hexadecimal digits"
                                                          : "a number the loader reads"));
    else if (type == "CPP_STRING" && !def.empty() &&
             (!is_value_name(def) || def[0] == '_' || (def[0] >= '0' && def[0] <= '9') || def.back() == '_'))
        errors.add(field.line, what + ": a CPP_STRING default is empty or an identifier that neither starts "
                                      "with \"_\" or a digit nor ends with \"_\"");
    else if (type == "IGNORE" && !def.empty())
        errors.add(field.line, what + ": an IGNORE value has the empty default");
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
        std::set<std::string> parents;
        for (const std::string& parent : rule.parents) {
            if (!parents.insert(parent).second) {
                errors.add(rule.line, "parent \"" + parent + "\" is named twice in the rule");
                continue;
            }
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
    }
    for (const std::vector<VALUE_LIST>* lists : {&d.lists, &d.name_lists}) {
        for (const VALUE_LIST& list : *lists) {
            if (!list.used)
                errors.add(list.line, "list " + list.name + " is not used");
        }
    }
}

} // namespace xmlgen
