// The embedded tune: one XM module in the program's data.
#pragma once

#include <stddef.h>

constexpr unsigned SONG_DATA_SIZE = 10518;
extern const unsigned char song_data[SONG_DATA_SIZE];
extern const size_t song_data_size;
