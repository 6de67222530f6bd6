// The click: started once with the program, played on button presses.
#pragma once

// Set once the sound output has started: the click's own state.
inline bool SoundAvailable = false;

// Opens the audio stream and loads the click into it. Sets SoundAvailable when the stream
// opened; without a sound device or sound server the program goes on silently.
void InitClickSound();

// Plays the click from its start, cutting short one still sounding. Returns at once.
void PlayClick();
