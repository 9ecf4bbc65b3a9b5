#pragma once

#include <QString>
#include <atomic>
#include <optional>
#include <vector>

namespace brimvolt {

/** A cell offered to a pack: its name, its measured capacity and, when measured, its Rin. */
struct PackCell {
    QString name;
    double capacityMah = 0.0;
    std::optional<double> rinMohm;
};

struct PackRequest {
    int series = 1;    // S: groups in series
    int parallel = 1;  // P: cells in parallel in each group
    /** The widest Rin range allowed inside one group; none: Rin plays no part. */
    std::optional<double> maxRinSpreadMohm;
    /** With a Rin bound: cells without a Rin may go into any group (else they are left out). */
    bool allowMissingRin = true;
    /** Cells below this capacity are left out. */
    std::optional<double> minCapacityMah;
};

enum class PackFailure {
    None,
    BadShape,     // S or P below 1, or a pack too large to search
    TooFewCells,  // fewer usable cells than S×P
    RinSpread,    // no choice of groups keeps every group's Rin range within the bound
    Cancelled,    // the search was cancelled before it found any grouping
};

/** Groups and spares as indices into the cells given to PlanPack. */
struct PackPlan {
    PackFailure failure = PackFailure::None;
    int usableCells = 0;                   // the cells left after the request's bounds
    std::vector<std::vector<int>> groups;  // S groups of P cells, the fullest group first
    std::vector<int> spares;               // usable but not in the pack, largest first
    std::vector<int> leftOut;              // refused by the request's bounds
    bool exact = false;                    // the best grouping that exists, found by a full search
    bool cancelled = false;  // the search was cut short: the best grouping found until then

    bool Ok() const { return failure == PackFailure::None; }
};

struct PackFigures {
    double packMah = 0.0;     // the smallest group: what the pack gives
    double largestMah = 0.0;  // the fullest group
    double meanMah = 0.0;
    double spreadMah = 0.0;    // fullest minus smallest
    double spreadShare = 0.0;  // spread over the mean, 0.01 for 1 %
};

/**
 * Chooses S groups of P cells for the largest pack capacity (the smallest group's summed
 * capacity) first, then the smallest spread (fullest group minus smallest). Every group keeps
 * its Rin range within the request's bound. Up to kExactCells usable cells, or where the
 * groupings are few, the search goes through all of them (branch and bound); above, it starts
 * from the largest cells and improves by exchanges between groups and with the spares (random
 * moves, then a descent, its work bounded); the same cells always give the same plan.
 * `cancel`, when given, is read during the search: once it is set the best plan found so far is
 * returned, marked cancelled.
 */
PackPlan PlanPack(const std::vector<PackCell>& cells, const PackRequest& request,
                  const std::atomic<bool>* cancel = nullptr);

PackFigures FiguresOf(const PackPlan& plan, const std::vector<PackCell>& cells);

/** The group's sum of capacities. */
double GroupCapacity(const std::vector<int>& group, const std::vector<PackCell>& cells);
/** The group's lowest and highest Rin, or nullopt when no cell of it has one. */
std::optional<std::pair<double, double>> GroupRin(const std::vector<int>& group,
                                                  const std::vector<PackCell>& cells);

/** One line saying why the plan failed, in English (the command line's language). */
QString PackFailureText(const PackPlan& plan, const PackRequest& request);

constexpr int kExactCells = 12;
/** Larger packs are refused: the search's memory and time grow with S×P. */
constexpr int kMaxPackCells = 100000;
/** Cells above this capacity are left out: the search counts in whole µAh. */
constexpr double kMaxPackCellMah = 1e10;

}  // namespace brimvolt
