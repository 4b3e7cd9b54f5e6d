// Message library of the host suite: internal errors, catalogue messages,
// the message index, id registration and module debug lines.
//
// Internal errors unwind: MSG_INTERNAL_ERROR::report throws
// PGM_INTERNAL_ERROR, so the checking code never continues. Catalogue
// messages that are issued are printed (by default on the console stream
// of host/con.h; a program may set its own printer) and also kept in a
// process-wide record that msg_take_issued() hands out.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <cstdarg>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

class PGM_COMMON_API PGM_INTERNAL_ERROR : public std::logic_error {
public:
    PGM_INTERNAL_ERROR(const std::string& text, const std::string& module, const std::string& file, int line);
    const std::string& module() const { return module_; }
    const std::string& file() const { return file_; }
    int line() const { return line_; }

private:
    std::string module_;
    std::string file_;
    int line_;
};

class PGM_COMMON_API MSG_INTERNAL_ERROR {
public:
    [[noreturn]] static void report(const char* condition, const char* module, const char* file, int line);
    [[noreturn]] static void report_varg(const char* module, const char* file, int line, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
};

// Opaque report object of the message library; the library always passes null.
class MSG_REPORT;

enum MSG_POST_TYPE { MSG_POST_ERROR = 0, MSG_POST_INFO = 1, MSG_POST_WARNING = 2 };

enum MSG_D_LEVEL { MSG_D_LEVEL_0 = 0, MSG_D_LEVEL_1 = 1, MSG_D_LEVEL_2 = 2, MSG_D_LEVEL_3 = 3 };

// A message object: catalogue text with "%n!f!" inserts ("d" decimal,
// "X" upper-case hexadecimal, "s" text) and a trailing "/" + type letter +
// symbolic name, which is not shown.
class PGM_COMMON_API MSG_BASE {
public:
    explicit MSG_BASE(char type) : type_(type) {}
    virtual ~MSG_BASE() = default;
    MSG_BASE(const MSG_BASE&) = delete;
    MSG_BASE& operator=(const MSG_BASE&) = delete;

    // Stores the text with its inserts filled in from the arguments.
    void fill_args(const char* text, ...);
    // The inserts' values as shown, in insert-number order ("%1!d!" first).
    const std::vector<std::string>& get_inserts() const { return inserts_; }
    // The line of the user's file the message is about, 0 when none.
    void set_line(int line) { line_ = line; }
    int get_line() const { return line_; }
    void set_id(unsigned int id) { id_ = id; }
    unsigned int get_id() const { return id_; }
    void set_severity_level(int level) { severity_level_ = level; }
    int get_severity_level() const { return severity_level_; }
    // The formatted text, without the trailing type letter and symbolic name.
    const char* get_msg_text_c_str() const { return text_.c_str(); }
    void set_msg_text(const std::string& text) { text_ = text; }
    char get_type() const { return type_; }

protected:
    // Prints the message for the user and appends it to the issued record.
    void issue(char as_type) const;

private:
    char type_;              // 'E', 'W' or 'O'
    unsigned int id_ = 0;    // catalogue id, 0 until set
    int severity_level_ = 0; // warnings only
    std::string text_;       // formatted text shown to the user
    std::vector<std::string> inserts_;
    int line_ = 0;
};

class PGM_COMMON_API MSG_POST : public MSG_BASE {
public:
    using MSG_BASE::MSG_BASE;
    virtual void post() { issue(get_type()); }
};

class PGM_COMMON_API MSG_E : public MSG_POST {
public:
    explicit MSG_E(MSG_REPORT*) : MSG_POST('E') {}
};

class PGM_COMMON_API MSG_W : public MSG_POST {
public:
    explicit MSG_W(MSG_REPORT*) : MSG_POST('W') {}
};

// A warning that shows and records nothing.
class PGM_COMMON_API MSG_W_NULL : public MSG_W {
public:
    MSG_W_NULL() : MSG_W(nullptr) {}
    void post() override {}
};

class PGM_COMMON_API MSG_O : public MSG_BASE {
public:
    explicit MSG_O(MSG_REPORT*) : MSG_BASE('O') {}
    void prompt(MSG_REPORT*) { issue('O'); }
};

// Which warnings the user has switched off.
class PGM_COMMON_API MSG_INDEX {
public:
    static MSG_INDEX& get_default_index();
    // True when the message with this id is not to be built.
    bool is_suppressed(unsigned int id) const;
    void suppress(unsigned int id, bool on = true);

private:
    std::vector<unsigned int> suppressed_;
};

// Registers postable ids for as long as the object lives.
class PGM_COMMON_API MSG_ID_REGISTRAR {
public:
    MSG_ID_REGISTRAR(const unsigned int* ids, const MSG_POST_TYPE* types, size_t count);
    ~MSG_ID_REGISTRAR();
    MSG_ID_REGISTRAR(const MSG_ID_REGISTRAR&) = delete;
    MSG_ID_REGISTRAR& operator=(const MSG_ID_REGISTRAR&) = delete;

private:
    std::vector<unsigned int> ids_;
};

// True while a registrar holds the id; the type it was registered with goes to *type.
PGM_COMMON_API bool msg_is_registered(unsigned int id, MSG_POST_TYPE* type = nullptr);

// A module debug line. Kept in the debug record; printed to standard error
// when the setting "MSG_DEBUG_LEVEL" is at least the line's level.
PGM_COMMON_API void msg_local_vdebug(const char* module, MSG_D_LEVEL level, const char* format, va_list args);

struct MSG_RECORD {
    unsigned int id; // catalogue id
    char type;       // 'E', 'W' or 'O', as issued
    std::string text;
    std::vector<std::string> inserts = {}; // as shown, in insert-number order
    int line = 0;                          // line of the user's file, 0 when none
};

// Shows an issued message to the user. The default printer writes
// "Error (17923): text" ("Warning", or "Info" for a prompt) to the console
// stream.
using MSG_PRINTER = void (*)(const MSG_RECORD& record);
// Sets the printer (null: the default) and returns the one before.
PGM_COMMON_API MSG_PRINTER msg_set_printer(MSG_PRINTER printer);

// Returns the messages issued so far and forgets them.
PGM_COMMON_API std::vector<MSG_RECORD> msg_take_issued();

// Returns the module debug lines written so far ("MODULE: text") and forgets them.
PGM_COMMON_API std::vector<std::string> msg_take_debug_lines();
