// The texts of the XML DOM: UTF-8 in the library's strings, UTF-16 in
// Xerces' wide strings, and the one initialisation of the Xerces platform.
#include "pgm/common/pgm_xml_text.h"

#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstring>
#include <mutex>
#include <string>

XERCES_CPP_NAMESPACE_USE

// The Xerces platform is initialised once in the process, by the first
// load or text holder, whichever thread comes first, and never terminated:
// callers may still hold documents and texts when the library is unloaded.
void pgm_xml_ensure_platform()
{
    static std::once_flag once;
    std::call_once(once, [] { XMLPlatformUtils::Initialize(XMLUni::fgXercescDefaultLocale); });
}

namespace {

XMLCh* allocate_wide(size_t count)
{
    return static_cast<XMLCh*>(XMLPlatformUtils::fgMemoryManager->allocate((count + 1) * sizeof(XMLCh)));
}

// The code point of the UTF-8 sequence at text[i], advancing i; false for
// a sequence that is not well-formed UTF-8 (overlong, surrogate, too large).
bool decode_utf8(const unsigned char* text, size_t size, size_t& i, unsigned long& code)
{
    unsigned char lead = text[i++];
    int follow = lead < 0x80 ? 0 : lead >= 0xC2 && lead <= 0xDF ? 1 : lead >= 0xE0 && lead <= 0xEF ? 2
                                                              : lead >= 0xF0 && lead <= 0xF4 ? 3 : -1;
    if (follow < 0 || size - i < size_t(follow))
        return false;
    code = follow == 0 ? lead : lead & (0x3F >> follow);
    for (int k = 0; k < follow; ++k, ++i) {
        if ((text[i] & 0xC0) != 0x80)
            return false;
        code = code << 6 | (text[i] & 0x3F);
    }
    const unsigned long least[] = {0, 0x80, 0x800, 0x10000};
    return code >= least[follow] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

} // namespace

// Appends a wide text in UTF-8; a character UTF-8 cannot carry (a lone
// surrogate) becomes "?".
void pgm_xml_append_narrow(std::string& narrow, const XMLCh* text)
{
    for (; *text != 0; ++text) {
        unsigned long code = *text;
        if (code >= 0xD800 && code <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (*++text - 0xDC00);
        else if (code >= 0xD800 && code <= 0xDFFF)
            code = '?';
        if (code < 0x80) {
            narrow += char(code);
        } else if (code < 0x800) {
            narrow += char(0xC0 | code >> 6);
            narrow += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            narrow += char(0xE0 | code >> 12);
            narrow += char(0x80 | (code >> 6 & 0x3F));
            narrow += char(0x80 | (code & 0x3F));
        } else {
            narrow += char(0xF0 | code >> 18);
            narrow += char(0x80 | (code >> 12 & 0x3F));
            narrow += char(0x80 | (code >> 6 & 0x3F));
            narrow += char(0x80 | (code & 0x3F));
        }
    }
}

// A UTF-8 text in the wide form; a text that is not UTF-8 takes one
// character per byte. Released through the platform memory manager.
XMLCh* pgm_xml_to_wide(const char* text)
{
    pgm_xml_ensure_platform();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    const size_t size = std::strlen(text);
    XMLCh* wide = allocate_wide(size);
    size_t out = 0;
    bool utf8 = true;
    for (size_t i = 0; i < size && utf8;) {
        unsigned long code = 0;
        utf8 = decode_utf8(bytes, size, i, code);
        if (!utf8)
            break;
        if (code >= 0x10000) {
            wide[out++] = XMLCh(0xD800 + ((code - 0x10000) >> 10));
            wide[out++] = XMLCh(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            wide[out++] = XMLCh(code);
        }
    }
    if (!utf8) {
        for (out = 0; out < size; ++out)
            wide[out] = XMLCh(bytes[out]);
    }
    wide[out] = 0;
    return wide;
}

// A wide text in UTF-8, released through the platform memory manager.
char* pgm_xml_to_narrow(const XMLCh* text)
{
    pgm_xml_ensure_platform();
    std::string narrow;
    pgm_xml_append_narrow(narrow, text);
    char* copy = static_cast<char*>(XMLPlatformUtils::fgMemoryManager->allocate(narrow.size() + 1));
    std::memcpy(copy, narrow.c_str(), narrow.size() + 1);
    return copy;
}

std::string pgm_xml_narrow(const XMLCh* text)
{
    std::string narrow;
    if (text != nullptr)
        pgm_xml_append_narrow(narrow, text);
    return narrow;
}
