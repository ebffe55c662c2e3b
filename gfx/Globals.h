// The program's process-wide values, in one place.
//
// They are written on the GUI thread only. The capture worker reads none of them.
#pragma once

#include "Interpolation.h"

#include <QString>

#include <cstdint>

// The open capture overlay (InputForm) lives with its form in capture/Input.h, the current thumbnail
// card (ThumbForm) with its own in thumb/Thumb.h.
// The ink colour, 0xAARRGGBB with alpha 0xFF.
inline uint32_t InkColor = 0xFFD80000;
// The zoomed view's interpolation (the middle button switches it).
inline TInterpolation ResampleMode = TInterpolation::Nearest;
// Folder of the sound files, with a trailing "/": beside the program or where it was installed
// (FindSoundFolder of Sounds.h).
inline QString SoundFolder;
