// ZIP archives: the records written, every reason an archive is refused
// for, appending, the format's limits, archives written by other tools
// (tests/data/zip) and pgmtool zip.
//   python_stored.zip, python_deflated.zip: Python zipfile, ZIP_STORED and
//     ZIP_DEFLATED, readme.txt ("hello\n") and dir/image.bin (tests/data/peer/image.bin)
//   python_backslash.zip: one member named "folder\sub\note.txt"
//   infozip_stored.zip: zip -0 -X of the same two files
//   infozip_folders.zip: zip -0 -X -r dir readme.txt (a folder entry "dir/")
//   infozip_comment.zip: zip -0 -X -z, with an archive comment
// All files dated 2024-03-15 10:20:30.
#include "test_support.h"

#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <utime.h>
#include <zlib.h>

struct PGM_COMMON_ZIP_TEST_ACCESS {
    static bool local_file_header(std::string& reason)
    {
        DWORD position = 0;
        const BYTE archive[4] = {0x50, 0x4B, 0x03, 0x04};
        return PGM_COMMON_ZIP::get_local_file_header(archive, 4, position, reason, NULL);
    }
};

namespace {

const std::string ZIP_DATA = PGM_SOURCE_DIR "/tests/data/zip/";
const WORD PEER_TIME = 10 * 2048 + 20 * 32 + 30 / 2;
const WORD PEER_DATE = (2024 - 1980) * 512 + 3 * 32 + 15;

PGM_COMMON_ZIP_FILE* member(const std::string& name, const std::string& bytes, WORD time = 0x5000,
                            WORD date = 0x5869)
{
    auto file = std::make_unique<PGM_COMMON_ZIP_FILE>();
    file->filename = name;
    file->time = time;
    file->date = date;
    if (!bytes.empty()) {
        file->data = new BYTE[bytes.size()];
        std::memcpy(file->data, bytes.data(), bytes.size());
        file->size = DWORD(bytes.size());
    }
    return file.release();
}

// Writes an archive of the members given as name and content pairs.
void write_archive(const std::string& path, const std::vector<std::pair<std::string, std::string>>& contents,
                   bool append = false)
{
    std::vector<PGM_COMMON_ZIP_FILE*> files;
    for (const auto& content : contents)
        files.push_back(member(content.first, content.second));
    PGM_COMMON_ZIP::add_files(files, path, append, true);
}

// The members of an archive as name and content pairs; the reason when it cannot be read.
std::vector<std::pair<std::string, std::string>> read_archive(const std::string& path, std::string* reason = NULL)
{
    PGM_COMMON_ZIP_FILE_LIST members;
    std::string why = PGM_COMMON_ZIP::get_files(path, members.list);
    if (reason)
        *reason = why;
    std::vector<std::pair<std::string, std::string>> contents;
    for (const PGM_COMMON_ZIP_FILE* file : members.list) {
        EXPECT_EQ(file->size == 0, file->data == NULL);
        contents.push_back({file->filename, std::string(reinterpret_cast<const char*>(file->data), file->size)});
    }
    return contents;
}

std::string reason_of(const std::string& archive_bytes)
{
    TEMP_DIR dir;
    write_file(dir.file("t.zip"), archive_bytes);
    std::string reason;
    auto contents = read_archive(dir.file("t.zip"), &reason);
    // Every archive made from small_archive() that can be read holds its one member.
    if (reason.empty())
        EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"a.txt", "abc"}}), contents);
    else
        EXPECT_TRUE(contents.empty());
    // A reason names the archive first.
    const std::string named = dir.file("t.zip") + ": ";
    if (!reason.empty() && reason.compare(0, 24, "Unable to open zip file ") != 0) {
        EXPECT_EQ(0u, reason.find(named)) << reason;
        reason.erase(0, named.size());
    }
    return reason;
}

DWORD le32(const std::string& bytes, size_t at)
{
    return PGM_COMMON::get_dword(reinterpret_cast<const BYTE*>(bytes.data() + at));
}

WORD le16(const std::string& bytes, size_t at)
{
    return WORD(BYTE(bytes[at]) | BYTE(bytes[at + 1]) << 8);
}

// The archive of one member "a.txt" holding "abc".
std::string small_archive()
{
    TEMP_DIR dir;
    write_archive(dir.file("a.zip"), {{"a.txt", "abc"}});
    return read_file(dir.file("a.zip"));
}

} // namespace

TEST(Zip, OneSmallMemberWritesTheRecordsAndReadsBack)
{
    const std::string zip = small_archive();
    ASSERT_EQ(111u, zip.size()); // 30 + 5 + 3, 46 + 5, 22
    const DWORD crc = DWORD(crc32(0, reinterpret_cast<const Bytef*>("abc"), 3));
    // Local header.
    EXPECT_EQ(0x04034B50u, le32(zip, 0));
    EXPECT_EQ(10, le16(zip, 4));
    EXPECT_EQ(0, le16(zip, 6) | le16(zip, 8));
    EXPECT_EQ(0x5000, le16(zip, 10));
    EXPECT_EQ(0x5869, le16(zip, 12));
    EXPECT_EQ(crc, le32(zip, 14));
    EXPECT_EQ(3u, le32(zip, 18));
    EXPECT_EQ(3u, le32(zip, 22));
    EXPECT_EQ(5, le16(zip, 26));
    EXPECT_EQ(0, le16(zip, 28));
    EXPECT_EQ("a.txtabc", zip.substr(30, 8));
    // Central directory header.
    EXPECT_EQ(0x02014B50u, le32(zip, 38));
    EXPECT_EQ(30, le16(zip, 42));
    EXPECT_EQ(10, le16(zip, 44));
    EXPECT_EQ(crc, le32(zip, 54));
    EXPECT_EQ(0u, le32(zip, 80)); // offset of the local header
    EXPECT_EQ("a.txt", zip.substr(84, 5));
    // End of central directory.
    EXPECT_EQ(0x06054B50u, le32(zip, 89));
    EXPECT_EQ(1, le16(zip, 97));
    EXPECT_EQ(1, le16(zip, 99));
    EXPECT_EQ(51u, le32(zip, 101));
    EXPECT_EQ(38u, le32(zip, 105));
    EXPECT_EQ(0, le16(zip, 109));

    TEMP_DIR dir;
    write_file(dir.file("a.zip"), zip);
    PGM_COMMON_ZIP_FILE_LIST members;
    ASSERT_EQ("", PGM_COMMON_ZIP::get_files(dir.file("a.zip"), members.list));
    ASSERT_EQ(1u, members.list.size());
    const PGM_COMMON_ZIP_FILE& file = *members.list[0];
    EXPECT_EQ("a.txt", file.filename);
    EXPECT_EQ("abc", std::string(reinterpret_cast<const char*>(file.data), file.size));
    EXPECT_EQ(0x5000, file.time);
    EXPECT_EQ(0x5869, file.date);

    PGM_COMMON_ZIP_FILE wanted;
    wanted.filename = "a.txt";
    EXPECT_EQ("", PGM_COMMON_ZIP::get_file(dir.file("a.zip"), wanted));
    EXPECT_EQ("abc", std::string(reinterpret_cast<const char*>(wanted.data), wanted.size));
    EXPECT_EQ(0, wanted.time); // not copied
}

TEST(Zip, EveryReasonAnArchiveIsRefusedFor)
{
    const std::string zip = small_archive();
    auto patched = [&](size_t at, char value) {
        std::string bytes = zip;
        bytes[at] = value;
        return bytes;
    };
    auto inserted = [&](size_t at, const std::string& bytes) { return zip.substr(0, at) + bytes + zip.substr(at); };
    const std::string zip64_locator = std::string("PK\x06\x07", 4) + std::string(16, '\0');
    const struct {
        std::string bytes;
        const char* reason;
    } cases[] = {
        {zip.substr(0, 100), "Incorrect input zip file size"},
        {zip.substr(0, 36), "Incorrect input zip file size"},
        {"abc", "Incorrect input zip file size"},
        {zip + "x", "ZIP file is missing data"},
        {zip.substr(89), "ZIP file is missing data"}, // no member
        {patched(8, 8), "Compression is not supported"},
        {patched(18, 4), "Compress and uncompress data size are mismatch"},
        {patched(6, 1), "Encryption is not supported"},
        {patched(38, 0), "Unable to locate central directory signature"},
        {patched(89, 0), "Unable to locate end of central directory signature"},
        {"hello", "Unable to locate end of central directory signature"},
        {patched(35, 'x'), "ZIP data is corrupted"},
        {patched(50, 1), "Local file field info and central directory field info are mismatch"},
        {patched(84, 'b'), "Local file field info and central directory field info are mismatch"},
        {inserted(89, std::string("PK\x06\x06", 4) + std::string(52, '\0')),
         "ZIP64 End Of Central Directory Record is not supported"},
        // End records and central headers that point elsewhere than the
        // records read, which other tools would follow.
        {patched(97, 2), "ZIP file end of central directory entry counts do not match the central directory"},
        {patched(99, 0), "ZIP file end of central directory entry counts do not match the central directory"},
        {patched(101, 50), "ZIP file end of central directory offset or size does not match the central directory"},
        {patched(105, 37), "ZIP file end of central directory offset or size does not match the central directory"},
        {patched(80, 1), "ZIP file central directory local header offset does not match the local file header"},
        // A record whose length runs past the end.
        {inserted(89, std::string("PK\x05\x05\xFF\xFF", 6)), "Incorrect input zip file size"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.reason, reason_of(c.bytes)) << c.reason;

    // Records that are read and passed over; those in front of the central
    // directory move it, which its end record then tells.
    auto directory_moved = [](std::string bytes, DWORD by) {
        const size_t field = bytes.size() - 6;
        const DWORD offset = le32(bytes, field) + by;
        for (size_t i = 0; i < 4; ++i)
            bytes[field + i] = char(offset >> (8 * i));
        return bytes;
    };
    EXPECT_EQ("", reason_of(inserted(89, zip64_locator)));
    EXPECT_EQ("", reason_of(inserted(89, std::string("PK\x05\x05\x02\x00sg", 8))));
    EXPECT_EQ("", reason_of(directory_moved(inserted(38, std::string("PK\x06\x08\x03\x00\x00\x00xyz", 11)), 11)));
    // Data descriptors after the data, with and without their signature.
    std::string described = patched(6, 8);
    described[46] = 8;
    const std::string descriptor = zip.substr(14, 12);
    const std::string front = described.substr(0, 38), back = described.substr(38);
    EXPECT_EQ("", reason_of(directory_moved(front + "PK\x07\x08" + descriptor + back, 16)));
    EXPECT_EQ("", reason_of(directory_moved(front + descriptor + back, 12)));

    TEMP_DIR dir;
    write_file(dir.file("empty.zip"), "");
    PGM_COMMON_ZIP_FILE_LIST members;
    members.list.push_back(member("kept", "1"));
    EXPECT_EQ("Unable to open zip file " + dir.file("empty.zip") + " or zip file empty",
              PGM_COMMON_ZIP::get_files(dir.file("empty.zip"), members.list));
    EXPECT_EQ("Unable to open zip file " + dir.file("none.zip") + " or zip file empty",
              PGM_COMMON_ZIP::get_files(dir.file("none.zip"), members.list));
    EXPECT_EQ("Unable to open zip file " + dir.path() + " or zip file empty",
              PGM_COMMON_ZIP::get_files(dir.path(), members.list));
    write_file(dir.file("empty.gz"), std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03\x03\0\0\0\0\0\0\0\0\0", 20));
    EXPECT_EQ("Unable to open zip file " + dir.file("empty.gz") + " or zip file empty",
              PGM_COMMON_ZIP::get_files(dir.file("empty.gz"), members.list));
    write_file(dir.file("bad.zip"), zip + "x");
    EXPECT_EQ(dir.file("bad.zip") + ": ZIP file is missing data",
              PGM_COMMON_ZIP::get_files(dir.file("bad.zip"), members.list));
    EXPECT_EQ(1u, members.list.size()); // a failed read appends nothing

    write_file(dir.file("a.zip"), zip);
    PGM_COMMON_ZIP_FILE wanted;
    wanted.filename = "b.txt";
    EXPECT_EQ(dir.file("a.zip") + ": Unable to locate file name: b.txt",
              PGM_COMMON_ZIP::get_file(dir.file("a.zip"), wanted));
    EXPECT_EQ(dir.file("bad.zip") + ": ZIP file is missing data",
              PGM_COMMON_ZIP::get_file(dir.file("bad.zip"), wanted));
    EXPECT_EQ(0u, wanted.size);
}

TEST(Zip, MisuseIsAnInternalError)
{
    TEMP_DIR dir;
    std::vector<PGM_COMMON_ZIP_FILE*> none;
    EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP::add_files(none, dir.file("a.zip"), false, true), "files.size()");
    EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP::add_files(std::vector<std::string>{}, dir.file("a.zip"), false),
                          "filenames.size()");
    PGM_COMMON_ZIP_FILE_LIST members;
    members.list.push_back(member("a", "1"));
    EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP::add_files(members.list, dir.file("a.zip.txt"), false, false),
                          "PGM_COMMON::match_extension(output, {\".zip\"})");
    EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP::add_files({dir.file("missing.bin")}, dir.file("a.zip"), false),
                          "File " + dir.file("missing.bin") + " does not exist or status is bad");
    EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP::add_files(members.list, dir.file("no/such/folder/a.zip"), false, false),
                          "output_file.good()");
    EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP_FILE("a", 0, NULL, 0, 0), "t2 > 0 && t3 != NULL");
    PGM_COMMON_ZIP_FILE unnamed;
    EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP::get_file(dir.file("a.zip"), unnamed),
                          "!file.filename.empty() && file.size == 0 && file.data == NULL");
    std::string reason;
    EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP_TEST_ACCESS::local_file_header(reason), "local_file != NULL");
    reason = "earlier";
    EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP_TEST_ACCESS::local_file_header(reason), "failed_reason.empty()");
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.zip")));
}

TEST(Zip, AppendingReplacesMembersOfTheSameName)
{
    TEMP_DIR dir;
    const std::string zip = dir.file("a.zip");
    write_archive(zip, {{"a", "old a"}, {"b", "old b"}, {"c", "old c"}});
    write_archive(zip, {{"b", "new b"}, {"d", ""}}, true);
    using CONTENTS = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ((CONTENTS{{"a", "old a"}, {"c", "old c"}, {"b", "new b"}, {"d", ""}}), read_archive(zip));
    // Without append the archive is replaced.
    write_archive(zip, {{"e", "e"}});
    EXPECT_EQ((CONTENTS{{"e", "e"}}), read_archive(zip));
    // An old file that is not an archive contributes nothing.
    write_file(zip, "not an archive");
    write_archive(zip, {{"f", "f"}}, true);
    EXPECT_EQ((CONTENTS{{"f", "f"}}), read_archive(zip));
    // A member of size 0 is written with CRC 0 and no data.
    write_archive(zip, {{"empty", ""}});
    const std::string bytes = read_file(zip);
    EXPECT_EQ(30u + 5 + 46 + 5 + 22, bytes.size());
    EXPECT_EQ(0u, le32(bytes, 14));
}

TEST(Zip, AppendingToADamagedArchiveKeepsIt)
{
    TEMP_DIR dir;
    const std::string zip = dir.file("a.zip");
    write_file(dir.file("new.txt"), "new");
    const std::string stored = read_file(ZIP_DATA + "python_stored.zip");
    const struct {
        std::string bytes;
        const char* reason;
    } damaged[] = {
        {read_file(ZIP_DATA + "python_deflated.zip"), "Compression is not supported"},
        {stored.substr(0, stored.size() - 1), "Incorrect input zip file size"},
        {"text, then " + stored, "Unable to locate end of central directory signature"},
    };
    for (const auto& d : damaged) {
        const std::string expected = "Cannot append to ZIP archive " + zip + ", which cannot be read: " + d.reason;
        write_file(zip, d.bytes);
        PGM_COMMON_ZIP_FILE_LIST members;
        members.list.push_back(member("new.txt", "new"));
        EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP::add_files(members.list, zip, true, false), expected);
        EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP::add_files({dir.file("new.txt")}, zip, true), expected);
        EXPECT_EQ(d.bytes, read_file(zip)) << d.reason;
        EXPECT_EQ(2u, std::distance(std::filesystem::directory_iterator(dir.path()), {}));
        EXPECT_FALSE(PGM_COMMON_ZIP::is_not_archive(zip)) << d.reason;
    }
    // A file without any ZIP record is no archive: it is replaced.
    for (const char* text : {"", "PK is not a signature"}) {
        write_file(zip, text);
        EXPECT_TRUE(PGM_COMMON_ZIP::is_not_archive(zip)) << text;
        write_archive(zip, {{"n", "n"}}, true);
        EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"n", "n"}}), read_archive(zip));
    }
    EXPECT_FALSE(PGM_COMMON_ZIP::is_not_archive(zip));
    // A signature across two of the pieces the file is read in.
    write_file(zip, std::string(PGM_COMMON::BUFFER_SIZE - 2, 'x') + "PK\x05\x06");
    EXPECT_FALSE(PGM_COMMON_ZIP::is_not_archive(zip));
    EXPECT_FALSE(PGM_COMMON_ZIP::is_not_archive(dir.path())); // cannot be read
    EXPECT_FALSE(PGM_COMMON_ZIP::is_not_archive(dir.file("missing.zip")));
}

TEST(Zip, ArchivesBeyondTheFormatAreRefusedAndTheOldOneKept)
{
    TEMP_DIR dir;
    const std::string zip = dir.file("a.zip");
    write_archive(zip, {{"kept", "kept"}});
    const std::string old = read_file(zip);

    PGM_COMMON_ZIP_FILE_LIST many;
    for (int i = 0; i < 65536; ++i)
        many.list.push_back(member(std::to_string(i), ""));
    EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP::add_files(many.list, zip, true, false),
                          "ZIP archive " + zip + " would hold 65537 members, more than the 65535 the format can count");
    PGM_COMMON_ZIP_FILE_LIST long_name;
    long_name.list.push_back(member(std::string(65536, 'n'), "x"));
    EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP::add_files(long_name.list, zip, false, false),
                          "ZIP member name of 65536 bytes is longer than the 65535 bytes the format can hold: " +
                              std::string(60, 'n') + "...");
    // Sizes are checked before any byte of the data is read.
    PGM_COMMON_ZIP_FILE_LIST huge;
    for (const char* name : {"h1", "h2"}) {
        huge.list.push_back(member(name, "x"));
        huge.list.back()->size = 0x80000000;
    }
    EXPECT_INTERNAL_ERROR(PGM_COMMON_ZIP::add_files(huge.list, zip, false, false),
                          "ZIP archive " + zip + " would be 4294967478 bytes, more than the 4 GiB the format can address");
    for (PGM_COMMON_ZIP_FILE* file : huge.list)
        file->size = 1;
    EXPECT_EQ(old, read_file(zip));
    EXPECT_EQ(1u, std::distance(std::filesystem::directory_iterator(dir.path()), {}));

    // 65535 members fit.
    while (many.list.size() > 65535 - 1) {
        delete many.list.back();
        many.list.pop_back();
    }
    PGM_COMMON_ZIP::add_files(many.list, zip, true, false);
    EXPECT_EQ(65535u, read_archive(zip).size());
}

TEST(Zip, FilesAreStoredAsOnDiskWithTheirTimes)
{
    TEMP_DIR dir;
    // A gzip file is stored compressed, as it is.
    const std::string gz = dir.file("data.gz");
    {
        gzFile out = gzopen(gz.c_str(), "wb");
        gzputs(out, "compressed text\n");
        gzclose(out);
    }
    write_file(dir.file("plain.txt"), "plain");
    write_file(dir.file("empty.txt"), "");
    struct {
        const char* name;
        int year, month, day, hour, minute, second;
        WORD time, date;
    } const stamps[] = {
        {"data.gz", 2024, 3, 15, 10, 20, 31, PEER_TIME, PEER_DATE},
        {"plain.txt", 1979, 6, 1, 12, 0, 0, 0, 1 * 32 + 1},                             // before 1980
        {"empty.txt", 2150, 1, 1, 0, 0, 0, 23 * 2048 + 59 * 32 + 29, 127 * 512 + 12 * 32 + 31}, // after 2107
    };
    std::vector<std::string> paths;
    for (const auto& s : stamps) {
        std::tm local{};
        local.tm_year = s.year - 1900;
        local.tm_mon = s.month - 1;
        local.tm_mday = s.day;
        local.tm_hour = s.hour;
        local.tm_min = s.minute;
        local.tm_sec = s.second;
        local.tm_isdst = -1;
        struct utimbuf times = {std::mktime(&local), std::mktime(&local)};
        ASSERT_EQ(0, utime(dir.file(s.name).c_str(), &times));
        paths.push_back(dir.file(s.name));
    }
    const std::string zip = dir.file("files.zip");
    PGM_COMMON_ZIP::add_files(paths, zip, false);
    PGM_COMMON_ZIP_FILE_LIST members;
    ASSERT_EQ("", PGM_COMMON_ZIP::get_files(zip, members.list));
    ASSERT_EQ(3u, members.list.size());
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(paths[i], members.list[i]->filename);
        EXPECT_EQ(read_file(paths[i]), std::string(reinterpret_cast<const char*>(members.list[i]->data),
                                                   members.list[i]->size));
        EXPECT_EQ(stamps[i].time, members.list[i]->time) << stamps[i].name;
        EXPECT_EQ(stamps[i].date, members.list[i]->date) << stamps[i].name;
    }
    // A file whose status tells no size is read to its end.
    PGM_COMMON_ZIP::add_files({"/proc/self/status"}, zip, false);
    const auto status = read_archive(zip);
    ASSERT_EQ(1u, status.size());
    EXPECT_EQ("/proc/self/status", status[0].first);
    EXPECT_EQ("Name:", status[0].second.substr(0, 5));
    EXPECT_NE(std::string::npos, status[0].second.find("\nPid:"));
}

TEST(Zip, ArchivesOfOtherTools)
{
    const std::string image = read_file(PGM_SOURCE_DIR "/tests/data/peer/image.bin");
    using CONTENTS = std::vector<std::pair<std::string, std::string>>;
    const CONTENTS two = {{"readme.txt", "hello\n"}, {"dir/image.bin", image}};
    // infozip_plain.zip is plain "zip -0": its local and central headers hold
    // extra fields of different lengths, which the format allows.
    for (const char* name : {"python_stored.zip", "infozip_stored.zip", "infozip_plain.zip"}) {
        EXPECT_EQ(two, read_archive(ZIP_DATA + name)) << name;
        PGM_COMMON_ZIP_FILE_LIST members;
        ASSERT_EQ("", PGM_COMMON_ZIP::get_files(ZIP_DATA + name, members.list));
        EXPECT_EQ(PEER_TIME, members.list[1]->time);
        EXPECT_EQ(PEER_DATE, members.list[1]->date);
    }
    EXPECT_EQ((CONTENTS{{"dir/", ""}, {"dir/image.bin", image}, {"readme.txt", "hello\n"}}),
              read_archive(ZIP_DATA + "infozip_folders.zip"));
    EXPECT_EQ((CONTENTS{{"readme.txt", "hello\n"}}), read_archive(ZIP_DATA + "infozip_comment.zip"));
    std::string reason;
    read_archive(ZIP_DATA + "python_deflated.zip", &reason);
    EXPECT_EQ(ZIP_DATA + "python_deflated.zip: Compression is not supported", reason);

    // Backslashes in stored and in wanted names are folder slashes.
    EXPECT_EQ((CONTENTS{{"folder/sub/note.txt", "backslash name\n"}}), read_archive(ZIP_DATA + "python_backslash.zip"));
    PGM_COMMON_ZIP_FILE wanted;
    wanted.filename = "dir\\image.bin";
    EXPECT_EQ("", PGM_COMMON_ZIP::get_file(ZIP_DATA + "infozip_stored.zip", wanted));
    EXPECT_EQ(image, std::string(reinterpret_cast<const char*>(wanted.data), wanted.size));
}

TEST(Zip, CentralDirectoryListsAndTestsEveryMethod)
{
    struct CASE {
        const char* archive;
        WORD method; // of both members
    };
    for (const CASE& c : {CASE{"python_stored.zip", 0}, CASE{"infozip_plain.zip", 0}, CASE{"python_deflated.zip", 8}}) {
        std::vector<PGM_COMMON_ZIP_ENTRY> entries;
        ASSERT_EQ("", PGM_COMMON_ZIP::list_files(ZIP_DATA + c.archive, entries)) << c.archive;
        ASSERT_EQ(2u, entries.size());
        EXPECT_EQ("readme.txt", entries[0].filename);
        EXPECT_EQ("dir/image.bin", entries[1].filename);
        EXPECT_EQ(6u, entries[0].size);
        EXPECT_EQ(3000u, entries[1].size);
        EXPECT_EQ(0x363A3020u, entries[0].crc);
        EXPECT_EQ(0xC9830904u, entries[1].crc);
        EXPECT_EQ(PEER_DATE, entries[1].date);
        for (const PGM_COMMON_ZIP_ENTRY& entry : entries) {
            EXPECT_EQ(c.method, entry.method) << c.archive;
            EXPECT_EQ("", PGM_COMMON_ZIP::test_file(ZIP_DATA + c.archive, entry)) << c.archive;
        }
    }

    TEMP_DIR dir;
    const std::string deflated = read_file(ZIP_DATA + "python_deflated.zip");
    std::vector<PGM_COMMON_ZIP_ENTRY> entries;
    ASSERT_EQ("", PGM_COMMON_ZIP::list_files(ZIP_DATA + "python_deflated.zip", entries));
    const size_t image_data = entries[1].local_header_offset + 30 + entries[1].filename.size();
    struct DAMAGE {
        size_t at;
        const char* reason;
    };
    for (const DAMAGE& d : {DAMAGE{image_data + 1000, "Member dir/image.bin is damaged: its CRC-32 does not match"},
                            DAMAGE{image_data, "Member dir/image.bin is damaged: its data cannot be read whole"},
                            DAMAGE{entries[1].local_header_offset, "Member dir/image.bin has no local file header "
                                                                   "where the central directory places it"}}) {
        std::string damaged = deflated;
        damaged[d.at] = char(damaged[d.at] ^ 0x55);
        write_file(dir.file("damaged.zip"), damaged);
        EXPECT_EQ(dir.file("damaged.zip") + ": " + d.reason,
                  PGM_COMMON_ZIP::test_file(dir.file("damaged.zip"), entries[1]));
    }
    PGM_COMMON_ZIP_ENTRY other = entries[0];
    other.method = 12;
    EXPECT_EQ(ZIP_DATA + "python_deflated.zip: Member readme.txt is compressed with method 12, which is not "
                         "supported",
              PGM_COMMON_ZIP::test_file(ZIP_DATA + "python_deflated.zip", other));
    other.flags = 1;
    EXPECT_EQ(ZIP_DATA + "python_deflated.zip: Member readme.txt is encrypted, which is not supported",
              PGM_COMMON_ZIP::test_file(ZIP_DATA + "python_deflated.zip", other));

    // The directory alone is read: an archive whose members are cut away
    // still lists, while one without its end record does not.
    std::vector<PGM_COMMON_ZIP_ENTRY> none;
    write_file(dir.file("cut.zip"), deflated.substr(0, deflated.size() - 1));
    EXPECT_EQ(dir.file("cut.zip") + ": Unable to locate end of central directory signature",
              PGM_COMMON_ZIP::list_files(dir.file("cut.zip"), none));
    std::string counted = deflated;
    counted[counted.size() - 12] = 3; // total entries
    write_file(dir.file("counted.zip"), counted);
    EXPECT_EQ(dir.file("counted.zip") + ": ZIP file end of central directory entry counts do not match the central "
                                         "directory",
              PGM_COMMON_ZIP::list_files(dir.file("counted.zip"), none));
    EXPECT_EQ("Unable to open zip file " + dir.file("none.zip") + " or zip file empty",
              PGM_COMMON_ZIP::list_files(dir.file("none.zip"), none));
    EXPECT_TRUE(none.empty());
}

TEST(Zip, OtherToolsReadOurArchives)
{
    TEMP_DIR dir;
    const std::string image = read_file(PGM_SOURCE_DIR "/tests/data/peer/image.bin");
    const std::vector<std::pair<std::string, std::string>> contents = {
        {"readme.txt", "hello\n"}, {"image.bin", image}, {"empty", ""}};
    for (const auto& content : contents)
        write_file(dir.file(content.first), content.second);
    write_archive(dir.file("ours.zip"), contents);
    RUN_RESULT tested = run_command("unzip -t " + dir.file("ours.zip"));
    EXPECT_EQ(0, tested.exit_code) << tested.output;
    EXPECT_NE(std::string::npos, tested.output.find("No errors detected"));
    // Python's zipfile: every member stored, with the bytes of its file.
    RUN_RESULT listed = run_command("cd " + dir.path() +
                                    " && python3 -c \"import zipfile\n"
                                    "z = zipfile.ZipFile('ours.zip')\n"
                                    "assert z.testzip() is None\n"
                                    "for i in z.infolist(): print(i.filename, i.file_size, i.compress_type, "
                                    "z.read(i) == open(i.filename, 'rb').read())\"");
    EXPECT_EQ(0, listed.exit_code) << listed.output;
    EXPECT_EQ("readme.txt 6 0 True\nimage.bin 3000 0 True\nempty 0 0 True\n", listed.output);
}

TEST(ZipTool, CreateListAppendAndExtract)
{
    TEMP_DIR dir;
    std::filesystem::create_directories(dir.file("src/sub"));
    write_file(dir.file("src/a.txt"), "abc");
    write_file(dir.file("src/sub/b.bin"), std::string("\0\1\2", 3));
    write_file(dir.file("src/empty"), "");
    RUN_RESULT created = run_pgmtool("zip --create out.zip src/a.txt src/sub/b.bin", dir.path());
    EXPECT_EQ(0, created.exit_code) << created.output;
    EXPECT_EQ("out.zip written with 2 members\n", created.output);
    created = run_pgmtool("zip --create out.zip src/empty src/a.txt --append", dir.path());
    EXPECT_EQ("out.zip updated with 2 members\n", created.output);
    RUN_RESULT listed = run_pgmtool("zip --list out.zip", dir.path());
    EXPECT_EQ(0, listed.exit_code);
    std::istringstream rows(listed.output);
    std::string undated; // the rows without the members' dates and times, which are the files' own
    for (std::string row; std::getline(rows, row);)
        undated += row.erase(45, 22) + "\n";
    EXPECT_EQ("    Length  Method     Compressed  CRC-32    Name\n"
              "----------  ---------  ----------  --------  ----\n"
              "         3  stored              3  0854897f  src/sub/b.bin\n"
              "         0  stored              0  00000000  src/empty\n"
              "         3  stored              3  352441c2  src/a.txt\n"
              "----------             ----------            ----\n"
              "         6                      6            3 members\n",
              undated);
    RUN_RESULT extracted = run_pgmtool("zip --extract out.zip --dir=out/here", dir.path());
    EXPECT_EQ(0, extracted.exit_code) << extracted.output;
    EXPECT_EQ("3 members extracted to out/here\n", extracted.output);
    for (const char* name : {"src/a.txt", "src/sub/b.bin", "src/empty"})
        EXPECT_EQ(read_file(dir.file(name)), read_file(dir.file(std::string("out/here/") + name))) << name;

    for (const char* wrong : {"out.zip", "--create out.zip", "--extract out.zip", "--create out.jar src/a.txt"})
        EXPECT_EQ(1, run_pgmtool(std::string("zip ") + wrong, dir.path()).exit_code) << wrong;
    EXPECT_EQ(0, run_pgmtool("zip --help", dir.path()).exit_code);
    write_file(dir.file("bad.zip"), small_archive() + "x");
    RUN_RESULT wrong = run_pgmtool("zip --list bad.zip", dir.path());
    EXPECT_EQ(2, wrong.exit_code);
    EXPECT_EQ("bad.zip: error: Unable to locate end of central directory signature\n", wrong.error);
    wrong = run_pgmtool("zip --test - < bad.zip", dir.path());
    EXPECT_EQ("<stdin>: error: Unable to locate end of central directory signature\n", wrong.error);
    wrong = run_pgmtool("zip --extract bad.zip --dir=x", dir.path());
    EXPECT_EQ("bad.zip: error: ZIP file is missing data\n", wrong.error);
}

namespace {

// The rows of unzip -v: length, method, compressed size, CRC-32, date,
// time to the minute, name.
std::vector<std::string> unzip_rows(const std::string& listing)
{
    std::istringstream lines(listing);
    std::vector<std::string> rows;
    int rules = 0;
    for (std::string line; std::getline(lines, line) && rules < 2;) {
        if (line.compare(0, 8, "--------") == 0) {
            ++rules;
        } else if (rules == 1) {
            std::istringstream words(line);
            std::string length, method, size, ratio, date, time, crc, name;
            words >> length >> method >> size >> ratio >> date >> time >> crc >> name;
            method = method == "Stored" ? "stored" : method == "Defl:N" ? "deflated" : method;
            rows.push_back(length + " " + method + " " + size + " " + crc + " " + date + " " + time + " " + name);
        }
    }
    return rows;
}

// The same of our listing.
std::vector<std::string> our_rows(const std::string& listing)
{
    std::istringstream lines(listing);
    std::vector<std::string> rows;
    int rules = 0;
    for (std::string line; std::getline(lines, line) && rules < 2;) {
        if (line.compare(0, 10, "----------") == 0) {
            ++rules;
        } else if (rules == 1) {
            std::istringstream words(line);
            std::string length, method, size, crc, date, time, name;
            words >> length >> method >> size >> crc >> date >> time >> name;
            rows.push_back(length + " " + method + " " + size + " " + crc + " " + date + " " + time.substr(0, 5) +
                           " " + name);
        }
    }
    return rows;
}

} // namespace

TEST(ZipTool, ListAndTestArchivesOfEveryMethod)
{
    // infozip_deflated.zip: zip of readme.txt (stored) and dir/lines.txt
    // (deflated); infozip_streamed.zip: the same through a pipe (zip - ... |
    // cat), each member deflated with its sizes in a data descriptor.
    for (const char* name : {"python_stored.zip", "python_deflated.zip", "infozip_plain.zip", "infozip_folders.zip",
                             "infozip_deflated.zip", "infozip_streamed.zip"}) {
        const std::string archive = ZIP_DATA + name;
        RUN_RESULT listed = run_pgmtool("zip --list " + archive);
        EXPECT_EQ(0, listed.exit_code) << name;
        std::vector<std::string> rows = our_rows(listed.output);
        EXPECT_EQ(unzip_rows(run_command("unzip -v " + archive).output), rows) << name;
        std::string tested;
        for (const std::string& row : rows) {
            std::string member = row.substr(row.rfind(' ') + 1);
            tested += "    testing: " + member + std::string(std::max<size_t>(member.size(), 24) - member.size(), ' ') +
                      "  OK\n";
        }
        expect_pgmtool({{"zip --test " + archive, 0, tested + "No errors detected in compressed data of " + archive +
                                                        ".\n", ""}});
    }
    EXPECT_EQ("    Length  Method     Compressed  CRC-32    Date        Time      Name\n"
              "----------  ---------  ----------  --------  ----------  --------  ----\n"
              "         6  deflated            8  363a3020  2024-03-15  10:20:30  readme.txt\n"
              "      3000  deflated         3005  c9830904  2024-03-15  10:20:30  dir/image.bin\n"
              "----------             ----------                                  ----\n"
              "      3006                   3013                                  2 members\n",
              run_pgmtool("zip --list " + ZIP_DATA + "python_deflated.zip").output);

    // A damaged member fails the test; members extraction cannot write are
    // named with their method.
    TEMP_DIR dir;
    std::string deflated = read_file(ZIP_DATA + "python_deflated.zip");
    std::string damaged = deflated;
    damaged[1500] = char(damaged[1500] ^ 0x55);
    write_file(dir.file("damaged.zip"), damaged);
    std::string stored = read_file(ZIP_DATA + "python_stored.zip");
    const size_t central = stored.find("PK\1\2");
    std::string other = stored, encrypted = stored;
    other[central + 10] = 12;
    other[8] = 12; // the local header's method
    encrypted[central + 8] = 1;
    encrypted[6] = 1;
    write_file(dir.file("other.zip"), other);
    write_file(dir.file("encrypted.zip"), encrypted);
    write_file(dir.file("deflated.zip"), deflated);
    expect_pgmtool(
        {{"zip --test damaged.zip", 2,
          "    testing: readme.txt                OK\n    testing: dir/image.bin             bad\n",
          "damaged.zip: error: Member dir/image.bin is damaged: its CRC-32 does not match\n"
          "damaged.zip: error: 1 of 2 members failed the test\n"},
         {"zip --test other.zip", 2,
          "    testing: readme.txt                bad\n    testing: dir/image.bin             OK\n",
          "other.zip: error: Member readme.txt is compressed with method 12, which is not supported\n"
          "other.zip: error: 1 of 2 members failed the test\n"},
         {"zip --extract deflated.zip --dir=out", 2, "",
          "deflated.zip: error: member \"readme.txt\" is deflated (method 8), which this version extracts only "
          "when stored; nothing extracted\n"},
         {"zip --extract other.zip --dir=out", 2, "",
          "other.zip: error: member \"readme.txt\" is compressed with method 12, which this version cannot "
          "extract; nothing extracted\n"},
         {"zip --extract encrypted.zip --dir=out", 2, "",
          "encrypted.zip: error: member \"readme.txt\" is encrypted, which this version cannot extract; nothing "
          "extracted\n"}},
        dir.path());
    EXPECT_NE(std::string::npos, run_pgmtool("zip --list other.zip", dir.path()).output.find("  method 12  "));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
}

TEST(ZipTool, ExtractionStaysInsideItsFolder)
{
    const struct {
        const char* name;
        const char* reason;
    } hostile[] = {
        {"../evil.txt", "leaves the target folder through \"..\""},
        {"a/../../evil.txt", "leaves the target folder through \"..\""},
        {"a\\..\\..\\evil.txt", "leaves the target folder through \"..\""},
        {"/tmp/evil.txt", "is an absolute path"},
        {"\\evil.txt", "is an absolute path"},
        {"C:/evil.txt", "is an absolute path"},
        {"./.", "names the target folder itself"},
    };
    for (const auto& h : hostile) {
        TEMP_DIR dir;
        write_archive(dir.file("h.zip"), {{"good.txt", "good"}, {h.name, "evil"}});
        RUN_RESULT result = run_pgmtool("zip --extract h.zip --dir=out", dir.path());
        EXPECT_EQ(2, result.exit_code) << h.name;
        std::string name = h.name;
        PGM_COMMON::change_folder_slash(name);
        EXPECT_EQ("h.zip: error: member \"" + name + "\" " + h.reason + "; nothing extracted\n", result.error);
        EXPECT_FALSE(std::filesystem::exists(dir.file("out"))) << h.name; // nothing written
    }

    // A symbolic link inside the folder is neither followed nor written through.
    TEMP_DIR dir;
    std::filesystem::create_directories(dir.file("out"));
    std::filesystem::create_directories(dir.file("outside"));
    std::filesystem::create_directory_symlink(dir.file("outside"), dir.file("out/link"));
    std::filesystem::create_symlink(dir.file("outside/target.txt"), dir.file("out/file_link"));
    write_archive(dir.file("l.zip"), {{"link/x.txt", "through the link"}});
    RUN_RESULT result = run_pgmtool("zip --extract l.zip --dir=out", dir.path());
    EXPECT_EQ(2, result.exit_code);
    EXPECT_EQ(0u, result.error.find("out: error: cannot open folder link of member link/x.txt")) << result.error;
    write_archive(dir.file("f.zip"), {{"file_link", "replaces the link"}, {"a/./b/../c.txt", "c"}});
    result = run_pgmtool("zip --extract f.zip --dir=out", dir.path());
    EXPECT_EQ(0, result.exit_code) << result.output;
    EXPECT_FALSE(std::filesystem::is_symlink(dir.file("out/file_link")));
    EXPECT_EQ("replaces the link", read_file(dir.file("out/file_link")));
    EXPECT_EQ("c", read_file(dir.file("out/a/c.txt")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("outside")));
}

TEST(ZipTool, AppendingNeverDropsOldMembers)
{
    TEMP_DIR dir;
    write_file(dir.file("new.txt"), "new");
    const std::string stored = read_file(ZIP_DATA + "python_stored.zip");
    const struct {
        std::string bytes;
        const char* output;
    } cases[] = {
        {read_file(ZIP_DATA + "python_deflated.zip"),
         "out.zip: error: Cannot append to ZIP archive out.zip, which cannot be read: Compression is not supported\n"},
        {stored.substr(0, stored.size() - 1),
         "out.zip: error: Cannot append to ZIP archive out.zip, which cannot be read: Incorrect input zip file size\n"},
        {"plain text", "out.zip was not a ZIP archive; replaced by one written with 1 member\n"},
        {stored, "out.zip updated with 1 member\n"},
    };
    for (const auto& c : cases) {
        write_file(dir.file("out.zip"), c.bytes);
        RUN_RESULT result = run_pgmtool("zip --create out.zip new.txt --append", dir.path());
        EXPECT_EQ(c.output, result.output + result.error);
        const bool refused = !result.error.empty();
        EXPECT_EQ(refused ? 2 : 0, result.exit_code) << c.output;
        if (refused)
            EXPECT_EQ(c.bytes, read_file(dir.file("out.zip"))) << c.output;
        else
            EXPECT_EQ("new.txt", read_archive(dir.file("out.zip")).back().first) << c.output;
    }
    EXPECT_EQ(3u, read_archive(dir.file("out.zip")).size());

    // Files whose status tells no size are stored whole.
    RUN_RESULT created = run_pgmtool("zip --create proc.zip /proc/self/status", dir.path());
    EXPECT_EQ(0, created.exit_code) << created.output;
    const auto status = read_archive(dir.file("proc.zip"));
    ASSERT_EQ(1u, status.size());
    EXPECT_EQ("Name:\tpgmtool\n", status[0].second.substr(0, 14));
}

TEST(ZipTool, ExtractionRefusesMembersThatCollide)
{
    using NAMES = std::vector<std::string>;
    const struct {
        NAMES names;
        const char* output;
    } cases[] = {
        {{"a", "a/b"}, "members \"a\" and \"a/b\" need a as both a file and a folder"},
        {{"d/a/b", "x", "d/a"}, "members \"d/a/b\" and \"d/a\" need d/a as both a file and a folder"},
        {{"a/", "b", "a"}, "members \"a/\" and \"a\" need a as both a file and a folder"},
        {{"x", "./x"}, "members \"x\" and \"./x\" are both written to x"},
        {{"d\\f", "d/f"}, "members \"d/f\" and \"d/f\" are both written to d/f"},
        {{"a/../b", "c", "b"}, "members \"a/../b\" and \"b\" are both written to b"},
    };
    for (const auto& c : cases) {
        TEMP_DIR dir;
        std::vector<std::pair<std::string, std::string>> contents;
        for (const std::string& name : c.names)
            contents.push_back({name, name.back() == '/' ? "" : "data"});
        write_archive(dir.file("c.zip"), contents);
        RUN_RESULT result = run_pgmtool("zip --extract c.zip --dir=out", dir.path());
        EXPECT_EQ(2, result.exit_code) << c.output;
        EXPECT_EQ("c.zip: error: " + std::string(c.output) + "; nothing extracted\n", result.error);
        EXPECT_FALSE(std::filesystem::exists(dir.file("out"))) << c.output;
    }
    // Folder entries may repeat and hold members.
    TEMP_DIR dir;
    write_archive(dir.file("f.zip"), {{"d/", ""}, {"d/./", ""}, {"d/f", "f"}, {"e/f", "f"}});
    RUN_RESULT result = run_pgmtool("zip --extract f.zip --dir=out", dir.path());
    EXPECT_EQ(0, result.exit_code) << result.output;
    EXPECT_EQ("f", read_file(dir.file("out/d/f")));
}

TEST(ZipTool, FailedExtractionRemovesWhatItMade)
{
    // Each archive fails at its last member: on what the folder out already
    // holds, or on a name the file system refuses in a folder made afresh.
    const std::string long_name(300, 'L');
    const struct {
        std::string last;
        const char* target;
        std::string output;
    } cases[] = {
        {"blocker/x", "out",
         "out: error: cannot open folder blocker of member blocker/x: Not a directory (not a plain folder)"},
        {"hole", "out", "out: error: cannot write member hole: Is a directory"},
        {long_name + "/x", "fresh/out",
         "fresh/out: error: cannot make folder " + long_name + " of member " + long_name + "/x: File name too long"},
        {long_name, "fresh/out", "fresh/out: error: cannot write member " + long_name + ": File name too long"},
    };
    for (const auto& c : cases) {
        TEMP_DIR dir;
        std::filesystem::create_directories(dir.file("out/sub"));
        std::filesystem::create_directories(dir.file("out/hole"));
        write_file(dir.file("out/keep.txt"), "old");
        write_file(dir.file("out/blocker"), "old");
        write_file(dir.file("out/sub/old.txt"), "old");
        write_archive(dir.file("c.zip"), {{"new/deep/f.txt", "n"}, {"keep.txt", "new"}, {"sub/n.txt", "n"},
                                          {"made/", ""}, {c.last, "x"}});
        RUN_RESULT result = run_pgmtool(std::string("zip --extract c.zip --dir=") + c.target, dir.path());
        EXPECT_EQ(2, result.exit_code) << c.output;
        EXPECT_EQ(c.output + "\n", result.error);
        // Every folder holds what it held before, and nothing else.
        std::vector<std::string> held;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
            held.push_back(entry.path().string().substr(dir.path().size() + 1));
        std::sort(held.begin(), held.end());
        EXPECT_EQ((std::vector<std::string>{"c.zip", "out", "out/blocker", "out/hole", "out/keep.txt", "out/sub",
                                            "out/sub/old.txt"}),
                  held)
            << c.output;
        EXPECT_EQ("old", read_file(dir.file("out/keep.txt")));
    }
}
