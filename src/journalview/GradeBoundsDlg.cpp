#include "journalview/GradeBoundsDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "journal/Journal.h"
#include "platform/Dialogs.h"

using namespace brimvolt;

namespace {

// The fields' captions, in the order of GradeBoundKeys().
QString BoundLabel(int bound) {
    switch (bound) {
        case 0:
            return CGradeBoundsDlg::tr("Сорт A: доля номинала не ниже, %");
        case 1:
            return CGradeBoundsDlg::tr("Сорт B: доля номинала не ниже, %");
        case 2:
            return CGradeBoundsDlg::tr("Сорт C: доля номинала не ниже, %");
        case 3:
            return CGradeBoundsDlg::tr("Rin не выше, мОм");
        case 4:
            return CGradeBoundsDlg::tr("Саморазряд не выше, мВ/сут");
        default:
            break;
    }
    return CGradeBoundsDlg::tr("Хранение не короче, сут");
}

// Shown with a point whatever the locale, as SetBoundOfKey reads it back.
QString BoundText(std::optional<double> value) {
    return value ? QString::number(*value, 'g', 10) : QString();
}

}  // namespace

CGradeBoundsDlg::CGradeBoundsDlg(platform::CDialogs& dialogs, CJournal& journal,
                                 const GradeBoundsSet& bounds, Chemistry shown, QWidget* parent)
    : QDialog(parent),
      dialogs(dialogs),
      journal(journal),
      kept(bounds),
      edited(bounds),
      shown(shown) {
    setWindowTitle(tr("Границы сортов"));
    auto* form = new QFormLayout;
    chemistryBox = new QComboBox(this);
    for (int i = 0; i < kChemistryCount; ++i) {
        chemistryBox->addItem(ChemistryName(static_cast<Chemistry>(i)));
    }
    chemistryBox->setCurrentIndex(static_cast<int>(shown));
    form->addRow(tr("Химия:"), chemistryBox);
    const std::vector<QString>& keys = GradeBoundKeys();
    for (int i = 0; i < kBoundCount; ++i) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(keys[static_cast<std::size_t>(i)]);
        boundEdits[static_cast<std::size_t>(i)] = edit;
        form->addRow(BoundLabel(i) + QLatin1Char(':'), edit);
    }
    const QString notJudged = tr("пусто: не оценивается");
    BoundEdit(QStringLiteral("max_rin_mohm"))->setPlaceholderText(notJudged);
    BoundEdit(QStringLiteral("max_drop_mv_per_day"))->setPlaceholderText(notJudged);
    BoundEdit(QStringLiteral("min_storage_days"))
        ->setToolTip(tr("Саморазряд за более короткое хранение не оценивается"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* defaults = buttons->addButton(tr("По умолчанию"), QDialogButtonBox::ResetRole);
    defaults->setAutoDefault(false);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(chemistryBox, &QComboBox::currentIndexChanged, this,
            &CGradeBoundsDlg::OnChemistryChanged);
    connect(defaults, &QPushButton::clicked, this, &CGradeBoundsDlg::OnDefaults);
    connect(buttons, &QDialogButtonBox::accepted, this, &CGradeBoundsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CGradeBoundsDlg::reject);
    ShowBounds(BoundsOf(edited, shown));
}

QLineEdit* CGradeBoundsDlg::BoundEdit(const QString& key) const {
    const std::vector<QString>& keys = GradeBoundKeys();
    for (std::size_t i = 0; i < keys.size() && i < boundEdits.size(); ++i) {
        if (keys[i] == key) {
            return boundEdits[i];
        }
    }
    return nullptr;
}

void CGradeBoundsDlg::ShowBounds(const GradeBoundsRecord& bounds) {
    const std::vector<QString>& keys = GradeBoundKeys();
    for (std::size_t i = 0; i < boundEdits.size(); ++i) {
        boundEdits[i]->setText(BoundText(BoundOfKey(bounds, keys[i])));
    }
}

std::optional<QString> CGradeBoundsDlg::ReadBounds(GradeBoundsRecord& bounds) const {
    GradeBoundsRecord read = bounds;
    const std::vector<QString>& keys = GradeBoundKeys();
    for (std::size_t i = 0; i < boundEdits.size(); ++i) {
        // A comma is what a Russian keyboard gives for the point.
        const QString text =
            boundEdits[i]->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.'));
        QString error;
        if (SetBoundOfKey(read, keys[i], text, error)) {
            continue;
        }
        const QString label = BoundLabel(static_cast<int>(i));
        return text.isEmpty() ? tr("Заполните поле «%1».").arg(label)
                              : tr("«%1»: «%2» не подходит, нужно число не меньше нуля.")
                                    .arg(label, boundEdits[i]->text().trimmed());
    }
    bounds = read;
    return std::nullopt;
}

void CGradeBoundsDlg::ShowChemistry(Chemistry chemistry) {
    shown = chemistry;
    const QSignalBlocker blocker(chemistryBox);
    chemistryBox->setCurrentIndex(static_cast<int>(chemistry));
    ShowBounds(BoundsOf(edited, chemistry));
}

void CGradeBoundsDlg::OnChemistryChanged(int index) {
    if (index < 0 || index >= kChemistryCount || index == static_cast<int>(shown)) {
        return;
    }
    // What was typed goes with the chemistry it was typed for.
    if (const std::optional<QString> fault = ReadBounds(edited[static_cast<std::size_t>(shown)])) {
        // Back to the chemistry whose fields need mending, as typed.
        const QSignalBlocker blocker(chemistryBox);
        chemistryBox->setCurrentIndex(static_cast<int>(shown));
        Refuse(*fault);
        return;
    }
    ShowChemistry(static_cast<Chemistry>(index));
}

void CGradeBoundsDlg::OnDefaults() {
    ShowBounds(DefaultGradeBounds(shown));
}

std::optional<QString> CGradeBoundsDlg::Refuse(const QString& fault) {
    dialogs.Message(this, fault, tr("Границы сортов"), platform::Buttons::Ok);
    return fault;
}

std::optional<QString> CGradeBoundsDlg::Accept() {
    if (const std::optional<QString> fault = ReadBounds(edited[static_cast<std::size_t>(shown)])) {
        return Refuse(*fault);
    }
    // Every chemistry is checked before any is written: bad bounds keep nothing.
    bool changed = false;
    for (int i = 0; i < kChemistryCount; ++i) {
        const auto chemistry = static_cast<Chemistry>(i);
        const QString problem = GradeBoundsProblem(BoundsOf(edited, chemistry));
        if (!problem.isEmpty()) {
            ShowChemistry(chemistry);
            return Refuse(QStringLiteral("%1: %2").arg(ChemistryName(chemistry), problem));
        }
        changed = changed || BoundsOf(edited, chemistry) != BoundsOf(kept, chemistry);
    }
    if (changed) {
        // A journal of an older layout gets the tables with the first bounds kept in it.
        if (!journal.HasCheckTables() && !journal.Upgrade()) {
            return Refuse(
                tr("Не удалось сохранить границы сортов.\nПричина: %1").arg(journal.LastError()));
        }
        for (int i = 0; i < kChemistryCount; ++i) {
            const auto chemistry = static_cast<Chemistry>(i);
            const GradeBoundsRecord& bounds = BoundsOf(edited, chemistry);
            if (bounds == BoundsOf(kept, chemistry)) {
                continue;
            }
            const bool saved = bounds == DefaultGradeBounds(chemistry)
                                   ? journal.ForgetGradeBounds(chemistry)
                                   : journal.SetGradeBounds(bounds);
            if (!saved) {
                return Refuse(tr("Не удалось сохранить границы сортов.\nПричина: %1")
                                  .arg(journal.LastError()));
            }
            kept[static_cast<std::size_t>(i)] = bounds;
        }
    }
    QDialog::accept();
    return std::nullopt;
}

void CGradeBoundsDlg::accept() {
    Accept();
}
