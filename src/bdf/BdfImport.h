#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <span>
#include <vector>

#include "journal/RunRecord.h"

namespace brimvolt {

class CJournal;

/**
 * The port of every run read from a BDF file. The recorder takes up only an open run of the
 * port its module answers on (LatestRunOnPort); no module's port is named so, and an imported
 * run is stopped besides, so nothing the recorder does touches one.
 */
inline constexpr const char* kBdfImportPort = "BDF";

/** A charge or discharge step of a BDF file, as a stopped run of the journal with its samples. */
struct BdfStep {
    int number = 0;  // the file's step count, or the step's place among all its steps, from 1
    RunRecord run;   // id 0, port kBdfImportPort, the note naming the file and the step
    std::vector<JournalSample> samples;
};

/** What a BDF file holds for the journal, or why it holds nothing. */
struct BdfRead {
    std::vector<BdfStep> steps;   // in the file's order; empty when refused
    QString error;                // "FILE:LINE: reason" (or "FILE: reason"); empty when read
    QString skippedColumns;       // one line naming the columns the format does not know
    QString clampedTemperatures;  // one line counting temperatures set to 0 or 255 °C
    bool unreadable = false;      // the file itself could not be read: no judgement of its text

    bool Ok() const { return error.isEmpty(); }
};

/**
 * Reads a BDF file: `.bdf` or `.bdf.csv` as CSV, `.bdf.gz` (or any gzip stream) inflated first.
 * Runs start at the file's Unix time, or count back from its last-modified time.
 */
BdfRead ReadBdfFile(const QString& path);

/**
 * Reads BDF text (CSV, or gzip of it). `name` names the file in refusals and notes;
 * `modifiedUtc` stands for the time of the file's last row where it has no Unix time.
 */
BdfRead ReadBdf(const QByteArray& bytes, const QString& name, std::int64_t modifiedUtc);

/**
 * Adds the steps' runs to the journal in one transaction, all or none (ids set), then links each
 * to the cell `cell` when it is not empty. False with `error` set on a failure.
 */
bool ImportBdfSteps(CJournal& journal, std::span<BdfStep> steps, const QString& cell,
                    QString& error);

}  // namespace brimvolt
