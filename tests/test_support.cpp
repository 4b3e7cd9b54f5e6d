#include "test_support.h"

#include "host/mem.h"

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TEMP_DIR::TEMP_DIR()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "pgm_test_XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
}

TEMP_DIR::~TEMP_DIR()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void write_file(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string capture_stdout(const std::function<void()>& fn)
{
    testing::internal::CaptureStdout();
    try {
        fn();
    } catch (...) {
        fflush(stdout);
        testing::internal::GetCapturedStdout();
        throw;
    }
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

std::vector<BYTE> bytes_of(const std::string& text)
{
    return std::vector<BYTE>(text.begin(), text.end());
}

std::string hex_record(DWORD address, BYTE type, const std::vector<BYTE>& data)
{
    std::vector<BYTE> record = {BYTE(data.size()), BYTE(address >> 8), BYTE(address), type};
    record.insert(record.end(), data.begin(), data.end());
    BYTE sum = 0;
    for (BYTE b : record)
        sum = BYTE(sum + b);
    record.push_back(BYTE(0x100 - sum));
    static const char digits[] = "0123456789ABCDEF";
    std::string line = ":";
    for (BYTE b : record) {
        line += digits[b >> 4];
        line += digits[b & 0xF];
    }
    return line;
}

std::vector<MSG_RECORD> issued_by(const std::function<void()>& fn)
{
    msg_take_issued();
    capture_stdout(fn);
    return msg_take_issued();
}

RUN_RESULT run_command(const std::string& command_line)
{
    std::string command = command_line + " 2>&1";
    RUN_RESULT result{-1, "", ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t count = 0;
    while ((count = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        result.output.append(buffer, count);
    int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

RUN_RESULT run_pgmtool(const std::string& arguments, const std::string& folder)
{
    TEMP_DIR errors;
    std::string cd = folder.empty() ? "" : "cd '" + folder + "' && ";
    // run_command adds "2>&1" for the outer braces: pgmtool's own standard
    // error goes to the file. No run may wait for ever.
    std::string tool = "timeout 60 " + std::string(PGMTOOL_PATH);
    RUN_RESULT result = run_command("{ { " + cd + tool + " " + arguments + "; } 2> " + errors.file("err") + "; }");
    result.error = read_file(errors.file("err"));
    return result;
}

void expect_pgmtool(const std::vector<PGMTOOL_CASE>& cases, const std::string& folder)
{
    for (const PGMTOOL_CASE& c : cases) {
        RUN_RESULT result = run_pgmtool(c.arguments, folder);
        EXPECT_EQ(c.exit_code, result.exit_code) << c.arguments;
        EXPECT_EQ(c.output, result.output) << c.arguments;
        EXPECT_EQ(c.error, result.error) << c.arguments;
    }
}

std::string name_of(PGM_COMMON_XML_ENUM e)
{
    return PGM_COMMON_XML_UTIL::convert_enum_to_string(e);
}

PGM_COMMON_XML_ENUM enum_of(const std::string& name)
{
    return PGM_COMMON_XML_UTIL::convert_string_to_enum(name, true);
}

std::string upper(std::string text)
{
    stl_toupper(text);
    return text;
}

std::vector<std::unique_ptr<PGM_COMMON_XML_ELEMENT>> every_class(const PGM_COMMON_XML_FAMILY& family)
{
    std::vector<std::unique_ptr<PGM_COMMON_XML_ELEMENT>> objects;
    objects.emplace_back(family.create_root());
    for (const PGM_COMMON_XML_CHILD_RULE& rule : family.rules) {
        const std::string names = rule.childs;
        objects.emplace_back(rule.create(enum_of(upper(names.substr(0, names.find('|'))))));
    }
    return objects;
}

std::string member_text(BYTE type, const void* ptr)
{
    switch (type) {
    case PGM_XML_TYPE_BOOL:
        return *static_cast<const bool*>(ptr) ? "true" : "false";
    case PGM_XML_TYPE_PGM_XML_BOOL: {
        BYTE value = *static_cast<const BYTE*>(ptr);
        return value == 2 ? "tristate" : value ? "true" : "false";
    }
    case PGM_XML_TYPE_INTEGER:
        return std::to_string(*static_cast<const int*>(ptr));
    case PGM_XML_TYPE_DWORD:
        return std::to_string(*static_cast<const DWORD*>(ptr));
    case PGM_XML_TYPE_STRING:
    case PGM_XML_TYPE_CPP_STRING:
        return *static_cast<const std::string*>(ptr);
    case PGM_XML_TYPE_HEX_DATA:
    case PGM_XML_TYPE_STDHEX_DATA: {
        const PGM_COMMON_XML_HEX_DATA& hex = *static_cast<const PGM_COMMON_XML_HEX_DATA*>(ptr);
        static const char digits[] = "0123456789ABCDEF";
        std::string text;
        for (DWORD i = 0; i < hex.size; ++i)
            text += std::string{digits[hex.data[i] >> 4], digits[hex.data[i] & 0xF]};
        return text;
    }
    case PGM_XML_TYPE_ENUM:
        return name_of(*static_cast<const PGM_COMMON_XML_ENUM*>(ptr));
    default:
        ADD_FAILURE() << "unexpected type " << int(type);
        return "";
    }
}

std::string dump(PGM_COMMON_XML_ELEMENT* e, const std::string& indent)
{
    std::string text = indent + name_of(e->info.sub_class_type);
    for (size_t i = 3; i < e->attribute_info.size(); ++i) {
        const PGM_COMMON_XML_ATTRIBUTE_INFO& a = e->attribute_info[i];
        text += " " + a.name + "=" + member_text(a.type, a.ptr) + " \"" + a.string + "\"";
    }
    if (e->info.ptr)
        text += " text=" + member_text(e->info.type, e->info.ptr) + " \"" + e->info.string + "\"";
    text += "\n";
    for (PGM_COMMON_XML_ELEMENT* child : e->get_childs())
        text += dump(child, indent + "  ");
    return text;
}

XML_TREE load_xml(PGM_COMMON_XML_FILE_ENUM kind, const std::string& file, const std::string& xsd)
{
    return XML_TREE(
        static_cast<PGM_COMMON_XML_ELEMENT*>(PGM_COMMON_XML::parse_xml(kind, file, xsd, false, "", "", "")));
}

XML_TREE load_xml_text(PGM_COMMON_XML_FILE_ENUM kind, const std::string& text)
{
    TEMP_DIR dir;
    write_file(dir.file("job.xml"), text + "\n");
    return load_xml(kind, dir.file("job.xml"));
}

void expect_load(PGM_COMMON_XML_FILE_ENUM kind, const std::string& text, const std::string& message)
{
    SCOPED_TRACE(text);
    if (message.empty())
        EXPECT_NO_THROW(load_xml_text(kind, text));
    else
        EXPECT_INTERNAL_ERROR(load_xml_text(kind, text), message);
}

std::string count_error(const std::string& element, const std::string& child, const std::string& range, int found)
{
    return "Element " + element + " has invalid " + child + " child count, expected invalid range is \"" + range +
           "\" but found " + std::to_string(found);
}

std::string tag(const std::string& name, const std::string& body)
{
    return "<" + name + ">" + body + "</" + name + ">";
}

std::string repeat(const std::string& text, size_t times)
{
    std::string out;
    out.reserve(text.size() * times);
    while (times-- > 0)
        out += text;
    return out;
}

XML_TREE create_named(const PGM_COMMON_XML_FAMILY& family, const std::string& name)
{
    if (enum_of(upper(name)) == family.root_type)
        return XML_TREE(family.create_root());
    for (const PGM_COMMON_XML_CHILD_RULE& rule : family.rules) {
        if (PGM_COMMON_XML_HELPER::match_element_name(name, rule.childs))
            return XML_TREE(rule.create(enum_of(upper(name))));
    }
    ADD_FAILURE() << "no rule creates " << name;
    return XML_TREE(family.create_root());
}

std::string attribute_text(PGM_COMMON_XML_ELEMENT* e, const std::string& name)
{
    const PGM_COMMON_XML_ATTRIBUTE_INFO& a = e->attribute_info.at(e->get_attribute_index(name));
    return member_text(a.type, a.ptr);
}

int run_with_file_size_limit(size_t limit, void (*action)(int), const std::function<int()>& work)
{
    pid_t child = fork();
    if (child == 0) {
        struct rlimit bytes = {rlim_t(limit), rlim_t(limit)};
        std::signal(SIGXFSZ, action);
        _exit(setrlimit(RLIMIT_FSIZE, &bytes) == 0 ? work() : 99);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

void wait_for_gate(void* arg)
{
    THREAD_GATE* gate = static_cast<THREAD_GATE*>(arg);
    while (!gate->release.load())
        thr_msleep(1);
    gate->done.fetch_add(1);
}
