// QR codes through libqrencode, where the build has it.

#include "labels/QrCode.h"

#include <QByteArray>

#ifdef BRIMVOLT_HAVE_QRENCODE
#include <qrencode.h>
#endif

namespace brimvolt {

#ifdef BRIMVOLT_HAVE_QRENCODE

bool QrCodesAvailable() { return true; }

QrMatrix EncodeQr(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QrMatrix matrix;
    if (utf8.isEmpty()) {
        return matrix;
    }
    QRinput* input = QRinput_new2(0, QR_ECLEVEL_M);
    if (!input) {
        return matrix;
    }
    bool ascii = true;
    for (const char c : utf8) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    constexpr unsigned int kEciUtf8 = 26;
    const bool filled =
        (ascii || QRinput_appendECIheader(input, kEciUtf8) == 0) &&
        QRinput_append(input, QR_MODE_8, static_cast<int>(utf8.size()),
                       reinterpret_cast<const unsigned char*>(utf8.constData())) == 0;
    QRcode* code = filled ? QRcode_encodeInput(input) : nullptr;
    QRinput_free(input);
    if (!code) {
        return matrix;
    }
    matrix.size = code->width;
    matrix.dark.resize(static_cast<std::size_t>(code->width) * code->width);
    for (std::size_t i = 0; i < matrix.dark.size(); ++i) {
        matrix.dark[i] = (code->data[i] & 1) != 0;
    }
    QRcode_free(code);
    return matrix;
}

#else

bool QrCodesAvailable() { return false; }

QrMatrix EncodeQr(const QString&) { return {}; }

#endif

}  // namespace brimvolt
