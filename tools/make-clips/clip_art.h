// The artwork of the program's two animation clips.
#pragma once

#include "avi_writer.h"

namespace kestrova::clips {

/// The wait window's clip: 160 x 11, 12 frames at 12 per second, a strip of
/// diagonal bands that moves to the right and loops seamlessly.
ClipFrames DrawAnimClip();

/// The main window's clip: 64 x 64, 3 frames at 12 per second, a six-spoked wheel
/// turning by a third of its spoke spacing each frame.
ClipFrames DrawWheelClip();

}  // namespace kestrova::clips
