#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace {

struct Entry {
    QString context;
    QString source;
    QString translation;
    QString type;  // "unfinished", "vanished", "obsolete" or empty for a finished one
};

QList<Entry> ReadTs(const QString& path) {
    QList<Entry> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return entries;
    }
    QXmlStreamReader xml(&file);
    QString context;
    Entry entry;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            entry = Entry{context, {}, {}, {}};
        } else if (xml.name() == u"source") {
            // lupdate writes a carriage return as <byte value="xd"/>.
            entry.source = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.name() == u"translation") {
            entry.type = xml.attributes().value(QStringLiteral("type")).toString();
            entry.translation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            entries.append(entry);
        }
    }
    EXPECT_FALSE(xml.hasError()) << path.toStdString() << ": " << xml.errorString().toStdString();
    return entries;
}

// The %1… a text fills in, in order of number.
QStringList Placeholders(const QString& text) {
    QStringList found;
    static const QRegularExpression placeholder(QStringLiteral("%\\d+"));
    for (const QRegularExpressionMatch& match : placeholder.globalMatch(text)) {
        found.append(match.captured());
    }
    found.sort();
    return found;
}

// The translations as they stand, brought up to date with the sources in a copy: a text added to
// the sources and not translated shows as unfinished, one removed from them as vanished.
TEST(Translations, EveryTextOfTheSourcesIsTranslatedAndNothingElse) {
    const QDir translations(QStringLiteral(BRIMVOLT_SOURCE_DIR "/translations"));
    const QStringList names = translations.entryList({QStringLiteral("*.ts")}, QDir::Files);
    ASSERT_FALSE(names.isEmpty());
    QTemporaryDir copies;
    ASSERT_TRUE(copies.isValid());
    QStringList copied;
    for (const QString& name : names) {
        copied.append(copies.filePath(name));
        ASSERT_TRUE(QFile::copy(translations.filePath(name), copied.last()));
    }
    QProcess lupdate;
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(
        QStringLiteral(BRIMVOLT_CMAKE),
        {QStringLiteral("-DLUPDATE=" BRIMVOLT_LUPDATE),
         QStringLiteral("-DSOURCE_DIR=" BRIMVOLT_SOURCE_DIR),
         QStringLiteral("-DTS_FILES=") + copied.join(QLatin1Char(';')), QStringLiteral("-P"),
         QStringLiteral(BRIMVOLT_SOURCE_DIR "/cmake/UpdateTranslations.cmake")});
    ASSERT_TRUE(lupdate.waitForFinished(120000));
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAll().toStdString();

    for (const QString& path : copied) {
        SCOPED_TRACE(path.toStdString());
        const QList<Entry> entries = ReadTs(path);
        EXPECT_FALSE(entries.isEmpty());
        for (const Entry& entry : entries) {
            const std::string where =
                (entry.context + QStringLiteral(": ") + entry.source).toStdString();
            EXPECT_EQ(entry.type, QString()) << where;
            EXPECT_FALSE(entry.translation.isEmpty()) << where;
            // A lost or extra %n shows the wrong value or a bare "%2" in the window.
            EXPECT_EQ(Placeholders(entry.translation), Placeholders(entry.source)) << where;
            // Padding and line breaks at the ends are part of the layout.
            EXPECT_EQ(entry.translation.endsWith(u' '), entry.source.endsWith(u' ')) << where;
            EXPECT_EQ(entry.translation.count(u'\n') > 0, entry.source.count(u'\n') > 0) << where;
        }
    }
}

}  // namespace
