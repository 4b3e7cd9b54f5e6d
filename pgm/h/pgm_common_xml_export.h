// The library's XML framework: the element model, the loader and writer of
// the configuration files, their encoded form, and the DOM helpers. Each
// schema family's classes have their own header,
// h/pgm_common_xml_<family>_auto_export.h.
#pragma once

#include "pgm/h/pgm_common_export.h"
#include "pgm/h/pgm_common_xml.h"
#include "pgm/h/pgm_common_xml_dom.h"
#include "pgm/h/pgm_common_xml_element.h"
#include "pgm/h/pgm_common_xml_encoding.h"
#include "pgm/h/pgm_common_xml_enum.h"
