// The condition filter of "__if_continue__" and "__if_skip__": the
// elements a caller's conditions exclude are removed from a built tree.
#include "pgm/h/pgm_common_xml.h"

#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_xml_text.h"
#include "pgm/h/pgm_common.h"

#include <memory>
#include <utility>

std::vector<std::string> pgm_xml_words(const std::string& list)
{
    return PGM_COMMON::split_string(list, "|", true, false, DWORD(-1), {}, "", true);
}

void PGM_COMMON_XML_HELPER::update_if_condition(PGM_COMMON_XML_ELEMENT* element, std::string continue_conditions,
                                                std::string skip_conditions)
{
    PGM_CHECK(element != NULL);
    PGM_CHECK(get_element_if_continue(element).empty());
    PGM_CHECK(get_element_if_skip(element).empty());
    if (continue_conditions.empty() && skip_conditions.empty())
        return;
    if (pgm_xml_deeper_than(element, PGM_COMMON_XML_MAX_DEPTH))
        PGM_FAIL("The XML tree is nested deeper than %u levels", PGM_COMMON_XML_MAX_DEPTH);
    if (!continue_conditions.empty()) {
        std::vector<std::string> conditions = pgm_xml_words(continue_conditions);
        update_if_condition(element, conditions, true);
    }
    if (!skip_conditions.empty()) {
        std::vector<std::string> conditions = pgm_xml_words(skip_conditions);
        update_if_condition(element, conditions, false);
    }
}

// Every element's children are filtered before the kept ones are walked,
// depth first in document order, with the open elements (each with its
// next child) instead of recursion. Each child list and its typed lists are
// rebuilt once, so that a pass stays linear in the number of children.
void PGM_COMMON_XML_HELPER::update_if_condition(PGM_COMMON_XML_ELEMENT* element,
                                                std::vector<std::string>& conditions, bool is_continue)
{
    PGM_CHECK(conditions.size() > 0);
    std::vector<std::pair<PGM_COMMON_XML_ELEMENT*, size_t>> open;
    auto filter = [&](PGM_COMMON_XML_ELEMENT* parent) {
        std::vector<PGM_COMMON_XML_ELEMENT*> kept;
        kept.reserve(parent->childs.size());
        for (PGM_COMMON_XML_ELEMENT* child : parent->childs) {
            std::string condition = is_continue ? get_element_if_continue(child) : get_element_if_skip(child);
            if (condition.empty() || compare_if_condition(condition, conditions) == is_continue)
                kept.push_back(child);
        }
        if (kept.size() != parent->childs.size()) {
            // The removed children belong to nobody once the list is replaced.
            std::vector<std::unique_ptr<PGM_COMMON_XML_ELEMENT>> removed;
            removed.reserve(parent->childs.size() - kept.size());
            size_t next_kept = 0;
            for (PGM_COMMON_XML_ELEMENT* child : parent->childs) {
                if (next_kept < kept.size() && kept[next_kept] == child)
                    ++next_kept;
                else
                    removed.emplace_back(child);
            }
            parent->childs.swap(kept);
            parent->grouping();
        }
        open.emplace_back(parent, 0);
    };
    filter(element);
    while (!open.empty()) {
        PGM_COMMON_XML_ELEMENT* parent = open.back().first;
        const size_t index = open.back().second++;
        if (index == parent->childs.size())
            open.pop_back();
        else if (!parent->childs[index]->childs.empty())
            filter(parent->childs[index]);
    }
}

bool PGM_COMMON_XML_HELPER::compare_if_condition(std::string condition, std::vector<std::string>& conditions)
{
    PGM_CHECK_TEXT(!condition.empty(), "!string.empty()");
    for (const std::string& word : pgm_xml_words(condition)) {
        for (const std::string& wanted : conditions) {
            if (word == wanted)
                return true;
        }
    }
    return false;
}

std::string PGM_COMMON_XML_HELPER::get_element_if_continue(PGM_COMMON_XML_ELEMENT* element)
{
    const std::vector<PGM_COMMON_XML_ATTRIBUTE_INFO>& infos = element->attribute_info;
    return !infos.empty() && infos[0].name == PGM_COMMON_XML_IF_CONTINUE ? infos[0].string : "";
}

std::string PGM_COMMON_XML_HELPER::get_element_if_skip(PGM_COMMON_XML_ELEMENT* element)
{
    const std::vector<PGM_COMMON_XML_ATTRIBUTE_INFO>& infos = element->attribute_info;
    return infos.size() > 1 && infos[1].name == PGM_COMMON_XML_IF_SKIP ? infos[1].string : "";
}
