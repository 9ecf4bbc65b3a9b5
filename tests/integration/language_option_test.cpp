#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// brimvolt with arguments and the locale variables given, the rest of them cleared.
ProgramRun Brimvolt(const QStringList& arguments, const QStringList& locale,
                    const QString& folder) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        environment.remove(QLatin1String(name));
    }
    for (const QString& variable : locale) {
        environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    }
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(folder);
    program.start(qEnvironmentVariable("BRIMVOLT_BIN") + QStringLiteral("/brimvolt"), arguments);
    ProgramRun run;
    if (!program.waitForFinished(60000)) {
        program.kill();
        program.waitForFinished();
        return run;
    }
    run.exitCode = program.exitCode();
    run.out = QString::fromUtf8(program.readAllStandardOutput());
    run.err = QString::fromUtf8(program.readAllStandardError());
    return run;
}

TEST(LanguageOption, ABadValueIsOneLineAndStatusTwo) {
    if (qEnvironmentVariableIsEmpty("BRIMVOLT_BIN")) {
        GTEST_SKIP() << "BRIMVOLT_BIN is not set";
    }
    QTemporaryDir folder;
    for (const QString& value : {QStringLiteral("de"), QString(), QStringLiteral("en_US")}) {
        const ProgramRun run = Brimvolt({QStringLiteral("--lang=") + value}, {}, folder.path());
        EXPECT_EQ(run.exitCode, 2) << value.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(
            run.err.contains(QStringLiteral("--lang takes ru or en, not \"%1\"").arg(value)))
            << run.err.toStdString();
    }
}

// The program as the system's locale and --lang leave it, told by the caption of the question it
// asks when it leaves during a run.
TEST(LanguageOption, TheProgramSpeaksTheChosenLanguage) {
    if (qEnvironmentVariableIsEmpty("BRIMVOLT_BIN")) {
        GTEST_SKIP() << "BRIMVOLT_BIN is not set";
    }
    struct Case {
        QStringList locale;
        QString option;
        const char16_t* caption;
    };
    const Case cases[] = {
        {{"LANG=en_US.UTF-8"}, "", u"[Warning!]"},
        {{"LANG=de_DE.UTF-8", "LANGUAGE=de:en"}, "", u"[Warning!]"},
        {{"LANG=ru_RU.UTF-8"}, "", u"[Внимание!]"},
        {{"LANG=fr_FR.UTF-8"}, "", u"[Внимание!]"},
        {{"LC_ALL=C", "LANGUAGE=en"}, "", u"[Внимание!]"},
        {{"LANG=en_US.UTF-8"}, "--lang=ru", u"[Внимание!]"},
        {{"LC_ALL=POSIX"}, "--lang=en", u"[Warning!]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.locale.join(' ') + ' ' + c.option).toStdString());
        QTemporaryDir folder;
        QStringList arguments = {QStringLiteral("--demo=400"), QStringLiteral("--headless-demo=1")};
        if (!c.option.isEmpty()) {
            arguments.append(c.option);
        }
        const ProgramRun run = Brimvolt(arguments, c.locale, folder.path());
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromUtf16(c.caption))) << run.err.toStdString();
    }
}

}  // namespace
