#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>

#include "bdf/BdfExport.h"
#include "params/ParamTable.h"

namespace {

using namespace brimvolt;

const std::int64_t kDecember8 =
    QDateTime(QDate(2026, 12, 8), QTime(23, 30), QTimeZone::utc()).toSecsSinceEpoch();

TEST(BdfExport, SidecarNameReplacesTheDataEnding) {
    const struct {
        const char* out;
        const char* sidecar;
    } cases[] = {
        {"lab__C1__20261208_001.bdf", "lab__C1__20261208_001.json"},
        {"dir.bdf/run.bdf.csv", "dir.bdf/run.json"},
        {"run.CSV", "run.json"},
        {"run.txt", "run.txt.json"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BdfSidecarPath(c.out), QString::fromUtf8(c.sidecar)) << c.out;
    }
}

TEST(BdfExport, RecommendedNameFitsAFileNameAndTakesTheNextFreeNumber) {
    const struct {
        const char* cell;  // null: the runs have no cell
        std::vector<const char*> present;
        const char* name;
    } cases[] = {
        {"C1", {}, "BRIMVOLT__C1__20261208_001.bdf"},
        {nullptr, {}, "BRIMVOLT__cell__20261208_001.bdf"},
        {"18650/3:A?", {}, "BRIMVOLT__18650-3-A-__20261208_001.bdf"},
        {"_a__b_", {}, "BRIMVOLT__a-b__20261208_001.bdf"},
        {"C1",
         {"BRIMVOLT__C1__20261208_001.bdf", "BRIMVOLT__C1__20261208_002.json",
          "BRIMVOLT__C1__20261207_003.bdf", "BRIMVOLT__C10__20261208_003.bdf"},
         "BRIMVOLT__C1__20261208_003.bdf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        for (const char* name : c.present) {
            QFile file(dir.filePath(QString::fromUtf8(name)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        BdfTest test;
        test.runs.emplace_back().startedUtc = kDecember8;
        if (c.cell) {
            test.cell.emplace().name = QString::fromUtf8(c.cell);
        }
        EXPECT_EQ(BdfRecommendedName(dir.path(), test), QString::fromUtf8(c.name));
    }
}

TEST(BdfExport, SidecarHoldsTheCellRunsParametersAndProgram) {
    BdfTest test;
    CellRecord& cell = test.cell.emplace();
    cell.name = "C1";
    cell.chemistry = Chemistry::LiFePO4;
    cell.nominalMah = 3200;
    ProgramRecord& program = test.program.emplace();
    program.id = 4;
    program.name = "Fade";
    program.json = R"({"name": "Fade", "steps": [{"rest": {}}]})";
    for (int step = 1; step <= 3; ++step) {
        RunRecord run;
        run.id = step;
        run.startedUtc = kDecember8 + step * 3600;
        run.charge = step == 1;
        run.rest = step == 2;
        run.params = {1, 2750, 1, 1000, 0, 20000, 4000, 0, 0, 1, 40, 60};
        run.endCause = EndCause::Program;
        run.program = {4, 1, step, false};
        test.runs.push_back(run);
    }
    const QJsonObject json = QJsonDocument::fromJson(BdfSidecarJson(test)).object();
    EXPECT_EQ(json["written_by"].toObject()["program"].toString(), "Brimvolt");
    EXPECT_EQ(json["written_by"].toObject()["version"].toString().count(u'.'), 2);
    const QJsonObject cellJson = json["cell"].toObject();
    EXPECT_EQ(cellJson["name"].toString(), "C1");
    EXPECT_EQ(cellJson["chemistry"].toString(), "LiFePO4");
    EXPECT_DOUBLE_EQ(cellJson["nominal_capacity_Ah"].toDouble(), 3.2);

    const QJsonArray runs = json["runs"].toArray();
    ASSERT_EQ(runs.size(), 3);
    const char* const kinds[] = {"charge", "rest", "discharge"};
    for (int k = 0; k < 3; ++k) {
        const QJsonObject run = runs[k].toObject();
        EXPECT_EQ(run["kind"].toString(), kinds[k]);
        EXPECT_EQ(run["step_count"].toInt(), k + 1);
        EXPECT_EQ(run["cycle_count"].toInt(), 1);
        EXPECT_EQ(run["end_cause"].toString(), "program");
    }
    EXPECT_EQ(runs[0].toObject()["start"].toString(), "2026-12-09T00:30:00Z");

    const QJsonArray params = json["parameters"].toArray();
    ASSERT_EQ(params.size(), 12);
    EXPECT_EQ(params[1].toObject()["name"].toString(), ParamTable()[1].name);
    EXPECT_DOUBLE_EQ(params[1].toObject()["value"].toDouble(), 2.75);

    const QJsonObject programJson = json["program"].toObject();
    EXPECT_EQ(programJson["name"].toString(), "Fade");
    EXPECT_EQ(programJson["steps"].toArray().size(), 1);
}

}  // namespace
