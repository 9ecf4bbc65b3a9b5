#include "platform/QtDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>

namespace brimvolt::platform {

QString FilterLine(const FileFilter& filter) {
    return filter.text + QStringLiteral(" (") + filter.pattern + QLatin1Char(')');
}

Answer CQtDialogs::Message(QWidget* owner, const QString& text, const QString& caption,
                           Buttons buttons) {
    QMessageBox box(owner);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    if (buttons == Buttons::OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    return box.exec() == QMessageBox::Cancel ? Answer::Cancel : Answer::Ok;
}

QString CQtDialogs::SaveFileName(QWidget* owner, const QString& folder, const QString& proposedName,
                                 const FileFilter& filter) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDirectory(folder);
    // The type list shows the program's own text alone; Qt would append the pattern again.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(FilterLine(filter));
    // The name goes in as the operator would type it; no extension is added by the dialog.
    dialog.selectFile(proposedName);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

QString CQtDialogs::OpenFileName(QWidget* owner, const QString& folder,
                                 const QList<FileFilter>& filters) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDirectory(folder);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    QStringList lines;
    for (const FileFilter& filter : filters) {
        lines.append(FilterLine(filter));
    }
    dialog.setNameFilters(lines);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

std::optional<QString> CQtDialogs::AskText(QWidget* owner, const QString& text,
                                           const QString& caption) {
    QInputDialog dialog(owner);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(text);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.textValue();
}

}  // namespace brimvolt::platform
