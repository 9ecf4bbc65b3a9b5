#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <optional>

#include "grading/GradeBounds.h"

class QComboBox;
class QLineEdit;

namespace brimvolt {
class CJournal;
}
namespace brimvolt::platform {
class CDialogs;
}

/**
 * "Границы сортов": the bounds cells are graded by, a chemistry at a time. What is typed for one
 * chemistry stays while another is shown; OK keeps every chemistry changed in the journal (bounds
 * equal to the defaults are forgotten there), and keeps the dialog open while any of them cannot
 * grade or the journal refuses them.
 */
class CGradeBoundsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kBoundCount = 6;

    CGradeBoundsDlg(brimvolt::platform::CDialogs& dialogs, brimvolt::CJournal& journal,
                    const brimvolt::GradeBoundsSet& bounds, brimvolt::Chemistry shown,
                    QWidget* parent = nullptr);

    /**
     * The operator's OK: the first fault, shown to the operator and returned while the dialog
     * stays open, or nullopt once the bounds are in the journal and the dialog closed accepted.
     */
    std::optional<QString> Accept();
    void accept() override;
    /** "По умолчанию": the defaults of the chemistry shown, in its fields. */
    void OnDefaults();
    void OnChemistryChanged(int index);

    /** The bounds as the journal keeps them now: those given, with what OK wrote. */
    const brimvolt::GradeBoundsSet& KeptBounds() const { return kept; }

    QComboBox* ChemistryBox() const { return chemistryBox; }
    /** The field of the bound of that key (GradeBoundKeys()). */
    QLineEdit* BoundEdit(const QString& key) const;

private:
    void ShowBounds(const brimvolt::GradeBoundsRecord& bounds);
    /** The fields into `bounds`; the fault in the operator's words, nothing changed then. */
    std::optional<QString> ReadBounds(brimvolt::GradeBoundsRecord& bounds) const;
    void ShowChemistry(brimvolt::Chemistry chemistry);
    std::optional<QString> Refuse(const QString& fault);

    brimvolt::platform::CDialogs& dialogs;
    brimvolt::CJournal& journal;
    brimvolt::GradeBoundsSet kept;
    brimvolt::GradeBoundsSet edited;
    brimvolt::Chemistry shown;
    QComboBox* chemistryBox = nullptr;
    std::array<QLineEdit*, kBoundCount> boundEdits{};
};
