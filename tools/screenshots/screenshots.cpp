// Pictures of the settings window for people to look at: every pane in the light and the dark
// look, and with --all also the editor for each kind of trigger, the empty states, the window at
// its smallest and the symbol sheet. Run by scripts/screenshots.sh.
#include <QApplication>
#include <QComboBox>
#include <QHash>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "art/symbols.h"
#include "config/store.h"
#include "drawing/shape_matcher.h"
#include "settings/binding_editor.h"
#include "settings/rule_list.h"
#include "settings/settings_view.h"
#include "settings/shortcut_recorder.h"
#include "settings/style.h"
#include "support/settings_fakes.h"
#include "support/temp_dir.h"

namespace ombrel {
namespace {

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
                   bool on = true) {
        config.bindings.push_back(Rule::make(std::move(t), std::move(a), std::move(app), on));
    };
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

class Pictures {
  public:
    Pictures(std::filesystem::path out, bool small) : out_(std::move(out)), small_(small) {
        std::filesystem::create_directories(out_);
    }

    // Saves what the widget shows now; the README's pictures in few colours, to stay small.
    bool save(QWidget& widget, const std::string& name) {
        widget.ensurePolished();
        QApplication::processEvents();
        QImage image = widget.grab().toImage();
        if (small_) {
            image = fewColours(image);
        }
        const auto path = out_ / (name + ".png");
        const bool saved = !image.isNull() && image.save(QString::fromStdString(path.string()));
        std::printf("%s %s\n", saved ? "wrote" : "FAILED", path.c_str());
        return saved;
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
            [](const std::filesystem::path&) {}};
    }

    // Every pane in both looks, and with more, the rest.
    bool run(bool more) {
        bool ok = true;
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
                ok = save(view, look + "-" + toLower(paneTitle(pane))) && ok;
            }
            if (more) {
                ok = rest(view, look) && ok;
            }
        }
        return more ? symbolSheet() && ok : ok;
    }

  private:
    // The window's 256 commonest colours, every pixel the nearest of them: flat surfaces stay
    // exact, and the file is a fifth of the size.
    static QImage fewColours(const QImage& image) {
        QHash<QRgb, int> counts;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                ++counts[image.pixel(x, y)];
            }
        }
        std::vector<std::pair<int, QRgb>> byCount;
        for (auto it = counts.begin(); it != counts.end(); ++it) {
            byCount.emplace_back(-it.value(), it.key());
        }
        std::sort(byCount.begin(), byCount.end());
        QList<QRgb> table;
        for (std::size_t i = 0; i < byCount.size() && i < 256; ++i) {
            table.push_back(byCount[i].second);
        }
        return image.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither);
    }

    static std::string toLower(std::string_view s) {
        std::string out(s);
        for (char& c : out) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return out;
    }

    bool rest(SettingsView& view, const std::string& look) {
        bool ok = true;
        // Needs access: banner, orange status; the window at its smallest.
        engine_.set(false, false);
        nav_.setPane(Pane::keyboard);
        ok = save(view, look + "-needs-access") && ok;
        nav_.setPane(Pane::general);
        ok = save(view, look + "-general-needs-access") && ok;
        view.resize(view.minimumSize());
        ok = save(view, look + "-general-smallest") && ok;
        nav_.setPane(Pane::keyboard);
        ok = save(view, look + "-keyboard-smallest") && ok;
        view.resize(860, 580);
        engine_.set(true, true);

        // The editor for each kind of trigger, each with another action.
        const auto rules = store_->config().bindings;
        const std::pair<std::size_t, std::string> editors[] = {
            {3, "keyboard"}, {8, "trackpad"}, {13, "mouse"}, {14, "drawing"}};
        for (const auto& [index, name] : editors) {
            nav_.setPane(paneOf(rules[index]));
            view.edit(rules[index]);
            ok = save(view, look + "-editor-" += name) && ok;
            view.editor()->reject();
            QApplication::processEvents();
        }
        nav_.setPane(Pane::trackpad);
        view.edit(RuleList::newRule(Pane::trackpad));
        view.editor()->gesturePicker()->setCurrentIndex(7);
        view.editor()->actionPicker()->setCurrentIndex(5);
        ok = save(view, look + "-editor-new-tiptap-shell") && ok;
        view.editor()->reject();
        nav_.setPane(Pane::keyboard);
        view.edit(RuleList::newRule(Pane::keyboard));
        view.editor()->shortcutRecorder()->button()->click();
        view.editor()->actionPicker()->setCurrentIndex(3);
        ok = save(view, look + "-editor-new-recording") && ok;
        view.editor()->reject();
        nav_.setPane(Pane::drawings);
        view.edit(RuleList::newRule(Pane::drawings));
        ok = save(view, look + "-editor-new-drawing") && ok;
        view.resize(view.minimumSize());
        ok = save(view, look + "-editor-new-drawing-smallest") && ok;
        view.editor()->reject();
        view.resize(860, 580);
        QApplication::processEvents();

        // Empty states, and the engine switched off.
        Config empty;
        empty.engineEnabled = false;
        store_->setConfig(empty);
        for (Pane pane : {Pane::keyboard, Pane::trackpad, Pane::mouse, Pane::drawings}) {
            nav_.setPane(pane);
            ok = save(view, look + "-empty-" + toLower(paneTitle(pane))) && ok;
        }
        return ok;
    }

    static Pane paneOf(const Rule& rule) {
        for (Pane pane : allPanes) {
            if (paneKind(pane) == rule.trigger.kind()) {
                return pane;
            }
        }
        return Pane::general;
    }

    bool symbolSheet() {
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
            symbols::draw(p, n, QRectF(x + 4, 4, 48, 48), QColor(40, 40, 40));
            symbols::draw(p, n, QRectF(x + 18, 70, 20, 20), QColor(200, 60, 45));
            x += 56;
        }
        p.end();
        return sheet.save(QString::fromStdString((out_ / "symbols.png").string()));
    }

    std::filesystem::path out_;
    bool small_;
    test::TempDir dir_;
    std::unique_ptr<Store> store_ = std::make_unique<Store>(dir_.path());
    test::FakeEngine engine_;
    Nav nav_;
    test::FakeLoginItem login_{true};
};

}  // namespace
}  // namespace ombrel

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder> [--all]\n", argv[0]);
        return 2;
    }
    const bool all = argc > 2 && std::strcmp(argv[2], "--all") == 0;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setStyle("Fusion");
    ombrel::Pictures pictures(argv[1], !all);
    return pictures.run(all) ? 0 : 1;
}
