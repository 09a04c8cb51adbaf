// pcm-match: finds a rendered stream inside a capture of what a device played.
//
//   pcm-match CAPTURE.raw EXPECTED.raw SECONDS
//
// Both files are 16-bit stereo little-endian at 48000 frames per second. The
// capture begins with the sound server's silence; the stream is aligned on
// its first nonzero frame. From there the capture must equal the expected
// stream frame for frame for at least SECONDS - 1 seconds (the music played
// before the program was told to stop), up to where the capture ends or the
// program changed the music. Prints one line; exit 0 on success.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

static std::vector<uint32_t> read_frames(const char* path) {
    std::vector<uint32_t> frames;
    if (FILE* f = fopen(path, "rb")) {
        uint8_t b[4];
        while (fread(b, 1, 4, f) == 4) frames.push_back(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24);
        fclose(f);
    }
    return frames;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: pcm-match CAPTURE.raw EXPECTED.raw SECONDS\n");
        return 2;
    }
    const std::vector<uint32_t> capture = read_frames(argv[1]), expected = read_frames(argv[2]);
    const double seconds = atof(argv[3]);
    size_t c = 0, e = 0;
    while (c < capture.size() && capture[c] == 0) ++c;
    while (e < expected.size() && expected[e] == 0) ++e;
    if (c == capture.size() || e == expected.size()) {
        printf("pcm-match: no sound in the %s\n", c == capture.size() ? "capture" : "expected stream");
        return 1;
    }
    size_t n = 0;
    while (c + n < capture.size() && e + n < expected.size() && capture[c + n] == expected[e + n]) ++n;
    const double matched = double(n) / 48000.0, captured = double(capture.size() - c) / 48000.0;
    const bool ok = matched >= seconds - 1.0;
    printf("pcm-match: %.3f s of music captured, the first %.3f s equal to the rendered stream sample for sample%s\n",
           captured, matched, ok ? "" : " - TOO SHORT");
    return ok ? 0 : 1;
}
