// Helpers shared by the tests.
#pragma once

#include "pgm/h/pgm_common_export.h"
#include "pgm/h/pgm_common_xml_export.h"
#include "pgm/h/pgm_common_xml_element.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Runs the statement and expects PGM_INTERNAL_ERROR whose what() is text.
#define EXPECT_INTERNAL_ERROR(statement, text)                                             \
    do {                                                                                   \
        try {                                                                              \
            statement;                                                                     \
            ADD_FAILURE() << "no internal error, expected: " << (text);                    \
        } catch (const PGM_INTERNAL_ERROR& error) {                                        \
            EXPECT_EQ(std::string(text), std::string(error.what()));                       \
            EXPECT_EQ(std::string("PGM_COMMON"), error.module());                          \
        }                                                                                  \
    } while (0)

// A temporary folder, removed with its content when the object dies.
class TEMP_DIR {
public:
    TEMP_DIR();
    ~TEMP_DIR();
    TEMP_DIR(const TEMP_DIR&) = delete;
    TEMP_DIR& operator=(const TEMP_DIR&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);

// Runs fn and returns what it wrote to standard output.
std::string capture_stdout(const std::function<void()>& fn);
// Runs work in a child process whose files may not grow beyond limit bytes
// ("ulimit -f"), with SIGXFSZ at action; the child's exit status is what
// work returns, or 100 + the signal that ended it.
int run_with_file_size_limit(size_t limit, void (*action)(int), const std::function<int()>& work);

// A worker of the thread tests: wait_for_gate(&gate) runs until release is
// set, then counts itself in done.
struct THREAD_GATE {
    std::atomic<bool> release{false};
    std::atomic<int> done{0};
};
void wait_for_gate(void* gate);

// Byte vector of a text.
std::vector<BYTE> bytes_of(const std::string& text);

// One hexadecimal record with its checksum, upper-case, without line end.
std::string hex_record(DWORD address, BYTE type, const std::vector<BYTE>& data);

// Runs fn with standard output captured and returns the catalogue
// messages it issued.
std::vector<MSG_RECORD> issued_by(const std::function<void()>& fn);

struct RUN_RESULT {
    int exit_code;
    std::string output; // standard output (run_command: and standard error)
    std::string error;  // standard error (run_pgmtool)
};

// Runs a shell command line; its exit code and everything it printed.
RUN_RESULT run_command(const std::string& command_line);

// Runs pgmtool with the arguments (shell words, so "< in" and "| cmd" work)
// in the folder when one is given, with standard error kept apart.
RUN_RESULT run_pgmtool(const std::string& arguments, const std::string& folder = "");

// One pgmtool run and what it must give.
struct PGMTOOL_CASE {
    std::string arguments;
    int exit_code;
    std::string output; // standard output, exactly
    std::string error;  // standard error, exactly
};

// Runs each case in the folder and checks all it gives.
void expect_pgmtool(const std::vector<PGMTOOL_CASE>& cases, const std::string& folder = "");

// ---- Generated XML schema classes ----

// Opens the protected child handling of a generated class to the tests.
template <class T>
class OPEN : public T {
public:
    using T::T;
    using T::check_child_count;
    using T::group_child;
};

// Appends a new child of class T to parent.
template <class T>
T* add(PGM_COMMON_XML_ELEMENT& parent)
{
    std::unique_ptr<T> child(new T());
    parent.add_child(child.get());
    return child.release();
}

// The name-table entry of e; the member of a name, which must exist.
std::string name_of(PGM_COMMON_XML_ENUM e);
PGM_COMMON_XML_ENUM enum_of(const std::string& name);
std::string upper(std::string text);

// One object of every class of a family: the root first, then one per rule,
// created under the first of the rule's element names.
std::vector<std::unique_ptr<PGM_COMMON_XML_ELEMENT>> every_class(const PGM_COMMON_XML_FAMILY& family);

// The member an attribute or an element text is bound to, as text: true or
// false, tristate for an undecided PGM_XML_BOOL, numbers in decimal, names of
// enumeration members, hex records as their bytes from byte 0 on.
std::string member_text(BYTE type, const void* ptr);

// Every element of a tree, one line each: its name, per own attribute the
// member and the text read or written, and its text member.
std::string dump(PGM_COMMON_XML_ELEMENT* e, const std::string& indent = "");

typedef std::unique_ptr<PGM_COMMON_XML_ELEMENT> XML_TREE;

// Loads a file of the kind, checked against the schema when one is given.
XML_TREE load_xml(PGM_COMMON_XML_FILE_ENUM kind, const std::string& file, const std::string& xsd = "");

// Loads text as the file job.xml of a fresh folder.
XML_TREE load_xml_text(PGM_COMMON_XML_FILE_ENUM kind, const std::string& text);

// Loads text as job.xml and expects it to load, or, when a message is given,
// to fail with that internal error (messages of line 1 start "job.xml:1: ").
void expect_load(PGM_COMMON_XML_FILE_ENUM kind, const std::string& text, const std::string& message);

// The loader's message for a child count outside its range.
std::string count_error(const std::string& element, const std::string& child, const std::string& range, int found);

// <name>body</name>; text given times times.
std::string tag(const std::string& name, const std::string& body);
std::string repeat(const std::string& text, size_t times);

// A new object for the element name, as the family's rules create it.
XML_TREE create_named(const PGM_COMMON_XML_FAMILY& family, const std::string& name);

// The member of the element's attribute as member_text gives it.
std::string attribute_text(PGM_COMMON_XML_ELEMENT* e, const std::string& name);
