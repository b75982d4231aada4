// The program's small log: one line per event worth knowing (a start, a session limit, a settings
// file that changed or could not be read), and with --verbose the engine's decisions. Any part,
// the portable core included, may call it; the running program installs a sink that hands the
// lines to the system log. Without a sink every line goes nowhere, as in tests and one-shot modes.
// Never write a line on a path that runs per event unless decisions() is true.
#pragma once

#include <atomic>
#include <string_view>

namespace ombrel::log {

class Sink {
  public:
    virtual ~Sink() = default;
    // One line worth knowing, without a trailing newline.
    virtual void note(std::string_view line) = 0;
    // One decision of the engine (event, verdict, rule); only called while decisions() is true.
    virtual void decision(std::string_view line) = 0;
    // Whether decision lines are wanted at all, so callers skip building them otherwise.
    [[nodiscard]] virtual bool wantsDecisions() const = 0;
};

namespace detail {
// The one replaceable instance; set once at start, read from any thread.
inline std::atomic<Sink*> current{nullptr};
// Whether it wants decisions, so that the engine's check costs one load and one branch.
inline std::atomic<bool> decisionsWanted{false};
}  // namespace detail

// Installs the sink, or none; answers the one it replaces. The sink must outlive its use, and
// answer wantsDecisions() the same for as long as it is installed.
inline Sink* setSink(Sink* sink) {
    detail::decisionsWanted.store(sink != nullptr && sink->wantsDecisions(),
                                  std::memory_order_relaxed);
    return detail::current.exchange(sink);
}

inline void note(std::string_view line) {
    if (Sink* sink = detail::current.load(std::memory_order_acquire)) {
        sink->note(line);
    }
}

// Build a decision line only when this is true.
[[nodiscard]] inline bool decisions() {
    return detail::decisionsWanted.load(std::memory_order_relaxed);
}

inline void decision(std::string_view line) {
    if (Sink* sink = detail::current.load(std::memory_order_acquire);
        sink != nullptr && sink->wantsDecisions()) {
        sink->decision(line);
    }
}

}  // namespace ombrel::log
