#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "bdf/BdfImport.h"
#include "journal/Journal.h"

namespace brimvolt {
namespace {

// A gzip stream of stored deflate blocks, so the test needs no compressor of its own.
QByteArray Gzip(const QByteArray& data) {
    QByteArray gz("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    qsizetype at = 0;
    do {
        const auto n = static_cast<quint16>(std::min<qsizetype>(65535, data.size() - at));
        const auto complement = static_cast<quint16>(~n);
        gz += static_cast<char>(at + n >= data.size() ? 1 : 0);
        gz += static_cast<char>(n & 0xff);
        gz += static_cast<char>(n >> 8);
        gz += static_cast<char>(complement & 0xff);
        gz += static_cast<char>(complement >> 8);
        gz += data.mid(at, n);
        at += n;
    } while (at < data.size());
    quint32 crc = 0xffffffffu;
    for (const char c : data) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    for (const quint32 word : {~crc, static_cast<quint32>(data.size())}) {
        for (int shift = 0; shift < 32; shift += 8) {
            gz += static_cast<char>((word >> shift) & 0xff);
        }
    }
    return gz;
}

class BdfImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(journal.Open(folder.filePath("journal.sqlite")).Usable());
        RunRecord recorded;
        recorded.port = "/dev/ttyUSB0";
        recorded.state = RunState::Stopped;
        ASSERT_EQ(journal.SaveRun(recorded, {}), CJournal::SaveResult::Saved);
    }

    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    }

    QTemporaryDir folder;
    CJournal journal;
};

TEST_F(BdfImportTest, ChargeAndDischargeStepsBecomeRunsAtOneReadingASecond) {
    // By machine names, with a column the format does not know: a discharge at 4 Hz counted by
    // the file's capacity column, a rest, a charge every 10 s whose capacity only its current
    // tells.
    QByteArray text =
        "test_time_second,voltage_volt,current_ampere,step_count,mystery_column,"
        "discharging_capacity_ah,surface_temperature_celsius\n";
    for (int k = 0; k < 12; ++k) {
        text += QStringLiteral("%1,%2,-10,1,x,%3,25\n")
                    .arg(k * 0.25)
                    .arg(4.0 - 0.01 * k)
                    .arg(0.1 + 0.001 * k * 0.25)
                    .toLatin1();
    }
    // The rest carries the tester's noise, far under 1 mA.
    text += "3,3.9,0.0001,2,x,0.10275,25\n4,3.9,-0.0001,2,x,0.10275,25\n";
    for (int t = 10; t <= 40; t += 10) {
        text += QStringLiteral("%1,%2,0.5,3,,,26\n").arg(t).arg(3.8 + t / 1000.0).toLatin1();
    }
    const std::int64_t modified = 1'700'000'000;
    const BdfRead read = ReadBdf(text, "cell7.bdf", modified);
    ASSERT_TRUE(read.Ok()) << read.error.toStdString();
    EXPECT_TRUE(read.skippedColumns.contains("mystery_column"));
    ASSERT_EQ(read.steps.size(), 2u);

    const BdfStep& discharge = read.steps[0];
    EXPECT_EQ(discharge.number, 1);
    EXPECT_FALSE(discharge.run.charge);
    EXPECT_EQ(discharge.run.note, QStringLiteral("cell7.bdf, шаг 1"));
    EXPECT_EQ(discharge.run.port, kBdfImportPort);
    EXPECT_EQ(discharge.run.state, RunState::Stopped);
    EXPECT_EQ(discharge.run.startedUtc, modified - 40);
    std::vector<std::int32_t> seconds, millivolts, capacities;
    for (const JournalSample& s : discharge.samples) {
        seconds.push_back(s.seconds);
        millivolts.push_back(s.voltageMv);
        capacities.push_back(s.capacityMah);
    }
    // The last reading (2.75 s) takes the place of the first of its second.
    EXPECT_EQ(seconds, (std::vector<std::int32_t>{0, 1, 2}));
    EXPECT_EQ(millivolts, (std::vector<std::int32_t>{4000, 3960, 3890}));
    // 1 mAh a second by the file's counter, though 10 A would make 2.8.
    EXPECT_EQ(capacities, (std::vector<std::int32_t>{0, 1, 3}));
    EXPECT_EQ(discharge.run.durationSeconds, 2);
    EXPECT_EQ(discharge.run.capacityMah, 3);
    EXPECT_EQ(discharge.run.sampleCount, 3);
    EXPECT_EQ(discharge.samples[0].currentMa, 10000);

    const BdfStep& charge = read.steps[1];
    EXPECT_EQ(charge.number, 3);
    EXPECT_TRUE(charge.run.charge);
    EXPECT_EQ(charge.run.startedUtc, modified - 40 + 10);
    seconds.clear();
    capacities.clear();
    for (const JournalSample& s : charge.samples) {
        seconds.push_back(s.seconds);
        capacities.push_back(s.capacityMah);
    }
    EXPECT_EQ(seconds, (std::vector<std::int32_t>{0, 10, 20, 30})) << "no reading invented";
    EXPECT_EQ(capacities, (std::vector<std::int32_t>{0, 1, 3, 4})) << "0.5 A over 10 s steps";
    EXPECT_EQ(charge.run.durationSeconds, 30);
    EXPECT_EQ(charge.run.maxTemperature, 26);

    // The same file gzip'd reads the same; a gzip that does not inflate is refused.
    const BdfRead unzipped = ReadBdf(Gzip(text), "cell7.bdf", modified);
    ASSERT_TRUE(unzipped.Ok());
    EXPECT_EQ(unzipped.steps[1].run, charge.run);
    EXPECT_EQ(unzipped.steps[1].samples, charge.samples);
    QByteArray broken = Gzip(text);
    broken[broken.size() - 6] = static_cast<char>(broken[broken.size() - 6] ^ 0x5a);
    EXPECT_FALSE(ReadBdf(broken, "cell7.bdf.gz", modified).Ok());

    // Into the journal: both runs with their samples, linked to the cell.
    BdfRead fromFile = ReadBdfFile(Write("cell7.bdf.gz", Gzip(text)));
    ASSERT_TRUE(fromFile.Ok()) << fromFile.error.toStdString();
    QString error;
    ASSERT_TRUE(ImportBdfSteps(journal, fromFile.steps, "A1", error)) << error.toStdString();
    const std::vector<RunRecord> runs = journal.Runs().value();
    ASSERT_EQ(runs.size(), 3u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(runs[i + 1].id, fromFile.steps[i].run.id);
        EXPECT_EQ(runs[i + 1].capacityMah, read.steps[i].run.capacityMah);
        EXPECT_EQ(journal.Samples(runs[i + 1].id).value(), read.steps[i].samples);
    }
    const std::vector<RunCellLink> links = journal.RunCells().value();
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].runId, runs[1].id);
    EXPECT_EQ(links[1].cellId, journal.CellNamed("A1").value().id);
}

}  // namespace
}  // namespace brimvolt
