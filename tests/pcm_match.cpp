// pcm-match: finds a rendered stream inside a capture of what a device played.
//
//   pcm-match CAPTURE.raw EXPECTED.raw SECONDS
//
// Both files are 16-bit stereo little-endian at 48000 frames per second. The
// capture begins with the sound server's silence; the stream is aligned on
// its first nonzero frame. From there every captured frame must be the next
// frame of the expected stream, except for runs of silence that the sound
// server inserted when its client was late (an underrun delays the stream
// but loses nothing: it resumes with the very frame that was due). The walk
// ends at the first frame that is neither (the program changed the music, or
// the capture ended) and must have covered at least SECONDS - 1 seconds of
// the expected stream plus the time the server spent in inserted silence.
// Prints one line; exit 0 on success.
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
    const size_t first = e;
    size_t gaps = 0, gap_frames = 0;
    while (c < capture.size() && e < expected.size()) {
        if (capture[c] == expected[e]) {
            ++c;
            ++e;
        } else if (capture[c] == 0) {
            // Silence the server inserted, if the stream resumes right after it
            // with the frame that was due; otherwise the music has ended here.
            size_t end = c;
            while (end < capture.size() && capture[end] == 0) ++end;
            if (end == capture.size() || capture[end] != expected[e]) break;
            ++gaps;
            gap_frames += end - c;
            c = end;
        } else {
            break;
        }
    }
    const double matched = double(e - first) / 48000.0, silence = double(gap_frames) / 48000.0;
    const bool ok = matched + silence >= seconds - 1.0;
    printf("pcm-match: the first %.3f s of the rendered stream played sample for sample "
           "(%zu underruns of the sound server inserted %.3f s of silence)%s\n",
           matched, gaps, silence, ok ? "" : " - TOO SHORT");
    return ok ? 0 : 1;
}
