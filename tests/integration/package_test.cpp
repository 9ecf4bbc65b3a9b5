#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <map>
#include <vector>
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

TEST_F(InstalledPackage, DesktopEntriesStartTheInstalledProgram) {
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
    // The bench's entry starts the same program on the bench, and opens no curve files.
    keys = DesktopEntry(Installed("share/applications/org.example.brimvolt.bench.desktop"));
    EXPECT_EQ(keys["Exec"], exec + " --bench");
    EXPECT_EQ(keys.count("MimeType"), 0u);
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

TEST_F(InstalledPackage, EveryProgramHasAManualPageWithEachOfItsOptions) {
    const QStringList programs = QDir(Installed("bin")).entryList(QDir::Files);
    ASSERT_FALSE(programs.isEmpty());
    static const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*"));
    for (const QString& program : programs) {
        SCOPED_TRACE(program.toStdString());
        const ProgramRun page =
            Execute("gzip", {"-dc", Installed("share/man/man1/" + program + ".1.gz")});
        ASSERT_TRUE(page.finished && page.exitCode == 0) << page.err.toStdString();
        const QString text = QString::fromUtf8(page.out).replace(QStringLiteral("\\-"), "-");
        EXPECT_TRUE(text.contains(".TH " + program.toUpper() + " \"1\"")) << "not a section 1 page";
        // What the include file adds to what --help says.
        for (const char* section : {".SH NAME", ".SH FILES", ".SH ENVIRONMENT", ".SH EXAMPLES"}) {
            EXPECT_TRUE(text.contains(section)) << section;
        }
        const ProgramRun help = Execute(Installed("bin/" + program), {"--help"});
        ASSERT_EQ(help.exitCode, 0);
        int options = 0;
        for (auto match = option.globalMatch(QString::fromUtf8(help.out)); match.hasNext();) {
            const QString name = match.next().captured();
            EXPECT_TRUE(text.contains(name)) << name.toStdString() << " is not on the page";
            ++options;
        }
        EXPECT_GT(options, 0);
    }
}

// packaging/check-package, which make package runs on the .deb, passes each installed file and
// refuses a copy broken in one place: errors and mere hints alike.
TEST_F(InstalledPackage, PackageChecksPassTheRealFilesAndRefuseBrokenCopies) {
    const QString script = QStringLiteral(BRIMVOLT_SOURCE_DIR "/packaging/check-package");
    struct Breakage {
        const char* check;
        const char* installed;
        const char* from;
        const char* to;
    };
    const std::vector<Breakage> breakages = {
        {"desktop", "share/applications/org.example.brimvolt.desktop", "Type=Application\n", ""},
        {"desktop", "share/applications/org.example.brimvolt.desktop",
         "Categories=Science;Electronics;", "Categories=Electronics;"},  // a hint only
        {"metainfo", "share/metainfo/org.example.brimvolt.metainfo.xml",
         "<metadata_license>FSFAP</metadata_license>", ""},
        {"metainfo", "share/metainfo/org.example.brimvolt.metainfo.xml", "module</summary>",
         "module.</summary>"},  // an info only
        {"metainfo", "share/metainfo/org.example.brimvolt.metainfo.xml", "<content_rating",
         "<content_ratings"},
        {"man", "share/man/man1/brimvolt.1.gz", ".SH FILES", ".XY FILES"},
        {"man", "share/man/man1/brimvolt-sim.1.gz", ".SH EXAMPLES", ".SH EXAMPLES\n\\*[nosuch]"},
    };
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    for (const Breakage& breakage : breakages) {
        SCOPED_TRACE(std::string(breakage.check) + ": " + breakage.from + " -> " + breakage.to);
        const QString real = Installed(breakage.installed);
        const ProgramRun pass = Execute(script, {breakage.check, real});
        ASSERT_TRUE(pass.finished);
        EXPECT_EQ(pass.exitCode, 0) << pass.err.toStdString();

        QByteArray text;
        if (real.endsWith(".gz")) {
            text = Execute("gzip", {"-dc", real}).out;
        } else {
            QFile file(real);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            text = file.readAll();
        }
        ASSERT_TRUE(text.contains(breakage.from));
        text.replace(breakage.from, breakage.to);
        QFile broken(work.filePath(QFileInfo(real).fileName().remove(QRegularExpression("\\.gz$"))));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write(text);
        broken.close();
        const ProgramRun refuse = Execute(script, {breakage.check, broken.fileName()});
        ASSERT_TRUE(refuse.finished);
        EXPECT_EQ(refuse.exitCode, 1) << refuse.out.toStdString() << refuse.err.toStdString();
        EXPECT_TRUE(refuse.err.contains("check-package: ")) << refuse.err.toStdString();
    }

    // lintian: a package with a program and nothing else Debian asks for (copyright, changelog,
    // manual page), built as dpkg-deb builds the real one.
    QDir root(work.filePath("root"));
    ASSERT_TRUE(root.mkpath("DEBIAN") && root.mkpath("usr/bin"));
    QFile control(root.filePath("DEBIAN/control"));
    ASSERT_TRUE(control.open(QIODevice::WriteOnly));
    control.write(
        "Package: brimvolt-broken\nVersion: 1.0\nArchitecture: all\n"
        "Maintainer: Brimvolt maintainers <brimvolt@example.org>\n"
        "Depends: libc6, libqt6dbus6 (>= 6.4), libqt6dbus6 (>= 6.4.2)\n"
        "Description: a package lintian must refuse\n not for use\n");
    control.close();
    QFile program(root.filePath("usr/bin/brimvolt-broken"));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\necho broken\n");
    program.close();
    program.setPermissions(program.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                           QFileDevice::ExeOther);
    const QString deb = work.filePath("broken.deb");
    const ProgramRun build =
        Execute("dpkg-deb", {"--root-owner-group", "--build", root.path(), deb});
    ASSERT_EQ(build.exitCode, 0) << build.err.toStdString();
    const ProgramRun lintian = Execute(script, {"lintian", deb});
    ASSERT_TRUE(lintian.finished);
    EXPECT_EQ(lintian.exitCode, 1) << lintian.err.toStdString();
    EXPECT_TRUE(lintian.err.contains("no-copyright-file")) << lintian.err.toStdString();
    const ProgramRun depends = Execute(script, {"depends", deb});
    ASSERT_TRUE(depends.finished);
    EXPECT_EQ(depends.exitCode, 1);
    EXPECT_TRUE(depends.err.contains("more than once: libqt6dbus6\n")) << depends.err.toStdString();
}

// The changelog the package ships tells of each part the release brought.
TEST_F(InstalledPackage, ChangelogTellsOfCellsPacksLabelsAndPrograms) {
    const ProgramRun changelog =
        Execute("gzip", {"-dc", Installed("share/doc/brimvolt/changelog.gz")});
    ASSERT_TRUE(changelog.finished && changelog.exitCode == 0) << changelog.err.toStdString();
    for (const char* part : {"cell register", "Packs", "Cell labels", "Test programs"}) {
        EXPECT_TRUE(changelog.out.contains(part)) << part;
    }
}
