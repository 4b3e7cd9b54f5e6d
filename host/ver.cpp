#include "host/ver.h"

#include <mutex>

namespace {

struct VERSION {
    std::mutex mutex;
    std::string text = PGM_VERSION_TEXT; // dot-separated decimal parts
    int index = 0;                       // low byte service pack, bits 8-23 build
};

VERSION& version()
{
    static VERSION* current = new VERSION; // never destroyed: used until exit
    return *current;
}

} // namespace

std::string ver_get_version()
{
    std::lock_guard<std::mutex> lock(version().mutex);
    return version().text;
}

int ver_get_current_version_index_number()
{
    std::lock_guard<std::mutex> lock(version().mutex);
    return version().index;
}

void ver_set_version(const std::string& text, int index)
{
    std::lock_guard<std::mutex> lock(version().mutex);
    version().text = text;
    version().index = index;
}
