#include "bdf/BdfExport.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <algorithm>
#include <charconv>
#include <map>

#include "bdf/BdfLabels.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"
#include "module/Protocol.h"
#include "params/ParamTable.h"

#ifndef BRIMVOLT_VERSION
#define BRIMVOLT_VERSION "unknown"
#endif

namespace brimvolt {

namespace {

// Starts and energies from a damaged journal are held to this, so no sum of them overflows.
constexpr std::int64_t kMaxSeconds = std::int64_t{1} << 40;
constexpr std::int64_t kMaxRunUj = std::int64_t{1} << 50;
constexpr std::int64_t kMaxTotal = std::int64_t{1} << 52;
// The rows go to the device in blocks of this size.
constexpr qsizetype kBlockBytes = qsizetype{1} << 20;
// The longest row: 13 fields of at most 24 characters and their separators.
constexpr qsizetype kMaxRow = 13 * 25;

std::int64_t StartOf(const RunRecord& run) {
    return std::clamp(run.startedUtc, -kMaxSeconds, kMaxSeconds);
}

char* PutInt(char* p, std::int64_t value) {
    return std::to_chars(p, p + 24, value).ptr;
}

// value / 10^decimals with every decimal written.
char* PutFixed(char* p, std::int64_t value, int decimals) {
    if (value < 0) {
        *p++ = '-';
        value = -value;
    }
    std::int64_t scale = 1;
    for (int k = 0; k < decimals; ++k) {
        scale *= 10;
    }
    p = PutInt(p, value / scale);
    *p++ = '.';
    std::int64_t fraction = value % scale;
    for (int k = decimals - 1; k >= 0; --k) {
        p[k] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    return p + decimals;
}

const char* StepTypeOf(const RunRecord& run) {
    if (run.rest) {
        return kBdfRestStep;
    }
    // An Rin pulse is a short discharge at a set current.
    return run.charge ? kBdfChargeStep : kBdfDischargeStep;
}

/**
 * Cycle numbers, never decreasing. A program's runs keep the program's own cycles, moved past
 * the last cycle written before that program's first run. Runs of their own count cycles here:
 * a new cycle begins when a charge or a discharge would be the second of its kind in the
 * current cycle (so charge then discharge, or discharge then charge, is one cycle); rests stay
 * in the cycle they fall in. After a program, the next charge or discharge begins a new cycle.
 */
class CCycleCounter {
public:
    std::int64_t Next(const RunRecord& run) {
        std::int64_t cycle = std::max<std::int64_t>(last, 1);
        if (run.program.programId != 0) {
            const auto [it, added] = offsets.try_emplace(run.program.programId, last);
            cycle = it->second + std::clamp<std::int64_t>(run.program.cycle, 1, kMaxProgramCycles);
            charged = discharged = true;
        } else if (!run.rest) {
            bool& seen = run.charge ? charged : discharged;
            if (seen) {
                cycle = last + 1;
                charged = discharged = false;
            }
            seen = true;
        }
        last = std::max(last, cycle);
        return last;
    }

private:
    std::int64_t last = 0;
    bool charged = false;
    bool discharged = false;
    std::map<std::int64_t, std::int64_t> offsets;  // by program: the cycles before it
};

QString KindOf(const RunRecord& run) {
    return run.rest     ? QStringLiteral("rest")
           : run.charge ? QStringLiteral("charge")
                        : QStringLiteral("discharge");
}

QString ChemistryName(Chemistry chemistry) {
    switch (chemistry) {
        case Chemistry::LiIon:
            return QStringLiteral("Li-ion");
        case Chemistry::LiFePO4:
            return QStringLiteral("LiFePO4");
        case Chemistry::NiMH:
            return QStringLiteral("NiMH");
        case Chemistry::Lead:
            return QStringLiteral("lead-acid");
        case Chemistry::Other:
            break;
    }
    return QStringLiteral("other");
}

QString UtcText(std::int64_t seconds) {
    return QDateTime::fromSecsSinceEpoch(std::clamp<std::int64_t>(seconds, 0, 253402300799),
                                         Qt::UTC)
        .toString(Qt::ISODate);
}

// Characters no file name on Windows or Linux can hold become "-", and so does a run of "_",
// which the recommended name keeps for its own separators.
QString NamePart(const QString& text, const QString& fallback) {
    QString part;
    for (const QChar c : text.trimmed()) {
        const bool unfit =
            c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("<>:\"/\\|?*").contains(c);
        part += unfit ? QChar(u'-') : c;
    }
    part.replace(QRegularExpression(QStringLiteral("_{2,}")), QStringLiteral("-"));
    while (part.startsWith(u'_') || part.startsWith(u'.') || part.startsWith(u' ')) {
        part.remove(0, 1);
    }
    while (part.endsWith(u'_') || part.endsWith(u'.') || part.endsWith(u' ')) {
        part.chop(1);
    }
    return part.isEmpty() ? fallback : part;
}

/** Fills in the runs' cell and program; the runs are put oldest first. */
BdfGathered Complete(CJournal& journal, std::vector<RunRecord> runs,
                     std::optional<ProgramRecord> program) {
    BdfGathered gathered;
    std::stable_sort(runs.begin(), runs.end(), [](const RunRecord& a, const RunRecord& b) {
        return StartOf(a) < StartOf(b);
    });
    gathered.test.runs = std::move(runs);
    const auto fail = [&] {
        gathered.failure = BdfGatherFailure::ReadFailed;
        return gathered;
    };
    if (journal.HasCellRegister()) {
        const auto links = journal.RunCells();
        const auto cells = journal.Cells();
        if (!links || !cells) {
            return fail();
        }
        std::map<std::int64_t, std::int64_t> cellOfRun;
        for (const RunCellLink& link : *links) {
            cellOfRun[link.runId] = link.cellId;
        }
        const auto nameOf = [&](std::int64_t cellId) {
            for (const CellRecord& cell : *cells) {
                if (cell.id == cellId) {
                    return cell.name;
                }
            }
            return QString();
        };
        QSet<std::int64_t> distinct;
        for (const RunRecord& run : gathered.test.runs) {
            const auto it = cellOfRun.find(run.id);
            const std::int64_t cellId = it != cellOfRun.end() ? it->second : 0;
            distinct.insert(cellId);
            gathered.runIds.push_back(run.id);
            gathered.cells.append(nameOf(cellId));
        }
        // A program's runs are of its cell; runs picked by hand must not mix cells.
        if (!program && distinct.size() > 1) {
            gathered.failure = BdfGatherFailure::MixedCells;
            return gathered;
        }
        QString cellName = program && !program->cell.isEmpty() ? program->cell : QString();
        if (cellName.isEmpty()) {
            for (const QString& name : gathered.cells) {
                if (!name.isEmpty()) {
                    cellName = name;
                    break;
                }
            }
        }
        for (const CellRecord& cell : *cells) {
            if (cell.name == cellName && !cellName.isEmpty()) {
                gathered.test.cell = cell;
            }
        }
        gathered.runIds.clear();
        gathered.cells.clear();
    }
    if (!program && journal.HasProgramTables() && !gathered.test.runs.empty()) {
        const std::int64_t programId = gathered.test.runs.front().program.programId;
        const bool allOfIt =
            std::all_of(gathered.test.runs.begin(), gathered.test.runs.end(),
                        [&](const RunRecord& run) { return run.program.programId == programId; });
        if (programId != 0 && allOfIt) {
            program = journal.Program(programId);
            if (!program && !journal.LastError().isEmpty()) {
                return fail();
            }
        }
    }
    gathered.test.program = std::move(program);
    return gathered;
}

QJsonValue ProgramJsonOf(const ProgramRecord& program) {
    QJsonObject object;
    const QJsonDocument file = QJsonDocument::fromJson(program.json);
    if (file.isObject()) {
        object = file.object();
    }
    object.insert(QStringLiteral("id"), static_cast<qint64>(program.id));
    object.insert(QStringLiteral("name"), program.name);
    object.insert(QStringLiteral("started"), UtcText(program.startedUtc));
    object.insert(QStringLiteral("cycles_done"), program.cyclesDone);
    if (!object.contains(QStringLiteral("steps"))) {
        object.insert(QStringLiteral("steps"), QJsonArray());
    }
    return object;
}

}  // namespace

BdfGathered GatherBdfRuns(CJournal& journal, std::span<const std::int64_t> runIds) {
    std::vector<RunRecord> runs;
    QSet<std::int64_t> taken;
    for (const std::int64_t id : runIds) {
        if (taken.contains(id)) {
            continue;
        }
        taken.insert(id);
        std::optional<RunRecord> run = journal.Run(id);
        if (!run) {
            BdfGathered gathered;
            gathered.failure = journal.LastError().isEmpty() ? BdfGatherFailure::NoSuchRun
                                                             : BdfGatherFailure::ReadFailed;
            gathered.runId = id;
            return gathered;
        }
        runs.push_back(std::move(*run));
    }
    return Complete(journal, std::move(runs), std::nullopt);
}

BdfGathered GatherBdfCell(CJournal& journal, const QString& cell) {
    BdfGathered gathered;
    gathered.cells = {cell};
    if (!journal.HasCellRegister()) {
        gathered.failure = BdfGatherFailure::NoSuchCell;
        return gathered;
    }
    const std::optional<CellRecord> record = journal.CellNamed(cell);
    const auto links = journal.RunCells();
    const auto all = journal.Runs();
    if (!record || !links || !all) {
        gathered.failure = !journal.LastError().isEmpty() ? BdfGatherFailure::ReadFailed
                                                          : BdfGatherFailure::NoSuchCell;
        return gathered;
    }
    QSet<std::int64_t> ofCell;
    for (const RunCellLink& link : *links) {
        if (link.cellId == record->id) {
            ofCell.insert(link.runId);
        }
    }
    std::vector<RunRecord> runs;
    std::copy_if(all->begin(), all->end(), std::back_inserter(runs),
                 [&](const RunRecord& run) { return ofCell.contains(run.id); });
    if (runs.empty()) {
        gathered.failure = BdfGatherFailure::NoRunsOfCell;
        return gathered;
    }
    return Complete(journal, std::move(runs), std::nullopt);
}

BdfGathered GatherBdfProgram(CJournal& journal, std::int64_t programId) {
    BdfGathered gathered;
    gathered.programId = programId;
    std::optional<ProgramRecord> program =
        journal.HasProgramTables() ? journal.Program(programId) : std::nullopt;
    const auto all = program ? journal.Runs() : std::nullopt;
    if (!program || !all) {
        gathered.failure = !journal.LastError().isEmpty() ? BdfGatherFailure::ReadFailed
                                                          : BdfGatherFailure::NoSuchProgram;
        return gathered;
    }
    std::vector<RunRecord> runs;
    std::copy_if(all->begin(), all->end(), std::back_inserter(runs),
                 [&](const RunRecord& run) { return run.program.programId == programId; });
    if (runs.empty()) {
        gathered.failure = BdfGatherFailure::NoRunsOfProgram;
        return gathered;
    }
    return Complete(journal, std::move(runs), std::move(program));
}

BdfWriteResult WriteBdfRows(CJournal& journal, const BdfTest& test, QIODevice& device) {
    BdfWriteResult result;
    QByteArray block;
    block.resize(kBlockBytes + kMaxRow);
    qsizetype used = 0;
    for (int k = 0; k < kBdfWrittenColumns; ++k) {
        const char* const label = BdfLabelOf(static_cast<BdfColumn>(k)).label;
        const auto length = static_cast<qsizetype>(std::char_traits<char>::length(label));
        std::copy_n(label, length, block.data() + used);
        used += length;
        block[used++] = k + 1 < kBdfWrittenColumns ? ',' : '\n';
    }
    const auto writeBlock = [&] {
        if (device.write(block.constData(), used) != used) {
            result.reason = device.errorString();
            return false;
        }
        used = 0;
        return true;
    };

    const std::int64_t firstStart = test.runs.empty() ? 0 : StartOf(test.runs.front());
    std::int64_t lastTestTime = 0;
    // Cumulative from the test's start: the earlier runs' last values, in mAh and µJ.
    std::int64_t chargedMah = 0;
    std::int64_t dischargedMah = 0;
    std::int64_t chargedUj = 0;
    std::int64_t dischargedUj = 0;
    CCycleCounter cycles;
    std::int64_t step = 0;
    for (const RunRecord& run : test.runs) {
        const std::optional<std::vector<JournalSample>> samples = journal.Samples(run.id);
        if (!samples) {
            result.reason = journal.LastError();
            return result;
        }
        const std::int64_t start = StartOf(run);
        // A run that starts before the one before it ended (clocks a second or two apart) is
        // moved on whole, so the time never goes back and each step keeps its own duration.
        const std::int64_t offset = std::max(start - firstStart, lastTestTime);
        const std::int64_t cycle = cycles.Next(run);
        ++step;
        const char* const stepType = StepTypeOf(run);
        const auto stepTypeLength = std::char_traits<char>::length(stepType);
        const int sign = run.rest ? 0 : run.charge ? 1 : -1;
        // This run's counters so far, held from going back; a rest counts nothing.
        std::int64_t runMah = 0;
        std::int64_t runUj = 0;
        for (const JournalSample& sample : *samples) {
            if (!run.rest) {
                runMah = std::max<std::int64_t>(runMah, sample.capacityMah);
                runUj = std::max(runUj, std::min(sample.energyUj, kMaxRunUj));
            }
            lastTestTime = std::max(lastTestTime, offset + sample.seconds);
            const std::int64_t totals[] = {
                chargedMah + (run.charge ? runMah : 0), dischargedMah + (run.charge ? 0 : runMah),
                chargedUj + (run.charge ? runUj : 0), dischargedUj + (run.charge ? 0 : runUj)};

            char* const begin = block.data() + used;
            char* p = begin;
            p = PutInt(p, lastTestTime);
            *p++ = ',';
            p = PutFixed(p, sample.voltageMv, 3);
            *p++ = ',';
            p = PutFixed(p, sign * std::int64_t{sample.currentMa}, 3);
            *p++ = ',';
            p = PutInt(p, start + sample.seconds);
            *p++ = ',';
            p = PutInt(p, cycle);
            *p++ = ',';
            p = PutInt(p, step);
            *p++ = ',';
            p = std::copy_n(stepType, stepTypeLength, p);
            *p++ = ',';
            // mAh to Ah and µJ to Wh, both with six decimals: µAh and µWh (rounded).
            p = PutFixed(p, totals[0] * 1000, 6);
            *p++ = ',';
            p = PutFixed(p, totals[1] * 1000, 6);
            *p++ = ',';
            p = PutFixed(p, (totals[2] + 1800) / 3600, 6);
            *p++ = ',';
            p = PutFixed(p, (totals[3] + 1800) / 3600, 6);
            *p++ = ',';
            p = PutInt(p, sample.temperature);
            *p++ = ',';
            // The module holds a result up only with its flag; 0 is none either way.
            if ((sample.statusFlags & flags::kRinHeld) != 0 && sample.rinMohm != 0) {
                p = PutFixed(p, sample.rinMohm, 3);
            }
            *p++ = '\n';
            used += p - begin;
            ++result.rows;
            if (used >= kBlockBytes && !writeBlock()) {
                return result;
            }
        }
        std::int64_t& mah = run.charge ? chargedMah : dischargedMah;
        std::int64_t& uj = run.charge ? chargedUj : dischargedUj;
        mah = std::min(mah + runMah, kMaxTotal);
        uj = std::min(uj + runUj, kMaxTotal);
    }
    result.ok = writeBlock();
    return result;
}

QByteArray BdfSidecarJson(const BdfTest& test) {
    QJsonObject root;
    root.insert(QStringLiteral("format"), QStringLiteral("Battery Data Format"));
    QJsonArray columns;
    for (int k = 0; k < kBdfWrittenColumns; ++k) {
        columns.append(QString::fromLatin1(BdfLabelOf(static_cast<BdfColumn>(k)).label));
    }
    root.insert(QStringLiteral("columns"), columns);
    root.insert(QStringLiteral("written_by"),
                QJsonObject{{QStringLiteral("program"), QStringLiteral("Brimvolt")},
                            {QStringLiteral("version"), QStringLiteral(BRIMVOLT_VERSION)}});
    if (test.cell) {
        QJsonObject cell{{QStringLiteral("name"), test.cell->name},
                         {QStringLiteral("chemistry"), ChemistryName(test.cell->chemistry)},
                         {QStringLiteral("maker"), test.cell->maker}};
        if (test.cell->nominalMah > 0) {
            cell.insert(QStringLiteral("nominal_capacity_Ah"), test.cell->nominalMah / 1000.0);
        }
        root.insert(QStringLiteral("cell"), cell);
    }
    QJsonArray runs;
    CCycleCounter cycles;
    std::int64_t step = 0;
    for (const RunRecord& run : test.runs) {
        QJsonObject object{{QStringLiteral("id"), static_cast<qint64>(run.id)},
                           {QStringLiteral("start"), UtcText(run.startedUtc)},
                           {QStringLiteral("port"), run.port},
                           {QStringLiteral("kind"), KindOf(run)},
                           {QStringLiteral("label"), run.label},
                           {QStringLiteral("note"), run.note},
                           {QStringLiteral("end_cause"), EndCauseName(run.endCause)},
                           {QStringLiteral("cycle_count"), static_cast<qint64>(cycles.Next(run))},
                           {QStringLiteral("step_count"), static_cast<qint64>(++step)}};
        if (run.program.programId != 0) {
            object.insert(QStringLiteral("program_id"), static_cast<qint64>(run.program.programId));
            object.insert(QStringLiteral("program_cycle"), run.program.cycle);
            object.insert(QStringLiteral("program_step"), run.program.step);
            object.insert(QStringLiteral("rin"), run.program.rin);
        }
        runs.append(object);
    }
    root.insert(QStringLiteral("runs"), runs);
    if (!test.runs.empty()) {
        QJsonArray params;
        const RunRecord& first = test.runs.front();
        for (const ParamInfo& info : ParamTable()) {
            const int word = first.params[static_cast<std::size_t>(info.index)];
            QJsonObject param{{QStringLiteral("index"), info.index},
                              {QStringLiteral("name"), info.name},
                              {QStringLiteral("value"),
                               info.fractional ? word / 1000.0 : static_cast<double>(word)}};
            if (!info.unit.isEmpty()) {
                param.insert(QStringLiteral("unit"), info.unit);
            }
            params.append(param);
        }
        root.insert(QStringLiteral("parameters"), params);
    }
    if (test.program) {
        root.insert(QStringLiteral("program"), ProgramJsonOf(*test.program));
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QString BdfSidecarPath(const QString& out) {
    for (const char* ending : {".bdf.csv", ".bdf", ".csv"}) {
        if (out.endsWith(QLatin1String(ending), Qt::CaseInsensitive)) {
            return out.chopped(static_cast<qsizetype>(qstrlen(ending))) + QStringLiteral(".json");
        }
    }
    return out + QStringLiteral(".json");
}

BdfWriteResult WriteBdfFiles(CJournal& journal, const BdfTest& test, const QString& out) {
    BdfWriteResult result;
    QSaveFile file(out);
    if (!file.open(QIODevice::WriteOnly)) {
        result.reason = file.errorString();
        return result;
    }
    result = WriteBdfRows(journal, test, file);
    // A failed write must not be renamed over what was there.
    if (result.ok && (!file.flush() || file.error() != QFileDevice::NoError)) {
        result = {false, file.errorString(), result.rows};
    }
    if (!result.ok) {
        file.cancelWriting();
        return result;
    }
    const QString sidecarPath = BdfSidecarPath(out);
    QSaveFile sidecar(sidecarPath);
    const QByteArray json = BdfSidecarJson(test);
    if (!sidecar.open(QIODevice::WriteOnly) || sidecar.write(json) != json.size() ||
        !sidecar.flush()) {
        sidecar.cancelWriting();
        file.cancelWriting();
        return {false, QStringLiteral("%1: %2").arg(sidecarPath, sidecar.errorString()),
                result.rows};
    }
    if (!file.commit()) {
        sidecar.cancelWriting();
        return {false, file.errorString(), result.rows};
    }
    if (!sidecar.commit()) {
        return {false, QStringLiteral("%1: %2").arg(sidecarPath, sidecar.errorString()),
                result.rows};
    }
    return result;
}

QString BdfRecommendedName(const QString& folder, const BdfTest& test, const QString& institution) {
    const QString cell = test.cell ? test.cell->name : QString();
    const std::int64_t start = test.runs.empty() ? 0 : test.runs.front().startedUtc;
    const QString stem =
        NamePart(institution, QStringLiteral("BRIMVOLT")) + QStringLiteral("__") +
        NamePart(cell, QStringLiteral("cell")) + QStringLiteral("__") +
        QDateTime::fromSecsSinceEpoch(std::clamp<std::int64_t>(start, 0, 253402300799), Qt::UTC)
            .toString(QStringLiteral("yyyyMMdd")) +
        u'_';
    // A number is taken by any file of that name, whatever it ends in (the sidecar's .json).
    QSet<QString> taken;
    for (const QString& name :
         QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System)) {
        if (name.startsWith(stem)) {
            taken.insert(name.mid(stem.size()).section(u'.', 0, 0));
        }
    }
    int number = 1;
    while (taken.contains(QStringLiteral("%1").arg(number, 3, 10, QChar(u'0')))) {
        ++number;
    }
    return stem + QStringLiteral("%1.bdf").arg(number, 3, 10, QChar(u'0'));
}

}  // namespace brimvolt
