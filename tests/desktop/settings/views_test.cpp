// The settings window driven like a user: clicks, double clicks, key presses and drags on the
// real widgets, checked against what the window shows and what the settings file holds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTest>
#include <fstream>
#include <thread>

#include "config/json_codec.h"
#include "config/store.h"
#include "settings/binding_editor.h"
#include "settings/drawing_canvas.h"
#include "settings/general_pane.h"
#include "settings/rule_list.h"
#include "settings/rule_model.h"
#include "settings/rule_pane.h"
#include "settings/rule_view.h"
#include "settings/settings_view.h"
#include "settings/shortcut_recorder.h"
#include "settings/sidebar.h"
#include "settings/style.h"
#include "settings/trigger_view.h"
#include "settings/widgets.h"
#include "support/settings_fakes.h"
#include "support/temp_dir.h"

namespace ombrel {
namespace {

using test::hotkeyRule;
using test::mouseRule;

// X keycodes of a US keyboard for the few keys the tests press.
constexpr quint32 xA = 38;
constexpr quint32 xS = 39;
constexpr quint32 xEscape = 9;

std::optional<int64_t> translate(quint32 x) {
    switch (x) {
        case xA:
            return 0;
        case xS:
            return 1;
        case xEscape:
            return 53;
        default:
            return std::nullopt;
    }
}

// What a screen reader says of the control that has the keyboard: its role, the label linked to
// it, its name, and whether it is on.
std::string spoken() {
    QWidget* w = QApplication::focusWidget();
    if (w == nullptr) {
        return "nothing";
    }
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    if (qobject_cast<RuleListView*>(w) != nullptr) {
        i = i->focusChild();
    }
    const std::map<QAccessible::Role, std::string> roles = {{QAccessible::Button, "Button"},
                                                            {QAccessible::CheckBox, "CheckBox"},
                                                            {QAccessible::RadioButton, "Radio"},
                                                            {QAccessible::ComboBox, "ComboBox"},
                                                            {QAccessible::EditableText, "Text"}};
    std::string said = roles.contains(i->role()) ? roles.at(i->role()) : "other";
    for (const auto& [label, relation] : i->relations(QAccessible::Label)) {
        said += " [" + label->text(QAccessible::Name).toStdString() + "]";
    }
    said += " " + i->text(QAccessible::Name).toStdString();
    if (const QString about = i->text(QAccessible::Description);
        !about.isEmpty() && about != i->text(QAccessible::Name)) {
        said += " {" + about.toStdString() + "}";
    }
    if (i->state().checkable) {
        said += i->state().checked ? " (on)" : " (off)";
    }
    return said;
}

void press(QWidget* target, int qtKey, quint32 scan, Qt::KeyboardModifiers mods = {}) {
    QKeyEvent down(QEvent::KeyPress, qtKey, mods, scan, 0, 0);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, qtKey, mods, scan, 0, 0);
    QApplication::sendEvent(target, &up);
}

class SettingsWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        store_ = std::make_unique<Store>(dir_.path() / "Ombrel");
        Config empty;
        store_->setConfig(empty);
        makeDeps();
    }

    void makeDeps() {
        deps_ = std::make_unique<SettingsDeps>(SettingsDeps{
            *store_, engine_, nav_, loginItem_, [this] { return devices_; }, &translate,
            [] {
                return std::vector<std::string>{"xterm", "Firefox"};
            },
            [](const std::string& id) {
                return id == "Firefox" ? std::string("Firefox Web Browser") : id;
            },
            [this] { ++rechecks_; },
            [this](const std::filesystem::path& p) { shown_.push_back(p); },
            [](QWidget*) {
                return std::optional<std::string>("/usr/share/applications/xterm.desktop");
            }});
    }

    void setBindings(std::vector<Rule> rules, int64_t drawMods = 6) {
        Config config = store_->config();
        config.bindings = std::move(rules);
        config.drawMods = Mods(drawMods);
        store_->setConfig(config);
    }

    SettingsView& open() {
        view_ = std::make_unique<SettingsView>(*deps_);
        view_->resize(860, 580);
        view_->show();
        return *view_;
    }

    RulePane* rulePane() { return dynamic_cast<RulePane*>(view_->currentPane()); }
    RuleListView& list() { return *rulePane()->list(); }
    int rows() { return rulePane()->rules().rowCount(); }
    // A click on a row's control, or on the row outside its controls.
    void click(int row, RuleListView::Part part, bool twice = false) {
        const QPoint at = part == RuleListView::Part::none
                              ? list().partRect(row, part).topLeft() + QPoint(40, 20)
                              : list().partRect(row, part).center();
        if (twice) {
            QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, at);
        } else {
            QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, at);
        }
    }
    GeneralPane* generalPane() { return dynamic_cast<GeneralPane*>(view_->currentPane()); }

    // The settings as written to disk.
    Config onDisk() {
        std::ifstream in(store_->fileURL());
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        auto decoded = decodeConfig(text);
        EXPECT_TRUE(std::holds_alternative<Config>(decoded));
        return std::holds_alternative<Config>(decoded) ? std::get<Config>(decoded) : Config{};
    }

    BindingEditor& editor() {
        EXPECT_NE(view_->editor(), nullptr);
        return *view_->editor();
    }

    test::TempDir dir_;
    std::unique_ptr<Store> store_;
    test::FakeEngine engine_;
    Nav nav_;
    test::FakeLoginItem loginItem_;
    int64_t devices_ = 1;
    int rechecks_ = 0;
    std::vector<std::filesystem::path> shown_;
    std::unique_ptr<SettingsDeps> deps_;
    std::unique_ptr<SettingsView> view_;
};

TEST_F(SettingsWindow, AddingAMouseRuleAndCancellingAddsNothing) {
    setBindings({hotkeyRule(1, 1)});
    nav_.setPane(Pane::mouse);
    open();
    const Config before = onDisk();
    rulePane()->addButton()->click();
    BindingEditor& sheet = editor();
    EXPECT_EQ(sheet.title(), "New trigger");
    EXPECT_TRUE(sheet.saveButton()->isEnabled());
    press(&sheet, Qt::Key_Escape, xEscape);
    EXPECT_EQ(view_->editor(), nullptr);
    EXPECT_EQ(store_->config().bindings.size(), 1u);
    EXPECT_EQ(onDisk(), before);
    EXPECT_EQ(rows(), 0);
}

TEST_F(SettingsWindow, AddingAKeyboardRuleByRecordingAShortcut) {
    nav_.setPane(Pane::keyboard);
    open();
    rulePane()->addButton()->click();
    BindingEditor& sheet = editor();
    ShortcutRecorder* recorder = sheet.shortcutRecorder();
    ASSERT_NE(recorder, nullptr);
    EXPECT_EQ(recorder->buttonText(), "Click to record");
    EXPECT_FALSE(sheet.saveButton()->isEnabled());
    QApplication::processEvents();
    const QPoint at = recorder->button()->mapTo(&sheet, QPoint(0, 0));

    recorder->button()->click();
    EXPECT_TRUE(engine_.recording());
    EXPECT_EQ(recorder->buttonText(), "Press keys… (Esc cancels)");
    press(&sheet, Qt::Key_A, xA);
    EXPECT_EQ(recorder->hintText(), "Add ⌘, ⌥ or ⌃ so normal typing still works.");
    EXPECT_TRUE(recorder->recording());
    QApplication::processEvents();
    EXPECT_EQ(recorder->button()->mapTo(&sheet, QPoint(0, 0)), at) << "the button moved";
    // The key went to the recorder, not to a field of the sheet.
    press(&sheet, Qt::Key_A, xA, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(recorder->recording());
    EXPECT_FALSE(engine_.recording());
    EXPECT_EQ(recorder->buttonText(), "⌃⌥A");
    ASSERT_TRUE(sheet.saveButton()->isEnabled());

    sheet.saveButton()->click();
    EXPECT_EQ(view_->editor(), nullptr);
    const auto saved = onDisk().bindings;
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].trigger, Trigger::hotkey(KeyCombo{0, Mods(Mods::control | Mods::option)}));
    EXPECT_EQ(saved[0].action, Action::window(WindowAction::leftHalf));
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(rulePane()->subtitle(), "1 of 1 on");
    EXPECT_EQ(view_->sidebar()->item(Pane::keyboard)->count(), 1);
}

TEST_F(SettingsWindow, EscapeEndsRecordingKeepsTheShortcutAndLeavingReleasesTheEngine) {
    const Rule rule = hotkeyRule(1, Mods::command);
    setBindings({rule});
    open();
    view_->edit(rule);
    BindingEditor& sheet = editor();
    ShortcutRecorder* recorder = sheet.shortcutRecorder();
    EXPECT_EQ(recorder->buttonText(), "⌘S");
    recorder->button()->click();
    press(&sheet, Qt::Key_Escape, xEscape, Qt::ShiftModifier);
    EXPECT_FALSE(recorder->recording());
    EXPECT_EQ(recorder->buttonText(), "⌘S");
    // The sheet is still open: the first Escape only ended the recording.
    ASSERT_NE(view_->editor(), nullptr);
    recorder->button()->click();
    ASSERT_TRUE(engine_.recording());
    sheet.cancelButton()->click();
    EXPECT_EQ(view_->editor(), nullptr);
    EXPECT_FALSE(engine_.recording());

    // Closing the window while the keystroke recorder records dismisses the sheet as well.
    rulePane()->addButton()->click();
    editor().actionPicker()->setCurrentText("Send keystroke");
    editor().keystrokeRecorder()->button()->click();
    ASSERT_TRUE(engine_.recording());
    view_->hide();
    EXPECT_FALSE(engine_.recording());
    EXPECT_EQ(view_->editor(), nullptr);
    EXPECT_EQ(store_->config().bindings, std::vector<Rule>{rule});
}

TEST_F(SettingsWindow, OnlyOneRecorderRecordsAndTheEngineStaysPausedMeanwhile) {
    open();
    rulePane()->addButton()->click();
    BindingEditor& sheet = editor();
    sheet.actionPicker()->setCurrentText("Send keystroke");
    sheet.shortcutRecorder()->button()->click();
    sheet.keystrokeRecorder()->button()->click();
    EXPECT_FALSE(sheet.shortcutRecorder()->recording());
    EXPECT_TRUE(sheet.keystrokeRecorder()->recording());
    EXPECT_TRUE(engine_.recording());
    // Any key for a keystroke, a plain letter too.
    press(&sheet, Qt::Key_S, xS);
    EXPECT_FALSE(engine_.recording());
    EXPECT_EQ(sheet.keystrokeRecorder()->buttonText(), "S");
    EXPECT_EQ(sheet.model().makeAction(), Action::keystroke(KeyCombo{1, Mods()}));
    EXPECT_EQ(sheet.shortcutRecorder()->buttonText(), "Click to record");
    EXPECT_FALSE(sheet.saveButton()->isEnabled());
}

TEST_F(SettingsWindow, EditingKeepsTheRulesPlace) {
    const Rule a = hotkeyRule(0, 1);
    const Rule b = hotkeyRule(1, 1);
    const Rule c = hotkeyRule(2, 1);
    const Rule mouse = mouseRule(4);
    setBindings({a, mouse, b, c});
    open();
    ASSERT_EQ(rows(), 3);
    click(1, RuleListView::Part::none, true);
    BindingEditor& sheet = editor();
    EXPECT_EQ(sheet.title(), "Edit trigger");
    sheet.actionPicker()->setCurrentIndex(1);
    sheet.systemPicker()->setCurrentText("Lock screen");
    sheet.scopePicker()->setCurrentText("Firefox Web Browser");
    sheet.saveButton()->click();

    const auto saved = onDisk().bindings;
    ASSERT_EQ(saved.size(), 4u);
    EXPECT_EQ(saved[0], a);
    EXPECT_EQ(saved[1], mouse);
    EXPECT_EQ(saved[2].id, b.id);
    EXPECT_EQ(saved[2].action, Action::system(SystemAction::lockScreen));
    EXPECT_EQ(saved[2].appBundleID, "Firefox");
    EXPECT_EQ(saved[3], c);
    ASSERT_EQ(rows(), 3);
    EXPECT_EQ(rulePane()->rules().name(1), "⌘S Lock screen");
    EXPECT_EQ(rulePane()->rules().scopeText(1), "Only in Firefox Web Browser");
}

TEST_F(SettingsWindow, DeletingTheOnlyRuleShowsTheEmptyStateAndRewritesTheFile) {
    setBindings({hotkeyRule(0, 1), mouseRule(3)});
    nav_.setPane(Pane::mouse);
    open();
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(rulePane()->emptyState(), nullptr);
    click(0, RuleListView::Part::remove);
    EXPECT_EQ(rows(), 0);
    EXPECT_NE(rulePane()->emptyState(), nullptr);
    EXPECT_EQ(rulePane()->subtitle(), "Nothing set up");
    const auto saved = onDisk().bindings;
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].trigger.kind(), Trigger::Kind::hotkey);
    EXPECT_EQ(view_->sidebar()->item(Pane::mouse)->count(), 0);
}

TEST_F(SettingsWindow, EnableSwitchChangesTheSubtitleButNotTheSidebarCount) {
    setBindings({hotkeyRule(0, 1), hotkeyRule(1, 1, Action::shell("x"), std::nullopt, false),
                 hotkeyRule(2, 1)});
    open();
    EXPECT_EQ(rulePane()->subtitle(), "2 of 3 on");
    EXPECT_EQ(view_->sidebar()->item(Pane::keyboard)->count(), 3);
    // Only the switched row is announced as changed; no row comes or goes.
    QSignalSpy changed(&rulePane()->rules(), &QAbstractItemModel::dataChanged);
    QSignalSpy moved(&rulePane()->rules(), &QAbstractItemModel::layoutChanged);
    QSignalSpy reset(&rulePane()->rules(), &QAbstractItemModel::modelReset);
    QSignalSpy removed(&rulePane()->rules(), &QAbstractItemModel::rowsRemoved);
    click(0, RuleListView::Part::enable);
    EXPECT_EQ(rulePane()->subtitle(), "1 of 3 on");
    EXPECT_EQ(view_->sidebar()->item(Pane::keyboard)->count(), 3);
    EXPECT_FALSE(onDisk().bindings[0].enabled);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 0);
    EXPECT_EQ(moved.count() + reset.count() + removed.count(), 0);
    EXPECT_EQ(rulePane()->rules().data(rulePane()->rules().index(0), Qt::CheckStateRole),
              Qt::Unchecked);
}

TEST_F(SettingsWindow, RowsShowTheirOwnKindWithScopeAndHoverLook) {
    const Rule scoped = hotkeyRule(0, 1, Action::openURL("example.com"), "not.installed");
    setBindings({mouseRule(3), scoped, hotkeyRule(1, 1, Action::shell("ls"), "Firefox")});
    open();
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(rulePane()->rules().name(0), "⌘A Open example.com");
    EXPECT_EQ(rulePane()->rules().scopeText(0), "Only in not.installed");
    EXPECT_EQ(rulePane()->rules().scopeText(1), "Only in Firefox Web Browser");
    EXPECT_EQ(list().hoveredRow(), -1);
    const QPointF over = list().partRect(0, RuleListView::Part::none).center();
    QMouseEvent move(QEvent::MouseMove, over, list().viewport()->mapToGlobal(over), Qt::NoButton,
                     Qt::NoButton, {});
    QApplication::sendEvent(list().viewport(), &move);
    EXPECT_EQ(list().hoveredRow(), 0);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(list().viewport(), &leave);
    EXPECT_EQ(list().hoveredRow(), -1);

    // The scoped rule's application is not running: it heads the "In" list.
    click(0, RuleListView::Part::edit);
    QComboBox* in = editor().scopePicker();
    ASSERT_GE(in->count(), 4);
    EXPECT_EQ(in->itemText(0), "All apps");
    EXPECT_EQ(in->itemText(1), "not.installed");
    EXPECT_EQ(in->itemText(2), "Firefox Web Browser");
    EXPECT_EQ(in->itemText(3), "xterm");
    EXPECT_EQ(in->currentText(), "not.installed");
}

TEST_F(SettingsWindow, ConflictBlocksSavingWithItsMessage) {
    setBindings({Rule::make(Trigger::mouseButton(2), Action::system(SystemAction::mute),
                            std::nullopt, false)});
    nav_.setPane(Pane::mouse);
    open();
    rulePane()->addButton()->click();
    BindingEditor& sheet = editor();
    EXPECT_EQ(sheet.conflictText(),
              "Middle button in All apps already runs \"Mute\". Pick another trigger or app.");
    EXPECT_FALSE(sheet.saveButton()->isEnabled());
    sheet.scopePicker()->setCurrentText("xterm");
    EXPECT_EQ(sheet.conflictText(), "");
    EXPECT_TRUE(sheet.saveButton()->isEnabled());
    sheet.buttonPicker()->setCurrentIndex(1);
    sheet.scopePicker()->setCurrentIndex(0);
    EXPECT_TRUE(sheet.saveButton()->isEnabled());
}

TEST_F(SettingsWindow, TipTapHidesFingersAndSavesTwo) {
    nav_.setPane(Pane::trackpad);
    open();
    rulePane()->addButton()->click();
    BindingEditor& sheet = editor();
    EXPECT_TRUE(sheet.fingersShown());
    sheet.fingersPicker()->setCurrentText("4");
    sheet.gesturePicker()->setCurrentText("Tip-tap left (rest one finger, tap to its left)");
    EXPECT_FALSE(sheet.fingersShown());
    sheet.actionPicker()->setCurrentText("Open app");
    EXPECT_EQ(sheet.appText(), "None chosen");
    EXPECT_FALSE(sheet.saveButton()->isEnabled());
    for (auto* b : sheet.findChildren<PlainButton*>()) {
        if (b->text() == "Choose…") {
            b->click();
        }
    }
    EXPECT_EQ(sheet.appText(), "xterm");
    sheet.saveButton()->click();
    const auto saved = onDisk().bindings;
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].trigger,
              Trigger::trackpad(TrackpadGesture{TrackpadGesture::Kind::tipTapLeft, 2}));
    EXPECT_EQ(saved[0].action, Action::launchApp("/usr/share/applications/xterm.desktop"));
}

TEST_F(SettingsWindow, DrawingCanvasRecordsOneStrokeAtATime) {
    nav_.setPane(Pane::drawings);
    open();
    rulePane()->addButton()->click();
    BindingEditor& sheet = editor();
    DrawingCanvas* canvas = sheet.canvas();
    ASSERT_NE(canvas, nullptr);
    QWidget* surface = canvas->surface();
    EXPECT_FALSE(canvas->clearButton()->isEnabled());

    const auto drag = [&](std::vector<QPoint> pts) {
        QTest::mousePress(surface, Qt::LeftButton, {}, pts.front());
        for (std::size_t i = 1; i < pts.size(); ++i) {
            QMouseEvent move(QEvent::MouseMove, QPointF(pts[i]),
                             surface->mapToGlobal(QPointF(pts[i])), Qt::NoButton, Qt::LeftButton,
                             {});
            QApplication::sendEvent(surface, &move);
        }
        QTest::mouseRelease(surface, Qt::LeftButton, {}, pts.back());
    };
    drag({{20, 20}});
    EXPECT_EQ(sheet.model().drawPoints.size(), 1u);
    EXPECT_TRUE(canvas->clearButton()->isEnabled());
    EXPECT_FALSE(sheet.saveButton()->isEnabled());

    drag({{10, 100}, {100, 100}, {200, 100}, {300, 100}, {500, 250}});
    ASSERT_EQ(sheet.model().drawPoints.size(), 5u);
    EXPECT_EQ(sheet.model().drawPoints.front(), (Pt{10, 100}));
    EXPECT_EQ(sheet.model().drawPoints.back(), (Pt{500, 250}));  // past the edge, still kept
    EXPECT_TRUE(sheet.saveButton()->isEnabled());

    canvas->clearButton()->click();
    EXPECT_TRUE(sheet.model().drawPoints.empty());
    EXPECT_FALSE(canvas->clearButton()->isEnabled());
    EXPECT_FALSE(sheet.saveButton()->isEnabled());
}

TEST_F(SettingsWindow, DrawModifierPickerShowsNothingForAnUnofferedSet) {
    setBindings({}, 1);
    nav_.setPane(Pane::general);
    open();
    SegmentedControl* picker = generalPane()->drawModsPicker();
    EXPECT_EQ(picker->selected(), -1);
    EXPECT_EQ(store_->config().drawMods, Mods(1));
    QTest::mouseClick(picker->segment(3), Qt::LeftButton);
    EXPECT_EQ(picker->selected(), 3);
    EXPECT_EQ(onDisk().drawMods, Mods(12));
    nav_.setPane(Pane::drawings);
    EXPECT_EQ(rulePane()->subtitle(), "Nothing set up. Hold ⌃⇧ and move the pointer to draw.");
}

TEST_F(SettingsWindow, ReopeningShowsTheLastPane) {
    open();
    QTest::mouseClick(view_->sidebar()->item(Pane::trackpad), Qt::LeftButton);
    ASSERT_NE(rulePane(), nullptr);
    EXPECT_EQ(rulePane()->pane(), Pane::trackpad);
    view_.reset();
    open();
    ASSERT_NE(rulePane(), nullptr);
    EXPECT_EQ(rulePane()->pane(), Pane::trackpad);
    EXPECT_TRUE(view_->sidebar()->item(Pane::trackpad)->selected());
    EXPECT_FALSE(view_->sidebar()->item(Pane::keyboard)->selected());
}

TEST_F(SettingsWindow, StatusFollowsEngineAndSwitch) {
    engine_.set(false, false);
    devices_ = 0;
    nav_.setPane(Pane::general);
    open();
    Sidebar* side = view_->sidebar();
    EXPECT_EQ(side->statusWord(), "Needs access");
    EXPECT_FALSE(side->dot()->glow());
    EXPECT_FALSE(side->mascot()->awake());
    EXPECT_TRUE(view_->banner()->isVisible());
    EXPECT_EQ(generalPane()->statusValue(0), "Not available");
    EXPECT_EQ(generalPane()->statusValue(1), "Waiting for input");
    EXPECT_EQ(generalPane()->statusValue(2), "No multitouch device found");

    // Linux has no settings page to send the user to: the button checks again.
    view_->banner()->button()->click();
    EXPECT_EQ(rechecks_, 1);

    devices_ = 2;
    engine_.set(true, true);
    EXPECT_EQ(side->statusWord(), "Listening");
    EXPECT_TRUE(side->dot()->glow());
    EXPECT_TRUE(side->mascot()->awake());
    EXPECT_FALSE(view_->banner()->isVisible());
    EXPECT_EQ(generalPane()->statusValue(0), "Available");
    EXPECT_EQ(generalPane()->statusValue(1), "Running");
    EXPECT_EQ(generalPane()->statusValue(2), "2 multitouch devices found");

    side->engineSwitch()->click();
    EXPECT_EQ(side->statusWord(), "Napping");
    EXPECT_FALSE(side->mascot()->awake());
    EXPECT_FALSE(view_->banner()->isVisible());
    EXPECT_FALSE(onDisk().engineEnabled);
}

TEST_F(SettingsWindow, NoticesFromAnyThreadReachTheGeneralPane) {
    Notices notices;
    deps_->notices = &notices;
    nav_.setPane(Pane::general);
    open();
    std::thread([&] {
        notices.set("input", "Input is not available.");
        notices.set("touchpad", "The touchpad cannot be read.");
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(generalPane()->noticeTexts(),
              QStringList({"Input is not available.", "The touchpad cannot be read."}));
    notices.set("input", "");
    QCoreApplication::processEvents();
    EXPECT_EQ(generalPane()->noticeTexts(), QStringList({"The touchpad cannot be read."}));
}

// The sheet inside the smallest window, a conflict on one line whatever the command, and a
// command field that shows its lines.
TEST_F(SettingsWindow, SheetFitsTheWindowAndItsPartsKeepTheirPlaceAndText) {
    setBindings({hotkeyRule(1, 1, Action::shell("make\nmake install\nmake check"))});
    open();
    view_->resize(view_->minimumSize());
    view_->edit(RuleList::newRule(Pane::drawings));
    QApplication::processEvents();
    const QRect inside = view_->rect();
    EXPECT_TRUE(inside.contains(editor().geometry()));
    const QPoint save = editor().saveButton()->mapTo(view_.get(), QPoint(0, 0));
    EXPECT_TRUE(inside.contains(QRect(save, editor().saveButton()->size())));
    editor().reject();

    view_->edit(RuleList::newRule(Pane::keyboard));
    BindingEditor& sheet = editor();
    sheet.shortcutRecorder()->button()->click();
    press(&sheet, Qt::Key_S, xS, Qt::MetaModifier);
    EXPECT_THAT(sheet.conflictText().toStdString(), ::testing::EndsWith("…"));
    EXPECT_FALSE(sheet.conflictText().contains('\n'));

    sheet.actionPicker()->setCurrentText("Run shell command");
    QPlainTextEdit* command = sheet.commandField();
    EXPECT_EQ(command->placeholderText(), "xdg-open ~/Downloads");
    const int line = QFontMetrics(command->font()).lineSpacing();
    for (int lines : {1, 2, 3, 5, 6}) {
        command->setPlainText(QString("echo\n").repeated(lines - 1) + "echo");
        QApplication::processEvents();
        EXPECT_EQ(command->verticalScrollBar()->isVisible(), lines > 5) << lines;
        EXPECT_GE(command->viewport()->height(), std::clamp(lines, 2, 5) * line) << lines;
    }
}

// The whole window by keyboard, as a screen reader user hears it: Tab in reading order through
// every control, the arrows in the sidebar and the segmented picker, Space and Return pressing,
// the sheet keeping Tab to itself, and a deleted rule brought back.
TEST_F(SettingsWindow, KeyboardReachesEveryControlAndEachIsNamedForItsRule) {
    const Rule left = hotkeyRule(123, 6);
    const Rule ls = hotkeyRule(1, 1, Action::shell("ls"), "Firefox");
    setBindings({left, ls});
    engine_.set(false, false);
    open();
    view_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view_.get()));
    view_->sidebar()->item(Pane::keyboard)->setFocus(Qt::TabFocusReason);
    const std::string leftName = "⌃⌥← Window: Left half";
    struct Step {
        int key;
        std::string heard;
    };
    const Step steps[] = {
        {0, "Radio Keyboard, 2 rules (on)"},
        {Qt::Key_Tab, "CheckBox Ombrel is on (on)"},
        {Qt::Key_Tab, "Button Check again"},
        {Qt::Key_Tab, "Button Add"},
        {Qt::Key_Tab, "Button Edit " + leftName},
        {Qt::Key_Tab, "Button Delete " + leftName},
        {Qt::Key_Tab, "CheckBox Enabled " + leftName + " (on)"},
        {Qt::Key_Space, "CheckBox Enabled " + leftName + " (off)"},
        {Qt::Key_Tab, "Button Edit ⌘S Run: ls"},
        {Qt::Key_Up, "Button Edit " + leftName},
        {Qt::Key_Backtab, "Button Add"},
        {Qt::Key_Backtab, "Button Check again"},
        {Qt::Key_Backtab, "CheckBox Ombrel is on (on)"},
        {Qt::Key_Backtab, "Radio Keyboard, 2 rules (on)"},
        {Qt::Key_Down, "Radio Trackpad, 0 rules (on)"},
        {Qt::Key_Down, "Radio Mouse, 0 rules (on)"},
        {Qt::Key_Down, "Radio Drawings, 0 rules (on)"},
        {Qt::Key_Down, "Radio General (on)"},
        {Qt::Key_Tab, "CheckBox Ombrel is on (on)"},
        {Qt::Key_Tab, "Button Check again"},
        {Qt::Key_Tab,
         "CheckBox [Snap windows when dragged to a screen edge] Snap windows when "
         "dragged to a screen edge (on)"},
        {Qt::Key_Tab, "Radio ⌃⌥ {Draw shapes while holding} (on)"},
        {Qt::Key_Right, "Radio ⌥⌘ {Draw shapes while holding} (on)"},
        {Qt::Key_Tab, "CheckBox [Open Ombrel at login] Open Ombrel at login (off)"},
        {Qt::Key_Tab, "Button Show settings file in the file manager"},
        {Qt::Key_Return, "Button Show settings file in the file manager"},
        {Qt::Key_Tab, "Radio General (on)"},
        {Qt::Key_Up, "Radio Drawings, 0 rules (on)"},
        {Qt::Key_Up, "Radio Mouse, 0 rules (on)"},
        {Qt::Key_Up, "Radio Trackpad, 0 rules (on)"},
        {Qt::Key_Up, "Radio Keyboard, 2 rules (on)"},
        {Qt::Key_Backtab, "CheckBox Enabled ⌘S Run: ls (on)"},
        {Qt::Key_Up, "CheckBox Enabled " + leftName + " (off)"},
        {Qt::Key_Left, "Button Delete " + leftName},
        {Qt::Key_Left, "Button Edit " + leftName},
        // The sheet: its first control has the keyboard, and Tab goes round its own controls.
        {Qt::Key_Return, "Button Shortcut ⌃⌥←"},
        {Qt::Key_Tab, "ComboBox [In] All apps"},
        {Qt::Key_Tab, "ComboBox [Action] Move window"},
        {Qt::Key_Tab, "ComboBox [Placement] Left half"},
        {Qt::Key_Tab, "Button Cancel"},
        {Qt::Key_Tab, "Button Save changes"},
        {Qt::Key_Tab, "Button Shortcut ⌃⌥←"},
        {Qt::Key_Escape, "Button Edit " + leftName},
        {Qt::Key_Tab, "Button Delete " + leftName},
        {Qt::Key_Space, "Button Delete ⌘S Run: ls"},
    };
    for (const Step& step : steps) {
        if (step.key != 0) {
            QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(step.key));
        }
        ASSERT_EQ(spoken(), step.heard)
            << "after key " << QKeySequence(step.key).toString().toStdString();
    }
    EXPECT_EQ(onDisk().drawMods, Mods(3));
    EXPECT_EQ(shown_, std::vector<std::filesystem::path>{store_->fileURL()});
    ASSERT_EQ(onDisk().bindings, std::vector<Rule>{ls});
    // Edit ▸ Undo brings the deleted rule back at its place, as it was (switched off).
    view_->undo();
    Rule off = left;
    off.enabled = false;
    EXPECT_EQ(onDisk().bindings, (std::vector<Rule>{off, ls}));
}

// Screen readers act on a row's controls and on the sidebar without the keyboard; a rule whose
// trigger another program holds says so.
TEST_F(SettingsWindow, ScreenReaderActionsAndTheTakenState) {
    const Rule a = hotkeyRule(123, 6);
    const Rule b = hotkeyRule(124, 6, Action::window(WindowAction::rightHalf), std::nullopt, false);
    setBindings({a, b});
    open();
    QAccessibleInterface* rows = QAccessible::queryAccessibleInterface(&list());
    ASSERT_EQ(rows->childCount(), 2);
    QAccessibleInterface* row = rows->child(1);
    EXPECT_EQ(row->text(QAccessible::Name), "⌃⌥→ Window: Right half");
    EXPECT_EQ(rows->indexOfChild(row), 1);
    row->child(2)->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(onDisk().bindings[1].enabled);
    EXPECT_TRUE(row->child(2)->state().checked);

    QSignalSpy changed(&rulePane()->rules(), &QAbstractItemModel::dataChanged);
    // Another program holds ⌃⌥←: only that row changes. Disabled rules are never held.
    engine_.setTaken({a.trigger, Trigger::hotkey({1, Mods(1)})});
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(rows->child(0)->text(QAccessible::Description), "Taken by another program");
    EXPECT_EQ(rows->child(1)->text(QAccessible::Description), "");
    row->child(1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(onDisk().bindings, std::vector<Rule>{a});
    EXPECT_EQ(rows->childCount(), 1);

    QAccessibleInterface* mouse =
        QAccessible::queryAccessibleInterface(view_->sidebar()->item(Pane::mouse));
    EXPECT_EQ(mouse->text(QAccessible::Name), "Mouse, 0 rules");
    mouse->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(QTest::qWaitFor([&] { return nav_.pane() == Pane::mouse; }));
}

// The content column has one background, under the desktop's palette as under the program's own.
TEST_F(SettingsWindow, OneBackgroundBehindHeaderListAndGeneralPane) {
    setBindings({hotkeyRule(123, 6), hotkeyRule(124, 6)});
    QPalette foreign = QStyleFactory::create("Fusion")->standardPalette();
    foreign.setColor(QPalette::Window, QColor(52, 60, 70));
    foreign.setColor(QPalette::WindowText, Qt::white);
    foreign.setColor(QPalette::Base, QColor(20, 20, 20));
    for (const QPalette& palette : {style::lightPalette(), style::darkPalette(), foreign}) {
        QApplication::setPalette(palette);
        open();
        for (Pane pane : {Pane::keyboard, Pane::general}) {
            nav_.setPane(pane);
            const QImage shot = view_->grab().toImage();
            // Above the title, between and below the rows (or the settings), at the right edge.
            const QRgb header = shot.pixel(700, 6);
            for (const QPoint at : {QPoint(700, 560), QPoint(300, 500), QPoint(855, 300)}) {
                EXPECT_EQ(QColor(shot.pixel(at)), QColor(header))
                    << paneTitle(pane) << " at " << at.x() << "," << at.y();
            }
        }
    }
    QApplication::setPalette(style::lightPalette());
}

TEST_F(SettingsWindow, UnreadableFileSentenceStays) {
    const auto folder = dir_.path() / "broken";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "config.json") << "{ not json";
    store_ = std::make_unique<Store>(folder);
    makeDeps();
    open();
    EXPECT_EQ(view_->loadErrorText().toStdString(), std::string(Store::loadErrorText));
    setBindings({mouseRule(3)});
    EXPECT_EQ(view_->loadErrorText().toStdString(), std::string(Store::loadErrorText));
}

// The switch follows the login item; a failure shows the sentence and the switch springs back.
TEST_F(SettingsWindow, LoginSwitchFollowsTheLoginItem) {
    nav_.setPane(Pane::general);
    open();
    ToggleSwitch* sw = generalPane()->loginSwitch();
    EXPECT_FALSE(sw->isChecked());
    sw->click();
    EXPECT_TRUE(sw->isChecked());
    EXPECT_TRUE(loginItem_.on);
    loginItem_.refusal = "Permission denied";
    sw->click();
    EXPECT_TRUE(sw->isChecked());
    EXPECT_TRUE(loginItem_.on);
    EXPECT_EQ(generalPane()->loginError(), "Could not change the login item: Permission denied");
    loginItem_.refusal.reset();
    sw->click();
    EXPECT_FALSE(sw->isChecked());
    EXPECT_FALSE(loginItem_.on);
    EXPECT_EQ(generalPane()->loginError(), "");

    // Built again, the pane asks the item afresh.
    loginItem_.on = true;
    nav_.setPane(Pane::keyboard);
    nav_.setPane(Pane::general);
    EXPECT_TRUE(generalPane()->loginSwitch()->isChecked());
}

}  // namespace
}  // namespace ombrel
