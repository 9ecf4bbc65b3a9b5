// brimvolt-journal bdf on a test program's runs, the file read back by a Python script that
// knows only the csv module.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <tuple>
#include <vector>

#include "journal/Journal.h"

namespace {

using namespace brimvolt;

// The tool's exit status and its standard error; -1 when it did not finish.
std::pair<int, QByteArray> Tool(const QStringList& arguments) {
    QProcess process;
    process.start(qEnvironmentVariable("BRIMVOLT_BIN") + "/brimvolt-journal", arguments);
    const bool ended =
        process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, process.readAllStandardError()};
}

// What a run of the program should come out as.
struct Expected {
    int cycle;
    const char* type;
    int rows;
    double minA;
    double maxA;
};

TEST(BdfExport, ProgramRunReadsBackWithPythonsCsv) {
    QTemporaryDir dir;
    const QString journalPath = dir.filePath("journal.sqlite");
    CJournal journal;
    ASSERT_TRUE(journal.Open(journalPath).Usable());
    ProgramRecord program;
    program.name = QStringLiteral("Fade");
    program.json = R"({"name": "Fade", "steps": [{"charge": {"current_A": 1.5}},
        {"rest": {"minutes": 1}}, {"discharge": {"current_A": 1.0}}]})";
    program.cell = QStringLiteral("C1");
    ASSERT_TRUE(journal.SaveProgram(program));

    // Three cycles of charge, rest, discharge; each discharge ends with a held Rin result.
    std::vector<Expected> expected;
    std::int64_t firstRunId = 0;
    std::int64_t start = 1'765'000'000;
    std::int32_t dischargedMah = 0;
    int rinRows = 0;
    for (int cycle = 1; cycle <= 3; ++cycle) {
        for (int step = 1; step <= 3; ++step) {
            RunRecord run;
            run.startedUtc = start;
            run.port = QStringLiteral("ttyUSB0");
            run.charge = step == 1;
            run.rest = step == 2;
            run.state = RunState::Stopped;
            run.endCause = EndCause::Program;
            run.program = {program.id, cycle, step, false};
            const int count = 20 + 10 * step;
            const std::uint16_t ma = run.rest ? 0 : run.charge ? 1500 : 1000;
            std::vector<JournalSample> samples;
            for (int t = 0; t < count; ++t) {
                JournalSample sample{.seconds = t,
                                     .voltageMv = static_cast<std::uint16_t>(3700 + t),
                                     .currentMa = t == 0 ? std::uint16_t{0} : ma,
                                     .capacityMah = run.rest ? 0 : t * ma / 3600,
                                     .temperature = 25};
                if (step == 3 && t >= count - 3) {
                    sample.rinMohm = 85;
                    sample.statusFlags = 0x18;
                    ++rinRows;
                }
                samples.push_back(sample);
            }
            if (step == 3) {
                dischargedMah += samples.back().capacityMah;
            }
            ASSERT_EQ(journal.SaveRun(run, samples), CJournal::SaveResult::Saved);
            ASSERT_TRUE(journal.SetRunCell(run.id, QStringLiteral("C1")));
            firstRunId = firstRunId != 0 ? firstRunId : run.id;
            expected.push_back({cycle,
                                run.rest     ? "REST"
                                : run.charge ? "CC_CHG"
                                             : "CC_DCH",
                                count, run.rest || run.charge ? 0.0 : -1.0,
                                run.charge ? 1.5 : 0.0});
            // Two seconds overlap with the run before: the test time must not go back.
            start += count - 2;
        }
    }
    // A run of another cell, to be refused beside one of C1.
    RunRecord other;
    other.startedUtc = start + 100;
    const JournalSample one[] = {{.seconds = 0, .voltageMv = 4000}};
    ASSERT_EQ(journal.SaveRun(other, one), CJournal::SaveResult::Saved);
    ASSERT_TRUE(journal.SetRunCell(other.id, QStringLiteral("C2")));
    journal.Close();

    const QString out = dir.filePath("lab__C1__20251206_001.bdf");
    const auto [exported, err] =
        Tool({"--journal", journalPath, "bdf", "--program", QString::number(program.id), out});
    ASSERT_EQ(exported, 0) << err.toStdString();
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains('\r'));

    QProcess python;
    python.start("python3", {BRIMVOLT_TEST_DIR "/bdf/read_bdf.py", out});
    ASSERT_TRUE(python.waitForFinished(60000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QJsonObject read = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    EXPECT_EQ(
        read["labels"].toArray(),
        QJsonArray({"Test Time / s", "Voltage / V", "Current / A", "Unix Time / s",
                    "Cycle Count / 1", "Step Count / 1", "Step Type", "Charging Capacity / Ah",
                    "Discharging Capacity / Ah", "Charging Energy / Wh", "Discharging Energy / Wh",
                    "Surface Temperature / degC", "Internal Resistance / ohm"}));
    int samples = 0;
    for (const Expected& e : expected) {
        samples += e.rows;
    }
    EXPECT_EQ(read["rows"].toInt(), samples);
    EXPECT_EQ(read["ragged"].toInt(), 0);
    EXPECT_EQ(read["decreasing"].toArray(), QJsonArray());
    EXPECT_EQ(read["rin_rows"].toInt(), rinRows);
    const QJsonArray steps = read["steps"].toArray();
    ASSERT_EQ(steps.size(), static_cast<qsizetype>(expected.size()));
    for (qsizetype k = 0; k < steps.size(); ++k) {
        SCOPED_TRACE(k);
        const QJsonObject step = steps[k].toObject();
        const Expected& e = expected[static_cast<std::size_t>(k)];
        EXPECT_EQ(step["step"].toInt(), k + 1);
        EXPECT_EQ(step["cycle"].toInt(), e.cycle);
        EXPECT_EQ(step["type"].toString(), QString::fromLatin1(e.type));
        EXPECT_EQ(step["rows"].toInt(), e.rows);
        EXPECT_DOUBLE_EQ(step["min_A"].toDouble(), e.minA);
        EXPECT_DOUBLE_EQ(step["max_A"].toDouble(), e.maxA);
    }
    EXPECT_EQ(read["last"].toObject()["Discharging Capacity / Ah"].toString(),
              QString::number(dischargedMah / 1000.0, 'f', 6));

    EXPECT_TRUE(QFile::exists(dir.filePath("lab__C1__20251206_001.json")));

    // Imported into a fresh journal, the charges and discharges come back whole: the same
    // kinds, capacities and durations, in order.
    const QString freshPath = dir.filePath("fresh.sqlite");
    {
        CJournal fresh;
        ASSERT_TRUE(fresh.Open(freshPath).Usable());
    }
    const auto [imported, importErr] =
        Tool({"--journal", freshPath, "import", out, "--cell", "C1"});
    ASSERT_EQ(imported, 0) << importErr.toStdString();
    ASSERT_TRUE(journal.Open(journalPath).Usable());
    CJournal fresh;
    ASSERT_TRUE(fresh.Open(freshPath).Usable());
    std::vector<std::tuple<bool, std::int32_t, std::int32_t, std::int32_t>> before, after;
    const std::vector<RunRecord> recorded = journal.Runs().value();
    const std::vector<RunRecord> imports = fresh.Runs().value();
    for (const RunRecord& run : recorded) {
        if (run.program.programId == program.id && !run.rest) {
            const std::vector<JournalSample> kept = journal.Samples(run.id).value();
            before.emplace_back(run.charge, kept.back().capacityMah, kept.back().seconds,
                                static_cast<std::int32_t>(kept.size()));
        }
    }
    for (const RunRecord& run : imports) {
        after.emplace_back(run.charge, run.capacityMah, run.durationSeconds, run.sampleCount);
    }
    EXPECT_EQ(after, before);

    // Runs of two cells in one file would read as one cell's history: refused, both named.
    const auto [refused, why] = Tool({"--journal", journalPath, "bdf", QString::number(firstRunId),
                                      QString::number(other.id), dir.filePath("mixed.bdf")});
    EXPECT_EQ(refused, 2);
    EXPECT_TRUE(why.contains("of cell C1") && why.contains("of cell C2")) << why.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("mixed.bdf")));
}

}  // namespace
