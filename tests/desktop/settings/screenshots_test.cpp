// Pictures of every pane in the light and the dark look, of the editor for each kind of trigger
// and of the empty states, saved for people to look at. Each picture must come out whole.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <filesystem>

#include "art/symbols.h"
#include "config/store.h"
#include "drawing/shape_matcher.h"
#include "settings/binding_editor.h"
#include "settings/rule_list.h"
#include "settings/settings_view.h"
#include "settings/shortcut_recorder.h"
#include "settings/style.h"
#include "support.h"

namespace ombrel {
namespace {

class NoLogin final : public LoginItem {
  public:
    [[nodiscard]] bool enabled() const override { return true; }
    std::optional<std::string> setEnabled(bool) override { return std::nullopt; }
};

std::vector<Pt> spiral() {
    std::vector<Pt> pts;
    for (int i = 0; i <= 60; ++i) {
        const double a = i * 0.2;
        pts.push_back({200 + std::cos(a) * (10 + i * 1.3), 95 + std::sin(a) * (10 + i * 1.3)});
    }
    return pts;
}

Config showcase() {
    Config config;
    using K = TrackpadGesture::Kind;
    auto add = [&](Trigger t, Action a, std::optional<std::string> app = std::nullopt,
                   bool on = true) { config.bindings.push_back(Rule::make(t, a, app, on)); };
    add(Trigger::hotkey({123, Mods(6)}), Action::window(WindowAction::leftHalf));
    add(Trigger::hotkey({124, Mods(6)}), Action::window(WindowAction::rightHalf));
    add(Trigger::hotkey({36, Mods(7)}), Action::window(WindowAction::maximize), std::nullopt,
        false);
    add(Trigger::hotkey({49, Mods(15)}), Action::shell("notify-send \"Hello from Ombrel\""),
        "Firefox");
    add(Trigger::hotkey({96, Mods()}), Action::system(SystemAction::playPause));
    add(Trigger::trackpad({K::tap, 3}), Action::system(SystemAction::middleClick));
    add(Trigger::trackpad({K::swipeUp, 4}), Action::system(SystemAction::missionControl));
    add(Trigger::trackpad({K::swipeLeft, 3}), Action::window(WindowAction::leftThird));
    add(Trigger::trackpad({K::click, 3}), Action::openURL("https://example.com/dashboard"));
    add(Trigger::trackpad({K::tipTapRight, 3}), Action::keystroke({8, Mods(1)}));
    add(Trigger::trackpad({K::swipeDown, 5}), Action::system(SystemAction::showDesktop));
    add(Trigger::mouseButton(2), Action::system(SystemAction::appWindows));
    add(Trigger::mouseButton(3), Action::keystroke({33, Mods(1)}));
    add(Trigger::mouseButton(4), Action::launchApp("/usr/share/applications/xterm.desktop"),
        "org.gnome.Terminal");
    add(Trigger::drawing({"Spiral", ShapeMatcher::normalize(spiral())}),
        Action::window(WindowAction::center));
    add(Trigger::drawing({"", ShapeMatcher::normalize(std::vector<Pt>{{0, 0}, {40, 80}, {80, 0}})}),
        Action::system(SystemAction::lockScreen));
    add(Trigger::drawing({"Empty", {}}), Action::window(WindowAction::nextDisplay));
    return config;
}

class Screenshots : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(out_);
        store_ = std::make_unique<Store>(dir_.path());
    }
    void TearDown() override { QApplication::setPalette(style::lightPalette()); }

    void save(QWidget& widget, const std::string& name) {
        widget.ensurePolished();
        QApplication::processEvents();
        const QImage image = widget.grab().toImage();
        ASSERT_FALSE(image.isNull()) << name;
        // A picture of one flat colour means nothing was drawn.
        const QRgb first = image.pixel(0, 0);
        bool varied = false;
        for (int y = 0; y < image.height() && !varied; y += 7) {
            for (int x = 0; x < image.width() && !varied; x += 7) {
                varied = image.pixel(x, y) != first;
            }
        }
        EXPECT_TRUE(varied) << name;
        EXPECT_TRUE(image.save(QString::fromStdString((out_ / (name + ".png")).string())));
    }

    SettingsDeps deps() {
        return SettingsDeps{
            *store_,
            engine_,
            nav_,
            login_,
            [] { return int64_t{1}; },
            [](quint32) { return std::optional<int64_t>(); },
            [] {
                return std::vector<std::string>{"Firefox", "xterm"};
            },
            [](const std::string& id) { return id == "Firefox" ? "Firefox Web Browser" : id; },
            [] {},
            [](const QUrl&) {},
            [](const std::filesystem::path&) {}};
    }

    std::filesystem::path out_ = OMBREL_ARTIFACTS_DIR;
    test::TempDir dir_;
    std::unique_ptr<Store> store_;
    test::FakeEngine engine_;
    Nav nav_;
    NoLogin login_;
};

TEST_F(Screenshots, EveryPaneEmptyStatesAndEditorsInBothLooks) {
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? style::darkPalette() : style::lightPalette());
        const std::string look = dark ? "dark" : "light";
        store_->setConfig(showcase());
        engine_.set(true, true);
        auto d = deps();
        SettingsView view(d);
        view.resize(860, 580);
        view.show();
        for (Pane pane : allPanes) {
            nav_.setPane(pane);
            save(view, look + "-pane-" + std::string(paneTitle(pane)));
        }

        // Needs access: banner, orange status.
        engine_.set(false, false);
        nav_.setPane(Pane::keyboard);
        save(view, look + "-needs-access");
        nav_.setPane(Pane::general);
        save(view, look + "-general-needs-access");
        view.resize(view.minimumSize());
        save(view, look + "-general-smallest");
        nav_.setPane(Pane::keyboard);
        save(view, look + "-keyboard-smallest");
        view.resize(860, 580);
        engine_.set(true, true);

        // The editor for each kind of trigger, each with another action.
        const auto& rules = store_->config().bindings;
        const std::pair<std::size_t, std::string> editors[] = {
            {3, "keyboard"}, {8, "trackpad"}, {13, "mouse"}, {14, "drawing"}};
        for (const auto& [index, name] : editors) {
            view.edit(rules[index]);
            ASSERT_NE(view.editor(), nullptr);
            save(*view.editor(), look + "-editor-" + name);
            view.editor()->reject();
            QApplication::processEvents();
        }
        nav_.setPane(Pane::trackpad);
        view.edit(RuleList::newRule(Pane::trackpad));
        view.editor()->gesturePicker()->setCurrentIndex(7);
        view.editor()->actionPicker()->setCurrentIndex(5);
        save(*view.editor(), look + "-editor-new-tiptap-shell");
        view.editor()->reject();
        nav_.setPane(Pane::keyboard);
        view.edit(RuleList::newRule(Pane::keyboard));
        view.editor()->shortcutRecorder()->button()->click();
        view.editor()->actionPicker()->setCurrentIndex(3);
        save(*view.editor(), look + "-editor-new-recording");
        view.editor()->reject();
        view.edit(RuleList::newRule(Pane::drawings));
        save(*view.editor(), look + "-editor-new-drawing");
        view.editor()->reject();
        QApplication::processEvents();

        // Empty states, and the engine switched off.
        Config empty;
        empty.engineEnabled = false;
        store_->setConfig(empty);
        for (Pane pane : {Pane::keyboard, Pane::trackpad, Pane::mouse, Pane::drawings}) {
            nav_.setPane(pane);
            save(view, look + "-empty-" + std::string(paneTitle(pane)));
        }
    }
}

TEST_F(Screenshots, SymbolSheet) {
    const char* names[] = {"keyboard",
                           "hand.tap",
                           "computermouse",
                           "scribble.variable",
                           "gearshape",
                           "macwindow",
                           "sparkles",
                           "command",
                           "app.badge",
                           "link",
                           "terminal",
                           "pencil",
                           "trash",
                           "plus",
                           "arrow.right",
                           "checkmark.circle.fill",
                           "exclamationmark.circle.fill",
                           "exclamationmark.triangle.fill",
                           "computermouse.fill"};
    QImage sheet(19 * 56, 120, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    int x = 0;
    for (const char* n : names) {
        EXPECT_TRUE(symbols::known(n)) << n;
        EXPECT_TRUE(symbols::draw(p, n, QRectF(x + 4, 4, 48, 48), QColor(40, 40, 40))) << n;
        EXPECT_TRUE(symbols::draw(p, n, QRectF(x + 18, 70, 20, 20), QColor(200, 60, 45))) << n;
        x += 56;
    }
    EXPECT_FALSE(symbols::draw(p, "no.such.symbol", QRectF(0, 0, 10, 10), Qt::black));
    p.end();
    EXPECT_TRUE(sheet.save(QString::fromStdString((out_ / "symbols.png").string())));
}

}  // namespace
}  // namespace ombrel
