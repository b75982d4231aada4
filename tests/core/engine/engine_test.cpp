// The input engine against fakes: scripts of events in, verdicts, actions and what holds out, for
// the event decisions and the rule lookup beneath them, drawings, drags to snap, the touchpad
// driver's clicks, input and grabs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "drawing/shape_matcher.h"
#include "engine/decision_log.h"
#include "engine/engine.h"
#include "fakes/fake_desk.h"

namespace ombrel {
namespace {

// Events are written as words: the kind (keyDown flags move leftDown drag leftUp otherDown
// otherUp), then in any order a key or button or x,y, the time as @seconds, "repeat", "own",
// "pad" (the touchpad's), modifiers joined by '+' (cmd, opt, ctrl, shift, none). Example:
// "drag 420,320 @0.05".
Mods modsOf(const std::string& words) {
    const std::string all = "+" + words + "+";
    const auto has = [&all](const char* name) { return all.find(name) != std::string::npos; };
    return Mods((has("+cmd+") ? Mods::command : 0) | (has("+opt+") ? Mods::option : 0) |
                (has("+ctrl+") ? Mods::control : 0) | (has("+shift+") ? Mods::shift : 0));
}

// The words of a step, commas taken as spaces.
std::vector<std::string> wordsOf(std::string line) {
    std::replace(line.begin(), line.end(), ',', ' ');
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), {}};
}

// The event the words name; nothing when the first word is no event's kind.
std::optional<InputEvent> eventOf(const std::vector<std::string>& w) {
    const std::string kinds[] = {"keyDown", "flags",  "move",      "leftDown",
                                 "drag",    "leftUp", "otherDown", "otherUp"};  // as InputKind
    const auto kind = std::find(std::begin(kinds), std::end(kinds), w.at(0));
    if (kind == std::end(kinds)) {
        return std::nullopt;
    }
    InputEvent e;
    e.kind = static_cast<InputKind>(kind - std::begin(kinds));
    std::vector<double> n;
    for (auto word = w.begin() + 1; word != w.end(); ++word) {
        if (*word == "repeat" || *word == "own" || *word == "pad") {
            (*word == "repeat" ? e.autorepeat : *word == "own" ? e.own : e.touchpad) = true;
        } else if (word->front() == '@') {
            e.time = std::stod(word->substr(1));
        } else if (std::isdigit(static_cast<unsigned char>(word->front())) != 0) {
            n.push_back(std::stod(*word));
        } else {
            e.mods = modsOf(*word);
        }
    }
    if (n.size() == 1) {
        e.keyCode = e.button = static_cast<int64_t>(n[0]);
    } else if (n.size() == 2) {
        e.location = {n[0], n[1]};
    }
    return e;
}

// The frame written x,y,w,h from the i-th word on.
Rect rectOf(const std::vector<std::string>& w, std::size_t i) {
    return {std::stod(w.at(i)), std::stod(w.at(i + 1)), std::stod(w.at(i + 2)),
            std::stod(w.at(i + 3))};
}

using Kind = TrackpadGesture::Kind;
constexpr int64_t cmd = Mods::command, opt = Mods::option, ctrl = Mods::control;

// A rule running a shell command; the command names the rule in "expect ran".
Rule rule(Trigger trigger, std::string name, std::optional<std::string> app = std::nullopt,
          bool enabled = true) {
    return Rule::make(std::move(trigger), Action::shell(std::move(name)), std::move(app), enabled);
}
Trigger key(int64_t code, int64_t mods) {
    return Trigger::hotkey(KeyCombo{code, Mods(mods)});
}
Trigger gesture(Kind kind, int64_t fingers) {
    return Trigger::trackpad(TrackpadGesture{kind, fingers});
}

// An L traced down then right in steps of 20 points, scaled and moved.
std::vector<Pt> lShape(double scale, double dx, double dy) {
    std::vector<Pt> points;
    for (int i = 0; i <= 20; ++i) {
        const double x = i <= 10 ? 200 : 200 + 20 * (i - 10);
        points.push_back({x * scale + dx, (i <= 10 ? 100 + 20 * i : 300) * scale + dy});
    }
    return points;
}
// The stored L, or one a little different that a traced L still matches, only less closely.
Trigger lDrawing(double nudge = 0) {
    std::vector<Pt> points = ShapeMatcher::normalize(lShape(1, 0, 0));
    points.front().x += nudge;
    return Trigger::drawing({"L", points});
}

// A whole engine wired to fakes: one display (0,0,1440,900) usable from y 25, window 1 focused at
// (300,300,400,300), one touchpad. Scripts are steps separated by ';':
//   keyDown 40 cmd+shift repeat own -> swallow   an event (as eventOf reads it) at the clock's
//   time, or
//       at @time after moving the clock there; it must be swallowed when it says so and pass
//       otherwise. The touchpad's driver ("pad" events) is found and taps left-right-middle with
//       clickfinger unless a step changes it:
//   driver lmr|off|unknown|areas|lost | wait 0.05 | fingers 3 | front editor | front none
//   record on | window x,y,w,h | window unreadable (window 1 changed) | focus none
//   config engine off | config snap off | config draw cmd+shift   an edit, then its notice
//   bind 41 L   an edit binding cmd+41 to a rule named L, its notice not yet arrived
//   trace 1.5 40,10 [drag]   an L stroke under the draw modifiers, scaled and moved
//   expect ran A B | expect frame x,y,w,h (of window 1) | expect stroke on
//   expect remembered 0 | expect grab on (the touchpad's buttons) | expect asked 2 (the front)
//   expect grabs 1 left motion pad 40 b3   how many requests the tap was sent since the engine
//       started or the last such step, then the
//       last one: the left press, pointer motion and the touchpad's buttons when it holds them,
//       its shortcuts' keys and its buttons
// A step followed by "=> " and what holds after it: the drag's state, "drawing" during a stroke,
// "preview x,y,w,h" while a snap is previewed, "shown n" while a stroke's n points are.
// Every expectation first runs the actions queued for now; no event may run one itself.
struct Harness : fake::Desk {
    explicit Harness(std::vector<Rule> rules, bool inputAvailable = true)
        : Desk({300, 300, 400, 300}) {
        config.bindings = std::move(rules);
        settings.publish(SettingsSnapshot::of(config));
        tap.available = inputAvailable;
        tap.driver = {true, TouchpadDriver::Taps::leftRightMiddle,
                      TouchpadDriver::Clicks::clickfinger};
        engine.start();
        grabsSeen = tap.grabs.size();
    }

    void play(const std::string& script) {
        std::istringstream steps(script);
        for (std::string line; std::getline(steps, line, ';');) {
            SCOPED_TRACE("step:" + line);
            const std::size_t arrow = line.find(" => ");
            step(wordsOf(line.substr(0, arrow)));
            if (arrow != std::string::npos) {
                EXPECT_EQ(holds(), line.substr(arrow + 4));
            }
        }
    }

    std::string holds() {
        const char* const names[] = {"idle", "armed", "probing", "moving", "ignored"};
        std::ostringstream out;
        out << names[static_cast<int>(engine.dragState())]
            << (engine.strokeInProgress() ? " drawing" : "");
        if (const std::optional<Rect> r = snapOverlay.shown) {
            out << " preview " << r->x << ',' << r->y << ',' << r->width << ',' << r->height;
        }
        if (strokeOverlay.visible) {
            out << " shown " << strokeOverlay.path.size();
        }
        return out.str();
    }

    void step(std::vector<std::string> w) {
        const auto num = [&w](std::size_t i) { return std::stod(w.at(i)); };
        const std::string op = w.at(0);
        const bool swallow = w.size() > 2 && w[w.size() - 2] == "->";
        w.resize(w.size() - (swallow ? 2 : 0));
        if (std::optional<InputEvent> e = eventOf(w)) {
            if (e->time > turns.uptime()) {
                turns.advance(e->time - turns.uptime());
            }
            e->time = turns.uptime();
            const std::size_t before = effects().size();
            EXPECT_EQ(tap.deliver(*e), swallow);
            EXPECT_EQ(effects().size(), before) << "an action ran inside the event decision";
        } else if (op == "wait") {
            turns.advance(num(1));
        } else if (op == "fingers") {
            engine.touchFrame(std::vector<TouchPoint>(std::stoul(w.at(1)), {0.5f, 0.5f}),
                              turns.uptime());
        } else if (op == "front") {
            workspace.frontmost =
                w.at(1) == "none" ? std::nullopt : std::optional(w[1] == "empty" ? "" : w[1]);
        } else if (op == "window" && w.at(1) == "unreadable") {
            system.windows.at(1).readable = false;
        } else if (op == "window") {
            system.windows.at(1).frame = rectOf(w, 1);
        } else if (op == "focus") {
            system.focused.reset();
        } else if (op == "driver") {
            using D = TouchpadDriver;
            const std::map<std::string, D> drivers = {
                {"lmr", {true, D::Taps::leftMiddleRight, D::Clicks::clickfinger}},
                {"off", {true, D::Taps::off, D::Clicks::clickfinger}},
                {"unknown", {true, D::Taps::unknown, D::Clicks::unknown}},
                {"areas", {true, D::Taps::leftRightMiddle, D::Clicks::buttonAreas}},
                {"lost", {}}};
            tap.driver = drivers.at(w.at(1));
        } else if (op == "record") {
            engine.setRecording(w.at(1) == "on");
        } else if (op == "config") {
            if (w.at(1) == "draw") {
                config.drawMods = modsOf(w.at(2));
            } else {
                (w[1] == "engine" ? config.engineEnabled : config.snapEnabled) = false;
            }
            settings.publish(SettingsSnapshot::of(config));
            engine.followSettings();
        } else if (op == "bind") {
            config.bindings.push_back(rule(key(std::stoll(w.at(1)), cmd), w.at(2)));
            settings.publish(SettingsSnapshot::of(config));
        } else if (op == "trace") {
            std::string kind = "flags ctrl+opt ";
            for (const Pt& p : lShape(num(1), num(2), num(3))) {
                step(wordsOf(std::exchange(kind, w.size() > 4 ? "drag " : "move ") +
                             std::to_string(p.x) + "," + std::to_string(p.y)));
            }
        } else {
            expect(w);
        }
    }

    void expect(const std::vector<std::string>& w) {
        turns.runDue();
        const std::string& what = w.at(1);
        const std::vector<std::string> rest(w.begin() + 2, w.end());
        if (what == "ran") {
            std::vector<std::string> ran;
            for (const std::string& run : workspace.started) {
                ran.push_back(run.substr(run.rfind('[') + 1, run.size() - run.rfind('[') - 2));
            }
            EXPECT_EQ(ran, rest);
        } else if (what == "grabs") {
            const GrabRequest& g = tap.grabs.back();
            std::string seen =
                std::to_string(tap.grabs.size() - std::exchange(grabsSeen, tap.grabs.size())) +
                (g.leftPress ? " left" : "") + (g.pointerMotion ? " motion" : "") +
                (g.touchpadButtons ? " pad" : "");
            for (const KeyCombo& k : g.hotkeys) {
                seen += " " + std::to_string(k.keyCode);
            }
            for (const int64_t b : g.buttons) {
                seen += " b" + std::to_string(b);
            }
            EXPECT_EQ(wordsOf(seen), rest);
        } else if (what == "frame") {
            EXPECT_EQ(system.frameOf(1), rectOf(w, 2));
        } else if (what == "stroke" || what == "grab") {
            EXPECT_EQ(
                what == "stroke" ? engine.strokeInProgress() : tap.grabs.back().touchpadButtons,
                w.at(2) == "on");
        } else {
            EXPECT_EQ(what == "asked" ? workspace.frontAsked : manager.placements().size(),
                      std::stoull(w.at(2)))
                << what;
        }
    }

    Config config;
    SettingsFeed settings;
    fake::FakeEventTap tap;
    std::size_t grabsSeen = 0;
    fake::FakeStrokeOverlay strokeOverlay;
    fake::FakeSnapOverlay snapOverlay;
    Engine engine{settings, queue, manager, tap, workspace, turns, strokeOverlay, snapOverlay};
};

// Each script opens with its name and a colon and runs against a fresh engine holding its group's
// rules.
TEST(Engine, Scenarios) {
    const Rule leftHalf =
        Rule::make(key(123, ctrl | opt), Action::window(WindowAction::leftHalf), "editor", true);
    const Rule button2 = rule(Trigger::mouseButton(2), "M");
    const Rule tap3 = rule(gesture(Kind::tap, 3), "T");
    const Rule click3 = rule(gesture(Kind::click, 3), "C");
    const std::string tapped = "fingers 3; wait 0.05; fingers 0; ";
    // A left drag that moves the focused window: it presses, arms, probes, sees the window move,
    // and goes to the left edge.
    const std::string moving =
        "leftDown 400,310 => armed; drag 420,320 => probing; window 320,310,400,300; "
        "drag 440,330 @0.05 => moving; drag 0,450 @0.06 => moving preview 0,25,720,875; ";
    // Each script is one string, split over lines.
    // NOLINTBEGIN(bugprone-suspicious-missing-comma)
    const std::vector<std::pair<std::vector<Rule>, std::vector<std::string>>> groups = {
        {{leftHalf},
         {"ShortcutMovesTheWindowOnlyInsideItsScope: front browser; keyDown 123 ctrl+opt; "
          "front none; keyDown 123 ctrl+opt; expect frame 300,300,400,300; front editor; "
          "keyDown 123 ctrl+opt -> swallow; expect frame 0,25,720,875; expect remembered 1"}},
        // The front application is asked once, and only when an enabled rule scoped to some
        // application has the whole trigger; scopes compare exactly, "" included.
        {{rule(key(40, cmd), "off", std::nullopt, false), rule(key(40, cmd), "U"),
          rule(key(40, cmd), "U2"), rule(key(40, cmd), "S", "editor"),
          rule(key(40, cmd), "S2", "editor"), rule(key(1, cmd), "off", std::nullopt, false),
          rule(key(2, cmd), "off", "editor", false), rule(key(2, cmd), "U3"),
          rule(key(3, cmd), "E", ""), rule(key(4, cmd), "C", "Editor")},
         {"ScopedBeatsUnscopedEarlierBeatsLaterDisabledNeverMatches: front editor; "
          "keyDown 40 cmd -> swallow; front browser; keyDown 40 cmd -> swallow; "
          "keyDown 1 cmd; keyDown 1 cmd repeat; keyDown 2; keyDown 2 cmd -> swallow; "
          "keyDown 40 cmd+shift; expect asked 2; front editor; keyDown 4 cmd; front empty; "
          "keyDown 3 cmd -> swallow; front none; keyDown 3 cmd; expect asked 5; expect ran S U U3 "
          "E"}},
        {{rule(key(40, cmd), "K", "editor")},
         {"AutoRepeatSwallowedWithoutFiringWhereTheRuleApplies: front editor; "
          "keyDown 40 cmd -> swallow; keyDown 40 cmd repeat -> swallow; keyDown 41 cmd repeat; "
          "front browser; keyDown 40 cmd repeat; expect ran K"}},
        {{rule(key(40, cmd), "K"), button2},
         {"OwnEventsPassUnmatched: keyDown 40 cmd own; keyDown 40 cmd own repeat; "
          "otherDown 2 own; otherUp 2; expect ran"}},
        {{button2, rule(Trigger::mouseButton(3), "B", "editor"), rule(Trigger::mouseButton(1), "R"),
          rule(Trigger::mouseButton(0), "L")},
         {"ButtonReleaseSwallowedOnlyAfterItsPressFiredNeverLeftOrRight: otherDown 2 -> swallow; "
          "otherDown 4; otherUp 4; otherUp 2 -> swallow; otherUp 2; otherDown 3; otherUp 3; "
          "otherDown 1; otherDown 0; expect ran M"}},
        {{rule(key(40, cmd), "K"), button2, tap3, click3},
         {"RecordingFiresNothingAndPassesEverything: record on; keyDown 40 cmd; "
          "keyDown 40 cmd repeat; otherDown 2; otherUp 2; fingers 3; leftDown 9,9; leftUp 9,9; "
          "wait 0.05; fingers 0; record off; keyDown 40 cmd -> swallow; expect ran K"}},
        {{rule(key(40, cmd), "K"), button2, click3},
         {"EngineOffFiresNothingButEarlierPressesKeepTheirReleases: otherDown 2 -> swallow; "
          "fingers 3; leftDown 10,10 -> swallow; config engine off; otherUp 2 -> swallow; "
          "drag 30,30 -> swallow; leftUp 30,30 -> swallow; otherDown 2; otherUp 2; "
          "leftDown 10,10; drag 30,30 => armed; leftUp 10,10; keyDown 40 cmd; "
          "keyDown 40 cmd repeat; expect ran M C"}},
        {{click3, tap3},
         {"ThreeFingerClickSwallowsPressDragsReleaseAndTheTap: leftDown 5,5 => armed; "
          "fingers 3; leftDown 100,100 -> swallow => idle; drag 150,150 -> swallow; "
          "leftUp 150,150 -> swallow; leftUp 150,150; wait 0.05; fingers 0; expect ran C"}},
        {{rule(key(40, cmd), "K")},
         {"AnEditCountsFromTheNextEventAndItsNoticeAloneUpdatesTheGrabs: bind 41 L; "
          "keyDown 41 cmd -> swallow; expect grabs 1 40 41; bind 42 M; expect grabs 0 40 41; "
          "config snap off; expect grabs 1 40 41 42; expect ran L"}},
        // The touchpad's driver clicks too: after a tap that ran a rule (with the button its
        // settings give), with fingers resting for a click, or before the tap's lift has reached
        // the recognizer. Its buttons are grabbed only while that may happen.
        {{tap3},
         {"TheTapsMiddleClickTakenOnceTheMousesAndOthersPass: fingers 3; expect grab on; "
          "wait 0.05; fingers 0; expect grab on; otherDown 2; otherUp 2; otherDown 1 pad; "
          "otherUp 1 pad; otherDown 2 pad -> swallow; otherUp 2 pad -> swallow; "
          "otherDown 2 pad; otherUp 2 pad; wait 0.3; expect grab off; expect ran T",
          "MappedLeftMiddleRight: driver lmr;" + tapped +
              "otherDown 2 pad; otherDown 1 pad -> swallow; expect ran T",
          "TapToClickOff: driver off; fingers 3; expect grab off; wait 0.05; fingers 0; "
          "otherDown 2 pad; expect ran T",
          "SettingsUnknownAnyButton: driver unknown;" + tapped +
              "leftDown 5,5 pad -> swallow; leftUp 5,5 pad -> swallow; expect ran T",
          "AtTheWindowsEnd: " + tapped + "wait 0.3; expect grab off; otherDown 2 pad; expect ran T",
          "NoTouchpadDeviceFound: driver lost; fingers 3; expect grab off; wait 0.05; "
          "fingers 0; otherDown 2 pad; expect ran T",
          "ItsClickBeforeItsLiftRunsTheTapOnce: fingers 3; wait 0.05; fingers 2; "
          "otherDown 2 pad -> swallow; fingers 0; otherUp 2 pad -> swallow; expect ran T"}},
        {{rule(gesture(Kind::tap, 4), "T4")},
         {"NoClickOfFourFingers: fingers 4; wait 0.05; fingers 0; expect grab off; "
          "otherDown 2 pad; expect ran T4"}},
        {{click3, button2},
         {"ClickfingerMiddleClickRunsTheClickRule: fingers 3; expect grab on; "
          "otherDown 2 pad -> swallow; wait 0.05; otherUp 2 pad -> swallow; fingers 0; "
          "otherDown 1 pad; otherUp 1 pad; otherDown 2 pad -> swallow; expect ran C M"}},
        {{click3},
         {"ButtonAreasNeverClickMiddle: driver areas; fingers 3; otherDown 2 pad; "
          "otherDown 1 pad -> swallow; expect ran C"}},
        {{tap3, click3},
         {"LeftClickWithFingersRestingIsTheClick: fingers 3; "
          "leftDown 5,5 pad -> swallow; leftUp 5,5 pad -> swallow; wait 0.05; "
          "fingers 0; expect ran C"}},
        // What the tap is told to grab follows the bindings, the fingers on the pad and the engine
        // state, and is sent only when it changed.
        {{rule(key(40, cmd), "K"), rule(key(40, cmd), "K again"),
          rule(key(12, ctrl), "Q", std::nullopt, false), rule(Trigger::mouseButton(3), "B"),
          rule(Trigger::mouseButton(1), "right"), click3, rule(gesture(Kind::click, 2), "C2")},
         {"Grabs: expect grabs 0 40 b3; fingers 2; expect grabs 0 40 b3; fingers 3; "
          "expect grabs 1 left pad 40 b3; record on; expect grabs 1; record off; "
          "expect grabs 1 left pad 40 b3; fingers 4; expect grabs 1 40 b3; leftDown 10,10; "
          "expect grabs 1 motion 40 b3; config snap off; expect grabs 1 40 b3; leftUp 10,10; "
          "expect grabs 0 40 b3; config engine off; expect grabs 1"}},
        {{rule(lDrawing(), "L", "editor")},
         {"ShapeFiresWhenTheModifiersChangeUnlessAKeyCancelsByScopeThen: front editor; "
          "trace 1.5 40,10; expect stroke on; flags ctrl+opt; expect stroke on; flags ctrl; "
          "expect stroke off; expect ran L; trace 1 0,0 drag; flags ctrl+opt+shift; "
          "expect stroke off; expect ran L L; trace 1 0,0; keyDown 12 ctrl+opt; "
          "expect stroke off; move 500,500; flags none; expect ran L L; front browser; "
          "trace 1 0,0; front editor; flags none; expect ran L L L; trace 1 0,0; front browser; "
          "flags none; expect ran L L L"}},
        {{rule(lDrawing(), "off", std::nullopt, false), rule(lDrawing(0.01), "near")},
         {"DisabledDrawingsAreNoCandidates: trace 1 0,0; flags none; expect ran near"}},
        {{rule(lDrawing(), "L", std::nullopt, false), rule(key(1, ctrl | opt), "K")},
         {"NoEnabledDrawingRuleStartsNothing: flags ctrl+opt 1,1; expect stroke off"}},
        {{rule(lDrawing(), "L")},
         {"ExactlyTheDrawModifiersStartNeverWhileRecordingOrOffJitterIsDroppedAndThePathShownPast"
          "TwelvePoints: flags ctrl+opt+shift 1,1 => idle; flags ctrl 1,1 => idle; "
          "flags ctrl+opt 1,1 => idle drawing; flags ctrl+opt 1,1 => idle drawing; "
          "flags ctrl 1,1 => idle; flags ctrl+opt 100,100; move 102,102; move 103,100; "
          "move 106,100; move 108,101; move 109,100; move 112,100 => idle drawing; "
          "move 116,100 => idle drawing shown 4; flags none; record on; "
          "flags ctrl+opt 1,1 => idle; record off; flags ctrl+opt 1,1 => idle drawing; "
          "flags none; config draw cmd+shift; flags ctrl+opt 1,1 => idle; "
          "flags cmd+shift 1,1 => idle drawing; flags none; config engine off; "
          "flags cmd+shift 1,1 => idle"}},
        // Drags preview and then snap to the zone the pointer is in.
        {{},
         {"PreviewFollowsTheZoneAndTheWorkerSnapsAfterTheReleaseDelayUnremembered: " + moving +
              "drag 1439,20 @0.07 => moving preview 720,25,720,438; "
              "drag 700,1 @0.08 => moving preview 0,25,1440,875; leftUp => idle; wait 0.02; "
              "expect frame 320,310,400,300; wait 0.02; expect frame 0,25,1440,875; "
              "expect remembered 0",
          "LeavingTheZoneSnapsNothing: " + moving +
              "drag 700,450 @0.07 => moving; leftUp => idle; wait 0.1; "
              "expect frame 320,310,400,300",
          "PressWithoutReleaseStartsOver: " + moving +
              "leftDown 500,500 => armed; leftUp => idle; wait 0.1; expect frame 320,310,400,300",
          "DragOfEightPointsOrLessNeverProbes: leftDown 400,310; drag 408,310 => armed; "
          "drag 400,318 => armed; drag 405.7,315.7 => probing",
          "ResizeIsIgnoredForTheRestOfTheDrag: leftDown 400,310; drag 420,320; "
          "window 290,300,410,300; drag 440,330 @0.05 => ignored; window 290,300,400,300; "
          "drag 0,450 @0.1 => ignored; leftUp => idle",
          "UnmovedWindowIsGivenUpAfterTheProbePeriod: leftDown 400,310; drag 420,320; "
          "drag 430,320 @1.0 => probing; drag 440,320 @1.49 => probing; "
          "drag 450,320 @1.54 => ignored; window 320,310,400,300; drag 460,320 @1.6 => ignored",
          "ProbesAtMostOncePerInterval: leftDown 400,310; drag 420,320; window 320,310,400,300; "
          "drag 430,320 @0.04 => probing; drag 440,320 @0.05 => moving",
          "SnapOffStaysArmed: config snap off; leftDown 400,310; drag 420,320; "
          "window 320,310,400,300; drag 0,450 @0.05 => armed; leftUp => idle",
          "UnreadableOrNoFocusedWindowIgnoresTheDrag: leftDown 400,310; drag 420,320 => probing; "
          "window unreadable; drag 430,320 @0.05 => ignored; leftUp; focus none; "
          "leftDown 400,310; drag 420,320 @0.1 => ignored"}},
    };
    // NOLINTEND(bugprone-suspicious-missing-comma)
    for (const auto& [rules, scripts] : groups) {
        for (const std::string& script : scripts) {
            SCOPED_TRACE(script.substr(0, script.find(':')));
            Harness(rules).play(script.substr(script.find(':') + 1));
        }
    }
    const auto s = SettingsSnapshot::of(Config{true, true, Mods(6), {tap3, click3}});
    EXPECT_EQ(touchpadDriverNotice(*s, {true}, true) + touchpadDriverNotice(*s, {}, false), "");
    EXPECT_NE(touchpadDriverNotice(*s, {}, true), "");
}

// Input is looked at on start and when asked (a lost connection, the banner's button); nothing
// polls. The tap is installed once, the first time input is there. Grabs another program holds
// are reported as triggers, counted for the General pane, and tried again at every check of input
// and every edit of the bindings until they are free.
TEST(EngineInput, TheTapIsInstalledOnceAndTakenGrabsAreTriedAgainNothingPolls) {
    Harness h({rule(gesture(Kind::tap, 3), "T"), rule(key(40, cmd), "K"),
               rule(Trigger::mouseButton(3), "B")},
              /*inputAvailable=*/false);
    int notified = 0;
    const Subscription sub = h.engine.observeState([&] { ++notified; });
    h.play("fingers 3; wait 0.05; fingers 0; expect ran T");  // gestures need no tap
    EXPECT_EQ(h.turns.timerCount(), 0u);
    // Then input comes, an install fails, one succeeds, input goes (reported; the tap stays):
    // available, installed, install attempts, notifications after each check.
    const std::pair<bool, bool> checks[] = {{true, true}, {true, false}, {true, false}, {}};
    const char* const after[] = {"1011", "1122", "1122", "0123"};
    for (std::size_t i = 0; i < 4; ++i) {
        std::tie(h.tap.available, h.tap.installFails) = checks[i];
        h.engine.checkInput();
        EXPECT_EQ(std::to_string(h.engine.inputAvailable()) +
                      std::to_string(h.engine.tapInstalled()) + std::to_string(h.tap.installCalls) +
                      std::to_string(notified),
                  after[i]);
    }
    h.engine.start();
    EXPECT_EQ(h.tap.installCalls, 2);
    h.tap.taken = {{KeyCombo{40, Mods(cmd)}}, {3}};
    h.engine.checkInput();
    EXPECT_EQ(h.engine.takenTriggers(),
              (std::vector<Trigger>{key(40, cmd), Trigger::mouseButton(3)}));
    h.tap.taken.buttons.clear();
    h.play("config snap off");
    EXPECT_EQ(takenNotice(h.engine.takenTriggers()), "1 shortcut is taken by another program.");
    h.tap.taken = {};
    h.engine.checkInput();
    EXPECT_EQ(takenNotice(h.engine.takenTriggers()), "");
    EXPECT_EQ(notified, 6);
}

// The verbose log's lines name the event, the verdict and the rule that ran.
TEST(DecisionLog, NamesTheEventTheVerdictAndTheRule) {
    const Rule k = rule(key(40, cmd), "K", "editor");
    EXPECT_EQ(decisionLine(*eventOf(wordsOf("keyDown 40 cmd repeat")), true, &k),
              "key \u2318K (40), repeated: swallowed, ran \u201C\u2318K \u2192 Run: "
              "K\u201D in editor");
    EXPECT_EQ(decisionLine(*eventOf(wordsOf("otherDown 3 pad")), false, nullptr),
              "button 3 press, from the touchpad: passed");
}

}  // namespace
}  // namespace ombrel
