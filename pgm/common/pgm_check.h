// Internal checks of the library. A failed check reports the condition's
// text through the host message library, which throws PGM_INTERNAL_ERROR;
// nothing after a failed check runs.
#pragma once

#include "pgm/common/pgm_internal.h"

#include "host/msg.h"

#define PGM_MODULE_NAME "PGM_COMMON"

// Reports the condition's source text when it is false.
#define PGM_CHECK(condition)                                                         \
    do {                                                                             \
        if (!(condition))                                                            \
            MSG_INTERNAL_ERROR::report(#condition, PGM_MODULE_NAME, __FILE__, __LINE__); \
    } while (0)

// Reports the given text when the condition is false; for checks whose
// reported text differs from the code that tests them.
#define PGM_CHECK_TEXT(condition, text)                                              \
    do {                                                                             \
        if (!(condition))                                                            \
            MSG_INTERNAL_ERROR::report(text, PGM_MODULE_NAME, __FILE__, __LINE__);   \
    } while (0)

// Reports a formatted text unconditionally.
#define PGM_FAIL(...) MSG_INTERNAL_ERROR::report_varg(PGM_MODULE_NAME, __FILE__, __LINE__, __VA_ARGS__)
