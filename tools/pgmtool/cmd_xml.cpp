// pgmtool xml: load an XML configuration file of a given kind (filtered by
// conditions, validated, written back), check a file against a schema, and
// write the encoded form of a file.
#include "pgmtool_frame.h"

#include "pgm/h/pgm_common_xml_export.h"

#include <cstdio>
#include <memory>

namespace {

struct KIND_WORD {
    const char* word;
    PGM_COMMON_XML_FILE_ENUM kind;
    const char* what;
};

const KIND_WORD KINDS[] = {
    {"fbgen", PGM_COMMON_XML_FILE_FBGEN_ASSEMBLER, "firmware-bitstream assembler descriptions"},
    {"fuse_db", PGM_COMMON_XML_FILE_FUSE_DB, "fuse databases"},
    {"qspi", PGM_COMMON_XML_FILE_GFPDB_QSPI, "serial-flash device databases"},
    {"sdmmc", PGM_COMMON_XML_FILE_GFPDB_SDMMC, "SD/MMC device databases"},
    {"pfg", PGM_COMMON_XML_FILE_PFG, "programming-file generator jobs"},
};

const KIND_WORD* find_kind(const std::string& word)
{
    for (const KIND_WORD& kind : KINDS) {
        if (word == kind.word)
            return &kind;
    }
    return NULL;
}

size_t element_count(PGM_COMMON_XML_ELEMENT* root)
{
    size_t count = 0;
    std::vector<PGM_COMMON_XML_ELEMENT*> pending = {root};
    while (!pending.empty()) {
        PGM_COMMON_XML_ELEMENT* element = pending.back();
        pending.pop_back();
        ++count;
        pending.insert(pending.end(), element->childs.begin(), element->childs.end());
    }
    return count;
}

struct LOAD {
    std::string xsd, continue_conditions, skip_conditions, replacement, out;
    bool encoded = false;
};

int load(const std::string& file, const KIND_WORD& kind, const LOAD& options)
{
    pgmtool_check_input(file);
    if (!options.xsd.empty())
        pgmtool_check_input(options.xsd);
    if (PGM_COMMON_XML::get_family(kind.kind) == NULL)
        throw PGMTOOL_FAILURE(std::string("--kind=") + kind.word + ": " + kind.what +
                              " arrive with a later version of the library");
    std::unique_ptr<PGM_COMMON_XML_ELEMENT> root(static_cast<PGM_COMMON_XML_ELEMENT*>(
        PGM_COMMON_XML::parse_xml(kind.kind, file, options.xsd, options.encoded, options.continue_conditions,
                                  options.skip_conditions, options.replacement)));
    std::string name = PGM_COMMON_XML_UTIL::convert_enum_to_string(root->info.sub_class_type);
    stl_tolower(name);
    std::printf("%s: %s\n", name.c_str(), pgmtool_amount(element_count(root.get()), "element").c_str());
    if (!options.out.empty()) {
        PGM_COMMON_XML::write_xml(root.get(), options.out);
        std::printf("Written to %s\n", options.out.c_str());
    }
    return PGMTOOL_OK;
}

int check_schema(const std::string& file, const std::string& xsd)
{
    pgmtool_check_input(file);
    pgmtool_check_input(xsd);
    std::string errors, warnings;
    PGM_COMMON_XML::check_xsd(file, xsd, errors, warnings);
    std::fputs(errors.empty() ? warnings.c_str() : errors.c_str(), stdout);
    if (!errors.empty())
        throw PGMTOOL_FAILURE(file + " does not conform to " + xsd);
    std::printf("%s conforms to %s\n", file.c_str(), xsd.c_str());
    return PGMTOOL_OK;
}

int encode(const std::string& input, const std::string& output)
{
    pgmtool_check_input(input);
    std::string text;
    pgmtool_read_file_pieces(input, [&text](const BYTE* data, size_t size) {
        text.append(reinterpret_cast<const char*>(data), size);
    });
    std::vector<BYTE> sealed = pgm_xml_encode(text);
    pgmtool_write_output(output, sealed.data(), sealed.size());
    std::printf("%s encoded to %s\n", input.c_str(), output.c_str());
    return PGMTOOL_OK;
}

int usage_error(const std::string& text)
{
    PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "%s", text.c_str());
    PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_PLAIN, 0, "Run \"pgmtool xml --help\" for the arguments.");
    return PGMTOOL_USAGE_ERROR;
}

} // namespace

int pgmtool_xml(int argc, const char** argv)
{
    std::string kind_word, check_xsd, encode_to;
    LOAD options;
    PGMTOOL_ARGS args("xml", {"pgmtool xml FILE --kind=KIND [--xsd=XSD] [--continue=A|B] [--skip=C]",
                              "                 [--replace=NAME=VALUE|NAME=VALUE] [--out=OUT] [--encoded]",
                              "pgmtool xml FILE --check_xsd=XSD",
                              "pgmtool xml IN --encode=OUT",
                              "--kind loads FILE as a configuration file of KIND: fbgen, fuse_db, qspi, sdmmc or",
                              "pfg (only pfg in this version). Elements whose __if_continue__ names none of the",
                              "--continue words are dropped, then those whose __if_skip__ names one of the --skip",
                              "words; the tree is then validated against XSD when given. It prints the root's",
                              "name and the number of elements, and --out writes the tree as XML.",
                              "--check_xsd validates FILE against XSD and prints the parser's messages.",
                              "--encode writes the encoded form of IN, which --encoded reads."});
    args.text("kind", kind_word, "Kind of FILE: fbgen, fuse_db, qspi, sdmmc or pfg");
    args.text("xsd", options.xsd, "Validate the loaded tree against this schema");
    args.text("continue", options.continue_conditions, "Continue conditions, joined by |");
    args.text("skip", options.skip_conditions, "Skip conditions, joined by |");
    args.text("replace", options.replacement, "Keyword values NAME=VALUE, joined by |");
    args.text("out", options.out, "Write the loaded tree to this file");
    args.flag("encoded", options.encoded, "FILE is encoded");
    args.text("check_xsd", check_xsd, "Validate FILE against this schema");
    args.text("encode", encode_to, "Write the encoded form of FILE here");
    int parsed = args.parse(argc, argv, 1, 1);
    if (parsed >= 0)
        return parsed;
    const std::string& file = args.files()[0];
    bool load_options = !options.xsd.empty() || !options.continue_conditions.empty() ||
                        !options.skip_conditions.empty() || !options.replacement.empty() || !options.out.empty() ||
                        options.encoded;
    if (int(!kind_word.empty()) + int(!check_xsd.empty()) + int(!encode_to.empty()) != 1)
        return usage_error("xml needs one of --kind, --check_xsd and --encode");
    if (kind_word.empty() && load_options)
        return usage_error("--xsd, --continue, --skip, --replace, --out and --encoded go with --kind");
    if (!check_xsd.empty())
        return check_schema(file, check_xsd);
    if (!encode_to.empty())
        return encode(file, encode_to);
    const KIND_WORD* kind = find_kind(kind_word);
    if (kind == NULL)
        return usage_error("Unknown --kind=" + kind_word + ": expected fbgen, fuse_db, qspi, sdmmc or pfg");
    return load(file, *kind, options);
}
