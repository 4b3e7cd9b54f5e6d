// The shared library's boundary: its dynamic symbol table holds what pgm/h,
// host/ and the generated schema headers declare, and none of the helpers
// that serve only the library's own sources.
#include "test_support.h"

#include <sstream>

TEST(Exports, InterfaceExportedAndHelpersKeptInside)
{
    RUN_RESULT nm = run_command("nm -D --defined-only -C '" PGM_LIBRARY_PATH "'");
    ASSERT_EQ(0, nm.exit_code) << nm.output;
    // "ADDRESS TYPE NAME" per line; the names alone.
    std::vector<std::string> names;
    std::istringstream lines(nm.output);
    for (std::string line; std::getline(lines, line);) {
        size_t type = line.find(' ');
        if (type != std::string::npos && line.size() > type + 3)
            names.push_back(line.substr(type + 3));
    }
    auto starts = [&names](const std::string& prefix) {
        for (const std::string& name : names)
            if (name.compare(0, prefix.size(), prefix) == 0)
                return true;
        return false;
    };
    const char* const exported[] = {
        "PGM_COMMON::convert_string_to_qword(",
        "PGM_COMMON::read_hex_data(",
        "PGM_COMMON_XML::parse_xml(",
        "PGM_COMMON_XML_ELEMENT::add_child(",
        "PGM_COMMON_XML_PARSER_DOM::loadconfig(",
        "PGM_COMMON_ZIP::get_files(",
        "PGM_COMMON_CMD::parse_argument(",
        "PGM_COMMON::convert_string_to_pgm_protobuf(",
        "PGM_PROTOBUF::~PGM_PROTOBUF(",
        "PGM_COMMON_PARAM_FILE_MANAGER::read(",
        "PGM_COMMON_INI::get_general_ini(",
        "PGM_COMMON_SECURITY::gen_password(",
        "PGM_COMMON_THREAD::get_active_thread(",
        "PGM_COMMON::get_morvane_full_version(",
        "thr_thread_start(",
        "PGM_COMMON_HMAC_DRBG::generate(",
        "PGM_DEBUG::print_msg(",
        "PGMIO_HEX_READER::read_hex_file(",
        "PGMIO_MIF_READER::read_mif_file(",
        "pgmio_delete_hex_blocks(",
        "pgm_common_vdebug(",
        "pgm_common_xml_enum_names",
        "pgm_xml_encode(",
        "pgm_xml_decode_file(",
        "pgm_common_xml_pfg_family(",
        "PGM_COMMON_XML_PFG_OUTPUT_FILE::PGM_COMMON_XML_PFG_OUTPUT_FILE(",
        "typeinfo for PGM_COMMON_XML_PFG_PFG",
        "typeinfo for PGM_INTERNAL_ERROR",
        "MSG_INTERNAL_ERROR::report(",
        "msg_take_issued(",
        "cfg_get_value(",
        "FIO_PATH::fullpath",
        "MIO_FILE::read_file(",
        "big_radix_conversion(",
        "std::brisol_ifstream::open(",
    };
    for (const char* name : exported)
        EXPECT_TRUE(starts(name)) << name;
    // Helpers of pgm/common/ and of the host sources, and the private
    // nested classes of exported classes.
    const char* const internal[] = {
        "pgm_read_plain_file(",
        "pgm_msg_",
        "pgm_post_depth_warnings(",
        "pgm_xml_narrow",
        "pgm_xml_deeper_than(",
        "void pgm_wipe<",
        "mio_number::",
        "MIO_PARSER::",
        "MIO_FILE::NEGATIVE_WORDS::",
        "VXL_ZIFSTREAM_BUF::",
        "PGMIO_HEX_READER::READ_STATE::",
        "PGM_COMMON_ZIP::ARCHIVE_WRITER::",
        "void std::vector<PGM_COMMON_ZIP::LOCAL_FILE_HEADER",
    };
    for (const char* name : internal)
        EXPECT_FALSE(starts(name)) << name;
    for (const std::string& name : names)
        EXPECT_EQ(std::string::npos, name.find("(anonymous namespace)")) << name;
}
