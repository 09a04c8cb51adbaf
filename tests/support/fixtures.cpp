#include "tests/support/fixtures.h"

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <iterator>

std::vector<uint8_t> read_file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> corpus_modules() {
    std::vector<std::string> paths;
    const std::string dir = ORNA_CORPUS_DIR;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name.size() > 3 && name.compare(name.size() - 3, 3, ".xm") == 0) paths.push_back(dir + "/" + name);
        }
        closedir(d);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}
