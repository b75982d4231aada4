// The settings window driven like a user: clicks, key presses, drags and screen-reader actions on
// the real widgets, checked against what the window shows, what a screen reader hears and what
// the settings file holds.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMetaEnum>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTest>
#include <fstream>
#include <stdexcept>
#include <thread>

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
using Part = RuleListView::Part;

// X keycodes of a US keyboard for the keys the recorders hear: A, S and Escape.
constexpr quint32 xA = 38;
constexpr quint32 xS = 39;
constexpr quint32 xEscape = 9;

std::optional<int64_t> translate(quint32 x) {
    const std::map<quint32, int64_t> keys = {{xA, 0}, {xS, 1}, {xEscape, 53}};
    return keys.contains(x) ? std::optional(keys.at(x)) : std::nullopt;
}

void press(QWidget* target, int qtKey, quint32 scan, Qt::KeyboardModifiers mods = {}) {
    for (const auto type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, qtKey, mods, scan, 0, 0);
        QApplication::sendEvent(target, &event);
    }
}

// What a screen reader says of an element: its role, the label linked to it, its name, its
// notes, and whether it is on.
std::string heard(QAccessibleInterface* i) {
    const char* role = QMetaEnum::fromType<QAccessible::Role>().valueToKey(i->role());
    std::string said = i->role() == QAccessible::ListItem ? "" : std::string(role) + " ";
    for (const auto& [label, relation] : i->relations(QAccessible::Label)) {
        said += "[" + label->text(QAccessible::Name).toStdString() + "] ";
    }
    said += i->text(QAccessible::Name).toStdString();
    if (const QString about = i->text(QAccessible::Description);
        !about.isEmpty() && about != i->text(QAccessible::Name)) {
        said += " {" + about.toStdString() + "}";
    }
    if (i->state().checkable) {
        said += i->state().checked ? " (on)" : " (off)";
    }
    return said;
}

class SettingsWindow : public ::testing::Test {
  protected:
    SettingsWindow() {
        deps_.runningApps = [] { return std::vector<std::string>{"xterm", "Firefox"}; };
        deps_.appName = [](const std::string& id) {
            return id == "Firefox" ? std::string("Firefox Web Browser") : id;
        };
        deps_.recheckAccess = [this] { ++rechecks_; };
        deps_.showFile = [this](const std::filesystem::path& p) { shown_.push_back(p); };
        deps_.chooseApp = [](QWidget*) {
            return std::optional<std::string>("/usr/share/applications/xterm.desktop");
        };
        deps_.notices = &notices_;
    }
    // Saves the rules, then opens the window on the pane.
    void open(Pane pane = Pane::keyboard, std::vector<Rule> rules = {}, int64_t drawMods = 6) {
        store_.setConfig(Config{true, true, Mods(drawMods), std::move(rules)});
        nav_.setPane(pane);
        view_ = std::make_unique<SettingsView>(deps_);
        view_->resize(860, 580);
        view_->show();
    }

    RulePane* rulePane() { return dynamic_cast<RulePane*>(view_->currentPane()); }
    GeneralPane* generalPane() { return dynamic_cast<GeneralPane*>(view_->currentPane()); }
    RuleListView& list() { return *rulePane()->list(); }
    // The open sheet; with none open the test fails there, rather than crashing further on.
    BindingEditor& sheet() {
        if (view_->editor() == nullptr) {
            throw std::runtime_error("no rule sheet is open");
        }
        return *view_->editor();
    }

    // A click on a row's control, or on the row outside its controls.
    void click(int row, Part part, bool twice = false) {
        const QPoint at = part == Part::none ? list().partRect(row, part).topLeft() + QPoint(40, 20)
                                             : list().partRect(row, part).center();
        using Click = void (*)(QWidget*, Qt::MouseButton, Qt::KeyboardModifiers, QPoint, int);
        (twice ? Click(&QTest::mouseDClick) : Click(&QTest::mouseClick))(
            list().viewport(), Qt::LeftButton, {}, at, -1);
    }

    // The pane's rows as a screen reader hears them, "(off)" for a switched-off rule.
    std::string rows() {
        QAccessibleInterface* rows = QAccessible::queryAccessibleInterface(&list());
        std::string said;
        for (int i = 0; i < rows->childCount(); ++i) {
            said += (i > 0 ? " | " : "") + heard(rows->child(i));
            said += rows->child(i)->child(2)->state().checked ? "" : " (off)";
        }
        return said;
    }

    // The rules a fresh start would load.
    std::vector<Rule> onDisk() { return Store(dir_.path() / "Ombrel").config().bindings; }

    test::TempDir dir_;
    Store store_{dir_.path() / "Ombrel"};
    test::FakeEngine engine_;
    Nav nav_;
    test::FakeLoginItem loginItem_;
    Notices notices_;
    int64_t devices_ = 1;
    int rechecks_ = 0;
    std::vector<std::filesystem::path> shown_;
    SettingsDeps deps_{store_, engine_, nav_, loginItem_, [this] { return devices_; }, &translate};
    std::unique_ptr<SettingsView> view_;
};

// One recorder records at a time and the engine pauses meanwhile; Escape ends a recording and
// keeps the shortcut; cancelling the sheet or closing the window frees the engine. A new rule's
// shortcut needs a modifier, the recorder keeping its place while it says so; saved, the rule
// goes last.
TEST_F(SettingsWindow, RecordersCanvasTipTapAndTheSheetInTheSmallestWindow) {
    const Rule rule = hotkeyRule(1, Mods::command, Action::shell("make\nmake install\nmake check"));
    open(Pane::keyboard, {rule});
    for (const bool closeWindow : {false, true}) {
        view_->edit(rule);
        ShortcutRecorder* shortcut = sheet().shortcutRecorder();
        shortcut->button()->click();
        press(&sheet(), Qt::Key_Escape, xEscape, Qt::ShiftModifier);
        EXPECT_FALSE(shortcut->recording());
        EXPECT_EQ(shortcut->buttonText(), "⌘S");
        shortcut->button()->click();
        ASSERT_TRUE(engine_.recording());
        closeWindow ? view_->hide() : sheet().cancelButton()->click();
        EXPECT_FALSE(engine_.recording());
        EXPECT_EQ(view_->editor(), nullptr);
    }

    view_->show();
    rulePane()->addButton()->click();
    sheet().actionPicker()->setCurrentText("Send keystroke");
    ShortcutRecorder* shortcut = sheet().shortcutRecorder();
    shortcut->button()->click();
    sheet().keystrokeRecorder()->button()->click();
    EXPECT_FALSE(shortcut->recording());
    EXPECT_TRUE(engine_.recording());
    press(&sheet(), Qt::Key_S, xS);  // any key for a keystroke, a plain letter too
    EXPECT_FALSE(engine_.recording());
    EXPECT_EQ(sheet().model().makeAction(), Action::keystroke(KeyCombo{1, Mods()}));
    EXPECT_FALSE(sheet().saveButton()->isEnabled()) << "no shortcut yet";
    QApplication::processEvents();
    const QPoint at = shortcut->button()->mapTo(&sheet(), QPoint(0, 0));
    shortcut->button()->click();
    press(&sheet(), Qt::Key_A, xA);
    EXPECT_TRUE(shortcut->recording());
    EXPECT_FALSE(shortcut->hintText().isEmpty());
    QApplication::processEvents();
    EXPECT_EQ(shortcut->button()->mapTo(&sheet(), QPoint(0, 0)), at) << "the button moved";
    press(&sheet(), Qt::Key_A, xA, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(engine_.recording());
    EXPECT_EQ(shortcut->buttonText(), "⌃⌥A");
    sheet().saveButton()->click();
    EXPECT_EQ(view_->editor(), nullptr);
    EXPECT_EQ(rows(), "⌘S Run: make\nmake install\nmake check | ⌃⌥A Press S");
    EXPECT_EQ(onDisk(), store_.config().bindings);

    // The canvas records one stroke at a time; a tip-tap hides the finger count and saves two
    // fingers, with the app chosen in the file dialog.
    nav_.setPane(Pane::drawings);
    rulePane()->addButton()->click();
    QWidget* surface = sheet().canvas()->surface();
    const auto drag = [&](std::vector<QPoint> pts) {
        QTest::mousePress(surface, Qt::LeftButton, {}, pts.front());
        for (const QPoint& at : pts) {
            QMouseEvent move(QEvent::MouseMove, QPointF(at), surface->mapToGlobal(QPointF(at)),
                             Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(surface, &move);
        }
        QTest::mouseRelease(surface, Qt::LeftButton, {}, pts.back());
    };
    drag({{20, 20}});
    EXPECT_TRUE(sheet().canvas()->clearButton()->isEnabled());
    EXPECT_FALSE(sheet().saveButton()->isEnabled());
    drag({{10, 100}, {200, 100}, {300, 100}, {500, 250}});
    EXPECT_EQ(sheet().model().drawPoints.front(), (Pt{10, 100}));
    EXPECT_EQ(sheet().model().drawPoints.back(), (Pt{500, 250}));  // past the edge, still kept
    EXPECT_TRUE(sheet().saveButton()->isEnabled());
    sheet().canvas()->clearButton()->click();
    EXPECT_TRUE(sheet().model().drawPoints.empty());
    EXPECT_FALSE(sheet().canvas()->clearButton()->isEnabled());
    EXPECT_FALSE(sheet().saveButton()->isEnabled());
    sheet().reject();

    nav_.setPane(Pane::trackpad);
    rulePane()->addButton()->click();
    BindingEditor& tip = sheet();
    EXPECT_TRUE(tip.fingersShown());
    tip.fingersPicker()->setCurrentText("4");
    tip.gesturePicker()->setCurrentIndex(
        tip.gesturePicker()->findData(static_cast<int>(TrackpadGesture::Kind::tipTapLeft)));
    EXPECT_FALSE(tip.fingersShown());
    tip.actionPicker()->setCurrentText("Open app");
    EXPECT_FALSE(tip.saveButton()->isEnabled());
    for (auto* b : tip.findChildren<PlainButton*>()) {
        if (b->text() == "Choose…") {
            b->click();
        }
    }
    tip.saveButton()->click();
    EXPECT_EQ(onDisk().back().trigger,
              Trigger::trackpad(TrackpadGesture{TrackpadGesture::Kind::tipTapLeft, 2}));
    EXPECT_EQ(onDisk().back().action, Action::launchApp("/usr/share/applications/xterm.desktop"));

    // The sheet inside the smallest window, a conflict on one line whatever the command, and a
    // command field of two to five lines.
    view_->resize(view_->minimumSize());
    view_->edit(RuleList::newRule(Pane::drawings));
    QApplication::processEvents();
    const QPoint save = sheet().saveButton()->mapTo(view_.get(), QPoint(0, 0));
    EXPECT_TRUE(view_->rect().contains(sheet().geometry()));
    EXPECT_TRUE(view_->rect().contains(QRect(save, sheet().saveButton()->size())));
    sheet().reject();

    view_->edit(RuleList::newRule(Pane::keyboard));
    sheet().shortcutRecorder()->button()->click();
    press(&sheet(), Qt::Key_S, xS, Qt::MetaModifier);
    EXPECT_TRUE(sheet().conflictText().endsWith("…")) << sheet().conflictText().toStdString();
    EXPECT_FALSE(sheet().conflictText().contains('\n'));
    sheet().actionPicker()->setCurrentText("Run shell command");
    QPlainTextEdit* command = sheet().commandField();
    const int line = QFontMetrics(command->font()).lineSpacing();
    for (int lines : {1, 5, 6}) {
        command->setPlainText(QString("echo\n").repeated(lines - 1) + "echo");
        QApplication::processEvents();
        EXPECT_EQ(command->verticalScrollBar()->isVisible(), lines > 5) << lines;
        EXPECT_GE(command->viewport()->height(), std::clamp(lines, 2, 5) * line) << lines;
    }
}

// A new rule that clashes with a stored one, even one switched off, cannot be saved until
// another app is picked. Deleting a pane's only rule shows its empty state; switching a rule off
// changes the subtitle and announces that row alone, and the sidebar still counts it.
TEST_F(SettingsWindow, ConflictsDeletingTheOnlyRuleAndSwitchingOneOff) {
    const Rule on = hotkeyRule(0, 1);
    const Rule off = hotkeyRule(1, 1, Action::shell("x"), std::nullopt, false);
    open(Pane::mouse, {on, off,
                       Rule::make(Trigger::mouseButton(2), Action::system(SystemAction::mute),
                                  std::nullopt, false)});
    rulePane()->addButton()->click();
    EXPECT_EQ(sheet().conflictText(),
              "Middle button in All apps already runs \"Mute\". Pick another trigger or app.");
    EXPECT_FALSE(sheet().saveButton()->isEnabled());
    sheet().scopePicker()->setCurrentText("xterm");
    EXPECT_EQ(sheet().conflictText(), "");
    EXPECT_TRUE(sheet().saveButton()->isEnabled());
    sheet().reject();
    EXPECT_EQ(rulePane()->emptyState(), nullptr);
    click(0, Part::remove);
    EXPECT_NE(rulePane()->emptyState(), nullptr);
    EXPECT_EQ(rulePane()->subtitle(), "Nothing set up");
    EXPECT_EQ(view_->sidebar()->item(Pane::mouse)->count(), 0);
    EXPECT_EQ(onDisk(), (std::vector<Rule>{on, off}));

    nav_.setPane(Pane::keyboard);
    QApplication::processEvents();
    EXPECT_EQ(rulePane()->subtitle(), "1 of 2 on");
    QSignalSpy changed(&rulePane()->rules(), &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&rulePane()->rules(), &QAbstractItemModel::modelReset);
    QSignalSpy removed(&rulePane()->rules(), &QAbstractItemModel::rowsRemoved);
    click(0, Part::enable);
    EXPECT_EQ(rows(), "⌘A Window: Left half (off) | ⌘S Run: x (off)");
    EXPECT_EQ(rulePane()->subtitle(), "0 of 2 on");
    EXPECT_EQ(view_->sidebar()->item(Pane::keyboard)->count(), 2);
    EXPECT_FALSE(onDisk().at(0).enabled);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 0);
    EXPECT_EQ(reset.count() + removed.count(), 0);
}

// Rows name their scope and follow the pointer; the sheet's "In" list starts with the rule's
// application when it is not running. An edited rule keeps its place.
TEST_F(SettingsWindow, RowsShowTheirScopeAndHoverAndEditingKeepsTheirPlace) {
    const Rule mouse = mouseRule(3);
    const Rule url = hotkeyRule(0, 1, Action::openURL("example.com"), "not.installed");
    Rule ls = hotkeyRule(1, 1, Action::shell("ls"), "Firefox");
    const Rule last = hotkeyRule(2, 1);
    open(Pane::keyboard, {mouse, url, ls, last});
    EXPECT_EQ(rows(),
              "⌘A Open example.com {Only in not.installed} | ⌘S Run: ls {Only in Firefox Web "
              "Browser} | ⌘D Window: Left half");
    const QPointF over = list().partRect(0, Part::none).center();
    QMouseEvent move(QEvent::MouseMove, over, list().viewport()->mapToGlobal(over), Qt::NoButton,
                     Qt::NoButton, {});
    QApplication::sendEvent(list().viewport(), &move);
    EXPECT_EQ(list().hoveredRow(), 0);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(list().viewport(), &leave);
    EXPECT_EQ(list().hoveredRow(), -1);

    click(0, Part::edit);
    EXPECT_EQ(sheet().scopePicker()->currentIndex(), 1);
    EXPECT_EQ(sheet().scopePicker()->findText("Firefox Web Browser"), 2);
    sheet().reject();

    click(1, Part::none, true);
    sheet().actionPicker()->setCurrentIndex(1);
    sheet().systemPicker()->setCurrentText("Lock screen");
    sheet().scopePicker()->setCurrentText("xterm");
    sheet().saveButton()->click();
    ls.action = Action::system(SystemAction::lockScreen);
    ls.appBundleID = "xterm";
    EXPECT_EQ(onDisk(), (std::vector<Rule>{mouse, url, ls, last}));
}

// The status line, the banner and the General pane follow the engine, the devices and the
// switch, and list the notices given from any thread; the login switch follows the login item.
TEST_F(SettingsWindow, GeneralPaneDrawPickerAndReopening) {
    engine_.set(false, false);
    devices_ = 0;
    open(Pane::general, {}, 1);
    Sidebar* side = view_->sidebar();
    const auto status = [&] {
        return side->statusWord() + ", " + generalPane()->statusValue(0) + ", " +
               generalPane()->statusValue(1) + ", " + generalPane()->statusValue(2) +
               (side->mascot()->awake() ? "; awake" : "; asleep") +
               (view_->banner()->isVisible() ? "; banner" : "");
    };
    EXPECT_EQ(status(),
              "Needs access, Not available, Waiting for input, No multitouch device "
              "found; asleep; banner");
    view_->banner()->button()->click();
    EXPECT_EQ(rechecks_, 1);
    devices_ = 2;
    engine_.set(true, true);
    EXPECT_EQ(status(), "Listening, Available, Running, 2 multitouch devices found; awake");
    side->engineSwitch()->click();
    EXPECT_EQ(side->statusWord(), "Napping");

    std::thread([&] {
        notices_.set("input", "Input is not available.");
        notices_.set("touchpad", "The touchpad cannot be read.");
    }).join();
    notices_.set("input", "");
    QCoreApplication::processEvents();
    EXPECT_EQ(generalPane()->noticeTexts(), QStringList({"The touchpad cannot be read."}));

    ToggleSwitch* login = generalPane()->loginSwitch();
    login->click();
    EXPECT_TRUE(loginItem_.on);
    loginItem_.refusal = "Permission denied";
    login->click();
    EXPECT_TRUE(login->isChecked()) << "springs back";
    EXPECT_EQ(generalPane()->loginError(), "Could not change the login item: Permission denied");
    loginItem_.refusal.reset();
    login->click();
    EXPECT_FALSE(loginItem_.on);
    EXPECT_EQ(generalPane()->loginError(), "");
    // Built again, the pane asks the item afresh.
    loginItem_.on = true;
    nav_.setPane(Pane::keyboard);
    nav_.setPane(Pane::general);
    EXPECT_TRUE(generalPane()->loginSwitch()->isChecked());

    // A draw set the picker does not offer shows no choice; picking one saves it. Reopened, the
    // window shows the pane it showed last, and a settings file that could not be read says so.
    SegmentedControl* picker = generalPane()->drawModsPicker();
    EXPECT_EQ(picker->selected(), -1);
    QTest::mouseClick(picker->segment(3), Qt::LeftButton);
    EXPECT_EQ(picker->selected(), 3);
    EXPECT_EQ(store_.config().drawMods, Mods(12));
    QTest::mouseClick(view_->sidebar()->item(Pane::trackpad), Qt::LeftButton);
    view_.reset();
    std::ofstream(store_.fileURL()) << "{ not json";
    Store unreadable(dir_.path() / "Ombrel");
    SettingsDeps deps{unreadable, engine_, nav_, loginItem_, [] { return 0; }, &translate};
    SettingsView again(deps);
    ASSERT_NE(dynamic_cast<RulePane*>(again.currentPane()), nullptr);
    EXPECT_EQ(dynamic_cast<RulePane*>(again.currentPane())->pane(), Pane::trackpad);
    EXPECT_TRUE(again.sidebar()->item(Pane::trackpad)->selected());
    EXPECT_EQ(again.loadErrorText().toStdString(), std::string(Store::loadErrorText));
}

// The whole window by keyboard, as a screen reader user hears it: Tab in reading order through
// every control, the arrows in the list, the sidebar and the segmented picker, Space and Return
// pressing, the sheet keeping Tab to itself. Then Edit ▸ Undo brings back one deletion at a
// time, the latest first.
TEST_F(SettingsWindow, KeyboardAndScreenReaderReachEveryControlAndUndoBringsDeletionsBack) {
    const Rule left = hotkeyRule(123, 6);
    const Rule ls = hotkeyRule(1, 1, Action::shell("ls"), "Firefox");
    engine_.set(false, false);
    open(Pane::keyboard, {left, ls});
    view_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view_.get()));
    view_->sidebar()->item(Pane::keyboard)->setFocus(Qt::TabFocusReason);
    std::ifstream walk(KEYBOARD_WALK);
    ASSERT_TRUE(walk) << KEYBOARD_WALK;
    for (std::string line; std::getline(walk, line);) {
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::string key = line.substr(0, line.find(' '));
        if (key != "-") {
            const QKeySequence keys = QKeySequence::fromString(QString::fromStdString(key));
            QTest::keyClick(QApplication::focusWidget(), keys[0].key());
        }
        // The control that has the keyboard, as heard; in the list, its focused control.
        QWidget* w = QApplication::focusWidget();
        ASSERT_NE(w, nullptr) << line;
        QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
        ASSERT_EQ(heard(qobject_cast<RuleListView*>(w) != nullptr ? i->focusChild() : i),
                  line.substr(line.find_first_not_of(' ', key.size())))
            << line;
    }
    EXPECT_EQ(store_.config().drawMods, Mods(3));
    EXPECT_EQ(shown_, std::vector<std::filesystem::path>{store_.fileURL()});
    EXPECT_EQ(onDisk(), std::vector<Rule>{});
    Rule off = left;
    off.enabled = false;
    view_->undo();
    EXPECT_EQ(onDisk(), std::vector<Rule>{ls});
    view_->undo();
    EXPECT_EQ(onDisk(), (std::vector<Rule>{off, ls}));

    // Screen readers act on a row's controls and on the sidebar without the keyboard. A rule
    // whose trigger another program holds says so while it is on.
    nav_.setPane(Pane::keyboard);
    QSignalSpy changed(&rulePane()->rules(), &QAbstractItemModel::dataChanged);
    engine_.setTaken({left.trigger, ls.trigger, Trigger::hotkey({9, Mods(1)})});
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 1);
    EXPECT_EQ(rows(),
              "⌃⌥← Window: Left half (off) | ⌘S Run: ls {Taken by another program. Only "
              "in Firefox Web Browser}");
    QAccessibleInterface* row = QAccessible::queryAccessibleInterface(&list())->child(0);
    row->child(2)->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(onDisk().at(0).enabled);
    EXPECT_EQ(heard(row), "⌃⌥← Window: Left half {Taken by another program}");
    row->child(1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(onDisk(), std::vector<Rule>{ls});
    QAccessible::queryAccessibleInterface(view_->sidebar()->item(Pane::mouse))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(QTest::qWaitFor([&] { return nav_.pane() == Pane::mouse; }));
}

// The content column has one background, under the desktop's palette as under the program's own.
TEST_F(SettingsWindow, OneBackgroundBehindHeaderListAndGeneralPane) {
    QPalette foreign = QStyleFactory::create("Fusion")->standardPalette();
    foreign.setColor(QPalette::Window, QColor(52, 60, 70));
    foreign.setColor(QPalette::Base, QColor(20, 20, 20));
    for (const QPalette& palette : {style::lightPalette(), style::darkPalette(), foreign}) {
        QApplication::setPalette(palette);
        open(Pane::keyboard, {hotkeyRule(123, 6), hotkeyRule(124, 6)});
        for (Pane pane : {Pane::keyboard, Pane::general}) {
            nav_.setPane(pane);
            const QImage shot = view_->grab().toImage();
            // Above the title, between and below the rows (or the settings), at the right edge.
            for (const QPoint at : {QPoint(700, 560), QPoint(300, 500), QPoint(855, 300)}) {
                EXPECT_EQ(QColor(shot.pixel(at)), QColor(shot.pixel(700, 6)))
                    << paneTitle(pane) << " at " << at.x() << "," << at.y();
            }
        }
    }
    QApplication::setPalette(style::lightPalette());
}

}  // namespace
}  // namespace ombrel
