// A journal's values as a damaged file, an edit with SQLite's own shell or another program may
// leave them: any integer, real, text or blob in any column of a run and its samples, of a test
// program and of a run's place in one. Every reader of the journal goes over them: the list,
// both CSV forms, the curve file and the curve window's picture, the comparison's PNG and SVG,
// the journal window's summary, the programs' list, and each program's cycles and fade plot.
//
// Checks that nothing aborts or overflows, that no stored count sizes memory, that each CSV
// has one line per value and sample once quotes are taken into account, and that the SVG is XML.

#include <sanitizer/lsan_interface.h>
#include <sqlite3.h>

#include <QByteArray>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QXmlStreamReader>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzInput.h"
#include "curvefile/CurveFileWriter.h"
#include "cycle/CycleTable.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"
#include "journal/JournalFigure.h"
#include "journal/ProgramCycles.h"
#include "journalview/ComparedCurve.h"
#include "plot/ComparisonFigure.h"
#include "plot/CurveRenderer.h"
#include "plot/CurveStore.h"
#include "plot/FadeFigure.h"
#include "plot/FigureFile.h"

using namespace brimvolt;
using brimvolt::fuzz::CFuzzInput;
using brimvolt::fuzz::Check;

namespace {

QString g_journalPath;

// One value of any kind SQLite stores, as the input says.
void BindHostile(sqlite3_stmt* statement, int column, CFuzzInput& input) {
    switch (input.Byte() % 6) {
        case 0: {
            std::int64_t value = 0;
            const QByteArray bytes = input.Bytes(8);
            std::memcpy(&value, bytes.constData(), static_cast<std::size_t>(bytes.size()));
            sqlite3_bind_int64(statement, column, value);
            break;
        }
        case 1:
            sqlite3_bind_int64(statement, column, static_cast<std::int8_t>(input.Byte()));
            break;
        case 2: {
            double value = 0;
            const QByteArray bytes = input.Bytes(8);
            std::memcpy(&value, bytes.constData(), static_cast<std::size_t>(bytes.size()));
            sqlite3_bind_double(statement, column, value);
            break;
        }
        case 3: {
            const QByteArray text = input.Text(24).toUtf8();
            sqlite3_bind_text(statement, column, text.constData(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT);
            break;
        }
        case 4: {
            const QByteArray blob = input.Bytes(input.Byte() % 32);
            sqlite3_bind_blob(statement, column, blob.constData(), static_cast<int>(blob.size()),
                              SQLITE_TRANSIENT);
            break;
        }
        default: {
            // Plausible values, so runs with a real curve are found too.
            const std::int64_t value = input.Byte() | input.Byte() << 8;
            sqlite3_bind_int64(statement, column, value);
            break;
        }
    }
}

// Binds hostile values to the statement's columns from `first` to `last`, then inserts the row.
void InsertHostile(sqlite3_stmt* statement, int first, int last, CFuzzInput& input) {
    for (int column = first; column <= last; ++column) {
        BindHostile(statement, column, input);
    }
    sqlite3_step(statement);
    sqlite3_reset(statement);
}

// Puts the input's runs, samples, programs and program places into the journal, through SQLite
// alone.
bool WriteJournal(CFuzzInput& input) {
    sqlite3* db = nullptr;
    if (sqlite3_open(g_journalPath.toUtf8().constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_exec(db,
                 "BEGIN; DELETE FROM samples; DELETE FROM runs; DELETE FROM programs; "
                 "DELETE FROM program_runs;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* run = nullptr;
    sqlite3_stmt* sample = nullptr;
    sqlite3_prepare_v2(
        db,
        "INSERT INTO runs (id, started, port, charge, params, label, note, state, "
        "end_cause, duration_s, capacity_mah, energy_uj, start_mv, end_mv, rin_mohm, "
        "max_temperature_c, samples) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "?, ?, ?, ?)",
        -1, &run, nullptr);
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO samples VALUES (?, ?, ?, ?, ?, ?, ?, ?)", -1,
                       &sample, nullptr);
    const int runs = 1 + input.Byte() % 3;
    for (int r = 1; r <= runs && !input.Empty(); ++r) {
        sqlite3_bind_int64(run, 1, r);
        InsertHostile(run, 2, 17, input);
        const int samples = input.Byte() % 48;
        std::int64_t seconds = 0;
        for (int s = 0; s < samples && !input.Empty(); ++s) {
            sqlite3_bind_int64(sample, 1, r);
            if (input.Byte() % 4 == 0) {
                BindHostile(sample, 2, input);
            } else {
                seconds += input.Byte();
                sqlite3_bind_int64(sample, 2, seconds);
            }
            InsertHostile(sample, 3, 8, input);
        }
    }
    // Programs 1 and 2, and a place in one for some of the runs.
    sqlite3_stmt* program = nullptr;
    sqlite3_stmt* place = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO programs (id, name, program, cell, port, started, state, "
                       "step, cycle, passes, cycles_done, end_reason) VALUES (?, ?, ?, ?, ?, "
                       "?, ?, ?, ?, ?, ?, ?)",
                       -1, &program, nullptr);
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO program_runs VALUES (?, ?, ?, ?, ?)", -1,
                       &place, nullptr);
    const int programs = input.Byte() % 3;
    for (int p = 1; p <= programs && !input.Empty(); ++p) {
        sqlite3_bind_int64(program, 1, p);
        InsertHostile(program, 2, 12, input);
    }
    for (int r = 1; r <= runs && !input.Empty(); ++r) {
        if (input.Byte() % 4 == 0) {
            continue;
        }
        sqlite3_bind_int64(place, 1, r);
        sqlite3_bind_int64(place, 2, 1 + input.Byte() % 2);
        InsertHostile(place, 3, 5, input);
    }
    sqlite3_finalize(program);
    sqlite3_finalize(place);
    sqlite3_finalize(run);
    sqlite3_finalize(sample);
    const bool committed = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return committed;
}

// Lines of a CSV text, line breaks inside quoted fields not counted.
int CsvRecords(const QByteArray& csv) {
    int records = 0;
    bool quoted = false;
    for (const char c : csv) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == '\n' && !quoted) {
            ++records;
        }
    }
    Check(!quoted, "every quoted CSV field is closed");
    return records;
}

// Drawing text asks fontconfig for faces, and fontconfig keeps what it finds in ways the leak
// checker cannot follow, more of it for each new script a label brings. Drawing is here for the
// numbers it is given, which ASan and UBSan still watch; its allocations are not counted.
class CUncountedAllocations {
public:
    CUncountedAllocations() { __lsan_disable(); }
    ~CUncountedAllocations() { __lsan_enable(); }
    CUncountedAllocations(const CUncountedAllocations&) = delete;
    CUncountedAllocations& operator=(const CUncountedAllocations&) = delete;
};

void CheckXml(const QByteArray& svg) {
    QXmlStreamReader xml(svg);
    while (!xml.atEnd()) {
        xml.readNext();
    }
    Check(!xml.hasError(), "the SVG is XML");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(*argc, *argv);
    static const QString folder =
        QDir::tempPath() +
        QStringLiteral("/journal_fuzz-%1").arg(QCoreApplication::applicationPid());
    QDir().mkpath(folder);
    g_journalPath = folder + QStringLiteral("/journal.sqlite");
    QFile::remove(g_journalPath);
    CJournal journal;
    if (!journal.Open(g_journalPath).Usable()) {
        std::abort();
    }
    // One connection at a time from here on: no log stays beside it between inputs.
    journal.Close();
    std::atexit([] { QDir(folder).removeRecursively(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CFuzzInput input(data, size);
    if (!WriteJournal(input)) {
        return 0;
    }
    CJournal journal;
    if (!journal.Open(g_journalPath, CJournal::OpenMode::Existing).Usable()) {
        return 0;
    }
    const std::optional<std::vector<RunRecord>> runs = journal.Runs();
    if (!runs) {
        return 0;
    }
    const QByteArray list = RunListText(*runs);
    Check(list.count('\n') == static_cast<qsizetype>(runs->size()), "one listed line per run");
    for (const char c : list) {
        Check(static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n',
              "no control character reaches the terminal");
    }

    std::vector<FigureCurve> curves;
    static CurveStore store;
    for (const RunRecord& run : *runs) {
        const std::optional<std::vector<JournalSample>> samples = journal.Samples(run.id);
        if (!samples) {
            continue;
        }
        Check(samples->size() <= 48, "no more samples than the journal holds");
        for (const bool excel : {false, true}) {
            const QByteArray csv = RunCsv(run, *samples, excel);
            Check(CsvRecords(csv) == 8 + static_cast<int>(samples->size()),
                  "one CSV line per value, the captions and each sample");
        }
        FillCurveStore(run, *samples, store);
        Check(store.lastIndex >= 0 && store.lastIndex < CurveStore::kCapacity,
              "the curve stays inside the store");
        if (store.durationSeconds > 0) {
            CurveFileBytes(store);
        }
        {
            const CUncountedAllocations drawing;
            QImage bitmap;
            RenderCurve(store, Qt::blue, 256, bitmap);
        }
        SummaryOfRun(run, *samples);
        curves.push_back(FigureCurveOfRun(run, *samples));
    }
    CComparisonFigure figure;
    figure.SetCurves(std::move(curves));
    QByteArray svg;
    {
        const CUncountedAllocations drawing;
        for (const FigureAxis axis : {FigureAxis::Time, FigureAxis::Capacity, FigureAxis::Energy}) {
            if (figure.AxisAvailable(axis)) {
                figure.SetAxis(axis);
                figure.PngBytes(QSize(200, 200));
            }
        }
        svg = figure.SvgBytes(QSize(200, 200), QStringLiteral("runs"));
    }
    CheckXml(svg);

    const std::optional<std::vector<ProgramRecord>> programs = journal.Programs();
    if (!programs) {
        return 0;
    }
    Check(programs->size() <= 2, "no more programs than the journal holds");
    const QByteArray programList = ProgramListText(*programs);
    Check(programList.count('\n') == static_cast<qsizetype>(programs->size()),
          "one listed line per program");
    for (const ProgramRecord& stored : *programs) {
        const std::vector<CycleResult> cycles = CyclesOfProgram(*runs, stored.id);
        Check(cycles.size() <= runs->size(), "no more cycles than runs");
        Check(CsvRecords(CyclesCsv(cycles)) == 1 + static_cast<int>(cycles.size()),
              "one CSV line per cycle and the captions");
        CyclesText(cycles);
        CFadeFigure fade;
        fade.SetCycles(cycles);
        fade.SetTitle(stored.name);
        const CUncountedAllocations drawing;
        const FigurePainter paint = [&](QPainter& painter, QSize size) { fade.Paint(painter, size); };
        FigurePngBytes(QSize(200, 150), paint);
        CheckXml(FigureSvgBytes(QSize(200, 150), stored.name, paint));
    }
    for (const char c : programList) {
        Check(static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n',
              "no control character of a program reaches the terminal");
    }
    return 0;
}
