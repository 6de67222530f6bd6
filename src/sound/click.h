// The click: started once with the program, played on button presses.
#pragma once

// Opens the audio output and loads the click into it. Sets G.SoundAvailable when the output
// opened; without a sound device or sound server the program goes on silently.
void InitClickSound();

// Plays the click from its start, cutting short one still sounding. Returns at once.
void PlayClick();
