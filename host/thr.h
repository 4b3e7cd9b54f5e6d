// Thread library of the host suite.
#pragma once

#include <string>

// Runs a shell command line; 0 when it succeeded.
int thr_run(const std::string& command);
int thr_system(const std::string& command);
void thr_msleep(unsigned int milliseconds);
