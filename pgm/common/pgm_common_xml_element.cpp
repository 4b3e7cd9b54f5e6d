// The element model: the text and attribute descriptions, the tree of
// owned children with the derived classes' typed child lists, child-count
// rules, and reading and writing of attributes and text.
#include "host/mem.h"
#include "host/msg.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_xml_text.h"
#include "pgm/h/pgm_common_xml.h"
#include "pgm/h/pgm_common_xml_element.h"

#include <algorithm>
#include <cstdint>
#include <utility>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

bool is_built_in(const std::string& name)
{
    return name == PGM_COMMON_XML_IF_CONTINUE || name == PGM_COMMON_XML_IF_SKIP || name == PGM_COMMON_XML_HIDDEN;
}

bool is_hex_type(BYTE type) { return type == PGM_XML_TYPE_HEX_DATA || type == PGM_XML_TYPE_STDHEX_DATA; }

// Releases the bytes of a bound hex record and forgets them.
void release_hex(BYTE type, void* ptr)
{
    if (!is_hex_type(type) || ptr == NULL)
        return;
    PGM_COMMON_XML_HEX_DATA* hex = static_cast<PGM_COMMON_XML_HEX_DATA*>(ptr);
    delete[] hex->data;
    hex->data = NULL;
    hex->size = 0;
}

std::string name_of(PGM_COMMON_XML_ENUM e) { return PGM_COMMON_XML_UTIL::convert_enum_to_string(e); }

std::string signed_text(DWORD value) { return std::to_string(int32_t(value)); }

} // namespace

// ---- Descriptions ----

PGM_COMMON_XML_INFO::PGM_COMMON_XML_INFO()
    : class_type(PGM_COMMON_XML_ENUM__INVALID__), sub_class_type(PGM_COMMON_XML_ENUM__INVALID__),
      type(PGM_XML_TYPE_INVALID), exist(PGM_XML_EXIST_INVALID), ptr(NULL)
{
    PGM_CHECK(class_type != PGM_COMMON_XML_ENUM__INVALID__);
}

PGM_COMMON_XML_INFO::PGM_COMMON_XML_INFO(PGM_COMMON_XML_ENUM class_type_arg, PGM_COMMON_XML_ENUM sub_class_type_arg,
                                         BYTE type_arg, BYTE exist_arg, std::string default_string_arg,
                                         std::string enum_string_arg, void* ptr_arg)
    : class_type(class_type_arg), sub_class_type(sub_class_type_arg), default_string(std::move(default_string_arg)),
      enum_string(std::move(enum_string_arg)), type(type_arg), exist(exist_arg), ptr(ptr_arg)
{
    PGM_CHECK_TEXT(class_type != PGM_COMMON_XML_ENUM__INVALID__ &&
                       DWORD(class_type) <= DWORD(PGM_COMMON_XML_ENUM__MAX__),
                   "class_type != PGM_COMMON_XML_ENUM__INVALID__ && class_type <= PGM_COMMON_XML_ENUM__MAX__");
    PGM_CHECK(type < PGM_XML_TYPE_INVALID);
    PGM_CHECK(exist < PGM_XML_EXIST_INVALID);
}

PGM_COMMON_XML_ATTRIBUTE_INFO::PGM_COMMON_XML_ATTRIBUTE_INFO(std::string name_arg, BYTE type_arg, BYTE exist_arg,
                                                             std::string default_string_arg,
                                                             std::string enum_string_arg, void* ptr_arg)
    : name(std::move(name_arg)), default_string(std::move(default_string_arg)), enum_string(std::move(enum_string_arg)),
      type(type_arg), exist(exist_arg), ptr(ptr_arg)
{
    PGM_CHECK(name.size());
    PGM_CHECK(type < PGM_XML_TYPE_INVALID);
    PGM_CHECK(exist < PGM_XML_EXIST_INVALID);
    if (is_built_in(name))
        PGM_CHECK(ptr == NULL);
    else
        PGM_CHECK(ptr != NULL);
}

// ---- Element life ----

PGM_COMMON_XML_ELEMENT::PGM_COMMON_XML_ELEMENT(PGM_COMMON_XML_ENUM class_type, PGM_COMMON_XML_ENUM sub_class_type,
                                               BYTE type, BYTE exist, std::string default_string,
                                               std::string enum_string, void* ptr)
    : info(class_type, sub_class_type, type, exist, std::move(default_string), std::move(enum_string), ptr)
{
    attribute_info.reserve(3);
    for (const char* name : {PGM_COMMON_XML_IF_CONTINUE, PGM_COMMON_XML_IF_SKIP, PGM_COMMON_XML_HIDDEN})
        attribute_info.push_back(
            PGM_COMMON_XML_ATTRIBUTE_INFO(name, PGM_XML_TYPE_STRING, PGM_XML_EXIST_OPTIONAL, "", "", NULL));
}

PGM_COMMON_XML_ELEMENT::PGM_COMMON_XML_ELEMENT() {}

// The children go last first, each before its own children, as a
// recursion would delete them, but without one: an element's children are
// taken from it (the list moves, nothing is copied) before it is deleted,
// so its destructor walks nothing, and they wait on a list of such lists.
PGM_COMMON_XML_ELEMENT::~PGM_COMMON_XML_ELEMENT()
{
    std::vector<std::vector<PGM_COMMON_XML_ELEMENT*>> pending;
    if (!childs.empty()) {
        pending.emplace_back();
        pending.back().swap(childs);
    }
    while (!pending.empty()) {
        if (pending.back().empty()) {
            pending.pop_back();
            continue;
        }
        PGM_COMMON_XML_ELEMENT* last = pending.back().back();
        pending.back().pop_back();
        if (!last->childs.empty()) {
            pending.emplace_back();
            pending.back().swap(last->childs);
        }
        delete last;
    }
    // The same record may be bound twice; the second release finds no bytes.
    release_hex(info.type, info.ptr);
    for (PGM_COMMON_XML_ATTRIBUTE_INFO& attribute : attribute_info)
        release_hex(attribute.type, attribute.ptr);
}

// ---- Tree ----

// Attaching is all or nothing: when the typed lists refuse e, e is taken
// out again and stays the caller's.
void PGM_COMMON_XML_ELEMENT::add_child(PGM_COMMON_XML_ELEMENT* e, PGM_COMMON_XML_ELEMENT* before)
{
    PGM_CHECK(e != NULL);
    std::vector<PGM_COMMON_XML_ELEMENT*>::iterator at = childs.end();
    if (before != NULL) {
        at = std::find(childs.begin(), childs.end(), before);
        const bool found = at != childs.end();
        PGM_CHECK(found);
    }
    const bool first = before != NULL && at == childs.begin();
    const bool last = before == NULL;
    at = childs.insert(at, e);
    try {
        if (last)
            group_child(e, false, true);
        else if (first)
            group_child(e, false, false);
        else
            grouping();
    } catch (...) {
        childs.erase(at);
        if (!last && !first)
            grouping();
        throw;
    }
    e->set_parent(this);
}

void PGM_COMMON_XML_ELEMENT::remove_child(PGM_COMMON_XML_ELEMENT* e, bool destroy)
{
    PGM_CHECK(e != NULL);
    PGM_CHECK(childs.size());
    const bool front = childs.front() == e;
    const bool back = !front && childs.back() == e;
    // The typed list is trimmed before e leaves childs, so a refusal leaves the tree as it was.
    if (front) {
        group_child(e, true, false);
        childs.erase(childs.begin());
    } else if (back) {
        group_child(e, true, true);
        childs.pop_back();
    } else {
        // Neither end is e, so a match is a middle child.
        std::vector<PGM_COMMON_XML_ELEMENT*>::iterator i = std::find(childs.begin(), childs.end(), e);
        const bool found = i != childs.end();
        PGM_CHECK(front || back || found);
        childs.erase(i);
        grouping();
    }
    if (destroy)
        delete e;
}

// The typed lists are rebuilt over every child, those held before and those
// moved in, so they stay in step with childs.
void PGM_COMMON_XML_ELEMENT::set_childs(std::vector<PGM_COMMON_XML_ELEMENT*>& list)
{
    for (PGM_COMMON_XML_ELEMENT* e : list)
        PGM_CHECK(e != NULL);
    const size_t held = childs.size();
    childs.insert(childs.end(), list.begin(), list.end());
    try {
        grouping();
    } catch (...) {
        childs.resize(held);
        grouping();
        throw;
    }
    for (PGM_COMMON_XML_ELEMENT* e : list)
        e->set_parent(this);
    list.clear();
}

// Each element's last child is taken apart, then detached, until the
// element has none: depth first, with a list of the elements open instead
// of recursion.
void PGM_COMMON_XML_ELEMENT::ungroup_all_child()
{
    std::vector<PGM_COMMON_XML_ELEMENT*> open = {this};
    while (!open.empty()) {
        PGM_COMMON_XML_ELEMENT* element = open.back();
        if (!element->childs.empty()) {
            open.push_back(element->childs.back());
            continue;
        }
        open.pop_back();
        if (!open.empty())
            open.back()->remove_child(element, false);
    }
}

std::vector<PGM_COMMON_XML_ELEMENT*>& PGM_COMMON_XML_ELEMENT::get_childs() { return childs; }

std::vector<PGM_COMMON_XML_ELEMENT*> PGM_COMMON_XML_ELEMENT::get_childs(PGM_COMMON_XML_ENUM e, bool by_sub_class)
{
    PGM_CHECK(e != PGM_COMMON_XML_ENUM__INVALID__);
    std::vector<PGM_COMMON_XML_ELEMENT*> subchilds;
    for (PGM_COMMON_XML_ELEMENT* child : childs)
        if ((by_sub_class ? child->info.sub_class_type : child->info.class_type) == e)
            subchilds.push_back(child);
    return subchilds;
}

DWORD PGM_COMMON_XML_ELEMENT::get_child_count(PGM_COMMON_XML_ENUM e, bool by_sub_class)
{
    if (e == PGM_COMMON_XML_ENUM__INVALID__)
        return DWORD(childs.size());
    return DWORD(get_childs(e, by_sub_class).size());
}

PGM_COMMON_XML_ELEMENT* PGM_COMMON_XML_ELEMENT::get_element(PGM_COMMON_XML_ENUM e, DWORD index, bool by_sub_class)
{
    if (e == PGM_COMMON_XML_ENUM__INVALID__) {
        PGM_CHECK(index < DWORD(childs.size()));
        return childs[index];
    }
    const std::vector<PGM_COMMON_XML_ELEMENT*> subchilds = get_childs(e, by_sub_class);
    PGM_CHECK(index < DWORD(subchilds.size()));
    return subchilds[index];
}

const PGM_COMMON_XML_ELEMENT* PGM_COMMON_XML_ELEMENT::get_parent(PGM_COMMON_XML_ELEMENT*)
{
    PGM_CHECK(parent != NULL);
    return parent;
}

void PGM_COMMON_XML_ELEMENT::set_parent(PGM_COMMON_XML_ELEMENT* p)
{
    PGM_CHECK(p != NULL);
    parent = p;
}

PGM_COMMON_XML_ENUM PGM_COMMON_XML_ELEMENT::get_sub_class_type() { return info.sub_class_type; }

void PGM_COMMON_XML_ELEMENT::grouping()
{
    clear_childs();
    for (PGM_COMMON_XML_ELEMENT* child : childs)
        group_child(child, false, true);
}

void PGM_COMMON_XML_ELEMENT::init_check() { PGM_COMMON_XML::init_check(info, attribute_info); }

void PGM_COMMON_XML_ELEMENT::check_child_count()
{
    for (PGM_COMMON_XML_ELEMENT* child : childs)
        child->check_child_count();
}

void PGM_COMMON_XML_ELEMENT::clear_childs() {}

void PGM_COMMON_XML_ELEMENT::group_child(PGM_COMMON_XML_ELEMENT*, bool, bool) {}

void PGM_COMMON_XML_ELEMENT::check_count(PGM_COMMON_XML_ENUM e, std::vector<std::vector<DWORD>> ranges)
{
    DWORD n = 0;
    for (PGM_COMMON_XML_ELEMENT* child : childs)
        if (child->info.class_type == e)
            n++;
    for (const std::vector<DWORD>& range : ranges) {
        PGM_CHECK(range.size() == 1 || range.size() == 2);
        bool match;
        if (range.size() == 1) {
            match = range.at(0) == DWORD(-1) ? n >= 1 : n == range.at(0);
        } else {
            PGM_CHECK_TEXT(range.at(0) != DWORD(-1) && range.at(1) != DWORD(-1),
                           "range.at(0) != -1 && range.at(1) != -1");
            PGM_CHECK(range.at(0) < range.at(1));
            match = range.at(0) <= n && n <= range.at(1);
        }
        if (match)
            return;
    }
    // The expected counts are put in words only for the message.
    std::string text;
    for (const std::vector<DWORD>& range : ranges) {
        if (!text.empty())
            text += ", ";
        if (range.size() == 1)
            text += range.at(0) == DWORD(-1) ? std::string("infinity") : signed_text(range.at(0));
        else
            text += signed_text(range.at(0)) + " - " + signed_text(range.at(1));
    }
    PGM_FAIL("Element %s has invalid %s child count, expected invalid range is \"%s\" but found %d",
             name_of(info.sub_class_type).c_str(), name_of(e).c_str(), text.c_str(), int(n));
}

void PGM_COMMON_XML_ELEMENT::unsupported_child(PGM_COMMON_XML_ELEMENT* child)
{
    PGM_CHECK(child != NULL);
    PGM_FAIL("Element \"%s\" does not support child element \"%s\"", name_of(info.sub_class_type).c_str(),
             name_of(child->info.sub_class_type).c_str());
}

// ---- Attributes and text ----

std::vector<PGM_COMMON_XML_ATTRIBUTE_INFO>::iterator PGM_COMMON_XML_ELEMENT::find_attribute(const std::string& name)
{
    std::vector<PGM_COMMON_XML_ATTRIBUTE_INFO>::iterator i = attribute_info.begin();
    while (i != attribute_info.end() && (*i).name != name)
        ++i;
    PGM_CHECK(i != attribute_info.end());
    return i;
}

void* PGM_COMMON_XML_ELEMENT::attribute_member(const std::string& name, BYTE type, BYTE other_type,
                                               const char* type_text)
{
    std::vector<PGM_COMMON_XML_ATTRIBUTE_INFO>::iterator i = find_attribute(name);
    PGM_CHECK_TEXT((*i).type == type || (*i).type == other_type, type_text);
    void* temp = (*i).ptr;
    PGM_CHECK(temp != NULL);
    return temp;
}

DWORD PGM_COMMON_XML_ELEMENT::get_attribute_index(std::string name)
{
    return DWORD(find_attribute(name) - attribute_info.begin());
}

bool PGM_COMMON_XML_ELEMENT::is_attribute_empty(std::string name) { return find_attribute(name)->string.empty(); }

std::string PGM_COMMON_XML_ELEMENT::read_attribute_string(std::string name) { return find_attribute(name)->string; }

bool PGM_COMMON_XML_ELEMENT::read_attribute_bool(std::string name)
{
    return *static_cast<bool*>(
        attribute_member(name, PGM_XML_TYPE_BOOL, PGM_XML_TYPE_BOOL, "(*i).type == PGM_XML_TYPE_BOOL"));
}

BYTE PGM_COMMON_XML_ELEMENT::read_attribute_xml_bool(std::string name)
{
    return *static_cast<BYTE*>(attribute_member(name, PGM_XML_TYPE_PGM_XML_BOOL, PGM_XML_TYPE_PGM_XML_BOOL,
                                                "(*i).type == PGM_XML_TYPE_PGM_XML_BOOL"));
}

DWORD PGM_COMMON_XML_ELEMENT::read_attribute_value(std::string name)
{
    void* temp = attribute_member(name, PGM_XML_TYPE_INTEGER, PGM_XML_TYPE_DWORD, "(*i).type == PGM_XML_TYPE_DWORD");
    if (find_attribute(name)->type == PGM_XML_TYPE_INTEGER)
        return DWORD(*static_cast<int*>(temp));
    return *static_cast<DWORD*>(temp);
}

// Accepts an ENUM attribute and, as a number, a DWORD one.
PGM_COMMON_XML_ENUM PGM_COMMON_XML_ELEMENT::read_attribute_enum(std::string name)
{
    void* temp = attribute_member(name, PGM_XML_TYPE_ENUM, PGM_XML_TYPE_DWORD, "(*i).type == PGM_XML_TYPE_DWORD");
    if (find_attribute(name)->type == PGM_XML_TYPE_ENUM)
        return *static_cast<PGM_COMMON_XML_ENUM*>(temp);
    const DWORD value = *static_cast<DWORD*>(temp);
    PGM_CHECK_TEXT(value <= DWORD(PGM_COMMON_XML_ENUM__MAX__), "value <= PGM_COMMON_XML_ENUM__MAX__");
    return PGM_COMMON_XML_ENUM(value);
}

// The member is assigned before the text is kept, so a refused value
// leaves both as they were.
void PGM_COMMON_XML_ELEMENT::write_attribute_string(std::string name, std::string value)
{
    std::vector<PGM_COMMON_XML_ATTRIBUTE_INFO>::iterator i = find_attribute(name);
    PGM_COMMON_XML::assign_xml_value((*i).ptr, (*i).type, (*i).exist, value, (*i).enum_string, true);
    (*i).string = value;
}

void PGM_COMMON_XML_ELEMENT::write_attribute_value(std::string name, DWORD value)
{
    write_attribute_string(name, signed_text(value));
}

void PGM_COMMON_XML_ELEMENT::write_attribute_enum(std::string name, PGM_COMMON_XML_ENUM e)
{
    find_attribute(name);
    if (e == PGM_COMMON_XML_ENUM__INVALID__)
        return;
    write_attribute_string(name, name_of(e));
}

void PGM_COMMON_XML_ELEMENT::write_string(std::string value)
{
    PGM_CHECK(info.ptr != NULL && info.exist != PGM_XML_EXIST_MUST_NOT);
    PGM_COMMON_XML::assign_xml_value(info.ptr, info.type, info.exist, value, info.enum_string, false);
    info.string = value;
}

void PGM_COMMON_XML_ELEMENT::write_value(DWORD value) { write_string(signed_text(value)); }

void PGM_COMMON_XML_ELEMENT::write_enum(PGM_COMMON_XML_ENUM e) { write_string(name_of(e)); }

// ---- Nesting ----

// Depth first, with the open elements (each with its next child) instead of
// recursion; leaves are never opened, so a wide tree needs no memory.
bool pgm_xml_deeper_than(const PGM_COMMON_XML_ELEMENT* element, size_t levels)
{
    if (levels == 0)
        return true;
    std::vector<std::pair<const PGM_COMMON_XML_ELEMENT*, size_t>> open = {{element, 0}};
    while (!open.empty()) {
        const PGM_COMMON_XML_ELEMENT* parent = open.back().first;
        const size_t index = open.back().second++;
        if (index == parent->childs.size()) {
            open.pop_back();
            continue;
        }
        // The child stands at level open.size() + 1.
        if (open.size() == levels)
            return true;
        if (!parent->childs[index]->childs.empty())
            open.emplace_back(parent->childs[index], 0);
    }
    return false;
}
