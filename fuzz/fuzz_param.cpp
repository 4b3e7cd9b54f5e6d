// Parameter files: whatever reads is written back and reads back the same;
// parameters set from the input are written, or refused, and read back the
// same when written.
#include "fuzz_support.h"

#include <cstring>

namespace {

typedef std::map<std::string, PARAM_PROPERTIES> PARAMS;

bool same(const PARAMS& a, const PARAMS& b)
{
    if (a.size() != b.size())
        return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
        if (i->first != j->first || i->second.name != j->second.name || i->second.value != j->second.value ||
            i->second.comment != j->second.comment)
            return false;
    }
    return true;
}

// Writes the parameters; when write takes them they must read back (those
// not commented out), and when it refuses, nothing may be written and the
// reason must be one of the refusals (or one of allowed, when given).
void round_trip(PGM_COMMON_PARAM_FILE_MANAGER& params, const std::string& path,
                const std::vector<const char*>& allowed)
{
    std::remove(path.c_str());
    std::string error;
    if (!params.write(path, error)) {
        const std::string refused = "Fail to write " + path + ": parameter \"";
        if (FIO_FILE_SYSTEM::exists(path) || error.compare(0, refused.size(), refused) != 0)
            std::abort();
        bool known = allowed.empty();
        for (const char* reason : allowed)
            known = known || error.find(reason) != std::string::npos;
        if (!known)
            std::abort();
        return;
    }
    PARAMS expected = *params.get_param_value_map();
    for (auto i = expected.begin(); i != expected.end();)
        i = i->second.comment ? expected.erase(i) : std::next(i);
    PGM_COMMON_PARAM_FILE_MANAGER back;
    if (!back.read(path, error) || !same(expected, *back.get_param_value_map()))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzz_input_file(data, size, ".par");
    if (path.empty())
        return 0;
    const std::string out = path.substr(0, path.rfind('/')) + "/output.par";
    PGM_COMMON_PARAM_FILE_MANAGER read;
    std::string error;
    // What the reader gives never holds quotes, tabs, line breaks, "=" or
    // outer spaces; its names may hold NUL bytes or begin like a gzip header.
    if (read.read(path, error))
        round_trip(read, out, {"NUL byte", "gzip header"});
    // Pairs of NUL-separated texts, name then value; a name that begins
    // with byte 1 is set as a comment, without that byte.
    const std::vector<std::string> texts = fuzz_texts(data, size);
    PGM_COMMON_PARAM_FILE_MANAGER set;
    for (size_t i = 0; i + 1 < texts.size(); i += 2) {
        bool comment = !texts[i].empty() && texts[i][0] == '\x01';
        set.set_value(texts[i].substr(comment ? 1 : 0), texts[i + 1], comment);
    }
    round_trip(set, out, {});
    return 0;
}
