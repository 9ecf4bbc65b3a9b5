#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <limits>
#include <vector>

#include "plot/ComparisonFigure.h"
#include "plot/FadeFigure.h"
#include "support/InkColour.h"

using namespace brimvolt;

namespace {

const QSize kSize(800, 480);
constexpr std::int32_t kMost = std::numeric_limits<std::int32_t>::max();

std::vector<CycleResult> Fading(int count) {
    std::vector<CycleResult> cycles;
    for (int k = 1; k <= count; ++k) {
        cycles.push_back({k, 2100 - 5 * k, 2050 - 6 * k, 0, 0, std::uint16_t(40 + k), 30});
    }
    return cycles;
}

struct Ink {
    int columns = 0;      // columns of the image holding the colour
    int widestHole = -1;  // the widest run without it between the first and last of them
};

/** Where a colour is drawn above the legend (the bottom 40 pixels are left out). */
Ink InkOf(const QImage& image, QColor colour) {
    Ink ink;
    int hole = 0;
    for (int x = 0; x < image.width(); ++x) {
        bool inked = false;
        for (int y = 0; y < image.height() - 40 && !inked; ++y) {
            inked = brimvolt::testing::IsInkOverWhite(image.pixelColor(x, y), colour, 0.6);
        }
        if (inked) {
            ink.widestHole = ink.columns++ == 0 ? 0 : std::max(ink.widestHole, hole);
            hole = 0;
        } else {
            ++hole;
        }
    }
    return ink;
}

}  // namespace

// Each series shows where it has values and nowhere else; a missing value leaves a gap, and
// edge cases (one cycle, none, the largest numbers) draw without trouble.
TEST(FadeFigure, SeriesShowWhereTheyHaveValues) {
    std::vector<CycleResult> gap = Fading(5);
    gap[2].dischargeMah.reset();
    std::vector<CycleResult> blank(3);  // no value known
    for (std::size_t k = 0; k < blank.size(); ++k) {
        blank[k].cycle = static_cast<std::int32_t>(k + 1);
    }
    const std::vector<CycleResult> huge = {{1, 0, kMost, 0, 0, 65535, kMost},
                                           {kMost, kMost, 0, 1e308, 1e308, 0, 0}};
    struct Case {
        const char* name;
        std::vector<CycleResult> cycles;
        bool drawn;     // every series leaves ink
        int leastHole;  // in the discharge line, pixels
    };
    const std::vector<Case> cases = {
        {"twenty", Fading(20), true, 0},   {"gap", gap, true, 100},
        {"one", Fading(1), true, 0},       {"none", {}, false, -1},
        {"all missing", blank, false, -1}, {"huge", huge, true, 0},
    };
    const QColor colours[] = {FigurePaletteColor(0), FigurePaletteColor(2), FigurePaletteColor(1)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFadeFigure figure;
        figure.SetCycles(c.cycles);
        QImage image(kSize, QImage::Format_RGB32);
        QPainter painter(&image);
        figure.Paint(painter, kSize);
        painter.end();
        for (const QColor& colour : colours) {
            EXPECT_EQ(InkOf(image, colour).columns > 0, c.drawn) << colour.name().toStdString();
        }
        const int hole = InkOf(image, colours[0]).widestHole;
        EXPECT_GE(hole, c.leastHole);
        EXPECT_LT(hole, std::max(c.leastHole, 0) + 250);
    }
}

// The figure is saved as PNG or SVG by the path's ending, whole, its texts readable in the SVG
// even with markup and controls in the title; a path that can't be written fails with a reason.
TEST(FadeFigure, SavesPngOrSvgOrSaysWhyNot) {
    CFadeFigure figure;
    figure.SetCycles(Fading(12));
    figure.SetTitle(QStringLiteral("Программа <1> & \x01ячейка"));
    QTemporaryDir dir;
    for (const char* name : {"fade.png", "fade.SVG", "missing/fade.png", "missing/fade.svg"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QString::fromUtf8(name));
        const platform::WriteResult result = figure.Save(path, kSize);
        if (path.contains(QStringLiteral("missing"))) {
            EXPECT_FALSE(result.Ok() || result.reason.isEmpty());
            continue;
        }
        ASSERT_TRUE(result.Ok());
        if (path.endsWith(QStringLiteral(".png"))) {
            EXPECT_EQ(QImage(path).size(), kSize);
            continue;
        }
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        ASSERT_TRUE(xml.readNextStartElement());
        EXPECT_EQ(xml.name(), QStringLiteral("svg"));
        QString texts;
        while (!xml.atEnd()) {
            // A text mixing scripts comes in pieces, one element each.
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"text") {
                texts += xml.readElementText();
            }
        }
        EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        for (const char* text : {"Цикл", "Ёмкость, мАч", "Rin, мОм", "Разряд", "Заряд"}) {
            EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;
        }
    }
}
