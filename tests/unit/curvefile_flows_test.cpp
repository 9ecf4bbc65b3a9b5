#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "curvefile/CurveFileWriter.h"
#include "curvefile/CurveFlows.h"
#include "platform/Text.h"
#include "support/FileTraps.h"
#include "support/ScriptedDialogs.h"

namespace brimvolt {
namespace {

using platform::Answer;
using platform::Buttons;

const QString kNothingToSave =
    QString::fromUtf16(u"Разряд не начинался.\r\nВ файле сохранять нечего.");
const QString kCannotCreate = QString::fromUtf16(u"Не удалось создать файл с таким именем.");
const QString kCannotOpen = QString::fromUtf16(u"Не удалось открыть файл.");
const QString kUnreadable = QString::fromUtf16(u"Не удалось прочитать кривую из файла.");
const QString kDischargeTitle = QString::fromUtf16(u"Разрядная кривая - ");
const QString kChargeTitle = QString::fromUtf16(u"Зарядная кривая - ");

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray Utf16File(const QString& text) {
    return QByteArray("\xFF\xFE", 2) + platform::Utf16LeBytes(text);
}

class CurveFlows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path() + "/";
        store->curveCapacityText = "2.345Ah";
        store->lastIndex = -1;
        for (const std::uint16_t mv : {4100, 4050, 4000}) {
            store->Append(store->lastIndex + 1, mv);
        }
        store->durationSeconds = 2;
    }

    CurveWindowContext Context() {
        return {*store, dialogs, nullptr, folder, [this](const QString& t) { title = t; }};
    }

    QTemporaryDir dir;
    QString folder;
    std::unique_ptr<CurveStore> store = std::make_unique<CurveStore>();
    testing::ScriptedDialogs dialogs;
    QString title = "untouched";
};

TEST_F(CurveFlows, SaveRefusesACurveThatNeverStarted) {
    store->durationSeconds = 0;
    auto context = Context();
    SaveCurve(context);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, kNothingToSave);
    EXPECT_EQ(dialogs.messages[0].caption, QString::fromUtf16(u"Ошибка"));
    EXPECT_EQ(dialogs.messages[0].buttons, Buttons::Ok);
    EXPECT_TRUE(dialogs.saveAsked.isEmpty());
}

TEST_F(CurveFlows, SaveProposesAPlainFileNameFromTheCapacity) {
    struct Case {
        const char16_t* capacity;
        int charge;
        const char16_t* proposed;
    };
    const Case cases[] = {
        {u"", 0, u"Безымянный.raz"},     {u"", 1, u"Безымянный.zar"},
        {u"2.345Ah", 0, u"2.345Ah.raz"}, {u"2.345Ah", 1, u"2.345Ah.zar"},
        {u" 1 .5 Ah", 0, u"1.5Ah.raz"},  {u"a/b\\c:d*e?f\"g<h>i|j\tk", 0, u"abcdefghijk.raz"},
        {u"///", 0, u"Безымянный.raz"},
    };
    for (const auto& c : cases) {
        store->curveCapacityText = QString::fromUtf16(c.capacity);
        store->chargeCurve = c.charge;
        dialogs.saveAsked.clear();
        auto context = Context();
        SaveCurve(context);  // cancelled: the script has no path
        ASSERT_EQ(dialogs.saveAsked.size(), 1);
        const auto& asked = dialogs.saveAsked[0];
        EXPECT_EQ(asked.proposedName, QString::fromUtf16(c.proposed));
        EXPECT_EQ(store->curveFileName, QString::fromUtf16(c.proposed));
        EXPECT_EQ(asked.folder, folder);
        ASSERT_EQ(asked.filters.size(), 1);
        EXPECT_EQ(asked.filters[0].pattern, c.charge ? "*.zar" : "*.raz");
        EXPECT_EQ(asked.filters[0].text,
                  c.charge ? QString::fromUtf16(u"Файлы сохранённых зарядов *.zar")
                           : QString::fromUtf16(u"Файлы сохранённых разрядов *.raz"));
    }
    EXPECT_EQ(title, "untouched");
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
}

TEST_F(CurveFlows, SaveAppendsTheExtensionOnlyWhenThePathLacksIt) {
    ASSERT_TRUE(QDir(folder).mkpath("x.raz"));
    ASSERT_TRUE(QDir(folder).mkpath("y.zar"));
    struct Case {
        QString chosen;
        int charge;
        QString written;
    };
    const Case cases[] = {
        {folder + "curve1", 0, folder + "curve1.raz"},
        {folder + "curve2.raz", 0, folder + "curve2.raz"},
        {folder + "x.raz/curve3", 0, folder + "x.raz/curve3"},
        {folder + "curve4.RAZ", 0, folder + "curve4.RAZ.raz"},
        {folder + "curve5", 1, folder + "curve5.zar"},
        {folder + "curve6.raz", 1, folder + "curve6.raz.zar"},
        {folder + "y.zar/curve7", 1, folder + "y.zar/curve7"},
    };
    for (const auto& c : cases) {
        store->chargeCurve = c.charge;
        dialogs.paths = {c.chosen};
        auto context = Context();
        SaveCurve(context);
        EXPECT_EQ(ReadFile(c.written), CurveFileBytes(*store)) << c.written.toStdString();
        EXPECT_EQ(store->curveFileName, c.written);
        EXPECT_EQ(title, (c.charge ? kChargeTitle : kDischargeTitle) + c.written);
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(CurveFlows, SaveAsksBeforeReplacingAFileNamedByTheAppendedExtension) {
    const QByteArray old("keep me");
    WriteFile(folder + "curve.raz", old);

    dialogs.paths = {folder + "curve"};
    dialogs.answers = {Answer::Cancel};
    auto context = Context();
    SaveCurve(context);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].caption, QString::fromUtf16(u"Внимание!"));
    EXPECT_EQ(dialogs.messages[0].buttons, Buttons::OkCancel);
    EXPECT_TRUE(dialogs.messages[0].text.contains("curve.raz"));
    EXPECT_EQ(ReadFile(folder + "curve.raz"), old);
    EXPECT_EQ(title, "untouched");

    dialogs.paths = {folder + "curve"};
    dialogs.answers = {Answer::Ok};
    SaveCurve(context);
    EXPECT_EQ(ReadFile(folder + "curve.raz"), CurveFileBytes(*store));
    EXPECT_EQ(title, kDischargeTitle + folder + "curve.raz");

    // A name chosen with its extension was asked about by the dialog itself.
    dialogs.messages.clear();
    dialogs.paths = {folder + "curve.raz"};
    SaveCurve(context);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(CurveFlows, FailedSaveReportsAndKeepsTitleAndFiles) {
    dialogs.paths = {folder + "missing/curve.raz"};
    auto context = Context();
    SaveCurve(context);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, kCannotCreate);
    EXPECT_EQ(dialogs.messages[0].caption, QString::fromUtf16(u"Ошибка"));
    EXPECT_EQ(title, "untouched");
    EXPECT_FALSE(QFile::exists(folder + "missing"));

    // A folder in the way is left as it was, and the failure is said.
    ASSERT_TRUE(QDir(folder).mkdir("busy.raz"));
    dialogs.paths = {folder + "busy.raz"};
    SaveCurve(context);
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(dialogs.messages[1].caption, QString::fromUtf16(u"Ошибка"));
    EXPECT_TRUE(QFileInfo(folder + "busy.raz").isDir());
}

// A folder that refuses new entries but lets its files be rewritten in place: the file is
// rewritten there, as an editor would.
TEST_F(CurveFlows, SaveIntoALockedFolderRewritesTheFileInPlace) {
    ASSERT_TRUE(QDir(folder).mkdir("locked"));
    const QString path = folder + "locked/curve.raz";
    const QByteArray old("the old curve");
    WriteFile(path, old);
    if (QProcess::execute("chattr", {"+i", folder + "locked"}) != 0) {
        GTEST_SKIP() << "chattr +i is not available here";
    }
    dialogs.paths = {path};
    auto context = Context();
    SaveCurve(context);
    QProcess::execute("chattr", {"-i", folder + "locked"});

    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(ReadFile(path), CurveFileBytes(*store));
    EXPECT_EQ(title, kDischargeTitle + path);
}

// A full disk keeps the old file whole; a device or a FIFO under the chosen name stays what it
// is. Either way the failure is said.
TEST_F(CurveFlows, SaveThatCannotWriteAWholeFileSaysSo) {
    const std::optional<testing::Node> nodes[] = {
        {}, testing::Node::NullDevice, testing::Node::Fifo};
    for (const auto& node : nodes) {
        const QString path = folder + QString::number(node ? int(*node) : -1) + ".raz";
        ASSERT_TRUE(node ? testing::MakeNode(path, *node) : (WriteFile(path, "old"), true));
        dialogs.messages.clear();
        dialogs.paths = {path};
        auto context = Context();
        // Without a node the disk is full at 64 bytes.
        testing::OnFullDisk(node ? 0 : 64, [&] { return SaveCurve(context), true; });
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_TRUE(dialogs.messages[0].text.startsWith(
            node ? kCannotCreate : QString::fromUtf16(u"Не удалось записать файл.\nПричина: ")));
        EXPECT_EQ(QFileInfo(path).isFile(), !node);
        EXPECT_TRUE(node || ReadFile(path) == "old");
    }
    EXPECT_EQ(title, "untouched");
}

TEST_F(CurveFlows, LoadDuringARunWarnsAndCancelEndsIt) {
    store->runActive = 1;
    for (const int charge : {0, 1}) {
        store->chargeCurve = charge;
        dialogs.messages.clear();
        dialogs.answers = {Answer::Cancel};
        auto context = Context();
        EXPECT_FALSE(LoadCurve(context));
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_EQ(dialogs.messages[0].text,
                  charge ? QString::fromUtf16(u"Идет заряд!\nЗагрузка графика невозможна!")
                         : QString::fromUtf16(u"Идет разряд!\nЗагрузка графика невозможна!"));
        EXPECT_EQ(dialogs.messages[0].caption, QString::fromUtf16(u"Внимание!"));
        EXPECT_EQ(dialogs.messages[0].buttons, Buttons::OkCancel);
    }
    EXPECT_TRUE(dialogs.openAsked.isEmpty());

    // OK goes on to the file dialog.
    dialogs.answers = {Answer::Ok};
    auto context = Context();
    EXPECT_FALSE(LoadCurve(context));
    EXPECT_EQ(dialogs.openAsked.size(), 1);
}

TEST_F(CurveFlows, LoadOffersTheCurrentCurveTypeFirst) {
    for (const int charge : {0, 1, 7}) {
        store->chargeCurve = charge;
        dialogs.openAsked.clear();
        auto context = Context();
        EXPECT_FALSE(LoadCurve(context));
        ASSERT_EQ(dialogs.openAsked.size(), 1);
        const auto& filters = dialogs.openAsked[0].filters;
        ASSERT_EQ(filters.size(), 2);
        EXPECT_EQ(filters[0].pattern, charge ? "*.zar" : "*.raz");
        EXPECT_EQ(filters[1].pattern, charge ? "*.raz" : "*.zar");
        EXPECT_EQ(dialogs.openAsked[0].folder, folder);
    }
    EXPECT_EQ(store->lastIndex, 2);
}

TEST_F(CurveFlows, LoadReplacesTheCurveAndTitlesItByThePath) {
    const QByteArray file = Utf16File(QString::fromUtf16(u"\uFEFFЕмкость: 1.250Ah\r\n") +
                                      "U_0=3,800\r\nU_1=3,800\r\nU_2=3,790\r\n");
    ASSERT_TRUE(QDir(folder).mkdir("old.raz"));
    struct Case {
        QString path;
        QString titlePrefix;
    };
    const Case cases[] = {
        {folder + "a.raz", kDischargeTitle},
        {folder + "b.zar", kChargeTitle},
        {folder + "old.raz/c.zar", kDischargeTitle},
        {folder + "d.txt", kChargeTitle},
    };
    store->chargeCurve = 1;
    for (const auto& c : cases) {
        WriteFile(c.path, file);
        dialogs.paths = {c.path};
        auto context = Context();
        EXPECT_TRUE(LoadCurve(context));
        EXPECT_EQ(title, c.titlePrefix + c.path);
        EXPECT_EQ(store->curveFileName, c.path);
        EXPECT_EQ(store->curveCapacityText, "1.250Ah");
        EXPECT_EQ(store->lastIndex, 1);
        EXPECT_EQ(store->durationSeconds, 2);
        EXPECT_EQ(store->sampleMillivolts[1], 3790);
        EXPECT_EQ(store->chargeCurve, 1);
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(CurveFlows, FailedLoadChangesNothing) {
    WriteFile(folder + "text.raz", Utf16File("just some notes\r\n"));
    // Neither is opened: a FIFO would hold the window until someone wrote to it.
    ASSERT_TRUE(testing::MakeNode(folder + "fifo.raz", testing::Node::Fifo));
    ASSERT_TRUE(testing::MakeNode(folder + "null.raz", testing::Node::NullDevice));
    struct Case {
        QString path;
        QString message;
    };
    const Case cases[] = {
        {folder + "nothere.raz", kCannotOpen},
        {folder + "text.raz", kUnreadable},
        {folder + "fifo.raz", kCannotOpen},
        {folder + "null.raz", kCannotOpen},
    };
    store->curveFileName = "before.raz";
    for (const auto& c : cases) {
        dialogs.messages.clear();
        dialogs.paths = {c.path};
        auto context = Context();
        EXPECT_FALSE(LoadCurve(context));
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_EQ(dialogs.messages[0].text, c.message);
        EXPECT_EQ(dialogs.messages[0].caption, QString::fromUtf16(u"Ошибка!"));
        EXPECT_EQ(title, "untouched");
        EXPECT_EQ(store->curveFileName, "before.raz");
        EXPECT_EQ(store->curveCapacityText, "2.345Ah");
        EXPECT_EQ(store->lastIndex, 2);
        EXPECT_EQ(store->durationSeconds, 2);
        EXPECT_EQ(store->sampleMillivolts[2], 4000);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
}

TEST_F(CurveFlows, FileWithoutDataLinesLoadsAsAnEmptyCurveThatSaveRefuses) {
    WriteFile(folder + "empty.raz",
              Utf16File(QString::fromUtf16(u"Емкость: 0.5Ah\r\nСекунды\tНапряжение\r\n")));
    dialogs.paths = {folder + "empty.raz"};
    auto context = Context();
    EXPECT_TRUE(LoadCurve(context));
    EXPECT_EQ(store->lastIndex, 0);
    EXPECT_EQ(store->durationSeconds, 0);
    EXPECT_EQ(store->curveCapacityText, "0.500Ah");

    SaveCurve(context);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, kNothingToSave);
}

TEST_F(CurveFlows, OverlongFileLoadsTheFirstPointsAndSaysSoOnce) {
    QByteArray bytes = Utf16File(QString::fromUtf16(u"Емкость: 9Ah\r\nСекунды\tНапряжение\r\n"));
    for (std::int32_t i = 0; i < CurveStore::kCapacity + 2; ++i) {
        const QByteArray line = QByteArray::number(i) + "\t" + QByteArray::number(i % 2) + "\tV\n";
        for (const char c : line) {
            bytes.append(c);
            bytes.append('\0');
        }
    }
    WriteFile(folder + "long.raz", bytes);
    dialogs.paths = {folder + "long.raz"};
    auto context = Context();
    EXPECT_TRUE(LoadCurve(context));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].caption, QString::fromUtf16(u"Внимание!"));
    EXPECT_EQ(dialogs.messages[0].buttons, Buttons::Ok);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QString::number(CurveStore::kCapacity)));
    EXPECT_EQ(store->lastIndex, CurveStore::kCapacity - 1);
    EXPECT_EQ(store->durationSeconds, CurveStore::kCapacity - 1);
    EXPECT_EQ(title, kDischargeTitle + folder + "long.raz");
}

}  // namespace
}  // namespace brimvolt
