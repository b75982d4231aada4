// The "General" pane: snapping, the draw modifiers, starting at login, the three status rows and
// the way to the settings file.
#pragma once

#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "config/observable.h"

namespace ombrel {

class Store;
class EngineStatus;
class LoginItem;
class ToggleSwitch;
class SegmentedControl;
class TextLabel;
class SymbolView;
class PlainButton;
class Notices;

class GeneralPane : public QWidget {
  public:
    GeneralPane(Store& store, EngineStatus& engine, LoginItem& loginItem,
                std::function<int64_t()> deviceCount, Notices* notices,
                std::function<void()> showSettingsFile);

    [[nodiscard]] SegmentedControl* drawModsPicker() const { return drawMods_; }
    [[nodiscard]] ToggleSwitch* loginSwitch() const { return login_; }
    // The login-item error sentence, empty when there is none.
    [[nodiscard]] QString loginError() const;
    // Value text of status row 0, 1 or 2.
    [[nodiscard]] QString statusValue(int row) const;
    // The notice sentences shown now, top to bottom.
    [[nodiscard]] QStringList noticeTexts() const;
    // The touchpad row then tells of pads that cannot be read, and follows devices as they come
    // and go (the observer may be called on any thread).
    void followTouchpads(std::function<int64_t()> unreadableCount,
                         const std::function<Subscription(std::function<void()>)>& observeDevices);

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void refresh();
    void flipLogin(bool on);
    void showNotices();

    Store& store_;
    EngineStatus& engine_;
    LoginItem& loginItem_;
    std::function<int64_t()> deviceCount_;
    std::function<int64_t()> unreadableCount_;
    ToggleSwitch* snap_ = nullptr;
    SegmentedControl* drawMods_ = nullptr;
    ToggleSwitch* login_ = nullptr;
    TextLabel* loginError_ = nullptr;
    std::array<SymbolView*, 3> statusSymbols_{};
    std::array<TextLabel*, 3> statusValues_{};
    std::array<bool, 3> good_{};
    PlainButton* showFile_ = nullptr;
    Notices* notices_ = nullptr;
    QVBoxLayout* noticeColumn_ = nullptr;
    std::vector<TextLabel*> noticeLabels_;
    bool loginItem_on_ = false;
    Subscription configSub_;
    Subscription engineSub_;
    Subscription noticesSub_;
    Subscription devicesSub_;
};

}  // namespace ombrel
