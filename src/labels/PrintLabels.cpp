// Cell labels from the window: the file asked for, the PDF written whole.

#include "labels/PrintLabels.h"

#include <QCoreApplication>

#include "journal/Journal.h"
#include "journal/JournalExport.h"
#include "labels/LabelSheet.h"
#include "labels/QrCode.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"

namespace brimvolt {

namespace {

void Warn(platform::CDialogs& dialogs, QWidget* parent, const QString& text) {
    dialogs.Message(parent, text, QCoreApplication::translate("PrintLabels", "Ошибка"),
                    platform::Buttons::Ok);
}

}  // namespace

bool PrintCellLabels(platform::CDialogs& dialogs, const QString& journalPath,
                     const QStringList& cellNames, QWidget* parent,
                     std::optional<QSizeF> labelMm) {
    if (cellNames.isEmpty()) {
        Warn(dialogs, parent,
             QCoreApplication::translate("PrintLabels", "Выберите ячейки для этикеток."));
        return false;
    }
    if (!QrCodesAvailable()) {
        Warn(dialogs, parent,
             QCoreApplication::translate("PrintLabels",
                                         "Эта сборка программы не рисует QR-коды: этикеток нет."));
        return false;
    }
    const QString path = dialogs.SaveFileName(
        parent, QString(), QStringLiteral("labels.pdf"),
        {QCoreApplication::translate("PrintLabels", "Файлы PDF *.pdf"), QStringLiteral("*.pdf")});
    if (path.isEmpty()) {
        return false;
    }
    if (WritesOverJournal(path, journalPath)) {
        Warn(dialogs, parent,
             QCoreApplication::translate("PrintLabels", "Этикетки нельзя записать поверх журнала."));
        return false;
    }
    CJournal journal;
    const CJournal::OpenResult opened = journal.Open(journalPath, CJournal::OpenMode::Existing);
    QString reason = opened.reason;
    QString missing;
    std::optional<std::vector<LabelCell>> cells;
    if (opened.Usable()) {
        cells = LabelCellsOf(journal, cellNames, reason, &missing);
    }
    if (!cells) {
        Warn(dialogs, parent,
             missing.isEmpty()
                 ? QCoreApplication::translate(
                       "PrintLabels", "Не удалось прочитать ячейки из журнала.\nПричина: %1")
                       .arg(reason)
                 : QCoreApplication::translate("PrintLabels", "В журнале нет ячейки %1.")
                       .arg(missing));
        return false;
    }
    const QByteArray pdf = LabelsPdf(*cells, labelMm);
    const platform::WriteResult written =
        pdf.isEmpty() ? platform::WriteResult{platform::WriteFailure::WriteFailed, QString()}
                      : platform::WriteWholeFile(path, pdf);
    if (!written) {
        Warn(dialogs, parent,
             QCoreApplication::translate("PrintLabels", "Не удалось записать файл %1.\nПричина: %2")
                 .arg(path, written.reason));
        return false;
    }
    return true;
}

}  // namespace brimvolt
