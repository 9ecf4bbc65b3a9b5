#include "bdf/BdfImport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#ifdef Q_OS_WIN
#include <QtZlib/zlib.h>
#else
#include <zlib.h>
#endif

#include "bdf/BdfLabels.h"
#include "journal/Journal.h"
#include "module/Commands.h"
#include "module/Protocol.h"
#include "platform/Files.h"

namespace brimvolt {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(BdfImport)
};

// The journal keeps whole mV and mA in 16 bits.
constexpr double kMaxVolts = 65.535;
constexpr double kMaxAmps = 65.535;
constexpr double kMaxRinOhm = 65.535;
// The module's clock stops at 255:59:59; the journal keeps no longer run.
constexpr double kMaxStepSeconds = kMaxModuleSeconds;
// 9999-12-31 23:59:59 UTC, the last start the journal reads back.
constexpr double kLastStartUtc = 253402300799.0;
// A file, inflated or not, is read whole; more than this is no test's record.
constexpr qsizetype kMaxTextBytes = qsizetype{1} << 30;
// A time that lands a hair under a whole second is that second.
constexpr double kSecondSlack = 1e-6;
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

/** The columns the journal takes, by their place in the file's header; -1 where absent. */
struct Columns {
    int time = -1;
    int volts = -1;
    int amps = -1;
    int unixTime = -1;
    int stepCount = -1;
    int stepType = -1;
    int chargeAh = -1;
    int dischargeAh = -1;
    int temperature = -1;
    int rin = -1;
};

/** A data row, its numbers; NaN for an empty field. */
struct Row {
    int line = 0;
    double time = 0;
    double volts = 0;
    double amps = 0;
    double unixTime = kNone;
    double stepCount = kNone;
    double chargeAh = kNone;
    double dischargeAh = kNone;
    double temperature = kNone;
    double rinOhm = kNone;
    int stepType = -1;  // into the distinct step types met
};

struct Refusal {
    int line = 0;  // 0: the file as a whole
    QString reason;
};

QString Number(double value) {
    return QString::number(value, 'g', 12);
}

// A file's text in a message: one line, printable, not endless.
QString Quoted(const std::string& field) {
    QString text = QString::fromUtf8(field.data(), static_cast<qsizetype>(field.size()));
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control) {
            c = QLatin1Char('?');
        }
    }
    if (text.size() > 40) {
        text = text.left(40) + QStringLiteral("…");
    }
    return text;
}

bool IsGzip(const QByteArray& bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
           static_cast<unsigned char>(bytes[1]) == 0x8b;
}

/** The gzip stream's text (every member of it), or nullopt when it does not inflate. */
std::optional<QByteArray> Inflate(const QByteArray& gz) {
    z_stream stream{};
    // 16 + the largest window: a gzip header and trailer, checked.
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        return std::nullopt;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.constData()));
    stream.avail_in = static_cast<uInt>(gz.size());
    QByteArray text;
    std::array<char, 1 << 16> chunk{};
    int code = Z_OK;
    while (code != Z_STREAM_END) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
        stream.avail_out = static_cast<uInt>(chunk.size());
        code = inflate(&stream, Z_NO_FLUSH);
        // Z_BUF_ERROR here means no progress: the stream ends before its end.
        if ((code != Z_OK && code != Z_STREAM_END) ||
            text.size() > kMaxTextBytes - static_cast<qsizetype>(chunk.size())) {
            inflateEnd(&stream);
            return std::nullopt;
        }
        text.append(chunk.data(), static_cast<qsizetype>(chunk.size() - stream.avail_out));
        if (code == Z_STREAM_END && stream.avail_in > 0 && inflateReset(&stream) == Z_OK) {
            code = Z_OK;  // gzip files may be several members one after another
        }
    }
    inflateEnd(&stream);
    return text;
}

/** The records of CSV text, quoted fields as CSV reads them, each with the line it begins on. */
class CCsvRecords {
public:
    explicit CCsvRecords(const QByteArray& text) : text(text) {}

    /** The next record that is not an empty line; false at the end of the text. */
    bool Next(std::vector<std::string>& fields, std::size_t& count, int& line) {
        while (pos < text.size()) {
            line = lineNumber;
            count = 0;
            bool any = false;
            Field(fields, count).clear();
            while (pos < text.size()) {
                const char c = text[pos++];
                if (c == '"' && Field(fields, count).empty()) {
                    ReadQuoted(Field(fields, count));
                    any = true;
                } else if (c == ',') {
                    ++count;
                    Field(fields, count).clear();
                    any = true;
                } else if (c == '\n' || c == '\r') {
                    if (c == '\r' && pos < text.size() && text[pos] == '\n') {
                        ++pos;
                    }
                    ++lineNumber;
                    break;
                } else {
                    Field(fields, count).push_back(c);
                    any = any || (c != ' ' && c != '\t');
                }
            }
            ++count;
            if (any) {
                return true;
            }
        }
        return false;
    }

private:
    static std::string& Field(std::vector<std::string>& fields, std::size_t index) {
        if (fields.size() <= index) {
            fields.resize(index + 1);
        }
        return fields[index];
    }

    void ReadQuoted(std::string& field) {
        while (pos < text.size()) {
            const char c = text[pos++];
            if (c == '"') {
                if (pos < text.size() && text[pos] == '"') {
                    field.push_back('"');
                    ++pos;
                } else {
                    return;
                }
            } else {
                lineNumber += c == '\n' ? 1 : 0;
                field.push_back(c);
            }
        }
    }

    const QByteArray& text;
    qsizetype pos = 0;
    int lineNumber = 1;
};

std::string_view Trimmed(const std::string& field) {
    std::string_view view(field);
    while (!view.empty() && (view.front() == ' ' || view.front() == '\t')) {
        view.remove_prefix(1);
    }
    while (!view.empty() && (view.back() == ' ' || view.back() == '\t')) {
        view.remove_suffix(1);
    }
    return view;
}

/** The field's number: NaN when empty, nullopt when it is no finite number. */
std::optional<double> NumberOf(const std::string& field) {
    std::string_view view = Trimmed(field);
    if (view.empty()) {
        return kNone;
    }
    if (view.front() == '+') {
        view.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || end != view.data() + view.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

bool IsNumeric(const BdfLabel& label) {
    // Every column with a unit holds numbers; Step Type and Step ID hold text.
    return QLatin1StringView(label.label).contains(QLatin1StringView(" / "));
}

/** +1 charging, -1 discharging, 0 below the journal's 1 mA: a rest. */
int SignOf(double amps) {
    return amps >= 0.001 ? 1 : amps <= -0.001 ? -1 : 0;
}

/** What a step is for the journal: +1 charge, -1 discharge, 0 neither (not imported). */
struct StepSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
    int number = 0;
    int kind = 0;
};

class CReader {
public:
    CReader(const QString& name, std::int64_t modifiedUtc) : name(name), modifiedUtc(modifiedUtc) {}

    BdfRead Read(const QByteArray& bytes);

private:
    std::optional<Refusal> ReadHeader(const std::vector<std::string>& fields, std::size_t count,
                                      int line);
    std::optional<Refusal> ReadRow(const std::vector<std::string>& fields, std::size_t count,
                                   int line);
    std::vector<StepSpan> Steps() const;
    std::optional<Refusal> KindOf(StepSpan& step) const;
    std::optional<Refusal> MakeStep(const StepSpan& span, BdfStep& step);

    const QString name;
    const std::int64_t modifiedUtc;
    Columns columns;
    std::size_t width = 0;
    std::vector<int> numericColumns;  // every known numeric column, checked in every row
    std::vector<std::string> stepTypes;
    std::vector<std::string> headerNames;
    std::vector<double> rowValues;  // one row's numbers, by column, kept between rows
    std::vector<Row> rows;
    QString skippedColumns;
    int headerLine = 0;
    int clamped = 0;  // temperatures outside what the journal keeps
};

std::optional<Refusal> CReader::ReadHeader(const std::vector<std::string>& fields,
                                           std::size_t count, int line) {
    headerLine = line;
    width = count;
    headerNames.assign(fields.begin(), fields.begin() + static_cast<std::ptrdiff_t>(count));
    const std::span<const BdfLabel> known = BdfKnownLabels();
    std::vector<int> place(known.size(), -1);
    QStringList skipped;
    for (std::size_t i = 0; i < count; ++i) {
        const QString cell =
            QString::fromUtf8(fields[i].data(), static_cast<qsizetype>(fields[i].size()));
        const std::optional<int> column = BdfColumnNamed(cell);
        if (!column) {
            if (!cell.trimmed().isEmpty()) {
                skipped.append(Quoted(fields[i]).trimmed());
            }
            continue;
        }
        if (place[static_cast<std::size_t>(*column)] >= 0) {
            return Refusal{line, Text::tr("столбец «%1» указан дважды")
                                     .arg(QLatin1StringView(known[*column].label))};
        }
        place[static_cast<std::size_t>(*column)] = static_cast<int>(i);
        if (IsNumeric(known[*column])) {
            numericColumns.push_back(static_cast<int>(i));
        }
    }
    for (int i = 0; i < kBdfRequiredColumns; ++i) {
        if (place[static_cast<std::size_t>(i)] < 0) {
            return Refusal{
                line,
                Text::tr("нет обязательного столбца «%1»").arg(QLatin1StringView(known[i].label))};
        }
    }
    const auto at = [&](const char* label) {
        const std::optional<int> column = BdfColumnNamed(QLatin1StringView(label));
        return column ? place[static_cast<std::size_t>(*column)] : -1;
    };
    const auto first = [](int a, int b) { return a >= 0 ? a : b; };
    columns.time = at("Test Time / s");
    columns.volts = at("Voltage / V");
    columns.amps = at("Current / A");
    columns.unixTime = at("Unix Time / s");
    columns.stepCount = at("Step Count / 1");
    columns.stepType = at("Step Type");
    columns.chargeAh = at("Charging Capacity / Ah");
    columns.dischargeAh = at("Discharging Capacity / Ah");
    columns.temperature =
        first(at("Surface Temperature / degC"),
              first(at("Ambient Temperature / degC"), at("Temperature T1 / degC")));
    columns.rin = first(at("Internal Resistance / ohm"), at("DC Internal Resistance / ohm"));
    if (!skipped.isEmpty()) {
        skippedColumns =
            Text::tr("Пропущены столбцы, которых не знает формат BDF: %1").arg(skipped.join(", "));
    }
    return std::nullopt;
}

std::optional<Refusal> CReader::ReadRow(const std::vector<std::string>& fields, std::size_t count,
                                        int line) {
    if (count != width) {
        return Refusal{line, Text::tr("полей в строке: %1, в заголовке: %2").arg(count).arg(width)};
    }
    std::vector<double>& values = rowValues;
    values.assign(width, kNone);
    for (const int column : numericColumns) {
        const std::optional<double> value = NumberOf(fields[static_cast<std::size_t>(column)]);
        if (!value) {
            return Refusal{line, Text::tr("«%1»: «%2» — не число")
                                     .arg(Quoted(headerNames[static_cast<std::size_t>(column)]),
                                          Quoted(fields[static_cast<std::size_t>(column)]))};
        }
        values[static_cast<std::size_t>(column)] = *value;
    }
    for (const int column : {columns.time, columns.volts, columns.amps}) {
        if (std::isnan(values[static_cast<std::size_t>(column)])) {
            return Refusal{line, Text::tr("«%1»: нет значения")
                                     .arg(Quoted(headerNames[static_cast<std::size_t>(column)]))};
        }
    }
    Row row;
    row.line = line;
    const auto value = [&](int column) {
        return column >= 0 ? values[static_cast<std::size_t>(column)] : kNone;
    };
    row.time = value(columns.time);
    row.volts = value(columns.volts);
    row.amps = value(columns.amps);
    row.unixTime = value(columns.unixTime);
    row.stepCount = value(columns.stepCount);
    row.chargeAh = value(columns.chargeAh);
    row.dischargeAh = value(columns.dischargeAh);
    row.temperature = value(columns.temperature);
    row.rinOhm = value(columns.rin);
    if (!rows.empty() && row.time < rows.back().time) {
        return Refusal{line, Text::tr("время испытания идёт назад: %1 с после %2 с")
                                 .arg(Number(row.time), Number(rows.back().time))};
    }
    if (row.volts < 0 || row.volts > kMaxVolts) {
        return Refusal{line, Text::tr("напряжение %1 В вне того, что хранит журнал (от 0 до "
                                      "65.535 В)")
                                 .arg(Number(row.volts))};
    }
    if (std::abs(row.amps) > kMaxAmps) {
        return Refusal{line,
                       Text::tr("ток %1 А вне того, что хранит журнал (до 65.535 А по модулю)")
                           .arg(Number(row.amps))};
    }
    if (columns.stepType >= 0) {
        const std::string type(Trimmed(fields[static_cast<std::size_t>(columns.stepType)]));
        const auto found = std::find(stepTypes.begin(), stepTypes.end(), type);
        row.stepType = static_cast<int>(found - stepTypes.begin());
        if (found == stepTypes.end()) {
            stepTypes.push_back(type);
        }
    }
    rows.push_back(row);
    return std::nullopt;
}

std::vector<StepSpan> CReader::Steps() const {
    std::vector<StepSpan> steps;
    double lastCount = kNone;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        bool begins = i == 0;
        if (columns.stepCount >= 0) {
            // A row without a step count stays in the step before it.
            begins = begins || (!std::isnan(row.stepCount) && row.stepCount != lastCount);
            lastCount = std::isnan(row.stepCount) ? lastCount : row.stepCount;
        } else if (columns.stepType >= 0) {
            begins = begins || row.stepType != rows[i - 1].stepType;
        } else {
            begins = begins || SignOf(row.amps) != SignOf(rows[i - 1].amps);
        }
        if (!begins) {
            continue;
        }
        if (!steps.empty()) {
            steps.back().end = i;
        }
        StepSpan step;
        step.begin = i;
        step.number = static_cast<int>(steps.size()) + 1;
        if (row.stepCount >= 1 && row.stepCount <= std::numeric_limits<int>::max() &&
            row.stepCount == std::floor(row.stepCount)) {
            step.number = static_cast<int>(row.stepCount);
        }
        steps.push_back(step);
    }
    if (!steps.empty()) {
        steps.back().end = rows.size();
    }
    return steps;
}

std::optional<Refusal> CReader::KindOf(StepSpan& step) const {
    const Row& first = rows[step.begin];
    if (columns.stepCount < 0 && columns.stepType < 0) {
        step.kind = SignOf(first.amps);
        return std::nullopt;
    }
    int charging = 0;
    int discharging = 0;
    double sum = 0;
    bool reachesMa = false;
    for (std::size_t i = step.begin; i < step.end; ++i) {
        const double amps = rows[i].amps;
        charging += amps > 0 ? 1 : 0;
        discharging += amps < 0 ? 1 : 0;
        sum += amps;
        reachesMa = reachesMa || SignOf(amps) != 0;
    }
    step.kind = charging > discharging   ? 1
                : discharging > charging ? -1
                : sum > 0                ? 1
                : sum < 0                ? -1
                                         : 0;
    if (columns.stepType < 0) {
        if (!reachesMa) {
            step.kind = 0;  // split by its count alone: the tester's noise in a rest
        }
        return std::nullopt;
    }
    QString type = QString::fromStdString(stepTypes[static_cast<std::size_t>(first.stepType)]);
    type = type.toUpper();
    const int marked = type.contains(QLatin1StringView("DCH"))   ? -1
                       : type.contains(QLatin1StringView("CHG")) ? 1
                                                                 : 0;
    if (marked == 0 && !reachesMa) {
        // A rest (or a measurement) whose current is the tester's noise.
        step.kind = 0;
    } else if (marked != 0 && step.kind != 0 && marked != step.kind) {
        // The file's sign of the current is not the format's.
        return Refusal{first.line,
                       step.kind > 0
                           ? Text::tr("шаг %1 помечен «%2», но его ток заряжает элемент "
                                      "(положительный ток заряжает)")
                                 .arg(step.number)
                                 .arg(Quoted(stepTypes[static_cast<std::size_t>(first.stepType)]))
                           : Text::tr("шаг %1 помечен «%2», но его ток разряжает элемент "
                                      "(отрицательный ток разряжает)")
                                 .arg(step.number)
                                 .arg(Quoted(stepTypes[static_cast<std::size_t>(first.stepType)]))};
    }
    return std::nullopt;
}

std::optional<Refusal> CReader::MakeStep(const StepSpan& span, BdfStep& step) {
    const Row& first = rows[span.begin];
    const Row& last = rows[span.end - 1];
    const bool charge = span.kind > 0;
    for (std::size_t i = span.begin; i < span.end; ++i) {
        const Row& row = rows[i];
        if (row.amps != 0 && std::lround(std::abs(row.amps) * 1000) == 0) {
            return Refusal{
                row.line,
                Text::tr("ток %1 А мельче 1 мА, которым считает журнал").arg(Number(row.amps))};
        }
        if (row.rinOhm < 0 || row.rinOhm > kMaxRinOhm) {
            return Refusal{row.line, Text::tr("Rвн %1 Ом вне того, что хранит журнал (от 0 до "
                                              "65.535 Ом)")
                                         .arg(Number(row.rinOhm))};
        }
        if (row.rinOhm > 0 && std::lround(row.rinOhm * 1000) == 0) {
            return Refusal{
                row.line,
                Text::tr("Rвн %1 Ом мельче 1 мОм, которым считает журнал").arg(Number(row.rinOhm))};
        }
    }
    if (last.time - first.time > kMaxStepSeconds) {
        return Refusal{
            last.line,
            Text::tr("шаг %1 длится дольше 255:59:59, которые хранит журнал").arg(span.number)};
    }

    // Capacity from the file's counter for the step's direction, else from its current.
    const std::size_t n = span.end - span.begin;
    std::vector<double> capacityMah(n, 0.0);
    const int counter = charge ? columns.chargeAh : columns.dischargeAh;
    bool fromCounter = counter >= 0;
    for (std::size_t i = span.begin; fromCounter && i < span.end; ++i) {
        fromCounter = !std::isnan(charge ? rows[i].chargeAh : rows[i].dischargeAh);
    }
    const double sign = charge ? 1.0 : -1.0;
    for (std::size_t k = 1; k < n; ++k) {
        const Row& a = rows[span.begin + k - 1];
        const Row& b = rows[span.begin + k];
        if (fromCounter) {
            const double ah = (charge ? b.chargeAh : b.dischargeAh) -
                              (charge ? first.chargeAh : first.dischargeAh);
            if (std::abs(ah) * 1000 > std::numeric_limits<std::int32_t>::max()) {
                return Refusal{
                    b.line, Text::tr("ёмкость %1 А·ч вне того, что хранит журнал").arg(Number(ah))};
            }
            capacityMah[k] = ah * 1000;
        } else {
            // A·s to mAh: / 3600 × 1000.
            capacityMah[k] =
                capacityMah[k - 1] + sign * (a.amps + b.amps) / 2 * (b.time - a.time) / 3.6;
        }
    }

    // One reading a second: the first of each whole second, and the step's last always.
    std::vector<std::size_t> kept;
    std::int64_t keptSecond = -1;
    for (std::size_t i = span.begin; i < span.end; ++i) {
        const auto second =
            static_cast<std::int64_t>(std::floor(rows[i].time - first.time + kSecondSlack));
        if (second > keptSecond) {
            kept.push_back(i);
            keptSecond = second;
        } else if (i + 1 == span.end) {
            kept.back() = i;
        }
    }

    RunRecord& run = step.run;
    run.charge = charge;
    run.params[4] = charge ? 1 : 0;
    run.port = QLatin1StringView(kBdfImportPort);
    run.state = RunState::Stopped;
    run.endCause = EndCause::Module;
    run.note = Text::tr("%1, шаг %2").arg(QFileInfo(name).fileName()).arg(span.number);
    if (!std::isnan(first.unixTime)) {
        if (first.unixTime < 0 || first.unixTime > kLastStartUtc) {
            return Refusal{first.line, Text::tr("время Unix %1 с — не дата от 1970 до 9999 года")
                                           .arg(Number(first.unixTime))};
        }
        run.startedUtc = static_cast<std::int64_t>(std::floor(first.unixTime));
    } else {
        const double start = static_cast<double>(modifiedUtc) - rows.back().time + first.time;
        run.startedUtc =
            static_cast<std::int64_t>(std::clamp(std::floor(start), 0.0, kLastStartUtc));
    }
    step.number = span.number;

    CRunEnergy energy;
    double heldRin = kNone;
    double temperature = kNone;
    std::size_t next = 0;
    step.samples.reserve(kept.size());
    for (std::size_t i = span.begin; i < span.end && next < kept.size(); ++i) {
        const Row& row = rows[i];
        // The last Rin result stays held, as the module holds its own, so thinning loses none.
        heldRin = std::isnan(row.rinOhm) ? heldRin : row.rinOhm;
        temperature = std::isnan(row.temperature) ? temperature : row.temperature;
        if (i != kept[next]) {
            continue;
        }
        ++next;
        JournalSample sample;
        sample.seconds =
            static_cast<std::int32_t>(std::floor(row.time - first.time + kSecondSlack));
        sample.voltageMv = static_cast<std::uint16_t>(std::lround(row.volts * 1000));
        sample.currentMa = static_cast<std::uint16_t>(std::lround(std::abs(row.amps) * 1000));
        sample.capacityMah = static_cast<std::int32_t>(std::lround(capacityMah[i - span.begin]));
        if (!std::isnan(temperature)) {
            const long celsius = std::lround(temperature);
            clamped += celsius < 0 || celsius > 255 ? 1 : 0;
            sample.temperature = static_cast<std::uint8_t>(std::clamp(celsius, 0L, 255L));
        }
        if (!std::isnan(heldRin)) {
            sample.rinMohm = static_cast<std::uint16_t>(std::lround(heldRin * 1000));
            sample.statusFlags |= flags::kRinHeld;
            run.rinMohm = sample.rinMohm;
        }
        energy.Add(sample.seconds, sample.voltageMv, sample.currentMa);
        sample.energyUj = energy.Uj();
        if (step.samples.empty()) {
            run.startMv = sample.voltageMv;
        }
        run.maxTemperature = std::max(run.maxTemperature, sample.temperature);
        step.samples.push_back(sample);
    }
    const JournalSample& end = step.samples.back();
    run.durationSeconds = end.seconds;
    run.capacityMah = end.capacityMah;
    run.energyUj = energy.Uj();
    run.endMv = end.voltageMv;
    run.sampleCount = static_cast<std::int32_t>(step.samples.size());
    return std::nullopt;
}

BdfRead CReader::Read(const QByteArray& bytes) {
    BdfRead result;
    const auto refuse = [&](const Refusal& refusal) {
        result.steps.clear();
        result.error = refusal.line > 0
                           ? QStringLiteral("%1:%2: %3")
                                 .arg(name, QString::number(refusal.line), refusal.reason)
                           : QStringLiteral("%1: %2").arg(name, refusal.reason);
        return result;
    };
    QByteArray inflated;
    if (IsGzip(bytes)) {
        std::optional<QByteArray> text = Inflate(bytes);
        if (!text) {
            return refuse({0, Text::tr("поток gzip не распаковывается")});
        }
        inflated = std::move(*text);
    }
    CCsvRecords records(IsGzip(bytes) ? inflated : bytes);
    std::vector<std::string> fields;
    std::size_t count = 0;
    int line = 0;
    if (!records.Next(fields, count, line)) {
        return refuse({0, Text::tr("в файле нет строки заголовка")});
    }
    if (const std::optional<Refusal> refused = ReadHeader(fields, count, line)) {
        return refuse(*refused);
    }
    while (records.Next(fields, count, line)) {
        if (const std::optional<Refusal> refused = ReadRow(fields, count, line)) {
            return refuse(*refused);
        }
    }
    for (StepSpan& span : Steps()) {
        if (const std::optional<Refusal> refused = KindOf(span)) {
            return refuse(*refused);
        }
        if (span.kind == 0) {
            continue;  // rests are the time between runs, not runs
        }
        BdfStep step;
        if (const std::optional<Refusal> refused = MakeStep(span, step)) {
            return refuse(*refused);
        }
        result.steps.push_back(std::move(step));
    }
    if (result.steps.empty()) {
        // Currents all under 1 mA (a coin cell) look like rests: say that, not "no steps".
        for (const Row& row : rows) {
            if (row.amps != 0 && std::lround(std::abs(row.amps) * 1000) == 0) {
                return refuse({row.line, Text::tr("ток %1 А мельче 1 мА, которым считает журнал")
                                             .arg(Number(row.amps))});
            }
        }
        return refuse({headerLine, Text::tr("нет ни одного шага заряда или разряда")});
    }
    result.skippedColumns = skippedColumns;
    if (clamped > 0) {
        result.clampedTemperatures =
            Text::tr("Температура вне 0…255 °C приведена к этим пределам в показаниях: %1")
                .arg(clamped);
    }
    return result;
}

}  // namespace

BdfRead ReadBdf(const QByteArray& bytes, const QString& name, std::int64_t modifiedUtc) {
    return CReader(name, modifiedUtc).Read(bytes);
}

BdfRead ReadBdfFile(const QString& path) {
    BdfRead result;
    result.unreadable = true;
    QFile file(path);
    if (!platform::IsRegularFile(path) || !file.open(QIODevice::ReadOnly)) {
        result.error = Text::tr("%1: не удалось открыть файл").arg(path);
        return result;
    }
    if (file.size() > kMaxTextBytes) {
        result.error = Text::tr("%1: файл больше 1 ГиБ").arg(path);
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = Text::tr("%1: не удалось прочитать файл: %2").arg(path, file.errorString());
        return result;
    }
    return ReadBdf(bytes, path, QFileInfo(file).lastModified().toSecsSinceEpoch());
}

bool ImportBdfSteps(CJournal& journal, std::span<BdfStep> steps, const QString& cell,
                    QString& error) {
    // The register first: a journal that cannot take the cell gets no runs either.
    if (!cell.isEmpty() && !journal.Upgrade()) {
        error = Text::tr("%1: не удалось добавить реестр элементов: %2")
                    .arg(journal.Path(), journal.LastError());
        return false;
    }
    std::vector<CJournal::NewRun> runs;
    runs.reserve(steps.size());
    for (BdfStep& step : steps) {
        runs.push_back({&step.run, step.samples});
    }
    if (!journal.AddRuns(runs)) {
        error = Text::tr("%1: не удалось записать в журнал: %2")
                    .arg(journal.Path(), journal.LastError());
        return false;
    }
    for (const BdfStep& step : steps) {
        if (!cell.isEmpty() && !journal.SetRunCell(step.run.id, cell)) {
            error = Text::tr("%1: не удалось связать испытание %2 с элементом: %3")
                        .arg(journal.Path(), QString::number(step.run.id), journal.LastError());
            return false;
        }
    }
    return true;
}

}  // namespace brimvolt
