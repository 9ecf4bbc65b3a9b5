#include "tools/JournalOutput.h"

#include <cstdio>

#include "journal/JournalExport.h"

namespace brimvolt {

int RefuseJournalAsOutput(const QString& out, const QString& journal) {
    if (!WritesOverJournal(out, journal)) {
        return 0;
    }
    const QString message =
        QStringLiteral("%1: that is the journal %2 or a file of it; nothing was written")
            .arg(out, journal);
    PrintToolError(message);
    return 1;
}

void PrintToolError(const QString& message) {
    std::fprintf(stderr, "brimvolt-journal: %s\n", message.toLocal8Bit().constData());
}

int ToolUsageError(const QString& message, const char* command) {
    const QString help = command ? QStringLiteral("brimvolt-journal %1 --help").arg(QLatin1String(command))
                                 : QStringLiteral("brimvolt-journal --help");
    PrintToolError(QStringLiteral("%1 (see %2)").arg(message, help));
    return 2;
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
