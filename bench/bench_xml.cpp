// Loading XML configuration files: a programming-file generator job of
// about 10 MB read by a plain Xerces DOM parse and by the library's loader
// (DOM, element objects, child counts) and written back as text, and the
// condition filter over one element with many children at three sizes, to
// show how it grows.
#include "h/pgm_common_xml_pfg_auto_export.h"
#include "pgm/h/pgm_common_export.h"
#include "pgm/h/pgm_common_xml_export.h"

#include <benchmark/benchmark.h>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

const DWORD JOB_ENTRIES = 41000; // raw files and as many partitions: about 10 MB

// The job file of this run, removed when it ends.
struct TEMP_FILE {
    std::string path;
    ~TEMP_FILE()
    {
        if (!path.empty())
            std::remove(path.c_str());
    }
};

std::string hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

// A job with many raw files and partitions, each attribute given.
const std::string& job_file()
{
    static TEMP_FILE file;
    if (!file.path.empty())
        return file.path;
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pfg version=\"1\">\n";
    text += "    <settings custom_db_dir=\"/opt/flash_db\" mode=\"AVSTX32\"/>\n    <raw_files>\n";
    for (DWORD i = 0; i < JOB_ENTRIES; ++i) {
        text += "        <raw_file bitswap=\"" + std::string(i % 2 ? "true" : "false") + "\" type=\"" +
                (i % 3 ? "HEX" : "RBF") + "\" id=\"Raw_File_" + std::to_string(i) + "\">images/block_" +
                std::to_string(i) + ".hex</raw_file>\n";
    }
    text += "    </raw_files>\n    <flash_devices>\n        <flash_loader>AGFB014R24B2E2V</flash_loader>\n";
    text += "        <flash_device type=\"MT25QU01G\" id=\"Flash_Device_1\">\n";
    for (DWORD i = 0; i < JOB_ENTRIES; ++i) {
        text += "            <partition reserved=\"false\" extra_space=\"" + std::to_string(i % 4096) +
                "\" fixed_s_addr=\"true\" s_addr=\"" + hex(i * 0x1000) + "\" e_addr=\"" + hex(i * 0x1000 + 0xFFF) +
                "\" id=\"P" + std::to_string(i) + "\" size=\"4096\"/>\n";
    }
    text += "        </flash_device>\n    </flash_devices>\n</pfg>\n";
    file.path = "/tmp/pgm_bench_" + std::to_string(getpid()) + "_job.xml";
    FILE* out = std::fopen(file.path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    return file.path;
}

long file_size(const std::string& path)
{
    FIO_STAT record;
    return FIO_FILE_SYSTEM::status(path, record) ? long(record.st_size) : 0;
}

void xerces_dom_parse(benchmark::State& state)
{
    static bool initialized = (XERCES_CPP_NAMESPACE::XMLPlatformUtils::Initialize(), true);
    benchmark::DoNotOptimize(initialized);
    const std::string& path = job_file();
    for (auto _ : state) {
        XERCES_CPP_NAMESPACE::XercesDOMParser parser;
        parser.setValidationScheme(XERCES_CPP_NAMESPACE::XercesDOMParser::Val_Never);
        parser.setDoNamespaces(false);
        parser.setDoSchema(false);
        parser.parse(path.c_str());
        benchmark::DoNotOptimize(parser.getDocument());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * file_size(path));
}

void parse_pfg_job(benchmark::State& state)
{
    const std::string& path = job_file();
    for (auto _ : state) {
        std::unique_ptr<PGM_COMMON_XML_ELEMENT> root(static_cast<PGM_COMMON_XML_ELEMENT*>(
            PGM_COMMON_XML::parse_xml(PGM_COMMON_XML_FILE_PFG, path, "", false, "", "", "")));
        benchmark::DoNotOptimize(root.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * file_size(path));
}

// Writing the loaded job back as text.
void write_pfg_job(benchmark::State& state)
{
    std::unique_ptr<PGM_COMMON_XML_ELEMENT> root(static_cast<PGM_COMMON_XML_ELEMENT*>(
        PGM_COMMON_XML::parse_xml(PGM_COMMON_XML_FILE_PFG, job_file(), "", false, "", "", "")));
    size_t size = 0;
    for (auto _ : state) {
        std::string text;
        PGM_COMMON_XML::write_xml_element(root.get(), text, "", false, false, false);
        size = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}

// A pfg root with one raw_files element of count raw_file children, every
// other one conditioned on "X".
PGM_COMMON_XML_ELEMENT* conditioned_tree(DWORD count)
{
    std::unique_ptr<PGM_COMMON_XML_PFG_PFG> root(new PGM_COMMON_XML_PFG_PFG());
    PGM_COMMON_XML_PFG_RAW_FILES* files = new PGM_COMMON_XML_PFG_RAW_FILES();
    root->add_child(files);
    for (DWORD i = 0; i < count; ++i) {
        std::unique_ptr<PGM_COMMON_XML_PFG_RAW_FILE> file(new PGM_COMMON_XML_PFG_RAW_FILE());
        if (i % 2)
            file->write_attribute_string("__if_continue__", "X");
        files->add_child(file.get());
        file.release();
    }
    return root.release();
}

void condition_filter(benchmark::State& state)
{
    const DWORD count = DWORD(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<PGM_COMMON_XML_ELEMENT> root(conditioned_tree(count));
        state.ResumeTiming();
        PGM_COMMON_XML_HELPER::update_if_condition(root.get(), "Y", "");
        benchmark::DoNotOptimize(root.get());
        state.PauseTiming();
        root.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * count);
}

} // namespace

BENCHMARK(xerces_dom_parse)->Unit(benchmark::kMillisecond);
BENCHMARK(parse_pfg_job)->Unit(benchmark::kMillisecond);
BENCHMARK(write_pfg_job)->Unit(benchmark::kMillisecond);
BENCHMARK(condition_filter)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);
