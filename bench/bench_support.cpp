#include "bench/bench_support.h"

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/win32.h"
#include "player/render.h"
#include "song/module_source.h"
#include "song/song.h"
#ifdef ORNA_HAVE_TUNE
#include "assets/song_data.h"
#endif

namespace {

HANDLE heap = nullptr;

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::vector<BenchModule> bench_modules() {
    std::vector<BenchModule> modules;
#ifdef ORNA_HAVE_TUNE
    modules.push_back(BenchModule{"embedded tune", std::vector<uint8_t>(song_data, song_data + song_data_size)});
#endif
    std::vector<std::string> names;
    if (DIR* d = opendir(ORNA_CORPUS_DIR)) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 3 && name.compare(name.size() - 3, 3, ".xm") == 0) names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        modules.push_back(BenchModule{name, read_bytes(std::string(ORNA_CORPUS_DIR) + "/" + name)});
    return modules;
}

bool bench_start(const std::vector<uint8_t>& bytes) {
    bench_stop();
    heap = HeapCreate(HEAP_NO_SERIALIZE, 0, 0);
    if (!heap) return false;
    song_set_heap(heap);
    source_select(SOURCE_MEMORY, bytes.data(), bytes.size(), nullptr);
    const int loaded = song_load();
    source_close();
    player_shared.paused.store(0, std::memory_order_relaxed);
    player_shared.no_loop = 0;
    player_shared.master_volume.store(32768, std::memory_order_relaxed);
    player_shared.fill_block = 0;
    clear_block_reports();
    return loaded != 0;
}

void bench_stop() {
    if (!heap) return;
    song_set_heap(nullptr);
    HeapDestroy(heap);
    heap = nullptr;
}
