// Sentences about the running program's state that the settings window shows on the General pane
// (input unavailable, a shortcut taken by another program, a touchpad that cannot be read, ...).
// Each producer owns one topic and replaces its sentence whenever its state changes.
#pragma once

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/observable.h"

namespace ombrel {

struct Notice {
    std::string topic;  // who said it, e.g. "input", "touchpad", "session"
    std::string text;   // one plain sentence, shown as it stands
    friend bool operator==(const Notice&, const Notice&) = default;
};

class Notices {
  public:
    // Sets the topic's sentence; an empty text withdraws it. Safe from any thread; observers run
    // on the calling thread, so a view hands the call over to its own thread.
    void set(std::string_view topic, std::string text) {
        {
            std::lock_guard lock(mutex_);
            auto it = std::find_if(notices_.begin(), notices_.end(),
                                   [&](const Notice& n) { return n.topic == topic; });
            if (text.empty()) {
                if (it == notices_.end()) {
                    return;
                }
                notices_.erase(it);
            } else if (it == notices_.end()) {
                notices_.push_back({std::string(topic), std::move(text)});
            } else if (it->text == text) {
                return;
            } else {
                it->text = std::move(text);
            }
        }
        changed_.publish(0);
    }

    // The sentences in force, in the order their topics first spoke.
    [[nodiscard]] std::vector<Notice> current() const {
        std::lock_guard lock(mutex_);
        return notices_;
    }

    // Subscribe from one thread (the GUI's); the observer is called after every change.
    [[nodiscard]] Subscription observe(std::function<void()> observer) {
        return changed_.subscribe([o = std::move(observer)](const int&) { o(); });
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Notice> notices_;
    Published<int> changed_;
};

}  // namespace ombrel
