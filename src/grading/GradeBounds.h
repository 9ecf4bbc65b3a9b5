#pragma once

#include <QString>
#include <array>
#include <optional>
#include <vector>

#include "journal/CheckRecord.h"

namespace brimvolt {

inline constexpr int kChemistryCount = static_cast<int>(Chemistry::Other) + 1;

/** The bounds a builder starts from, by chemistry. */
GradeBoundsRecord DefaultGradeBounds(Chemistry chemistry);

/** Every chemistry's bounds, indexed by chemistry. */
using GradeBoundsSet = std::array<GradeBoundsRecord, kChemistryCount>;

/** The defaults, with what the builder set in their place. */
GradeBoundsSet GradeBoundsWith(const std::vector<GradeBoundsRecord>& stored);

inline const GradeBoundsRecord& BoundsOf(const GradeBoundsSet& set, Chemistry chemistry) {
    return set[static_cast<std::size_t>(chemistry)];
}

/** "li-ion", "lifepo4", "nimh", "lead", "other": the command line's words. */
QString ChemistryWord(Chemistry chemistry);
std::optional<Chemistry> ChemistryOfWord(const QString& word);
/** "Li-ion", "LiFePO4", "NiMH", "свинец", "другая": as the windows show it. */
QString ChemistryName(Chemistry chemistry);

/** The bounds' keys, as `bounds` takes them: a_share, b_share, c_share, max_rin_mohm, ... */
const std::vector<QString>& GradeBoundKeys();
/** The bound of that key; nullopt for a bound not judged. */
std::optional<double> BoundOfKey(const GradeBoundsRecord& bounds, const QString& key);
/**
 * Sets the bound of that key from its text ("" or "none": not judged, where the bound may be
 * left out). The error says what is wrong, and nothing changes then.
 */
bool SetBoundOfKey(GradeBoundsRecord& bounds, const QString& key, const QString& text,
                   QString& error);
/** Empty when the bounds can grade; else what is wrong with them (C above B, ...). */
QString GradeBoundsProblem(const GradeBoundsRecord& bounds);

}  // namespace brimvolt
