// What the settings window needs from the rest of the program, and the one factory the
// application shell calls to build it.
#pragma once

#include <QtGlobal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/model.h"
#include "config/notices.h"
#include "config/observable.h"
#include "settings/binding_editor_model.h"

class QWidget;

namespace ombrel {

class Store;
class Nav;
class LoginItem;

// The engine state the window shows and the recording pause the recorder sets.
class EngineStatus {
  public:
    virtual ~EngineStatus() = default;
    // Whether keyboard and mouse input can be seen and sent (on X11: XInput 2.2 and XTEST).
    [[nodiscard]] virtual bool inputAvailable() const = 0;
    [[nodiscard]] virtual bool tapInstalled() const = 0;
    // Called after every change of inputAvailable, tapInstalled or takenTriggers.
    [[nodiscard]] virtual Subscription observeState(std::function<void()> observer) = 0;
    virtual void setRecording(bool recording) = 0;
    [[nodiscard]] virtual bool recording() const = 0;
    // Triggers of enabled rules that cannot be swallowed because another program holds the same
    // combination or button; observeState announces every change.
    [[nodiscard]] virtual std::vector<Trigger> takenTriggers() const { return {}; }
};

// The engine itself seen through EngineStatus; any type with these six members will do.
template <class E>
class EngineStatusOf final : public EngineStatus {
  public:
    explicit EngineStatusOf(E& engine) : engine_(engine) {}
    [[nodiscard]] bool inputAvailable() const override { return engine_.inputAvailable(); }
    [[nodiscard]] bool tapInstalled() const override { return engine_.tapInstalled(); }
    [[nodiscard]] Subscription observeState(std::function<void()> observer) override {
        return engine_.observeState(std::move(observer));
    }
    void setRecording(bool recording) override { engine_.setRecording(recording); }
    [[nodiscard]] bool recording() const override { return engine_.recording(); }
    [[nodiscard]] std::vector<Trigger> takenTriggers() const override {
        return engine_.takenTriggers();
    }

  private:
    E& engine_;
};

// X keycode of a key event to the virtual key code the bindings use; nothing when unknown.
using KeyTranslator = std::function<std::optional<int64_t>(quint32 nativeScanCode)>;

struct SettingsDeps {
    Store& store;
    EngineStatus& engine;
    Nav& nav;
    LoginItem& loginItem;
    // How many multitouch devices are open now.
    std::function<int64_t()> deviceCount;
    KeyTranslator translateKey;
    // Identifiers (WM_CLASS classes) of the applications with windows; none when left empty.
    std::function<std::vector<std::string>()> runningApps = {};
    // The name people know an application by; the identifier itself when left empty.
    AppNamer appName = {};
    // The banner's button: check for keyboard and mouse input again at once.
    std::function<void()> recheckAccess = {};
    // Shows the file selected in the file manager; nothing when left empty.
    std::function<void(const std::filesystem::path&)> showFile = {};
    // "Choose…" in the editor: a path, or nothing when cancelled. A file dialog when left empty.
    std::function<std::optional<std::string>(QWidget* parent)> chooseApp = {};
    // Sentences about the program's state, listed on the General pane; none when left empty.
    Notices* notices = nullptr;
    // How many touchpads were found that cannot be read, and word when devices come or go (the
    // observer may be called on any thread); both optional.
    std::function<int64_t()> unreadableCount = {};
    std::function<Subscription(std::function<void()>)> observeDevices = {};
};

// The window's content; the shell places it in its window. The deps must outlive it.
std::unique_ptr<QWidget> makeSettingsView(SettingsDeps& deps);

}  // namespace ombrel
