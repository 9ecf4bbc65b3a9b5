#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "cycle/ProgramFile.h"

namespace brimvolt {
namespace {

TEST(ProgramFile, ReadsEveryStepKindWithTheOperatorsConversions) {
    const QByteArray json = R"({"name": "Пять циклов", "capacity_mAh": 2500, "steps": [
        {"charge": {"current_A": 1.005, "cutoff_V": 4.2, "limit_minutes": 200}},
        {"rest": {"minutes": 0.5}},
        {"discharge": {"current_A": 2, "cutoff_V": 2.75}},
        {"rin": {}},
        {"rin": {"current_A": 0.5, "cutoff_V": 3.3}},
        {"repeat": {"from": 1, "times": 5}}]})";
    QString error;
    const std::optional<TestProgram> program = ParseProgram(json, error);
    ASSERT_TRUE(program) << error.toStdString();
    EXPECT_EQ(program->name, QStringLiteral("Пять циклов"));
    EXPECT_EQ(program->nominalCapacityMah, 2500);
    ASSERT_EQ(program->steps.size(), 6u);
    const auto& s = program->steps;
    EXPECT_EQ(s[0].kind, StepKind::Charge);
    EXPECT_EQ(s[0].currentMa, 1005);  // not 1004: the typed value's rounding
    EXPECT_EQ(s[0].cutoffMv, 4200);
    EXPECT_EQ(s[0].limitMinutes, 200);
    EXPECT_EQ(s[1].restSeconds, 30);
    EXPECT_EQ(s[2].kind, StepKind::Discharge);
    EXPECT_EQ(s[2].cutoffMv, 2750);
    EXPECT_EQ(s[2].limitMinutes, 0);
    EXPECT_EQ(s[3].kind, StepKind::Rin);
    EXPECT_EQ(s[3].currentMa, 1000);
    EXPECT_EQ(s[3].cutoffMv, 3000);
    EXPECT_EQ(s[4].currentMa, 500);
    EXPECT_EQ(s[5].repeatFrom, 1);
    EXPECT_EQ(s[5].repeatTimes, 5);
}

TEST(ProgramFile, ABadFileSaysWhereAndWhyInOneLine) {
    const auto steps = [](const char* list) {
        return QByteArray(R"({"name": "p", "steps": [)") + list + "]}";
    };
    const QByteArray charge = R"({"charge": {"current_A": 1, "cutoff_V": 4.2}})";
    const std::vector<std::pair<QByteArray, QString>> cases = {
        {"{\"name\": \"p\",\n \"steps\": [}", "line 2: "},
        {"[]", "must be an object"},
        {R"({"steps": [{"rest": {"minutes": 1}}]})", "name: "},
        {R"({"name": "p", "steps": []})", "steps: "},
        {R"({"name": "p", "step": []})", "step: unknown field"},
        {R"({"name": "p", "capacity_mAh": "lots", "steps": []})", "capacity_mAh: "},
        {steps(R"({"charge": {"current_A": 1}})"), "step 1: cutoff_V: missing"},
        {steps(R"({"charge": {"current_A": 5, "cutoff_V": 4.2}})"), "step 1: current_A: must be"},
        {steps(R"({"charge": {"current_A": 0, "cutoff_V": 4.2}})"), "step 1: current_A: must be"},
        {steps(charge + R"(, {"discharge": {"current_A": 1, "cutoff_V": "3"}})"),
         "step 2: cutoff_V: must be a number"},
        {steps(charge + R"(, {"discharge": {"current_A": 1, "cutof_V": 3}})"),
         "step 2: cutof_V: unknown field"},
        {steps(charge + R"(, {"rest": {"minutes": 0}})"), "step 2: minutes: must be"},
        {steps(charge + R"(, {"rest": {"minutes": 30}, "rin": {}})"), "step 2: must be one of"},
        {steps(charge + R"(, {"nap": {}})"), "step 2: nap: unknown step"},
        {steps(charge + R"(, {"rin": 1})"), "step 2: rin: must be an object"},
        // Straight after a discharge to 3 V at 1 A the cell is at the pulse's own cut-off.
        {steps(R"({"discharge": {"current_A": 1, "cutoff_V": 3}}, {"rin": {}})"),
         "step 2: cutoff_V: must be below the cut-off of the discharge just before it"},
        {steps(charge + R"(, {"repeat": {"from": 2, "times": 3}})"), "step 2: from: must be"},
        {steps(R"({"repeat": {"from": 1, "times": 3}})"), "step 1: from: must be"},
        {steps(charge + R"(, {"repeat": {"from": 1, "times": 2.5}})"),
         "step 2: times: must be a whole number"},
        {steps(charge + R"(, {"repeat": {"from": 1, "times": 0}})"), "step 2: times: must be"},
        // A key read from the file reaches the terminal without its control characters.
        {steps("{\"\\u001b[2Jx\": {}}"), "step 1: ?[2Jx: unknown step"},
    };
    for (const auto& [json, expected] : cases) {
        SCOPED_TRACE(json.toStdString());
        QString error;
        EXPECT_FALSE(ParseProgram(json, error));
        EXPECT_TRUE(error.contains(expected)) << error.toStdString();
        EXPECT_FALSE(error.contains(QLatin1Char('\n')));
        EXPECT_FALSE(error.contains(QChar(0x1b)));
    }
}

TEST(ProgramFile, ProgramsGoThroughTheFileUnchanged) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ReadyMadeSettings settings;
    settings.nominalCapacityMah = 3000;
    settings.dischargeCutoffMv = 2750;
    settings.restMinutes = 5;
    TestProgram withLimit = CapacityProgram();
    withLimit.steps[0].limitMinutes = 180;
    for (const TestProgram& program : {CapacityProgram(settings), CyclesProgram(5), withLimit}) {
        SCOPED_TRACE(program.name.toStdString());
        const QString path = dir.filePath(QStringLiteral("program.json"));
        QString error;
        ASSERT_TRUE(WriteProgramFile(path, program, error)) << error.toStdString();
        const std::optional<TestProgram> read = ReadProgramFile(path, error);
        ASSERT_TRUE(read) << error.toStdString();
        EXPECT_EQ(*read, program);
    }
    EXPECT_EQ(CyclesProgram(5).name, QStringLiteral("Циклы: 5 × (заряд, отдых, разряд, отдых)"));
    QString error;
    EXPECT_FALSE(ReadProgramFile(dir.filePath(QStringLiteral("none.json")), error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace brimvolt
