// The description of an XML schema family as pgm_xmlgen reads it, and the
// steps from a description file to generated code: reading, checking,
// writing. Used by pgm_xmlgen only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <istream>
#include <string>
#include <utility>
#include <vector>

namespace xmlgen {

const uint32_t INFINITE_COUNT = 0xFFFFFFFF;

// ---- Description model ----

struct VALUE_TYPE {
    const char* word;        // as written in the description
    const char* enumerator;  // PGM_XML_TYPE member
    const char* member_type; // C++ type of the bound member
    const char* initializer; // in-class initializer of the member, or ""
};

extern const char* const EXIST_WORDS[3]; // MUST, OPTIONAL, MUST_NOT

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

// A named list: of allowed values ("list"), or of element names ("names").
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
    std::vector<VALUE_LIST> lists;      // allowed values
    std::vector<VALUE_LIST> name_lists; // element names
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

std::string upper(std::string text);
std::string lower(std::string text);
bool is_lower_name(const std::string& text);
bool is_class_type(const std::string& text);
bool is_value_name(const std::string& text);
std::vector<std::string> split(const std::string& text, char separator);
std::string join(const std::vector<std::string>& pieces, const std::string& separator);
std::string literal(const std::string& text);
// Whether the loader reads the text as a number of the type (INTEGER,
// DWORD, HEX_DATA or STDHEX_DATA).
bool number_text(const std::string& type_word, const std::string& text);
// The described element of the class type, null when none.
const ELEMENT* find_element(const DESCRIPTION& d, const std::string& kind);

// ---- The steps ----

// Reads the statements of a description into d; problems go to errors.
void read_description(std::istream& in, DESCRIPTION& d, ERRORS& errors);
// Checks the description as a whole, for the family asked for.
void check_description(DESCRIPTION& d, const std::string& family, ERRORS& errors);
// The generated export header and source of a checked description;
// source_name is the description's file name, quoted in their banners.
std::string generated_header(const DESCRIPTION& d, const std::string& source_name);
std::string generated_source(const DESCRIPTION& d, const std::string& source_name);
// The XML Schema of the family's files.
std::string generated_schema(const DESCRIPTION& d, const std::string& source_name);
// The attributes and texts of every class with their descriptions, as rows
// of XML_CLASS and XML_FIELD macros for the tests to include.
std::string generated_table(const DESCRIPTION& d, const std::string& source_name);

} // namespace xmlgen
