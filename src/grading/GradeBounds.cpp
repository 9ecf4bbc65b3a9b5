#include "grading/GradeBounds.h"

#include <QCoreApplication>
#include <cmath>

namespace brimvolt {

namespace {

const char* const kWords[kChemistryCount] = {"li-ion", "lifepo4", "nimh", "lead", "other"};

}  // namespace

GradeBoundsRecord DefaultGradeBounds(Chemistry chemistry) {
    GradeBoundsRecord bounds;
    bounds.chemistry = chemistry;
    switch (chemistry) {
        case Chemistry::LiIon:
        case Chemistry::Other:
            bounds.aSharePercent = 95;
            bounds.bSharePercent = 85;
            bounds.cSharePercent = 70;
            bounds.maxRinMohm = 80;
            bounds.maxDropMvPerDay = 2;
            bounds.minStorageDays = 14;
            break;
        case Chemistry::LiFePO4:
            // A flat curve: a small drop in volts is a large one in charge.
            bounds.aSharePercent = 95;
            bounds.bSharePercent = 85;
            bounds.cSharePercent = 70;
            bounds.maxRinMohm = 60;
            bounds.maxDropMvPerDay = 1;
            bounds.minStorageDays = 14;
            break;
        case Chemistry::NiMH:
            // NiMH loses some of its charge in any case, most in its first days.
            bounds.aSharePercent = 90;
            bounds.bSharePercent = 80;
            bounds.cSharePercent = 65;
            bounds.maxRinMohm = 100;
            bounds.maxDropMvPerDay = 5;
            bounds.minStorageDays = 14;
            break;
        case Chemistry::Lead:
            // A lead block's Rin depends on its size too much for one bound.
            bounds.aSharePercent = 90;
            bounds.bSharePercent = 80;
            bounds.cSharePercent = 60;
            bounds.maxDropMvPerDay = 3;
            bounds.minStorageDays = 14;
            break;
    }
    return bounds;
}

GradeBoundsSet GradeBoundsWith(const std::vector<GradeBoundsRecord>& stored) {
    GradeBoundsSet set;
    for (int i = 0; i < kChemistryCount; ++i) {
        set[static_cast<std::size_t>(i)] = DefaultGradeBounds(static_cast<Chemistry>(i));
    }
    for (const GradeBoundsRecord& bounds : stored) {
        set[static_cast<std::size_t>(bounds.chemistry)] = bounds;
    }
    return set;
}

QString ChemistryWord(Chemistry chemistry) {
    return QString::fromLatin1(kWords[static_cast<int>(chemistry)]);
}

std::optional<Chemistry> ChemistryOfWord(const QString& word) {
    for (int i = 0; i < kChemistryCount; ++i) {
        if (word.compare(QLatin1String(kWords[i]), Qt::CaseInsensitive) == 0) {
            return static_cast<Chemistry>(i);
        }
    }
    return std::nullopt;
}

QString ChemistryName(Chemistry chemistry) {
    switch (chemistry) {
        case Chemistry::LiIon:
            return QStringLiteral("Li-ion");
        case Chemistry::LiFePO4:
            return QStringLiteral("LiFePO4");
        case Chemistry::NiMH:
            return QStringLiteral("NiMH");
        case Chemistry::Lead:
            return QCoreApplication::translate("Grading", "свинец");
        case Chemistry::Other:
            break;
    }
    return QCoreApplication::translate("Grading", "другая");
}

const std::vector<QString>& GradeBoundKeys() {
    static const std::vector<QString> keys = {QStringLiteral("a_share"),
                                              QStringLiteral("b_share"),
                                              QStringLiteral("c_share"),
                                              QStringLiteral("max_rin_mohm"),
                                              QStringLiteral("max_drop_mv_per_day"),
                                              QStringLiteral("min_storage_days")};
    return keys;
}

namespace {

// The field of a key; `optionalField` for the bounds that may be left out.
double* RequiredField(GradeBoundsRecord& bounds, const QString& key) {
    if (key == QLatin1String("a_share")) {
        return &bounds.aSharePercent;
    }
    if (key == QLatin1String("b_share")) {
        return &bounds.bSharePercent;
    }
    if (key == QLatin1String("c_share")) {
        return &bounds.cSharePercent;
    }
    if (key == QLatin1String("min_storage_days")) {
        return &bounds.minStorageDays;
    }
    return nullptr;
}

std::optional<double>* OptionalField(GradeBoundsRecord& bounds, const QString& key) {
    if (key == QLatin1String("max_rin_mohm")) {
        return &bounds.maxRinMohm;
    }
    if (key == QLatin1String("max_drop_mv_per_day")) {
        return &bounds.maxDropMvPerDay;
    }
    return nullptr;
}

}  // namespace

std::optional<double> BoundOfKey(const GradeBoundsRecord& bounds, const QString& key) {
    GradeBoundsRecord copy = bounds;
    if (double* field = RequiredField(copy, key)) {
        return *field;
    }
    if (std::optional<double>* field = OptionalField(copy, key)) {
        return *field;
    }
    return std::nullopt;
}

bool SetBoundOfKey(GradeBoundsRecord& bounds, const QString& key, const QString& text,
                   QString& error) {
    double* required = RequiredField(bounds, key);
    std::optional<double>* optional = OptionalField(bounds, key);
    if (!required && !optional) {
        error = QStringLiteral("unknown bound: %1").arg(key);
        return false;
    }
    const QString value = text.trimmed();
    if (value.isEmpty() || value == QLatin1String("none")) {
        if (!optional) {
            error = QStringLiteral("%1 cannot be left out").arg(key);
            return false;
        }
        optional->reset();
        return true;
    }
    bool ok = false;
    const double number = value.toDouble(&ok);  // C locale: a point, never a comma
    const double highest = key.endsWith(QLatin1String("_share")) ? 1000 : 1e6;
    if (!ok || !std::isfinite(number) || number < 0 || number > highest) {
        error = QStringLiteral("%1: not a number from 0 to %2: %3").arg(key).arg(highest).arg(text);
        return false;
    }
    if (required) {
        *required = number;
    } else {
        *optional = number;
    }
    return true;
}

QString GradeBoundsProblem(const GradeBoundsRecord& bounds) {
    if (bounds.aSharePercent < bounds.bSharePercent ||
        bounds.bSharePercent < bounds.cSharePercent) {
        return QCoreApplication::translate("Grading", "доли ёмкости должны идти A ≥ B ≥ C");
    }
    return QString();
}

}  // namespace brimvolt
