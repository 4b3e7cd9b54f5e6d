// Helpers shared by the tests.
#pragma once

#include "pgm/h/pgm_common_export.h"
#include "pgm/h/pgm_common_xml_element.h"

#include <gtest/gtest.h>

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

// One object of every class of an XML family: the root first, then one per
// parent rule, each with its own class type as its sub-class type.
std::vector<std::unique_ptr<PGM_COMMON_XML_ELEMENT>> every_xml_class(const PGM_COMMON_XML_FAMILY& family);
