// The engine and the actions on the real backend: every placement through the window manager,
// drag-to-snap with a panel present. (Hotkeys moving the window are among the input scripts.)
#include <gtest/gtest.h>

#include "program.h"

#include <X11/extensions/XTest.h>

#include <filesystem>
#include <memory>

#include "actions/window_manager.h"
#include "env.h"
#include "placement/target_frames.h"

namespace ombrel::linux_platform {
namespace {

using namespace platform_test;
using namespace std::chrono_literals;

class EndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(session().ready()) << session().failure();
        std::filesystem::create_directories(folder_);
        program_ = std::make_unique<Program>(folder_, session().displayName());
        program_->store.setConfig(inputRules());
        program_->start();
        ASSERT_TRUE(pumpUntil([&] { return program_->tapInstalled(); }));
        window_ = session().createWindow("ombreltest", "OmbrelTest", 300, 200, 500, 350);
        ASSERT_NE(window_, 0U);
        ASSERT_TRUE(session().activate(window_));
    }
    void TearDown() override {
        for (Window w : {window_, panel_}) {
            if (w != 0) {
                XDestroyWindow(d_, w);
            }
        }
        XSync(d_, False);
        program_.reset();
        std::filesystem::remove_all(folder_);
    }

    [[nodiscard]] Screen screen(std::size_t i) { return program_->windows.screens()[i]; }
    // On the action worker, as a run request would, and back when it is done.
    void apply(WindowAction action) {
        program_->threads.onWorker([action](WindowManager& manager) { manager.apply(action); });
    }

    Display* d_ = session().display();
    const std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() / ("ombrel-e2e-" + std::to_string(getpid()));
    std::unique_ptr<Program> program_;
    Window window_ = 0;
    Window panel_ = 0;
};

TEST_F(EndToEndTest, EveryPlacementLandsOnItsTargetOnBothMonitors) {
    auto& windows = program_->windows;
    for (std::size_t s = 0; s < 2; ++s) {
        const Rect visible = screen(s).visible;
        windows.writePosition(WindowRef{window_}, {visible.x + 40, visible.y + 40});
        for (WindowAction action : allWindowActions) {
            if (action == WindowAction::nextDisplay) {
                continue;
            }
            SCOPED_TRACE(std::string(rawValue(action)) + " on monitor " + std::to_string(s));
            const Rect target = action == WindowAction::maximize
                                    ? visible
                                    : targetFrame(action, visible, outer(window_));
            apply(action);
            EXPECT_EQ(outer(window_), target);
            apply(action);  // restores, so the next action is not a restore
        }
    }
    // Next display: from the first monitor to the second and back.
    windows.writePosition(WindowRef{window_}, {100, 100});
    for (std::size_t s : {1, 0}) {
        apply(WindowAction::nextDisplay);
        EXPECT_TRUE(screen(s).visible.contains(outer(window_).origin()))
            << ::testing::PrintToString(outer(window_));
    }
}

TEST_F(EndToEndTest, DraggedByItsTitleBarToTheLeftEdgeItSnapsBesideThePanel) {
    panel_ = createDock(0, 0, 40, 800, {40, 0, 0, 0, 0, 799, 0, 0, 0, 0, 0, 0});
    ASSERT_TRUE(pumpUntil([&] { return screen(0).visible == Rect{40, 0, 1240, 800}; }));
    ASSERT_TRUE(session().activate(window_));
    // A point on the title bar: inside the frame, above the client.
    const Rect start = outer(window_);
    int clientX = 0;
    int clientY = 0;
    Window child = 0;
    XTranslateCoordinates(d_, window_, DefaultRootWindow(d_), 0, 0, &clientX, &clientY, &child);
    ASSERT_GT(clientY - start.y, 4) << "no title bar";
    const int grabX = int(start.x + start.width / 2);
    const int grabY = int(start.y + (clientY - start.y) / 2);
    XTestFakeMotionEvent(d_, -1, grabX, grabY, CurrentTime);
    XTestFakeButtonEvent(d_, 1, True, CurrentTime);
    XFlush(d_);
    // Move in steps toward the left edge, slowly enough for the engine to see the window move.
    constexpr int steps = 30;
    for (int i = 1; i <= steps; ++i) {
        XTestFakeMotionEvent(d_, -1, grabX - grabX * i / steps, grabY + (400 - grabY) * i / steps,
                             CurrentTime);
        XFlush(d_);
        pumpUntil([] { return false; }, 15ms);
    }
    EXPECT_TRUE(pumpUntil([&] { return program_->snapShown().has_value(); }));
    XTestFakeButtonEvent(d_, 1, False, CurrentTime);
    XFlush(d_);
    EXPECT_TRUE(pumpUntil([&] {
        return outer(window_) == Rect{40, 0, 620, 800};
    })) << ::testing::PrintToString(outer(window_));
    EXPECT_FALSE(program_->snapShown().has_value());
}

}  // namespace
}  // namespace ombrel::linux_platform
