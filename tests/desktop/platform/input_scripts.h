// The input tests' fixture: the program (in this process or a host process), a focused window,
// scripts for the user's devices and xdotool, and what arrives, written as words.
#pragma once

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "placement/target_frames.h"
#include "settings/settings_deps.h"
// After Qt: Xlib's macros clash with its names.
#include "program.h"

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <thread>

#include "env.h"

namespace ombrel::platform_test {

using namespace std::chrono_literals;

// Scripts are words: "+Left" and "-Left" press and release a key of the user's keyboard (keysym
// names, or ctrl, alt, altgr, caps, num), "+b8" and "-b8" a button of the user's mouse, "w150"
// lets the program run 150 ms, "s2" waits 2 ms without letting it run (so the server's clock
// moves between two events), "xdo:key:ctrl+alt+Left" runs xdotool with those arguments,
// "app:OtherApp" focuses a new window of that class, the one the script acts on from then on.
// What arrives is written as words too: "ctrl+alt+k", "F5", "b2", "grab:172" (a key code).
class InputScripts : public ::testing::Test {
  protected:
    static constexpr long masks = KeyPressMask | ButtonPressMask;

    void SetUp() override {
        // The test's connection grabs XF86AudioPlay without modifiers, as desktops' media-key
        // daemons do, with caps lock, num lock or both.
        for (const unsigned lock : {0U, 2U, 16U, 18U}) {
            XGrabKey(d_, XKeysymToKeycode(d_, XF86XK_AudioPlay), lock, DefaultRootWindow(d_), False,
                     GrabModeAsync, GrabModeAsync);
        }
        userPointer(550, 400);  // the user's mouse exists before the program starts
        // Quick repeats, so a key held 400 ms repeats; but not so quick that a loaded machine
        // makes a key pressed and released back to back repeat while the program posts a
        // keystroke with the user's modifiers lifted.
        XkbSetAutoRepeatRate(d_, XkbUseCoreKbd, 300, 20);
        XkbChangeEnabledControls(d_, XkbUseCoreKbd, XkbRepeatKeysMask, XkbRepeatKeysMask);
    }
    void TearDown() override {
        xsession::XSession::stop(host_);
        program_.reset();
        for (const Window w : std::exchange(others_, {})) {
            XDestroyWindow(d_, w);
        }
        XSync(d_, False);
    }

    // The program runs in this process, or in a host process when the test must pause it.
    void start(bool hosted = false) {
        if (hosted) {
            Store(folder_.path()).setConfig(inputRules());
            host_ = xsession::XSession::start({ENGINE_HOST, folder_.path().string()});
            ASSERT_TRUE(xsession::XSession::waitUntil(
                [&] { return std::filesystem::exists(folder_ / "listening"); }, 10s));
        } else {
            program_ = std::make_unique<Program>(folder_.path());
            program_->store.setConfig(inputRules());
            program_->start();
            ASSERT_TRUE(pumpUntil([&] { return program_->tapInstalled(); }));
        }
        window_ = session().createWindow("ombreltest", "OmbrelTest", 300, 200, 500, 350, masks);
        ASSERT_NE(window_, 0U);
        others_.push_back(window_);
        ASSERT_TRUE(session().activate(window_));
        start_ = outer(window_);
        // Both pointers over the window: the user's, and the one XTEST clicks use.
        pointAtWindow();
        XWarpPointer(d_, None, DefaultRootWindow(d_), 0, 0, 0, 0, 550, 400);
    }

    void play(const std::string& script) {
        static const std::map<std::string, std::string> aliases = {{"ctrl", "Control_L"},
                                                                   {"alt", "Alt_L"},
                                                                   {"altgr", "ISO_Level3_Shift"},
                                                                   {"caps", "Caps_Lock"},
                                                                   {"num", "Num_Lock"}};
        std::istringstream words(script);
        for (std::string w; words >> w;) {
            if (w.rfind("xdo:", 0) == 0) {
                std::vector<std::string> argv = {"xdotool"};
                std::istringstream parts(w.substr(4));
                for (std::string part; std::getline(parts, part, ':');) {
                    argv.push_back(part);
                }
                ASSERT_EQ(xsession::XSession::run(argv), 0) << w;
            } else if (w.rfind("app:", 0) == 0) {
                // Once what was typed has reached the window it was meant for: a key the program
                // lets pass is replayed to the window focused then.
                ASSERT_TRUE(pumpUntil(nothingHeld));
                window_ = others_.emplace_back(
                    session().createWindow("other", w.substr(4), 300, 200, 500, 350, masks));
                ASSERT_TRUE(session().activate(window_));
                start_ = outer(window_);
            } else if (w == "devices") {
                devicesComeAndGo();
            } else if (w[0] == 'w') {
                pumpUntil([] { return false; }, std::chrono::milliseconds(std::stoi(&w[1])));
            } else if (w[0] == 's') {
                std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(&w[1])));
            } else if (w.size() > 2 && w[1] == 'b' && std::isdigit(w[2]) != 0) {
                pointAtWindow();
                userButton(std::stoul(w.substr(2)), w[0] == '+');
            } else {
                const auto alias = aliases.find(&w[1]);
                const std::string name = alias == aliases.end() ? &w[1] : alias->second;
                const KeyCode code = XKeysymToKeycode(d_, XStringToKeysym(name.c_str()));
                ASSERT_NE(code, 0) << w;
                userKey(code, w[0] == '+');
            }
        }
    }

    // Everything the window and the grabber received until an unbound key and click, typed after
    // the script, arrived plain; ending in "frozen" when they did not (a device left frozen, a
    // modifier held).
    std::string received(std::chrono::milliseconds patience = 3s) {
        // Actions run after the event that fired them: their effects come before the end marks.
        pumpUntil([] { return false; }, 50ms);
        play("+z -z +b9 -b9");
        std::vector<std::string> seen;
        const auto arrived = [&] {
            for (XEvent e; XCheckWindowEvent(d_, window_, masks, &e);) {
                const bool key = e.type == KeyPress;
                const KeySym sym = key ? XkbKeycodeToKeysym(d_, e.xkey.keycode, 0, 0) : 0;
                if (key && IsModifierKey(sym)) {
                    continue;
                }
                const unsigned state = key ? e.xkey.state : e.xbutton.state;
                std::string word;
                for (auto [mask, name] : {std::pair{ControlMask, "ctrl+"},
                                          {Mod1Mask, "alt+"},
                                          {Mod4Mask, "super+"},
                                          {ShiftMask, "shift+"}}) {
                    word += (state & mask) != 0 ? name : "";
                }
                const char* name = key ? XKeysymToString(sym) : nullptr;
                seen.push_back(word + (!key              ? "b" + std::to_string(e.xbutton.button)
                                       : name != nullptr ? name
                                                         : "?"));
            }
            for (XEvent e; XCheckTypedWindowEvent(d_, DefaultRootWindow(d_), KeyPress, &e);) {
                seen.push_back("grab:" + std::to_string(e.xkey.keycode));
            }
            // Keys and buttons come from two devices: the two may arrive in either order.
            return std::count(seen.begin(), seen.end(), "z") > 0 &&
                   std::count(seen.begin(), seen.end(), "b9") > 0;
        };
        const bool ended = pumpUntil(arrived, patience);
        std::string out;
        for (const std::string& word : seen) {
            out += word == "z" || word == "b9" ? "" : (out.empty() ? "" : " ") + word;
        }
        return ended ? out : out + (out.empty() ? "" : " ") + "frozen";
    }

    // Clicks land on the window wherever an action has moved it.
    void pointAtWindow() {
        const Rect r = outer(window_);
        userPointer(int(r.midX()), int(r.midY()));
    }

    // Where the window should be: "start", "left" or "right" half, or "max" of the first monitor.
    Rect frame(const std::string& where) {
        const Rect visible = program_->windows.screens()[0].visible;
        const auto action = where == "left" ? WindowAction::leftHalf : WindowAction::rightHalf;
        return where == "start" ? start_
               : where == "max" ? visible
                                : targetFrame(action, visible, start_);
    }

    Display* d_ = session().display();
    Folder folder_;
    std::unique_ptr<Program> program_;
    pid_t host_ = -1;
    Window window_ = 0;
    std::vector<Window> others_;  // the window and any others the test made, gone after it
    Rect start_;
};

}  // namespace ombrel::platform_test
