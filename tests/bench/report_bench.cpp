#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <random>
#include <vector>

#include "report/GradeReport.h"

using namespace brimvolt;

namespace {

constexpr int kCells = 2000;

// A batch as it comes off the bench: capacities around 93 % of the nominal, Rin 30 to 100 mOhm,
// two checks three weeks apart for most cells, graded by the default bounds.
std::vector<GradedCell> Batch() {
    std::mt19937 random(33);
    std::normal_distribution<double> share(93.0, 8.0);
    std::uniform_int_distribution<int> rin(30, 100);
    std::normal_distribution<double> drop(20.0, 15.0);
    const GradeBoundsSet bounds = GradeBoundsWith({});
    std::vector<GradedCell> cells;
    for (int c = 0; c < kCells; ++c) {
        GradedCell cell;
        cell.summary.cell.id = c + 1;
        cell.summary.cell.name = QStringLiteral("LG-M29-%1").arg(c, 4, 10, QLatin1Char('0'));
        cell.summary.cell.chemistry = c % 5 == 0 ? Chemistry::LiFePO4 : Chemistry::LiIon;
        cell.summary.cell.nominalMah = 2900;
        cell.summary.runs = 3;
        if (c % 17 != 0) {
            cell.summary.lastCapacityMah = static_cast<std::int32_t>(2900 * share(random) / 100);
            cell.summary.lastRinMohm = static_cast<std::uint16_t>(rin(random));
            cell.sharePercent = 100.0 * *cell.summary.lastCapacityMah / 2900;
        }
        if (c % 4 != 0) {
            CheckRecord first{0,  cell.summary.cell.id,  1'700'000'000, 4180.0,
                              24, QStringLiteral("COM3")};
            CheckRecord latest = first;
            latest.atUtc += 21 * 86400;
            latest.millivolts -= drop(random);
            cell.storage = StorageOfCell(std::vector<CheckRecord>{first, latest}, std::nullopt);
        }
        std::optional<double> rinMohm;
        if (cell.summary.lastRinMohm) {
            rinMohm = *cell.summary.lastRinMohm;
        }
        cell.grade = GradeCell(BoundsOf(bounds, cell.summary.cell.chemistry), cell.sharePercent,
                               rinMohm, cell.storage);
        cells.push_back(std::move(cell));
    }
    return cells;
}

// The batch report of 2 000 cells drawn and written: the histograms, 36 pages of the table.
void BM_GradeReport2000Cells(benchmark::State& state) {
    GradeReportInput input;
    input.cells = Batch();
    input.made = QDateTime::fromSecsSinceEpoch(1'702'000'000);
    input.journalName = QStringLiteral("journal.sqlite");
    QTemporaryDir dir;
    const QString path = dir.filePath("cells-report.pdf");
    for (auto _ : state) {
        QString error;
        if (!WriteGradeReport(path, input, error)) {
            state.SkipWithError(error.toStdString().c_str());
            break;
        }
    }
    state.counters["file_kB"] = static_cast<double>(QFileInfo(path).size()) / 1e3;
}

}  // namespace

BENCHMARK(BM_GradeReport2000Cells)->Unit(benchmark::kMillisecond)->UseRealTime();
