// The overlay windows on a real X server without a compositor: where they are, what they show,
// and that clicks go through them to the windows below.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

#include "fakes/fake_platform.h"
#include "platform/linux/overlays/overlay_color.h"
#include "platform/linux/overlays/snap_overlay.h"
#include "platform/linux/overlays/stroke_overlay.h"
#include "settings/style.h"

// Last: Xlib macros collide with Qt and GoogleTest names.
#include <X11/Xutil.h>

#include "shell_env.h"

namespace ombrel::shell_test {
namespace {

constexpr unsigned long below = 0x2060a0;

class OverlayTest : public ::testing::Test {
  protected:
    using XSession = xsession::XSession;

    void SetUp() override {
        for (const auto& m : session().options().monitors) {
            const Rect full{double(m.x), double(m.y), double(m.width), double(m.height)};
            windows.displays.push_back({full, full});
        }
    }
    void TearDown() override {
        if (target != 0) {
            XDestroyWindow(display, target);
            XSync(display, False);
        }
    }
    // Whether the screen shows the colour at a root point, whatever window draws it.
    bool shows(QPoint p, QRgb colour) {
        return pumpUntil([&] {
            XImage* image = XGetImage(display, DefaultRootWindow(display), p.x(), p.y(), 1, 1,
                                      AllPlanes, ZPixmap);
            const QRgb pixel = image != nullptr ? XGetPixel(image, 0, 0) : 0;
            if (image != nullptr) {
                XDestroyImage(image);
            }
            return std::abs(qRed(pixel) - qRed(colour)) <= 8 &&
                   std::abs(qGreen(pixel) - qGreen(colour)) <= 8 &&
                   std::abs(qBlue(pixel) - qBlue(colour)) <= 8;
        });
    }
    // Clicks the left button there as another client would (XTEST, through xdotool).
    bool clickReaches(QPoint p) {
        XEvent event{};
        while (XCheckTypedWindowEvent(display, target, ButtonPress, &event)) {
        }
        return XSession::run({"xdotool", "mousemove", std::to_string(p.x()), std::to_string(p.y()),
                              "click", "1"}) == 0 &&
               pumpUntil(
                   [&] { return XCheckTypedWindowEvent(display, target, ButtonPress, &event); });
    }
    // Waits until the overlay's window is mapped at the area outside the window manager, or
    // unmapped when there is none.
    static bool placed(const QWidget* overlay, std::optional<QRect> area) {
        const auto at = [&](Window id) {
            xsession::Monitor m;
            XWindowAttributes a{};
            return session().outerFrame(id, m) && QRect(m.x, m.y, m.width, m.height) == area &&
                   XGetWindowAttributes(session().display(), id, &a) && a.override_redirect;
        };
        return overlay != nullptr && pumpUntil([&] {
                   const Window id = overlay->winId();
                   return isViewable(id) == area.has_value() && (!area || at(id));
               });
    }

    Display* display = session().display();
    const QRgb accent = overlayColor().rgb();
    fake::FakeWindowSystem windows;
    Window target = 0;
};

// Whichever monitor is primary (a laptop on the right of an external screen puts it off the
// origin), the stroke covers all displays and the snap preview sits inset in its target, both
// outside the window manager: no frame to take clicks, present on every workspace.
TEST_F(OverlayTest, OverlaysSitWhereAskedWhicheverMonitorIsPrimary) {
    const QRect all(0, 0, 1280 + 1024, 800);
    const Rect left{0, 0, 640, 800};
    const Rect topRight{640, 0, 640, 400};
    const auto inset = [](const Rect& r) {
        return QRect(int(r.x + 6), int(r.y + 6), int(r.width - 12), int(r.height - 12));
    };
    for (std::size_t primary : {1, 0}) {
        SCOPED_TRACE("primary monitor " + std::to_string(primary));
        const auto& m = session().options().monitors[primary];
        ASSERT_TRUE(session().makePrimary(primary));
        ASSERT_TRUE(pumpUntil([&] {
            return QGuiApplication::primaryScreen()->geometry().topLeft() == QPoint(m.x, m.y);
        }));
        QtStrokeOverlay stroke(windows, [] { return false; });
        stroke.begin({10, 10});
        EXPECT_TRUE(placed(stroke.window(), all));
        stroke.hide();
        EXPECT_FALSE(stroke.visible());
        EXPECT_TRUE(placed(stroke.window(), std::nullopt));

        QtSnapOverlay snap([] { return false; });
        const std::pair<const char*, std::optional<Rect>> steps[] = {
            {"first zone", left},
            {"same zone again", left},
            {"another zone", topRight},
            {"back to the first", left},
            {"hidden", std::nullopt},
            {"shown again after hiding", left},
            {"smaller than the inset", Rect{100, 100, 10, 300}},
        };
        for (const auto& [what, show] : steps) {
            SCOPED_TRACE(what);
            show ? snap.show(*show) : snap.hide();
            EXPECT_EQ(snap.shown(), show);
            EXPECT_TRUE(placed(snap.window(), show && show->width > 12 ? std::optional(inset(*show))
                                                                       : std::nullopt));
        }
    }
}

// Without a compositor a translucent window would paint black: the stroke shows only its line
// and the preview only its border, and clicks on them reach the window below.
TEST_F(OverlayTest, OverlaysShowOnlyTheirLinesAndLetClicksThrough) {
    // A window of one colour that records button presses, outside the window manager, whose
    // frame bindings would take the clicks this probes.
    const QRect area(200, 200, 400, 300);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = below;
    attributes.event_mask = ButtonPressMask;
    target = XCreateWindow(display, DefaultRootWindow(display), area.x(), area.y(), area.width(),
                           area.height(), 0, CopyFromParent, InputOutput, CopyFromParent,
                           CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XMapRaised(display, target);
    XSync(display, False);
    ASSERT_TRUE(shows(area.center(), below));
    ASSERT_TRUE(clickReaches(area.center())) << "clicks must reach the window without overlay";
    QtStrokeOverlay stroke(windows, [] { return false; });
    const int y = area.center().y();
    const QPoint start(area.left() + 40, y);
    stroke.begin({double(start.x()), double(start.y())});
    // Shown with nothing but its first point: a dot, and the rest of the screen untouched.
    EXPECT_TRUE(shows(start, accent));
    EXPECT_TRUE(shows(start + QPoint(40, 40), below));
    for (int x = area.left() + 44; x <= area.right() - 40; x += 4) {
        stroke.addPoint({double(x), double(y)});
    }
    const QPoint onLine(area.center().x(), y);
    EXPECT_TRUE(shows(onLine, accent));
    EXPECT_TRUE(shows(onLine + QPoint(0, 40), below));
    EXPECT_TRUE(clickReaches(onLine)) << "a click on the stroke must reach the window below";
    stroke.hide();

    QtSnapOverlay snap([] { return false; });
    snap.show({double(area.x()), double(area.y()), double(area.width()), double(area.height())});
    const QRect preview = area.adjusted(6, 6, -6, -6);
    // The border, away from the rounded corners; inside, the window below.
    EXPECT_TRUE(shows({preview.center().x(), preview.top()}, accent));
    EXPECT_TRUE(shows({preview.left(), preview.center().y()}, accent));
    EXPECT_TRUE(shows(preview.center(), below));
    EXPECT_TRUE(clickReaches(preview.center()));
    EXPECT_TRUE(clickReaches({preview.center().x(), preview.top()}))
        << "a click on the border must reach the window below";
    snap.hide();
}

// Where translucency works: the stroke's line is solid and its glow fades; the preview is a faint
// fill of the accent colour inside a stronger border with rounded corners.
TEST_F(OverlayTest, TranslucentWhereACompositorRunsAndFollowingTheDisplaysAndStyle) {
    QtStrokeOverlay stroke(windows, [] { return true; });
    stroke.begin({100, 200});
    stroke.addPoint({300, 200});
    stroke.hide();
    stroke.begin({100, 100});
    for (int x = 104; x <= 300; x += 4) {
        stroke.addPoint({double(x), 100});
    }
    ASSERT_NE(stroke.window(), nullptr);
    const QImage line = stroke.window()
                            ->grab(QRect(0, 0, 420, 260))
                            .toImage()
                            .convertToFormat(QImage::Format_ARGB32);
    stroke.hide();
    QtSnapOverlay snap([] { return true; });
    snap.show({100, 100, 412, 312});
    ASSERT_NE(snap.window(), nullptr);
    const QImage preview = snap.window()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    snap.hide();
    ASSERT_EQ(preview.size(), QSize(400, 300));
    const struct {
        const char* where;
        const QImage& image;
        QPoint at;
        int minAlpha;
        int maxAlpha;
    } samples[] = {
        {"on the line", line, {200, 100}, 255, 255},
        {"inside the line's width", line, {200, 101}, 250, 255},
        {"in the glow", line, {200, 105}, 60, 220},
        {"at the glow's edge", line, {200, 108}, 1, 120},
        {"beyond the glow", line, {200, 114}, 0, 0},
        {"where the previous stroke was", line, {200, 200}, 0, 0},
        {"fill", preview, {200, 150}, 44, 68},
        {"top border", preview, {200, 0}, 205, 229},
        {"left border", preview, {0, 150}, 205, 229},
        {"rounded corner", preview, {0, 0}, 0, 12},
        {"just inside the border", preview, {200, 3}, 44, 68},
    };
    for (const auto& s : samples) {
        SCOPED_TRACE(s.where);
        EXPECT_GE(qAlpha(s.image.pixel(s.at)), s.minAlpha);
        EXPECT_LE(qAlpha(s.image.pixel(s.at)), s.maxAlpha);
    }
    const QColor fill = preview.pixelColor(200, 150);
    EXPECT_NEAR(fill.hueF(), overlayColor().hueF(), 0.02);

    // The stroke needs a display; the compositor is whoever owns the screen's selection; the
    // accent is lighter on a dark style.
    windows.displays.clear();
    QtStrokeOverlay blind(windows, [] { return false; });
    blind.begin({10, 10});
    blind.addPoint({40, 40});
    EXPECT_FALSE(blind.visible());
    EXPECT_EQ(blind.window(), nullptr);

    EXPECT_FALSE(compositorRunning());
    const Window owner =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, XInternAtom(display, "_NET_WM_CM_S0", False), owner, CurrentTime);
    XSync(display, False);
    EXPECT_TRUE(compositorRunning());
    XDestroyWindow(display, owner);
    XSync(display, False);
    EXPECT_FALSE(compositorRunning());

    EXPECT_GT(overlayColor(style::darkPalette()).lightnessF(),
              overlayColor(style::lightPalette()).lightnessF());
}

}  // namespace
}  // namespace ombrel::shell_test
