// What the platform tests share: one Qt application and one X session (two monitors, openbox)
// for the whole executable, started on first use.
#pragma once

#include <chrono>
#include <functional>
#include <ostream>

#include "platform/geometry.h"
#include "x_session.h"

namespace ombrel {
// Readable rectangles and points in failure messages.
void PrintTo(const Rect& r, std::ostream* os);
void PrintTo(const Point& p, std::ostream* os);
void PrintTo(const Size& s, std::ostream* os);
}  // namespace ombrel

namespace ombrel::platform_test {

xsession::XSession& session();
// Lets the Qt loop deliver what the X server sent.
void pump();
// Pumps until cond holds or the timeout passes.
bool pumpUntil(const std::function<bool()>& cond,
               std::chrono::milliseconds timeout = std::chrono::seconds(3));

}  // namespace ombrel::platform_test
