#include "pack/CellCsv.h"

#include <QHash>
#include <cmath>

namespace brimvolt {

namespace {

constexpr int kMaxNameLength = 200;
constexpr double kMaxCapacityMah = 1e7;
constexpr double kMaxRinMohm = 1e6;

struct Record {
    int line = 0;
    QStringList fields;
};

/**
 * The separator of the file: the first "," or ";" outside quotes on the first line that is not
 * blank (blank lines are skipped everywhere, the ones before the header too).
 */
QChar SeparatorOf(const QString& text) {
    bool quoted = false;
    bool blank = true;
    for (const QChar c : text) {
        if (c == u'"') {
            quoted = !quoted;
            blank = false;
        } else if (!quoted && (c == u',' || c == u';')) {
            return c;
        } else if (!quoted && c == u'\n') {
            if (!blank) {
                break;
            }
        } else if (!c.isSpace()) {
            blank = false;
        }
    }
    return u',';
}

/** Splits the text into records; fills `error` and `errorLine` on a quoting fault. */
std::vector<Record> SplitRecords(const QString& text, QChar separator, CellCsvResult& result) {
    std::vector<Record> records;
    Record record{1, {}};
    QString field;
    int line = 1;
    bool quoted = false;
    bool closedQuote = false;  // a quoted field ended: only a separator or the line end may follow
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
                closedQuote = true;
            } else {
                if (c == u'\n') {
                    ++line;
                }
                field += c;
            }
            continue;
        }
        if (c == u'\r') {
            continue;
        }
        if (c == separator || c == u'\n') {
            record.fields.append(field);
            field.clear();
            closedQuote = false;
            if (c == u'\n') {
                records.push_back(std::move(record));
                record = Record{++line, {}};
            }
            continue;
        }
        if (closedQuote) {
            if (c.isSpace()) {
                continue;
            }
            result.errorLine = line;
            result.error = QStringLiteral("text after a closing quote");
            return {};
        }
        if (c == u'"' && field.trimmed().isEmpty()) {
            field.clear();
            quoted = true;
            continue;
        }
        field += c;
    }
    if (quoted) {
        result.errorLine = record.line;
        result.error = QStringLiteral("a quoted field is not closed");
        return {};
    }
    if (!field.isEmpty() || !record.fields.isEmpty()) {
        record.fields.append(field);
        records.push_back(std::move(record));
    }
    return records;
}

std::optional<double> Number(QString text, QChar separator, double highest) {
    text = text.trimmed();
    if (separator == u';') {
        text.replace(u',', u'.');
    }
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0.0 || value > highest) {
        return std::nullopt;
    }
    return value;
}

bool Blank(const Record& record) {
    for (const QString& field : record.fields) {
        if (!field.trimmed().isEmpty()) {
            return false;
        }
    }
    return true;
}

bool HasControl(const QString& text) {
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control) {
            return true;
        }
    }
    return false;
}

QString Quoted(const QString& text) {
    if (!text.contains(u',') && !text.contains(u';') && !text.contains(u'"') &&
        !text.contains(u'\n') && !text.contains(u'\r')) {
        return text;
    }
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

}  // namespace

CellCsvResult ParseCellCsv(const QByteArray& bytes) {
    CellCsvResult result;
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    const QChar separator = SeparatorOf(text);
    const std::vector<Record> records = SplitRecords(text, separator, result);
    if (!result.Ok()) {
        return result;
    }
    const auto refuse = [&](int line, const QString& why) {
        result.cells.clear();
        result.errorLine = line;
        result.error = why;
        return result;
    };
    QHash<QString, int> lineOfName;
    bool header = true;
    for (const Record& record : records) {
        if (Blank(record)) {
            continue;
        }
        const qsizetype fields = record.fields.size();
        if (fields < 2 || fields > 3) {
            return refuse(record.line, QStringLiteral("expected name, capacity_mAh and rin_mOhm, "
                                                      "found %1 field(s)")
                                           .arg(fields));
        }
        if (header) {
            header = false;
            if (Number(record.fields[1], separator, kMaxCapacityMah)) {
                return refuse(record.line, QStringLiteral("a header line is expected first "
                                                          "(name,capacity_mAh,rin_mOhm)"));
            }
            continue;
        }
        const QString name = record.fields[0].trimmed();
        if (name.isEmpty()) {
            return refuse(record.line, QStringLiteral("no cell name"));
        }
        if (name.size() > kMaxNameLength || HasControl(name)) {
            return refuse(record.line,
                          QStringLiteral("a cell name is at most %1 characters, without control "
                                         "characters")
                              .arg(kMaxNameLength));
        }
        if (const auto seen = lineOfName.constFind(name); seen != lineOfName.constEnd()) {
            return refuse(record.line,
                          QStringLiteral("cell %1 is already on line %2").arg(name).arg(*seen));
        }
        const std::optional<double> capacity = Number(record.fields[1], separator, kMaxCapacityMah);
        if (!capacity) {
            return refuse(record.line, QStringLiteral("the capacity is not a number of mAh "
                                                      "from 0 to %1")
                                           .arg(kMaxCapacityMah, 0, 'f', 0));
        }
        PackCell cell{name, *capacity, std::nullopt};
        if (fields == 3 && !record.fields[2].trimmed().isEmpty()) {
            cell.rinMohm = Number(record.fields[2], separator, kMaxRinMohm);
            if (!cell.rinMohm) {
                return refuse(record.line,
                              QStringLiteral("the Rin is neither empty nor a number of mOhm "
                                             "from 0 to %1")
                                  .arg(kMaxRinMohm, 0, 'f', 0));
            }
        }
        if (std::ssize(result.cells) == kMaxCsvCells) {
            return refuse(record.line, QStringLiteral("more than %1 cells").arg(kMaxCsvCells));
        }
        lineOfName.insert(name, record.line);
        result.cells.push_back(cell);
    }
    if (header) {
        return refuse(1, QStringLiteral("no header line and no cells"));
    }
    return result;
}

QString CsvNumber(double value) {
    return QString::number(value, 'g', 15);
}

QString FixedNumber(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0.0) {
        rounded = 0.0;  // -0 compares equal to 0: this makes it 0
    }
    return QString::number(rounded, 'f', decimals);
}

QString RoundedNumber(double value, int decimals) {
    QString text = FixedNumber(value, decimals);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0')) {
            text.chop(1);
        }
        if (text.endsWith(u'.')) {
            text.chop(1);
        }
    }
    return text;
}

QByteArray PlanCsv(const PackPlan& plan, const std::vector<PackCell>& cells) {
    QString text = QStringLiteral("group,cell,capacity_mAh,rin_mOhm\n");
    const auto line = [&](const QString& group, int c) {
        const PackCell& cell = cells[static_cast<std::size_t>(c)];
        text += group + u',' + Quoted(cell.name) + u',' + CsvNumber(cell.capacityMah) + u',' +
                (cell.rinMohm ? CsvNumber(*cell.rinMohm) : QString()) + u'\n';
    };
    for (std::size_t g = 0; g < plan.groups.size(); ++g) {
        for (const int c : plan.groups[g]) {
            line(QString::number(g + 1), c);
        }
    }
    for (const int c : plan.spares) {
        line(QString(), c);
    }
    return text.toUtf8();
}

}  // namespace brimvolt
