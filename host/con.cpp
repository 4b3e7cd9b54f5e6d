#include "host/con.h"

#include <atomic>
#include <unistd.h>

namespace {

std::atomic<int> forced_console{-1}; // -1: ask the system

} // namespace

bool con_stdout_is_console()
{
    int mode = forced_console.load();
    if (mode >= 0)
        return mode == 1;
    return isatty(STDOUT_FILENO) == 1;
}

void con_set_text_attribute(FILE* out, unsigned int attribute)
{
    if (!con_stdout_is_console())
        return;
    if ((attribute & 0x0F) == 15) {
        std::fputs("\033[0m", out);
        return;
    }
    // Console colour bits are blue 1, green 2, red 4; ANSI counts red 1, green 2, blue 4.
    unsigned int colour = ((attribute & 1) << 2) | (attribute & 2) | ((attribute & 4) >> 2);
    unsigned int base = (attribute & 8) ? 90 : 30;
    std::fprintf(out, "\033[%um", base + colour);
}

void con_force_console(int mode)
{
    forced_console.store(mode);
}
