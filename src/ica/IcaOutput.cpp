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

// A header line, then one line per grid point, run after run.
template <typename Run, typename Row>
QByteArray AnalysisCsv(std::span<const Run> curves, const char* header, bool excel, Row row) {
    const char separator = excel ? ';' : ',';
    QByteArray text;
    if (excel) {
        text += "\xEF\xBB\xBF";
    }
    text += QByteArray(header).replace(',', separator);
    for (const Run& run : curves) {
        const QByteArray id = QByteArray::number(run.runId) + separator;
        row(*run.curve, [&](double x, int xDecimals, double y, int yDecimals) {
            text +=
                id + Number(x, xDecimals, excel) + separator + Number(y, yDecimals, excel) + '\n';
        });
    }
    return text;
}

}  // namespace

QByteArray IcaCsv(std::span<const RunIcaCurve> curves, bool excel) {
    return AnalysisCsv(curves, "run,voltage_V,dQdV_mAh_per_V\n", excel,
                       [](const IcaCurve& curve, auto line) {
                           for (std::size_t k = 0; k < curve.dqdvMahPerVolt.size(); ++k) {
                               line(curve.VoltsAt(k), 4, curve.dqdvMahPerVolt[k], 3);
                           }
                       });
}

QByteArray DvdqCsv(std::span<const RunDvdqCurve> curves, bool excel) {
    return AnalysisCsv(curves, "run,capacity_mAh,dVdQ_V_per_Ah\n", excel,
                       [](const DvdqCurve& curve, auto line) {
                           for (std::size_t k = 0; k < curve.dvdqVoltsPerAh.size(); ++k) {
                               line(curve.MahAt(k), 2, curve.dvdqVoltsPerAh[k], 4);
                           }
                       });
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

std::vector<QPointF> DvdqPoints(const DvdqCurve& curve) {
    std::vector<QPointF> points;
    points.reserve(curve.dvdqVoltsPerAh.size());
    for (std::size_t k = 0; k < curve.dvdqVoltsPerAh.size(); ++k) {
        points.emplace_back(curve.MahAt(k), curve.dvdqVoltsPerAh[k]);
    }
    return points;
}

}  // namespace brimvolt
