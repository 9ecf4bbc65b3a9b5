#pragma once

#include <QList>
#include <QString>
#include <optional>

class QWidget;

namespace brimvolt::platform {

enum class Buttons { Ok, OkCancel };
enum class Answer { Ok, Cancel };

/** One pair of a file dialog's type list: the text shown and its pattern ("*.raz"). */
struct FileFilter {
    QString text;
    QString pattern;
};

/**
 * Message boxes, file dialogs and a line of text asked for. Every window asks through this seam, so
 * tests script the operator's answers instead of clicking real dialogs.
 */
class CDialogs {
public:
    virtual ~CDialogs() = default;

    /** A modal message box without icon; Answer::Cancel only with Buttons::OkCancel. */
    virtual Answer Message(QWidget* owner, const QString& text, const QString& caption,
                           Buttons buttons) = 0;

    /** Save dialog that asks before overwriting; the chosen full path, or empty on cancel. */
    virtual QString SaveFileName(QWidget* owner, const QString& folder,
                                 const QString& proposedName, const FileFilter& filter) = 0;

    /** Open dialog listing the filters in the given order; the chosen path, or empty on cancel. */
    virtual QString OpenFileName(QWidget* owner, const QString& folder,
                                 const QList<FileFilter>& filters) = 0;

    /** Asks for one line of text, `text` above the field; nullopt when the operator cancels. */
    virtual std::optional<QString> AskText(QWidget* owner, const QString& text,
                                           const QString& caption) = 0;
};

}  // namespace brimvolt::platform
