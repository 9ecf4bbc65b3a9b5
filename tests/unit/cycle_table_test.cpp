#include <gtest/gtest.h>

#include <QLocale>
#include <QStringList>
#include <clocale>
#include <cmath>
#include <limits>
#include <vector>

#include "cycle/CycleTable.h"

using namespace brimvolt;

namespace {

const QString kHeader = QStringLiteral(
    "cycle,charge_mAh,discharge_mAh,coulombic_efficiency,energy_efficiency,rin_mOhm,"
    "max_temperature_C,dqdv_peak_V,dqdv_peak_mAh_per_V");
constexpr std::int32_t kMost = std::numeric_limits<std::int32_t>::max();
const auto kNone = std::nullopt;

struct Row {
    CycleResult result;
    const char* csv;      // its CSV line
    const char* percent;  // the efficiencies as the terminal table gives them
};

// clang-format off
const std::vector<Row> kRows = {
    {{1, 2000, 1942, 7400, 6900, 48, 31, false, 3.6504, 5123.46},
     "1,2000,1942,0.9710,0.9324,48,31,3.650,5123.5", "97.1%,93.2%"},
    // No charge measured: neither efficiency can be told.
    {{2, kNone, 1900, 0, 6800, kNone, 30}, "2,,1900,,,,30,,", ","},
    {{3, 0, 0, 0, 0, 0, -5, false, 0.0, 0.0}, "3,0,0,,,0,-5,0.000,0.0", ","},
    // A damaged energy or peak makes no "inf" or "nan" in the file.
    {{4, 1000, 1000, 1, std::nan(""), 65535, 0, false, std::nan(""), HUGE_VAL},
     "4,1000,1000,1.0000,,65535,0,,", "100.0%,"},
    {{kMost, 1, kMost, 1e-300, 1e300, 1, kMost},
     "2147483647,1,2147483647,2147483647.0000,,1,2147483647,,", "214748364700.0%,"},
    {{6, 3, 1, 3, 2, kNone, 25}, "6,3,1,0.3333,0.6667,,25,,", "33.3%,66.7%"},
};
// clang-format on

/** A line's fields, separated by `separator`, in a form the test's failures print readably. */
std::vector<std::string> Fields(const QString& line, char16_t separator) {
    std::vector<std::string> fields;
    for (const QString& field : line.split(separator)) {
        fields.push_back(field.toStdString());
    }
    return fields;
}

}  // namespace

// Every field reads back as written, an unknown one as an empty field, one line per cycle; in a
// Russian locale too, whose decimal commas (C library and Qt alike) would split a CSV field.
TEST(CycleTable, FieldsReadBackWithUnknownValuesEmptyInAnyLocale) {
    std::vector<CycleResult> results;
    for (const Row& row : kRows) {
        results.push_back(row.result);
    }
    const std::string before = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"C", "ru_RU.UTF-8"}) {
        SCOPED_TRACE(name);
        if (std::setlocale(LC_ALL, name) == nullptr) {
            // Linux has the Russian locale from `make deps`; Windows names its locales otherwise.
            ASSERT_NE(std::string(name), "C");
            continue;
        }
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
        const QStringList lines =
            QString::fromUtf8(CyclesCsv(results)).split(QStringLiteral("\r\n"));
        const QStringList text = CyclesText(results).split(u'\n');
        ASSERT_EQ(lines.size(), static_cast<qsizetype>(kRows.size() + 2));
        ASSERT_EQ(text.size(), lines.size());
        EXPECT_EQ(lines[0], kHeader);
        EXPECT_EQ(text[0], QString(kHeader).replace(u',', u'\t'));
        EXPECT_TRUE(lines.last().isEmpty() && text.last().isEmpty());
        for (std::size_t i = 0; i < kRows.size(); ++i) {
            const auto line = static_cast<qsizetype>(i + 1);
            const QString csvLine = QString::fromUtf8(kRows[i].csv);
            const QStringList fields = csvLine.split(u',');
            const QStringList shown =
                fields.mid(0, 3) + QString::fromUtf8(kRows[i].percent).split(u',') + fields.mid(5);
            EXPECT_EQ(Fields(lines[line], u','), Fields(csvLine, u','));
            EXPECT_EQ(Fields(text[line], u'\t'), Fields(shown.join(u'\t'), u'\t'));
        }
    }
    std::setlocale(LC_ALL, before.c_str());
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(CyclesCsv({}), (kHeader + QStringLiteral("\r\n")).toUtf8());
}
