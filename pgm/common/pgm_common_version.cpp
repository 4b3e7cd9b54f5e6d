// Packed version numbers: year 8 bits, release 4, update 4, service pack 4,
// build 12, most significant first, so that packed versions order as the
// versions they stand for.
#include "host/mem.h"
#include "host/ver.h"
#include "pgm/common/pgm_check.h"
#include "pgm/h/pgm_common.h"

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// A decimal part of a version text. It is converted as 64 bits so that a
// value above 32 bits fails the caller's range check instead of being cut
// to its low 32 bits ("4294967317" is not 21). A value of more than 64 bits
// and a negative one fail that check too; any other bad text gets the
// conversion's own error.
QWORD version_part(const std::string& text)
{
    const QWORD OUT_OF_RANGE = QWORD(-1);
    bool converted = false;
    const QWORD value = PGM_COMMON::convert_string_to_qword(text, false, &converted, NULL, false);
    if (!converted && !text.empty() && text.find_first_not_of("0123456789") == std::string::npos)
        return OUT_OF_RANGE;
    if (!converted)
        return PGM_COMMON::convert_string_to_qword(text, false, NULL, NULL, false);
    return text.find('-') != std::string::npos && value != 0 ? OUT_OF_RANGE : value;
}

// The packed year, release and update of "year.release[.update]". The
// internal errors name the parts as the caller calls them: names[0] the
// whole text, names[1] and names[2] the first two parts.
DWORD pack_version_text(const std::string& text, const char* const names[3])
{
    if (text.size() == 0)
        PGM_FAIL("%s.size() != 0", names[0]);
    const size_t index = text.find('.');
    if (index >= text.size())
        PGM_FAIL("index < %s.size()", names[0]);
    const std::string major = text.substr(0, index);
    std::string minor = text.substr(index + 1);
    std::string update;
    const size_t second = minor.find('.');
    if (second != std::string::npos) {
        update = minor.substr(second + 1);
        minor.erase(second);
    }
    const std::string* parts[2] = {&major, &minor};
    for (int i = 0; i < 2; i++) {
        if (parts[i]->size() == 0 || parts[i]->find("0x") == 0 || parts[i]->find("b") == 0)
            PGM_FAIL("%s.size() != 0 && %s.find(\"0x\") != 0 && %s.find(\"b\") != 0", names[i + 1], names[i + 1],
                     names[i + 1]);
    }
    QWORD temp = version_part(major);
    PGM_CHECK(temp < 256);
    DWORD packed = DWORD(temp) << 24;
    temp = version_part(minor);
    PGM_CHECK(temp < 16);
    packed |= DWORD(temp) << 20;
    if (second != std::string::npos) {
        PGM_CHECK(update.find("0x") != 0 && update.find("b") != 0);
        temp = version_part(update);
        PGM_CHECK(temp < 16);
        packed |= DWORD(temp) << 16;
    }
    return packed;
}

} // namespace

DWORD PGM_COMMON::get_morvane_full_version()
{
    static const char* const NAMES[3] = {"ver_string", "year", "release"};
    const std::string ver_string = ver_get_version();
    const DWORD index = DWORD(ver_get_current_version_index_number());
    const DWORD service_pack = index & 0xFF;
    const DWORD build_version = (index >> 8) & 0xFFFF;
    DWORD version = pack_version_text(ver_string, NAMES);
    PGM_CHECK(service_pack < 16);
    version |= service_pack << 12;
    PGM_CHECK(build_version < 4096);
    return version | build_version;
}

DWORD PGM_COMMON::get_morvane_version(std::string version)
{
    static const char* const NAMES[3] = {"version_string", "major", "minor"};
    return pack_version_text(version, NAMES);
}

std::string PGM_COMMON::get_morvane_full_version_string(DWORD version)
{
    std::string text;
    MEM_DETAIL::stl_raw_sprintf(text, "%d.%d", int(version >> 24), int((version >> 20) & 0xF));
    if (const int update = int((version >> 16) & 0xF))
        MEM_DETAIL::stl_raw_sprintf(text, "%s.%d", text.c_str(), update);
    if (const int service_pack = int((version >> 12) & 0xF))
        MEM_DETAIL::stl_raw_sprintf(text, "%s SP %d", text.c_str(), service_pack);
    if (const int build = int(version & 0xFFF))
        MEM_DETAIL::stl_raw_sprintf(text, "%s Build %d", text.c_str(), build);
    return text;
}

std::string PGM_COMMON::get_morvane_full_version_string()
{
    return get_morvane_full_version_string(get_morvane_full_version());
}
