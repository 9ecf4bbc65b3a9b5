#pragma once

#include <QSizeF>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace brimvolt {

namespace platform {
class CDialogs;
}

/**
 * "Печать этикеток...": asks where to save, then writes the labels of the named cells of the
 * journal as a PDF (an A4 sheet without a label size); says what went wrong in a message.
 * True when the PDF was written.
 */
bool PrintCellLabels(platform::CDialogs& dialogs, const QString& journalPath,
                     const QStringList& cellNames, QWidget* parent,
                     std::optional<QSizeF> labelMm = std::nullopt);

}  // namespace brimvolt
