// The overlay windows on a real X server without a compositor: where they are, what they show,
// and that clicks go through them to the windows below.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

#include "fakes/fake_platform.h"
#include "placement/snap_zone.h"
#include "placement/target_frames.h"
#include "platform/linux/overlays/overlay_color.h"
#include "platform/linux/overlays/snap_overlay.h"
#include "platform/linux/overlays/stroke_overlay.h"

// Last: Xlib macros collide with Qt and GoogleTest names.
#include "shell_env.h"
#include "x_probe.h"

namespace ombrel::shell_test {
namespace {

constexpr unsigned long belowColour = 0x2060a0;
const Rgb below{0x20, 0x60, 0xa0};

Rgb accent() {
    const QColor c = overlayColor();
    return {c.red(), c.green(), c.blue()};
}

// The displays of the session as the window manager reports them.
std::vector<Screen> sessionScreens() {
    std::vector<Screen> screens;
    for (const auto& m : session().options().monitors) {
        const Rect full{double(m.x), double(m.y), double(m.width), double(m.height)};
        screens.push_back({full, full});
    }
    return screens;
}

// Makes a monitor of the session the primary one while it lives (a laptop on the right of an
// external screen puts the primary off the origin); the first is primary again afterwards.
struct PrimaryMonitor {
    explicit PrimaryMonitor(std::size_t index) { make(index); }
    ~PrimaryMonitor() { make(0); }
    static void make(std::size_t index) {
        const auto& m = session().options().monitors[index];
        EXPECT_TRUE(session().makePrimary(index));
        EXPECT_TRUE(pumpUntil([&] {
            return QGuiApplication::primaryScreen()->geometry().topLeft() == QPoint(m.x, m.y);
        }));
    }
};

class OverlayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(session().ready()) << session().failure();
        display = session().display();
        windows.displays = sessionScreens();
    }
    void TearDown() override {
        if (target != 0) {
            XDestroyWindow(display, target);
            XSync(display, False);
        }
    }
    // A window of one colour, and its area in root coordinates.
    QRect openTarget(int x, int y, int width, int height) {
        target = colouredWindow(x, y, width, height, belowColour);
        const QRect area = rootGeometry(display, target);
        EXPECT_EQ(area, QRect(x, y, width, height));
        EXPECT_TRUE(pumpUntil([&] {
            return near(screenPixel(display, area.center().x(), area.center().y()), below);
        }));
        return area;
    }
    bool shows(QPoint p, Rgb colour) {
        return pumpUntil([&] { return near(screenPixel(display, p.x(), p.y()), colour); });
    }
    bool clickReaches(QPoint p) {
        while (takeButtonPress(display, target)) {
        }
        if (!clickAt(p.x(), p.y())) {
            return false;
        }
        return pumpUntil([&] { return takeButtonPress(display, target); });
    }

    Display* display = nullptr;
    fake::FakeWindowSystem windows;
    Window target = 0;
};

TEST_F(OverlayTest, StrokeCoversTheUnionOfAllDisplaysOutsideTheWindowManager) {
    ASSERT_GE(windows.displays.size(), 2U) << "the session should have two monitors";
    Rect all = windows.displays.front().full;
    for (const auto& s : windows.displays) {
        all = all.unite(s.full);
    }
    for (std::size_t primary : {0, 1}) {
        SCOPED_TRACE("primary monitor " + std::to_string(primary));
        const PrimaryMonitor layout(primary);
        QtStrokeOverlay overlay(windows, [] { return false; });
        overlay.begin({10, 10});
        ASSERT_NE(overlay.window(), nullptr);
        const Window id = overlay.window()->winId();
        ASSERT_TRUE(pumpUntil([&] {
            return isViewable(display, id) &&
                   rootGeometry(display, id) ==
                       QRect(int(all.x), int(all.y), int(all.width), int(all.height));
        })) << rootGeometry(display, id).x();
        // Bypassing the window manager: no frame to take clicks, present on every workspace.
        EXPECT_TRUE(overrideRedirect(display, id));
        overlay.hide();
        EXPECT_FALSE(overlay.visible());
        EXPECT_TRUE(pumpUntil([&] { return !isViewable(display, id); }));
    }
}

TEST_F(OverlayTest, StrokeShowsOnlyTheLineAndLetsClicksThrough) {
    const QRect area = openTarget(200, 200, 400, 300);
    ASSERT_TRUE(clickReaches(area.center())) << "clicks must reach the window without overlay";
    QtStrokeOverlay overlay(windows, [] { return false; });
    const int y = area.center().y();
    const QPoint start(area.left() + 40, y);
    overlay.begin({double(start.x()), double(start.y())});
    // Shown with nothing but its first point: a dot, and the rest of the screen untouched.
    ASSERT_TRUE(pumpUntil([&] { return isViewable(display, overlay.window()->winId()); }));
    EXPECT_TRUE(shows(start, accent()));
    EXPECT_TRUE(shows(start + QPoint(40, 40), below));
    for (int x = area.left() + 44; x <= area.right() - 40; x += 4) {
        overlay.addPoint({double(x), double(y)});
    }
    const QPoint onLine(area.center().x(), y);
    EXPECT_TRUE(shows(onLine, accent()));
    // Without a compositor a translucent window would paint black here; the windows below must
    // stay visible around the line.
    EXPECT_TRUE(shows(onLine + QPoint(0, 40), below));
    EXPECT_TRUE(shows({area.left() + 10, area.top() + 10}, below));
    EXPECT_TRUE(clickReaches(onLine)) << "a click on the stroke must reach the window below";
    EXPECT_TRUE(clickReaches(onLine + QPoint(0, 40)));
    overlay.hide();

    // The next stroke starts a new path.
    const QPoint first(area.left() + 60, y);
    const QPoint second(area.left() + 60, area.bottom() - 60);
    overlay.begin({double(second.x()), double(second.y())});
    overlay.addPoint({double(second.x() + 100), double(second.y())});
    EXPECT_TRUE(shows(second + QPoint(50, 0), accent()));
    EXPECT_TRUE(shows(first + QPoint(50, 0), below)) << "the previous stroke is still drawn";

    // Points added after hide are not drawn and do not show the overlay.
    overlay.hide();
    overlay.addPoint({double(second.x() + 200), double(second.y())});
    EXPECT_FALSE(overlay.visible());
    EXPECT_TRUE(shows(second + QPoint(50, 0), below));
}

TEST_F(OverlayTest, StrokeGlowsAroundTheLineWhereTranslucencyWorks) {
    QtStrokeOverlay overlay(windows, [] { return true; });
    overlay.begin({100, 100});
    for (int x = 104; x <= 300; x += 4) {
        overlay.addPoint({double(x), 100});
    }
    for (int step = 1; step <= 30; ++step) {
        const double angle = step * 0.1;
        overlay.addPoint({300 + 60 * std::sin(angle), 160 - 60 * std::cos(angle)});
    }
    ASSERT_NE(overlay.window(), nullptr);
    const QImage image = overlay.window()
                             ->grab(QRect(0, 0, 420, 260))
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32);
    overlay.hide();
    struct Sample {
        const char* where;
        int dy;  // distance from the line's centre
        int minAlpha;
        int maxAlpha;
    };
    const Sample samples[] = {
        {"on the line", 0, 255, 255},  {"inside the line's width", 1, 250, 255},
        {"in the glow", 5, 60, 220},   {"at the glow's edge", 8, 1, 120},
        {"beyond the glow", 14, 0, 0},
    };
    for (const auto& sample : samples) {
        SCOPED_TRACE(sample.where);
        const int alpha = qAlpha(image.pixel(200, 100 + sample.dy));
        EXPECT_GE(alpha, sample.minAlpha);
        EXPECT_LE(alpha, sample.maxAlpha);
    }
}

TEST_F(OverlayTest, StrokeWithoutDisplaysShowsNothing) {
    windows.displays.clear();
    QtStrokeOverlay overlay(windows, [] { return false; });
    overlay.begin({10, 10});
    overlay.addPoint({40, 40});
    EXPECT_FALSE(overlay.visible());
    EXPECT_EQ(overlay.window(), nullptr);
}

TEST_F(OverlayTest, SnapPreviewIsTheZoneTargetInsetAndFollowsTargetChanges) {
    const Screen& screen = windows.displays.front();
    const Rect current{300, 300, 400, 300};
    const auto target = [&](Point pointer) {
        const auto zone = snapZone(pointer, screen.full);
        EXPECT_TRUE(zone.has_value());
        return targetFrame(zone.value_or(WindowAction::maximize), screen.visible, current);
    };
    const Rect left = target({0, screen.full.midY()});
    const Rect topRight = target({screen.full.maxX() - 1, 20});
    const auto inset = [](const Rect& r) {
        return QRect(int(r.x + 6), int(r.y + 6), int(r.width - 12), int(r.height - 12));
    };

    for (std::size_t primary : {0, 1}) {
        SCOPED_TRACE("primary monitor " + std::to_string(primary));
        const PrimaryMonitor layout(primary);
        QtSnapOverlay overlay([] { return false; });
        const std::pair<const char*, std::optional<Rect>> steps[] = {
            {"first zone", left},
            {"same zone again", left},
            {"another zone", topRight},
            {"back to the first", left},
            {"hidden", std::nullopt},  // nothing: hide
            {"shown again after hiding", left},
            {"smaller than the inset", Rect{100, 100, 10, 300}},
        };
        for (const auto& [what, show] : steps) {
            SCOPED_TRACE(what);
            show ? overlay.show(*show) : overlay.hide();
            EXPECT_EQ(overlay.shown(), show);
            ASSERT_NE(overlay.window(), nullptr);
            const Window id = overlay.window()->winId();
            if (show && show->width > 12) {
                ASSERT_TRUE(pumpUntil([&] {
                    return isViewable(display, id) && rootGeometry(display, id) == inset(*show);
                })) << "at "
                    << rootGeometry(display, id).x() << "," << rootGeometry(display, id).y();
                EXPECT_TRUE(overrideRedirect(display, id));
            } else {
                EXPECT_TRUE(pumpUntil([&] { return !isViewable(display, id); }));
            }
        }
        overlay.hide();
    }
}

TEST_F(OverlayTest, SnapPreviewShowsItsBorderAndLetsClicksThrough) {
    const QRect area = openTarget(150, 150, 500, 400);
    QtSnapOverlay overlay([] { return false; });
    overlay.show({double(area.x()), double(area.y()), double(area.width()), double(area.height())});
    const QRect preview = area.adjusted(6, 6, -6, -6);
    // The border, away from the rounded corners.
    EXPECT_TRUE(shows({preview.center().x(), preview.top()}, accent()));
    EXPECT_TRUE(shows({preview.left(), preview.center().y()}, accent()));
    // Inside, the window below stays visible and clickable.
    EXPECT_TRUE(shows(preview.center(), below));
    EXPECT_TRUE(clickReaches(preview.center()));
    EXPECT_TRUE(clickReaches({preview.center().x(), preview.top()}))
        << "a click on the border must reach the window below";
    overlay.hide();
}

TEST_F(OverlayTest, SnapPreviewIsTranslucentWithABorderWhereTranslucencyWorks) {
    QtSnapOverlay overlay([] { return true; });
    overlay.show({100, 100, 412, 312});
    ASSERT_NE(overlay.window(), nullptr);
    const QImage image = overlay.window()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    overlay.hide();
    ASSERT_EQ(image.size(), QSize(400, 300));
    struct Sample {
        const char* where;
        QPoint at;
        int alpha;  // expected, within 12
    };
    const Sample samples[] = {
        {"fill", {200, 150}, 56},       // 0.22
        {"top border", {200, 0}, 217},  // 0.85
        {"left border", {0, 150}, 217},
        {"rounded corner", {0, 0}, 0},
        {"just inside the border", {200, 3}, 56},
    };
    for (const auto& sample : samples) {
        SCOPED_TRACE(sample.where);
        EXPECT_NEAR(qAlpha(image.pixel(sample.at)), sample.alpha, 12);
    }
    const QColor colour = overlayColor();
    const QColor fill = image.pixelColor(200, 150);
    EXPECT_NEAR(fill.redF(), colour.redF(), 0.05);
    EXPECT_NEAR(fill.greenF(), colour.greenF(), 0.05);
    EXPECT_NEAR(fill.blueF(), colour.blueF(), 0.05);
}

TEST_F(OverlayTest, CompositorIsDetectedFromTheSelectionOwner) {
    EXPECT_FALSE(compositorRunning());
    const Window owner =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const Atom selection = XInternAtom(display, "_NET_WM_CM_S0", False);
    XSetSelectionOwner(display, selection, owner, CurrentTime);
    XSync(display, False);
    EXPECT_TRUE(compositorRunning());
    XDestroyWindow(display, owner);
    XSync(display, False);
    EXPECT_FALSE(compositorRunning());
}

struct PaletteCase {
    const char* name;
    QColor window;
    QColor expected;
};

TEST(OverlayColour, FollowsTheLightnessOfTheStyle) {
    const PaletteCase cases[] = {
        {"light", QColor(240, 240, 240), QColor::fromRgbF(0.8F, 0.24F, 0.18F)},
        {"dark", QColor(40, 40, 40), QColor::fromRgbF(1.0F, 0.5F, 0.4F)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QPalette palette;
        palette.setColor(QPalette::Window, c.window);
        EXPECT_EQ(overlayColor(palette).rgba(), c.expected.rgba());
    }
}

}  // namespace
}  // namespace ombrel::shell_test
