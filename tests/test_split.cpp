// Splitting, groups, clean-up of blanks and comments, and default-value templates.
#include "test_support.h"

namespace {

typedef std::vector<std::string> WORDS;
const DWORD NO_LIMIT = DWORD(-1);

struct SPLIT {
    std::string text, separator;
    WORDS expected;
    bool trim = true, keep_empty = false;
    DWORD max_count = NO_LIMIT;
    WORDS strip_around = {};
    std::string suffix = "";
    bool fix_carriage_return = true;
};

// The pieces of split_string, once backup_split_string is found to agree.
WORDS split_both(const SPLIT& s)
{
    WORDS pieces = PGM_COMMON::split_string(s.text, s.separator, s.trim, s.keep_empty, s.max_count, s.strip_around,
                                            s.suffix, s.fix_carriage_return);
    EXPECT_EQ(pieces, PGM_COMMON::backup_split_string(s.text, s.separator, s.trim, s.keep_empty, s.max_count,
                                                      s.strip_around, s.suffix, s.fix_carriage_return))
        << "text \"" << s.text << "\" separator \"" << s.separator << "\"";
    return pieces;
}

struct TEMPLATE {
    std::string expected, text, replacements;
    bool debug = false;
    WORDS debug_lines = {};
};

std::string replaced(std::string text, const std::string& replacements, bool debug = false)
{
    PGM_COMMON::replacement_default_value(text, replacements, debug);
    return text;
}

} // namespace

TEST(Split, PiecesTrimCountSuffixStripAndCarriageReturn)
{
    const SPLIT cases[] = {
        {"a,,b", ",", {"a", "b"}}, {"a,,b", ",", {"a", "", "b"}, true, true},
        {"a,b,", ",", {"a", "b"}}, {"a,b,", ",", {"a", "b", ""}, true, true},
        {",a", ",", {"a"}}, {",a", ",", {"", "a"}, true, true},
        {",", ",", {}}, {",", ",", {"", ""}, true, true},
        {"a, ,b", ",", {"a", "", "b"}, true, true},
        {"  a ,\tb c \n", ",", {"a", "b c"}}, {" a , b ", ",", {" a ", " b "}, false},
        {" \t ", ",", {}}, {" \t ", ",", {" \t "}, false},
        {"a::b:c", "::", {"a", "b:c"}}, {"a,,,b", ",,", {"a", ",b"}}, {"x<>y<>z", "<>", {"x", "y", "z"}},
        {"aab", "ab", {"a"}}, {"aab", "ab", {"a", ""}, true, true}, {"ab", "abc", {"ab"}},
        // A count limit; empty pieces do not count while they are dropped.
        {"a=b=c", "=", {"a", "b=c"}, true, false, 2}, {"a=b=c=d", "=", {"a", "b", "c=d"}, true, false, 3},
        {" a = b = c ", "=", {"a", "b = c"}, true, false, 2}, {"a=b", "=", {"a", "b"}, true, false, 5},
        {"NAME=", "=", {"NAME", ""}, true, true, 2}, {"=value", "=", {"", "value"}, true, true, 2},
        {"NAME", "=", {"NAME"}, true, true, 2}, {"==a=b=c", "=", {"a", "b=c"}, true, false, 2},
        // Empty pieces and the last piece never get the suffix.
        {"x),y)", "),", {"x)", "y)"}, true, false, NO_LIMIT, {}, ")"},
        {"x),y", "),", {"x)", "y"}, true, false, NO_LIMIT, {}, ")"},
        {"x,,y", ",", {"x!", "", "y"}, true, true, NO_LIMIT, {}, "!"},
        {"x=y=z", "=", {"x!", "y=z"}, true, false, 2, {}, "!"},
        // Blanks touching the strip words; the empty word touches every blank.
        {"a = b", ",", {"a=b"}, true, false, NO_LIMIT, {"="}}, {"a  =  b", ",", {"a=b"}, true, false, NO_LIMIT, {"="}},
        {"a\t\t=\t\tb", ",", {"a=b"}, true, false, NO_LIMIT, {"="}},
        {"f ( a , b ) ; g( c )", ";", {"f(a,b)", "g(c)"}, true, false, NO_LIMIT, {",", "(", ")"}},
        {"a = b , c", ",", {"a=b ", " c"}, false, false, NO_LIMIT, {"="}},
        {"a  ==  b", "==", {"a", "b"}, true, false, NO_LIMIT, {"=="}},
        {"a ( b )", ",", {"a(b)"}, true, false, NO_LIMIT, {"(", ")"}},
        {" a b ,\tc", ",", {"ab", "c"}, false, false, NO_LIMIT, {""}},
        // Carriage returns go only before a line feed separator, and only when asked.
        {"a\r\nb", "\n", {"a", "b"}, false}, {"a\r\nb", "\n", {"a\r", "b"}, false, false, NO_LIMIT, {}, "", false},
        {"a\r\n,b", ",", {"a\r\n", "b"}, false}, {"a\r\nb\rc", "\n", {"a", "b\rc"}, false},
        {"a\r\nb", "\r", {"a", "\nb"}, false}, {"a\r\n\r\nb", "\n", {"a", "", "b"}, true, true},
    };
    for (const SPLIT& s : cases)
        EXPECT_EQ(s.expected, split_both(s)) << "text \"" << s.text << "\" separator \"" << s.separator << "\"";

    for (auto split : {&PGM_COMMON::split_string, &PGM_COMMON::backup_split_string}) {
        for (DWORD max_count : {DWORD(0), DWORD(1)})
            EXPECT_INTERNAL_ERROR(split("a,b", ",", true, false, max_count, {}, "", true),
                                  "max_count != 0 && max_count != 1");
        EXPECT_INTERNAL_ERROR(split("", ",", true, false, NO_LIMIT, {}, "", true), "!string.empty()");
        EXPECT_INTERNAL_ERROR(split("a,b", "", true, false, NO_LIMIT, {}, "", true), "!split.empty()");
    }
}

TEST(Split, TwinsAgreeOnRandomTexts)
{
    const std::string alphabet = "ab,= \t\r\n()";
    const WORDS separators = {",", "=", ",,", "),", "ab", "a", " ", "\n", "\r\n", ", ", "=="};
    const WORDS strip_words = {"=", ",", "("};
    GEN_RAND random(12345);
    auto pick = [&random](size_t n) { return size_t(random.get_rand()) % n; };
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        for (size_t i = 0, length = 1 + pick(16); i < length; ++i)
            text += alphabet[pick(alphabet.size())];
        const SPLIT s{text, separators[pick(separators.size())], {}, pick(2) == 1, pick(2) == 1,
                      pick(3) ? NO_LIMIT : DWORD(2 + pick(3)),
                      pick(3) ? WORDS() : WORDS{strip_words[pick(strip_words.size())]}, pick(2) ? ")" : "",
                      pick(2) == 1};
        EXPECT_LE(split_both(s).size(), size_t(s.max_count));
    }
}

TEST(Split, GroupsAndCleanUp)
{
    typedef std::vector<WORDS> GROUPS;
    for (const char* text : {"(1, 2), (3,4)", "( 1 ,\t2 ) ,\r\n( 3,4 )", "(1,\r\n2),\r\n(3,4)"})
        EXPECT_EQ(GROUPS({{"1", "2"}, {"3", "4"}}), PGM_COMMON::get_string_groups(text, 2)) << text;
    EXPECT_EQ(GROUPS({{"a", "b", "c"}, {"d"}}), PGM_COMMON::get_string_groups("(a, b, c), (d)", NO_LIMIT));
    EXPECT_EQ(GROUPS({{"x y"}}), PGM_COMMON::get_string_groups("(x y)", 1));
    EXPECT_EQ(GROUPS(), PGM_COMMON::get_string_groups("", 2));
    EXPECT_EQ(GROUPS(), PGM_COMMON::get_string_groups(" \t", 2));
    typedef std::vector<std::vector<DWORD>> DWORD_GROUPS;
    EXPECT_EQ(DWORD_GROUPS({{16, 2}, {3, 4}}), PGM_COMMON::get_dword_groups("(0x10, 2), (b11, 4)", 2));
    EXPECT_EQ(DWORD_GROUPS({{5}, {0xFFFFFFFF}}), PGM_COMMON::get_dword_groups("(0x100000005), (-1)", 1));
    EXPECT_EQ(DWORD_GROUPS(), PGM_COMMON::get_dword_groups("", 1));

    const std::string not_in_parentheses = "group.at(0) == '(' && group.at(group.size()-1) == ')'";
    const struct {
        std::string text;
        DWORD group_size;
        std::string error;
    } bad_groups[] = {{"(1, 2)", 0, "group_size > 0 || group_size == DWORD(-1)"},
                      {"(1, 2), (3,4)", 3, "DWORD(words.size()) == group_size"},
                      {"(1, 2), (3)", 2, "DWORD(words.size()) == group_size"},
                      {"1, 2", 2, not_in_parentheses}, {"(1, 2) x", 2, not_in_parentheses},
                      {"()", NO_LIMIT, "group.size() >= 3"}, {"(1), ()", NO_LIMIT, "group.size() >= 3"},
                      {"(,)", NO_LIMIT, "words.size() > 0"}, {"(\r\n)", NO_LIMIT, "words.size() > 0"}};
    for (const auto& bad : bad_groups)
        EXPECT_INTERNAL_ERROR(PGM_COMMON::get_string_groups(bad.text, bad.group_size), bad.error);
    EXPECT_INTERNAL_ERROR(PGM_COMMON::get_dword_groups("(1, 2)", 3), "DWORD(words.size()) == group_size");

    for (const auto& pair : std::vector<WORDS>{
             {"a\r\nb\rc\r\n", "a\nb\rc\n"}, {"\r\r\n", "\r\n"}, {"a\rb\r", "a\rb\r"}, {"a\n\r", "a\n\r"}, {"", ""}})
        EXPECT_EQ(pair[1], PGM_COMMON::get_rid_carriage_return(pair[0]));

    const auto all_blanks = &PGM_COMMON::get_rid_white_space_and_comment;
    const auto outer_blanks = &PGM_COMMON::get_rid_header_and_trailer_white_space_and_comment;
    EXPECT_EQ("ab", all_blanks(" a b # c", {"#"}));
    EXPECT_EQ("abc", all_blanks("a\tb\r\nc", {}));
    EXPECT_EQ("a b", outer_blanks(" a b # c", {"#"}));
    EXPECT_EQ("x", outer_blanks("x // y # z", {"#", "//"}));
    EXPECT_EQ("x", outer_blanks("x # y // z", {"#", "//"}));
    EXPECT_EQ("", outer_blanks("-- all", {"--"}));
    EXPECT_EQ("a  b", outer_blanks("\t a  b \r\n", {";"}));
    EXPECT_INTERNAL_ERROR(outer_blanks("a", {"#", ""}), "comment.size()");
    EXPECT_INTERNAL_ERROR(all_blanks("a", {""}), "comment.size()");
}

TEST(Split, DefaultValueTemplatesAndDebugLines)
{
    const TEMPLATE cases[] = {
        {"x=16;", "x=__@W@__8__!W!__;", "W=16"}, {"x=8;", "x=__@W@__8__!W!__;", ""},
        {"x=8;", "x=__@W@__8__!W!__;", " \t "}, {"__@A@__1__!B!__", "__@A@__1__!B!__", ""},
        {"4z", "__@W@__8__!W!___z", "W=4"}, {"8z", "__@W@__8__!W!___z", ""},
        // Several assignments, blanks, only the first "=" counts, bare names skipped.
        {"1+2", "__@A@__a__!A!__+__@B@__b__!B!__", " A = 1 | B=2 "}, {"x=y", "__@A@__a__!A!__", "A=x=y"},
        {"[]", "[__@A@__a__!A!__]", "A="}, {"[a]", "[__@A@__a__!A!__]", "A"}, {"[a]", "[__@A@__a__!A!__]", "B=2"},
        // A replaced template loses its markers: a later assignment of its key finds nothing.
        {"[1]", "[__@A@__a__!A!__]", "A=1|A=2"}, {"[1]", "[__@A@__a__!A!__]", "A=1||B=2|"},
        {"[1]", "[__@A@__a__!A!__]", "A=1\r\n"},
        // Every template of a key is replaced; names are case-sensitive.
        {"5,5", "__@K@__1__!K!__,__@K@__2__!K!__", "K=5"}, {"1", "__@K@__1__!K!__", "k=5"},
        // A value holding its own template is inserted once and the call ends.
        {"axb", "a__@W@__1__!W!__b", "W=__@W@__x__!W!__"},
        {"x|x", "__@W@__1__!W!__|__@W@__2__!W!__", "W=__@W@__x__!W!__"},
        {"[__@W@__]", "[__@W@__1__!W!__]", "W=__@W@__"}, {"y", "__@W@____!W!__", "W=y"},
        // Clean-up skips incomplete templates and empty names, not those after differing names.
        {"__@A@__1", "__@A@__1", ""}, {"__@A@__1__!A", "__@A@__1__!A", ""}, {"__@@__x__!!__", "__@@__x__!!__", ""},
        {"__@A@__1__!B!__ 2", "__@A@__1__!B!__ __@C@__2__!C!__", ""},
        {"(a)(b)", "(__@X@__a__!X!__)(__@Y@__b__!Y!___)", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, replaced(c.text, c.replacements)) << c.text << " with " << c.replacements;

    EXPECT_INTERNAL_ERROR(replaced("x", "=value"), "key.size() > 0");
    EXPECT_INTERNAL_ERROR(replaced("x", "A=1|=2"), "key.size() > 0");
    // The end marker inside the start marker, and before it.
    for (const char* text : {"__@W@__!W!__", "__!W!__ __@W@__x__!W!__"})
        EXPECT_INTERNAL_ERROR(replaced(text, "W=1"), "(end_index - start_index) >= start.size()");

    const auto line = [](const std::string& from, const std::string& to, const std::string& key = "W") {
        return "PGM_COMMON: Replace key \"" + key + "\" from value \"" + from + "\" to \"" + to + "\"\n";
    };
    const TEMPLATE debug_cases[] = {
        {"x=16;", "x=__@W@__8__!W!__;", "W=16", true, {line("8", "16")}},
        {"4z", "__@W@__8__!W!___z", "W=4", true, {}},
        {"x=16;", "x=__@W@__8__!W!__;", "W=16", false, {}},
        {"a,a", "__@K@__1__!K!__,__@K@__2__!K!__", "K=a|Z=0", true, {line("1", "a", "K"), line("2", "a", "K")}},
        {"axb", "a__@W@__1__!W!__b", "W=__@W@__x__!W!__", true, {line("1", "__@W@__x__!W!__")}},
    };
    msg_take_debug_lines();
    for (const auto& c : debug_cases) {
        EXPECT_EQ(c.expected, replaced(c.text, c.replacements, c.debug));
        EXPECT_EQ(c.debug_lines, msg_take_debug_lines()) << c.text;
    }
}
