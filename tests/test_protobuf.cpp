// Text trees: reading, the rules of a tree, writing (which refuses what
// would not read back the same), searching, editing by path, deep trees,
// and pgmtool tree.
#include "test_support.h"

#include <filesystem>

namespace {

typedef std::unique_ptr<PGM_PROTOBUF> TREE;

TREE read_tree(const std::string& text) { return TREE(PGM_COMMON::convert_string_to_pgm_protobuf(text)); }

// The tree's text as the writer gives it; a refused tree fails the test.
std::string written(const PGM_PROTOBUF* top)
{
    std::string output;
    EXPECT_EQ("", PGM_COMMON::convert_pgm_protobuf_to_string(top, output, ""));
    return output;
}

// The reason the writer refuses the tree; its output must stay empty.
std::string refusal(const PGM_PROTOBUF* top)
{
    std::string output;
    std::string reason = PGM_COMMON::convert_pgm_protobuf_to_string(top, output, "");
    EXPECT_EQ("", output);
    return reason;
}

// Appends a field or, with an empty value, a block to parent.
PGM_PROTOBUF* add_node(PGM_PROTOBUF* parent, const std::string& name, const std::string& value = "")
{
    parent->childs.push_back(new PGM_PROTOBUF(name, value, parent));
    return parent->childs.back();
}

// mode: fast, device { id: 0x1234, bank { size: 16 } }
const std::string EXAMPLE = "mode: fast\ndevice {\n  id: 0x1234\n  bank {\n    size: 16\n  }\n}\n";

// Two devices and a quoted field, for searching and editing.
const std::string DEVICES = "name: \"x\"\n"
                            "device {\n  id: 0x1\n  size: 8\n  bank {\n    size: 1\n  }\n}\n"
                            "device {\n  id: 0x2\n  size: 8\n  bank {\n    size: 2\n  }\n}\n";

} // namespace

TEST(TextTree, ReadsTheExampleAndWritesItBackLineForLine)
{
    TREE top = read_tree(EXAMPLE);
    ASSERT_TRUE(top);
    EXPECT_TRUE(top->name.empty() && top->value.empty() && top->parent == NULL);
    ASSERT_EQ(2u, top->childs.size());
    PGM_PROTOBUF* device = top->childs[1];
    EXPECT_EQ("mode", top->childs[0]->name);
    EXPECT_EQ("fast", top->childs[0]->value);
    EXPECT_EQ("device", device->name);
    EXPECT_EQ(top.get(), device->parent);
    ASSERT_EQ(2u, device->childs.size());
    EXPECT_EQ("0x1234", device->childs[0]->value);
    EXPECT_EQ(device, device->childs[1]->parent);
    EXPECT_EQ("16", device->childs[1]->childs.at(0)->value);
    EXPECT_EQ(EXAMPLE, written(top.get()));

    // Line ends, empty lines, blanks around names and values; ": " splits once.
    const std::pair<std::string, std::string> same[] = {
        {"mode: fast\r\n\r\n\ndevice {\r\n  id:  0x1234 \n  bank {\n    size: 16\r\n  }\n}", EXAMPLE},
        {"a: b: c", "a: b: c\n"},
        {"a : b\r", "a: b\n"},
        {"blk {\n  x: 1\n}\nblk {\n  x: 2\n}\nblk: 3\n", "blk {\n  x: 1\n}\nblk {\n  x: 2\n}\nblk: 3\n"},
        {"a{ {\n  v: x:y\r\n}", "a{ {\n  v: x:y\n}\n"},
    };
    for (const auto& c : same)
        EXPECT_EQ(c.second, written(read_tree(c.first).get())) << c.first;
    EXPECT_EQ(NULL, PGM_COMMON::convert_string_to_pgm_protobuf(""));
}

TEST(TextTree, MalformedTextIsAnInternalErrorNamingTheBrokenRule)
{
    const std::pair<const char*, const char*> cases[] = {
        {"\n\r\n\n", "lines.size()"},
        {"a:b", "Invalid !a:b!, Space $$"},
        {"a: b\n\tc: d", "line.find(\"\\t\") == STL_STRING::npos"},
        {"a: {b", "line.find(\"{\") == STL_STRING::npos && line.find(\"}\") == STL_STRING::npos"},
        {"a: b}", "line.find(\"{\") == STL_STRING::npos && line.find(\"}\") == STL_STRING::npos"},
        {"a:b {", "line.find(\":\") == STL_STRING::npos && line.find(\"}\") == STL_STRING::npos"},
        {"a} {", "line.find(\":\") == STL_STRING::npos && line.find(\"}\") == STL_STRING::npos"},
        {" {", "line_size > space.size()"},
        {"a {\n  b {\nx: y\n  }\n}", "line_size > space.size()"},
        {"a:  ", "pairs.size() == 2 && pairs.at(1).size() > 0"},
        {" a: b", "line.find(\" \") != 0"},
        {" a {\n  b: c\n}", "line.find(\" \") != 0"},
        {"blk {\n   a: b\n}", "Invalid !   a: b!, Space $  $"},
        {"blk {\n  a:   b\n}", "Invalid !  a:   b!, Space $  $"},
        {"blk {\na: b\n}", "Invalid !a: b!, Space $  $"},
        {"blk {\n  in   ner {\n    a: b\n  }\n}", "Invalid !  in   ner!, Space $  $"},
        {"}", "Invalid !}!, Space $$"},
        {"a: b\n  }", "Invalid !  }!, Space $$"},
        {"blk {\n  a: b\n }", "Invalid ! }!, Space $$"},
        {"blk {\n  a: b\n  }", "Invalid !  }!, Space $$"},
        {"blk {\n  a: b", "space.size() == 0"},
        {"blk {\n}", "Field child (blk) should have value but not child(s)"},
        {"a: 1\na: 2", "Field child (a) duplicates the name"},
        {"blk {\n  a: 1\n  x {\n    y: 2\n  }\n  a: 3\n}", "Field child (a) duplicates the name"},
        {"a: 1\na {\n  b: 2\n}", "None-Top (a) duplicates the name"},
        {"blk {\n  : x\n}", "None-Top (blk) child () should have name and matching parent pointer"},
    };
    for (const auto& c : cases)
        EXPECT_INTERNAL_ERROR(read_tree(c.first), c.second);
}

TEST(TextTree, ValidateReportsTheFirstBrokenRule)
{
    std::string reason;
    TREE top(new PGM_PROTOBUF());
    EXPECT_FALSE(PGM_COMMON::validate_pgm_protobuf(top.get(), reason, true));
    EXPECT_EQ("Top should not have name, value and parent. Top should have child(s)", reason);
    PGM_PROTOBUF* blk = add_node(top.get(), "blk");
    EXPECT_FALSE(PGM_COMMON::validate_pgm_protobuf(top.get(), reason, true));
    EXPECT_EQ("Field child (blk) should have value but not child(s)", reason);
    EXPECT_FALSE(PGM_COMMON::validate_pgm_protobuf(blk, reason, false));
    EXPECT_EQ("None-Top (blk) should have name, parent and child(s). None-Top should not have value", reason);
    PGM_PROTOBUF* both = add_node(blk, "both", "v");
    add_node(both, "inner", "1");
    EXPECT_FALSE(PGM_COMMON::validate_pgm_protobuf(top.get(), reason, true));
    EXPECT_EQ("Field child (both) should have value but not child(s)", reason);
    both->value = "";
    EXPECT_TRUE(PGM_COMMON::validate_pgm_protobuf(top.get(), reason, true));
    EXPECT_EQ("", reason);
    EXPECT_TRUE(PGM_COMMON::validate_pgm_protobuf(blk, reason, false));
    EXPECT_FALSE(PGM_COMMON::validate_pgm_protobuf(blk, reason, true));
    EXPECT_EQ("Top should not have name, value and parent. Top should have child(s)", reason);

    add_node(top.get(), "neither");
    EXPECT_FALSE(PGM_COMMON::validate_pgm_protobuf(top.get(), reason, true));
    EXPECT_EQ("Field child (neither) should have value but not child(s)", reason);
    top->childs.back()->value = "x";
    top->childs.back()->parent = blk;
    EXPECT_FALSE(PGM_COMMON::validate_pgm_protobuf(top.get(), reason, true));
    EXPECT_EQ("Top child (neither) should have name and matching parent pointer", reason);
    top->childs.back()->parent = top.get();
    both->childs[0]->parent = top.get();
    EXPECT_FALSE(PGM_COMMON::validate_pgm_protobuf(top.get(), reason, true));
    EXPECT_EQ("None-Top (both) child (inner) should have name and matching parent pointer", reason);
    EXPECT_FALSE(PGM_COMMON::validate_pgm_protobuf(both, reason, false));
    EXPECT_EQ("None-Top (both) child (inner) should have name and matching parent pointer", reason);
    blk->parent = NULL;
    EXPECT_FALSE(PGM_COMMON::validate_pgm_protobuf(blk, reason, false));
    EXPECT_EQ("None-Top (blk) should have name, parent and child(s). None-Top should not have value", reason);
}

TEST(TextTree, WriterRefusesNamesAndValuesThatWouldNotReadBack)
{
    struct CASE {
        std::string name, value; // a field, or a block (empty value) holding the field "x: 1"
        size_t depth;            // of the node's line
        std::string reason;      // empty: written and read back the same
    };
    const CASE cases[] = {
        {"a", "b\nc", 0, "Field (a) cannot be written: its value holds a line feed"},
        {"a\nb", "c", 1, "Field (outer:a\nb) cannot be written: its name holds a line feed"},
        {"a", "b\tc", 0, "Field (a) cannot be written: its value holds a tab"},
        {"a", "{", 0, "Field (a) cannot be written: its value holds \"{\""},
        {"a{", "1", 0, "Field (a{) cannot be written: its name holds \"{\""},
        {"a", "x}", 0, "Field (a) cannot be written: its value holds \"}\""},
        {"a: b", "1", 0, "Field (a: b) cannot be written: its name holds \": \""},
        {" a", "1", 0, "Field ( a) cannot be written: its name starts with white space"},
        {"a\r", "1", 0, "Field (a\r) cannot be written: its name ends with white space"},
        {"a", "\rb", 0, "Field (a) cannot be written: its value starts with white space"},
        {"a", "b ", 0, "Field (a) cannot be written: its value ends with white space"},
        {"a", "b   c", 1, "Field (outer:a) cannot be written: its value holds 3 spaces in a row, more than the 2 "
                           "of its indentation"},
        {"a     b", "1", 2, "Field (outer:outer:a     b) cannot be written: its name holds 5 spaces in a row, "
                            "more than the 4 of its indentation"},
        {"a:b", "", 0, "Block (a:b) cannot be written: its name holds \":\""},
        {"a}", "", 0, "Block (a}) cannot be written: its name holds \"}\""},
        {" a", "", 1, "Block (outer: a) cannot be written: its name starts with a space"},
        {"a   ", "", 1, "Block (outer:a   ) cannot be written: its name holds 3 spaces in a row, more than the 2 "
                          "of its indentation"},
        // What the reader gives, the writer takes back.
        {"a     b", "c     d", 0, ""},
        {"a    b", "c    d", 2, ""},
        {"a:", "b: c", 1, ""},
        {"a\rb", "c\rd", 0, ""},
        {"\"q\"", "\"v\"", 0, ""},
        {"a{", "", 1, ""},
        {"a  ", "", 1, ""},
        {"a ", "", 0, ""},
        {"\ra\r", "", 0, ""},
    };
    for (const CASE& c : cases) {
        TREE top(new PGM_PROTOBUF());
        PGM_PROTOBUF* parent = top.get();
        for (size_t level = 0; level < c.depth; ++level)
            parent = add_node(parent, "outer");
        PGM_PROTOBUF* node = add_node(parent, c.name, c.value);
        if (c.value.empty())
            add_node(node, "x", "1");
        if (!c.reason.empty()) {
            EXPECT_EQ(c.reason, refusal(top.get())) << c.name;
            continue;
        }
        std::string text = written(top.get());
        TREE again = read_tree(text);
        EXPECT_EQ(text, written(again.get()));
        PGM_PROTOBUF* read = again.get();
        for (size_t level = 0; level <= c.depth; ++level)
            read = read->childs.at(0);
        EXPECT_EQ(c.name, read->name);
        EXPECT_EQ(c.value, read->value);
    }
}

TEST(TextTree, WriterChecksItsArguments)
{
    TREE top = read_tree(EXAMPLE);
    PGM_PROTOBUF* device = top->childs[1];
    std::string output;
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_pgm_protobuf_to_string(NULL, output, ""), "protobuf != NULL");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_pgm_protobuf_to_string(top.get(), output, "  "),
                          "protobuf->name == \"\" && protobuf->value == \"\" && protobuf->parent == NULL && "
                          "protobuf->childs.size() > 0 && space == \"\"");
    const char* block = "protobuf->name != \"\" && protobuf->value == \"\" && protobuf->parent != NULL && "
                        "protobuf->childs.size() > 0 && !space.empty() && (space.size() % 2) == 0";
    output = "device {\n";
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_pgm_protobuf_to_string(device, output, " "), block);
    EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_pgm_protobuf_to_string(top.get(), output, "  "), block);
    output = "device {\n";
    EXPECT_EQ("", PGM_COMMON::convert_pgm_protobuf_to_string(device, output, "  "));
    EXPECT_EQ("device {\n  id: 0x1234\n  bank {\n    size: 16\n  }\n", output);

    // A block written on its own is not checked as a tree first.
    PGM_PROTOBUF* bank = device->childs[1];
    const std::pair<std::function<void()>, const char*> broken[] = {
        {[&] { bank->childs.push_back(NULL); }, "child != NULL"},
        {[&] { bank->childs.back() = new PGM_PROTOBUF("", "1", bank); }, "child->name != \"\""},
        {[&] { bank->childs.back()->name = "empty"; bank->childs.back()->value = ""; }, "child->childs.size() > 0"},
        {[&] { bank->childs.back()->value = "1"; add_node(bank->childs.back(), "x", "2"); },
         "child->childs.size() == 0"},
    };
    for (const auto& b : broken) {
        b.first();
        output = "device {\n";
        EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_pgm_protobuf_to_string(device, output, "  "), b.second);
        std::string tree_output;
        EXPECT_NE("", PGM_COMMON::convert_pgm_protobuf_to_string(top.get(), tree_output, ""));
    }
    bank->childs.back()->value = "";
    bank->childs.back()->parent = device;
    output.clear();
    EXPECT_EQ("None-Top (bank) child (empty) should have name and matching parent pointer",
              PGM_COMMON::convert_pgm_protobuf_to_string(top.get(), output, ""));
    EXPECT_EQ("", output);
}

TEST(TextTree, FindsChildrenByIndexAndByCriteria)
{
    TREE top = read_tree("one {\n  id: 5\n}\n"
                         "dev {\n  id: 5\n  kind: a\n}\ndev {\n  id: \"5\"\n  kind: b\n}\n"
                         "dev {\n  id: 6\n  kind: a\n}\n"
                         "odd {\n  id: 1\n}\nodd {\n  other: 1\n}\n"
                         "sub {\n  id {\n    x: 1\n  }\n}\nsub {\n  id: 1\n}\n");
    std::vector<PGM_PROTOBUF*> dev(top->childs.begin() + 1, top->childs.begin() + 4);
    struct CASE {
        const char* name;
        DWORD index;
        const char* criteria;
        std::vector<PGM_PROTOBUF*> found;
    };
    const CASE cases[] = {
        {"one", 5, "", {top->childs[0]}},
        {"one", 0, "id~9", {top->childs[0]}},
        {"none", DWORD(-1), "", {}},
        {"dev", 1, "", {dev[1]}},
        {"dev", 3, "", {}},
        {"dev", DWORD(-1), "", dev},
        {"dev", 7, "id~5", {dev[0], dev[1]}},
        {"dev", 0, "id~5|kind~a", {dev[0]}},
        {"dev", 0, " kind ~ a | id~6 ", {dev[2]}},
        {"dev", 0, "id~7", {}},
        {"dev", 0, "kind~a|size~1", {}},
        {"odd", 0, "id~1", {}},
    };
    for (const CASE& c : cases)
        EXPECT_EQ(c.found, PGM_COMMON::find_pgm_protobuf_childs(top.get(), c.name, c.index, c.criteria))
            << c.name << " " << c.criteria;
    const std::pair<std::function<void()>, const char*> errors[] = {
        {[&] { PGM_COMMON::find_pgm_protobuf_childs(NULL, "dev", 0, ""); }, "protobuf != NULL && !name.empty()"},
        {[&] { PGM_COMMON::find_pgm_protobuf_childs(top.get(), "", 0, ""); }, "protobuf != NULL && !name.empty()"},
        {[&] { PGM_COMMON::find_pgm_protobuf_childs(top.get(), "dev", 0, "|"); }, "criteria_pairs.size() > 0"},
        {[&] { PGM_COMMON::find_pgm_protobuf_childs(top.get(), "dev", 0, "id"); },
         "criteria.size() == 2 && criteria.at(0).size() > 0"},
        {[&] { PGM_COMMON::find_pgm_protobuf_childs(top.get(), "dev", 0, "id~1|~1"); },
         "criteria.size() == 2 && criteria.at(0).size() > 0"},
        {[&] { PGM_COMMON::find_pgm_protobuf_childs(top.get(), "dev", 0, "id~1~2"); },
         "criteria.size() == 2 && criteria.at(0).size() > 0"},
        {[&] { PGM_COMMON::find_pgm_protobuf_childs(top.get(), "sub", 0, "id~1"); },
         "grandchild->name == criteria.at(0) && grandchild->value != \"\" && grandchild->childs.size() == 0"},
    };
    for (const auto& e : errors)
        EXPECT_INTERNAL_ERROR(e.first(), e.second);
}

TEST(TextTree, OverwritesFieldsByPath)
{
    struct CASE {
        const char* expression;
        bool done;
        std::string reason;  // failure reason
        std::string changed; // the text after it, when done: DEVICES with these replacements
    };
    auto replaced = [](std::vector<std::pair<std::string, std::string>> edits) {
        std::string text = DEVICES;
        for (const auto& edit : edits)
            text.replace(text.find(edit.first), edit.first.size(), edit.second);
        return text;
    };
    const CASE cases[] = {
        {"name=y", true, "", replaced({{"\"x\"", "\"y\""}})},
        {" name = ", true, "", replaced({{"\"x\"", "\"\""}})},
        {"device@1;size=32", true, "", replaced({{"x2\n  size: 8", "x2\n  size: 32"}})},
        {"device;size=9", true, "", replaced({{"size: 8", "size: 9"}, {"size: 8", "size: 9"}})},
        {"device#id~0x2:bank;size=5", true, "", replaced({{"size: 2", "size: 5"}})},
        {"device@0:bank;size=7", true, "", replaced({{"size: 1", "size: 7"}})},
        {"device@7;size=32", false, "Could not find device@7 (index: 7, criteria: \"\"", ""},
        {"device@0:disk;size=1", false, "Could not find device@0:disk (index: -1, criteria: \"\"", ""},
        {"device#id~0x9;size=1", false, "Could not find device#id~0x9 (index: -1, criteria: \"id~0x9\"", ""},
        {"device:bank;size=1", false, "Recursive failure device (index: -1, criteria: \"\"", ""},
        {"size=1", false, "Fail to find replacement name size", ""},
        {"device;bank=1", false, "Fail to find replacement name bank", ""},
        {"name=a\tb", false, "Field (name) cannot be set to that value: it holds a tab", ""},
        {"device@1;id=a   b", false, "Field (device:id) cannot be set to that value: it holds 3 spaces in a row, "
                                   "more than the 2 of its indentation", ""},
        {"device@1;id=a{", false, "Field (device:id) cannot be set to that value: it holds \"{\"", ""},
        {"device@1:bank;size=a    b", true, "", replaced({{"size: 2", "size: a    b"}})},
    };
    for (const CASE& c : cases) {
        TREE top = read_tree(DEVICES);
        std::string reason = "old", name = "old", value = "old";
        EXPECT_EQ(c.done, PGM_COMMON::overwrite_pgm_protobuf(top.get(), c.expression, reason, name, value))
            << c.expression;
        EXPECT_EQ(c.reason, reason) << c.expression;
        EXPECT_EQ(c.done ? c.changed : DEVICES, written(top.get())) << c.expression;
    }
    TREE top = read_tree(DEVICES);
    std::string reason, name, value;
    EXPECT_TRUE(PGM_COMMON::overwrite_pgm_protobuf(top.get(), "device@1 ; size = 32 ", reason, name, value));
    EXPECT_EQ("size", name);
    EXPECT_EQ("32", value);
    const std::pair<const char*, const char*> errors[] = {
        {"", "!string.empty()"},
        {"a;b;c=1", "parent_replacemnt.size() == 2 && parent_replacemnt.at(0).size() > 0 && "
                    "parent_replacemnt.at(1).size() > 0"},
        {";c=1", "parent_replacemnt.size() == 2 && parent_replacemnt.at(0).size() > 0 && "
                 "parent_replacemnt.at(1).size() > 0"},
        {"device", "string.find(\"=\") != STL_STRING::npos"},
        {"=1", "temp.size() == 2 && temp.at(0).size() > 0"},
        {"a=1=2", "temp.size() == 2 && temp.at(0).size() > 0"},
        {"device@;size=1", "name_pair_index.size() == 2 && name_pair_index.at(0).size() > 0 && "
                           "name_pair_index.at(1).size() > 0"},
        {"device#;size=1", "name_pair_criteria.size() == 2 && name_pair_criteria.at(0).size() > 0 && "
                           "name_pair_criteria.at(1).size() > 0"},
        {"device@x;size=1", "Invalid string \"x\" to qword conversion"},
        {"device@0::bank;size=1", "protobuf != NULL && !name.empty()"},
        {"name:x;size=1", "childs.at(0)->value == \"\""},
        {"device@0;size=", "!value.empty()"},
        {"device#id;size=1", "criteria.size() == 2 && criteria.at(0).size() > 0"},
    };
    for (const auto& e : errors)
        EXPECT_INTERNAL_ERROR(PGM_COMMON::overwrite_pgm_protobuf(top.get(), e.first, reason, name, value), e.second);
    EXPECT_INTERNAL_ERROR(PGM_COMMON::overwrite_pgm_protobuf(NULL, "a=1", reason, name, value), "protobuf != NULL");
    add_node(top.get(), "hollow"); // neither field nor block: only a tree built in memory has one
    EXPECT_INTERNAL_ERROR(PGM_COMMON::overwrite_pgm_protobuf(top.get(), "hollow:x;a=1", reason, name, value),
                          "childs.at(0)->childs.size() > 0");
}

// 200000 levels: a recursive destructor, check or writer would run out
// of stack long before.
TEST(TextTree, DeepTreesAreCheckedAndDeletedWithoutRecursion)
{
    const size_t depth = 200000;
    TREE top(new PGM_PROTOBUF());
    PGM_PROTOBUF* node = top.get();
    for (size_t level = 0; level < depth; ++level)
        node = add_node(node, "b");
    PGM_PROTOBUF* leaf = add_node(node, "f", "1");
    std::string reason;
    EXPECT_TRUE(PGM_COMMON::validate_pgm_protobuf(top.get(), reason, true));
    add_node(node, "f", "2");
    EXPECT_FALSE(PGM_COMMON::validate_pgm_protobuf(top.get(), reason, true));
    EXPECT_EQ("Field child (f) duplicates the name", reason);
    node->childs.back()->name = "g";
    leaf->value = "a\tb";
    std::string output;
    reason = PGM_COMMON::convert_pgm_protobuf_to_string(top.get(), output, "");
    const std::string tab = ":f) cannot be written: its value holds a tab";
    EXPECT_EQ(0u, reason.find("Field (b:b:b:"));
    EXPECT_EQ(reason.size() - tab.size(), reason.find(tab));
    EXPECT_EQ(std::string::npos, reason.find("::"));
    top.reset();

    // A text nested deeply enough for its indentation to be most of it.
    std::string text;
    for (size_t level = 0; level < 1000; ++level)
        text += std::string(2 * level, ' ') + "b {\n";
    text += std::string(2000, ' ') + "f: 1\n";
    for (size_t level = 1000; level-- > 0;)
        text += std::string(2 * level, ' ') + "}\n";
    EXPECT_EQ(text, written(read_tree(text).get()));
}

// ---- pgmtool tree ----

TEST(PgmtoolTree, ReadsEditsAndWritesTrees)
{
    TEMP_DIR dir;
    write_file(dir.file("devices.txt"), DEVICES);
    write_file(dir.file("crlf.txt"), "a: 1\r\n\r\nb {\r\n  c: 2\r\n}\r\n");
    std::string edited = DEVICES;
    edited.replace(edited.find("size: 2"), 7, "size: 4");
    edited.replace(edited.find("\"x\""), 3, "\"z\"");
    expect_pgmtool({{"tree devices.txt", 0, DEVICES, "4 blocks, 7 fields\n"},
                    {"tree - < crlf.txt", 0, "a: 1\nb {\n  c: 2\n}\n", "1 block, 2 fields\n"},
                    {"tree devices.txt --set 'device@1:bank;size=3' --set=name=z '--set=device#id~0x2:bank;size=4'",
                     0, edited, "4 blocks, 7 fields\n"},
                    {"tree devices.txt --out=out/copy.txt", 0, "4 blocks, 7 fields\n", ""}},
                   dir.path());
    EXPECT_EQ(DEVICES, read_file(dir.file("out/copy.txt")));
}

TEST(PgmtoolTree, TellsWhatIsWrongAndWhere)
{
    TEMP_DIR dir;
    const std::pair<std::string, std::string> cases[] = {
        {"", "f: error: holds no tree: it is empty"},
        {"\n\r\n", "f: error: holds no tree: it has only empty lines"},
        {"a: 1\n\nb {\n  c:\t2\n}", "f:4: error: holds a tab: indent by two spaces per level, without tabs"},
        {"a: 1\nb: {x}", "f:2: error: a field line holds \"{\" or \"}\""},
        {"a: 1\nb:c {", "f:2: error: a block's opening line holds \":\""},
        {"a: 1\nb} {", "f:2: error: a block's opening line holds \"}\""},
        {"a: 1\n {", "f:2: error: the block has no name"},
        {"x {\n  y {\n    a: 1\n  }\n  b:  \n}", "f:5: error: the field has no value after \": \""},
        {"x {\n  : 1\n}", "f:2: error: the field has no name"},
        {"a:b", "f:1: error: is neither a field (NAME: VALUE), a block opening (NAME {) nor the closing \"}\" of "
                "a block"},
        {"x {\n  a: 1\n  b\n}", "f:3: error: is neither a field (NAME: VALUE), a block opening (NAME {) nor the "
                                "closing \"}\" of block x"},
        {"a: 1\n}", "f:2: error: closes a block, but no block is open"},
        {"x {\n  a: 1\n   }", "f:3: error: should be indented by 0 spaces, as the closing \"}\" of block x"},
        {" a: 1", "f:1: error: is indented by 1 space, not 0"},
        {"x {\n  y {\n   a: 1\n  }\n}", "f:3: error: is indented by 3 spaces, not 4"},
        {"x {\n  y {\n  a: 1\n  }\n}", "f:3: error: is indented by 2 spaces, not 4"},
        {"x {\n  a:   1\n}", "f:2: error: holds 3 spaces in a row, more than the 2 of its indentation"},
        {"x {\n  a: 1\n", "f:1: error: block x is not closed"},
        {"x {\n}", "f:1: error: block x is empty: a block needs a field or a block"},
        {"x {\n  a: 1\n  b: 2\n  a: 3\n}", "f:4: error: field a is given twice in block x (first on line 2)"},
        {"a: 1\nb: 2\na {\n  c: 3\n}", "f:5: error: block a takes the name of the field on line 1"},
    };
    for (const auto& c : cases) {
        write_file(dir.file("f"), c.first);
        expect_pgmtool({{"tree f", 2, "", c.second + "\n"}}, dir.path());
    }
    write_file(dir.file("devices.txt"), DEVICES);
    const std::string failed = "devices.txt: error: ";
    const std::string usage = "pgmtool: error: --set";
    const std::string help = "\nTry \"pgmtool tree --help\" for more information.\n";
    const PGMTOOL_CASE sets[] = {
        {"--set='device@7;size=32' --out=o", 2, "", failed + "Could not find device@7 (index: 7, criteria: \"\"\n"},
        {"--set=name=y --set=size=1", 2, "", failed + "Fail to find replacement name size\n"},
        {"'--set=device@0;id=a   b'", 2, "",
         failed + "Field (device:id) cannot be set to that value: it holds 3 spaces in a row, more than the 2 of its "
                  "indentation\n"},
        {"--set='name:x;a=1'", 2, "", failed + "--set=name:x;a=1: a step of the path names a field, not a block\n"},
        {"--set='device;size='", 2, "",
         failed + "--set=device;size=: an empty value can go only into a quoted field\n"},
        {"--set='device#id:bank;size=1'", 1, "", usage + "=device#id:bank;size=1: criteria are FIELD~VALUE pairs "
                                                         "joined by \"|\"" + help},
        {"--set=device", 1, "", usage + "=device: the assignment has no \"=\" (NAME=VALUE)" + help},
        {"--set='device@x;size=1'", 1, "", usage + "=device@x;size=1: the index of a step NAME@INDEX is not a number" +
                                               help},
        {"--set=", 1, "", usage + " needs a value (--set=PATH;NAME=VALUE)" + help},
    };
    for (PGMTOOL_CASE c : sets) {
        c.arguments = "tree devices.txt " + c.arguments;
        expect_pgmtool({c}, dir.path());
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("o")));
}
