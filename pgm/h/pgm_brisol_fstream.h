// File streams that open the full form of a path, as the suite's file I/O
// library resolves it. The tool chain's code knows them by these names.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <fstream>
#include <string>

namespace std {

class PGM_COMMON_API brisol_ifstream : public basic_ifstream<char> {
public:
    brisol_ifstream() = default;
    brisol_ifstream(const char* path, ios_base::openmode mode = ios_base::in) { open(path, mode); }
    brisol_ifstream(const string& path, ios_base::openmode mode = ios_base::in) { open(path.c_str(), mode); }
    // Opens the full path; failure sets the fail state.
    void open(const char* path, ios_base::openmode mode = ios_base::in);
    void open(const string& path, ios_base::openmode mode = ios_base::in) { open(path.c_str(), mode); }
};

class PGM_COMMON_API brisol_ofstream : public basic_ofstream<char> {
public:
    brisol_ofstream() = default;
    brisol_ofstream(const char* path, ios_base::openmode mode = ios_base::out) { open(path, mode); }
    brisol_ofstream(const string& path, ios_base::openmode mode = ios_base::out) { open(path.c_str(), mode); }
    void open(const char* path, ios_base::openmode mode = ios_base::out);
    void open(const string& path, ios_base::openmode mode = ios_base::out) { open(path.c_str(), mode); }
};

} // namespace std
