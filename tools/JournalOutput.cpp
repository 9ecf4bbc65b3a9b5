#include "tools/JournalOutput.h"

#include <cstdio>

#include "journal/Journal.h"
#include "journal/JournalExport.h"

namespace brimvolt {

int RefuseJournalAsOutput(const QString& out, const QString& journal) {
    if (!WritesOverJournal(out, journal)) {
        return kExitOk;
    }
    const QString message =
        QStringLiteral("%1: that is the journal %2 or a file of it; nothing was written")
            .arg(out, journal);
    PrintToolError(message);
    return kExitFailed;
}

int RefusePdfOutput(const QString& out, const QString& journal, const QString& what,
                    const char* command) {
    if (const int refused = RefuseJournalAsOutput(out, journal)) {
        return refused;
    }
    if (out.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
        return kExitOk;
    }
    return ToolUsageError(
        QStringLiteral("%1: %2 written as PDF only, to a file whose name ends in .pdf").arg(out, what),
        command);
}

void PrintToolError(const QString& message) {
    std::fprintf(stderr, "brimvolt-journal: %s\n", message.toLocal8Bit().constData());
}

int ToolUsageError(const QString& message, const char* command) {
    const QString help = command ? QStringLiteral("brimvolt-journal %1 --help").arg(QLatin1String(command))
                                 : QStringLiteral("brimvolt-journal --help");
    PrintToolError(QStringLiteral("%1 (see %2)").arg(message, help));
    return kExitUsage;
}

/** The journal opened as it is, or an exit status (the message printed). */
int OpenToolJournal(CJournal& journal, const QString& path) {
    const CJournal::OpenResult result = journal.Open(path, CJournal::OpenMode::Existing);
    switch (result.status) {
        case CJournal::OpenStatus::Opened:
        case CJournal::OpenStatus::SetAside:
            return kExitOk;
        case CJournal::OpenStatus::Missing:
            PrintToolError(QStringLiteral("%1: no journal there").arg(path));
            break;
        case CJournal::OpenStatus::NotAJournal:
            PrintToolError(QStringLiteral("%1: not a run journal (%2)").arg(path, result.reason));
            break;
        case CJournal::OpenStatus::Damaged:
            PrintToolError(QStringLiteral("%1: the journal is damaged (%2)").arg(path, result.reason));
            break;
        case CJournal::OpenStatus::Newer:
            PrintToolError(QStringLiteral("%1: written by a newer version of Brimvolt (journal "
                                      "version %2, this tool reads %3)")
                           .arg(path)
                           .arg(result.foundVersion)
                           .arg(CJournal::kSchemaVersion));
            break;
        case CJournal::OpenStatus::Unavailable:
            PrintToolError(QStringLiteral("%1: cannot open: %2").arg(path, result.reason));
            break;
    }
    return kExitFailed;
}

int RefuseCellName(const QString& name, const char* command) {
    bool control = false;
    for (const QChar c : name) {
        control = control || c.category() == QChar::Other_Control;
    }
    if (name.size() <= kMaxCellName && !control) {
        return kExitOk;
    }
    return ToolUsageError(
        QStringLiteral("a cell name is at most %1 characters, without control characters")
            .arg(kMaxCellName),
        command);
}

bool NamesCommand(const QStringList& words, const char* command) {
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (words[i] == QLatin1String("--journal")) {
            ++i;
        } else if (!words[i].startsWith(QLatin1String("-"))) {
            return words[i] == QLatin1String(command);
        }
    }
    return false;
}

}  // namespace brimvolt
