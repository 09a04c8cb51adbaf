// The gallery: the fourteen pictures in showing order.
#pragma once

#include <stdint.h>

struct GalleryEntry {
    int32_t bitmap_id;  // resource id of the picture bitmap
    int32_t height;     // rows the pane draws and scrolls over: the bitmap's own height + 8
};

constexpr uint32_t GALLERY_SIZE = 14;
extern const GalleryEntry gallery[GALLERY_SIZE];
