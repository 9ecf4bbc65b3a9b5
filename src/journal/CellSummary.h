#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "journal/CellRecord.h"
#include "journal/RunRecord.h"

namespace brimvolt {

/** What the journal's runs say of one cell. */
struct CellSummary {
    CellRecord cell;
    int runs = 0;
    std::optional<std::int32_t> firstCapacityMah;  // the first and last discharges that gave any
    std::optional<std::int32_t> lastCapacityMah;
    std::optional<std::uint16_t> lastRinMohm;  // the last Rin measured in a run of the cell
    std::int64_t lastTestUtc = 0;              // the start of its latest run, 0 for none
};

/** A summary per cell, in the cells' order; runs are taken in the order they started. */
std::vector<CellSummary> SummarizeCells(const std::vector<CellRecord>& cells,
                                        const std::vector<RunRecord>& runs,
                                        const std::vector<RunCellLink>& links);

}  // namespace brimvolt
