#include "h/pgm_common_xml_pfg_auto_export.h"
#include "pgm/h/pgm_common_export.h"
#include "pgm/h/pgm_common_xml_export.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

// argv[1]: the installed schema of the job files.
int main(int argc, char** argv)
{
    if (argc != 2)
        return 1;
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
    // The generated schema classes and the loader, validating against the schema.
    const char* job = "consumer_job.xml";
    FILE* file = std::fopen(job, "w");
    if (!file)
        return 1;
    std::fputs("<pfg version=\"2\"><output_files><output_file name=\"a\" directory=\"d\" type=\"POF\"/>"
               "</output_files></pfg>\n", file);
    std::fclose(file);
    std::unique_ptr<PGM_COMMON_XML_PFG_PFG> root(static_cast<PGM_COMMON_XML_PFG_PFG*>(
        PGM_COMMON_XML::parse_xml(PGM_COMMON_XML_FILE_PFG, job, argv[1], false, "", "", "")));
    const PGM_COMMON_XML_PFG_OUTPUT_FILE* output = root->output_files.at(0)->output_file.at(0);
    bool xml_ok = root->version == 2 && output->type == PGM_COMMON_XML_ENUM_POF &&
                  output->subtype == PGM_COMMON_XML_ENUM_INVALID && output->name == "a";
    // The encoded form of the files.
    std::vector<BYTE> sealed = pgm_xml_encode("<pfg version=\"2\"/>");
    int reason = -1;
    xml_ok = xml_ok && pgm_xml_decode(sealed.data(), sealed.size(), reason) == "<pfg version=\"2\"/>" && reason == 0;
    std::printf("crc32 %08X value %llu xml %s\n", unsigned(crc), (unsigned long long)value, xml_ok ? "ok" : "wrong");
    return crc == 0xCBF43926 && value == 31 && xml_ok ? 0 : 1;
}
