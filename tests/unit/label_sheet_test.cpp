// Cell labels: the label size from the command line, where labels sit on a page, and QR codes.

#include <gtest/gtest.h>

#include "labels/LabelSheet.h"
#include "labels/QrCode.h"

namespace {

using brimvolt::LabelPageLayout;
using brimvolt::ParseLabelSize;

TEST(LabelSheet, LabelSizesWithinTheBoundsOnly) {
    const struct {
        const char* text;
        double width;  // 0: refused
        double height;
    } cases[] = {{"62x29", 62, 29},      {"50.8x25.4", 50.8, 25.4}, {"15x300", 15, 300},
                 {"14.9x29", 0, 0},      {"62x300.1", 0, 0},        {"62X29", 0, 0},
                 {"62x29x1", 0, 0},      {"x29", 0, 0},             {"nanx29", 0, 0},
                 {"infx29", 0, 0},       {"-62x29", 0, 0},          {"", 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto size = ParseLabelSize(QString::fromLatin1(c.text));
        ASSERT_EQ(size.has_value(), c.width > 0);
        if (size) {
            EXPECT_DOUBLE_EQ(size->width(), c.width);
            EXPECT_DOUBLE_EQ(size->height(), c.height);
        }
    }
}

// The A4 sheet: 24 labels inside the page, none over another; a label printer's page holds one.
TEST(LabelSheet, SheetLabelsFitTheA4PageWithoutOverlap) {
    const brimvolt::LabelPage sheet = LabelPageLayout(std::nullopt);
    EXPECT_EQ(sheet.pageMm, QSizeF(210, 297));
    ASSERT_EQ(sheet.labelsMm.size(), 24u);
    const QRectF page(QPointF(0, 0), sheet.pageMm);
    for (std::size_t i = 0; i < sheet.labelsMm.size(); ++i) {
        EXPECT_TRUE(page.contains(sheet.labelsMm[i])) << i;
        for (std::size_t j = i + 1; j < sheet.labelsMm.size(); ++j) {
            EXPECT_FALSE(sheet.labelsMm[i].intersected(sheet.labelsMm[j]).isValid()) << i << j;
        }
    }
    const brimvolt::LabelPage roll = LabelPageLayout(QSizeF(62, 29));
    EXPECT_EQ(roll.pageMm, QSizeF(62, 29));
    ASSERT_EQ(roll.labelsMm.size(), 1u);
    EXPECT_EQ(roll.labelsMm[0], QRectF(0, 0, 62, 29));
}

// A QR code's size grows with the text and an empty text gives none; the finder patterns'
// corners are dark, so the matrix is the code and not its negative.
TEST(LabelSheet, QrCodesGrowWithTheText) {
    if (!brimvolt::QrCodesAvailable()) {
        GTEST_SKIP() << "built without libqrencode";
    }
    EXPECT_FALSE(brimvolt::EncodeQr(QString()).Ok());
    const brimvolt::QrMatrix small = brimvolt::EncodeQr("A1");
    const brimvolt::QrMatrix large = brimvolt::EncodeQr(QString(200, QChar(0x42F)));
    ASSERT_TRUE(small.Ok());
    ASSERT_TRUE(large.Ok());
    EXPECT_EQ(small.size, 21);
    EXPECT_GT(large.size, small.size);
    for (const brimvolt::QrMatrix* code : {&small, &large}) {
        EXPECT_TRUE(code->At(0, 0));
        EXPECT_TRUE(code->At(code->size - 1, 0));
        EXPECT_TRUE(code->At(0, code->size - 1));
        EXPECT_FALSE(code->At(code->size - 1, code->size - 1) && code->At(7, 7));
    }
}

}  // namespace

namespace {

// What was never measured is said so, never shown as 0.
TEST(LabelSheet, CaptionsSayWhatWasNotMeasured) {
    const struct {
        brimvolt::LabelCell cell;
        QStringList lines;
    } cases[] = {
        {{"A", 2480, 37, 0, ""}, {"2480 мА·ч", "Rвн 37 мОм", "не испытана"}},
        {{"A", std::nullopt, std::nullopt, 0, ""},
         {"емкость не измерена", "Rвн не измерено", "не испытана"}},
        {{"A", 0, 0, 0, ""}, {"0 мА·ч", "Rвн 0 мОм", "не испытана"}},
        {{"A", 2480, 37, 0, "брак"}, {"2480 мА·ч", "Rвн 37 мОм", "не испытана", "сорт брак"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(brimvolt::LabelCaptions(c.cell), c.lines);
    }
    const QStringList dated = brimvolt::LabelCaptions({"A", 1, 1, 1'700'000'000, ""});
    ASSERT_EQ(dated.size(), 3);
    EXPECT_TRUE(dated[2].startsWith(QString::fromUtf8("испытана 2023-11-1"))) << dated[2].toStdString();
}

}  // namespace
