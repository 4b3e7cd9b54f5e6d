// Hexadecimal record files: the reader, its flattening and the run from
// address 0, on damaged and forged files.
#include "fuzz_support.h"

#include <memory>

namespace {

// Flattening spans from the lowest to the highest address; a tiny forged
// file can span 4 GiB, which is the caller's to allow, not the fuzzer's.
const QWORD FLATTEN_LIMIT = QWORD(16) << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz_input_file(data, size, ".hex");
    if (path.empty())
        return 0;
    bool flatten = false;
    fuzz_run([&] {
        PGMIO_HEX_READER reader;
        reader.set_file(path);
        reader.set_required_size(size > 0 ? data[0] : 0);
        reader.read_hex_file(size > 1 && (data[1] & 1), size > 1 && (data[1] & 2));
        PGMIO_HEX_READER copy = reader;
        if (copy.get_hex_list()) {
            flatten = pgmio_hex_extent(*copy.get_hex_list()).size <= FLATTEN_LIMIT;
            pgmio_delete_hex_blocks(*copy.get_hex_list());
        }
    });
    if (!flatten)
        return 0;
    fuzz_run([&] {
        DWORD image_size = 0, lowest = 0;
        std::unique_ptr<BYTE[]> image(PGM_COMMON::read_hex_data(path, image_size, lowest));
        std::unique_ptr<BYTE[]> run(PGM_COMMON::read_continuous_hex_data(path, image_size));
    });
    return 0;
}
