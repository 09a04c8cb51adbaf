// Waveform-audio output of the layer over SDL2 audio.
//
// One device plays one header: from waveOutWrite the SDL callback copies the
// header's bytes to SDL, round and round for a looping header
// (WHDR_BEGINLOOP | WHDR_ENDLOOP) and once for any other, until waveOutReset.
// The byte position (TIME_BYTES) counts what the callback has handed to SDL;
// it is stored with release order after the bytes were read, so a writer
// that sees the position past a stretch of the buffer may overwrite it.
// The other way round, each position query publishes the caller's earlier
// writes (release), and the callback takes them up (acquire) before it
// reads: a stretch written before a query is seen whole when it is played.
// The player's mixing thread queries between rendering a block and the
// device's next pass over it.
// Before waveOutWrite and after waveOutReset the device plays silence.
//
// Each open device holds the SDL audio subsystem (SDL_InitSubSystem /
// SDL_QuitSubSystem count their users), so the window layer may start and
// stop video on its own. SDL_AUDIODRIVER chooses the driver as usual; the
// disk and dummy drivers serve headless runs.
#include <SDL.h>
#include <string.h>

#include <atomic>

#include "platform/layer/winmm.h"

namespace {

struct WaveDevice {
    SDL_AudioDeviceID id;
    // The header being played, as copied at waveOutWrite; null = silence.
    // Written under the SDL device lock, read by the callback.
    const uint8_t* data;
    uint32_t length;
    bool looping;
    uint32_t offset;                   // next byte of data to play (callback only)
    std::atomic<uint32_t> played;      // bytes played since waveOutWrite (wraps at 2^32)
    std::atomic<uint32_t> queries;     // position queries so far: publishes the writer's bytes
};

std::atomic<void (*)(const void*, DWORD)> capture_sink{nullptr};

void SDLCALL play_callback(void* user, Uint8* stream, int length) {
    WaveDevice* device = static_cast<WaveDevice*>(user);
    device->queries.load(std::memory_order_acquire);
    uint32_t done = 0;
    const uint32_t wanted = static_cast<uint32_t>(length);
    while (device->data != nullptr && done < wanted) {
        uint32_t n = device->length - device->offset;
        if (n > wanted - done) n = wanted - done;
        memcpy(stream + done, device->data + device->offset, n);
        done += n;
        device->offset += n;
        if (device->offset == device->length) {
            device->offset = 0;
            if (!device->looping) device->data = nullptr;
        }
    }
    memset(stream + done, 0, wanted - done);
    if (void (*sink)(const void*, DWORD) = capture_sink.load(std::memory_order_acquire)) sink(stream, done);
    device->played.fetch_add(done, std::memory_order_release);
}

WaveDevice* wave_device(HWAVEOUT handle) {
    return reinterpret_cast<WaveDevice*>(handle);
}

}  // namespace

MMRESULT WINAPI waveOutOpen(LPHWAVEOUT phwo, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR, DWORD_PTR,
                            DWORD) {
    if (phwo == nullptr || pwfx == nullptr) return MMSYSERR_INVALPARAM;
    *phwo = nullptr;
    if (uDeviceID != WAVE_MAPPER && uDeviceID != 0) return MMSYSERR_BADDEVICEID;
    if (pwfx->wFormatTag != WAVE_FORMAT_PCM || pwfx->wBitsPerSample != 16 || pwfx->nChannels < 1 ||
        pwfx->nChannels > 2 || pwfx->nSamplesPerSec == 0 || pwfx->nBlockAlign != 2 * pwfx->nChannels) {
        return WAVERR_BADFORMAT;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return MMSYSERR_NODRIVER;
    WaveDevice* device = new WaveDevice();
    SDL_AudioSpec wanted{};
    wanted.freq = static_cast<int>(pwfx->nSamplesPerSec);
    wanted.format = AUDIO_S16LSB;
    wanted.channels = static_cast<Uint8>(pwfx->nChannels);
    wanted.samples = 1024;
    wanted.callback = play_callback;
    wanted.userdata = device;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts if the hardware wants another format.
    device->id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device->id == 0) {
        delete device;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return MMSYSERR_BADDEVICEID;
    }
    *phwo = reinterpret_cast<HWAVEOUT>(device);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    if (hwo == nullptr) return MMSYSERR_INVALHANDLE;
    if (pwh == nullptr || cbwh < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    pwh->dwFlags = (pwh->dwFlags & (WHDR_BEGINLOOP | WHDR_ENDLOOP)) | WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

// Starts the device on the header. One header at a time: writing while one
// plays is refused.
MMRESULT WINAPI waveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    WaveDevice* device = wave_device(hwo);
    if (device == nullptr) return MMSYSERR_INVALHANDLE;
    if (pwh == nullptr || cbwh < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    if (!(pwh->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (pwh->lpData == nullptr || pwh->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
    SDL_LockAudioDevice(device->id);
    const bool busy = device->data != nullptr;
    if (!busy) {
        device->data = reinterpret_cast<const uint8_t*>(pwh->lpData);
        device->length = pwh->dwBufferLength;
        device->looping = (pwh->dwFlags & (WHDR_BEGINLOOP | WHDR_ENDLOOP)) == (WHDR_BEGINLOOP | WHDR_ENDLOOP);
        device->offset = 0;
        device->played.store(0, std::memory_order_relaxed);
    }
    SDL_UnlockAudioDevice(device->id);
    if (busy) return MMSYSERR_ERROR;
    pwh->dwFlags = (pwh->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    SDL_PauseAudioDevice(device->id, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutGetPosition(HWAVEOUT hwo, LPMMTIME pmmt, UINT cbmmt) {
    WaveDevice* device = wave_device(hwo);
    if (device == nullptr) return MMSYSERR_INVALHANDLE;
    if (pmmt == nullptr || cbmmt < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
    // Only bytes are counted; every request is answered in bytes.
    pmmt->wType = TIME_BYTES;
    device->queries.fetch_add(1, std::memory_order_release);
    pmmt->u.cb = device->played.load(std::memory_order_acquire);
    return MMSYSERR_NOERROR;
}

// Stops at once: once it returns, the callback no longer reads the header.
MMRESULT WINAPI waveOutReset(HWAVEOUT hwo) {
    WaveDevice* device = wave_device(hwo);
    if (device == nullptr) return MMSYSERR_INVALHANDLE;
    SDL_PauseAudioDevice(device->id, 1);
    SDL_LockAudioDevice(device->id);
    device->data = nullptr;
    device->offset = 0;
    device->played.store(0, std::memory_order_relaxed);
    SDL_UnlockAudioDevice(device->id);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    if (hwo == nullptr) return MMSYSERR_INVALHANDLE;
    if (pwh == nullptr || cbwh < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    pwh->dwFlags &= ~(WHDR_PREPARED | WHDR_INQUEUE);
    pwh->dwFlags |= WHDR_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutClose(HWAVEOUT hwo) {
    WaveDevice* device = wave_device(hwo);
    if (device == nullptr) return MMSYSERR_INVALHANDLE;
    SDL_CloseAudioDevice(device->id);  // waits for a running callback
    delete device;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return MMSYSERR_NOERROR;
}

void layer_wave_capture(void (*sink)(const void* bytes, DWORD count)) {
    capture_sink.store(sink, std::memory_order_release);
}
