// The name table of PGM_COMMON_XML_ENUM, in the order of its members.
#include "pgm/h/pgm_common_xml_enum.h"

const char* const pgm_common_xml_enum_names[PGM_COMMON_XML_ENUM__MAX__ + 1] = {
#define PGM_COMMON_XML_ENUM_NAME(name) #name,
    PGM_COMMON_XML_ENUM_LIST(PGM_COMMON_XML_ENUM_NAME)
#undef PGM_COMMON_XML_ENUM_NAME
};
