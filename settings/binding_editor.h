// The sheet in which one binding is created or changed: the trigger's details and scope under
// "When", the action under "Do", the conflict line and the two buttons.
#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "config/model.h"
#include "settings/binding_editor_model.h"
#include "settings/settings_deps.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QScrollArea;

namespace ombrel {

class Store;
class TextLabel;
class ShortcutRecorder;
class DrawingCanvas;
class ProminentButton;
class PlainButton;

struct EditorServices {
    EngineStatus& engine;
    KeyTranslator translateKey;
    // Running applications as (identifier, name), unsorted.
    std::function<std::vector<AppChoice>()> runningApps;
    AppNamer appName;
    std::function<std::optional<std::string>(QWidget*)> chooseApp;
};

// The sheet is a part of the settings window, not a window of its own: it moves with the window,
// stays inside it and keeps the keyboard to itself while it is open.
class BindingEditor : public QWidget {
    Q_OBJECT
  public:
    BindingEditor(Rule original, Store& store, EditorServices services,
                  std::function<void(const Rule&)> onSave, QWidget* parent);

    [[nodiscard]] BindingEditorModel& model() { return model_; }
    [[nodiscard]] QString title() const;
    [[nodiscard]] QString conflictText() const;
    [[nodiscard]] ProminentButton* saveButton() const { return save_; }
    [[nodiscard]] PlainButton* cancelButton() const { return cancel_; }
    [[nodiscard]] ShortcutRecorder* shortcutRecorder() const { return shortcut_; }
    [[nodiscard]] ShortcutRecorder* keystrokeRecorder() const { return keystroke_; }
    [[nodiscard]] DrawingCanvas* canvas() const { return canvas_; }
    [[nodiscard]] QComboBox* gesturePicker() const { return gesture_; }
    [[nodiscard]] QComboBox* fingersPicker() const { return fingers_; }
    [[nodiscard]] QComboBox* buttonPicker() const { return button_; }
    [[nodiscard]] QComboBox* scopePicker() const { return scope_; }
    [[nodiscard]] QComboBox* actionPicker() const { return action_; }
    [[nodiscard]] QComboBox* placementPicker() const { return placement_; }
    [[nodiscard]] QComboBox* systemPicker() const { return system_; }
    [[nodiscard]] QPlainTextEdit* commandField() const { return command_; }
    // Whether the "Fingers" row is shown.
    [[nodiscard]] bool fingersShown() const;
    [[nodiscard]] QString appText() const;
    // Rebuilds the "In" entries from the running applications.
    void refreshScopeChoices();

    // Builds the rule and hands it over, then closes; nothing while it is incomplete.
    void save();
    // Shows the sheet with the keyboard in its first control; closing gives it back.
    void open();
    void accept() { done(1); }
    void reject() { done(0); }

  signals:
    void finished(int result);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    void buildWhen(QWidget* group);
    void buildDo(QWidget* group);
    void showActionDetail();
    void validate();
    void done(int result);
    void refit();

    BindingEditorModel model_;
    Store& store_;
    EditorServices services_;
    std::function<void(const Rule&)> onSave_;

    TextLabel* title_ = nullptr;
    TextLabel* conflict_ = nullptr;
    ProminentButton* save_ = nullptr;
    PlainButton* cancel_ = nullptr;
    ShortcutRecorder* shortcut_ = nullptr;
    ShortcutRecorder* keystroke_ = nullptr;
    DrawingCanvas* canvas_ = nullptr;
    QComboBox* gesture_ = nullptr;
    QComboBox* fingers_ = nullptr;
    QWidget* fingersRow_ = nullptr;
    QComboBox* button_ = nullptr;
    QComboBox* scope_ = nullptr;
    QComboBox* action_ = nullptr;
    QComboBox* placement_ = nullptr;
    QComboBox* system_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* url_ = nullptr;
    QPlainTextEdit* command_ = nullptr;
    TextLabel* appName_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    std::array<QWidget*, 2> groups_{};
    std::vector<std::pair<Action::Kind, QWidget*>> actionRows_;
    QPointer<QWidget> focusBefore_;
    bool open_ = false;
};

}  // namespace ombrel
