#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <map>
#include <memory>

#include "platform/Text.h"

// Installs the build into a scratch root, as `cmake --install` and the .deb do, and runs the
// installed programs from there: a missing install rule or a program that only works from the
// build folder shows up here, not on an operator's machine.

namespace {

struct ProgramRun {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ProgramRun Execute(const QString& program, const QStringList& arguments, int timeoutMs = 120000) {
    QProcess process;
    process.start(program, arguments);
    ProgramRun run;
    run.finished =
        process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The keys of the [Desktop Entry] group.
std::map<QString, QString> DesktopEntry(const QString& path) {
    std::map<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return keys;
    }
    bool inGroup = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith('[')) {
            inGroup = line == "[Desktop Entry]";
        } else if (inGroup && line.contains('=') && !line.startsWith('#')) {
            keys[line.section('=', 0, 0).trimmed()] = line.section('=', 1).trimmed();
        }
    }
    return keys;
}

class InstalledPackage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root = std::make_unique<QTemporaryDir>();
        const QString cmake = QStandardPaths::findExecutable("cmake");
        const QString buildFolder =
            QFileInfo(qEnvironmentVariable("BRIMVOLT_BIN") + "/..").canonicalFilePath();
        if (cmake.isEmpty() || buildFolder.isEmpty() || !root->isValid()) {
            return;
        }
        installRun = Execute(cmake, {"--install", buildFolder, "--prefix", root->path()});
    }
    static void TearDownTestSuite() { root.reset(); }

    void SetUp() override {
        ASSERT_TRUE(installRun.finished && installRun.exitCode == 0)
            << "cmake --install failed:\n"
            << installRun.out.toStdString() << installRun.err.toStdString();
    }

    static QString Installed(const QString& relative) { return root->filePath(relative); }

    static inline std::unique_ptr<QTemporaryDir> root;
    static inline ProgramRun installRun;
};

}  // namespace

TEST_F(InstalledPackage, PutsProgramsEntryAndIconsInPlace) {
    for (const char* program :
         {"bin/brimvolt", "bin/brimvolt-sim", "bin/brimvolt-curve", "bin/brimvolt-journal"}) {
        const QFileInfo info(Installed(program));
        EXPECT_TRUE(info.isFile() && info.isExecutable()) << program;
    }
    struct Icon {
        const char* path;
        int size;
    };
    for (const Icon& icon : {Icon{"share/icons/hicolor/32x32/apps/brimvolt.png", 32},
                             Icon{"share/icons/hicolor/128x128/apps/brimvolt.png", 128}}) {
        const QImage image(Installed(icon.path));
        EXPECT_EQ(image.size(), QSize(icon.size, icon.size)) << icon.path;
    }
}

TEST_F(InstalledPackage, DesktopEntryStartsTheInstalledProgram) {
    auto keys = DesktopEntry(Installed("share/applications/org.example.brimvolt.desktop"));
    ASSERT_FALSE(keys.empty()) << "no [Desktop Entry] group";
    EXPECT_EQ(keys["Type"], "Application");
    EXPECT_EQ(keys["Terminal"], "false");
    EXPECT_FALSE(keys["Name"].isEmpty());
    EXPECT_TRUE(keys["Categories"].endsWith(';'));
    // Exec names a program the package installs, found on PATH under its bare name.
    const QString exec = keys["Exec"].section(' ', 0, 0);
    EXPECT_FALSE(exec.contains('/')) << exec.toStdString();
    EXPECT_TRUE(QFileInfo(Installed("bin/" + exec)).isExecutable()) << exec.toStdString();
    // Icon is a theme name the package installs.
    EXPECT_TRUE(
        QFileInfo::exists(Installed("share/icons/hicolor/32x32/apps/" + keys["Icon"] + ".png")))
        << keys["Icon"].toStdString();
}

TEST_F(InstalledPackage, CurveToolRunsFromTheInstalledPath) {
    const QString tool = Installed("bin/brimvolt-curve");
    const ProgramRun help = Execute(tool, {"--help"});
    ASSERT_TRUE(help.finished);
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.contains("brimvolt-curve")) << help.out.toStdString();

    // And does real work there: a small curve file read back.
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    QFile curve(work.filePath("curve.raz"));
    ASSERT_TRUE(curve.open(QIODevice::WriteOnly));
    curve.write(QByteArray("\xFF\xFE", 2) +
                brimvolt::platform::Utf16LeBytes(
                    QString::fromUtf16(u"Емкость: 0.012Ah\r\nВремя: 00:00:03\r\n\r\n"
                                       u"Секунды\tНапряжение\r\n0\t3,800\tV\r\n3\t3,790\tV\r\n")));
    curve.close();
    const ProgramRun info = Execute(tool, {"info", curve.fileName()});
    ASSERT_TRUE(info.finished);
    EXPECT_EQ(info.exitCode, 0) << info.err.toStdString();
    EXPECT_TRUE(info.out.contains("0.012Ah")) << info.out.toStdString();
}
