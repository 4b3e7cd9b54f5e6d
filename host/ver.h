// Version library of the host suite.
#pragma once

#include <string>

// The suite's version text, dot-separated decimal parts ("21.2" or "21.2.1").
std::string ver_get_version();
// Low byte: service pack; bits 8 to 23: build number.
int ver_get_current_version_index_number();
// Test support: sets what the two functions above answer.
void ver_set_version(const std::string& text, int index);
