// The element model of the XML configuration files: every schema class
// derives from PGM_COMMON_XML_ELEMENT, which binds the element's text and
// attributes to the derived class's members and owns its children.
#pragma once

#include "host/host_types.h"
#include "pgm/h/pgm_common_api.h"
#include "pgm/h/pgm_common_xml_enum.h"

#include <string>
#include <vector>

// The built-in attributes every element carries first, in this order: the
// condition lists of the filter, and a mark that callers may use freely.
inline constexpr char PGM_COMMON_XML_IF_CONTINUE[] = "__if_continue__";
inline constexpr char PGM_COMMON_XML_IF_SKIP[] = "__if_skip__";
inline constexpr char PGM_COMMON_XML_HIDDEN[] = "__hidden__";

// Value type of an element's text or of an attribute.
enum PGM_XML_TYPE : BYTE {
    PGM_XML_TYPE_NONE = 0,         // no text
    PGM_XML_TYPE_BOOL = 1,         // bool
    PGM_XML_TYPE_PGM_XML_BOOL = 2, // BYTE: 0 false, 1 true, 2 not given
    PGM_XML_TYPE_INTEGER = 3,      // int
    PGM_XML_TYPE_DWORD = 4,        // DWORD, "a << b" and "a|b" accepted
    PGM_XML_TYPE_STRING = 5,       // std::string
    PGM_XML_TYPE_CPP_STRING = 6,   // std::string holding an identifier
    PGM_XML_TYPE_HEX_DATA = 7,     // PGM_COMMON_XML_HEX_DATA, one number, last digits byte 0
    PGM_XML_TYPE_STDHEX_DATA = 8,  // PGM_COMMON_XML_HEX_DATA, bytes in reading order
    PGM_XML_TYPE_ENUM = 9,         // PGM_COMMON_XML_ENUM
    PGM_XML_TYPE_IGNORE = 10,      // accepted and not stored
    PGM_XML_TYPE_INVALID = 11
};

// Presence rule of an element's text or of an attribute.
enum PGM_XML_EXIST : BYTE {
    PGM_XML_EXIST_MUST = 0,
    PGM_XML_EXIST_OPTIONAL = 1,
    PGM_XML_EXIST_MUST_NOT = 2,
    PGM_XML_EXIST_INVALID = 3
};

// Description of an element's own text.
struct PGM_COMMON_API PGM_COMMON_XML_INFO {
    PGM_COMMON_XML_INFO(); // reports an internal error: real elements describe themselves
    PGM_COMMON_XML_INFO(PGM_COMMON_XML_ENUM class_type, PGM_COMMON_XML_ENUM sub_class_type, BYTE type, BYTE exist,
                        std::string default_string, std::string enum_string, void* ptr);

    PGM_COMMON_XML_ENUM class_type;
    PGM_COMMON_XML_ENUM sub_class_type; // the name under which the element stands in the file
    std::string string;                 // the text as read or last written
    std::string default_string;
    std::string enum_string; // allowed names joined by "|"
    BYTE type;               // PGM_XML_TYPE
    BYTE exist;              // PGM_XML_EXIST
    void* ptr;               // the member that receives the text, not owned
};

// Description of one attribute.
struct PGM_COMMON_API PGM_COMMON_XML_ATTRIBUTE_INFO {
    PGM_COMMON_XML_ATTRIBUTE_INFO(std::string name, BYTE type, BYTE exist, std::string default_string,
                                  std::string enum_string, void* ptr);

    std::string name;   // as written in the file
    std::string string; // the text as read or last written
    std::string default_string;
    std::string enum_string;
    BYTE type;
    BYTE exist;
    void* ptr; // the member that receives the value, not owned
};

// Bytes held by a HEX_DATA or STDHEX_DATA member; the element that binds
// it releases data.
struct PGM_COMMON_XML_HEX_DATA {
    DWORD size = 0;
    BYTE* data = nullptr; // allocated with new[]
};

class PGM_COMMON_API PGM_COMMON_XML_ELEMENT {
public:
    PGM_COMMON_XML_ELEMENT(PGM_COMMON_XML_ENUM class_type, PGM_COMMON_XML_ENUM sub_class_type, BYTE type,
                           BYTE exist, std::string default_string, std::string enum_string, void* ptr);
    PGM_COMMON_XML_ELEMENT(); // reports an internal error
    // Deletes every child, last first, and releases bound hex data.
    virtual ~PGM_COMMON_XML_ELEMENT();
    // Elements own their children and their bound members: they are not copied.
    PGM_COMMON_XML_ELEMENT(const PGM_COMMON_XML_ELEMENT&) = delete;
    PGM_COMMON_XML_ELEMENT& operator=(const PGM_COMMON_XML_ELEMENT&) = delete;

    // ---- Tree ----
    // Appends e, or inserts it before the child before.
    void add_child(PGM_COMMON_XML_ELEMENT* e, PGM_COMMON_XML_ELEMENT* before = NULL);
    // Detaches e, deleting it when destroy is true.
    void remove_child(PGM_COMMON_XML_ELEMENT* e, bool destroy);
    // Moves the elements of list in after the children held; list ends empty.
    void set_childs(std::vector<PGM_COMMON_XML_ELEMENT*>& list);
    // Detaches the whole subtree without deleting anything.
    void ungroup_all_child();
    std::vector<PGM_COMMON_XML_ELEMENT*>& get_childs();
    // The children of class e (or of sub-class e), in order.
    std::vector<PGM_COMMON_XML_ELEMENT*> get_childs(PGM_COMMON_XML_ENUM e, bool by_sub_class);
    DWORD get_child_count(PGM_COMMON_XML_ENUM e, bool by_sub_class);
    PGM_COMMON_XML_ELEMENT* get_element(PGM_COMMON_XML_ENUM e, DWORD index, bool by_sub_class);
    const PGM_COMMON_XML_ELEMENT* get_parent(PGM_COMMON_XML_ELEMENT* unused = NULL);

    // ---- Attributes and text ----
    DWORD get_attribute_index(std::string name);
    bool is_attribute_empty(std::string name);
    std::string read_attribute_string(std::string name);
    bool read_attribute_bool(std::string name);
    BYTE read_attribute_xml_bool(std::string name);
    DWORD read_attribute_value(std::string name);
    PGM_COMMON_XML_ENUM read_attribute_enum(std::string name);
    void write_attribute_string(std::string name, std::string value);
    void write_attribute_value(std::string name, DWORD value);
    void write_attribute_enum(std::string name, PGM_COMMON_XML_ENUM e);
    void write_string(std::string value);
    void write_value(DWORD value);
    void write_enum(PGM_COMMON_XML_ENUM e);

    // Entries 0 to 2 are "__if_continue__", "__if_skip__" and "__hidden__".
    std::vector<PGM_COMMON_XML_ATTRIBUTE_INFO> attribute_info;
    PGM_COMMON_XML_INFO info;
    PGM_COMMON_XML_ELEMENT* parent = nullptr; // not owned
    std::vector<PGM_COMMON_XML_ELEMENT*> childs; // owned, in document order

protected:
    friend class PGM_COMMON_XML;
    friend class PGM_COMMON_XML_HELPER; // the condition filter rebuilds typed lists once per pass
    // Checks the child counts of this element and of all its descendants.
    virtual void check_child_count();
    // Empties every typed child list; the base has none.
    virtual void clear_childs();
    // Keeps the typed child lists in step with childs: adds child at the
    // back or the front, or removes the last or the first entry.
    virtual void group_child(PGM_COMMON_XML_ELEMENT* child, bool remove, bool back);

    void set_parent(PGM_COMMON_XML_ELEMENT* p);
    PGM_COMMON_XML_ENUM get_sub_class_type();
    // Rebuilds every typed child list from childs.
    void grouping();
    // Installs every default; the last step of every derived constructor.
    void init_check();
    // Checks the number of children of class e against the allowed ranges:
    // {k} exactly k ({0xFFFFFFFF} one or more), {a, b} from a to b.
    void check_count(PGM_COMMON_XML_ENUM e, std::vector<std::vector<DWORD>> ranges);
    // Reports "Element ... does not support child element ..." for child.
    void unsupported_child(PGM_COMMON_XML_ELEMENT* child);

private:
    std::vector<PGM_COMMON_XML_ATTRIBUTE_INFO>::iterator find_attribute(const std::string& name);
    // The member of an attribute of one of the given types.
    void* attribute_member(const std::string& name, BYTE type, BYTE other_type, const char* type_text);
};

// Static helpers of the element model over the name table.
class PGM_COMMON_API PGM_COMMON_XML_UTIL {
public:
    // The member named name, 0 when there is none; with must_exist 0 is an internal error.
    static PGM_COMMON_XML_ENUM convert_string_to_enum(std::string name, bool must_exist);
    static std::string convert_dword_to_string(DWORD value);
    // The name-table entry of e.
    static std::string convert_enum_to_string(PGM_COMMON_XML_ENUM e);
};

// How a schema family's tree is built: its root class and, per element
// class below the root, the parent and child names (one lower-case name, or
// several joined by "|") under which the class is created.
struct PGM_COMMON_XML_CHILD_RULE {
    const char* parents;
    const char* childs;
    PGM_COMMON_XML_ELEMENT* (*create)(PGM_COMMON_XML_ENUM sub_class_type);
};

struct PGM_COMMON_XML_FAMILY {
    const char* source; // the generated source, named in the loader's messages
    PGM_COMMON_XML_ENUM root_type;
    PGM_COMMON_XML_ELEMENT* (*create_root)();
    std::vector<PGM_COMMON_XML_CHILD_RULE> rules; // the first that applies wins
    const char* xsd; // the XML Schema of the family's files
};
