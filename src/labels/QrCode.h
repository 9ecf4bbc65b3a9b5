#pragma once

#include <QString>
#include <vector>

namespace brimvolt {

/** The modules of a QR code, row by row; empty when the text could not be encoded. */
struct QrMatrix {
    int size = 0;
    std::vector<bool> dark;

    bool Ok() const { return size > 0; }
    bool At(int x, int y) const { return dark[static_cast<std::size_t>(y) * size + x]; }
};

/** Whether this build can draw QR codes (libqrencode was found when it was configured). */
bool QrCodesAvailable();

/**
 * The text as a QR code: its UTF-8 bytes, error correction level M, with the UTF-8 mark (ECI 26)
 * where the text is not plain ASCII, so a reader gives the same text back.
 */
QrMatrix EncodeQr(const QString& text);

}  // namespace brimvolt
