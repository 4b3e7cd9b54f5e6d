// Texts of the XML DOM in the library's UTF-8 strings.
#pragma once

#include <xercesc/util/XercesDefs.hpp>

#include <string>

// The UTF-8 form of a DOM text; empty for none.
std::string pgm_xml_narrow(const XMLCh* text);
