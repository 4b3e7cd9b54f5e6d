// pgm_xmlgen: writes the element classes of one XML schema family from its
// description (h/pgm_common_xml_<family>.desc; the format, with its named
// lists of values and of element names, is explained at the top of
// h/pgm_common_xml_pfg.desc).
//
//   pgm_xmlgen <description> <output folder> <family>
//
// writes into <output folder> pgm_common_xml_<family>_auto_export.h and
// pgm_common_xml_<family>_auto.cpp (the element classes; the source also
// holds the schema text), pgm_common_xml_<family>.xsd (the XML Schema of the
// family's files) and pgm_common_xml_<family>_auto_table.inc (the described
// attributes as macro rows, for the tests). Every problem of the
// description is reported as "<file>:<line>: error: <message>" and nothing
// is written; the files are written through temporary files and renamed, so
// a failed run leaves no half-written file behind.
#include "xmlgen_model.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace xmlgen;

namespace {

bool write_file(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "pgm_xmlgen: cannot write " << path << ": " << std::strerror(errno) << "\n";
        return false;
    }
    return true;
}

// Writes every file beside its final name, then renames them all.
bool write_files(const std::vector<std::pair<std::string, std::string>>& files)
{
    bool ok = true;
    for (const auto& file : files)
        ok = ok && write_file(file.first + ".tmp", file.second);
    for (const auto& file : files) {
        std::error_code error;
        if (ok) {
            std::filesystem::rename(file.first + ".tmp", file.first, error);
            if (error) {
                std::cerr << "pgm_xmlgen: cannot rename to " << file.first << ": " << error.message() << "\n";
                ok = false;
            }
        }
        std::filesystem::remove(file.first + ".tmp", error);
    }
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: pgm_xmlgen <description> <output folder> <family>\n";
        return 2;
    }
    const std::string desc_path = argv[1], out_dir = argv[2], family = argv[3];
    std::ifstream in(desc_path, std::ios::binary);
    if (!in) {
        std::cerr << "pgm_xmlgen: cannot read " << desc_path << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    ERRORS errors(desc_path);
    DESCRIPTION d;
    read_description(in, d, errors);
    if (in.bad()) {
        std::cerr << "pgm_xmlgen: cannot read " << desc_path << "\n";
        return 1;
    }
    if (!is_lower_name(family)) {
        std::cerr << "pgm_xmlgen: the family \"" << family << "\" is not a lower-case name\n";
        return 2;
    }
    check_description(d, family, errors);
    if (!errors.empty()) {
        errors.print();
        return 1;
    }
    std::error_code error;
    std::filesystem::create_directories(out_dir, error);
    if (error) {
        std::cerr << "pgm_xmlgen: cannot create " << out_dir << ": " << error.message() << "\n";
        return 1;
    }
    const std::string name = std::filesystem::path(desc_path).filename().string();
    const std::string stem = out_dir + "/pgm_common_xml_" + family;
    return write_files({{stem + "_auto_export.h", generated_header(d, name)},
                        {stem + "_auto.cpp", generated_source(d, name)},
                        {stem + ".xsd", generated_schema(d, name)},
                        {stem + "_auto_table.inc", generated_table(d, name)}})
               ? 0
               : 1;
}
