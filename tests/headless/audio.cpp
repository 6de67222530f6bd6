// The sound of the desktop-free window: every start is noted on the test's clock.
#include "platform/audio.h"

namespace headless {
bool AudioOutputFails();
void NoteSoundPlayed();
}  // namespace headless

bool OpenAudioOutput()
{
    return !headless::AudioOutputFails();
}

bool LoadSound(const PcmFormat&, std::span<const std::uint8_t> samples)
{
    return !samples.empty();
}

void PlayFromStart()
{
    headless::NoteSoundPlayed();
}

// The desktop-free window has no background: resting changes nothing here.
bool RestAudioOutput()
{
    return true;
}

void WakeAudioOutput() {}

void CloseAudioOutput() {}
