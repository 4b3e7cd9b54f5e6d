// Memory initialisation files: the parser, the radix conversion and the
// packing of the reader, on damaged and forged files.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Files may ask for millions of words; the fuzzer's memory is smaller.
    static bool limited = (mio_set_max_words(1u << 16), true);
    (void)limited;
    std::string path = fuzz_input_file(data, size, ".mif");
    if (path.empty())
        return 0;
    fuzz_run([&] {
        PGMIO_MIF_READER reader;
        reader.set_file(path);
        reader.set_required_size(size > 0 ? data[0] : 0);
        if (reader.read_mif_file())
            PGMIO_MIF_READER copy = reader;
        reader.can_read_mif_file(size > 1 && (data[1] & 1));
    });
    std::string output;
    for (const std::string& word : fuzz_texts(data, size)) {
        for (int from = 0; from < 5; ++from)
            big_radix_conversion(word, output, from, from == 3 ? 0 : 3, 0);
    }
    return 0;
}
