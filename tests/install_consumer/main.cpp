#include "pgm/h/pgm_common_export.h"

#include <cstdio>
#include <cstring>

int main()
{
    const char* digits = "123456789";
    DWORD crc = ~PGM_COMMON::lsb_calculate_crc32(reinterpret_cast<const BYTE*>(digits), 0, 72, 0xFFFFFFFF,
                                                 0xEDB88320, false, true);
    QWORD value = PGM_COMMON::convert_string_to_qword("0x1f", true, NULL, NULL, false);
    try {
        PGM_COMMON::convert_string_to_qword("12Z", true, NULL, NULL, false);
        return 1;
    } catch (const PGM_INTERNAL_ERROR& error) {
        if (std::strcmp(error.what(), "Invalid string \"12Z\" to qword conversion") != 0)
            return 1;
    }
    std::printf("crc32 %08X value %llu\n", unsigned(crc), (unsigned long long)value);
    return crc == 0xCBF43926 && value == 31 ? 0 : 1;
}
