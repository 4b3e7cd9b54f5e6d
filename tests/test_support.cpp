#include "test_support.h"

#include <cctype>
#include <cstdlib>
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

std::vector<std::unique_ptr<PGM_COMMON_XML_ELEMENT>> every_xml_class(const PGM_COMMON_XML_FAMILY& family)
{
    std::vector<std::unique_ptr<PGM_COMMON_XML_ELEMENT>> objects;
    objects.emplace_back(family.create_root());
    for (const PGM_COMMON_XML_CHILD_RULE& rule : family.rules) {
        std::string name = rule.childs;
        for (char& c : name)
            c = char(toupper(c));
        objects.emplace_back(rule.create(PGM_COMMON_XML_UTIL::convert_string_to_enum(name, true)));
    }
    return objects;
}
