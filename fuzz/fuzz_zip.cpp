// ZIP archives: the reader on damaged and forged archives, and a written
// copy of every archive it accepts, which must read back the same.
#include "fuzz_support.h"

#include <cstring>

namespace {

bool same_members(const PGM_COMMON_ZIP_FILE_LIST& a, const PGM_COMMON_ZIP_FILE_LIST& b)
{
    if (a.list.size() != b.list.size())
        return false;
    for (size_t i = 0; i < a.list.size(); ++i) {
        const PGM_COMMON_ZIP_FILE& x = *a.list[i];
        const PGM_COMMON_ZIP_FILE& y = *b.list[i];
        if (x.filename != y.filename || x.size != y.size || x.time != y.time || x.date != y.date ||
            (x.size > 0 && std::memcmp(x.data, y.data, x.size) != 0))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz_input_file(data, size, ".zip");
    if (path.empty())
        return 0;
    PGM_COMMON_ZIP_FILE_LIST members;
    if (!PGM_COMMON_ZIP::get_files(path, members.list).empty())
        return 0;
    // The last member of a name is found as the first member of that name.
    PGM_COMMON_ZIP_FILE wanted;
    wanted.filename = members.list.back()->filename;
    if (!wanted.filename.empty() && !PGM_COMMON_ZIP::get_file(path, wanted).empty())
        std::abort();
    std::string copy = path + ".copy.zip";
    PGM_COMMON_ZIP::add_files(members.list, copy, false, false);
    PGM_COMMON_ZIP_FILE_LIST again;
    if (!PGM_COMMON_ZIP::get_files(copy, again.list).empty() || !same_members(members, again))
        std::abort();
    return 0;
}
