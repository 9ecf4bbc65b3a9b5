#pragma once

#include <QList>
#include <QString>
#include <deque>
#include <optional>

#include "platform/Dialogs.h"

namespace brimvolt::testing {

/** Dialogs that record what was asked and answer from a script (OK / empty when it runs dry). */
class ScriptedDialogs : public platform::CDialogs {
public:
    struct Shown {
        QString text;
        QString caption;
        platform::Buttons buttons;
    };
    struct FileAsked {
        QString folder;
        QString proposedName;
        QList<platform::FileFilter> filters;
    };

    std::deque<platform::Answer> answers;  // for Message
    std::deque<QString> paths;             // for SaveFileName / OpenFileName
    std::deque<QString> texts;             // for AskText; a null QString: cancelled
    QList<Shown> messages;
    QList<FileAsked> saveAsked;
    QList<FileAsked> openAsked;
    QList<Shown> textAsked;

    platform::Answer Message(QWidget*, const QString& text, const QString& caption,
                             platform::Buttons buttons) override {
        messages.append({text, caption, buttons});
        if (answers.empty()) {
            return platform::Answer::Ok;
        }
        const auto answer = answers.front();
        answers.pop_front();
        return answer;
    }

    QString SaveFileName(QWidget*, const QString& folder, const QString& proposedName,
                         const platform::FileFilter& filter) override {
        saveAsked.append({folder, proposedName, {filter}});
        return NextPath();
    }

    QString OpenFileName(QWidget*, const QString& folder,
                         const QList<platform::FileFilter>& filters) override {
        openAsked.append({folder, QString(), filters});
        return NextPath();
    }

    std::optional<QString> AskText(QWidget*, const QString& text, const QString& caption) override {
        textAsked.append({text, caption, platform::Buttons::OkCancel});
        if (texts.empty()) {
            return std::nullopt;
        }
        const QString typed = texts.front();
        texts.pop_front();
        if (typed.isNull()) {
            return std::nullopt;
        }
        return typed;
    }

private:
    QString NextPath() {
        if (paths.empty()) {
            return {};
        }
        QString path = paths.front();
        paths.pop_front();
        return path;
    }
};

}  // namespace brimvolt::testing
