// Talks to the sound server with a private main loop bounded by a deadline, so a missing or
// hung server costs a moment, never a freeze.
#include "platform/linux/pulse_volume.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/volume.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>

namespace ombrel::linux_platform {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto serverTimeout = std::chrono::milliseconds(500);

class Session {
  public:
    Session() : loop_(pa_mainloop_new()) {
        if (loop_ != nullptr) {
            context_ = pa_context_new(pa_mainloop_get_api(loop_), "Ombrel");
        }
    }
    ~Session() {
        if (context_ != nullptr) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        if (loop_ != nullptr) {
            pa_mainloop_free(loop_);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool connect() {
        // Never start a server of our own: no server means the keys go to the desktop.
        if (context_ == nullptr ||
            pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            return false;
        }
        pa_context_state_t state = PA_CONTEXT_UNCONNECTED;
        return runUntil([&] {
                   state = pa_context_get_state(context_);
                   return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
               }) &&
               state == PA_CONTEXT_READY;
    }

    // Runs the loop until the operation finishes; false on the deadline or a failure.
    bool wait(pa_operation* op) {
        if (op == nullptr) {
            return false;
        }
        const bool done =
            runUntil([&] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; });
        if (!done) {
            pa_operation_cancel(op);
        }
        pa_operation_unref(op);
        return done;
    }

    [[nodiscard]] pa_context* context() const { return context_; }

  private:
    bool runUntil(const std::function<bool()>& done) {
        while (!done()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::microseconds>(deadline_ - Clock::now());
            if (left.count() <= 0 ||
                pa_mainloop_prepare(loop_, static_cast<int>(left.count())) < 0 ||
                pa_mainloop_poll(loop_) < 0 || pa_mainloop_dispatch(loop_) < 0) {
                return false;
            }
        }
        return true;
    }

    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    Clock::time_point deadline_ = Clock::now() + serverTimeout;
};

struct Sink {
    std::string name;
    pa_cvolume volume{};
    bool muted = false;
    bool found = false;
    bool ok = true;  // a write succeeded
};

}  // namespace

double steppedPercent(double percent, bool up) {
    if (up) {
        return std::max(percent, std::min(percent + volumeStepPercent, 100.0));
    }
    return std::max(percent - volumeStepPercent, 0.0);
}

bool changeVolume(DesktopShell::Volume change) {
    Session session;
    if (!session.connect()) {
        return false;
    }
    pa_context* c = session.context();
    Sink sink;
    const bool named = session.wait(pa_context_get_server_info(
        c,
        [](pa_context*, const pa_server_info* info, void* data) {
            if (info != nullptr && info->default_sink_name != nullptr) {
                static_cast<Sink*>(data)->name = info->default_sink_name;
            }
        },
        &sink));
    if (!named || sink.name.empty()) {
        return false;
    }
    const bool read = session.wait(pa_context_get_sink_info_by_name(
        c, sink.name.c_str(),
        [](pa_context*, const pa_sink_info* info, int eol, void* data) {
            auto* s = static_cast<Sink*>(data);
            if (eol == 0 && info != nullptr) {
                s->volume = info->volume;
                s->muted = info->mute != 0;
                s->found = true;
            }
        },
        &sink));
    if (!read || !sink.found) {
        return false;
    }
    const pa_context_success_cb_t answered = [](pa_context*, int success, void* data) {
        static_cast<Sink*>(data)->ok &= success != 0;
    };
    if (change == DesktopShell::Volume::mute) {
        return session.wait(pa_context_set_sink_mute_by_name(c, sink.name.c_str(), !sink.muted,
                                                             answered, &sink)) &&
               sink.ok;
    }
    const bool up = change == DesktopShell::Volume::up;
    const double percent =
        100.0 * static_cast<double>(pa_cvolume_max(&sink.volume)) / PA_VOLUME_NORM;
    const auto level =
        static_cast<pa_volume_t>(std::lround(steppedPercent(percent, up) / 100.0 * PA_VOLUME_NORM));
    pa_cvolume volume = sink.volume;
    pa_cvolume_scale(&volume, level);
    bool ok = session.wait(
        pa_context_set_sink_volume_by_name(c, sink.name.c_str(), &volume, answered, &sink));
    if (up && sink.muted) {
        ok = session.wait(
                 pa_context_set_sink_mute_by_name(c, sink.name.c_str(), 0, answered, &sink)) &&
             ok;
    }
    return ok && sink.ok;
}

}  // namespace ombrel::linux_platform
