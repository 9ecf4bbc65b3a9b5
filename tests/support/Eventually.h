#pragma once

// Waits that fail the test. QTest's QTRY_* macros only return from the function when they time
// out, which GoogleTest never hears of: the test would end early and still pass.

#include <QTest>
#include <gtest/gtest.h>

/** How long a test waits for something that must come: far above its usual time, so a machine
 *  busy with another build never fails the test; a wait that succeeds ends at once. */
inline constexpr int kEventuallyMs = 60000;

/** Processes events until `condition` holds, for at most `timeoutMs`; fails the test if not. */
#define ASSERT_EVENTUALLY(condition, timeoutMs)                                              \
    ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(condition); }, (timeoutMs))) \
        << "still false after " << (timeoutMs) << " ms: " #condition

/** As ASSERT_EVENTUALLY for `actual == expected`, saying both values when it fails. */
#define ASSERT_EVENTUALLY_EQ(actual, expected, timeoutMs)                                 \
    do {                                                                                  \
        static_cast<void>(                                                                \
            QTest::qWaitFor([&] { return (actual) == (expected); }, (timeoutMs)));        \
        ASSERT_EQ(actual, expected) << "after " << (timeoutMs) << " ms";                  \
    } while (false)
