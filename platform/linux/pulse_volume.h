// The volume and mute of the default output, through the sound server (PulseAudio, or PipeWire's
// PulseAudio service).
#pragma once

#include "platform/workspace.h"

namespace ombrel::linux_platform {

// One volume step, in percent of the normal (100 %) level, as the desktops step.
inline constexpr double volumeStepPercent = 5;

// The level after one step: up stops at 100 % (a level the user raised above that elsewhere is
// kept, never raised further), down stops at 0.
double steppedPercent(double percent, bool up);

// Steps the default sink's volume (keeping its balance; up also unmutes) or toggles its mute.
// Connects for each change; false when no sound server answers within a short time.
bool changeVolume(DesktopShell::Volume change);

}  // namespace ombrel::linux_platform
