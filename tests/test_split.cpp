// Splitting, groups, clean-up of blanks and comments, and default-value templates.
#include "test_support.h"

#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> WORDS;
const DWORD NO_LIMIT = DWORD(-1);

WORDS split(const std::string& text, const std::string& separator, bool trim = true, bool keep_empty = false,
            DWORD max_count = NO_LIMIT, WORDS strip_around = WORDS(), const std::string& suffix = "",
            bool fix_carriage_return = true)
{
    WORDS pieces = PGM_COMMON::split_string(text, separator, trim, keep_empty, max_count, strip_around, suffix,
                                            fix_carriage_return);
    WORDS twin = PGM_COMMON::backup_split_string(text, separator, trim, keep_empty, max_count, strip_around, suffix,
                                                 fix_carriage_return);
    EXPECT_EQ(pieces, twin) << "text \"" << text << "\" separator \"" << separator << "\"";
    return pieces;
}

std::string replaced(std::string text, const std::string& replacements, bool debug = false)
{
    PGM_COMMON::replacement_default_value(text, replacements, debug);
    return text;
}

} // namespace

TEST(Split, PiecesAndEmptyPieces)
{
    EXPECT_EQ(WORDS({"a", "b"}), split("a,,b", ","));
    EXPECT_EQ(WORDS({"a", "", "b"}), split("a,,b", ",", true, true));
    EXPECT_EQ(WORDS({"a", "b", ""}), split("a,b,", ",", true, true));
    EXPECT_EQ(WORDS({"a", "b"}), split("a,b,", ","));
    EXPECT_EQ(WORDS({"", "a"}), split(",a", ",", true, true));
    EXPECT_EQ(WORDS({"a"}), split(",a", ","));
    EXPECT_EQ(WORDS({"", ""}), split(",", ",", true, true));
    EXPECT_EQ(WORDS(), split(",", ","));
    EXPECT_EQ(WORDS({"a", "", "b"}), split("a, ,b", ",", true, true));

    // Trimming of the whole text and of every piece.
    EXPECT_EQ(WORDS({"a", "b c"}), split("  a ,\tb c \n", ","));
    EXPECT_EQ(WORDS({" a ", " b "}), split(" a , b ", ",", false));
    EXPECT_EQ(WORDS(), split(" \t ", ","));
    EXPECT_EQ(WORDS({" \t "}), split(" \t ", ",", false));

    // Separators longer than one character, or than the text.
    EXPECT_EQ(WORDS({"a", "b:c"}), split("a::b:c", "::"));
    EXPECT_EQ(WORDS({"a", ",b"}), split("a,,,b", ",,"));
    EXPECT_EQ(WORDS({"a"}), split("aab", "ab"));
    EXPECT_EQ(WORDS({"a", ""}), split("aab", "ab", true, true));
    EXPECT_EQ(WORDS({"ab"}), split("ab", "abc"));
    EXPECT_EQ(WORDS({"x", "y", "z"}), split("x<>y<>z", "<>"));
}

TEST(Split, CountSuffixStripAndCarriageReturn)
{
    EXPECT_EQ(WORDS({"a", "b=c"}), split("a=b=c", "=", true, false, 2));
    EXPECT_EQ(WORDS({"a", "b", "c=d"}), split("a=b=c=d", "=", true, false, 3));
    EXPECT_EQ(WORDS({"a", "b = c"}), split(" a = b = c ", "=", true, false, 2));
    EXPECT_EQ(WORDS({"a", "b"}), split("a=b", "=", true, false, 5));
    EXPECT_EQ(WORDS({"NAME", ""}), split("NAME=", "=", true, true, 2));
    EXPECT_EQ(WORDS({"", "value"}), split("=value", "=", true, true, 2));
    EXPECT_EQ(WORDS({"NAME"}), split("NAME", "=", true, true, 2));
    // Empty pieces do not count while they are dropped.
    EXPECT_EQ(WORDS({"a", "b=c"}), split("==a=b=c", "=", true, false, 2));

    EXPECT_EQ(WORDS({"x)", "y)"}), split("x),y)", "),", true, false, NO_LIMIT, WORDS(), ")"));
    EXPECT_EQ(WORDS({"x)", "y"}), split("x),y", "),", true, false, NO_LIMIT, WORDS(), ")"));
    // Empty pieces and the last piece never get the suffix.
    EXPECT_EQ(WORDS({"x!", "", "y"}), split("x,,y", ",", true, true, NO_LIMIT, WORDS(), "!"));
    EXPECT_EQ(WORDS({"x!", "y=z"}), split("x=y=z", "=", true, false, 2, WORDS(), "!"));

    EXPECT_EQ(WORDS({"a=b"}), split("a = b", ",", true, false, NO_LIMIT, {"="}));
    EXPECT_EQ(WORDS({"a=b"}), split("a  =  b", ",", true, false, NO_LIMIT, {"="}));
    EXPECT_EQ(WORDS({"a=b"}), split("a\t\t=\t\tb", ",", true, false, NO_LIMIT, {"="}));
    EXPECT_EQ(WORDS({"f(a,b)", "g(c)"}), split("f ( a , b ) ; g( c )", ";", true, false, NO_LIMIT, {",", "(", ")"}));
    EXPECT_EQ(WORDS({"a=b ", " c"}), split("a = b , c", ",", false, false, NO_LIMIT, {"="}));
    EXPECT_EQ(WORDS({"a", "b"}), split("a  ==  b", "==", true, false, NO_LIMIT, {"=="}));
    EXPECT_EQ(WORDS({"a(b)"}), split("a ( b )", ",", true, false, NO_LIMIT, {"(", ")"}));
    // Blanks touch the empty word everywhere.
    EXPECT_EQ(WORDS({"ab", "c"}), split(" a b ,	c", ",", false, false, NO_LIMIT, {""}));

    EXPECT_EQ(WORDS({"a", "b"}), split("a\r\nb", "\n", false));
    EXPECT_EQ(WORDS({"a\r", "b"}), split("a\r\nb", "\n", false, false, NO_LIMIT, WORDS(), "", false));
    EXPECT_EQ(WORDS({"a\r\n", "b"}), split("a\r\n,b", ",", false));
    EXPECT_EQ(WORDS({"a", "b\rc"}), split("a\r\nb\rc", "\n", false));
    // Carriage returns are only removed for a line feed separator.
    EXPECT_EQ(WORDS({"a", "\nb"}), split("a\r\nb", "\r", false));
    EXPECT_EQ(WORDS({"a", "", "b"}), split("a\r\n\r\nb", "\n", true, true));
}

TEST(Split, InternalErrors)
{
    for (DWORD max_count : {DWORD(0), DWORD(1)}) {
        EXPECT_INTERNAL_ERROR(PGM_COMMON::split_string("a,b", ",", true, false, max_count),
                              "max_count != 0 && max_count != 1");
        EXPECT_INTERNAL_ERROR(PGM_COMMON::backup_split_string("a,b", ",", true, false, max_count),
                              "max_count != 0 && max_count != 1");
    }
    EXPECT_INTERNAL_ERROR(PGM_COMMON::split_string("", ","), "!string.empty()");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::backup_split_string("", ","), "!string.empty()");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::split_string("a,b", ""), "!split.empty()");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::backup_split_string("a,b", ""), "!split.empty()");
}

TEST(Split, TwinsAgreeOnManyTexts)
{
    const std::string alphabet = "ab,= \t\r\n()";
    const WORDS separators = {",", "=", ",,", "),", "ab", "a", " ", "\n", "\r\n", ", ", "=="};
    const WORDS strip_words = {"=", ",", "("};
    GEN_RAND random(12345);
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        int length = 1 + random.get_rand() % 16;
        for (int i = 0; i < length; ++i)
            text += alphabet[random.get_rand() % alphabet.size()];
        const std::string& separator = separators[random.get_rand() % separators.size()];
        bool trim = random.get_rand() % 2;
        bool keep_empty = random.get_rand() % 2;
        DWORD max_count = random.get_rand() % 3 == 0 ? DWORD(2 + random.get_rand() % 3) : NO_LIMIT;
        WORDS strip;
        if (random.get_rand() % 3 == 0)
            strip.push_back(strip_words[random.get_rand() % strip_words.size()]);
        std::string suffix = random.get_rand() % 2 ? ")" : "";
        bool fix = random.get_rand() % 2;
        WORDS pieces = split(text, separator, trim, keep_empty, max_count, strip, suffix, fix);
        if (max_count != NO_LIMIT) {
            EXPECT_LE(pieces.size(), size_t(max_count));
        }
    }
}

TEST(Split, StringAndDwordGroups)
{
    typedef std::vector<WORDS> GROUPS;
    EXPECT_EQ(GROUPS({{"1", "2"}, {"3", "4"}}), PGM_COMMON::get_string_groups("(1, 2), (3,4)", 2));
    EXPECT_EQ(GROUPS({{"1", "2"}, {"3", "4"}}), PGM_COMMON::get_string_groups("( 1 ,\t2 ) ,\r\n( 3,4 )", 2));
    EXPECT_EQ(GROUPS({{"1", "2"}, {"3", "4"}}), PGM_COMMON::get_string_groups("(1,\r\n2),\r\n(3,4)", 2));
    EXPECT_EQ(GROUPS({{"a", "b", "c"}, {"d"}}), PGM_COMMON::get_string_groups("(a, b, c), (d)", DWORD(-1)));
    EXPECT_EQ(GROUPS({{"x y"}}), PGM_COMMON::get_string_groups("(x y)", 1));
    EXPECT_EQ(GROUPS(), PGM_COMMON::get_string_groups("", 2));
    EXPECT_EQ(GROUPS(), PGM_COMMON::get_string_groups(" \t", 2));

    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_string_groups("(1, 2)", 0), "group_size > 0 || group_size == DWORD(-1)");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_string_groups("(1, 2), (3,4)", 3), "DWORD(words.size()) == group_size");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_string_groups("(1, 2), (3)", 2), "DWORD(words.size()) == group_size");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_string_groups("1, 2", 2),
                          "group.at(0) == '(' && group.at(group.size()-1) == ')'");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_string_groups("(1, 2) x", 2),
                          "group.at(0) == '(' && group.at(group.size()-1) == ')'");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_string_groups("()", DWORD(-1)), "group.size() >= 3");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_string_groups("(1), ()", DWORD(-1)), "group.size() >= 3");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_string_groups("(,)", DWORD(-1)), "words.size() > 0");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_string_groups("(\r\n)", DWORD(-1)), "words.size() > 0");

    typedef std::vector<std::vector<DWORD>> DWORD_GROUPS;
    EXPECT_EQ(DWORD_GROUPS({{16, 2}, {3, 4}}), PGM_COMMON::get_dword_groups("(0x10, 2), (b11, 4)", 2));
    EXPECT_EQ(DWORD_GROUPS({{5}, {0xFFFFFFFF}}), PGM_COMMON::get_dword_groups("(0x100000005), (-1)", 1));
    EXPECT_EQ(DWORD_GROUPS(), PGM_COMMON::get_dword_groups("", 1));
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_dword_groups("(1, 2)", 3), "DWORD(words.size()) == group_size");
}

TEST(Split, CarriageReturnsBlanksAndComments)
{
    EXPECT_EQ("a\nb\rc\n", PGM_COMMON::get_rid_carriage_return("a\r\nb\rc\r\n"));
    EXPECT_EQ("\r\n", PGM_COMMON::get_rid_carriage_return("\r\r\n"));
    EXPECT_EQ("a\rb\r", PGM_COMMON::get_rid_carriage_return("a\rb\r"));
    EXPECT_EQ("a\n\r", PGM_COMMON::get_rid_carriage_return("a\n\r"));
    EXPECT_EQ("", PGM_COMMON::get_rid_carriage_return(""));

    EXPECT_EQ("ab", PGM_COMMON::get_rid_white_space_and_comment(" a b # c", {"#"}));
    EXPECT_EQ("abc", PGM_COMMON::get_rid_white_space_and_comment("a\tb\r\nc", {}));
    EXPECT_EQ("a b", PGM_COMMON::get_rid_header_and_trailer_white_space_and_comment(" a b # c", {"#"}));
    EXPECT_EQ("x", PGM_COMMON::get_rid_header_and_trailer_white_space_and_comment("x // y # z", {"#", "//"}));
    EXPECT_EQ("x", PGM_COMMON::get_rid_header_and_trailer_white_space_and_comment("x # y // z", {"#", "//"}));
    EXPECT_EQ("", PGM_COMMON::get_rid_header_and_trailer_white_space_and_comment("-- all", {"--"}));
    EXPECT_EQ("a  b", PGM_COMMON::get_rid_header_and_trailer_white_space_and_comment("\t a  b \r\n", {";"}));
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_rid_header_and_trailer_white_space_and_comment("a", {"#", ""}),
                          "comment.size()");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_rid_white_space_and_comment("a", {""}), "comment.size()");
}

TEST(Split, DefaultValueTemplates)
{
    EXPECT_EQ("x=16;", replaced("x=__@W@__8__!W!__;", "W=16"));
    EXPECT_EQ("x=8;", replaced("x=__@W@__8__!W!__;", ""));
    EXPECT_EQ("x=8;", replaced("x=__@W@__8__!W!__;", " \t "));
    EXPECT_EQ("__@A@__1__!B!__", replaced("__@A@__1__!B!__", ""));
    EXPECT_EQ("4z", replaced("__@W@__8__!W!___z", "W=4"));
    EXPECT_EQ("8z", replaced("__@W@__8__!W!___z", ""));

    // Assignments: several, blanks, only the first "=" counts, bare names skipped.
    EXPECT_EQ("1+2", replaced("__@A@__a__!A!__+__@B@__b__!B!__", " A = 1 | B=2 "));
    EXPECT_EQ("x=y", replaced("__@A@__a__!A!__", "A=x=y"));
    EXPECT_EQ("[]", replaced("[__@A@__a__!A!__]", "A="));
    EXPECT_EQ("[a]", replaced("[__@A@__a__!A!__]", "A"));
    EXPECT_EQ("[a]", replaced("[__@A@__a__!A!__]", "B=2"));
    // A replaced template loses its markers, so a later assignment of the key finds nothing.
    EXPECT_EQ("[1]", replaced("[__@A@__a__!A!__]", "A=1|A=2"));
    EXPECT_EQ("[1]", replaced("[__@A@__a__!A!__]", "A=1||B=2|"));
    EXPECT_EQ("[1]", replaced("[__@A@__a__!A!__]", "A=1\r\n"));
    // Every template of a key is replaced; names are case-sensitive.
    EXPECT_EQ("5,5", replaced("__@K@__1__!K!__,__@K@__2__!K!__", "K=5"));
    EXPECT_EQ("1", replaced("__@K@__1__!K!__", "k=5"));

    // Left alone by the clean-up: incomplete templates, empty names.
    EXPECT_EQ("__@A@__1", replaced("__@A@__1", ""));
    EXPECT_EQ("__@A@__1__!A", replaced("__@A@__1__!A", ""));
    EXPECT_EQ("__@@__x__!!__", replaced("__@@__x__!!__", ""));
    // A template after one with differing names is still stripped.
    EXPECT_EQ("__@A@__1__!B!__ 2", replaced("__@A@__1__!B!__ __@C@__2__!C!__", ""));
    EXPECT_EQ("(a)(b)", replaced("(__@X@__a__!X!__)(__@Y@__b__!Y!___)", ""));

    EXPECT_INTERNAL_ERROR(replaced("x", "=value"), "key.size() > 0");
    EXPECT_INTERNAL_ERROR(replaced("x", "A=1|=2"), "key.size() > 0");
    // End marker inside the start marker, and end marker before the start marker.
    EXPECT_INTERNAL_ERROR(replaced("__@W@__!W!__", "W=1"), "(end_index - start_index) >= start.size()");
    EXPECT_INTERNAL_ERROR(replaced("__!W!__ __@W@__x__!W!__", "W=1"), "(end_index - start_index) >= start.size()");
    EXPECT_EQ("y", replaced("__@W@____!W!__", "W=y"));
}

TEST(Split, DefaultValueTemplatesHoldingTheirOwnKey)
{
    // The inserted value is not searched again, so the call ends.
    EXPECT_EQ("axb", replaced("a__@W@__1__!W!__b", "W=__@W@__x__!W!__"));
    EXPECT_EQ("x|x", replaced("__@W@__1__!W!__|__@W@__2__!W!__", "W=__@W@__x__!W!__"));
    EXPECT_EQ("[__@W@__]", replaced("[__@W@__1__!W!__]", "W=__@W@__"));
}

TEST(Split, DefaultValueDebugLines)
{
    msg_take_debug_lines();
    EXPECT_EQ("x=16;", replaced("x=__@W@__8__!W!__;", "W=16", true));
    EXPECT_EQ(WORDS({"PGM_COMMON: Replace key \"W\" from value \"8\" to \"16\"\n"}), msg_take_debug_lines());

    EXPECT_EQ("4z", replaced("__@W@__8__!W!___z", "W=4", true));
    EXPECT_EQ(WORDS(), msg_take_debug_lines());

    EXPECT_EQ("x=16;", replaced("x=__@W@__8__!W!__;", "W=16", false));
    EXPECT_EQ(WORDS(), msg_take_debug_lines());

    EXPECT_EQ("a,a", replaced("__@K@__1__!K!__,__@K@__2__!K!__", "K=a|Z=0", true));
    EXPECT_EQ(WORDS({"PGM_COMMON: Replace key \"K\" from value \"1\" to \"a\"\n",
                     "PGM_COMMON: Replace key \"K\" from value \"2\" to \"a\"\n"}),
              msg_take_debug_lines());

    EXPECT_EQ("axb", replaced("a__@W@__1__!W!__b", "W=__@W@__x__!W!__", true));
    EXPECT_EQ(WORDS({"PGM_COMMON: Replace key \"W\" from value \"1\" to \"__@W@__x__!W!__\"\n"}),
              msg_take_debug_lines());
}
