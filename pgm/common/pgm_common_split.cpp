// Splitting texts into pieces, parenthesised group lists, clean-up of
// carriage returns, blanks and comments, and the default-value templates
// "__@NAME@__value__!NAME!__".
#include "host/gen.h"
#include "host/mem.h"
#include "host/msg.h"
#include "pgm/common/pgm_check.h"
#include "pgm/h/pgm_common.h"

#include <cstdarg>
#include <limits>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

const QWORD NOT_FOUND = std::numeric_limits<QWORD>::max();

std::string trim_text(const std::string& text) { return gen_remove_leading_and_trailing_white_spaces(text); }

// A module debug line at level 2.
void module_debug(const char* format, ...) __attribute__((format(printf, 1, 2)));
void module_debug(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    msg_local_vdebug(PGM_MODULE_NAME, MSG_D_LEVEL_2, format, args);
    va_end(args);
}

// Erases the character at offset erase_at of the leftmost occurrence of
// pattern, again and again until the pattern no longer occurs. The text is
// copied over once; an erasure can only make a new occurrence that spans
// it, so only the last few characters copied are searched again.
void erase_in_pattern(std::string& text, const std::string& pattern, size_t erase_at)
{
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        kept += c;
        size_t from = kept.size() >= pattern.size() ? kept.size() - pattern.size() : 0;
        size_t found;
        while ((found = kept.find(pattern, from)) != std::string::npos) {
            size_t erased = found + erase_at;
            kept.erase(erased, 1);
            from = erased + 1 >= pattern.size() ? erased + 1 - pattern.size() : 0;
        }
    }
    text.swap(kept);
}

// Removes the blanks that touch each word: a space after it, a tab after
// it, a space before it, a tab before it, each rule until it no longer applies.
void strip_blanks_around(std::string& text, const std::vector<std::string>& words)
{
    for (const std::string& word : words) {
        erase_in_pattern(text, word + " ", word.size());
        erase_in_pattern(text, word + "\t", word.size());
        erase_in_pattern(text, " " + word, 0);
        erase_in_pattern(text, "\t" + word, 0);
    }
}

// Checks the arguments and returns the text prepared for cutting.
std::string prepare_split_text(std::string string, const std::string& split, bool trim, DWORD max_count,
                               const std::vector<std::string>& strip_around, bool fix_carriage_return)
{
    PGM_CHECK(max_count != 0 && max_count != 1);
    PGM_CHECK(!string.empty());
    PGM_CHECK(!split.empty());
    strip_blanks_around(string, strip_around);
    if (trim)
        string = trim_text(string);
    if (fix_carriage_return && split == "\n")
        string = PGM_COMMON::get_rid_carriage_return(string);
    return string;
}

// Collects the pieces of a split.
class SPLIT_PIECES {
public:
    SPLIT_PIECES(bool trim, bool keep_empty, DWORD max_count, const std::string& suffix)
        : trim_(trim), keep_empty_(keep_empty), max_count_(max_count), suffix_(suffix)
    {
    }

    // A piece cut off before a separator.
    void add(std::string piece)
    {
        if (trim_)
            piece = trim_text(piece);
        if (piece.empty()) {
            if (keep_empty_)
                pieces_.push_back(piece);
            return;
        }
        pieces_.push_back(piece + suffix_);
    }

    // The rest after the last separator; it never gets the suffix.
    std::vector<std::string> finish(std::string rest)
    {
        if (trim_)
            rest = trim_text(rest);
        if (!rest.empty() || (keep_empty_ && !pieces_.empty()))
            pieces_.push_back(rest);
        return pieces_;
    }

    // True when the next piece is to be the last one.
    bool full() const { return max_count_ != DWORD(-1) && pieces_.size() + 1 >= size_t(max_count_); }

private:
    bool trim_;
    bool keep_empty_;
    DWORD max_count_;
    std::string suffix_;
    std::vector<std::string> pieces_;
};

} // namespace

std::vector<std::string> PGM_COMMON::split_string(std::string string, std::string split, bool trim, bool keep_empty,
                                                  DWORD max_count, std::vector<std::string> strip_around,
                                                  std::string suffix, bool fix_carriage_return)
{
    string = prepare_split_text(string, split, trim, max_count, strip_around, fix_carriage_return);
    SPLIT_PIECES pieces(trim, keep_empty, max_count, suffix);
    size_t piece_start = 0;
    size_t position = 0;
    while (!pieces.full() && position + split.size() <= string.size()) {
        position = string.find(split[0], position);
        if (position == std::string::npos || position + split.size() > string.size())
            break;
        if (string.compare(position, split.size(), split) != 0) {
            ++position;
            continue;
        }
        pieces.add(string.substr(piece_start, position - piece_start));
        position += split.size();
        piece_start = position;
    }
    return pieces.finish(string.substr(piece_start));
}

std::vector<std::string> PGM_COMMON::backup_split_string(std::string string, std::string split, bool trim,
                                                         bool keep_empty, DWORD max_count,
                                                         std::vector<std::string> strip_around, std::string suffix,
                                                         bool fix_carriage_return)
{
    std::string rest = prepare_split_text(string, split, trim, max_count, strip_around, fix_carriage_return);
    SPLIT_PIECES pieces(trim, keep_empty, max_count, suffix);
    size_t found;
    while (!pieces.full() && (found = rest.find(split)) != std::string::npos) {
        pieces.add(rest.substr(0, found));
        rest = rest.substr(found + split.size());
    }
    return pieces.finish(rest);
}

std::vector<std::vector<std::string>> PGM_COMMON::get_string_groups(std::string string, DWORD group_size)
{
    PGM_CHECK(group_size > 0 || group_size == DWORD(-1));
    std::vector<std::vector<std::string>> groups;
    if (string.empty())
        return groups;
    for (const std::string& group :
         split_string(string, "),", true, false, DWORD(-1), {",", "(", ")"}, ")", true)) {
        PGM_CHECK(group.size() >= 3);
        PGM_CHECK(group.at(0) == '(' && group.at(group.size()-1) == ')');
        std::vector<std::string> words =
            split_string(group.substr(1, group.size() - 2), ",", true, false, DWORD(-1), {}, "", true);
        PGM_CHECK(words.size() > 0);
        if (group_size != DWORD(-1))
            PGM_CHECK(DWORD(words.size()) == group_size);
        groups.push_back(words);
    }
    return groups;
}

std::vector<std::vector<DWORD>> PGM_COMMON::get_dword_groups(std::string string, DWORD group_size)
{
    std::vector<std::vector<DWORD>> groups;
    for (const std::vector<std::string>& words : get_string_groups(string, group_size)) {
        std::vector<DWORD> values;
        for (const std::string& word : words)
            values.push_back(DWORD(convert_string_to_qword(word, false, NULL, NULL, false)));
        groups.push_back(values);
    }
    return groups;
}

std::string PGM_COMMON::get_rid_carriage_return(std::string string)
{
    if (string.find("\r\n") == std::string::npos)
        return string;
    std::string result;
    result.reserve(string.size());
    for (size_t i = 0; i < string.size(); ++i) {
        if (string[i] == '\r' && i + 1 < string.size() && string[i + 1] == '\n')
            continue;
        result += string[i];
    }
    return result;
}

std::string PGM_COMMON::get_rid_header_and_trailer_white_space_and_comment(std::string string,
                                                                           std::vector<std::string> comments)
{
    for (const std::string& comment : comments) {
        PGM_CHECK(comment.size());
        size_t found = string.find(comment);
        if (found != std::string::npos)
            string.erase(found);
    }
    return trim_text(string);
}

std::string PGM_COMMON::get_rid_white_space_and_comment(std::string string, std::vector<std::string> comments)
{
    std::string kept = get_rid_header_and_trailer_white_space_and_comment(string, comments);
    std::string result;
    result.reserve(kept.size());
    for (char c : kept) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            result += c;
    }
    return result;
}

void PGM_COMMON::replacement_default_value(std::string& text, std::string replacements, bool debug)
{
    replacements = trim_text(replacements);
    if (!replacements.empty()) {
        for (const std::string& assignment : split_string(replacements, "|", true, false, DWORD(-1), {}, "", true)) {
            std::vector<std::string> key_value = split_string(assignment, "=", true, true, 2);
            if (key_value.size() == 2)
                replacement_default_value(text, key_value[0], key_value[1], debug);
        }
    }

    // Strip the markers of every template left, keeping its value.
    QWORD position = 0;
    for (;;) {
        QWORD start, name_end, value_end, marker_end, end_marker_length;
        replacement_default_value_get_keyword_index(text, start, name_end, value_end, marker_end, end_marker_length,
                                                    position);
        if (marker_end == NOT_FOUND || name_end == start + 3)
            break;
        std::string name = text.substr(start + 3, name_end - start - 3);
        std::string end_name = text.substr(value_end + 3, marker_end - value_end - 3);
        if (name != end_name) {
            position = marker_end + end_marker_length;
            continue;
        }
        text.erase(value_end, marker_end + end_marker_length - value_end);
        text.erase(start, name_end + 3 - start);
    }
}

void PGM_COMMON::replacement_default_value(std::string& text, std::string key, std::string value, bool debug)
{
    PGM_CHECK(key.size() > 0);
    const std::string start = "__@" + key + "@__";
    const std::string end = "__!" + key + "!__";
    const std::string long_end = end + "_";
    // Searching on after each inserted value replaces every template once,
    // even when the value holds the template itself.
    size_t from = 0;
    for (;;) {
        size_t start_index = text.find(start, from);
        size_t end_index = text.find(end, from);
        if (start_index == std::string::npos || end_index == std::string::npos)
            break;
        PGM_CHECK_TEXT(end_index >= start_index + start.size(), "(end_index - start_index) >= start.size()");
        bool long_form = text.compare(end_index, long_end.size(), long_end) == 0;
        size_t value_index = start_index + start.size();
        std::string old_value = text.substr(value_index, end_index - value_index);
        if (debug && !long_form)
            module_debug("Replace key \"%s\" from value \"%s\" to \"%s\"\n", key.c_str(), old_value.c_str(),
                         value.c_str());
        size_t after = end_index + (long_form ? long_end.size() : end.size());
        text.replace(start_index, after - start_index, value);
        from = start_index + value.size();
    }
}

void PGM_COMMON::replacement_default_value_get_keyword_index(std::string text, QWORD& start, QWORD& name_end,
                                                             QWORD& value_end, QWORD& marker_end,
                                                             QWORD& end_marker_length, QWORD from)
{
    auto find = [&text](const char* what, QWORD from_index) -> QWORD {
        size_t found = text.find(what, size_t(from_index));
        return found == std::string::npos ? NOT_FOUND : QWORD(found);
    };
    start = find("__@", from);
    name_end = start == NOT_FOUND ? NOT_FOUND : find("@__", start + 3);
    value_end = name_end == NOT_FOUND ? NOT_FOUND : find("__!", name_end + 3);
    marker_end = value_end == NOT_FOUND ? NOT_FOUND : find("!__", value_end + 3);
    end_marker_length = marker_end != NOT_FOUND && text.compare(size_t(marker_end), 4, "!___") == 0 ? 4 : 3;
}
