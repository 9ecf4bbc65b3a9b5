#include <gtest/gtest.h>

#include "app/BrimvoltApp.h"

namespace {

TEST(ProgramOptions, ReadsPortsTheBenchAndTheDemoSpeed) {
    struct Case {
        QStringList arguments;
        QStringList extraPorts;
        std::optional<double> demoSpeed;
        QStringList errors;
        bool help = false;
        bool version = false;
    };
    QStringList sixteen = {"--bench"};
    for (int i = 0; i < 16; ++i) {
        sixteen << QStringLiteral("--port=/dev/ttyUSB%1").arg(i);
    }
    const Case cases[] = {
        {{}, {}, std::nullopt, {}},
        {{"--extra-port", "/tmp/a", "--extra-port=/tmp/b"}, {"/tmp/a", "/tmp/b"}, std::nullopt, {}},
        {{"--demo"}, {}, 1.0, {}},
        {{"--demo=20"}, {}, 20.0, {}},
        {{"--demo=0.5", "--extra-port", "/dev/ttyUSB0"}, {"/dev/ttyUSB0"}, 0.5, {}},
        // A speed is read without the locale: "2,5" is no number here.
        {{"--demo=2,5"}, {}, std::nullopt, {"--demo=2,5"}},
        {{"--demo=0"}, {}, std::nullopt, {"--demo=0"}},
        {{"--demo=-3"}, {}, std::nullopt, {"--demo=-3"}},
        {{"--demo=fast"}, {}, std::nullopt, {"--demo=fast"}},
        {{"--extra-port"}, {}, std::nullopt, {"--extra-port"}},
        {{"--verbose", "x"}, {}, std::nullopt, {"--verbose", "x"}},
        {{"--help", "--demo"}, {}, 1.0, {}, true},
        {{"--version"}, {}, std::nullopt, {}, false, true},
        {{"--help=1", "-version"}, {}, std::nullopt, {"--help=1", "-version"}},
        {{"--bench", "--port", "COM3", "--port=COM4", "--demo"}, {}, 1.0, {}},
        {{"--bench", "--port=COM3", "--port=COM3"}, {}, std::nullopt, {"--port=COM3"}},
        {{"--port=COM3", "--port=COM4"}, {}, std::nullopt, {"--port twice without --bench"}},
        {{"--bench", "run.raz"}, {}, std::nullopt, {"a curve file with --bench"}},
        {sixteen, {}, std::nullopt, {}},
        {sixteen + QStringList{"--port=COM3"}, {}, std::nullopt, {"--port more than 16 times"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const BrimvoltOptions options = ParseOptions(c.arguments);
        EXPECT_EQ(options.extraPorts, c.extraPorts);
        EXPECT_EQ(options.demoSpeed, c.demoSpeed);
        EXPECT_EQ(options.errors, c.errors);
        EXPECT_EQ(options.help, c.help);
        EXPECT_EQ(options.version, c.version);
    }
}

}  // namespace

namespace {

TEST(ProgramOptions, RefusesSlipsInPortPathsAndAHeadlessRunWithoutTheDemo) {
    EXPECT_EQ(ParseOptions({"--extra-port="}).errors, QStringList{"--extra-port="});
    EXPECT_TRUE(ParseOptions({"--extra-port", "--demo"}).extraPorts.isEmpty());
    EXPECT_FALSE(ParseOptions({"--extra-port", "--demo"}).errors.isEmpty());

    const BrimvoltOptions headless = ParseOptions({"--demo=200", "--headless-demo=5"});
    EXPECT_TRUE(headless.errors.isEmpty());
    EXPECT_EQ(headless.headlessDemoSeconds, 5.0);
    EXPECT_FALSE(ParseOptions({"--headless-demo=5"}).errors.isEmpty());
    EXPECT_FALSE(ParseOptions({"--demo", "--headless-demo=0"}).errors.isEmpty());

    // Qt's own arguments wait for QApplication, which takes what it knows.
    EXPECT_TRUE(ParseOptions({"-platform", "xcb", "--demo"}, QtArguments::Pass).errors.isEmpty());
    EXPECT_EQ(ParseOptions({"-platform", "xcb"}).errors, QStringList({"-platform", "xcb"}));
    EXPECT_EQ(ParseOptions({"--platform"}, QtArguments::Pass).errors, QStringList{"--platform"});
}

TEST(ProgramOptions, JournalPathComesInEitherSpellingAndOnlyOnce) {
    struct Case {
        QStringList arguments;
        QString journalPath;
        QStringList errors;
    };
    const Case cases[] = {
        {{}, {}, {}},
        {{"--journal", "runs.sqlite"}, "runs.sqlite", {}},
        {{"--journal=/data/j.sqlite", "--demo"}, "/data/j.sqlite", {}},
        {{"--journal"}, {}, {"--journal"}},
        {{"--journal="}, {}, {"--journal="}},
        {{"--journal", "--demo"}, {}, {"--journal"}},
        {{"--journal=a", "--journal=b"}, "b", {"--journal=b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const BrimvoltOptions options = ParseOptions(c.arguments);
        EXPECT_EQ(options.journalPath, c.journalPath);
        EXPECT_EQ(options.errors, c.errors);
    }
    EXPECT_TRUE(Usage().contains("--journal PATH"));
}

TEST(ProgramOptions, ProgramFileComesOnce) {
    EXPECT_EQ(ParseOptions({"--program", "p.json"}).programPath, "p.json");
    EXPECT_EQ(ParseOptions({"--program=a.json", "--program=b.json"}).errors,
              QStringList{"--program=b.json"});
    EXPECT_EQ(ParseOptions({"--program"}).errors, QStringList{"--program"});
    EXPECT_TRUE(Usage().contains("--program FILE"));
}

}  // namespace

namespace {

TEST(ProgramOptions, BrokerAndPrefixComeOnceEachAndThePrefixOnlyWithTheBroker) {
    const BrimvoltOptions both = ParseOptions({"--mqtt-prefix=lab/1", "--mqtt", "mqtt://h"});
    EXPECT_EQ(both.mqttUrl, "mqtt://h");
    EXPECT_EQ(both.mqttPrefix, "lab/1");
    EXPECT_TRUE(both.errors.isEmpty());
    EXPECT_EQ(ParseOptions({"--mqtt=mqtt://a", "--mqtt=mqtt://b"}).errors,
              QStringList{"--mqtt=mqtt://b"});
    EXPECT_EQ(ParseOptions({"--mqtt", "--demo"}).errors, QStringList{"--mqtt"});
    EXPECT_EQ(ParseOptions({"--mqtt-prefix", "lab/1"}).errors,
              QStringList{"--mqtt-prefix without --mqtt"});
}

TEST(ProgramOptions, OneCurveFileToOpenAtStart) {
    struct Case {
        QStringList arguments;
        QString curveFile;
        QStringList errors;
    };
    const Case cases[] = {
        {{"/home/op/run.raz"}, "/home/op/run.raz", {}},
        {{"C:\\Curves\\RUN.ZAR", "--demo"}, "C:\\Curves\\RUN.ZAR", {}},
        {{"a.raz", "b.zar"}, "b.zar", {"b.zar"}},
        {{"notes.txt"}, QString(), {"notes.txt"}},
        {{"--journal", "x.raz"}, QString(), {}},
    };
    for (const Case& c : cases) {
        const BrimvoltOptions options = ParseOptions(c.arguments);
        EXPECT_EQ(options.curveFile, c.curveFile) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(options.errors, c.errors) << c.arguments.join(' ').toStdString();
    }
}

}  // namespace
