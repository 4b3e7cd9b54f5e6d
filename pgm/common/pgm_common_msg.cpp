#include "pgm/h/pgm_common_msg.h"

#include "host/con.h"
#include "host/mem.h"
#include "host/msg.h"
#include "pgm/common/pgm_check.h"

#include <cstdarg>
#include <cstdio>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// The postable catalogue messages of the library: the file error and the
// two memory-depth warnings. Registered while the library is loaded.
const unsigned int POSTABLE_IDS[] = {17923, 18093, 18094};
const MSG_POST_TYPE POSTABLE_TYPES[] = {MSG_POST_ERROR, MSG_POST_WARNING, MSG_POST_WARNING};
const MSG_ID_REGISTRAR registrar(POSTABLE_IDS, POSTABLE_TYPES, 3);

const char* const INDENT_UNIT = "   ";

struct MSG_STYLE {
    const char* prefix;
    unsigned int colour; // console attribute before the intensity bit
};

MSG_STYLE style_of(PGM_COMMON_MSG_TYPE type)
{
    switch (type) {
    case PGM_COMMON_MSG_WARNING: return {"Warning: ", 1};
    case PGM_COMMON_MSG_DEBUG: return {"Debug: ", 3};
    case PGM_COMMON_MSG_ERROR: return {"Error: ", 4};
    case PGM_COMMON_MSG_INFO: return {"", 5};
    case PGM_COMMON_MSG_WARNING_NO_COLOR: return {"Warning: ", 7};
    case PGM_COMMON_MSG_DEBUG_NO_COLOR: return {"Debug: ", 7};
    case PGM_COMMON_MSG_ERROR_NO_COLOR: return {"Error: ", 7};
    default: return {"", 7};
    }
}

} // namespace

void PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_TYPE type, DWORD indent, const char* format, ...)
{
    std::string message;
    va_list args;
    va_start(args, format);
    stl_vsprintf(message, format, args);
    va_end(args);

    MSG_STYLE style = style_of(type);
    std::string line;
    for (DWORD i = 0; i < indent; ++i)
        line += INDENT_UNIT;
    line += style.prefix;
    line += message;
    line += '\n';

    // The colour is chosen for the stream the line goes to.
    FILE* out = con_stream();
    bool console = con_is_console(out);
    if (console)
        con_set_text_attribute(out, style.colour | 8);
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
    if (console) {
        con_set_text_attribute(out, 15);
        std::fflush(out);
    }
}
