#include <gtest/gtest.h>

#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QTemporaryDir>
#include <clocale>
#include <cmath>
#include <functional>
#include <memory>
#include <random>

#include "plot/CurveRenderer.h"
#include "plot/CurveStore.h"

using namespace brimvolt;

namespace {

const QColor kOrange(255, 127, 0);
constexpr QRgb kWhite = 0xffffffff;
constexpr QRgb kBlack = 0xff000000;

/** A store of count samples, sample i at time(i) with voltage(i). */
std::unique_ptr<CurveStore> MakeStore(int count, const std::function<int(int)>& time,
                                      const std::function<int(int)>& voltage) {
    auto store = std::make_unique<CurveStore>();
    store->sampleTimes[0] = time(0);
    store->sampleMillivolts[0] = static_cast<std::uint16_t>(voltage(0));
    for (int i = 1; i < count; ++i) {
        store->Append(time(i), static_cast<std::uint16_t>(std::clamp(voltage(i), 0, 65535)));
    }
    store->durationSeconds = store->sampleTimes[store->lastIndex];
    return store;
}

/** 4.20 V falling straight to 3.00 V over durationSeconds, one sample a second. */
std::unique_ptr<CurveStore> Discharge(int durationSeconds) {
    return MakeStore(
        durationSeconds + 1, [](int i) { return i; },
        [=](int i) { return 4200 - static_cast<int>(1200LL * i / durationSeconds); });
}

bool IsInk(QRgb pixel) {
    return qGray(pixel) < 160;
}

/** Columns holding ink within the rectangle, as [first, last]; {-1, -1} when empty. */
std::pair<int, int> InkColumns(const QImage& image, const QRect& area) {
    int first = -1;
    int last = -1;
    for (int x = area.left(); x <= area.right(); ++x) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            if (IsInk(image.pixel(x, y))) {
                first = first < 0 ? x : first;
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

int CountPixels(const QImage& image, QRgb color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == color ? 1 : 0;
        }
    }
    return count;
}

}  // namespace

TEST(RenderCurve, SizesThePlotToTheGrid) {
    auto store = Discharge(7200);
    QImage bitmap(720, 630, QImage::Format_RGB32);
    const uchar* pixels = bitmap.constBits();
    const RenderInfo info = RenderCurve(*store, kOrange, 600, bitmap);
    EXPECT_EQ(info.grid.stepMv, 50);
    EXPECT_EQ(info.grid.divisions, 25);
    EXPECT_EQ(VoltageLabel(info.grid, 0), "3.00V");
    EXPECT_EQ(VoltageLabel(info.grid, 25), "4.25V");
    EXPECT_EQ(info.imageHeight, 530);
    EXPECT_EQ(info.scale.secondsPerPixel, 12);
    // The window's bitmap is drawn in place, not replaced.
    EXPECT_EQ(bitmap.size(), QSize(720, 630));
    EXPECT_EQ(bitmap.constBits(), pixels);
}

TEST(RenderCurve, EmptyStoreShowsOneDivisionAndTenMinutes) {
    CurveStore store;
    QImage bitmap(720, 630, QImage::Format_RGB32);
    const RenderInfo info = RenderCurve(store, kOrange, 600, bitmap);
    EXPECT_EQ(info.grid.stepMv, 10);
    EXPECT_EQ(info.grid.divisions, 1);
    EXPECT_EQ(VoltageLabel(info.grid, 0), "0.00V");
    EXPECT_EQ(VoltageLabel(info.grid, 1), "0.01V");
    EXPECT_EQ(info.imageHeight, 50);
    EXPECT_EQ(TimeLabel(info.scale, info.scale.divisions), "10");
    // Only the start mark, 5 x 3 pixels around the origin, is in the curve colour.
    const QRgb orange = kOrange.rgb();
    EXPECT_EQ(CountPixels(bitmap.copy(0, 0, 720, 50), orange), 15);
    for (int y = 29; y <= 31; ++y) {
        for (int x = 48; x <= 52; ++x) {
            EXPECT_EQ(bitmap.pixel(x, y), orange) << x << "," << y;
        }
    }
}

TEST(RenderCurve, ReplacesABitmapThatCannotHoldThePlot) {
    auto store = Discharge(100);
    struct Case {
        const char* name;
        QImage bitmap;
        int maxPlotHeight;
    };
    Case cases[] = {
        {"none yet", QImage(), 600},
        {"too short", QImage(720, 40, QImage::Format_RGB32), 600},
        {"other format", QImage(720, 630, QImage::Format_ARGB32_Premultiplied), 600},
        {"screen too small for any grid", QImage(720, 30, QImage::Format_RGB32), 5},
    };
    for (Case& c : cases) {
        const RenderInfo info = RenderCurve(*store, kOrange, c.maxPlotHeight, c.bitmap);
        EXPECT_EQ(c.bitmap.format(), QImage::Format_RGB32) << c.name;
        EXPECT_GE(c.bitmap.width(), 720) << c.name;
        EXPECT_GE(c.bitmap.height(), info.imageHeight) << c.name;
    }
    EXPECT_EQ(cases[3].bitmap.height(), 50);
}

TEST(RenderCurve, DrawsGridAndCurveWhereTheCoordinatesSay) {
    auto store = Discharge(7200);
    QImage bitmap(720, 630, QImage::Format_RGB32);
    bitmap.fill(Qt::red);  // whatever the last paint left
    const RenderInfo info = RenderCurve(*store, kOrange, 600, bitmap);
    const int axis = info.imageHeight - 20;  // image row of the time axis
    ASSERT_EQ(axis, 510);

    // Horizontal lines every 20 rows from the axis up to row 10, over plot x 0..599; the curve
    // crosses each of them once.
    const QRgb orange = kOrange.rgb();
    for (int k = 0; k <= 25; ++k) {
        int black = 0;
        for (int x = 50; x < 650; ++x) {
            const QRgb pixel = bitmap.pixel(x, axis - 20 * k);
            black += pixel == kBlack ? 1 : 0;
            EXPECT_TRUE(pixel == kBlack || pixel == orange) << "row line " << k << " x " << x;
        }
        EXPECT_GE(black, 590) << k;
        EXPECT_NE(bitmap.pixel(49, axis - 20 * k), kBlack) << k;
    }
    // Twelve divisions of 50 pixels; each vertical line stops short of the top line's row.
    for (int j = 0; j <= 12; ++j) {
        const int x = 50 + 50 * j;
        for (int y : {11, 200, 509}) {
            EXPECT_EQ(bitmap.pixel(x, y), kBlack) << "column line " << j << " y " << y;
        }
    }
    EXPECT_EQ(bitmap.pixel(650, 10), kWhite);  // neither line draws its end
    EXPECT_EQ(bitmap.pixel(75, 500), kWhite);
    EXPECT_EQ(bitmap.pixel(700, 300), kWhite);
    EXPECT_EQ(bitmap.pixel(719, 529), kWhite);
    EXPECT_EQ(bitmap.pixel(0, 600), qRgb(255, 0, 0));  // below the plot: untouched

    // Start mark at 4.20 V: plot y 480, image row 30.
    for (int x = 48; x <= 52; ++x) {
        EXPECT_EQ(bitmap.pixel(x, 29), orange);
        EXPECT_EQ(bitmap.pixel(x, 31), orange);
    }
    // Samples at 1 h (3.60 V) and 1.5 h (3.30 V): x = 50 + t / 12, y = 510 - (v - 3000) * 20 / 50.
    EXPECT_EQ(bitmap.pixel(350, 270), orange);
    EXPECT_EQ(bitmap.pixel(500, 390), orange);
    EXPECT_EQ(bitmap.pixel(351, 262), kWhite);
}

TEST(RenderCurve, PlacesLabelsBesideAndBelowTheirLines) {
    auto store = Discharge(7200);
    QImage bitmap(720, 630, QImage::Format_RGB32);
    const RenderInfo info = RenderCurve(*store, kOrange, 600, bitmap);
    const int axis = info.imageHeight - 20;
    // Voltage labels end 5 pixels left of the plot, their cell centred on their line.
    for (int k = 0; k <= info.grid.divisions; ++k) {
        const int line = axis - 20 * k;
        const auto [first, last] = InkColumns(bitmap, QRect(0, line - 8, 46, 16));
        EXPECT_GE(first, 1) << k;
        EXPECT_GE(last, 40) << k;
        EXPECT_LE(last, 44) << k;
    }
    // Time labels centred under their lines, below the axis (the rows under the lowest
    // voltage label's cell, and short of the unit caption).
    for (int j = 0; j <= info.scale.divisions; ++j) {
        const int x = 50 + 50 * j;
        const auto [first, last] = InkColumns(bitmap, QRect(x - 18, axis + 8, 33, 11));
        ASSERT_GE(first, 0) << j;
        EXPECT_LE(std::abs((first + last) / 2 - x), 2) << j;
    }
    EXPECT_EQ(InkColumns(bitmap, QRect(50, axis + 1, 670, 2)).first, -1);
    const auto [unitFirst, unitLast] = InkColumns(bitmap, QRect(664, axis + 3, 56, 16));
    EXPECT_GE(unitFirst, 665);
    EXPECT_LE(unitLast, 719);
}

// The column spans must give the very pixels of drawing every segment, on every kind of curve
// and at every scale, including points beyond the plot and out of time order.
TEST(RenderCurve, ColumnSpansEqualEverySegment) {
    std::mt19937 random(17);
    std::normal_distribution<double> noise(0.0, 6.0);
    std::vector<std::pair<const char*, std::unique_ptr<CurveStore>>> curves;
    curves.emplace_back(
        "dense, every second to 256 h",
        MakeStore(
            CurveStore::kCapacity, [](int i) { return i; },
            [&](int i) {
                return static_cast<int>(
                    4150 - 900.0 * i / CurveStore::kCapacity -
                    300.0 * std::pow(static_cast<double>(i) / CurveStore::kCapacity, 8) +
                    noise(random));
            }));
    curves.emplace_back(
        "sparse", MakeStore(
                      6, [](int i) { return std::array{0, 1000, 5000, 5001, 20000, 36000}[i]; },
                      [](int i) { return std::array{3000, 4200, 3100, 4100, 3500, 3520}[i]; }));
    curves.emplace_back("jumping", MakeStore(
                                       100001, [](int i) { return i; },
                                       [](int i) { return i % 2 == 0 ? 2900 : 4250; }));
    int level = 3700;
    curves.emplace_back(
        "random walk, unordered times",
        MakeStore(
            200000,
            [&](int i) {
                switch (random() % 500) {
                    case 0:
                        return i - static_cast<int>(random() % 5000);  // back in time
                    case 1:
                        return -static_cast<int>(random() % 100000);
                    case 2:
                        return 2000000000;
                    default:
                        return i;
                }
            },
            [&](int) {
                level = std::clamp(level + static_cast<int>(random() % 41) - 20, 2500, 4500);
                return level;
            }));
    // The last column's last point is a new low after its high: it must stay undrawn.
    curves.emplace_back("falls to the end",
                        MakeStore(
                            1000, [](int i) { return i; }, [](int i) { return 4000 - i; }));
    curves.emplace_back("one sample", MakeStore(
                                          1, [](int) { return 0; }, [](int) { return 3712; }));
    curves.emplace_back("starts late", MakeStore(
                                           50, [](int i) { return 4000 + 7 * i; },
                                           [](int i) { return 3000 + 37 * (i % 5); }));

    for (const auto& [name, store] : curves) {
        const std::int32_t duration = store->durationSeconds;
        for (std::int32_t seconds : {duration, 600, 7200, 7201, 36000, 72001, 921600}) {
            store->durationSeconds = seconds;
            for (int maxPlotHeight : {600, 150}) {
                QImage fast(720, maxPlotHeight + 30, QImage::Format_RGB32);
                QImage reference(720, maxPlotHeight + 30, QImage::Format_RGB32);
                fast.fill(Qt::blue);
                reference.fill(Qt::blue);
                const RenderInfo info = RenderCurve(*store, kOrange, maxPlotHeight, fast);
                RenderCurve(*store, kOrange, maxPlotHeight, reference, CurveDrawing::EverySegment);
                EXPECT_EQ(fast, reference) << name << ", " << seconds << " s, " << maxPlotHeight;
                EXPECT_GE(CountPixels(fast, kOrange.rgb()), 15) << name;
                EXPECT_EQ(fast.height(), maxPlotHeight + 30);
                EXPECT_LE(info.imageHeight, maxPlotHeight + 30);
            }
        }
        store->durationSeconds = duration;
    }
}

TEST(RenderCurve, SurvivesADamagedLastIndex) {
    auto store = Discharge(100);
    QImage bitmap(720, 630, QImage::Format_RGB32);
    for (std::int32_t lastIndex : {-1, -2147483647 - 1, CurveStore::kCapacity, 2147483647}) {
        store->lastIndex = lastIndex;
        const RenderInfo info = RenderCurve(*store, kOrange, 600, bitmap);
        EXPECT_GE(info.grid.divisions, 1) << lastIndex;
    }
}

TEST(Readout, ReadsTimeAndVoltageAtThePressedPoint) {
    struct Case {
        int cursorX, cursorY;
        int secondsPerPixel;
        const char* time;
        const char* voltage;
    };
    // Grid of 50 mV from 3.00 V to 4.25 V.
    const Case cases[] = {
        // Client (100, 30): one division below the top line, ten minutes in.
        {50, 20, 12, "0ч 10м 0с", "4.200 В"},
        {0, 0, 1, "0ч 0м 0с", "4.250 В"},
        {599, 500, 1560, "259ч 34м 0с", "3.000 В"},
        {1, 13, 1, "0ч 0м 1с", "4.218 В"},
        // A press left of or above the plot reads negative offsets, as C division gives them.
        {-10, -5, 12, "0ч -2м 0с", "4.262 В"},
    };
    RenderInfo info;
    info.grid = {50, 60, 85, 25};
    info.imageHeight = 530;
    for (const Case& c : cases) {
        info.scale = {c.secondsPerPixel, QString(), 10, 1};
        const Readout readout = ReadoutAt(info, c.cursorX, c.cursorY);
        EXPECT_EQ(readout.timeText, QString::fromUtf8(c.time)) << c.cursorX;
        EXPECT_EQ(readout.voltageText, QString::fromUtf8(c.voltage)) << c.cursorX;
        EXPECT_EQ(readout.timeAt, QPoint(c.cursorX + 54, c.cursorY - 13));
        EXPECT_EQ(readout.voltageAt, QPoint(c.cursorX + 54, c.cursorY));
    }
}

TEST(Readout, VoltageIgnoresTheUsersLocale) {
    std::setlocale(LC_ALL, "ru_RU.UTF-8");
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    RenderInfo info{{50, 60, 85, 25}, {12, QString(), 12, 10}, 530};
    const QString voltage = ReadoutAt(info, 50, 20).voltageText;
    const QString label = VoltageLabel(info.grid, 1);
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(voltage, QString::fromUtf8("4.200 В"));
    EXPECT_EQ(label, "3.05V");
}

TEST(Readout, DrawsBothTextsOpaqueFromTheirTopLeft) {
    QImage window(400, 200, QImage::Format_RGB32);
    window.fill(Qt::gray);
    Readout readout;
    readout.timeText = QString::fromUtf8("1ч 2м 3с");
    readout.voltageText = QString::fromUtf8("3.712 В");
    readout.timeAt = QPoint(100, 50);
    readout.voltageAt = QPoint(100, 73);
    {
        QPainter painter(&window);
        painter.setPen(Qt::red);
        DrawReadout(painter, readout);
        EXPECT_EQ(painter.pen().color(), QColor(Qt::red));  // the caller's painter is restored
    }
    // Each text sits on its own white cell, 16 rows from its top edge; nothing above or left.
    EXPECT_EQ(window.pixel(100, 50), kWhite);
    EXPECT_EQ(window.pixel(100, 73), kWhite);
    EXPECT_EQ(window.pixel(99, 50), QColor(Qt::gray).rgb());
    EXPECT_EQ(window.pixel(100, 49), QColor(Qt::gray).rgb());
    EXPECT_GE(InkColumns(window, QRect(100, 50, 100, 16)).first, 100);
    EXPECT_GE(InkColumns(window, QRect(100, 73, 100, 16)).first, 100);
    EXPECT_EQ(InkColumns(window, QRect(0, 0, 400, 50)).first, -1);
}

TEST(RenderCurveToPng, SavesThePlotRowsOnly) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    auto store = Discharge(7200);
    const QString path = folder.filePath("curve.png");
    ASSERT_TRUE(RenderCurveToPng(*store, kOrange, 600, path));
    QImage saved(path);
    ASSERT_EQ(saved.size(), QSize(720, 530));
    QImage bitmap(720, 630, QImage::Format_RGB32);
    RenderCurve(*store, kOrange, 600, bitmap);
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), bitmap.copy(0, 0, 720, 530));

    EXPECT_FALSE(RenderCurveToPng(*store, kOrange, 600, folder.filePath("missing/curve.png")));
}
