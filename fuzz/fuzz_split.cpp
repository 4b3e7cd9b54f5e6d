// Splitting, groups, comment removal and keyword replacement on arbitrary text.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> texts = fuzz_texts(data, size);
    const std::string text = texts[0];
    const std::string split = texts.size() > 1 ? texts[1] : ",";
    const std::string replacements = texts.size() > 2 ? texts[2] : "";
    const BYTE flags = size ? data[size - 1] : 0;
    const DWORD max_count = (flags & 0x30) ? DWORD((flags >> 4) & 3) + 1 : DWORD(-1);
    fuzz_run([&] {
        PGM_COMMON::split_string(text, split, flags & 1, flags & 2, max_count, {"=", ","}, (flags & 4) ? ")" : "",
                                 flags & 8);
    });
    fuzz_run([&] {
        PGM_COMMON::backup_split_string(text, split, flags & 1, flags & 2, max_count, {"="}, "", flags & 8);
    });
    fuzz_run([&] { PGM_COMMON::get_dword_groups(text, DWORD(-1)); });
    fuzz_run([&] { PGM_COMMON::get_rid_white_space_and_comment(text, {"#", "//"}); });
    fuzz_run([&] {
        std::string edited = text;
        PGM_COMMON::replacement_default_value(edited, replacements, false);
    });
    return 0;
}
