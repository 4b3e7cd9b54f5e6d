// Text trees: lines of "name: value" fields and "name {" ... "}" blocks,
// two spaces of indentation per level. Reading, checking, searching,
// editing by path and writing.
//
// Nothing here recurses along the depth of a tree: the destructor, the
// check and the writer keep their own stacks, so a tree built in memory may
// be as deep as memory allows. Reading is linear in the text's size.
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/h/pgm_common.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_set>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

PGM_PROTOBUF::PGM_PROTOBUF() : parent(NULL) {}

PGM_PROTOBUF::PGM_PROTOBUF(std::string name_, std::string value_, PGM_PROTOBUF* parent_)
    : name(std::move(name_)), value(std::move(value_)), parent(parent_)
{
}

// Walks down to a leaf, deletes it and climbs back, taking each child off
// its parent's list first; the climb uses the parent pointers, which are
// set on the way down, so no memory is needed and no recursion happens.
PGM_PROTOBUF::~PGM_PROTOBUF()
{
    PGM_PROTOBUF* node = this;
    for (;;) {
        if (!node->childs.empty()) {
            PGM_PROTOBUF* child = node->childs.back();
            node->childs.pop_back();
            if (child != NULL) {
                child->parent = node;
                node = child;
            }
        } else if (node == this) {
            return;
        } else {
            PGM_PROTOBUF* up = node->parent;
            delete node; // childless: its destructor returns at once
            node = up;
        }
    }
}

namespace {

// What a name or value is, for telling whether it can be written.
enum TEXT_KIND { FIELD_NAME, FIELD_VALUE, BLOCK_NAME };

// The length of the longest run of spaces in the first size characters.
size_t longest_space_run(const std::string& text, size_t size)
{
    size_t longest = 0, run = 0;
    for (size_t i = 0; i < size; ++i) {
        run = text[i] == ' ' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

bool is_trimmed_away(char c) { return c == ' ' || c == '\r'; }

// Why the text, written as a kind at this depth, would not read back as
// it is ("holds a tab"); empty when it would. The reader splits lines at
// line feeds, refuses tabs and braces in fields and ":" and "}" in block
// lines, trims field names and values of spaces and carriage returns, and
// takes a run of more spaces than the indentation for a wrong indentation.
std::string text_problem(const std::string& text, TEXT_KIND kind, size_t depth)
{
    if (text.find('\n') != std::string::npos)
        return "holds a line feed";
    if (text.find('\t') != std::string::npos)
        return "holds a tab";
    if (text.find('}') != std::string::npos)
        return "holds \"}\"";
    if (kind != BLOCK_NAME && text.find('{') != std::string::npos)
        return "holds \"{\"";
    if (kind == FIELD_NAME && text.find(": ") != std::string::npos)
        return "holds \": \"";
    if (kind == BLOCK_NAME && text.find(':') != std::string::npos)
        return "holds \":\"";
    if (kind == BLOCK_NAME && !text.empty() && text.front() == ' ')
        return "starts with a space";
    if (kind != BLOCK_NAME && !text.empty() && is_trimmed_away(text.front()))
        return "starts with white space";
    if (kind != BLOCK_NAME && !text.empty() && is_trimmed_away(text.back()))
        return "ends with white space";
    size_t run = longest_space_run(text, text.size());
    std::string problem;
    if (depth > 0 && run > 2 * depth)
        MEM_DETAIL::stl_raw_sprintf(problem, "holds %zu spaces in a row, more than the %zu of its indentation", run,
                                    2 * depth);
    return problem;
}

// The names from the top down to the node, joined by ":".
std::string path_of(const PGM_PROTOBUF* node)
{
    std::vector<const std::string*> names;
    for (; node != NULL && node->parent != NULL; node = node->parent)
        names.push_back(&node->name);
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        path += (path.empty() ? "" : ":") + **name;
    return path;
}

// The nesting level of a node's line: 0 for a child of the top.
size_t depth_of(const PGM_PROTOBUF* node)
{
    size_t depth = 0;
    for (node = node->parent; node != NULL && node->parent != NULL; node = node->parent)
        ++depth;
    return depth;
}

bool is_quoted(const std::string& value)
{
    return value.size() >= 2 && value.front() == '"' && value.back() == '"';
}

// Appends a new node to parent's children and returns it.
PGM_PROTOBUF* add_child(PGM_PROTOBUF* parent, const std::string& name, const std::string& value)
{
    std::unique_ptr<PGM_PROTOBUF> child(new PGM_PROTOBUF(name, value, parent));
    parent->childs.push_back(child.get());
    return child.release();
}

// The reader's place in the text: the block being filled and its
// children's indentation.
class TREE_READER {
public:
    explicit TREE_READER(PGM_PROTOBUF* top) : pgm_protobuf(top), parent(top) {}

    void read_line(const std::string& line)
    {
        const size_t line_size = line.size();
        PGM_CHECK(line_size > 0);
        PGM_CHECK_TEXT(line.find('\t') == std::string::npos, "line.find(\"\\t\") == STL_STRING::npos");
        size_t separator = line.find(": ");
        if (separator != std::string::npos && separator != 0 && separator + 2 < line_size)
            read_field(line);
        else if (line_size >= 2 && line.compare(line_size - 2, 2, " {") == 0)
            open_block(line);
        else
            close_block(line);
    }

    // After the last line.
    void finish() const
    {
        PGM_CHECK(space.size() == 0);
        PGM_CHECK(parent == pgm_protobuf);
    }

private:
    void read_field(const std::string& line)
    {
        PGM_CHECK_TEXT(line.find('{') == std::string::npos && line.find('}') == std::string::npos,
                       "line.find(\"{\") == STL_STRING::npos && line.find(\"}\") == STL_STRING::npos");
        const size_t line_size = line.size();
        PGM_CHECK(line_size > space.size());
        check_indentation(line, line_size);
        std::vector<std::string> pairs = PGM_COMMON::split_string(line, ": ", true, true, 2);
        PGM_CHECK(pairs.size() == 2 && pairs.at(1).size() > 0);
        add_child(parent, pairs[0], pairs[1]);
    }

    void open_block(const std::string& line)
    {
        PGM_CHECK_TEXT(line.find(':') == std::string::npos && line.find('}') == std::string::npos,
                       "line.find(\":\") == STL_STRING::npos && line.find(\"}\") == STL_STRING::npos");
        const size_t line_size = line.size() - 2; // without " {"
        PGM_CHECK(line_size > space.size());
        check_indentation(line, line_size);
        parent = add_child(parent, line.substr(space.size(), line_size - space.size()), "");
        space += "  ";
    }

    void close_block(const std::string& line)
    {
        if (space.size() < 2)
            PGM_FAIL("Invalid !%s!, Space $%s$", line.c_str(), space.c_str());
        space.resize(space.size() - 2);
        if (line.size() != space.size() + 1 || line.compare(0, space.size(), space) != 0 || line.back() != '}')
            PGM_FAIL("Invalid !%s!, Space $%s$", line.c_str(), space.c_str());
        parent = parent->parent;
        PGM_CHECK(parent != NULL);
    }

    // The first line_size characters must be the indentation and a text
    // that starts with no space and holds no run of more spaces than the
    // indentation.
    void check_indentation(const std::string& line, size_t line_size) const
    {
        if (space.empty()) {
            PGM_CHECK_TEXT(line[0] != ' ', "line.find(\" \") != 0");
            return;
        }
        if (line.compare(0, space.size(), space) != 0 || longest_space_run(line, line_size) > space.size())
            PGM_FAIL("Invalid !%s!, Space $%s$", line.substr(0, line_size).c_str(), space.c_str());
    }

    PGM_PROTOBUF* pgm_protobuf; // the top
    PGM_PROTOBUF* parent;       // the block whose lines are being read
    std::string space;          // the indentation of its children
};

std::string node_problem(const PGM_PROTOBUF* node, bool top)
{
    std::string problem;
    if (top && (!node->name.empty() || !node->value.empty() || node->parent != NULL || node->childs.empty()))
        problem = "Top should not have name, value and parent. Top should have child(s)";
    if (!top && (node->name.empty() || node->parent == NULL || node->childs.empty() || !node->value.empty()))
        MEM_DETAIL::stl_raw_sprintf(problem,
                                    "None-Top (%s) should have name, parent and child(s). "
                                    "None-Top should not have value",
                                    node->name.c_str());
    return problem;
}

// One block being checked: the next child to look at and the names of the
// fields seen so far.
struct CHECK_LEVEL {
    const PGM_PROTOBUF* node;
    size_t next;
    std::unordered_set<std::string_view> fields;
};

// The first rule the tree breaks, in the order of its text; empty when none.
std::string tree_problem(const PGM_PROTOBUF* protobuf, bool top)
{
    std::string problem = node_problem(protobuf, top);
    std::vector<CHECK_LEVEL> levels;
    levels.push_back({protobuf, 0, {}});
    while (problem.empty() && !levels.empty()) {
        CHECK_LEVEL& level = levels.back();
        if (level.next == level.node->childs.size()) {
            const std::string& name = level.node->name;
            levels.pop_back();
            if (!levels.empty() && levels.back().fields.count(name) > 0)
                MEM_DETAIL::stl_raw_sprintf(problem, "None-Top (%s) duplicates the name", name.c_str());
            continue;
        }
        const PGM_PROTOBUF* child = level.node->childs[level.next++];
        const char* child_name = child != NULL ? child->name.c_str() : "";
        if (child == NULL || child->name.empty() || child->parent != level.node) {
            if (top && levels.size() == 1)
                MEM_DETAIL::stl_raw_sprintf(problem, "Top child (%s) should have name and matching parent pointer",
                                            child_name);
            else
                MEM_DETAIL::stl_raw_sprintf(problem,
                                            "None-Top (%s) child (%s) should have name and matching parent pointer",
                                            level.node->name.c_str(), child_name);
        } else if (!child->value.empty() && child->childs.empty()) {
            if (!level.fields.insert(child->name).second)
                MEM_DETAIL::stl_raw_sprintf(problem, "Field child (%s) duplicates the name", child_name);
        } else if (child->value.empty() && !child->childs.empty()) {
            problem = node_problem(child, false);
            levels.push_back({child, 0, {}}); // level is not used after this
        } else {
            MEM_DETAIL::stl_raw_sprintf(problem, "Field child (%s) should have value but not child(s)", child_name);
        }
    }
    return problem;
}

// One block being written or looked over: the next child.
struct WRITE_LEVEL {
    const PGM_PROTOBUF* node;
    size_t next;
};

// The first name or value below protobuf, in the order of the text, that
// would not read back as it is, with the node it belongs to; empty when
// there is none. Nodes the writer refuses outright are left to it. It runs
// before anything is written: the text of a deep tree grows with the square
// of its depth, and a refusal should not wait for it.
std::string unwritable(const PGM_PROTOBUF* protobuf, size_t depth)
{
    std::vector<WRITE_LEVEL> levels = {{protobuf, 0}};
    while (!levels.empty()) {
        WRITE_LEVEL& level = levels.back();
        if (level.next == level.node->childs.size()) {
            levels.pop_back();
            continue;
        }
        const PGM_PROTOBUF* child = level.node->childs[level.next++];
        if (child == NULL || child->name.empty())
            continue;
        const size_t child_depth = depth + levels.size() - 1;
        const bool field = !child->value.empty();
        std::string problem = text_problem(child->name, field ? FIELD_NAME : BLOCK_NAME, child_depth);
        const char* part = "name";
        if (problem.empty() && field) {
            problem = text_problem(child->value, FIELD_VALUE, child_depth);
            part = "value";
        }
        if (!problem.empty()) {
            std::string reason;
            MEM_DETAIL::stl_raw_sprintf(reason, "%s (%s) cannot be written: its %s %s", field ? "Field" : "Block",
                                        path_of(child).c_str(), part, problem.c_str());
            return reason;
        }
        if (!field)
            levels.push_back({child, 0}); // level is not used after this
    }
    return "";
}

// A block that is written: named, with a parent and children, its
// children indented by a non-empty, even number of spaces.
void check_block(const PGM_PROTOBUF* protobuf, const std::string& space)
{
    PGM_CHECK(protobuf->name != "" && protobuf->value == "" && protobuf->parent != NULL &&
              protobuf->childs.size() > 0 && !space.empty() && (space.size() % 2) == 0);
}

// Appends the lines of protobuf's children, indented by space.
void write_childs(const PGM_PROTOBUF* protobuf, std::string& output, std::string space)
{
    std::vector<WRITE_LEVEL> levels = {{protobuf, 0}};
    while (!levels.empty()) {
        WRITE_LEVEL& level = levels.back();
        if (level.next == level.node->childs.size()) {
            levels.pop_back();
            if (!levels.empty()) {
                space.resize(space.size() - 2);
                output.append(space).append("}\n");
            }
            continue;
        }
        const PGM_PROTOBUF* child = level.node->childs[level.next++];
        PGM_CHECK(child != NULL);
        PGM_CHECK(child->name != "");
        if (child->value != "") {
            PGM_CHECK(child->childs.size() == 0);
            output.append(space).append(child->name).append(": ").append(child->value).append("\n");
            continue;
        }
        PGM_CHECK(child->childs.size() > 0);
        output.append(space).append(child->name).append(" {\n");
        space += "  ";
        check_block(child, space);
        levels.push_back({child, 0}); // level is not used after this
    }
}

} // namespace

PGM_PROTOBUF* PGM_COMMON::convert_string_to_pgm_protobuf(std::string string)
{
    if (string.empty())
        return NULL;
    std::unique_ptr<PGM_PROTOBUF> pgm_protobuf(new PGM_PROTOBUF());
    std::vector<std::string> lines = split_string(std::move(string), "\n", false, false, DWORD(-1), {}, "", true);
    PGM_CHECK(lines.size());
    TREE_READER reader(pgm_protobuf.get());
    for (const std::string& line : lines)
        reader.read_line(line);
    reader.finish();
    std::string failed_reason;
    bool valid = validate_pgm_protobuf(pgm_protobuf.get(), failed_reason, true);
    PGM_CHECK_TEXT(valid, failed_reason.c_str());
    return pgm_protobuf.release();
}

std::string PGM_COMMON::convert_pgm_protobuf_to_string(const PGM_PROTOBUF* protobuf, std::string& output,
                                                       std::string space)
{
    PGM_CHECK(protobuf != NULL);
    std::string failed_reason;
    if (output.empty()) {
        if (!validate_pgm_protobuf(protobuf, failed_reason, true)) {
            PGM_CHECK(!failed_reason.empty());
            return failed_reason;
        }
        PGM_CHECK(protobuf->name == "" && protobuf->value == "" && protobuf->parent == NULL &&
                  protobuf->childs.size() > 0 && space == "");
    } else {
        check_block(protobuf, space);
    }
    failed_reason = unwritable(protobuf, space.size() / 2);
    if (failed_reason.empty())
        write_childs(protobuf, output, space);
    return failed_reason;
}

bool PGM_COMMON::validate_pgm_protobuf(const PGM_PROTOBUF* protobuf, std::string& failed_reason, bool top)
{
    PGM_CHECK(protobuf != NULL);
    failed_reason = tree_problem(protobuf, top);
    return failed_reason.empty();
}

std::vector<PGM_PROTOBUF*> PGM_COMMON::find_pgm_protobuf_childs(PGM_PROTOBUF* protobuf, std::string name,
                                                                DWORD index, std::string criteria)
{
    PGM_CHECK(protobuf != NULL && !name.empty());
    std::vector<PGM_PROTOBUF*> childs;
    for (PGM_PROTOBUF* child : protobuf->childs) {
        if (child != NULL && child->name == name)
            childs.push_back(child);
    }
    if (childs.size() <= 1)
        return childs;
    if (criteria.empty()) {
        if (index < childs.size())
            return {childs[index]};
        return index == DWORD(-1) ? childs : std::vector<PGM_PROTOBUF*>();
    }
    std::vector<std::string> criteria_pairs = split_string(criteria, "|");
    PGM_CHECK(criteria_pairs.size() > 0);
    std::vector<std::vector<std::string>> pairs;
    for (const std::string& pair : criteria_pairs) {
        pairs.push_back(split_string(pair, "~", true, true));
        PGM_CHECK_TEXT(pairs.back().size() == 2 && pairs.back().at(0).size() > 0,
                       "criteria.size() == 2 && criteria.at(0).size() > 0");
    }
    std::vector<size_t> possibilities;
    for (PGM_PROTOBUF* candidate : childs) {
        size_t satisfied = 0;
        for (const std::vector<std::string>& pair : pairs) {
            std::vector<PGM_PROTOBUF*> found = find_pgm_protobuf_childs(candidate, pair[0], 0, "");
            if (found.size() != 1)
                return std::vector<PGM_PROTOBUF*>();
            const PGM_PROTOBUF* grandchild = found[0];
            PGM_CHECK_TEXT(grandchild->name == pair[0] && grandchild->value != "" && grandchild->childs.size() == 0,
                           "grandchild->name == criteria.at(0) && grandchild->value != \"\" && "
                           "grandchild->childs.size() == 0");
            const std::string& value = grandchild->value;
            if (value == pair[1] || (is_quoted(value) && value.compare(1, value.size() - 2, pair[1]) == 0))
                ++satisfied;
        }
        possibilities.push_back(satisfied);
    }
    PGM_CHECK(possibilities.size() == childs.size());
    const size_t most = *std::max_element(possibilities.begin(), possibilities.end());
    std::vector<PGM_PROTOBUF*> best;
    for (size_t i = 0; i < childs.size() && most > 0; ++i) {
        if (possibilities[i] == most)
            best.push_back(childs[i]);
    }
    return best;
}

bool PGM_COMMON::overwrite_pgm_protobuf_value(PGM_PROTOBUF* protobuf, std::string name, std::string value,
                                              std::string& failed_reason)
{
    PGM_CHECK(protobuf != NULL && !name.empty());
    for (PGM_PROTOBUF* child : protobuf->childs) {
        if (child == NULL || child->name != name || child->value.empty() || !child->childs.empty())
            continue;
        if (is_quoted(child->value)) {
            value = "\"" + value + "\"";
        } else {
            PGM_CHECK(!value.empty());
        }
        std::string problem = text_problem(value, FIELD_VALUE, depth_of(child));
        if (!problem.empty()) {
            MEM_DETAIL::stl_raw_sprintf(failed_reason, "Field (%s) cannot be set to that value: it %s",
                                        path_of(child).c_str(), problem.c_str());
            return false;
        }
        child->value = value;
        return true;
    }
    MEM_DETAIL::stl_raw_sprintf(failed_reason, "Fail to find replacement name %s", name.c_str());
    return false;
}

bool PGM_COMMON::overwrite_pgm_protobuf(const PGM_PROTOBUF* protobuf, std::string string, std::string& failed_reason,
                                        std::string& name, std::string& value)
{
    PGM_CHECK(protobuf != NULL);
    PGM_CHECK(!string.empty());
    failed_reason.clear();
    name.clear();
    value.clear();
    std::vector<std::string> steps;
    if (string.find(";") != std::string::npos) {
        std::vector<std::string> parent_replacemnt = split_string(string, ";", true, true);
        PGM_CHECK(parent_replacemnt.size() == 2 && parent_replacemnt.at(0).size() > 0 &&
                  parent_replacemnt.at(1).size() > 0);
        steps = split_string(parent_replacemnt[0], ":", true, true);
        string = parent_replacemnt[1];
    }
    PGM_CHECK_TEXT(string.find('=') != std::string::npos, "string.find(\"=\") != STL_STRING::npos");
    std::vector<std::string> temp = split_string(string, "=", true, true);
    PGM_CHECK(temp.size() == 2 && temp.at(0).size() > 0);
    name = temp[0];
    value = temp[1];
    // The tree is the caller's to change; only the pointer is const.
    PGM_PROTOBUF* node = const_cast<PGM_PROTOBUF*>(protobuf);
    if (steps.empty())
        return overwrite_pgm_protobuf_value(node, name, value, failed_reason);
    std::string walked;
    for (size_t i = 0; i < steps.size(); ++i) {
        const std::string& step = steps[i];
        walked += (i == 0 ? "" : ":") + step;
        std::string block = step, criteria;
        DWORD index = DWORD(-1);
        if (step.find('#') != std::string::npos) {
            std::vector<std::string> name_pair_criteria = split_string(step, "#", true, true);
            PGM_CHECK(name_pair_criteria.size() == 2 && name_pair_criteria.at(0).size() > 0 &&
                      name_pair_criteria.at(1).size() > 0);
            block = name_pair_criteria[0];
            criteria = name_pair_criteria[1];
        } else if (step.find('@') != std::string::npos) {
            std::vector<std::string> name_pair_index = split_string(step, "@", true, true);
            PGM_CHECK(name_pair_index.size() == 2 && name_pair_index.at(0).size() > 0 &&
                      name_pair_index.at(1).size() > 0);
            block = name_pair_index[0];
            index = convert_string_to_dword(name_pair_index[1]);
        }
        std::vector<PGM_PROTOBUF*> childs = find_pgm_protobuf_childs(node, block, index, criteria);
        if (childs.empty()) {
            MEM_DETAIL::stl_raw_sprintf(failed_reason, "Could not find %s (index: %d, criteria: \"%s\"",
                                        walked.c_str(), int(index), criteria.c_str());
            return false;
        }
        if (i + 1 == steps.size()) {
            for (PGM_PROTOBUF* child : childs) {
                if (!overwrite_pgm_protobuf_value(child, name, value, failed_reason))
                    return false;
            }
            return true;
        }
        if (childs.size() > 1) {
            MEM_DETAIL::stl_raw_sprintf(failed_reason, "Recursive failure %s (index: %d, criteria: \"%s\"",
                                        walked.c_str(), int(index), criteria.c_str());
            return false;
        }
        PGM_CHECK(childs.at(0)->value == "");
        PGM_CHECK(childs.at(0)->childs.size() > 0);
        node = childs.at(0);
    }
    return true;
}
