// Sentences about the running program's state that the settings window shows on the General pane
// (input unavailable, a shortcut taken by another program, a touchpad that cannot be read, ...).
// Each producer owns one topic and replaces its sentence whenever its state changes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
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
        std::vector<std::function<void()>> observers;
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
        {
            std::lock_guard lock(state_->mutex);
            for (const auto& [id, observer] : state_->observers) {
                observers.push_back(observer);
            }
        }
        for (const auto& observer : observers) {
            observer();
        }
    }

    // The sentences in force, in the order their topics first spoke.
    [[nodiscard]] std::vector<Notice> current() const {
        std::lock_guard lock(mutex_);
        return notices_;
    }

    // The observer is called after every change, on the thread that made it; an observer may
    // be added and its subscription ended on any thread.
    [[nodiscard]] Subscription observe(std::function<void()> observer) {
        std::lock_guard lock(state_->mutex);
        const uint64_t id = state_->next++;
        state_->observers.emplace(id, std::move(observer));
        return Subscription([weak = std::weak_ptr(state_), id] {
            if (const auto state = weak.lock()) {
                std::lock_guard lock(state->mutex);
                state->observers.erase(id);
            }
        });
    }

  private:
    struct Observers {
        std::mutex mutex;
        std::map<uint64_t, std::function<void()>> observers;
        uint64_t next = 0;
    };
    mutable std::mutex mutex_;
    std::vector<Notice> notices_;
    std::shared_ptr<Observers> state_ = std::make_shared<Observers>();
};

}  // namespace ombrel
