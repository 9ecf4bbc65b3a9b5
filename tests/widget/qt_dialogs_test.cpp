#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <functional>

#include "platform/QtDialogs.h"
#include "platform/QtTranslation.h"

namespace {

using brimvolt::platform::FileFilter;
using Filters = std::pair<QStringList, QStringList>;  // texts shown, patterns the listing uses

// Hands the modal dialog `ask` opens to `look` once it is up, then closes it with Escape.
void WhenModal(const std::function<void(QWidget*)>& look, const std::function<void()>& ask) {
    QTimer::singleShot(0, [look] {
        QWidget* modal = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (modal = QApplication::activeModalWidget()); }));
        look(modal);
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    ask();
}

Filters FileDialogFilters(const std::function<void()>& ask) {
    Filters seen;
    WhenModal(
        [&](QWidget* modal) {
            const auto* types = modal->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            const auto* files = modal->findChild<QFileSystemModel*>();
            ASSERT_TRUE(types && files);
            for (int i = 0; i < types->count(); ++i) {
                seen.first.append(types->itemText(i));
            }
            // Files of other types are hidden, not merely greyed.
            if (!files->nameFilterDisables()) {
                seen.second = files->nameFilters();
            }
        },
        ask);
    return seen;
}

TEST(QtDialogs, FileDialogsShowTheFilterTextsOnceAndStillFilterByThePattern) {
    const FileFilter raz{"Файлы сохранённых разрядов *.raz", "*.raz"};
    const FileFilter zar{"Файлы сохранённых зарядов *.zar", "*.zar"};
    brimvolt::platform::CQtDialogs dialogs;
    EXPECT_EQ(FileDialogFilters([&] { dialogs.SaveFileName(nullptr, QDir::tempPath(), "x", raz); }),
              Filters({raz.text}, {raz.pattern}));
    EXPECT_EQ(FileDialogFilters([&] {
                  dialogs.OpenFileName(nullptr, QDir::tempPath(), {zar, raz});
              }),
              Filters({zar.text, raz.text}, {zar.pattern}));
}

TEST(QtDialogs, QtsOwnTextsSpeakRussianWhileTheTranslationIsInstalled) {
    EXPECT_EQ(brimvolt::platform::InstallQtTranslation(QStringLiteral("xx")), nullptr);
    std::unique_ptr<QTranslator> russian =
        brimvolt::platform::InstallQtTranslation(QStringLiteral("ru"));
    ASSERT_NE(russian, nullptr) << "qtbase_ru.qm is missing (Debian: qt6-translations-l10n)";

    QString cancel;
    brimvolt::platform::CQtDialogs dialogs;
    WhenModal(
        [&](QWidget* modal) {
            cancel = static_cast<QMessageBox*>(modal)->button(QMessageBox::Cancel)->text();
        },
        [&] {
            dialogs.Message(nullptr, "Идет разряд!", "", brimvolt::platform::Buttons::OkCancel);
        });
    EXPECT_EQ(cancel, QStringLiteral("Отмена"));

    russian.reset();  // and back to English with the translator
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Cancel"));
}

}  // namespace
