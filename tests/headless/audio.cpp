// The sound of the desktop-free window: every start is noted on the test's clock.
#include "platform/audio.h"

namespace headless {
bool AudioFails();
void NoteSoundPlayed();
}  // namespace headless

bool OpenAudio()
{
    return !headless::AudioFails();
}

bool LoadSound(const PcmFormat&, std::span<const std::uint8_t> samples)
{
    return !samples.empty();
}

void PlayFromStart()
{
    headless::NoteSoundPlayed();
}

// The desktop-free window has no background: suspending changes nothing here.
bool SuspendAudio()
{
    return true;
}

void ResumeAudio() {}

void CloseAudio() {}
