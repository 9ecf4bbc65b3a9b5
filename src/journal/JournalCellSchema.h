#pragma once

namespace brimvolt {

/**
 * The cell register, added to a journal at version 2: the cells, which run belongs to which
 * cell, and the packs built from them. Runs keep their table as it was, so the upgrade from
 * version 1 adds tables and touches no run.
 */
inline constexpr const char* kCellRegisterSchema = R"sql(
CREATE TABLE cells (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL UNIQUE,
    chemistry INTEGER NOT NULL DEFAULT 0,  -- 0 Li-ion, 1 LiFePO4, 2 NiMH, 3 lead, 4 other
    nominal_mah INTEGER NOT NULL DEFAULT 0,  -- 0 not known
    maker TEXT NOT NULL DEFAULT '',
    note TEXT NOT NULL DEFAULT '',
    retired INTEGER NOT NULL DEFAULT 0,
    pack INTEGER NOT NULL DEFAULT 0        -- the saved pack it went into, 0 for none
);
CREATE TABLE run_cells (
    run INTEGER PRIMARY KEY,
    cell INTEGER NOT NULL
);
CREATE INDEX run_cells_by_cell ON run_cells (cell);
CREATE TRIGGER run_cells_follow_runs AFTER DELETE ON runs BEGIN
    DELETE FROM run_cells WHERE run = old.id;
END;
CREATE TABLE packs (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL UNIQUE,
    series INTEGER NOT NULL,
    parallel INTEGER NOT NULL,
    created INTEGER NOT NULL               -- UTC, seconds since 1970
);
)sql";

}  // namespace brimvolt
