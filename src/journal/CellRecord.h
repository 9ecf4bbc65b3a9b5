#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace brimvolt {

/** Stored as its number: the order never changes. */
enum class Chemistry : std::uint8_t { LiIon, LiFePO4, NiMH, Lead, Other };

/** A cell of the register: what is written on its sleeve, and what the operator knows of it. */
struct CellRecord {
    std::int64_t id = 0;  // 0 until the cell is in the journal
    QString name;         // unique in the journal
    Chemistry chemistry = Chemistry::LiIon;
    std::int32_t nominalMah = 0;  // 0: not known
    QString maker;
    QString note;
    bool retired = false;
    std::int64_t packId = 0;  // the saved pack it went into, 0 for none

    bool operator==(const CellRecord&) const = default;
};

/** A run and the cell it belongs to. */
struct RunCellLink {
    std::int64_t runId = 0;
    std::int64_t cellId = 0;
};

}  // namespace brimvolt
