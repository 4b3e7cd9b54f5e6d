// Helpers shared by the XML framework's sources: texts of the XML DOM in
// the library's UTF-8 strings, and the nesting of element trees.
#pragma once

#include "pgm/common/pgm_internal.h"

#include <xercesc/util/XercesDefs.hpp>

#include <cstddef>
#include <string>

class PGM_COMMON_XML_ELEMENT;

// The UTF-8 form of a DOM text; empty for none.
std::string pgm_xml_narrow(const XMLCh* text);
// Whether the tree of element (level 1) has elements below level levels;
// found without recursion.
bool pgm_xml_deeper_than(const PGM_COMMON_XML_ELEMENT* element, size_t levels);
