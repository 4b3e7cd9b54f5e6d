// Text conversions of the element model: assigning XML text to a bound
// member by value type, installing defaults, the boolean, identifier, hex
// and enumeration conversions, and lookups in the name table.
#include "host/mem.h"
#include "host/msg.h"
#include "pgm/common/pgm_check.h"
#include "pgm/h/pgm_common.h"
#include "pgm/h/pgm_common_xml.h"

#include <cstdint>
#include <unordered_map>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

const BYTE TRISTATE = 2;
const DWORD NAME_COUNT = DWORD(PGM_COMMON_XML_ENUM__MAX__) + 1;

const char* table_entry(DWORD index) { return pgm_common_xml_enum_names[index]; }

// Index of name in the name table; NAME_COUNT when absent. The names are
// distinct, so an index by name gives the first match.
DWORD find_name(const std::string& name)
{
    static const std::unordered_map<std::string, DWORD> index = [] {
        std::unordered_map<std::string, DWORD> names;
        for (DWORD i = 0; i < NAME_COUNT; ++i)
            names.emplace(table_entry(i), i);
        return names;
    }();
    auto found = index.find(name);
    return found == index.end() ? NAME_COUNT : found->second;
}

// Replaces the record's bytes by those of a finished conversion; the old
// bytes are released only once the new ones exist.
void replace_hex(PGM_COMMON_XML_HEX_DATA& hex_data, BYTE* data, DWORD size)
{
    delete[] hex_data.data;
    hex_data.data = data;
    hex_data.size = size;
}

void assign_hex(void* ptr, BYTE type, const std::string& value, bool init)
{
    PGM_COMMON_XML_HEX_DATA& hex_data = *static_cast<PGM_COMMON_XML_HEX_DATA*>(ptr);
    if (!value.empty()) {
        if (type == PGM_XML_TYPE_HEX_DATA)
            PGM_COMMON_XML_HELPER::get_hex_data(hex_data, value);
        else
            PGM_COMMON_XML_HELPER::get_stdhex_data(hex_data, value);
    } else if (init) {
        replace_hex(hex_data, NULL, 0);
    }
}

} // namespace

// ---- Assignment ----

void PGM_COMMON_XML::assign_xml_value(const void* ptr, BYTE type, BYTE, std::string value, std::string enum_string,
                                      bool init)
{
    PGM_CHECK(type != PGM_XML_TYPE_NONE && type < PGM_XML_TYPE_INVALID);
    const bool hex = type == PGM_XML_TYPE_HEX_DATA || type == PGM_XML_TYPE_STDHEX_DATA;
    if (!hex && type != PGM_XML_TYPE_IGNORE && value.empty() && !init)
        return;
    // Only the built-in attributes, of type STRING, keep their text without a member.
    if (type == PGM_XML_TYPE_IGNORE || (type == PGM_XML_TYPE_STRING && ptr == NULL))
        return;
    PGM_CHECK(ptr != NULL);
    void* member = const_cast<void*>(ptr);
    switch (type) {
    case PGM_XML_TYPE_BOOL:
        *static_cast<bool*>(member) = PGM_COMMON_XML_HELPER::get_boolean(value);
        break;
    case PGM_XML_TYPE_PGM_XML_BOOL:
        *static_cast<BYTE*>(member) = PGM_COMMON_XML_HELPER::get_pgm_xml_boolean(value);
        break;
    case PGM_XML_TYPE_INTEGER:
        *static_cast<int*>(member) = PGM_COMMON::convert_string_to_integer(value, false, NULL, NULL, false);
        break;
    case PGM_XML_TYPE_DWORD:
        *static_cast<DWORD*>(member) = PGM_COMMON::convert_string_to_special_dword(value, "<<", false, NULL);
        break;
    case PGM_XML_TYPE_STRING:
        *static_cast<std::string*>(member) = value;
        break;
    case PGM_XML_TYPE_CPP_STRING:
        *static_cast<std::string*>(member) = PGM_COMMON_XML_HELPER::check_cpp_string(value);
        break;
    case PGM_XML_TYPE_HEX_DATA:
    case PGM_XML_TYPE_STDHEX_DATA:
        assign_hex(member, type, value, init);
        break;
    case PGM_XML_TYPE_ENUM:
        *static_cast<PGM_COMMON_XML_ENUM*>(member) =
            init && value == table_entry(PGM_COMMON_XML_ENUM__INVALID__)
                ? PGM_COMMON_XML_ENUM__INVALID__
                : PGM_COMMON_XML_HELPER::convert_string_to_enum(value, enum_string, '|');
        break;
    }
}

void PGM_COMMON_XML::init_check(PGM_COMMON_XML_INFO info, std::vector<PGM_COMMON_XML_ATTRIBUTE_INFO>& attributes)
{
    PGM_CHECK(info.string.size() == 0);
    if (info.type != PGM_XML_TYPE_NONE) {
        assign_xml_value(info.ptr, info.type, info.exist, info.default_string, info.enum_string, true);
    } else {
        PGM_CHECK(info.default_string.size() == 0);
        PGM_CHECK(info.exist == PGM_XML_EXIST_MUST_NOT);
        PGM_CHECK(info.ptr == NULL);
    }
    for (const PGM_COMMON_XML_ATTRIBUTE_INFO& attribute : attributes)
        assign_xml_value(attribute.ptr, attribute.type, attribute.exist, attribute.default_string,
                         attribute.enum_string, true);
}

bool PGM_COMMON_XML::get_final_booloean(BYTE value, bool default_value)
{
    return value == TRISTATE ? default_value : value != 0;
}

// ---- Text conversions ----

bool PGM_COMMON_XML_HELPER::get_boolean(std::string string)
{
    if (string == "ON" || string == "1" || string == "true")
        return true;
    PGM_CHECK(string == "OFF" || string == "0" || string == "false");
    return false;
}

BYTE PGM_COMMON_XML_HELPER::get_pgm_xml_boolean(std::string string)
{
    if (string.empty() || string == "tristate")
        return TRISTATE;
    return get_boolean(string) ? 1 : 0;
}

std::string PGM_COMMON_XML_HELPER::check_cpp_string(std::string string)
{
    if (string.empty())
        return string;
    PGM_CHECK(string.at(0) != '_' && !(string.at(0) >= '0' && string.at(0) <= '9'));
    PGM_CHECK(string.at(string.size() - 1) != '_');
    for (std::string::const_iterator i = string.begin(); i != string.end(); ++i)
        PGM_CHECK(((*i) >= 'a' && (*i) <= 'z') || ((*i) >= 'A' && (*i) <= 'Z') || ((*i) >= '0' && (*i) <= '9') ||
                  ((*i) == '_'));
    return string;
}

void PGM_COMMON_XML_HELPER::get_hex_data(PGM_COMMON_XML_HEX_DATA& hex_data, std::string string)
{
    DWORD size = 0;
    BYTE* data = PGM_COMMON::convert_hex_string_to_byte_array(string, 0xFFFFFFFF, &size, false, NULL);
    replace_hex(hex_data, data, size);
}

void PGM_COMMON_XML_HELPER::get_stdhex_data(PGM_COMMON_XML_HEX_DATA& hex_data, std::string string)
{
    DWORD size = 0;
    BYTE* data = PGM_COMMON::convert_standard_hex_string_to_byte_array(string, 0xFFFFFFFF, &size, false, NULL);
    replace_hex(hex_data, data, size);
}

PGM_COMMON_XML_ENUM PGM_COMMON_XML_HELPER::convert_string_to_enum(std::string value, std::string enum_string,
                                                                  char seperator)
{
    PGM_CHECK(enum_string.size() && enum_string.at(0) != seperator &&
              enum_string.at(enum_string.size()-1) != seperator);
    std::string temp;
    DWORD seperator_count = 0;
    bool found = false;
    for (char c : enum_string) {
        if (c != seperator) {
            temp += c;
            continue;
        }
        seperator_count++;
        PGM_CHECK(temp.size());
        found = temp == value;
        if (found)
            break;
        temp.clear();
    }
    if (!found) {
        PGM_CHECK(temp.size());
        found = temp == value;
    }
    PGM_CHECK(seperator_count);
    if (!found)
        PGM_FAIL("Supported string are \"%s\", but the input is \"%s\"", enum_string.c_str(), value.c_str());
    return convert_string_to_enum(value);
}

PGM_COMMON_XML_ENUM PGM_COMMON_XML_HELPER::convert_string_to_enum(std::string name)
{
    const DWORD index = find_name(name);
    const bool found = index < NAME_COUNT;
    PGM_CHECK(found);
    return PGM_COMMON_XML_ENUM(index);
}

// ---- Name table ----

PGM_COMMON_XML_ENUM PGM_COMMON_XML_UTIL::convert_string_to_enum(std::string name, bool must_exist)
{
    const DWORD index = find_name(name);
    const PGM_COMMON_XML_ENUM xml_enum =
        index < NAME_COUNT ? PGM_COMMON_XML_ENUM(index) : PGM_COMMON_XML_ENUM__INVALID__;
    if (must_exist)
        PGM_CHECK(xml_enum != PGM_COMMON_XML_ENUM__INVALID__);
    return xml_enum;
}

std::string PGM_COMMON_XML_UTIL::convert_dword_to_string(DWORD value) { return std::to_string(int32_t(value)); }

std::string PGM_COMMON_XML_UTIL::convert_enum_to_string(PGM_COMMON_XML_ENUM e)
{
    PGM_CHECK_TEXT(DWORD(e) < NAME_COUNT, "e <= PGM_COMMON_XML_ENUM__MAX__");
    return table_entry(e);
}
