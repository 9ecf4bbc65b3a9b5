#pragma once

namespace brimvolt {

/**
 * Voltage checks and the builder's grade bounds, added to a journal at version 4. Nothing older
 * changes, so the upgrade from version 3 only adds the tables. A chemistry without a row of
 * bounds is graded by the program's defaults.
 */
inline constexpr const char* kCheckSchema = R"sql(
CREATE TABLE checks (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    cell INTEGER NOT NULL,
    at INTEGER NOT NULL,                   -- UTC, seconds since 1970
    millivolts REAL NOT NULL,
    temperature INTEGER,                   -- °C, NULL for a check by hand
    port TEXT NOT NULL DEFAULT ''          -- '' for a check by hand
);
CREATE INDEX checks_by_cell ON checks (cell, at);
CREATE TABLE grade_bounds (
    chemistry INTEGER PRIMARY KEY,         -- as cells.chemistry
    a_share REAL NOT NULL,                 -- percent of the nominal
    b_share REAL NOT NULL,
    c_share REAL NOT NULL,
    max_rin_mohm REAL,                     -- NULL: not judged
    max_drop_mv_per_day REAL,              -- NULL: not judged
    min_storage_days REAL NOT NULL
);
)sql";

}  // namespace brimvolt
