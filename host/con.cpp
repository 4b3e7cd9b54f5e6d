#include "host/con.h"

#include <atomic>
#include <unistd.h>

namespace {

std::atomic<int> forced_console{-1}; // -1: ask the system
std::atomic<FILE*> console_stream{nullptr}; // null: standard output

} // namespace

FILE* con_stream()
{
    FILE* stream = console_stream.load();
    return stream != nullptr ? stream : stdout;
}

void con_set_stream(FILE* stream)
{
    console_stream.store(stream);
}

bool con_is_console(FILE* stream)
{
    int mode = forced_console.load();
    if (mode >= 0)
        return mode == 1;
    int fd = stream != nullptr ? fileno(stream) : -1;
    return fd >= 0 && isatty(fd) == 1;
}

bool con_stdout_is_console()
{
    return con_is_console(stdout);
}

void con_set_text_attribute(FILE* out, unsigned int attribute)
{
    if (!con_is_console(out))
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
