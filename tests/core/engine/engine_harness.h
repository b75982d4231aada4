// A whole engine wired to fakes, and a small script language that plays events into it:
// "keyDown 40 cmd -> swallow", "drag 0,450 -> pass", "wait 0.05", "expect drag moving".
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "actions/action_runner.h"
#include "actions/window_manager.h"
#include "config/store.h"
#include "engine/engine.h"
#include "fakes/fake_platform.h"
#include "trackpad/trackpad_monitor.h"

namespace ombrel::test {

inline SystemPrograms testPrograms() {
    SystemPrograms p;
    p.shell = "/bin/sh";
    p.shellArguments = {"-lc"};
    p.sleepDisplay = Command{"sleep-display", {}};
    return p;
}

// The bits that must never affect matching.
inline constexpr uint64_t capsLockFlag = 0x10000;
inline constexpr uint64_t numericPadFlag = 0x200000;
inline constexpr uint64_t functionFlag = 0x800000;

// "ctrl+opt+shift+cmd", also "caps", "fn", "numpad"; "none" is the empty set.
inline std::optional<uint64_t> parseFlags(std::string_view text) {
    uint64_t flags = 0;
    while (!text.empty()) {
        const auto plus = text.find('+');
        const std::string_view part = text.substr(0, plus);
        if (part == "cmd") {
            flags |= eventflags::command;
        } else if (part == "opt") {
            flags |= eventflags::option;
        } else if (part == "ctrl") {
            flags |= eventflags::control;
        } else if (part == "shift") {
            flags |= eventflags::shift;
        } else if (part == "caps") {
            flags |= capsLockFlag;
        } else if (part == "fn") {
            flags |= functionFlag;
        } else if (part == "numpad") {
            flags |= numericPadFlag;
        } else if (part != "none") {
            return std::nullopt;
        }
        text = plus == std::string_view::npos ? std::string_view{} : text.substr(plus + 1);
    }
    return flags;
}

inline std::optional<std::pair<double, double>> parsePair(const std::string& text) {
    const auto comma = text.find(',');
    if (comma == std::string::npos) {
        return std::nullopt;
    }
    try {
        return std::pair{std::stod(text.substr(0, comma)), std::stod(text.substr(comma + 1))};
    } catch (...) {
        return std::nullopt;
    }
}

inline std::optional<Rect> parseRect(const std::string& text) {
    std::istringstream in(text);
    Rect r;
    char c1 = 0, c2 = 0, c3 = 0;
    if (!(in >> r.x >> c1 >> r.y >> c2 >> r.width >> c3 >> r.height) || c1 != ',' || c2 != ',' ||
        c3 != ',') {
        return std::nullopt;
    }
    return r;
}

// One event line: type, then in any order a number (key code or button), "x,y" (location),
// a modifier list, "repeat" (auto-repeat) and "marked" (posted by the program itself).
inline std::optional<InputEvent> parseEvent(const std::string& line) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    InputEvent e;
    if (word == "keyDown") {
        e.type = EventType::keyDown;
    } else if (word == "flags") {
        e.type = EventType::flagsChanged;
    } else if (word == "move") {
        e.type = EventType::mouseMoved;
    } else if (word == "leftDown") {
        e.type = EventType::leftMouseDown;
    } else if (word == "leftUp") {
        e.type = EventType::leftMouseUp;
    } else if (word == "drag") {
        e.type = EventType::leftMouseDragged;
    } else if (word == "otherDown") {
        e.type = EventType::otherMouseDown;
    } else if (word == "otherUp") {
        e.type = EventType::otherMouseUp;
    } else if (word == "tapTimeout") {
        e.type = EventType::tapDisabledByTimeout;
    } else if (word == "tapUserInput") {
        e.type = EventType::tapDisabledByUserInput;
    } else {
        return std::nullopt;
    }
    while (in >> word) {
        if (word == "repeat") {
            e.autorepeat = true;
        } else if (word == "marked") {
            e.sourceUserData = syntheticEventMarker;
        } else if (word.find(',') != std::string::npos) {
            const auto pair = parsePair(word);
            if (!pair) {
                return std::nullopt;
            }
            e.location = Point{pair->first, pair->second};
        } else if (!word.empty() && (std::isdigit(static_cast<unsigned char>(word[0])) != 0)) {
            const int64_t n = std::stoll(word);
            e.keyCode = n;
            e.button = n;
        } else if (const auto flags = parseFlags(word)) {
            e.flags = *flags;
        } else {
            return std::nullopt;
        }
    }
    return e;
}

inline std::filesystem::path freshFolder() {
    static std::atomic<int> counter{0};
    std::random_device random;
    auto path =
        std::filesystem::temp_directory_path() /
        ("ombrel-engine-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path);
    return path;
}

class TempFolder {
  public:
    TempFolder() : path(freshFolder()) {}
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

// A rule firing a shell command: the command's text names the rule in expectations.
inline Rule rule(Trigger trigger, std::string name, std::optional<std::string> app = std::nullopt,
                 bool enabled = true) {
    return Rule::make(std::move(trigger), Action::shell(std::move(name)), std::move(app), enabled);
}
inline Trigger hotkey(int64_t keyCode, int64_t mods) {
    return Trigger::hotkey(KeyCombo{keyCode, Mods(mods)});
}
inline Trigger click(int64_t fingers) {
    return Trigger::trackpad(TrackpadGesture{TrackpadGesture::Kind::click, fingers});
}
inline Trigger tap(int64_t fingers) {
    return Trigger::trackpad(TrackpadGesture{TrackpadGesture::Kind::tap, fingers});
}

inline constexpr int64_t cmd = Mods::command;
inline constexpr int64_t opt = Mods::option;
inline constexpr int64_t ctrl = Mods::control;
inline constexpr int64_t shift = Mods::shift;

inline Config configWith(std::vector<Rule> rules) {
    Config config;
    config.bindings = std::move(rules);
    return config;
}

struct Harness {
    explicit Harness(Config config, bool trusted = true) {
        store.setConfig(std::move(config));
        windowSystem.displays = {Screen{{0, 0, 1440, 900}, {0, 25, 1440, 875}}};
        touch.devices = {1};
        tap.isTrusted = trusted;
        engine.start();
    }

    void setConfig(const std::function<void(Config&)>& change) {
        Config config = store.config();
        change(config);
        store.setConfig(std::move(config));
    }

    // The names of the shell rules whose actions have run, in order.
    [[nodiscard]] std::vector<std::string> ran() const {
        std::vector<std::string> names;
        for (const Command& c : workspace.launched) {
            if (c.executable == "/bin/sh" && !c.arguments.empty()) {
                names.push_back(c.arguments.back());
            }
        }
        return names;
    }

    // A touch frame of n fingers side by side, delivered by the device and fed on the queue.
    void fingers(int n) {
        std::vector<TouchPoint> points;
        for (int i = 0; i < n; ++i) {
            points.push_back(TouchPoint{0.3f + 0.1f * static_cast<float>(i), 0.5f});
        }
        touch.frame(1, points, queue.uptime());
        queue.runDue();
    }

    // Plays script lines; every failure names its line.
    void play(std::initializer_list<std::string> lines) {
        for (const std::string& line : lines) {
            SCOPED_TRACE("script line: " + line);
            step(line);
        }
    }

    void step(const std::string& line) {
        std::istringstream in(line);
        std::string word;
        in >> word;
        if (word == "wait") {
            double seconds = 0;
            in >> seconds;
            queue.advance(seconds);
            return;
        }
        if (word == "fingers") {
            int n = 0;
            in >> n;
            fingers(n);
            return;
        }
        if (word == "front") {
            std::string app;
            in >> app;
            workspace.frontmost = app == "none" ? std::nullopt : std::optional(app);
            return;
        }
        if (word == "focus") {
            // "focus none" or "focus 2"
            std::string which;
            in >> which;
            windowSystem.focused =
                which == "none" ? std::nullopt : std::optional(WindowRef{std::stoull(which)});
            return;
        }
        if (word == "window") {
            // "window 1 at x,y" or "window 1 size w,h": the application moved or resized it.
            uint64_t id = 0;
            std::string what, value;
            in >> id >> what >> value;
            const auto pair = parsePair(value);
            ASSERT_TRUE(pair && windowSystem.windows.count(id)) << "bad window line";
            Rect& frame = windowSystem.windows[id].frame;
            if (what == "at") {
                frame.x = pair->first;
                frame.y = pair->second;
            } else {
                frame.width = pair->first;
                frame.height = pair->second;
            }
            return;
        }
        if (word == "expect") {
            expect(in);
            return;
        }
        const auto arrow = line.find("->");
        ASSERT_NE(arrow, std::string::npos) << "an event line needs a verdict";
        const auto event = parseEvent(line.substr(0, arrow));
        ASSERT_TRUE(event.has_value()) << "unreadable event";
        std::string verdict = line.substr(arrow + 2);
        verdict.erase(0, verdict.find_first_not_of(' '));
        ASSERT_TRUE(verdict == "swallow" || verdict == "pass") << "verdict is swallow or pass";
        EXPECT_EQ(tap.deliver(*event), verdict == "swallow");
    }

    void expect(std::istringstream& in) {
        std::string what;
        in >> what;
        if (what == "ran") {
            // "expect ran A B": runs the queued actions, then compares the names.
            queue.runDue();
            std::vector<std::string> names;
            std::string name;
            while (in >> name) {
                names.push_back(name);
            }
            EXPECT_EQ(ran(), names);
        } else if (what == "drag") {
            std::string state;
            in >> state;
            EXPECT_EQ(dragStateName(engine.dragState()), state);
        } else if (what == "preview") {
            std::string rest;
            in >> rest;
            if (rest == "none") {
                EXPECT_FALSE(snapOverlay.shown.has_value());
            } else {
                const auto r = parseRect(rest);
                ASSERT_TRUE(r.has_value()) << "bad rectangle";
                ASSERT_TRUE(snapOverlay.shown.has_value()) << "no preview shown";
                EXPECT_EQ(*snapOverlay.shown, *r);
            }
        } else if (what == "frame") {
            uint64_t id = 0;
            std::string rest;
            in >> id >> rest;
            const auto r = parseRect(rest);
            ASSERT_TRUE(r.has_value()) << "bad rectangle";
            EXPECT_EQ(windowSystem.frameOf(id), *r);
        } else if (what == "stroke") {
            std::string state;
            in >> state;
            EXPECT_EQ(engine.strokeInProgress(), state == "on");
        } else {
            ADD_FAILURE() << "unknown expectation " << what;
        }
    }

    static std::string dragStateName(Engine::DragState s) {
        switch (s) {
            case Engine::DragState::idle:
                return "idle";
            case Engine::DragState::armed:
                return "armed";
            case Engine::DragState::probing:
                return "probing";
            case Engine::DragState::moving:
                return "moving";
            case Engine::DragState::ignored:
                return "ignored";
        }
        return "?";
    }

    TempFolder folder;
    fake::FakeMainQueue queue;
    fake::FakeWindowSystem windowSystem;
    WindowManager windows{windowSystem};
    fake::FakeEventPoster poster;
    fake::FakeWorkspace workspace;
    fake::FakeDesktopShell shell;
    ActionRunner runner{windows, poster, workspace, shell, testPrograms()};
    fake::FakeMultitouch touch;
    TrackpadMonitor monitor{touch, queue};
    fake::FakeEventTap tap;
    fake::FakeStrokeOverlay strokeOverlay;
    fake::FakeSnapOverlay snapOverlay;
    Store store{folder.path};
    Engine engine{store,     monitor, runner,        windows,    tap,
                  workspace, queue,   strokeOverlay, snapOverlay};
};

}  // namespace ombrel::test
