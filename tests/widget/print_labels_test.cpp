// "Печать этикеток...": the file asked for, the PDF written, refusals told in a message.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "journal/Journal.h"
#include "labels/PrintLabels.h"
#include "labels/QrCode.h"
#include "support/ScriptedDialogs.h"

using namespace brimvolt;
using brimvolt::testing::ScriptedDialogs;

namespace {

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(PrintLabels, WritesThePdfOrSaysWhyNot) {
    if (!QrCodesAvailable()) {
        ScriptedDialogs dialogs;
        EXPECT_FALSE(PrintCellLabels(dialogs, "journal.sqlite", {"A"}, nullptr));
        ASSERT_EQ(dialogs.messages.size(), 1);
        GTEST_SKIP() << "this build draws no QR codes, and so makes no labels";
    }
    QTemporaryDir dir;
    const QString journalPath = dir.filePath("journal.sqlite");
    {
        CJournal journal;
        ASSERT_TRUE(journal.Open(journalPath).Usable());
        RunRecord run;
        run.startedUtc = 1'700'000'000;
        run.capacityMah = 2480;
        run.rinMohm = 37;
        ASSERT_EQ(journal.SaveRun(run, {}), CJournal::SaveResult::Saved);
        ASSERT_TRUE(journal.SetRunCell(run.id, QString::fromUtf8("Ячейка 1")));
    }
    const QByteArray journalBefore = Contents(journalPath);
    const QString out = dir.filePath("labels.pdf");
    const struct {
        QStringList cells;
        QString chosen;  // empty: the operator cancels
        bool written;
        const char* message;  // the start of the one message shown; empty for none
    } cases[] = {
        {{QString::fromUtf8("Ячейка 1")}, QString(), false, ""},
        {{}, out, false, "Выберите ячейки для этикеток."},
        {{QString::fromUtf8("Ячейка 1"), "X"}, out, false, "В журнале нет ячейки X."},
        {{QString::fromUtf8("Ячейка 1")}, journalPath, false,
         "Этикетки нельзя записать поверх журнала."},
        {{QString::fromUtf8("Ячейка 1")}, dir.filePath("no/such/folder/a.pdf"), false,
         "Не удалось записать файл"},
        {{QString::fromUtf8("Ячейка 1")}, out, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cells.join(',').toStdString() + " -> " + c.chosen.toStdString());
        ScriptedDialogs dialogs;
        dialogs.paths = {c.chosen};
        EXPECT_EQ(PrintCellLabels(dialogs, journalPath, c.cells, nullptr), c.written);
        EXPECT_EQ(Contents(out).startsWith("%PDF"), c.written);
        if (*c.message) {
            ASSERT_EQ(dialogs.messages.size(), 1);
            EXPECT_TRUE(dialogs.messages[0].text.startsWith(QString::fromUtf8(c.message)))
                << dialogs.messages[0].text.toStdString();
        } else {
            EXPECT_TRUE(dialogs.messages.isEmpty());
        }
    }
    EXPECT_EQ(Contents(journalPath), journalBefore);
    if (!QStandardPaths::findExecutable("pdftotext").isEmpty()) {
        QProcess text;
        text.start("pdftotext", {out, "-"});
        ASSERT_TRUE(text.waitForFinished(60000));
        const QString words = QString::fromUtf8(text.readAllStandardOutput());
        EXPECT_TRUE(words.contains(QString::fromUtf8("Ячейка 1"))) << words.toStdString();
        EXPECT_TRUE(words.contains(QString::fromUtf8("2480 мА·ч"))) << words.toStdString();
    }
}

}  // namespace
