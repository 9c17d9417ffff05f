#pragma once

#include <string>

// Reads the whole file into `bytes`, going on after interruptions. 0 on
// success, otherwise the errno of the failed open or read; `bytes` is then
// empty.
int ReadWholeFile(const std::string& path, std::string& bytes);
