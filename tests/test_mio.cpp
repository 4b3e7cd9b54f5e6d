// Memory initialisation file library of the host suite: parsing and radix conversion.
#include "test_support.h"

#include "host/cfg.h"
#include "host/mio.h"

#include <random>

namespace {

const std::string MIF_DATA = PGM_SOURCE_DIR "/tests/data/mif/";

// Reads a file as the library's reader prepares it.
bool read_mif_path(MIO_FILE& file, const std::string& path)
{
    file.set_file_type(1);
    file.set_file_name(path);
    file.set_pad_type_and_char(1, '1');
    return file.can_proceed_with_read() && file.read_file(0, 0);
}

bool read_mif_text(MIO_FILE& file, const std::string& text)
{
    TEMP_DIR dir;
    write_file(dir.file("t.mif"), text);
    return read_mif_path(file, dir.file("t.mif"));
}

std::vector<std::string> words_of(const MIO_FILE& file)
{
    std::vector<std::string> words = {"stale"};
    file.get_data_words(words);
    return words;
}

std::string convert(const std::string& word, int from, int to)
{
    std::string output = "stale";
    EXPECT_EQ(0, big_radix_conversion(word, output, from, to, 0)) << word;
    return output;
}

const std::string HEAD = "WIDTH = 8;\nDEPTH = 4;\nCONTENT BEGIN\n"; // entries start on line 4

} // namespace

TEST(MioFile, EntryFormsRadixesCommentsAndOverrides)
{
    const struct {
        std::string text;
        int radix;
        std::vector<std::string> words;
    } cases[] = {
        {"\xEF\xBB\xBFWIDTH=8;DEPTH=10;CONTENT BEGIN 0:12; 1:34 56 7F; [4..8]:a 2; [9..9]:FF; END;", MIO_RADIX_HEX,
         {"12", "34", "56", "7F", "a", "2", "a", "2", "a", "FF"}},
        {"DATA_RADIX=BIN;ADDRESS_RADIX=BIN;DEPTH=5;WIDTH=3; CONTENT BEGIN 10 : 101 11; [0..1] : 0; END;",
         MIO_RADIX_BIN, {"0", "0", "101", "11", "0"}},
        {"width = 6;\tDepth = 12;\r\nAddress_Radix = oct; Data_Radix = Oct;\r\ncontent\r\nbegin\r\n"
         "  7 : 77; -- 10 : 1;\r\n % 11 : 1;\r\n 12 : 2; % [10..13] : 3 4; -- three %\r\n13:5; End;\r\n",
         MIO_RADIX_OCT, {"0", "0", "0", "0", "0", "0", "0", "77", "3", "4", "3", "5"}},
        {"WIDTH=8;DEPTH=4;ADDRESS_RADIX=DEC;DATA_RADIX=UNS;CONTENT BEGIN [0..3]:1; 2:5; [1..2]:7; 1:9; END;",
         MIO_RADIX_UNS, {"1", "9", "7", "1"}},
        {"WIDTH=8;DEPTH=9;ADDRESS_RADIX=UNS;DATA_RADIX=DEC;CONTENT BEGIN\n"
         "0 : -1 -127 -0 -128 -00128 255 -00001 -12A 42; END;",
         MIO_RADIX_DEC, {"255", "129", "0", "128", "128", "255", "255", "-12A", "42"}},
        {"WIDTH=200;DEPTH=2;DATA_RADIX=DEC;CONTENT BEGIN [0..1] : -1; END;", MIO_RADIX_DEC,
         {"1606938044258990275541962092341162602522202993782792835301375",
          "1606938044258990275541962092341162602522202993782792835301375"}},
        {"WIDTH=70;DEPTH=3;DATA_RADIX=DEC;CONTENT BEGIN 1 : -5; END;", MIO_RADIX_DEC,
         {"0", "1180591620717411303419", "0"}},
        // Leading zeros do not count against WIDTH.
        {"WIDTH=8;DEPTH=3;DATA_RADIX=DEC;CONTENT BEGIN 0 : 0000000000000255 0128 -0000128; END;", MIO_RADIX_DEC,
         {"0000000000000255", "0128", "128"}},
    };
    for (const auto& c : cases) {
        MIO_FILE file(true);
        ASSERT_TRUE(read_mif_text(file, c.text)) << c.text << "\n" << file.get_error_text();
        EXPECT_EQ(c.radix, file.get_memory_radix()) << c.text;
        EXPECT_EQ(c.words.size(), file.get_number_of_words()) << c.text;
        EXPECT_EQ(c.words, words_of(file)) << c.text;
    }
    MIO_FILE file(true);
    ASSERT_TRUE(read_mif_text(file, "DEPTH=1; WIDTH=13; CONTENT BEGIN END;"));
    EXPECT_EQ(13u, file.get_word_size());
    EXPECT_EQ(std::vector<std::string>{"0"}, words_of(file));
}

TEST(MioFile, SyntaxFailuresNameTheirLine)
{
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {HEAD + "0 : 1;\n", "line 4: missing END"},
        {HEAD + "0 : 1;\n0G : 1;\nEND;", "line 5: bad address '0G'"},
        {HEAD + "\n4 : 1;\nEND;", "line 5: address '4' is beyond DEPTH 4"},
        {HEAD + "[0..4] : 1;\nEND;", "line 4: address '4' is beyond DEPTH 4"},
        {HEAD + "3 : 1\n 2;\nEND;", "line 5: data words from address '3' run beyond DEPTH 4"},
        {HEAD + "[3..1] : 1;\nEND;", "line 4: range [3..1] runs backwards"},
        {HEAD + "[0..1] : 1 2 3;\nEND;", "line 4: 3 data words for a range of 2 addresses"},
        {HEAD + "0 : 1\n1 : 2;\nEND;", "line 5: missing ';' before '1'"},
        {HEAD + "0 : 1\nEND;", "line 5: missing ';' before 'END'"},
        {HEAD + "0 : 1\n[1..2] : 2;\nEND;", "line 5: missing ';' before '['"},
        {HEAD + "0 : 1$;\nEND;", "line 4: expected a data word, found '$'"},
        {HEAD + "0 : 1_2;\nEND;", "line 4: expected a data word, found '1_2'"},
        {HEAD + "0 : 5-3;\nEND;", "line 4: expected a data word, found '-'"},
        {HEAD + "0 : ;\nEND;", "line 4: expected a data word, found ';'"},
        {HEAD + "0 = 1;\nEND;", "line 4: expected ':', found '='"},
        {HEAD + "[0.1] : 1;\nEND;", "line 4: expected '..', found '.'"},
        {HEAD + "; 0 : 1;\nEND;", "line 4: expected an address, found ';'"},
        {HEAD + "0 : -1;\nEND;", "line 4: negative word '-1' needs DATA_RADIX DEC"},
        {HEAD + "0 : " + std::string(65, '1') + ";\nEND;",
         "line 4: data word '" + std::string(40, '1') + "...' has more than 64 digits"},
        {HEAD + "END;\n0 : 1;", "line 5: unexpected '0' after END;"},
        {HEAD + "END", "line 4: expected ';', found end of file"},
        {HEAD + "END; % open\n\n", "line 4: '%' comment is not closed"},
        {"WIDTH=8;DEPTH=4;DATA_RADIX=DEC;CONTENT BEGIN\n0 : 12345;\nEND;",
         "line 2: decimal data word '12345' has more than 4 digits for WIDTH 8"},
        {"WIDTH=8;DEPTH=4;DATA_RADIX=DEC;CONTENT BEGIN 0 : 1 -00012345; END;",
         "line 1: decimal data word '-00012345' has more than 4 digits for WIDTH 8"},
        {"WIDTH=1000;DEPTH=1;DATA_RADIX=UNS;CONTENT BEGIN 0 : 1" + std::string(303, '0') + "; END;",
         "line 1: decimal data word '1" + std::string(39, '0') + "...' has more than 303 digits for WIDTH 1000"},
        {"WIDTH=70000;DEPTH=1;DATA_RADIX=DEC;CONTENT BEGIN 0 : -1; END;",
         "line 1: negative word '-1' needs a WIDTH of at most 65536"},
        {"WIDTH = abc;", "line 1: WIDTH must be a positive decimal number, found 'abc'"},
        {"\nDEPTH = 0;", "line 2: DEPTH must be a positive decimal number, found '0'"},
        {"WIDTH = 4294967296;", "line 1: WIDTH must be a positive decimal number, found '4294967296'"},
        {"DEPTH = 4;\nCONTENT BEGIN END;", "line 2: WIDTH is not set"},
        {"WIDTH = 4;\nCONTENT BEGIN END;", "line 2: DEPTH is not set"},
        {"DATA_RADIX = HEXA;", "line 1: expected BIN, OCT, DEC, HEX or UNS, found 'HEXA'"},
        {"WIDTH = 8\nDEPTH = 4;", "line 2: expected ';', found 'DEPTH'"},
        {"WIDTH : 8;", "line 1: expected '=', found ':'"},
        {"WIDTH = 8; SIZE = 4;", "line 1: expected a header assignment or CONTENT, found 'SIZE'"},
        {"WIDTH = 8; DEPTH = 4;\n", "line 1: missing CONTENT BEGIN"},
        {"WIDTH = 8; DEPTH = 4; CONTENT\n0 : 1;", "line 2: expected BEGIN, found '0'"},
    };
    for (const auto& c : cases) {
        MIO_FILE file(true);
        EXPECT_FALSE(read_mif_text(file, c.text)) << c.text;
        EXPECT_EQ(c.error, file.get_error_text()) << c.text;
        EXPECT_EQ(0u, file.get_number_of_words());
        EXPECT_TRUE(words_of(file).empty());
    }
}

// A data word's value must fit WIDTH bits, in every radix; a negative
// decimal word must be at least -2^(WIDTH-1). Leading zeros do not count,
// and a word with a character that is no digit is left to the conversion.
TEST(MioFile, WordsWiderThanWidthNameTheirLine)
{
    const std::string two_70 = "1180591620717411303424", two_69 = "590295810358705651712";
    const struct {
        const char* radix;
        unsigned int width;
        std::string fits, too_wide; // too_wide empty: nothing to refuse
    } cases[] = {
        {"HEX", 8, "FF 000FF 0", "1FF"},
        {"HEX", 5, "1F 0001f", "20"},
        {"HEX", 1, "1 0", "2"},
        {"HEX", 4, "G7 XYZ", ""},
        {"BIN", 3, "111 0000111", "1000"},
        {"OCT", 7, "177", "200"},
        {"UNS", 8, "255 00255", "256"},
        {"DEC", 8, "255 -128 -0 -000128", "256"},
        {"DEC", 8, "-1", "-129"},
        {"DEC", 1, "1 -1", "-2"},
        {"DEC", 70, "1180591620717411303423 -" + two_69, two_70},
        {"DEC", 70, "0", "-590295810358705651713"},
        {"UNS", 64, "18446744073709551615", "18446744073709551616"},
    };
    for (const auto& c : cases) {
        std::string head = "WIDTH=" + std::to_string(c.width) + ";\nDEPTH=4;\nDATA_RADIX=" + c.radix +
                           ";\nCONTENT BEGIN\n0 : " + c.fits + ";\n";
        MIO_FILE file(true);
        EXPECT_TRUE(read_mif_text(file, head + "END;")) << head << file.get_error_text();
        if (c.too_wide.empty())
            continue;
        EXPECT_FALSE(read_mif_text(file, head + "[1..3] :\n" + c.too_wide + ";\nEND;")) << head;
        std::string error = c.too_wide[0] == '-'
                                ? "negative word '" + c.too_wide + "' is below -2^" + std::to_string(c.width - 1) +
                                      ", the least value of WIDTH " + std::to_string(c.width)
                                : "data word '" + c.too_wide + "' is wider than WIDTH " + std::to_string(c.width);
        EXPECT_EQ("line 7: " + error, file.get_error_text());
    }
}

// The word limit comes from mio_set_max_words, else from the setting
// PGM_MIF_MAX_WORDS, else is 1 << 22; the texts that refuse a file name
// the setting.
TEST(MioFile, LimitsOfWidthAndDepth)
{
    const std::string setting = " (setting PGM_MIF_MAX_WORDS)";
    const struct {
        unsigned int max_words; // 0: the setting decides
        std::string configured; // the setting, empty when not set
        std::string header;
        std::string error; // empty: the file is read
    } cases[] = {
        {16, "", "WIDTH=64;DEPTH=16;", ""},
        {16, "", "WIDTH=1;DEPTH=17;", "line 1: DEPTH 17 is above the limit of 16 words" + setting},
        {16, "", "WIDTH=65;DEPTH=16;", "line 1: WIDTH 65 x DEPTH 16 is above the limit of 1024 bits" + setting},
        {16, "64", "WIDTH=1;DEPTH=17;", "line 1: DEPTH 17 is above the limit of 16 words" + setting},
        {0, "", "WIDTH=1;DEPTH=4194304;", ""},
        {0, "", "WIDTH=1;DEPTH=4194305;", "line 1: DEPTH 4194305 is above the limit of 4194304 words" + setting},
        {0, "", "WIDTH=1025;DEPTH=262144;",
         "line 1: WIDTH 1025 x DEPTH 262144 is above the limit of 268435456 bits" + setting},
        {0, "0", "WIDTH=1;DEPTH=4194305;", "line 1: DEPTH 4194305 is above the limit of 4194304 words" + setting},
        {0, "many", "WIDTH=1;DEPTH=4194305;", "line 1: DEPTH 4194305 is above the limit of 4194304 words" + setting},
        {0, "17", "WIDTH=1;DEPTH=17;", ""},
        {0, "17", "WIDTH=1;DEPTH=18;", "line 1: DEPTH 18 is above the limit of 17 words" + setting},
        {0, "0x4000000", "WIDTH=1;DEPTH=67108864;", ""},
        {0, "0x4000000", "WIDTH=4294967295;DEPTH=1;", ""},
        {0, "0x4000000", "WIDTH=2147483648;DEPTH=2;",
         "line 1: WIDTH 2147483648 x DEPTH 2 is above the limit of 4294967295 bits" + setting},
    };
    for (const auto& c : cases) {
        mio_set_max_words(c.max_words);
        cfg_clear();
        if (!c.configured.empty())
            cfg_set_value("PGM_MIF_MAX_WORDS", c.configured);
        MIO_FILE file(true);
        EXPECT_EQ(c.error.empty(), read_mif_text(file, c.header + "CONTENT BEGIN END;")) << c.header;
        EXPECT_EQ(c.error, file.get_error_text()) << c.header << " " << c.configured;
    }
    mio_set_max_words(0);
    cfg_clear();
}

TEST(MioFile, FileTypeAndName)
{
    TEMP_DIR dir;
    write_file(dir.file("ok.mif"), "WIDTH=8;DEPTH=1;CONTENT BEGIN 0:5; END;");
    MIO_FILE file(true);
    file.set_file_name(dir.file("ok.mif"));
    EXPECT_FALSE(file.can_proceed_with_read());
    EXPECT_EQ("unknown file type 0", file.get_error_text());
    file.set_file_type(2);
    EXPECT_FALSE(file.read_file(0, 0));
    EXPECT_EQ("unknown file type 2", file.get_error_text());
    file.set_file_type(1);
    EXPECT_TRUE(file.can_proceed_with_read());
    for (const std::string& path : {std::string(), dir.path(), dir.file("missing.mif")}) {
        file.set_file_name(path);
        EXPECT_FALSE(file.can_proceed_with_read()) << path;
        EXPECT_FALSE(file.read_file(0, 0)) << path;
        EXPECT_EQ(path.empty() ? "no file name" : "cannot read file '" + path + "'", file.get_error_text());
    }
}

TEST(MioFile, FilesWrittenBySrecCat)
{
    // srec_cat pattern.bin -binary -o pattern_w8.mif -Memory_Initialization_File 8 (and 32);
    // srec_cat small.bin -binary -offset 0x20 -o small_offset_w16.mif -Memory_Initialization_File 16.
    // srec_cat puts the first byte of a wide word in its most significant digits.
    const struct {
        std::string mif, bin;
        unsigned int width, first_word;
    } cases[] = {{"pattern_w8.mif", "pattern.bin", 8, 0},
                 {"pattern_w32.mif", "pattern.bin", 32, 0},
                 {"small_offset_w16.mif", "small.bin", 16, 0x10}};
    for (const auto& c : cases) {
        std::string bytes = read_file(MIF_DATA + c.bin);
        unsigned int bytes_per_word = c.width / 8;
        ASSERT_EQ(0u, bytes.size() % bytes_per_word);
        std::vector<std::string> expected(c.first_word, "0");
        for (size_t i = 0; i < bytes.size(); i += bytes_per_word) {
            std::string word;
            for (unsigned int k = 0; k < bytes_per_word; ++k) {
                char hex[3];
                snprintf(hex, sizeof hex, "%02X", unsigned(static_cast<unsigned char>(bytes[i + k])));
                word += hex;
            }
            expected.push_back(word);
        }
        MIO_FILE file(true);
        ASSERT_TRUE(read_mif_path(file, MIF_DATA + c.mif)) << file.get_error_text();
        EXPECT_EQ(c.width, file.get_word_size());
        EXPECT_EQ(MIO_RADIX_HEX, file.get_memory_radix());
        EXPECT_EQ(expected, words_of(file)) << c.mif;
    }
}

TEST(MioRadix, ConvertsWordsOfAnyLength)
{
    const std::string big = [] {
        std::string digits;
        for (int i = 0; i < 20; ++i)
            digits += "1234567890";
        return digits;
    }();
    const struct {
        std::string word;
        int from, to;
        std::string expected;
    } cases[] = {
        {big, BIG_RADIX_DEC, BIG_RADIX_HEX,
         "294A11718D07405E79F3D227F433EA355E0E1C7226C19E2869F26CA1838AF1CC39FB6D97A8831102D7915CD81EDE41C77291ABA77B"
         "162D333093A501C2A01788A9935E243D1161EF7BF14BACCFF196CE3F0AD2"},
        {big, BIG_RADIX_UNS, BIG_RADIX_OCT,
         "245120427061501640136363717221177206372432536034161621154063612064762331206034257071416375555457242030420132"
         "74425633007557101616712215272357305426463141116450034124005704251446570441721054173675761227263177431331617"
         "605322"},
        {"00ff", BIG_RADIX_HEX, BIG_RADIX_BIN, "11111111"},
        {"0000", BIG_RADIX_HEX, BIG_RADIX_DEC, "0"},
        {"0", BIG_RADIX_BIN, BIG_RADIX_BIN, "0"},
        {"777", BIG_RADIX_OCT, BIG_RADIX_DEC, "511"},
        {"18446744073709551616", BIG_RADIX_DEC, BIG_RADIX_HEX, "10000000000000000"},
        {"1010", BIG_RADIX_BIN, BIG_RADIX_UNS, "10"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, convert(c.word, c.from, c.to)) << c.word;
    EXPECT_EQ(big, convert(convert(big, BIG_RADIX_DEC, BIG_RADIX_BIN), BIG_RADIX_BIN, BIG_RADIX_DEC));

    const struct {
        std::string word;
        int from;
    } invalid[] = {{"12A", BIG_RADIX_DEC}, {"-1", BIG_RADIX_DEC}, {"8", BIG_RADIX_OCT}, {"102", BIG_RADIX_BIN},
                   {"1G", BIG_RADIX_HEX},  {"", BIG_RADIX_HEX},   {big + "x", BIG_RADIX_UNS}, {"1", 7}};
    for (const auto& c : invalid) {
        std::string output = "stale";
        EXPECT_EQ(1, big_radix_conversion(c.word, output, c.from, BIG_RADIX_BIN, 0)) << c.word;
        EXPECT_EQ("", output);
    }
    std::string same = "1F";
    EXPECT_EQ(0, big_radix_conversion(same, same, BIG_RADIX_HEX, BIG_RADIX_DEC, 0));
    EXPECT_EQ("31", same);
}

// Short words take a 64-bit path, long ones (here: the same words behind
// zeros) the general one; BIN, OCT and HEX to BIN expand digits. All agree.
TEST(MioRadix, FastPathsAgreeWithTheGeneralPath)
{
    std::mt19937 random(7);
    const int codes[] = {BIG_RADIX_BIN, BIG_RADIX_OCT, BIG_RADIX_DEC, BIG_RADIX_HEX};
    const std::string digits[] = {"01", "01234567", "0123456789", "0123456789abcdefABCDEF"};
    for (int round = 0; round < 400; ++round) {
        int from = round % 4;
        std::string word(1 + random() % 70, '0');
        for (char& c : word)
            c = digits[from][random() % digits[from].size()];
        std::string decimal = convert(word, codes[from], BIG_RADIX_DEC);
        for (int to : codes) {
            std::string direct = convert(word, codes[from], to);
            EXPECT_EQ(direct, convert(std::string(30, '0') + word, codes[from], to)) << word;
            EXPECT_EQ(direct, convert(decimal, BIG_RADIX_DEC, to)) << word;
        }
    }
}

// Long decimal words are converted by halves: they agree with the digit by
// digit conversion back to decimal and with the binary digits of their
// hexadecimal form, at lengths on both sides of where the halving starts.
TEST(MioRadix, LongDecimalWordsConvertExactly)
{
    std::mt19937 random(11);
    for (size_t length : {576, 577, 1153, 9000, 40000}) {
        std::string random_word(length, '0');
        for (char& c : random_word)
            c = char('0' + random() % 10);
        random_word[0] = '7';
        for (const std::string& word : {random_word, std::string(length, '9'), "1" + std::string(length, '0')}) {
            std::string hex = convert(word, BIG_RADIX_DEC, BIG_RADIX_HEX);
            EXPECT_EQ(word, convert(hex, BIG_RADIX_HEX, BIG_RADIX_DEC)) << length;
            EXPECT_EQ(convert(hex, BIG_RADIX_HEX, BIG_RADIX_BIN), convert(word, BIG_RADIX_UNS, BIG_RADIX_BIN))
                << length;
        }
    }
    std::string output;
    EXPECT_EQ(1, big_radix_conversion(std::string(5000, '1') + "x" + std::string(5000, '1'), output, BIG_RADIX_DEC,
                                      BIG_RADIX_BIN, 0));
}
