#include "host/mem.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <mutex>

namespace {

std::mutex& modules_mutex()
{
    static std::mutex* mutex = new std::mutex; // never destroyed: used until exit
    return *mutex;
}

std::vector<std::string>& modules()
{
    static std::vector<std::string>* list = new std::vector<std::string>; // never destroyed: used until exit
    return *list;
}

} // namespace

MEM_INITIALIZER::MEM_INITIALIZER(const char* module) : module_(module ? module : "")
{
    std::lock_guard<std::mutex> lock(modules_mutex());
    modules().push_back(module_);
}

MEM_INITIALIZER::~MEM_INITIALIZER()
{
    std::lock_guard<std::mutex> lock(modules_mutex());
    auto& list = modules();
    auto it = std::find(list.begin(), list.end(), module_);
    if (it != list.end())
        list.erase(it);
}

std::vector<std::string> mem_registered_modules()
{
    std::lock_guard<std::mutex> lock(modules_mutex());
    return modules();
}

void MEM_DETAIL::stl_raw_sprintf(std::string& text, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    stl_vsprintf(text, format, args);
    va_end(args);
}

void stl_vsprintf(std::string& text, const char* format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    int size = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (size <= 0) {
        text.clear();
        return;
    }
    std::string result(size_t(size) + 1, '\0');
    std::vsnprintf(&result[0], result.size(), format, args);
    result.resize(size_t(size));
    text.swap(result);
}

void stl_tolower(std::string& text)
{
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
}

void stl_toupper(std::string& text)
{
    for (char& c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
}

void mem_return_free_memory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}
