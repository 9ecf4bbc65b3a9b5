#include <gtest/gtest.h>

#include <QString>

#include "module/Commands.h"
#include "module/Protocol.h"

using namespace brimvolt;

TEST(Commands, RinButtonClearsAHeldResultMeasuresDuringARunOrDoesNothing) {
    const struct {
        std::uint8_t flags;
        std::uint8_t command;
    } cases[] = {
        {0x00, 0}, {0x08, 'r'}, {0x10, 'c'}, {0x18, 'c'},
        {0x02, 0}, {0x0A, 'r'}, {0xE7, 0},   {0xFF, 'c'},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RinButtonCommand(c.flags), c.command) << int(c.flags);
    }
}

TEST(Commands, TimeAndCapacityMustFitTheModuleCounters) {
    const struct {
        std::int32_t seconds;
        const char* capacity;
        bool fits;
    } cases[] = {
        {0, "", true},
        {0, "0.000Ah", true},
        {3725, "12.345Ah", true},
        {921599, "16777.215Ah", true},  // 255:59:59 and the 24-bit maximum
        {921600, "1.000Ah", false},
        {2147483647, "1.000Ah", false},
        {-1, "1.000Ah", false},
        {100, "16777.216Ah", false},
        {100, "99999.999Ah", false},
        {100, "-0.0005Ah", true},  // truncates to 0 mAh
        {100, "-0.002Ah", false},
        {100, "inf", false},
        {100, "-inf", false},
        {100, "nan", false},
        {100, "1e400Ah", false},
        {100, "no number", true},  // reads as 0 mAh, as the request itself does
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.capacity);
        EXPECT_EQ(TimeAndCapacityFit(c.seconds, text), c.fits) << c.seconds << " " << c.capacity;
        if (c.fits) {
            // What fits is exactly what 'C' then carries in its three bytes.
            const std::int64_t mah = CapacityMahOfText(text);
            EXPECT_GE(mah, 0) << c.capacity;
            EXPECT_LE(mah, 0xFFFFFF) << c.capacity;
        }
    }
}
