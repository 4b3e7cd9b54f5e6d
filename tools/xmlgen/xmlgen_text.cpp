// Text helpers, names of presence rules and element lookup of pgm_xmlgen.
#include "xmlgen_model.h"

#include <cstdio>

namespace xmlgen {

const char* const EXIST_WORDS[3] = {"MUST", "OPTIONAL", "MUST_NOT"};

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
        if (c == '\n') {
            out += "\\n";
        } else if (c == '"' || c == '\\') {
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

const ELEMENT* find_element(const DESCRIPTION& d, const std::string& kind)
{
    for (const ELEMENT& element : d.elements) {
        if (element.kind == kind)
            return &element;
    }
    return nullptr;
}

} // namespace xmlgen
