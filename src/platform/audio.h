// One short PCM sound on the default audio device, restartable at any moment. The stream is
// made ready before a press can come, so that playing it only starts it: on Linux a sound
// server stream kept connected from the desktop's first word that a press may come, on Windows
// a WASAPI stream kept running from the loading of the sound. While the desktop expects no
// press, the stream may be suspended. A stream whose device goes away (a device unplugged, the sound server
// restarted) is looked for again at the next press or wake, at most once a second, on the
// default device of that moment; on Windows a new default device is followed so too. The
// program is silent only while there is no device (no sound server).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct PcmFormat {
    int channels = 1;
    int samplesPerSecond = 22050;
    int bitsPerSample = 16;
};

// False when the system has no audio device at all, or (without a desktop, where the sound
// server is looked for at once) no sound server answers; returns at once either way. A device
// that is missing now counts as one gone away (see PlayFromStart). Where the stream goes through
// a sound server, the server is looked for only once the desktop first expects a press
// (ResumeAudio) or a sound is played, so that the program's start does not wait for it,
// and the desktop's event loop finishes the opening while the program goes on; a server that
// is not there, fails or stays silent counts as one gone away.
bool OpenAudio();

// Keeps a copy of the samples and readies the stream to play them (replacing any sound loaded
// before), also on every device opened later; returns at once. False when the format cannot be
// played or the device does not take it; nothing is loaded then.
bool LoadSound(const PcmFormat& format, std::span<const std::uint8_t> samples);

// Plays the sound once from its first sample, at once, with nothing queued in front of it; a
// sound still playing stops where the new start begins, so the two never overlap. Never waits
// for the device or the sound server, but to open it: an opening still under way (at most the
// time a silent server is given), or the device gone away since the last press (found so) and
// opened again when the last try is a second or more ago, which this press then plays on
// (Linux: not waited for where the server stayed silent the last time). Does nothing when no
// sound is loaded or no device is there. Plays also when the stream is suspended, later by the time
// the device takes to wake.
void PlayFromStart();

// The desktop's word that no press is near (no input to the program for a while, in front or
// not): the stream may be suspended, and with it the sound server and its device. False when it cannot
// yet (a sound started moments ago may still be sounding): ask again later. Also true where
// suspending saves nothing.
bool SuspendAudio();

// The desktop's word that a press may come soon (a window of the program activated, the
// pointer coming over or moving over one, a key): a suspended stream resumes, so that the press
// finds it ready, and one gone away is looked for again (at most once a second). Cheap enough
// to be said at every move of the pointer. Never waits for a sound server; on Windows opening a
// device again takes some ms. A stream may begin suspended: no press can come before the
// desktop says so (its main window stands).
void ResumeAudio();

// Releases the stream (at the end of the program).
void CloseAudio();
