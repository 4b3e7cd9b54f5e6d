// Command lines of arbitrary words against a table of every argument type.
#include "fuzz_support.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    std::vector<std::string> words = fuzz_texts(data, size);
    std::vector<const char*> argv = {"fuzz"};
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    bool flag = false;
    int number = 0;
    std::string text;
    std::vector<PGM_COMMON_CMD_ARG_STRUCT> table = {
        {"flag", PGM_COMMON_CMD_ARG_FLAG, &flag, false, true, "a flag"},
        {"number", PGM_COMMON_CMD_ARG_INTEGER, &number, false, false, "a number"},
        {"text", PGM_COMMON_CMD_ARG_STRING, &text, true, false, "a text"},
    };
    std::vector<std::string> files, used;
    fuzz_run([&] {
        PGM_COMMON_CMD::parse_argument(int(argv.size()), argv.data(), DWORD(table.size()), table.data(), files, &used);
        PGM_COMMON_CMD::print_help(true, DWORD(table.size()), table.data(), files, 0, NULL);
    });
    cfg_clear();
    return 0;
}
