#include "journal/CellSummary.h"

#include <QHash>
#include <algorithm>

namespace brimvolt {

std::vector<CellSummary> SummarizeCells(const std::vector<CellRecord>& cells,
                                        const std::vector<RunRecord>& runs,
                                        const std::vector<RunCellLink>& links) {
    std::vector<CellSummary> summaries;
    QHash<std::int64_t, std::size_t> byId;
    for (const CellRecord& cell : cells) {
        byId.insert(cell.id, summaries.size());
        summaries.push_back({cell, 0, std::nullopt, std::nullopt, std::nullopt, 0});
    }
    QHash<std::int64_t, std::int64_t> cellOfRun;
    for (const RunCellLink& link : links) {
        cellOfRun.insert(link.runId, link.cellId);
    }
    std::vector<const RunRecord*> ordered;
    for (const RunRecord& run : runs) {
        ordered.push_back(&run);
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const RunRecord* a, const RunRecord* b) {
        return a->startedUtc != b->startedUtc ? a->startedUtc < b->startedUtc : a->id < b->id;
    });
    for (const RunRecord* run : ordered) {
        const auto cell = cellOfRun.constFind(run->id);
        if (cell == cellOfRun.constEnd()) {
            continue;
        }
        const auto at = byId.constFind(*cell);
        if (at == byId.constEnd()) {
            continue;
        }
        CellSummary& summary = summaries[*at];
        ++summary.runs;
        summary.lastTestUtc = run->startedUtc;
        if (run->IsCapacityTest()) {
            if (!summary.firstCapacityMah) {
                summary.firstCapacityMah = run->capacityMah;
            }
            summary.lastCapacityMah = run->capacityMah;
        }
        if (run->rinMohm > 0) {
            summary.lastRinMohm = run->rinMohm;
        }
    }
    return summaries;
}

}  // namespace brimvolt
