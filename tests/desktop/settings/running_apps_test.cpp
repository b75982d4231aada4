// The "In" picker's running applications, read from a real window manager's client list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/desktop_services.h"
#include "x_session.h"

namespace ombrel {
namespace {

TEST(RunningApplications, DistinctWindowClassesOfTheManagedClients) {
    xsession::XSession session;
    ASSERT_TRUE(session.ready()) << session.failure();
    EXPECT_TRUE(desktop::clientWindowClasses(session.display()).empty());
    ASSERT_NE(session.createWindow("term", "XTerm", 10, 10, 200, 100), 0u);
    ASSERT_NE(session.createWindow("editor", "Gedit", 240, 10, 200, 100), 0u);
    ASSERT_NE(session.createWindow("term2", "XTerm", 10, 240, 200, 100), 0u);
    // Two windows of one application give one entry.
    EXPECT_THAT(desktop::clientWindowClasses(session.display()),
                ::testing::UnorderedElementsAre("XTerm", "Gedit"));
    EXPECT_TRUE(desktop::clientWindowClasses(nullptr).empty());
}

}  // namespace
}  // namespace ombrel
