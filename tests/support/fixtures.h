// Small helpers shared by the tests.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Reads a whole file; an empty vector when it cannot be read.
std::vector<uint8_t> read_file_bytes(const std::string& path);

// The real modules under shared/corpus/xm (sorted paths), possibly none.
std::vector<std::string> corpus_modules();
