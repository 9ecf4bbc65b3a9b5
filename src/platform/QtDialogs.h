#pragma once

#include "platform/Dialogs.h"

namespace brimvolt::platform {

/**
 * Message boxes and file dialogs of the running program: QMessageBox, QFileDialog and
 * QInputDialog.
 */
class CQtDialogs : public CDialogs {
public:
    Answer Message(QWidget* owner, const QString& text, const QString& caption,
                   Buttons buttons) override;
    QString SaveFileName(QWidget* owner, const QString& folder, const QString& proposedName,
                         const FileFilter& filter) override;
    QString OpenFileName(QWidget* owner, const QString& folder,
                         const QList<FileFilter>& filters) override;
    std::optional<QString> AskText(QWidget* owner, const QString& text,
                                   const QString& caption) override;
};

/** The name filter line of a file dialog: "text (pattern)"; the dialogs show the text alone. */
QString FilterLine(const FileFilter& filter);

}  // namespace brimvolt::platform
