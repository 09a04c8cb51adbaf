// The 26 master-volume levels: entry 0 is 1 (silence after the output
// shift), entry k = 32768 x 10^((k - 25) / 10) rounded, 2 dB apart, 32768 at
// level 25 = unity. Plain data, so the headless tools share it with the player.
#include "player/player.h"

const uint16_t volume_table[26] = {
    1,    130,  164,  207,  260,  328,  413,  519,   654,   823,   1036,  1305,  1642,
    2068, 2603, 3277, 4125, 5193, 6538, 8231, 10362, 13045, 16423, 20675, 26029, 32768,
};
