#pragma once

namespace brimvolt {

/**
 * The test programs, added to a journal at version 3: each program run, and the place in it of
 * every journal run it made. Runs keep their table as it was; a program's rest is a run whose
 * `charge` column holds 2.
 */
inline constexpr const char* kProgramSchema = R"sql(
CREATE TABLE programs (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL,
    program TEXT NOT NULL,                 -- the program as its file holds it (JSON)
    cell TEXT NOT NULL DEFAULT '',         -- the name of the cell it tests, '' for none
    port TEXT NOT NULL,
    started INTEGER NOT NULL,              -- UTC, seconds since 1970
    state INTEGER NOT NULL,                -- 0 running, 1 finished, 2 ended, 3 paused
    step INTEGER NOT NULL,                 -- the step it is or stopped in, from 1
    cycle INTEGER NOT NULL,                -- from 1
    passes TEXT NOT NULL DEFAULT '',       -- per step, jumps back its repeat still makes: "0,2,0"
    cycles_done INTEGER NOT NULL DEFAULT 0,
    end_reason TEXT NOT NULL DEFAULT ''
);
CREATE TABLE program_runs (
    run INTEGER PRIMARY KEY,
    program INTEGER NOT NULL,
    cycle INTEGER NOT NULL,                -- from 1
    step INTEGER NOT NULL,                 -- from 1
    rin INTEGER NOT NULL DEFAULT 0         -- 1: the short discharge of an Rin measurement
);
CREATE INDEX program_runs_by_program ON program_runs (program);
CREATE TRIGGER program_runs_follow_runs AFTER DELETE ON runs BEGIN
    DELETE FROM program_runs WHERE run = old.id;
END;
)sql";

}  // namespace brimvolt
