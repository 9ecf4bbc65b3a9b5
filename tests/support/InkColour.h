#pragma once

#include <QColor>
#include <algorithm>
#include <cstdlib>

namespace brimvolt::testing {

/**
 * Whether a pixel is `ink` laid over white, at least partly: an antialiased line's pixels are
 * blends of its colour and the ground, each channel the same share of the way.
 */
inline bool IsInkOverWhite(QColor pixel, QColor ink, double leastShare = 0.35) {
    double lowShare = 1e9;
    double highShare = -1e9;
    const int channels[3][2] = {
        {pixel.red(), ink.red()}, {pixel.green(), ink.green()}, {pixel.blue(), ink.blue()}};
    for (const auto& [seen, wanted] : channels) {
        if (255 - wanted < 48) {
            if (std::abs(seen - wanted) > 30 && seen < wanted) {
                return false;
            }
            continue;
        }
        const double share = static_cast<double>(255 - seen) / (255 - wanted);
        lowShare = std::min(lowShare, share);
        highShare = std::max(highShare, share);
    }
    return lowShare >= leastShare && highShare <= 1.1 && highShare - lowShare <= 0.2;
}

}  // namespace brimvolt::testing
