// ZIP archives: the reader and the lister on damaged and forged archives,
// and a written copy of every archive the reader accepts, which must read
// back the same.
// Appending to an input it refuses must keep the input, unless the input
// holds no ZIP record at all.
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

bool file_holds(const std::string& path, const uint8_t* data, size_t size)
{
    std::string bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char piece[4096];
        for (size_t count; (count = std::fread(piece, 1, sizeof piece, file)) > 0;)
            bytes.append(piece, count);
        std::fclose(file);
    }
    return bytes.size() == size && (size == 0 || std::memcmp(bytes.data(), data, size) == 0);
}

void check_append(const std::string& path, const uint8_t* data, size_t size)
{
    bool not_archive = PGM_COMMON_ZIP::is_not_archive(path);
    PGM_COMMON_ZIP_FILE_LIST added;
    const BYTE byte = 'n';
    added.list.push_back(new PGM_COMMON_ZIP_FILE("new", 1, &byte, 0, 0));
    bool refused = false;
    try {
        PGM_COMMON_ZIP::add_files(added.list, path, true, false);
    } catch (const PGM_INTERNAL_ERROR&) {
        refused = true;
    }
    PGM_COMMON_ZIP_FILE_LIST written;
    if (refused == not_archive || (refused && !file_holds(path, data, size)) ||
        (!refused && (!PGM_COMMON_ZIP::get_files(path, written.list).empty() || written.list.size() != 1)))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz_input_file(data, size, ".zip");
    if (path.empty())
        return 0;
    // The central directory alone; every member it names is tested. An
    // archive the reader takes lists the same members, whole.
    std::vector<PGM_COMMON_ZIP_ENTRY> entries;
    bool listed = PGM_COMMON_ZIP::list_files(path, entries).empty();
    bool tested = listed;
    for (const PGM_COMMON_ZIP_ENTRY& entry : entries)
        tested = PGM_COMMON_ZIP::test_file(path, entry).empty() && tested;
    PGM_COMMON_ZIP_FILE_LIST members;
    if (!PGM_COMMON_ZIP::get_files(path, members.list).empty()) {
        check_append(path, data, size);
        return 0;
    }
    // An archive read holds the signatures of its records.
    if (PGM_COMMON_ZIP::is_not_archive(path) || !tested || entries.size() != members.list.size())
        std::abort();
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
