// pgmtool xml: load an XML configuration file of a given kind (filtered by
// conditions, validated, written back), check a file against a schema, and
// write the encoded form of a file.
#include "pgmtool_frame.h"

#include "pgm/h/pgm_common_xml_export.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <memory>

namespace {

struct KIND_WORD {
    const char* word;
    PGM_COMMON_XML_FILE_ENUM kind;
};

const KIND_WORD KINDS[] = {
    {"fbgen", PGM_COMMON_XML_FILE_FBGEN_ASSEMBLER},
    {"fuse_db", PGM_COMMON_XML_FILE_FUSE_DB},
    {"qspi", PGM_COMMON_XML_FILE_GFPDB_QSPI},
    {"sdmmc", PGM_COMMON_XML_FILE_GFPDB_SDMMC},
    {"pfg", PGM_COMMON_XML_FILE_PFG},
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

// Checks of values come after what they are about ("element x, attribute y:").
const char* const NAME_RULE = "the value is no name of letters, digits and inner underscores, starting with a letter";
const PGMTOOL_CONTENT XML_FILE = {
    "XML configuration file",
    {{"!filestring.empty() && fail_reason == 0", "cannot be decoded: it is not an encoded file, or it is damaged"},
     {"string == \"OFF\" || string == \"0\" || string == \"false\"",
      "the value is not one of ON, OFF, 1, 0, true and false"},
     {"string.at(0) != '_' && !(string.at(0) >= '0' && string.at(0) <= '9')", NAME_RULE},
     {"string.at(string.size() - 1) != '_'", NAME_RULE},
     {"((*i) >= 'a' && (*i) <= 'z') || ((*i) >= 'A' && (*i) <= 'Z') || ((*i) >= '0' && (*i) <= '9') || ((*i) == '_')",
      NAME_RULE}}};

// The parser's messages ("Error at file "F", line L, column C" and an
// indented "Message: " line) told in the frame's form, about the file or
// the schema as the user named them.
void tell_schema_messages(const std::string& messages, const std::string& file, const std::string& xsd)
{
    // The tree written anew for validation is "job.xml (filtered)" or
    // "job.xml (as loaded)": named so, with the path the user gave.
    auto named = [&](const std::string& system_id) {
        for (const std::string& path : {file, xsd}) {
            const std::string name = FIO_PATH(path).filename();
            if (system_id == path || FIO_PATH(system_id).filename() == name)
                return path;
            if (!path.empty() && system_id.compare(0, name.size() + 2, name + " (") == 0)
                return path + system_id.substr(name.size());
        }
        return system_id;
    };
    if (messages.empty())
        return;
    std::vector<std::string> lines = PGM_COMMON::split_string(messages, "\n", false, false, DWORD(-1), {}, "", false);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& head = lines[i];
        size_t at = head.find(" at file \"");
        size_t quote = at == std::string::npos ? at : head.find("\", line ", at + 10);
        unsigned long line = 0, column = 0;
        bool parsed = quote != std::string::npos &&
                      std::sscanf(head.c_str() + quote, "\", line %lu, column %lu", &line, &column) == 2;
        if (!parsed) {
            if (!head.empty())
                pgmtool_diagnose(PGMTOOL_NOTE, "", 0, head);
            continue;
        }
        std::string text = i + 1 < lines.size() ? lines[i + 1] : "";
        size_t message = text.find("Message: ");
        if (message != std::string::npos) {
            text.erase(0, message + 9);
            ++i;
        }
        PGMTOOL_SEVERITY severity = head.compare(0, 7, "Warning") == 0 ? PGMTOOL_WARNING : PGMTOOL_ERROR;
        pgmtool_diagnose(severity, named(head.substr(at + 10, quote - at - 10)), long(line),
                         text + " (column " + std::to_string(column) + ")");
    }
}

int load(PGMTOOL_ARGS& args, const std::string& given, const KIND_WORD& kind, const LOAD& options)
{
    const std::string file = args.input(given);
    const std::string xsd = options.xsd.empty() ? "" : args.input(options.xsd);
    const std::string out = options.out.empty() ? "" : args.output(options.out);
    std::unique_ptr<PGM_COMMON_XML_ELEMENT> root;
    std::ostringstream parser_messages; // the parser writes them to std::cerr
    std::streambuf* cerr_buffer = std::cerr.rdbuf(parser_messages.rdbuf());
    try {
        pgmtool_reading(file, XML_FILE, [&] {
            root.reset(static_cast<PGM_COMMON_XML_ELEMENT*>(
                PGM_COMMON_XML::parse_xml(kind.kind, file, xsd, options.encoded, options.continue_conditions,
                                          options.skip_conditions, options.replacement)));
            return root != nullptr;
        });
    } catch (...) {
        std::cerr.rdbuf(cerr_buffer);
        tell_schema_messages(parser_messages.str(), file, xsd);
        throw;
    }
    std::cerr.rdbuf(cerr_buffer);
    tell_schema_messages(parser_messages.str(), file, xsd);
    std::string name = PGM_COMMON_XML_UTIL::convert_enum_to_string(root->info.sub_class_type);
    stl_tolower(name);
    args.summary("%s: %s", name.c_str(), pgmtool_amount(element_count(root.get()), "element").c_str());
    if (!out.empty()) {
        pgmtool_writing(out, "out.xml",
                        [&root](const std::string& path) { PGM_COMMON_XML::write_xml(root.get(), path); });
        args.summary("Written to %s", out == "-" ? "<stdout>" : out.c_str());
    }
    return PGMTOOL_OK;
}

// The family's schema, which the library carries, on standard output.
int print_schema(const KIND_WORD& kind)
{
    const PGM_COMMON_XML_FAMILY& family = *PGM_COMMON_XML::get_family(kind.kind);
    pgmtool_write_output("-", reinterpret_cast<const BYTE*>(family.xsd), std::strlen(family.xsd));
    return PGMTOOL_OK;
}

int check_schema(PGMTOOL_ARGS& args, const std::string& given, const std::string& given_xsd)
{
    const std::string file = args.input(given);
    const std::string xsd = args.input(given_xsd);
    std::string errors, warnings;
    pgmtool_reading(file, XML_FILE, [&] {
        PGM_COMMON_XML::check_xsd(file, xsd, errors, warnings);
        return true;
    });
    tell_schema_messages(errors.empty() ? warnings : errors, file, xsd);
    if (!errors.empty())
        throw PGMTOOL_FAILURE(file, "does not conform to " + given_xsd);
    args.summary("%s conforms to %s", given == "-" ? "<stdin>" : given.c_str(), given_xsd.c_str());
    return PGMTOOL_OK;
}

int encode(PGMTOOL_ARGS& args, const std::string& given, const std::string& given_output)
{
    const std::string& input = args.streamed_input(given);
    const std::string& output = args.output(given_output);
    std::string text;
    pgmtool_read_file_pieces(input, [&text](const BYTE* data, size_t size) {
        text.append(reinterpret_cast<const char*>(data), size);
    });
    std::vector<BYTE> sealed = pgm_xml_encode(text);
    pgmtool_write_output(output, sealed.data(), sealed.size());
    args.summary("%s encoded to %s", input == "-" ? "<stdin>" : input.c_str(),
                 output == "-" ? "<stdout>" : output.c_str());
    return PGMTOOL_OK;
}

} // namespace

int pgmtool_xml(int argc, const char** argv)
{
    std::string kind_word, check_xsd, encode_to;
    bool print_xsd = false;
    LOAD options;
    PGMTOOL_ARGS args("xml", {"xml FILE --kind=KIND [--xsd=XSD] [--continue=A|B] [--skip=C] [--replace=N=V|N=V]",
                              "    [--out=OUT] [--encoded]",
                              "xml FILE --check-xsd=XSD", "xml IN --encode=OUT", "xml --print-xsd --kind=KIND"},
                      {"--kind loads FILE as a configuration file of KIND (fbgen: firmware-bitstream assembler",
                       "descriptions, fuse_db: fuse databases, qspi and sdmmc: serial-flash and SD/MMC device",
                       "databases, pfg: programming-file generator jobs), drops the elements the conditions",
                       "exclude, validates the tree against XSD and prints the root's name and element count.",
                       "--print-xsd prints the XML Schema of KIND's files, which the library carries."},
                      "pgmtool xml job.xml --kind=pfg --continue=WITHOUT_GOLDEN --out=filtered.xml");
    args.text("kind", kind_word, "Kind of FILE: fbgen, fuse_db, qspi, sdmmc or pfg");
    args.text("xsd", options.xsd, "Validate the loaded tree against this schema");
    args.text("continue=A|B", options.continue_conditions, "Keep elements whose __if_continue__ names one of these");
    args.text("skip=C|D", options.skip_conditions, "Drop elements whose __if_skip__ names one of these");
    args.text("replace=N=V|N=V", options.replacement, "Keyword values to put in before loading");
    args.text("out", options.out, "Write the loaded tree to this file");
    args.flag("encoded", options.encoded, "FILE is encoded (by --encode)");
    args.text("check_xsd=XSD", check_xsd, "Validate FILE against this schema and print the parser's messages");
    args.text("encode=OUT", encode_to, "Write the encoded form of FILE here");
    args.flag("print_xsd", print_xsd, "Print the XML Schema of KIND's files (no FILE)");
    if (!args.parse(argc, argv, 0, 1))
        return PGMTOOL_OK;
    bool load_options = !options.xsd.empty() || !options.continue_conditions.empty() ||
                        !options.skip_conditions.empty() || !options.replacement.empty() || !options.out.empty() ||
                        options.encoded;
    if (int(!kind_word.empty()) + int(!check_xsd.empty()) + int(!encode_to.empty()) != 1)
        throw PGMTOOL_USAGE("xml needs one of --kind, --check-xsd and --encode");
    if (kind_word.empty() && (load_options || print_xsd))
        throw PGMTOOL_USAGE("--xsd, --continue, --skip, --replace, --out, --encoded and --print-xsd go with --kind");
    if (print_xsd && load_options)
        throw PGMTOOL_USAGE("--print-xsd takes no --xsd, --continue, --skip, --replace, --out or --encoded");
    if (print_xsd && !args.files().empty())
        throw PGMTOOL_USAGE("--print-xsd takes no FILE");
    if (!print_xsd && args.files().size() != 1)
        throw PGMTOOL_USAGE("xml takes 1 file argument, not " + std::to_string(args.files().size()));
    const KIND_WORD* kind = find_kind(kind_word);
    if (!kind_word.empty() && kind == NULL)
        throw PGMTOOL_USAGE("unknown --kind=" + kind_word + ": expected fbgen, fuse_db, qspi, sdmmc or pfg");
    if (print_xsd)
        return print_schema(*kind);
    const std::string& file = args.files()[0];
    if (!check_xsd.empty())
        return check_schema(args, file, check_xsd);
    if (!encode_to.empty())
        return encode(args, file, encode_to);
    return load(args, file, *kind, options);
}
