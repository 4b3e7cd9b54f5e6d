// Reading back a damaged or forged developer trace file, and adding a line
// to it (a damaged file is moved aside first).
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// A folder of this process that stands in for the program's folder.
const std::string& trace_folder()
{
    static std::string folder = [] {
        char name[] = "/tmp/pgm_fuzz_trace_XXXXXX";
        std::string made = mkdtemp(name) ? name : "/tmp";
        gen_set_module_path(made);
        cfg_set_value("PGM_DEBUG_TRACE", "on");
        cfg_set_value("PGM_ENABLE_FUZZ_DEBUG", "on");
        return made;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = trace_folder() + "/programmer.dbg";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    fuzz_run([] { PGM_DEBUG::read_msg(); });
    fuzz_run([] {
        PGM_DEBUG::print_msg("fuzz", "", 0, "added");
        PGM_DEBUG::write_msg();
        PGM_DEBUG::read_msg();
    });
    std::remove(path.c_str());
    std::remove((path + ".damaged").c_str());
    return 0;
}
