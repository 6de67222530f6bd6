// One short PCM sound on the default audio output, restartable at any moment. The output is
// made ready before a press can come, so that playing it only starts it: on Linux a sound
// server stream kept connected from the desktop's first word that a press may come, on Windows
// a WASAPI stream kept running from the loading of the sound. While the desktop
// expects no press, the output may rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct PcmFormat {
    int channels = 1;
    int samplesPerSecond = 22050;
    int bitsPerSample = 16;
};

// False when there is no audio device to be found; returns at once either way. Where the output
// goes through a sound server, the server is looked for only once the desktop first expects a
// press (WakeAudioOutput) or a sound is played, so that the program's start does not wait for
// it, and the desktop's event loop finishes the opening while the program goes on; a server
// that is not there, fails or stays silent counts as one gone away (see PlayFromStart).
bool OpenAudioOutput();

// Keeps a copy of the samples and readies the output to play them (replacing any sound loaded
// before); returns at once. False when the format cannot be played or the output does not take
// it; nothing is loaded then.
bool LoadSound(const PcmFormat& format, std::span<const std::uint8_t> samples);

// Plays the sound once from its first sample, at once, with nothing queued in front of it; a
// sound still playing stops where the new start begins, so the two never overlap. Never waits
// for the device or the sound server, but for an opening still under way when the first sound
// is played (at most the time a silent server is given); does nothing when no sound is loaded,
// and nothing ever again once the output has failed (the sound server went away). Plays also
// when the output rests, later by the time the device takes to wake.
void PlayFromStart();

// The desktop's word that no press is near (no input to the program for a while, in front or
// not): the output may rest, and with it the sound server and its device. False when it cannot
// yet (a sound started moments ago may still be sounding): ask again later. Also true where
// resting saves nothing.
bool RestAudioOutput();

// The desktop's word that a press may come soon (a window of the program activated, the
// pointer coming over or moving over one, a key): a resting output wakes, so that the press
// finds it ready. Cheap enough to be said at every move of the pointer. Never waits. An output
// may begin at rest: no press can come before the desktop says so (its main window
// stands).
void WakeAudioOutput();

// Releases the output (at the end of the program).
void CloseAudioOutput();
