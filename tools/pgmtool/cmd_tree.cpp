// pgmtool tree: read a text tree, change fields by path, write it back.
//
// The library refuses a malformed text with the rule the text breaks, but
// not where; the lines are then gone over here as the library reads them,
// to name the line and say in words what is wrong with it.
#include "pgmtool_frame.h"

#include "host/gen.h"

#include <map>
#include <memory>

namespace {

// Where a text tree is wrong: the line (0 for the whole file) and what is
// wrong with it; an empty text when nothing is found.
struct TREE_FAULT {
    long line;
    std::string text;
};

// A block open at some line, with what it holds so far.
struct OPEN_BLOCK {
    std::string name;
    long line;
    bool filled;                        // holds a field or a block
    std::map<std::string, long> fields; // the fields' names and lines
};

const char* const NOT_A_LINE =
    "is neither a field (NAME: VALUE), a block opening (NAME {) nor the closing \"}\" of ";

size_t leading_spaces(const std::string& line)
{
    return std::min(line.find_first_not_of(' '), line.size());
}

size_t longest_space_run(const std::string& text, size_t size)
{
    size_t longest = 0, run = 0;
    for (size_t i = 0; i < size; ++i) {
        run = text[i] == ' ' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// The lines of a text tree as the library reads them, and the first rule
// broken: a fault of a line ends the reading; a broken rule of the tree
// (a duplicate, an empty block) is told only when the lines hold no fault.
class TREE_LINES {
public:
    TREE_FAULT locate(const std::string& text)
    {
        long number = 0;
        bool any = false;
        for (size_t start = 0; start < text.size();) {
            size_t end = std::min(text.find('\n', start), text.size());
            std::string line = text.substr(start, end - start);
            if (end < text.size() && !line.empty() && line.back() == '\r')
                line.pop_back();
            start = end + 1;
            ++number;
            if (line.empty())
                continue;
            any = true;
            std::string fault = line_fault(line, number);
            if (!fault.empty())
                return {number, fault};
        }
        if (!any)
            return {0, "holds no tree: it has only empty lines"};
        if (open_.size() > 1)
            return {open_.back().line, "block " + open_.back().name + " is not closed"};
        return rule_;
    }

private:
    std::string line_fault(const std::string& line, long number)
    {
        if (line.find('\t') != std::string::npos)
            return "holds a tab: indent by two spaces per level, without tabs";
        size_t separator = line.find(": ");
        if (separator != std::string::npos && separator != 0 && separator + 2 < line.size())
            return field_fault(line, number);
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, " {") == 0)
            return block_fault(line, number);
        return close_fault(line, number);
    }

    std::string field_fault(const std::string& line, long number)
    {
        if (line.find_first_of("{}") != std::string::npos)
            return "a field line holds \"{\" or \"}\"";
        std::string fault = indentation_fault(line, line.size());
        if (!fault.empty())
            return fault;
        std::string rest = gen_remove_leading_and_trailing_white_spaces(line);
        size_t separator = rest.find(": ");
        if (separator == std::string::npos ||
            gen_remove_leading_and_trailing_white_spaces(rest.substr(separator + 2)).empty())
            return "the field has no value after \": \"";
        const std::string name = gen_remove_leading_and_trailing_white_spaces(rest.substr(0, separator));
        OPEN_BLOCK& block = open_.back();
        block.filled = true;
        if (name.empty()) {
            broken(number, "the field has no name");
        } else if (block.fields.count(name) > 0) {
            broken(number, "field " + name + " is given twice" + (open_.size() > 1 ? " in block " + block.name : "") +
                               " (first on line " + std::to_string(block.fields[name]) + ")");
        } else {
            block.fields[name] = number;
        }
        return "";
    }

    std::string block_fault(const std::string& line, long number)
    {
        if (line.find(':') != std::string::npos)
            return "a block's opening line holds \":\"";
        if (line.find('}') != std::string::npos)
            return "a block's opening line holds \"}\"";
        const size_t line_size = line.size() - 2;
        if (leading_spaces(line) >= line_size)
            return "the block has no name";
        std::string fault = indentation_fault(line, line_size);
        if (!fault.empty())
            return fault;
        open_.back().filled = true;
        open_.push_back({line.substr(indentation(), line_size - indentation()), number, false, {}});
        return "";
    }

    std::string close_fault(const std::string& line, long number)
    {
        const bool closing = gen_remove_leading_and_trailing_white_spaces(line) == "}";
        if (open_.size() == 1)
            return closing ? "closes a block, but no block is open" : std::string(NOT_A_LINE) + "a block";
        const std::string& name = open_.back().name;
        const size_t wanted = indentation() - 2;
        if (line != std::string(wanted, ' ') + "}")
            return closing ? "should be indented by " + pgmtool_amount(wanted, "space") +
                                 ", as the closing \"}\" of block " + name
                           : NOT_A_LINE + ("block " + name);
        OPEN_BLOCK closed = open_.back();
        open_.pop_back();
        if (!closed.filled)
            broken(closed.line, "block " + closed.name + " is empty: a block needs a field or a block");
        else if (open_.back().fields.count(closed.name) > 0)
            broken(number, "block " + closed.name + " takes the name of the field on line " +
                               std::to_string(open_.back().fields[closed.name]));
        return "";
    }

    // The first line_size characters must be the indentation, then a text
    // with no run of more spaces than the indentation.
    std::string indentation_fault(const std::string& line, size_t line_size) const
    {
        const size_t indented = leading_spaces(line);
        if (indented != indentation())
            return "is indented by " + pgmtool_amount(indented, "space") + ", not " + std::to_string(indentation());
        const size_t run = longest_space_run(line, line_size);
        if (indentation() > 0 && run > indentation())
            return "holds " + std::to_string(run) + " spaces in a row, more than the " +
                   std::to_string(indentation()) + " of its indentation";
        return "";
    }

    size_t indentation() const { return 2 * (open_.size() - 1); }

    void broken(long line, const std::string& text)
    {
        if (rule_.text.empty())
            rule_ = {line, text};
    }

    std::vector<OPEN_BLOCK> open_ = {{"", 0, false, {}}}; // the top first
    TREE_FAULT rule_ = {0, ""};
};

typedef std::unique_ptr<PGM_PROTOBUF> TREE;

TREE read_tree(const std::string& file, const std::string& text)
{
    if (text.empty())
        throw PGMTOOL_FAILURE(file, "holds no tree: it is empty");
    try {
        return TREE(PGM_COMMON::convert_string_to_pgm_protobuf(text));
    } catch (const PGM_INTERNAL_ERROR& error) {
        TREE_FAULT fault = TREE_LINES().locate(text);
        if (fault.text.empty())
            throw PGMTOOL_FAILURE(file, std::string("is not a valid text tree (") + error.what() + ")");
        throw PGMTOOL_FAILURE(file, fault.text, fault.line);
    }
}

// What the library's checks of a --set expression mean; the first ones are
// mistakes of the expression alone, the others depend on the tree.
const std::pair<const char*, const char*> SET_MISTAKES[] = {
    {"parent_replacemnt.size() == 2 && parent_replacemnt.at(0).size() > 0 && parent_replacemnt.at(1).size() > 0",
     "a path and an assignment are joined by one \";\" (PATH;NAME=VALUE)"},
    {"string.find(\"=\") != STL_STRING::npos", "the assignment has no \"=\" (NAME=VALUE)"},
    {"temp.size() == 2 && temp.at(0).size() > 0", "the assignment needs a name and one \"=\" (NAME=VALUE)"},
    {"name_pair_index.size() == 2 && name_pair_index.at(0).size() > 0 && name_pair_index.at(1).size() > 0",
     "a step NAME@INDEX needs a name and an index"},
    {"name_pair_criteria.size() == 2 && name_pair_criteria.at(0).size() > 0 && name_pair_criteria.at(1).size() > 0",
     "a step NAME#FIELD~VALUE needs a name and criteria"},
    {"protobuf != NULL && !name.empty()", "the path has an empty step"},
    {"criteria_pairs.size() > 0", "the criteria hold no FIELD~VALUE pair"},
    {"criteria.size() == 2 && criteria.at(0).size() > 0", "criteria are FIELD~VALUE pairs joined by \"|\""},
};
const std::pair<const char*, const char*> SET_FAILURES[] = {
    {"childs.at(0)->value == \"\"", "a step of the path names a field, not a block"},
    {"grandchild->name == criteria.at(0) && grandchild->value != \"\" && grandchild->childs.size() == 0",
     "the criteria name a block, not a field"},
    {"!value.empty()", "an empty value can go only into a quoted field"},
};

void apply(const std::string& file, PGM_PROTOBUF* top, const std::string& expression)
{
    std::string reason, name, value;
    try {
        if (PGM_COMMON::overwrite_pgm_protobuf(top, expression, reason, name, value))
            return;
    } catch (const PGM_INTERNAL_ERROR& error) {
        const std::string condition = error.what();
        const std::string set = "--set=" + expression + ": ";
        for (const auto& mistake : SET_MISTAKES) {
            if (condition == mistake.first)
                throw PGMTOOL_USAGE(set + mistake.second);
        }
        if (condition.compare(0, 16, "Invalid string \"") == 0)
            throw PGMTOOL_USAGE(set + "the index of a step NAME@INDEX is not a number");
        for (const auto& failure : SET_FAILURES) {
            if (condition == failure.first)
                throw PGMTOOL_FAILURE(file, set + failure.second);
        }
        throw PGMTOOL_FAILURE(file, "--set=" + expression + " cannot be applied (" + condition + ")");
    }
    throw PGMTOOL_FAILURE(file, reason);
}

// The numbers of blocks and fields below the top.
std::pair<size_t, size_t> count_nodes(const PGM_PROTOBUF* top)
{
    std::pair<size_t, size_t> counts(0, 0);
    std::vector<const PGM_PROTOBUF*> pending(top->childs.begin(), top->childs.end());
    while (!pending.empty()) {
        const PGM_PROTOBUF* node = pending.back();
        pending.pop_back();
        ++(node->childs.empty() ? counts.second : counts.first);
        pending.insert(pending.end(), node->childs.begin(), node->childs.end());
    }
    return counts;
}

} // namespace

int pgmtool_tree(int argc, const char** argv)
{
    std::vector<std::string> sets;
    std::string out;
    PGMTOOL_ARGS args(
        "tree", {"tree FILE [--set=PATH;NAME=VALUE]... [--out=OUT]"},
        {"Reads FILE as a text tree: \"NAME: VALUE\" fields and \"NAME {\" ... \"}\" blocks, indented",
         "by two spaces per level. Changes fields with each --set in order, then writes the tree",
         "to OUT or to standard output. PATH is block steps joined by \":\", each NAME (every",
         "block of that name), NAME@INDEX (dev@1: the second block dev) or NAME#FIELD~VALUE|...",
         "(the blocks NAME whose fields match best); NAME=VALUE alone changes a field at the top.",
         "A field whose value is in double quotes keeps them."},
        "pgmtool tree board.txt --set='device#id~0x1234:bank;size=32' --set=mode=fast --out=new.txt");
    args.texts("set=PATH;NAME=VALUE", sets, "Change the field NAME of the blocks PATH leads to (repeatable)");
    args.text("out=OUT", out, "Write the tree to this file instead of standard output");
    if (!args.parse(argc, argv, 1, 1))
        return PGMTOOL_OK;
    const std::string& file = args.streamed_input(args.files()[0]);
    const std::string output = args.output(out.empty() ? "-" : out);
    std::string text;
    pgmtool_read_file_pieces(file, [&text](const BYTE* data, size_t size) {
        text.append(reinterpret_cast<const char*>(data), size);
    });
    TREE top = read_tree(file, text);
    for (const std::string& set : sets)
        apply(file, top.get(), set);
    text.clear();
    std::string reason = PGM_COMMON::convert_pgm_protobuf_to_string(top.get(), text, "");
    if (!reason.empty())
        throw PGMTOOL_FAILURE(file, reason);
    pgmtool_write_output(output, reinterpret_cast<const BYTE*>(text.data()), text.size());
    std::pair<size_t, size_t> counts = count_nodes(top.get());
    args.summary("%s, %s", pgmtool_amount(counts.first, "block").c_str(),
                 pgmtool_amount(counts.second, "field").c_str());
    return PGMTOOL_OK;
}
