// The control in which a key combination is recorded by pressing it: while it records it takes
// every key press of the program's own windows and holds the engine still.
#pragma once

#include <QAbstractButton>
#include <QObject>
#include <QWidget>
#include <functional>
#include <optional>

#include "config/model.h"
#include "settings/settings_deps.h"
#include "settings/shortcut_recorder_logic.h"

namespace ombrel {

class TextLabel;

class ShortcutRecorder : public QWidget {
  public:
    // onChange runs after every accepted combination.
    ShortcutRecorder(bool requireModifier, EngineStatus& engine, KeyTranslator translate,
                     std::function<void(std::optional<KeyCombo>)> onChange);
    ~ShortcutRecorder() override;
    ShortcutRecorder(const ShortcutRecorder&) = delete;
    ShortcutRecorder& operator=(const ShortcutRecorder&) = delete;

    void setCombo(std::optional<KeyCombo> combo);
    [[nodiscard]] const std::optional<KeyCombo>& combo() const { return logic_.combo(); }
    [[nodiscard]] bool recording() const { return logic_.recording(); }
    [[nodiscard]] QString buttonText() const;
    [[nodiscard]] QString hintText() const;
    [[nodiscard]] QAbstractButton* button() const;

    void start();
    void stop();
    // Runs just before recording starts, so a neighbouring recorder can end its own first.
    void setOnStart(std::function<void()> onStart) { onStart_ = std::move(onStart); }
    // What the combination is for ("Shortcut"): the button's name begins with it.
    void setAccessibleLabel(const QString& label);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    class RecordButton;
    void refresh();

    ShortcutRecorderLogic logic_;
    KeyTranslator translate_;
    std::function<void(std::optional<KeyCombo>)> onChange_;
    std::function<void()> onStart_;
    RecordButton* button_ = nullptr;
    QString label_;
    TextLabel* hint_ = nullptr;
    bool filtering_ = false;
};

// The modifiers held with a Qt key event. Super stands for command, Alt for option.
Mods modsFromQt(Qt::KeyboardModifiers modifiers);
// Keys that only modify others; pressing one alone records nothing.
bool isModifierKey(int qtKey);

}  // namespace ombrel
