#include "ica/IcaOutput.h"

namespace brimvolt {

namespace {

// Numbers go into files without the locale: a Russian one would write "3,652".
QByteArray Number(double value, int decimals, bool excel) {
    QByteArray text = QByteArray::number(value, 'f', decimals);
    if (excel) {
        text.replace('.', ',');
    }
    return text;
}

}  // namespace

QByteArray IcaCsv(std::span<const RunIcaCurve> curves, bool excel) {
    const char separator = excel ? ';' : ',';
    QByteArray text;
    if (excel) {
        text += "\xEF\xBB\xBF";
    }
    text += QByteArray("run,voltage_V,dQdV_mAh_per_V\n").replace(',', separator);
    for (const RunIcaCurve& run : curves) {
        const std::vector<double>& values = run.curve->dqdvMahPerVolt;
        const QByteArray id = QByteArray::number(run.runId) + separator;
        for (std::size_t k = 0; k < values.size(); ++k) {
            text += id + Number(run.curve->VoltsAt(k), 4, excel) + separator +
                    Number(values[k], 3, excel) + '\n';
        }
    }
    return text;
}

QByteArray IcaPeakLines(std::span<const RunIcaCurve> curves) {
    QByteArray text;
    for (const RunIcaCurve& run : curves) {
        for (const IcaPeak& peak : run.curve->peaks) {
            text += QByteArray::number(run.runId) + '\t' + Number(peak.volts, 3, false) + '\t' +
                    Number(peak.heightMahPerVolt, 1, false) + '\t' +
                    Number(peak.areaMah, 1, false) + '\n';
        }
    }
    return text;
}

std::vector<QPointF> IcaPoints(const IcaCurve& curve) {
    std::vector<QPointF> points;
    points.reserve(curve.dqdvMahPerVolt.size());
    for (std::size_t k = 0; k < curve.dqdvMahPerVolt.size(); ++k) {
        points.emplace_back(curve.VoltsAt(k), curve.dqdvMahPerVolt[k]);
    }
    return points;
}

std::vector<QPointF> IcaPeakPoints(const IcaCurve& curve) {
    std::vector<QPointF> points;
    for (const IcaPeak& peak : curve.peaks) {
        points.emplace_back(peak.volts, peak.heightMahPerVolt);
    }
    return points;
}

}  // namespace brimvolt
