// Helpers shared by the XML framework's sources: texts of the XML DOM in
// the library's UTF-8 strings, and the nesting of element trees.
#pragma once

#include "pgm/common/pgm_internal.h"

#include <xercesc/util/XercesDefs.hpp>

#include <cstddef>
#include <string>
#include <vector>

class PGM_COMMON_XML_ELEMENT;

// Initialises the Xerces platform once in the process, by the first caller
// of any thread; it is never terminated.
void pgm_xml_ensure_platform();
// The UTF-8 form of a DOM text; empty for none.
std::string pgm_xml_narrow(const XMLCh* text);
// Appends a DOM text in UTF-8.
void pgm_xml_append_narrow(std::string& narrow, const XMLCh* text);
// A UTF-8 text in the wide form (a text that is not UTF-8 takes one
// character per byte), and a wide text in UTF-8 (a lone surrogate becomes
// "?"); both are released through the Xerces platform memory manager.
XMLCh* pgm_xml_to_wide(const char* text);
char* pgm_xml_to_narrow(const XMLCh* text);
// The words of a "|"-separated list, trimmed, empty ones dropped.
std::vector<std::string> pgm_xml_words(const std::string& list);
// Whether the tree of element (level 1) has elements below level levels;
// found without recursion.
bool pgm_xml_deeper_than(const PGM_COMMON_XML_ELEMENT* element, size_t levels);
