// The recogniser and geometry checks of --selftest pass, and sit at their places in the list.
#include "app/selftest_checks.h"

#include <gtest/gtest.h>

namespace ombrel::selftest {
namespace {

TEST(SelfTestCoreChecks, AllPassInListOrder) {
    int previous = 0;
    for (const CoreCheck& check : coreChecks) {
        EXPECT_TRUE(check.run()) << check.name;
        EXPECT_GT(check.position, previous) << check.name;
        EXPECT_NE(check.position, 21);
        EXPECT_NE(check.position, 32);
        previous = check.position;
    }
}

}  // namespace
}  // namespace ombrel::selftest
