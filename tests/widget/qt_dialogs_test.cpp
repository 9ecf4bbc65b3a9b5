#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <functional>

#include "platform/QtDialogs.h"
#include "platform/QtTranslation.h"

// Failures show the texts, not their UTF-16 code units.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

using brimvolt::platform::Answer;
using brimvolt::platform::Buttons;
using brimvolt::platform::CQtDialogs;
using brimvolt::platform::FileFilter;

namespace {

const FileFilter kDischarge{QStringLiteral("Файлы сохранённых разрядов *.raz"),
                            QStringLiteral("*.raz")};
const FileFilter kCharge{QStringLiteral("Файлы сохранённых зарядов *.zar"),
                         QStringLiteral("*.zar")};

// Hands the modal dialog the seam opens to `look` once it is up, then closes it with Escape.
void WhenModal(const std::function<void(QWidget*)>& look) {
    QTimer::singleShot(0, [look] {
        QWidget* modal = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return (modal = QApplication::activeModalWidget()) != nullptr;
        })) << "no dialog came up";
        look(modal);
        QTest::keyClick(modal, Qt::Key_Escape);
    });
}

struct FileDialogSeen {
    QStringList types;     // the type list as shown
    QStringList patterns;  // what the listing filters by
    QStringList listed;    // the files shown
    QString acceptText;    // "Save" / "Open" button
};

FileDialogSeen LookAtFileDialog(QWidget* modal) {
    FileDialogSeen seen;
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) {
        ADD_FAILURE() << "not a file dialog: " << modal->metaObject()->className();
        return seen;
    }
    if (auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        for (int i = 0; i < types->count(); ++i) {
            seen.types.append(types->itemText(i));
        }
    }
    if (auto* model = dialog->findChild<QFileSystemModel*>()) {
        seen.patterns = model->nameFilters();
        EXPECT_FALSE(model->nameFilterDisables()) << "files of other types would only be greyed";
    }
    if (auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"))) {
        // The folder is read on a thread; the first files to arrive show whether any slips by.
        EXPECT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) > 0; }))
            << "the folder was never listed";
        for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row) {
            seen.listed.append(list->model()->index(row, 0, list->rootIndex()).data().toString());
        }
    }
    if (auto* buttons = dialog->findChild<QDialogButtonBox*>()) {
        const QList<QAbstractButton*> all = buttons->buttons();
        for (QAbstractButton* button : all) {
            if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) {
                seen.acceptText = button->text();
            }
        }
    }
    return seen;
}

class QtDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        for (const char* name : {"a.raz", "b.zar", "c.txt"}) {
            QFile file(folder.filePath(QLatin1String(name)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
    }

    QTemporaryDir folder;
    CQtDialogs dialogs;
};

TEST_F(QtDialogsTest, FileDialogsShowTheFilterTextsOnceAndStillFilterByThePattern) {
    struct Case {
        bool save;
        QList<FileFilter> filters;
        QStringList listed;
    };
    const Case cases[] = {
        {true, {kDischarge}, {"a.raz"}},
        {false, {kCharge, kDischarge}, {"b.zar"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.save ? "save" : "open");
        FileDialogSeen seen;
        WhenModal([&](QWidget* modal) { seen = LookAtFileDialog(modal); });
        const QString chosen = c.save
                                   ? dialogs.SaveFileName(nullptr, folder.path(), "x", c.filters[0])
                                   : dialogs.OpenFileName(nullptr, folder.path(), c.filters);
        EXPECT_TRUE(chosen.isEmpty());
        QStringList texts;
        for (const FileFilter& filter : c.filters) {
            texts.append(filter.text);
        }
        EXPECT_EQ(seen.types, texts);
        EXPECT_EQ(seen.patterns, QStringList{c.filters[0].pattern});
        EXPECT_EQ(seen.listed, c.listed);
    }
}

TEST_F(QtDialogsTest, QtsOwnTextsSpeakRussianWhileTheTranslationIsInstalled) {
    EXPECT_EQ(brimvolt::platform::InstallQtTranslation(QStringLiteral("xx")), nullptr);

    std::unique_ptr<QTranslator> russian =
        brimvolt::platform::InstallQtTranslation(QStringLiteral("ru"));
    ASSERT_NE(russian, nullptr) << "qtbase_ru.qm is missing (Debian: qt6-translations-l10n)";

    QString cancelText;
    WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        ASSERT_NE(box->button(QMessageBox::Cancel), nullptr);
        cancelText = box->button(QMessageBox::Cancel)->text();
    });
    EXPECT_EQ(dialogs.Message(nullptr, QStringLiteral("Идет разряд! Выйти из программы?"),
                              QStringLiteral("Внимание!"), Buttons::OkCancel),
              Answer::Cancel);
    EXPECT_EQ(cancelText, QStringLiteral("Отмена"));

    FileDialogSeen seen;
    WhenModal([&](QWidget* modal) { seen = LookAtFileDialog(modal); });
    dialogs.SaveFileName(nullptr, folder.path(), QStringLiteral("x"), kDischarge);
    EXPECT_EQ(seen.acceptText.remove(QLatin1Char('&')), QStringLiteral("Сохранить"));

    // Qt's texts go back to English with the translator.
    russian.reset();
    QDialogButtonBox buttons(QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
}

}  // namespace
