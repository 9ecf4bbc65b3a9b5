#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

namespace {

// The language as the program takes it from its locale and --lang, told by the caption of the
// question it asks when it leaves during a run; a --lang it does not have is one line, status 2.
TEST(LanguageOption, TheProgramSpeaksTheLanguageChosen) {
    if (qEnvironmentVariableIsEmpty("BRIMVOLT_BIN")) {
        GTEST_SKIP() << "BRIMVOLT_BIN is not set";
    }
    struct Case {
        QStringList locale;
        QStringList options;
        int exitCode;
        const char16_t* said;
    };
    const Case cases[] = {
        {{"LANG=de_DE.UTF-8", "LANGUAGE=de:en"}, {}, 0, u"[Warning!]"},
        {{"LC_ALL=C", "LANGUAGE=en"}, {}, 0, u"[Внимание!]"},
        {{"LANG=en_US.UTF-8"}, {"--lang=ru"}, 0, u"[Внимание!]"},
        {{"LC_ALL=POSIX"}, {"--lang=en"}, 0, u"[Warning!]"},
        {{}, {"--lang=de"}, 2, u"brimvolt: --lang takes ru or en, not \"de\"\n"},
        // Told before any window.
        {{"LANG=en_US.UTF-8"}, {"--mqtt", "ftp://x"}, 2, u"brimvolt: Invalid MQTT broker address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.locale + c.options).join(' ').toStdString());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            environment.remove(name);
        }
        for (const QString& variable : c.locale) {
            environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
        }
        QTemporaryDir folder;
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(folder.path());
        const QStringList arguments = QStringList{"--demo=400", "--headless-demo=1"} + c.options;
        program.start(qEnvironmentVariable("BRIMVOLT_BIN") + "/brimvolt", arguments);
        ASSERT_TRUE(program.waitForFinished(60000));
        const QString err = QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(program.exitCode(), c.exitCode) << err.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf16(c.said))) << err.toStdString();
        if (c.exitCode != 0) {
            EXPECT_EQ(err.count(u'\n'), 1) << err.toStdString();
        }
    }
}

}  // namespace
