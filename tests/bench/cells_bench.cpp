#include <benchmark/benchmark.h>

#include <QDir>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <random>
#include <vector>

#include "curve/Graf.h"
#include "grading/GradeBounds.h"
#include "journal/Journal.h"
#include "journalview/JournalDlg.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;

namespace {

constexpr int kCells = 2000;
constexpr int kRunsPerCell = 10;
constexpr int kChecksPerCell = 2;

// A register of 2 000 cells, ten runs each (discharges and charges, a Rin now and then) and two
// voltage checks after them, a fortnight apart, made once for the benchmark run.
struct CellJournal {
    QTemporaryDir dir;
    QString path = dir.filePath("cells.sqlite");

    CellJournal() {
        CJournal journal;
        journal.Open(path);
        std::mt19937 random(24);
        std::normal_distribution<double> capacity(2500.0, 150.0);
        for (int c = 0; c < kCells; ++c) {
            CellRecord cell;
            cell.name = QStringLiteral("LG-%1").arg(c, 4, 10, QLatin1Char('0'));
            cell.nominalMah = 2600;
            journal.SaveCell(cell);
        }
        const JournalSample samples[2] = {{0, 4150, 0, 0, 25, 0, 0, 0},
                                          {1, 4100, 1000, 1, 25, 0, 8, 0}};
        for (int i = 0; i < kCells * kRunsPerCell; ++i) {
            RunRecord run;
            run.startedUtc = 1'700'000'000 + i * 600;
            run.port = QStringLiteral("ttyUSB%1").arg(i % 4);
            run.charge = i % 3 == 2;
            run.state = RunState::Stopped;
            run.durationSeconds = 3600;
            run.capacityMah = static_cast<std::int32_t>(capacity(random));
            run.energyUj = std::int64_t{run.capacityMah} * 3'600'000 * 37 / 10;
            run.rinMohm = static_cast<std::uint16_t>(i % 4 == 0 ? 30 + i % 60 : 0);
            run.maxTemperature = static_cast<std::uint8_t>(25 + i % 15);
            run.sampleCount = 2;
            journal.SaveRun(run, samples);
            journal.SetRunCell(run.id,
                               QStringLiteral("LG-%1").arg(i % kCells, 4, 10, QLatin1Char('0')));
        }
        const std::int64_t afterRuns = 1'700'000'000 + std::int64_t{kCells} * kRunsPerCell * 600;
        std::normal_distribution<double> drop(20.0, 12.0);
        for (int c = 0; c < kCells; ++c) {
            const QString name = QStringLiteral("LG-%1").arg(c, 4, 10, QLatin1Char('0'));
            for (int k = 0; k < kChecksPerCell; ++k) {
                CheckRecord check;
                check.atUtc = afterRuns + k * 15 * 86400;
                check.millivolts = 4150.0 - k * drop(random);
                check.port = QStringLiteral("ttyUSB%1").arg(c % 4);
                journal.AddCheck(check, name);
            }
        }
    }
};

GradeBoundsSet StrictOrNot(bool strict) {
    GradeBoundsSet bounds = GradeBoundsWith({});
    GradeBoundsRecord& liIon = bounds[static_cast<std::size_t>(Chemistry::LiIon)];
    liIon.aSharePercent = strict ? 98 : 95;
    liIon.maxDropMvPerDay = strict ? 1.0 : 2.0;
    return bounds;
}

// "Журнал испытаний" opened on its cells tab over 2 000 cells, 20 000 runs and 4 000 checks: the
// journal read, every cell summed up and graded, the tab drawn.
void BM_JournalCellsTabOpen(benchmark::State& state) {
    static CellJournal journal;
    QTemporaryDir place;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(place.path());
    testing::ScriptedDialogs dialogs;
    QWidget owner;
    CGraf graf{dialogs};
    graf.Create(&owner);
    for (auto _ : state) {
        CJournalDlg window(dialogs, graf);
        window.Create(&owner, journal.path);
        window.Tabs()->setCurrentIndex(1);
        window.show();
        benchmark::DoNotOptimize(window.grab());
        if (window.CellModel().rowCount() != kCells ||
            window.Model().rowCount() != kCells * kRunsPerCell) {
            state.SkipWithError("cells or runs missing");
            break;
        }
    }
    QDir::setCurrent(previous);
}

// The same tab, sorted by grade, after the bounds changed: every cell graded again from its row,
// the table sorted again and drawn.
void BM_JournalCellsRegrade(benchmark::State& state) {
    static CellJournal journal;
    QTemporaryDir place;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(place.path());
    testing::ScriptedDialogs dialogs;
    QWidget owner;
    CGraf graf{dialogs};
    graf.Create(&owner);
    CJournalDlg window(dialogs, graf);
    window.Create(&owner, journal.path);
    window.Tabs()->setCurrentIndex(1);
    window.CellTable()->sortByColumn(CCellTableModel::kGrade, Qt::AscendingOrder);
    window.show();
    benchmark::DoNotOptimize(window.grab());
    bool strict = false;
    for (auto _ : state) {
        strict = !strict;
        window.RegradeCells(StrictOrNot(strict));
        benchmark::DoNotOptimize(window.grab());
    }
    if (window.CellModel().rowCount() != kCells) {
        state.SkipWithError("cells missing");
    }
    QDir::setCurrent(previous);
}

}  // namespace

BENCHMARK(BM_JournalCellsTabOpen)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JournalCellsRegrade)->Unit(benchmark::kMillisecond)->UseRealTime();
