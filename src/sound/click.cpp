// The click: the built-in image, read by the RIFF walk, played through the audio stream.
#include "sound/click.h"

#include "platform/audio.h"
#include "sound/click_sound.h"
#include "sound/riff.h"

void InitClickSound()
{
    if (!OpenAudio()) return;
    SoundAvailable = true;
    // Should the image ever fail to load, the output stays open with nothing to play, so
    // PlayClick quietly does nothing.
    if (const std::optional<WaveSound> sound = ReadWaveImage(ClickSound))
        LoadSound(sound->format, sound->samples);
}

void PlayClick()
{
    if (!SoundAvailable) return;
    PlayFromStart();
}
