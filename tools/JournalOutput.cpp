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
    std::fprintf(stderr, "brimvolt-journal: %s\n", message.toLocal8Bit().constData());
    return 1;
}

}  // namespace brimvolt
