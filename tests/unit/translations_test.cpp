#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace {

QStringList Placeholders(const QString& text) {
    static const QRegularExpression placeholder(QStringLiteral("%\\d+"));
    QStringList found;
    for (const QRegularExpressionMatch& match : placeholder.globalMatch(text)) {
        found.append(match.captured());
    }
    found.sort();
    return found;
}

// The translations brought up to date with the sources in a copy: a text added to the sources
// and not translated shows as unfinished, one gone from them as vanished.
TEST(Translations, EveryTextOfTheSourcesIsTranslatedAndNothingElse) {
    const QDir translations(QStringLiteral(BRIMVOLT_SOURCE_DIR "/translations"));
    QTemporaryDir copies;
    QStringList copied;
    for (const QString& name : translations.entryList({QStringLiteral("*.ts")}, QDir::Files)) {
        copied.append(copies.filePath(name));
        ASSERT_TRUE(QFile::copy(translations.filePath(name), copied.last()));
    }
    ASSERT_FALSE(copied.isEmpty());
    QProcess lupdate;
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(BRIMVOLT_CMAKE),
                  {QStringLiteral("-DLUPDATE=" BRIMVOLT_LUPDATE),
                   QStringLiteral("-DSOURCE_DIR=" BRIMVOLT_SOURCE_DIR),
                   QStringLiteral("-DTS_FILES=") + copied.join(u';'), QStringLiteral("-P"),
                   QStringLiteral(BRIMVOLT_SOURCE_DIR "/cmake/UpdateTranslations.cmake")});
    ASSERT_TRUE(lupdate.waitForFinished(120000));
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAll().toStdString();

    for (const QString& path : copied) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QString source;
        int messages = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            // lupdate writes a carriage return as <byte value="xd"/>.
            if (xml.isStartElement() && xml.name() == u"source") {
                source = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            } else if (xml.isStartElement() && xml.name() == u"translation") {
                ++messages;
                const QString type = xml.attributes().value(QStringLiteral("type")).toString();
                const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                const std::string where = (path + ": " + source).toStdString();
                EXPECT_EQ(type, QString()) << where;  // unfinished, vanished or obsolete
                EXPECT_FALSE(text.isEmpty()) << where;
                // A lost or extra %n shows the wrong value, or a bare "%2", in the window.
                EXPECT_EQ(Placeholders(text), Placeholders(source)) << where;
            }
        }
        EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        EXPECT_GT(messages, 0) << path.toStdString();
    }
}

}  // namespace
