#pragma once

#include <QSet>
#include <QString>
#include <deque>

class QWidget;

namespace brimvolt::platform {
class CDialogs;
}

namespace brimvolt {

/**
 * Tells the journal's problems to the operator, each text once however many channels or retries
 * report it, one box at a time: a problem that comes while a box is open waits for its answer.
 */
class CJournalProblems {
public:
    explicit CJournalProblems(platform::CDialogs& dialogs) : dialogs(dialogs) {}

    void Tell(QWidget* parent, const QString& text);
    /** The program leaves: nothing more is told, and what waits is dropped. */
    void StopTelling() { stopped = true; }

private:
    platform::CDialogs& dialogs;
    QSet<QString> told;
    std::deque<QString> waiting;
    bool telling = false;
    bool stopped = false;
};

}  // namespace brimvolt
