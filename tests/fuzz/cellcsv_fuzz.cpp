// CSV files of cells from other programs, and the pack search over what they hold.
//
// Input: the file's bytes.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "pack/CellCsv.h"
#include "pack/Packing.h"

using namespace brimvolt;
using brimvolt::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::CFuzzInput input(data, size);
    const CellCsvResult result = ParseCellCsv(input.Rest());
    if (!result.Ok()) {
        Check(result.errorLine >= 1 && result.cells.empty(), "a refusal names a line, keeps none");
        Check(!result.error.contains(u'\n'), "a refusal is one line");
        return 0;
    }
    for (const PackCell& cell : result.cells) {
        Check(!cell.name.isEmpty() && cell.name == cell.name.trimmed(), "a name, trimmed");
        Check(std::isfinite(cell.capacityMah) && cell.capacityMah >= 0.0, "a capacity");
        Check(!cell.rinMohm || (std::isfinite(*cell.rinMohm) && *cell.rinMohm >= 0.0), "a Rin");
    }
    // A small pack from the first cells: a plan keeps its shape and its Rin bound.
    std::vector<PackCell> some(
        result.cells.begin(),
        result.cells.begin() + std::min<std::ptrdiff_t>(std::ssize(result.cells), 16));
    PackRequest request;
    request.series = 2;
    request.parallel = 2;
    request.maxRinSpreadMohm = 10.0;
    const PackPlan plan = PlanPack(some, request);
    if (plan.Ok()) {
        Check(plan.groups.size() == 2, "S groups");
        for (const auto& group : plan.groups) {
            const auto rin = GroupRin(group, some);
            Check(group.size() == 2 && (!rin || rin->second - rin->first <= 10.0 + 1e-6),
                  "P cells within the bound");
        }
        PlanCsv(plan, some);
    }
    return 0;
}
