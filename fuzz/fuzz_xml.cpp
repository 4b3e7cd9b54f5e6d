// XML configuration files: the first byte chooses the kind of file (its
// value modulo the number of kinds), the other bytes are the file. A tree
// that loads is written out and loaded again, and
// must write the same text the second time. Bytes that name the XML Schema
// namespace are also read as the schema of a small job, the way --xsd and
// --check_xsd read one.
#include "fuzz_support.h"

#include "pgm/h/pgm_common_xml_export.h"

#include <fstream>
#include <iostream>
#include <memory>

namespace {

typedef std::unique_ptr<PGM_COMMON_XML_ELEMENT> TREE;

TREE load(PGM_COMMON_XML_FILE_ENUM kind, const std::string& path)
{
    return TREE(static_cast<PGM_COMMON_XML_ELEMENT*>(PGM_COMMON_XML::parse_xml(kind, path, "", false, "", "", "")));
}

// Checks a small job against the schema at path.
void check_against(const std::string& path)
{
    static const std::string job = [&path] {
        std::string file = path.substr(0, path.rfind('/')) + "/job.xml";
        std::ofstream(file) << "<pfg version=\"1\"><raw_files/></pfg>";
        return file;
    }();
    std::string errors, warnings;
    fuzz_run([&] { PGM_COMMON_XML::check_xsd(job, path, errors, warnings); });
}

std::string text_of(PGM_COMMON_XML_ELEMENT* root)
{
    std::string text;
    PGM_COMMON_XML::write_xml_element(root, text, "", false, false, false);
    return text;
}

} // namespace

// Xerces-C 3.2.4 loses the nodes of a content model in a document type
// declaration when the model is malformed ("(a%b)"). Its allocations are
// traced only up to its memory manager, so leaks of memory it allocated are
// left to the sanitizer tests, which see the library's own uses of it.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libxerces-c\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The parser's messages go to the standard error stream, libFuzzer's own to the descriptor.
    static std::streambuf* quiet = std::cerr.rdbuf(nullptr);
    (void)quiet;
    if (size == 0)
        return 0;
    const auto kind = PGM_COMMON_XML_FILE_ENUM(data[0] % PGM_COMMON_XML_FILE_MAX);
    data++;
    size--;
    if (PGM_COMMON_XML::get_family(kind) == nullptr)
        return 0;
    std::string path = fuzz_input_file(data, size, ".xml");
    if (path.empty())
        return 0;
    if (std::string(reinterpret_cast<const char*>(data), size).find("http://www.w3.org/2001/XMLSchema") !=
        std::string::npos)
        check_against(path);
    TREE tree;
    fuzz_run([&] { tree = load(kind, path); });
    if (!tree)
        return 0;
    std::string first = text_of(tree.get());
    // Keyword templates are replaced in the raw text when a file is read,
    // so a value that spells one out does not read back as it was.
    if (first.find("__@") != std::string::npos)
        return 0;
    std::string copy = path + ".copy.xml";
    try {
        PGM_COMMON_XML::write_xml(tree.get(), copy);
        if (text_of(load(kind, copy).get()) != first)
            std::abort();
    } catch (const PGM_INTERNAL_ERROR&) {
        std::abort();
    }
    return 0;
}
