// Number and hex-string conversions on arbitrary text.
#include "fuzz_support.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> texts = fuzz_texts(data, size);
    for (const std::string& text : texts) {
        bool ok = false;
        fuzz_run([&] { PGM_COMMON::convert_string_to_qword(text, false, &ok, NULL, true); });
        fuzz_run([&] { PGM_COMMON::convert_string_to_integer(text, false, &ok, NULL, true); });
        fuzz_run([&] { PGM_COMMON::convert_string_to_special_qword(text, "<<", false, &ok, 40); });
        fuzz_run([&] {
            QWORD value = 0;
            std::string error;
            PGM_COMMON::convert_scientific_string_to_qword(text, value, error);
        });
        fuzz_run([&] {
            DWORD count = 0;
            std::unique_ptr<BYTE[]> bytes(PGM_COMMON::convert_hex_string_to_byte_array(text, DWORD(-1), &count, false, &ok));
            if (bytes && count)
                PGM_COMMON::convert_byte_array_to_hex_string(bytes.get(), count, true, true);
        });
        fuzz_run([&] {
            DWORD count = 0;
            std::unique_ptr<BYTE[]> bytes(
                PGM_COMMON::convert_standard_hex_string_to_byte_array(text, 7, &count, false, &ok));
        });
        fuzz_run([&] {
            DWORD bits = 0;
            std::unique_ptr<BYTE[]> bytes(PGM_COMMON::convert_binary_string_to_byte_array(text, bits, size % 2));
        });
    }
    return 0;
}
