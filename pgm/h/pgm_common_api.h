// PGM_COMMON_API marks what the shared library exports: the classes, free
// functions and data declared in pgm/h, host/ and the generated schema
// headers. The library is built with hidden visibility, so everything else
// stays inside it. PGM_COMMON_BUILD is defined only while the library's own
// sources are compiled.
//
// PGM_COMMON_LOCAL keeps a private nested class of an exported class (a
// helper the header only names) inside the library, which the members of
// an exported class otherwise are not.
#pragma once

#if defined(_WIN32)
#if defined(PGM_COMMON_BUILD)
#define PGM_COMMON_API __declspec(dllexport)
#else
#define PGM_COMMON_API __declspec(dllimport)
#endif
#define PGM_COMMON_LOCAL
#else
#define PGM_COMMON_API __attribute__((visibility("default")))
#define PGM_COMMON_LOCAL __attribute__((visibility("hidden")))
#endif
