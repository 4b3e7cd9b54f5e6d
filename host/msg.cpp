#include "host/msg.h"

#include "host/cfg.h"
#include "host/con.h"
#include "host/mem.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <mutex>

namespace {

std::mutex& record_mutex()
{
    static std::mutex* mutex = new std::mutex; // never destroyed: used until exit
    return *mutex;
}

std::vector<MSG_RECORD>& issued_record()
{
    static std::vector<MSG_RECORD>* record = new std::vector<MSG_RECORD>; // never destroyed: used until exit
    return *record;
}

std::vector<std::string>& debug_record()
{
    static std::vector<std::string>* record = new std::vector<std::string>; // never destroyed: used until exit
    return *record;
}

std::atomic<MSG_PRINTER> printer{nullptr}; // null: print_default

struct REGISTERED_ID {
    unsigned int id;
    MSG_POST_TYPE type;
};

std::vector<REGISTERED_ID>& registered_ids()
{
    static std::vector<REGISTERED_ID>* ids = new std::vector<REGISTERED_ID>; // never destroyed: used until exit
    return *ids;
}

// Drops the trailing "/" + type letter + symbolic name of a catalogue text.
std::string without_symbolic_name(const std::string& text)
{
    size_t slash = text.rfind('/');
    if (slash == std::string::npos || slash + 2 >= text.size())
        return text;
    char type = text[slash + 1];
    if (type != 'E' && type != 'W' && type != 'O')
        return text;
    for (size_t i = slash + 2; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isupper(c) && !std::isdigit(c) && c != '_')
            return text;
    }
    return text.substr(0, slash);
}

// One insert "%n!f!" of a catalogue text.
struct INSERT {
    size_t begin;  // position of "%"
    size_t end;    // position after the closing "!"
    unsigned number;
    char format;   // 'd', 'X' or 's'
};

std::vector<INSERT> find_inserts(const std::string& text)
{
    std::vector<INSERT> inserts;
    for (size_t pos = text.find('%'); pos != std::string::npos; pos = text.find('%', pos + 1)) {
        size_t digit = pos + 1;
        unsigned number = 0;
        while (digit < text.size() && std::isdigit(static_cast<unsigned char>(text[digit])))
            number = number * 10 + unsigned(text[digit++] - '0');
        if (digit == pos + 1 || digit + 2 >= text.size() || text[digit] != '!')
            continue;
        size_t close = text.find('!', digit + 1);
        if (close != digit + 2)
            continue;
        inserts.push_back({pos, close + 1, number, text[digit + 1]});
    }
    return inserts;
}

std::string format_insert(const INSERT& insert, const std::string& text, unsigned int number)
{
    std::string out;
    if (insert.format == 's')
        out = text;
    else if (insert.format == 'X')
        MEM_DETAIL::stl_raw_sprintf(out, "%X", number);
    else
        MEM_DETAIL::stl_raw_sprintf(out, "%d", int(number));
    return out;
}

const char* type_word(char type)
{
    switch (type) {
    case 'E': return "Error";
    case 'W': return "Warning";
    default: return "Info";
    }
}

void print_default(const MSG_RECORD& record)
{
    FILE* out = con_stream();
    std::fprintf(out, "%s (%u): %s\n", type_word(record.type), record.id, record.text.c_str());
    std::fflush(out);
}

} // namespace

PGM_INTERNAL_ERROR::PGM_INTERNAL_ERROR(const std::string& text, const std::string& module, const std::string& file,
                                       int line)
    : std::logic_error(text), module_(module), file_(file), line_(line)
{
}

void MSG_INTERNAL_ERROR::report(const char* condition, const char* module, const char* file, int line)
{
    throw PGM_INTERNAL_ERROR(condition, module, file, line);
}

void MSG_INTERNAL_ERROR::report_varg(const char* module, const char* file, int line, const char* format, ...)
{
    std::string text;
    va_list args;
    va_start(args, format);
    stl_vsprintf(text, format, args);
    va_end(args);
    throw PGM_INTERNAL_ERROR(text, module, file, line);
}

void MSG_BASE::fill_args(const char* text, ...)
{
    std::string source = text ? text : "";
    std::vector<INSERT> inserts = find_inserts(source);
    unsigned count = 0;
    for (const INSERT& insert : inserts)
        count = std::max(count, insert.number);

    // The arguments come in insert-number order; each one is read as the
    // type of the first insert that names it and shown by each insert's own format.
    std::vector<std::string> texts(count + 1);
    std::vector<unsigned int> numbers(count + 1, 0);
    va_list args;
    va_start(args, text);
    for (unsigned number = 1; number <= count; ++number) {
        auto insert = std::find_if(inserts.begin(), inserts.end(),
                                   [number](const INSERT& i) { return i.number == number; });
        if (insert != inserts.end() && insert->format == 's') {
            const char* value = va_arg(args, const char*);
            texts[number] = value ? value : "";
        } else {
            numbers[number] = va_arg(args, unsigned int);
        }
    }
    va_end(args);

    inserts_.assign(count, std::string());
    for (unsigned number = 1; number <= count; ++number) {
        auto insert = std::find_if(inserts.begin(), inserts.end(),
                                   [number](const INSERT& i) { return i.number == number; });
        if (insert != inserts.end())
            inserts_[number - 1] = format_insert(*insert, texts[number], numbers[number]);
    }
    std::string filled;
    size_t done = 0;
    for (const INSERT& insert : inserts) {
        filled.append(source, done, insert.begin - done);
        filled += format_insert(insert, texts[insert.number], numbers[insert.number]);
        done = insert.end;
    }
    filled.append(source, done, std::string::npos);
    text_ = without_symbolic_name(filled);
}

void MSG_BASE::issue(char as_type) const
{
    MSG_RECORD record{id_, as_type, text_, inserts_, line_};
    MSG_PRINTER print = printer.load();
    (print != nullptr ? print : print_default)(record);
    std::lock_guard<std::mutex> lock(record_mutex());
    issued_record().push_back(std::move(record));
}

MSG_PRINTER msg_set_printer(MSG_PRINTER new_printer)
{
    return printer.exchange(new_printer);
}

MSG_INDEX& MSG_INDEX::get_default_index()
{
    static MSG_INDEX* index = new MSG_INDEX; // never destroyed: used until exit
    return *index;
}

bool MSG_INDEX::is_suppressed(unsigned int id) const
{
    return std::find(suppressed_.begin(), suppressed_.end(), id) != suppressed_.end();
}

void MSG_INDEX::suppress(unsigned int id, bool on)
{
    suppressed_.erase(std::remove(suppressed_.begin(), suppressed_.end(), id), suppressed_.end());
    if (on)
        suppressed_.push_back(id);
}

MSG_ID_REGISTRAR::MSG_ID_REGISTRAR(const unsigned int* ids, const MSG_POST_TYPE* types, size_t count)
    : ids_(ids, ids + count)
{
    std::lock_guard<std::mutex> lock(record_mutex());
    for (size_t i = 0; i < count; ++i)
        registered_ids().push_back({ids[i], types[i]});
}

MSG_ID_REGISTRAR::~MSG_ID_REGISTRAR()
{
    std::lock_guard<std::mutex> lock(record_mutex());
    auto& all = registered_ids();
    for (unsigned int id : ids_) {
        auto it = std::find_if(all.begin(), all.end(), [id](const REGISTERED_ID& r) { return r.id == id; });
        if (it != all.end())
            all.erase(it);
    }
}

bool msg_is_registered(unsigned int id, MSG_POST_TYPE* type)
{
    std::lock_guard<std::mutex> lock(record_mutex());
    for (const REGISTERED_ID& entry : registered_ids()) {
        if (entry.id == id) {
            if (type)
                *type = entry.type;
            return true;
        }
    }
    return false;
}

void msg_local_vdebug(const char* module, MSG_D_LEVEL level, const char* format, va_list args)
{
    std::string text;
    stl_vsprintf(text, format, args);
    std::string line = std::string(module ? module : "") + ": " + text;
    if (cfg_get_int_value("MSG_DEBUG_LEVEL", -1) >= int(level))
        std::fputs(line.c_str(), stderr);
    std::lock_guard<std::mutex> lock(record_mutex());
    debug_record().push_back(line);
}

std::vector<MSG_RECORD> msg_take_issued()
{
    std::lock_guard<std::mutex> lock(record_mutex());
    std::vector<MSG_RECORD> taken;
    taken.swap(issued_record());
    return taken;
}

std::vector<std::string> msg_take_debug_lines()
{
    std::lock_guard<std::mutex> lock(record_mutex());
    std::vector<std::string> taken;
    taken.swap(debug_record());
    return taken;
}
