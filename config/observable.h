// A value that announces every change to its subscribers; subscriptions end with their handle.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace ombrel {

// Ends its observation when destroyed; move-only.
class Subscription {
  public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            cancel_ = std::exchange(other.cancel_, {});
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    void reset() {
        if (cancel_) {
            std::exchange(cancel_, {})();
        }
    }

  private:
    std::function<void()> cancel_;
};

template <class T>
class Published {
  public:
    using Observer = std::function<void(const T&)>;

    // The observer is called with every value published from now on.
    [[nodiscard]] Subscription subscribe(Observer observer) {
        const uint64_t id = nextId_++;
        (*observers_)[id] = std::move(observer);
        std::weak_ptr<Map> weak = observers_;
        return Subscription([weak, id] {
            if (auto map = weak.lock()) {
                map->erase(id);
            }
        });
    }

    void publish(const T& value) const {
        // A copy, so an observer may subscribe or unsubscribe while being called.
        std::vector<Observer> current;
        current.reserve(observers_->size());
        for (const auto& [id, observer] : *observers_) {
            current.push_back(observer);
        }
        for (const auto& observer : current) {
            observer(value);
        }
    }

  private:
    using Map = std::map<uint64_t, Observer>;
    std::shared_ptr<Map> observers_ = std::make_shared<Map>();
    uint64_t nextId_ = 0;
};

}  // namespace ombrel
