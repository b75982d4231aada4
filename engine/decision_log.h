// The lines `ombrel --verbose` prints for the engine's decisions: the event, the verdict and the
// rule it ran. Made only while decisions are logged.
#pragma once

#include <string>

#include "config/model.h"
#include "platform/input.h"

namespace ombrel {

[[nodiscard]] std::string decisionLine(const InputEvent& event, bool swallowed, const Rule* ran);
[[nodiscard]] std::string gestureLine(const TrackpadGesture& gesture, const Rule* ran);

}  // namespace ombrel
