// A whole engine wired to fakes, and a small script language that plays events into it and
// checks what came out, one line per step:
//   keyDown 40 cmd+shift repeat -> swallow     events: type, code or x,y, modifiers, flags
//   wait 0.05 | fingers 3 | front editor | focus none | window 1 at 320,310 | window 1 size 9,9
//   record on | config engine off | config snap off | trace L 1.5 40,10 [drag]
//   expect ran A B | expect drag moving | expect preview 0,25,720,875 | expect frame 1 x,y,w,h
//   expect stroke on
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "actions/action_runner.h"
#include "actions/window_manager.h"
#include "config/store.h"
#include "drawing/shape_matcher.h"
#include "engine/engine.h"
#include "fakes/fake_platform.h"
#include "trackpad/trackpad_monitor.h"

namespace ombrel::test {

inline constexpr int64_t cmd = Mods::command;
inline constexpr int64_t opt = Mods::option;
inline constexpr int64_t ctrl = Mods::control;
inline constexpr int64_t shift = Mods::shift;

// A rule running a shell command; the command names the rule in "expect ran".
inline Rule rule(Trigger trigger, std::string name, std::optional<std::string> app = std::nullopt,
                 bool enabled = true) {
    return Rule::make(std::move(trigger), Action::shell(std::move(name)), std::move(app), enabled);
}
inline Trigger hotkey(int64_t keyCode, int64_t mods) {
    return Trigger::hotkey(KeyCombo{keyCode, Mods(mods)});
}
inline Trigger gesture(TrackpadGesture::Kind kind, int64_t fingers) {
    return Trigger::trackpad(TrackpadGesture{kind, fingers});
}

// An L traced down then right in steps of 20 points, scaled and moved.
inline std::vector<Pt> lShape(double scale = 1, double dx = 0, double dy = 0) {
    std::vector<Pt> points;
    for (int y = 100; y <= 300; y += 20) {
        points.push_back({200 * scale + dx, y * scale + dy});
    }
    for (int x = 220; x <= 400; x += 20) {
        points.push_back({x * scale + dx, 300 * scale + dy});
    }
    return points;
}
inline Trigger lDrawing() {
    return Trigger::drawing({"L", ShapeMatcher::normalize(lShape())});
}

inline Config configWith(std::vector<Rule> rules) {
    Config config;
    config.bindings = std::move(rules);
    return config;
}

// A named script run against a fresh harness holding these rules.
struct Scenario {
    std::string name;
    std::vector<Rule> rules;
    std::vector<std::string> script;
};
inline std::string scenarioName(const ::testing::TestParamInfo<Scenario>& info) {
    return info.param.name;
}

inline std::optional<InputEvent> parseEvent(const std::string& text) {
    static const std::map<std::string, EventType> types = {
        {"keyDown", EventType::keyDown},
        {"flags", EventType::flagsChanged},
        {"move", EventType::mouseMoved},
        {"leftDown", EventType::leftMouseDown},
        {"leftUp", EventType::leftMouseUp},
        {"drag", EventType::leftMouseDragged},
        {"otherDown", EventType::otherMouseDown},
        {"otherUp", EventType::otherMouseUp},
        {"tapTimeout", EventType::tapDisabledByTimeout},
        {"tapUserInput", EventType::tapDisabledByUserInput}};
    // Caps lock, numeric pad and function key bits, which matching ignores.
    static const std::map<std::string, uint64_t> flagBits = {{"cmd", eventflags::command},
                                                             {"opt", eventflags::option},
                                                             {"ctrl", eventflags::control},
                                                             {"shift", eventflags::shift},
                                                             {"caps", 0x10000},
                                                             {"numpad", 0x200000},
                                                             {"fn", 0x800000},
                                                             {"none", 0}};
    std::string spaced = text;
    std::replace(spaced.begin(), spaced.end(), ',', ' ');
    std::istringstream in(spaced);
    std::string word;
    in >> word;
    if (types.count(word) == 0) {
        return std::nullopt;
    }
    InputEvent e;
    e.type = types.at(word);
    const bool coded = word == "keyDown" || word == "otherDown" || word == "otherUp";
    std::vector<double> numbers;
    while (in >> word) {
        if (word == "repeat") {
            e.autorepeat = true;
        } else if (word == "marked") {
            e.sourceUserData = syntheticEventMarker;
        } else if (std::isdigit(static_cast<unsigned char>(word[0])) != 0) {
            numbers.push_back(std::stod(word));
        } else {
            std::istringstream parts(word);
            for (std::string part; std::getline(parts, part, '+');) {
                if (flagBits.count(part) == 0) {
                    return std::nullopt;
                }
                e.flags |= flagBits.at(part);
            }
        }
    }
    if (coded && numbers.size() == 1) {
        e.keyCode = e.button = static_cast<int64_t>(numbers[0]);
    } else if (!coded && numbers.size() == 2) {
        e.location = {numbers[0], numbers[1]};
    } else if (!numbers.empty()) {
        return std::nullopt;
    }
    return e;
}

struct Harness {
    explicit Harness(Config config, bool trusted = true) {
        store.setConfig(std::move(config));
        windowSystem.displays = {Screen{{0, 0, 1440, 900}, {0, 25, 1440, 875}}};
        windowSystem.open(1, {300, 300, 400, 300});
        touch.devices = {1};
        tap.isTrusted = trusted;
        engine.start();
    }
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;
    ~Harness() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    void play(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            SCOPED_TRACE("script line: " + line);
            step(line);
        }
    }

    // The shell rules whose actions have run, in order.
    [[nodiscard]] std::vector<std::string> ran() const {
        std::vector<std::string> names;
        for (const Command& c : workspace.launched) {
            names.push_back(c.arguments.empty() ? "" : c.arguments.back());
        }
        return names;
    }

    void step(const std::string& line) {
        if (const auto arrow = line.find(" -> "); arrow != std::string::npos) {
            const auto event = parseEvent(line.substr(0, arrow));
            const std::string verdict = line.substr(arrow + 4);
            ASSERT_TRUE(event && (verdict == "swallow" || verdict == "pass")) << "bad event line";
            EXPECT_EQ(tap.deliver(*event), verdict == "swallow");
            return;
        }
        std::string spaced = line;
        std::replace(spaced.begin(), spaced.end(), ',', ' ');
        std::istringstream in(spaced);
        std::string word, arg;
        in >> word >> arg;
        auto number = [&in] {
            double n = 0;
            in >> n;
            return n;
        };
        if (word == "wait") {
            queue.advance(std::stod(arg));
        } else if (word == "fingers") {
            // A frame of n fingers side by side, from the device's thread to the recognizer.
            std::vector<TouchPoint> points;
            for (int i = 0; i < std::stoi(arg); ++i) {
                points.push_back({0.3f + 0.1f * static_cast<float>(i), 0.5f});
            }
            touch.frame(1, points, queue.uptime());
            queue.runDue();
        } else if (word == "front") {
            workspace.frontmost = arg == "none" ? std::nullopt : std::optional(arg);
        } else if (word == "focus") {
            windowSystem.focused.reset();
        } else if (word == "window") {
            // The application moved or resized window <arg> under the pointer.
            std::string what;
            in >> what;
            Rect& frame = windowSystem.windows.at(std::stoull(arg)).frame;
            const double a = number();
            const double b = number();
            frame =
                what == "at" ? Rect{a, b, frame.width, frame.height} : Rect{frame.x, frame.y, a, b};
        } else if (word == "record") {
            engine.setRecording(arg == "on");
        } else if (word == "config") {
            Config config = store.config();
            (arg == "engine" ? config.engineEnabled : config.snapEnabled) = false;
            store.setConfig(config);
        } else if (word == "trace") {
            const double scale = number();
            const double dx = number();
            const double dy = number();
            std::string how = "move";
            in >> how;
            const std::vector<Pt> points = lShape(scale, dx, dy);
            ASSERT_TRUE(tap.deliver(event(EventType::flagsChanged, points.front())) == false);
            for (std::size_t i = 1; i < points.size(); ++i) {
                tap.deliver(
                    event(how == "drag" ? EventType::leftMouseDragged : EventType::mouseMoved,
                          points[i]));
            }
        } else if (word == "expect") {
            expect(arg, in);
        } else {
            ADD_FAILURE() << "unknown script line";
        }
    }

    void expect(const std::string& what, std::istringstream& in) {
        // The rest of a rectangle "x y w h" whose x has been read already.
        auto rect = [&in](double x) {
            Rect r{x};
            in >> r.y >> r.width >> r.height;
            return r;
        };
        std::string word;
        if (what == "ran") {
            queue.runDue();
            std::vector<std::string> names;
            while (in >> word) {
                names.push_back(word);
            }
            EXPECT_EQ(ran(), names);
        } else if (what == "drag") {
            static const char* const names[] = {"idle", "armed", "probing", "moving", "ignored"};
            in >> word;
            EXPECT_EQ(names[static_cast<int>(engine.dragState())], word);
        } else if (what == "preview") {
            in >> word;
            if (word == "none") {
                EXPECT_FALSE(snapOverlay.shown.has_value());
            } else {
                EXPECT_EQ(snapOverlay.shown, std::optional(rect(std::stod(word))));
            }
        } else if (what == "frame") {
            uint64_t id = 0;
            double x = 0;
            in >> id >> x;
            EXPECT_EQ(windowSystem.frameOf(id), rect(x));
        } else if (what == "stroke") {
            in >> word;
            EXPECT_EQ(engine.strokeInProgress(), word == "on");
        } else {
            ADD_FAILURE() << "unknown expectation";
        }
    }

    // A flags-changed event carries the draw modifiers; others carry none.
    static InputEvent event(EventType type, Pt at) {
        InputEvent e;
        e.type = type;
        e.location = {at.x, at.y};
        e.flags = type == EventType::flagsChanged ? eventflags::control | eventflags::option : 0;
        return e;
    }

    static std::filesystem::path freshFolder() {
        static std::atomic<int> counter{0};
        return std::filesystem::temp_directory_path() /
               ("ombrel-engine-test-" + std::to_string(std::random_device{}()) + "-" +
                std::to_string(counter++));
    }

    std::filesystem::path folder = freshFolder();
    fake::FakeMainQueue queue;
    fake::FakeWindowSystem windowSystem;
    WindowManager windows{windowSystem};
    fake::FakeEventPoster poster;
    fake::FakeWorkspace workspace;
    fake::FakeDesktopShell shell;
    ActionRunner runner{windows, poster, workspace, shell,
                        SystemPrograms{"/bin/sh", {"-lc"}, {}, {}, {}, {}, {}}};
    fake::FakeMultitouch touch;
    TrackpadMonitor monitor{touch, queue};
    fake::FakeEventTap tap;
    fake::FakeStrokeOverlay strokeOverlay;
    fake::FakeSnapOverlay snapOverlay;
    Store store{folder};
    Engine engine{store,     monitor, runner,        windows,    tap,
                  workspace, queue,   strokeOverlay, snapOverlay};
};

}  // namespace ombrel::test
