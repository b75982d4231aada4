// The X key code translation: known keys, the whole named-key set, and the reverse for posting.
#include "platform/linux/key_codes.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace ombrel::linux_platform {
namespace {

TEST(KeyCodes, KnownKeysTranslateBothWays) {
    struct Case {
        unsigned x;
        int64_t mac;
        const char* key;
    };
    const Case cases[] = {
        {38, 0, "a"},          {24, 12, "q"},          {40, 2, "d"},          {10, 18, "1"},
        {19, 29, "0"},         {36, 36, "Return"},     {23, 48, "Tab"},       {65, 49, "space"},
        {9, 53, "Escape"},     {22, 51, "BackSpace"},  {119, 117, "Delete"},  {113, 123, "Left"},
        {114, 124, "Right"},   {116, 125, "Down"},     {111, 126, "Up"},      {67, 122, "F1"},
        {76, 109, "F10"},      {96, 111, "F12"},       {191, 105, "F13"},     {198, 90, "F20"},
        {90, 82, "KP_0"},      {104, 76, "KP_Enter"},  {133, 55, "Super_L"},  {64, 58, "Alt_L"},
        {37, 59, "Control_L"}, {50, 56, "Shift_L"},    {66, 57, "Caps_Lock"}, {49, 50, "grave"},
        {51, 42, "backslash"}, {94, 10, "less (ISO)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(virtualKeyFromX(c.x), c.mac) << c.key;
        EXPECT_EQ(xKeyFromVirtual(c.mac), c.x) << c.key;
    }
}

TEST(KeyCodes, EveryNamedKeyCanBePosted) {
    constexpr std::array<int64_t, 76> named = {
        0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   11,  12,  13,  14,  15,  16,
        17,  18,  19,  20,  21,  22,  23,  24,  25,  26,  27,  28,  29,  30,  31,  32,
        33,  34,  35,  36,  37,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,  48,
        49,  50,  51,  53,  96,  97,  98,  99,  100, 101, 103, 105, 107, 109, 111, 113,
        115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126};
    for (int64_t code : named) {
        const auto x = xKeyFromVirtual(code);
        ASSERT_TRUE(x.has_value()) << code;
        EXPECT_EQ(virtualKeyFromX(*x), code) << code;
    }
}

TEST(KeyCodes, KeysWithoutCounterpartKeepStableCodes) {
    // XF86AudioPlay and Print have no Mac key code of their own.
    for (unsigned x : {172U, 107U, 255U, 8U}) {
        const auto code = virtualKeyFromX(x);
        ASSERT_TRUE(code.has_value()) << x;
        EXPECT_EQ(*code, unmappedKeyBase + x);
        EXPECT_EQ(xKeyFromVirtual(*code), x);
    }
}

TEST(KeyCodes, OutOfRangeGivesNothing) {
    EXPECT_FALSE(virtualKeyFromX(7));
    EXPECT_FALSE(virtualKeyFromX(256));
    EXPECT_FALSE(virtualKeyFromX(0));
    // No key carries 52, nor the fallback number of a key that has a Mac code.
    for (int64_t code : {int64_t{-1}, int64_t{52}, unmappedKeyBase + 38, unmappedKeyBase + 300,
                         int64_t{70000}, unmappedKeyBase - 1}) {
        EXPECT_FALSE(xKeyFromVirtual(code)) << code;
    }
}

TEST(KeyCodes, EveryXKeyRoundTripsExceptSharedCodes) {
    int shared = 0;
    for (unsigned x = 8; x <= 255; ++x) {
        const auto code = virtualKeyFromX(x);
        ASSERT_TRUE(code.has_value());
        const auto back = xKeyFromVirtual(*code);
        ASSERT_TRUE(back.has_value()) << x;
        if (*back != x) {
            ++shared;
            EXPECT_EQ(virtualKeyFromX(*back), code);
        }
    }
    EXPECT_EQ(shared, 1);  // Help posts as Insert
}

}  // namespace
}  // namespace ombrel::linux_platform
