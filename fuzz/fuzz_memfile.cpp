// Text memory files and the DAT and ICD bitstream forms, on damaged and
// forged files.
#include "fuzz_support.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    std::string path = fuzz_input_file(data + 2, size - 2, ".txt");
    if (path.empty())
        return 0;
    // The caller's width and depth: small, so that the image stays small.
    fuzz_run([&] {
        DWORD width = data[0] % 80, depth = data[1] % 64, bytes = 0;
        std::unique_ptr<BYTE[]> memory(PGM_COMMON::read_memory_file(path, width, depth, bytes));
    });
    fuzz_run([&] {
        DWORD bytes = 0;
        std::unique_ptr<BYTE[]> rbf(PGM_COMMON::convert_dat_to_rbf(path, bytes));
    });
    fuzz_run([&] {
        DWORD bits = 0;
        std::unique_ptr<BYTE[]> icd(
            PGM_COMMON::parse_icd_file(path, bits, data[0] & 1, data[0] & 2, data[0] & 4, data[0] & 8));
    });
    return 0;
}
