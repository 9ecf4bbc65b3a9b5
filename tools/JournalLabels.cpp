// brimvolt-journal labels: a PDF of cell labels (name, QR code, last capacity, Rin and test)
// from the journal's cell register.

#include "tools/JournalLabels.h"

#include <QGuiApplication>
#include <QTranslator>
#include <cstdio>
#include <memory>
#include <optional>

#include "journal/Journal.h"
#include "labels/LabelSheet.h"
#include "labels/QrCode.h"
#include "platform/Files.h"
#include "platform/Language.h"
#include "platform/QtTranslation.h"
#include "tools/JournalOutput.h"

namespace brimvolt {

namespace {

const char* const kLabelsUsage =
    "Usage: brimvolt-journal [--journal FILE] labels CELL... OUT.pdf [--size WxH]\n"
    "\n"
    "One label per cell of the journal's register: its name, a QR code of the name, the\n"
    "last discharge capacity, the last Rin and the date of its last test, the captions in\n"
    "the interface's language. An A4 sheet of 3 x 8 labels of 70 x 37 mm unless --size\n"
    "gives a label printer's label in millimetres (each side from 15 to 300): then one\n"
    "label per page of that size. After \"--\" every word is a cell name.\n"
    "\n"
    "Exit status: 0 done, 1 a file not read or written, 2 wrong usage or a cell not in\n"
    "the register.\n";

int UsageError(const QString& message) {
    return ToolUsageError(message, "labels");
}

struct LabelsArguments {
    QString journal = QStringLiteral("journal.sqlite");
    QStringList positional;  // "labels", the cells, OUT
    std::optional<QSizeF> size;
};

std::optional<int> Parse(const QStringList& words, LabelsArguments& arguments) {
    bool namesOnly = false;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        if (namesOnly) {
            arguments.positional.append(word);
        } else if (word == QLatin1String("--")) {
            namesOnly = true;
        } else if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            std::fputs(kLabelsUsage, stdout);
            return kExitOk;
        } else if (word == QLatin1String("--journal") || word == QLatin1String("--size")) {
            if (i + 1 >= words.size() || words[i + 1].isEmpty()) {
                return UsageError(QStringLiteral("%1 needs a value").arg(word));
            }
            const QString& value = words[++i];
            if (word == QLatin1String("--journal")) {
                arguments.journal = value;
            } else if (!(arguments.size = ParseLabelSize(value))) {
                return UsageError(QStringLiteral("--size wants WIDTHxHEIGHT in millimetres, each "
                                                 "from %1 to %2, not %3")
                                      .arg(kMinLabelMm)
                                      .arg(kMaxLabelMm)
                                      .arg(value));
            }
        } else if (word.startsWith(QLatin1String("--journal="))) {
            arguments.journal = word.mid(10);
        } else if (word.startsWith(QLatin1String("--"))) {
            return UsageError(QStringLiteral("unknown option: %1").arg(word));
        } else {
            arguments.positional.append(word);
        }
    }
    if (arguments.positional.size() < 3) {
        return UsageError(QStringLiteral("labels wants one cell or more and the PDF to write"));
    }
    if (arguments.journal.isEmpty()) {
        return UsageError(QStringLiteral("--journal needs a file"));
    }
    if (const int refused = RefusePdfOutput(arguments.positional.back(), arguments.journal,
                                            QStringLiteral("labels are"), "labels")) {
        return refused;
    }
    return std::nullopt;
}

}  // namespace

bool IsLabelsCommand(const QStringList& words) {
    return NamesCommand(words, "labels");
}

int RunLabelsCommand(const QStringList& words, int& argc, char** argv) {
    LabelsArguments arguments;
    if (const std::optional<int> done = Parse(words, arguments)) {
        return *done;
    }
    if (!QrCodesAvailable()) {
        PrintToolError(QStringLiteral("this build draws no QR codes (built without libqrencode)"));
        return kExitFailed;
    }
    CJournal journal;
    if (const int failed = OpenToolJournal(journal, arguments.journal)) {
        return failed;
    }
    QString reason;
    const QStringList names = arguments.positional.mid(1, arguments.positional.size() - 2);
    const auto cells = LabelCellsOf(journal, names, reason);
    if (!cells) {
        PrintToolError(QStringLiteral("%1: %2").arg(arguments.journal, reason));
        return journal.LastError().isEmpty() ? kExitUsage : kExitFailed;
    }
    // Text needs a GUI application's fonts, never a display; Qt's notes on the environment are
    // not the tool's business.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            PrintToolError(message);
        }
    });
    QGuiApplication application(argc, argv);
    const std::unique_ptr<QTranslator> translation =
        platform::InstallProgramTranslation(platform::ChooseLanguage(QString()));
    const QByteArray pdf = LabelsPdf(*cells, arguments.size);
    const QString& out = arguments.positional.back();
    if (pdf.isEmpty()) {
        PrintToolError(QStringLiteral("%1: the labels could not be drawn").arg(out));
        return kExitFailed;
    }
    const platform::WriteResult written =
        platform::WriteWholeFile(out, pdf, platform::Streams::WriteInto);
    if (!written) {
        PrintToolError(written.reason.isEmpty()
                       ? QStringLiteral("%1: cannot be written").arg(out)
                       : QStringLiteral("%1: cannot be written: %2").arg(out, written.reason));
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace brimvolt
