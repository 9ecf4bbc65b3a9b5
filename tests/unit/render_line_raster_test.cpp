#include <gtest/gtest.h>

#include <QImage>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "plot/LineRaster.h"

using namespace brimvolt;

namespace {

constexpr QRgb kWhite = 0xffffffff;
constexpr QRgb kInk = 0xff123456;

using Pixels = std::vector<std::pair<int, int>>;

QImage Blank(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kWhite);
    return image;
}

Pixels Inked(const QImage& image) {
    Pixels pixels;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != kWhite) {
                pixels.emplace_back(x, y);
            }
        }
    }
    return pixels;
}

Pixels Sorted(Pixels pixels) {
    std::sort(pixels.begin(), pixels.end(), [](auto a, auto b) {
        return std::tie(a.second, a.first) < std::tie(b.second, b.first);
    });
    return pixels;
}

QImage EverySegment(const std::vector<QPoint>& points, int width, int height) {
    QImage image = Blank(width, height);
    CLineRaster raster(image, kInk);
    for (std::size_t i = 1; i < points.size(); ++i) {
        raster.DrawLine(points[i - 1], points[i]);
    }
    return image;
}

QImage Collapsed(const std::vector<QPoint>& points, int width, int height) {
    QImage image = Blank(width, height);
    CLineRaster raster(image, kInk);
    raster.MoveTo(points.front());
    for (std::size_t i = 1; i < points.size(); ++i) {
        raster.LineTo(points[i]);
    }
    raster.EndPolyline();
    return image;
}

}  // namespace

TEST(LineRaster, DrawsFromTheStartUpToButWithoutTheEnd) {
    struct Case {
        QPoint from, to;
        Pixels expected;
    };
    const Case cases[] = {
        {{1, 1}, {5, 1}, {{1, 1}, {2, 1}, {3, 1}, {4, 1}}},
        {{5, 1}, {1, 1}, {{2, 1}, {3, 1}, {4, 1}, {5, 1}}},
        {{3, 0}, {3, 3}, {{3, 0}, {3, 1}, {3, 2}}},
        {{3, 3}, {3, 0}, {{3, 1}, {3, 2}, {3, 3}}},
        {{2, 2}, {2, 2}, {}},
        {{1, 1}, {4, 4}, {{1, 1}, {2, 2}, {3, 3}}},
        {{4, 1}, {1, 4}, {{4, 1}, {3, 2}, {2, 3}}},
        // Halfway points round toward the start, so a line and its reverse differ there.
        {{0, 0}, {4, 1}, {{0, 0}, {1, 0}, {2, 0}, {3, 1}}},
        {{4, 1}, {0, 0}, {{1, 0}, {4, 1}, {3, 1}, {2, 1}}},
        {{0, 0}, {1, 4}, {{0, 0}, {0, 1}, {0, 2}, {1, 3}}},
        {{0, 3}, {2, 0}, {{1, 1}, {1, 2}, {0, 3}}},
        {{0, 0},
         {10, 3},
         {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 2}, {7, 2}, {8, 2}, {9, 3}}},
    };
    for (const Case& c : cases) {
        QImage image = Blank(12, 12);
        CLineRaster(image, kInk).DrawLine(c.from, c.to);
        EXPECT_EQ(Inked(image), Sorted(c.expected))
            << c.from.x() << "," << c.from.y() << " -> " << c.to.x() << "," << c.to.y();
    }
}

TEST(LineRaster, PolylineDrawsEachCornerOnceAndNotItsLastPoint) {
    const std::vector<QPoint> corner = {{1, 1}, {4, 1}, {4, 4}};
    const Pixels expected = {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {4, 2}, {4, 3}};
    EXPECT_EQ(Inked(EverySegment(corner, 8, 8)), expected);
    EXPECT_EQ(Inked(Collapsed(corner, 8, 8)), expected);
    EXPECT_TRUE(Inked(Collapsed({{3, 3}}, 8, 8)).empty());
    EXPECT_TRUE(Inked(Collapsed({{3, 3}, {3, 3}, {3, 3}}, 8, 8)).empty());
}

// A clipped line has the same pixels as the part of the unclipped line inside the image.
TEST(LineRaster, ClippingKeepsThePixelsInsideTheImage) {
    std::mt19937 random(3);
    auto coordinate = [&] { return static_cast<int>(random() % 160) - 60; };
    constexpr int kMargin = 70;
    for (int trial = 0; trial < 3000; ++trial) {
        const QPoint from(coordinate(), coordinate());
        const QPoint to(coordinate(), coordinate());
        QImage small = Blank(40, 30);
        CLineRaster(small, kInk).DrawLine(from, to);
        QImage large = Blank(40 + 2 * kMargin + 60, 30 + 2 * kMargin + 60);
        CLineRaster(large, kInk)
            .DrawLine(from + QPoint(kMargin, kMargin), to + QPoint(kMargin, kMargin));
        ASSERT_EQ(small, large.copy(kMargin, kMargin, 40, 30))
            << from.x() << "," << from.y() << " -> " << to.x() << "," << to.y();
    }
}

TEST(LineRaster, FarEndpointsAreClippedWithoutWalkingToThem) {
    QImage image = Blank(20, 20);
    CLineRaster raster(image, kInk);
    raster.DrawLine({-2000000000, 5}, {10, 5});
    raster.DrawLine({15, 2000000000}, {15, 0});
    raster.DrawLine({500000019, -500000000}, {-500000000, 500000019});
    // Beyond the coordinate limit lines are held at it rather than overflowing.
    raster.DrawLine({2147483647, -2147483647 - 1}, {-2147483647 - 1, 2147483647});
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(image.pixel(x, 5), kInk) << x;
    }
    EXPECT_EQ(image.pixel(10, 5), kWhite);
    for (int y = 1; y < 20; ++y) {
        EXPECT_EQ(image.pixel(15, y), kInk) << y;
    }
    EXPECT_EQ(image.pixel(15, 0), kWhite);
    // The far diagonal crosses the image corner to corner, the farthest one through (0, 0).
    EXPECT_EQ(image.pixel(0, 19), kInk);
    EXPECT_EQ(image.pixel(19, 0), kInk);
    EXPECT_EQ(image.pixel(0, 0), kInk);
}

// The collapsed polyline must give exactly the pixels of its segments, whatever the order of
// the points: runs that end on a new extreme, return over themselves, stand still, leave the
// image and come back.
TEST(LineRaster, CollapsedColumnsEqualEverySegment) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 20000; ++trial) {
        const int count = 1 + static_cast<int>(random() % 30);
        const int columns = 1 + static_cast<int>(random() % 8);
        const int rows = 1 + static_cast<int>(random() % 40);
        std::vector<QPoint> points;
        int x = static_cast<int>(random() % (columns + 4)) - 2;
        for (int i = 0; i < count; ++i) {
            switch (random() % 4) {
                case 0:
                    x = static_cast<int>(random() % (columns + 4)) - 2;
                    break;
                case 1:
                    ++x;
                    break;
                default:
                    break;  // most points stay in their column
            }
            points.emplace_back(x, static_cast<int>(random() % (rows + 6)) - 3);
        }
        ASSERT_EQ(Collapsed(points, columns, rows), EverySegment(points, columns, rows))
            << "trial " << trial;
    }
}

TEST(LineRaster, CollapsedColumnsKeepTheRulesAtRunEnds) {
    const std::vector<std::vector<QPoint>> polylines = {
        {{2, 5}, {2, 1}},                  // last point a new extreme: left out
        {{2, 5}, {2, 1}, {2, 3}},          // last point inside the span: drawn
        {{2, 5}, {2, 1}, {2, 5}},          // back on the first point: drawn
        {{2, 5}, {2, 1}, {2, 1}, {2, 1}},  // standing still on an undrawn point
        {{2, 5}, {2, 1}, {3, 1}},          // leaving the column draws the run's last point
        {{2, 5}, {2, 9}, {6, 0}, {6, 0}},  // steep exit, then a zero-length run
        {{0, 0}, {1, 9}, {1, 0}, {2, 9}, {2, 0}},
    };
    for (const auto& points : polylines) {
        EXPECT_EQ(Collapsed(points, 8, 12), EverySegment(points, 8, 12)) << points.size();
    }
    QImage image = Collapsed({{2, 5}, {2, 1}}, 8, 12);
    EXPECT_EQ(image.pixel(2, 1), kWhite);
    EXPECT_EQ(image.pixel(2, 2), kInk);
}

TEST(LineRaster, WidePenStampsASquareOnEveryPixelIncludingTheEnd) {
    QImage image = Blank(12, 12);
    CLineRaster(image, kInk).DrawWideLine({5, 5}, {7, 5}, 3);
    Pixels expected;
    for (int y = 4; y <= 6; ++y) {
        for (int x = 4; x <= 8; ++x) {
            expected.emplace_back(x, y);
        }
    }
    EXPECT_EQ(Inked(image), expected);

    // A mark on the image edge is clipped, not written outside.
    QImage corner = Blank(4, 4);
    CLineRaster(corner, kInk).DrawWideLine({-1, 0}, {1, 0}, 3);
    EXPECT_EQ(Inked(corner), (Pixels{{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}}));
}

TEST(LineRaster, LeavesImagesOfOtherFormatsUntouched) {
    QImage gray(10, 10, QImage::Format_Grayscale8);
    gray.fill(200);
    const QImage before = gray.copy();
    CLineRaster raster(gray, kInk);
    raster.DrawLine({0, 0}, {9, 9});
    raster.DrawColumn(3, 0, 9);
    raster.MoveTo({1, 1});
    raster.LineTo({5, 5});
    raster.EndPolyline();
    EXPECT_EQ(gray, before);
}
