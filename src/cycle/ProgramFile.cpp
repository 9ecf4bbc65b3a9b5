#include "cycle/ProgramFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cmath>
#include <initializer_list>

#include "platform/Dialogs.h"

namespace brimvolt {

namespace {

// A key from the file, fit for one line on a terminal: no control characters, not too long.
QString Printable(const QString& key) {
    QString text = key.left(40);
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) {
            c = u'?';
        }
    }
    return key.size() > 40 ? text + QStringLiteral("...") : text;
}

struct Fault {
    QString text;
};

// Reads the fields of one step's object; the first fault wins and the rest is skipped.
class CStepReader {
public:
    CStepReader(const QJsonObject& object, QString where, std::optional<Fault>& fault)
        : object(object), where(std::move(where)), fault(fault) {}

    void AllowOnly(std::initializer_list<const char*> fields) {
        for (auto it = object.begin(); it != object.end() && !fault; ++it) {
            bool known = false;
            for (const char* field : fields) {
                known = known || it.key() == QLatin1String(field);
            }
            if (!known) {
                Fail(Printable(it.key()), QStringLiteral("unknown field"));
            }
        }
    }

    /** A number in [low, high]; `fallback` when absent, or a fault when there is none. */
    double Number(const char* field, double low, double high, std::optional<double> fallback,
                  const char* range) {
        const QJsonValue value = object.value(QLatin1String(field));
        if (fault) {
            return 0.0;
        }
        if (value.isUndefined()) {
            if (!fallback) {
                Fail(QLatin1String(field), QStringLiteral("missing"));
                return 0.0;
            }
            return *fallback;
        }
        const double number = value.toDouble(std::nan(""));
        if (!value.isDouble() || !std::isfinite(number)) {
            Fail(QLatin1String(field), QStringLiteral("must be a number"));
            return 0.0;
        }
        if (number < low || number > high) {
            Fail(QLatin1String(field), QStringLiteral("must be ") + QLatin1String(range));
            return 0.0;
        }
        return number;
    }

    std::int32_t Whole(const char* field, std::int32_t low, std::int32_t high, const char* range) {
        const double number = Number(field, low, high, std::nullopt, range);
        if (!fault && number != std::floor(number)) {
            Fail(QLatin1String(field), QStringLiteral("must be a whole number"));
        }
        return static_cast<std::int32_t>(number);
    }

private:
    void Fail(const QString& field, const QString& why) {
        fault = Fault{where + QStringLiteral(": ") + field + QStringLiteral(": ") + why};
    }

    const QJsonObject& object;
    QString where;
    std::optional<Fault>& fault;
};

// Amperes and volts become the words parameters 3 and 1 take, as a typed value does.
std::uint16_t Milli(double value) {
    return static_cast<std::uint16_t>(std::trunc((value + 0.000000001) * 1000.0));
}

std::optional<ProgramStep> ReadStep(const QJsonValue& value, std::size_t index,
                                    std::optional<Fault>& fault) {
    const QString where = QStringLiteral("step %1").arg(index + 1);
    const QJsonObject outer = value.toObject();
    if (!value.isObject() || outer.size() != 1) {
        fault = Fault{where + QStringLiteral(": must be one of {\"charge\": {...}}, "
                                             "{\"discharge\": ...}, {\"rest\": ...}, "
                                             "{\"rin\": ...}, {\"repeat\": ...}")};
        return std::nullopt;
    }
    const QString kind = outer.begin().key();
    if (!outer.begin().value().isObject()) {
        fault = Fault{where + QStringLiteral(": ") + Printable(kind) +
                      QStringLiteral(": must be an object")};
        return std::nullopt;
    }
    const QJsonObject fields = outer.begin().value().toObject();
    CStepReader reader(fields, where, fault);
    ProgramStep step;
    const std::optional<double> required;
    if (kind == QLatin1String("charge") || kind == QLatin1String("discharge") ||
        kind == QLatin1String("rin")) {
        const bool rin = kind == QLatin1String("rin");
        step.kind = rin                               ? StepKind::Rin
                    : kind == QLatin1String("charge") ? StepKind::Charge
                                                      : StepKind::Discharge;
        reader.AllowOnly(
            rin ? std::initializer_list<const char*>{"current_A", "cutoff_V"}
                : std::initializer_list<const char*>{"current_A", "cutoff_V", "limit_minutes"});
        // The ranges the module's parameters 3 and 1 take.
        step.currentMa = Milli(reader.Number("current_A", 0.001, 4.0,
                                             rin ? std::optional(1.0) : required, "0.001 to 4"));
        step.cutoffMv = Milli(
            reader.Number("cutoff_V", 0.7, 16.0, rin ? std::optional(3.0) : required, "0.7 to 16"));
        if (!rin) {
            step.limitMinutes = static_cast<std::int32_t>(
                std::ceil(reader.Number("limit_minutes", 1.0, 1440.0, 0.0, "1 to 1440")));
        }
    } else if (kind == QLatin1String("rest")) {
        step.kind = StepKind::Rest;
        reader.AllowOnly({"minutes"});
        step.restSeconds = static_cast<std::int32_t>(std::lround(
            reader.Number("minutes", 1.0 / 60.0, 1440.0, required, "1/60 to 1440") * 60.0));
    } else if (kind == QLatin1String("repeat")) {
        step.kind = StepKind::Repeat;
        reader.AllowOnly({"from", "times"});
        step.repeatFrom =
            reader.Whole("from", 1, static_cast<std::int32_t>(index), "an earlier step");
        step.repeatTimes = reader.Whole("times", 1, kMaxRepeatTimes, "1 to 1000");
    } else {
        fault = Fault{where + QStringLiteral(": ") + Printable(kind) +
                      QStringLiteral(": unknown step (charge, discharge, rest, rin, repeat)")};
    }
    if (fault) {
        return std::nullopt;
    }
    return step;
}

int LineOf(const QByteArray& json, int offset) {
    return static_cast<int>(json.left(offset).count('\n')) + 1;
}

double Units(std::uint16_t milli) {
    return milli / 1000.0;
}

}  // namespace

std::optional<TestProgram> ParseProgram(const QByteArray& json, QString& error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = QStringLiteral("line %1: %2")
                    .arg(LineOf(json, parseError.offset))
                    .arg(parseError.errorString());
        return std::nullopt;
    }
    if (!document.isObject()) {
        error = QStringLiteral("the program must be an object with \"name\" and \"steps\"");
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (it.key() != QLatin1String("name") && it.key() != QLatin1String("steps") &&
            it.key() != QLatin1String("capacity_mAh")) {
            error = Printable(it.key()) + QStringLiteral(": unknown field");
            return std::nullopt;
        }
    }
    TestProgram program;
    const QJsonValue name = root.value(QLatin1String("name"));
    if (!name.isString() || name.toString().trimmed().isEmpty()) {
        error = QStringLiteral("name: must be a text that is not empty");
        return std::nullopt;
    }
    program.name = name.toString();
    const QJsonValue capacity = root.value(QLatin1String("capacity_mAh"));
    if (!capacity.isUndefined()) {
        const double mah = capacity.toDouble(-1.0);
        if (!capacity.isDouble() || !(mah >= 0.0 && mah <= 1e6)) {
            error = QStringLiteral("capacity_mAh: must be 0 to 1000000");
            return std::nullopt;
        }
        program.nominalCapacityMah = static_cast<std::int32_t>(std::lround(mah));
    }
    const QJsonValue steps = root.value(QLatin1String("steps"));
    if (!steps.isArray() || steps.toArray().isEmpty()) {
        error = QStringLiteral("steps: must be a list of at least one step");
        return std::nullopt;
    }
    const QJsonArray list = steps.toArray();
    if (static_cast<std::size_t>(list.size()) > kMaxProgramSteps) {
        error = QStringLiteral("steps: more than %1").arg(kMaxProgramSteps);
        return std::nullopt;
    }
    std::optional<Fault> fault;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const std::optional<ProgramStep> step =
            ReadStep(list.at(i), static_cast<std::size_t>(i), fault);
        if (!step) {
            error = fault->text;
            return std::nullopt;
        }
        program.steps.push_back(*step);
    }
    if (const std::optional<QString> problem = CheckProgram(program)) {
        error = *problem;
        return std::nullopt;
    }
    return program;
}

std::optional<TestProgram> ReadProgramFile(const QString& path, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return std::nullopt;
    }
    const QByteArray json = file.read(kMaxProgramFileBytes + 1);
    if (json.size() > kMaxProgramFileBytes) {
        error = QStringLiteral("larger than %1 bytes").arg(kMaxProgramFileBytes);
        return std::nullopt;
    }
    return ParseProgram(json, error);
}

QByteArray ProgramJson(const TestProgram& program) {
    QJsonArray steps;
    for (const ProgramStep& step : program.steps) {
        QJsonObject fields;
        QString kind;
        switch (step.kind) {
            case StepKind::Charge:
            case StepKind::Discharge:
            case StepKind::Rin:
                kind = step.kind == StepKind::Charge      ? QStringLiteral("charge")
                       : step.kind == StepKind::Discharge ? QStringLiteral("discharge")
                                                          : QStringLiteral("rin");
                fields.insert(QStringLiteral("current_A"), Units(step.currentMa));
                fields.insert(QStringLiteral("cutoff_V"), Units(step.cutoffMv));
                if (step.limitMinutes > 0 && step.kind != StepKind::Rin) {
                    fields.insert(QStringLiteral("limit_minutes"), step.limitMinutes);
                }
                break;
            case StepKind::Rest:
                kind = QStringLiteral("rest");
                fields.insert(QStringLiteral("minutes"), step.restSeconds / 60.0);
                break;
            case StepKind::Repeat:
                kind = QStringLiteral("repeat");
                fields.insert(QStringLiteral("from"), step.repeatFrom);
                fields.insert(QStringLiteral("times"), step.repeatTimes);
                break;
        }
        steps.append(QJsonObject{{kind, fields}});
    }
    QJsonObject root{{QStringLiteral("name"), program.name}, {QStringLiteral("steps"), steps}};
    if (program.nominalCapacityMah > 0) {
        root.insert(QStringLiteral("capacity_mAh"), program.nominalCapacityMah);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool WriteProgramFile(const QString& path, const TestProgram& program, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    const QByteArray json = ProgramJson(program);
    if (file.write(json) != json.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(ProgramFile)
};

}  // namespace

std::optional<TestProgram> AskForProgramFile(platform::CDialogs& dialogs, QWidget* parent) {
    const QString path = dialogs.OpenFileName(
        parent, QDir::currentPath(),
        {{Text::tr("Программа испытаний (*.json)"), QStringLiteral("*.json")}});
    if (path.isEmpty()) {
        return std::nullopt;
    }
    QString error;
    std::optional<TestProgram> read = ReadProgramFile(path, error);
    if (!read) {
        dialogs.Message(parent, Text::tr("Файл программы не прочитан:\n%1").arg(error),
                        Text::tr("Ошибка"), platform::Buttons::Ok);
    }
    return read;
}

}  // namespace brimvolt
