// What the settings window is given in its tests and in the screenshot tool: a scriptable
// engine, a login item held in memory, and rules made quickly.
#pragma once

#include <optional>
#include <string>

#include "config/model.h"
#include "config/observable.h"
#include "platform/login_item.h"
#include "settings/settings_deps.h"

namespace ombrel::test {

class FakeEngine final : public EngineStatus {
  public:
    [[nodiscard]] bool inputAvailable() const override { return inputAvailable_; }
    [[nodiscard]] bool tapInstalled() const override { return tapInstalled_; }
    [[nodiscard]] Subscription observeState(std::function<void()> observer) override {
        return changed_.subscribe([o = std::move(observer)](const int&) { o(); });
    }
    void setRecording(bool recording) override { recording_ = recording; }
    [[nodiscard]] bool recording() const override { return recording_; }
    [[nodiscard]] std::vector<Trigger> takenTriggers() const override { return taken_; }

    void setTaken(std::vector<Trigger> taken) {
        taken_ = std::move(taken);
        changed_.publish(0);
    }
    void set(bool inputAvailable, bool tapInstalled) {
        inputAvailable_ = inputAvailable;
        tapInstalled_ = tapInstalled;
        changed_.publish(0);
    }

  private:
    bool inputAvailable_ = true;
    bool tapInstalled_ = true;
    bool recording_ = false;
    std::vector<Trigger> taken_;
    Published<int> changed_;
};

// A login item held in memory; while `refusal` is set every change fails with it.
class FakeLoginItem final : public LoginItem {
  public:
    explicit FakeLoginItem(bool on = false) : on(on) {}
    [[nodiscard]] bool enabled() const override { return on; }
    std::optional<std::string> setEnabled(bool value) override {
        if (!refusal) {
            on = value;
        }
        return refusal;
    }
    bool on;
    std::optional<std::string> refusal;
};

inline Rule hotkeyRule(int64_t key, int64_t mods,
                       Action action = Action::window(WindowAction::leftHalf),
                       std::optional<std::string> app = std::nullopt, bool enabled = true) {
    return Rule::make(Trigger::hotkey(KeyCombo{key, Mods(mods)}), std::move(action), std::move(app),
                      enabled);
}

inline Rule mouseRule(int64_t button, bool enabled = true) {
    return Rule::make(Trigger::mouseButton(button), Action::system(SystemAction::playPause),
                      std::nullopt, enabled);
}

}  // namespace ombrel::test
