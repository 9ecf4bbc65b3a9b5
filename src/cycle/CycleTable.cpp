#include "cycle/CycleTable.h"

#include <QStringList>
#include <cmath>
#include <optional>

namespace brimvolt {

namespace {

constexpr const char* kHeader[] = {
    "cycle",    "charge_mAh",        "discharge_mAh", "coulombic_efficiency", "energy_efficiency",
    "rin_mOhm", "max_temperature_C", "dqdv_peak_V",   "dqdv_peak_mAh_per_V"};

template <typename T>
QString Whole(const std::optional<T>& value) {
    return value ? QString::number(*value) : QString();
}

QString Fixed(const std::optional<double>& value, int decimals) {
    return value && std::isfinite(*value) ? QString::number(*value, 'f', decimals) : QString();
}

/** A ratio as a fraction or in percent; empty when unknown or not a finite number. */
QString Ratio(const std::optional<double>& value, bool percent) {
    // The energies come from the module's counters and the journal: a zero or a damaged value
    // makes an infinite or undefined ratio, which no spreadsheet reads back.
    if (!value || !std::isfinite(*value)) {
        return {};
    }
    return percent ? QString::asprintf("%.1f%%", *value * 100.0)
                   : QString::asprintf("%.4f", *value);
}

QStringList Fields(const CycleResult& result, bool percent) {
    return {QString::number(result.cycle),
            Whole(result.chargeMah),
            Whole(result.dischargeMah),
            Ratio(result.CoulombicEfficiency(), percent),
            Ratio(result.EnergyEfficiency(), percent),
            Whole(result.rinMohm),
            QString::number(result.maxTemperatureC),
            Fixed(result.peakVolts, 3),
            Fixed(result.peakMahPerVolt, 1)};
}

QString Table(std::span<const CycleResult> cycles, QChar separator, const QString& lineEnd,
              bool percent) {
    QStringList header;
    for (const char* name : kHeader) {
        header.append(QString::fromLatin1(name));
    }
    QString text = header.join(separator) + lineEnd;
    for (const CycleResult& result : cycles) {
        text += Fields(result, percent).join(separator) + lineEnd;
    }
    return text;
}

}  // namespace

QByteArray CyclesCsv(std::span<const CycleResult> cycles) {
    // Every field is a number or empty: nothing to quote.
    return Table(cycles, u',', QStringLiteral("\r\n"), false).toUtf8();
}

QString CyclesText(std::span<const CycleResult> cycles) {
    return Table(cycles, u'\t', QStringLiteral("\n"), true);
}

}  // namespace brimvolt
