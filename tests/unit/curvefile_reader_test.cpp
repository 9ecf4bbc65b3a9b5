#include <gtest/gtest.h>

#include <QBuffer>
#include <QIODevice>
#include <cmath>
#include <memory>

#include "curvefile/CurveFileReader.h"
#include "curvefile/CurveFileWriter.h"
#include "platform/Text.h"

namespace brimvolt {
namespace {

QByteArray Utf16File(const QString& text) {
    return QByteArray("\xFF\xFE", 2) + platform::Utf16LeBytes(text);
}

QString Table(const QString& dataLines) {
    return QString::fromUtf16(
               u"Емкость: 1.500Ah\r\nВремя: 00:00:10\r\n\r\nСекунды\tНапряжение\r\n") +
           dataLines;
}

struct Loaded {
    std::unique_ptr<CurveStore> store = std::make_unique<CurveStore>();
    CurveReadResult result;
};

Loaded Read(const QByteArray& bytes) {
    Loaded loaded;
    loaded.result = ReadCurveBytes(bytes, *loaded.store);
    return loaded;
}

using Points = std::vector<std::pair<std::int32_t, std::uint16_t>>;

Points PointsOf(const CurveStore& store) {
    Points points;
    for (std::int32_t i = 0; i <= store.lastIndex; ++i) {
        points.emplace_back(store.sampleTimes[i], store.sampleMillivolts[i]);
    }
    return points;
}

TEST(CurveFileReader, KeyValueFormKeepsTheFirstOfEqualVoltages) {
    struct Case {
        const char* text;
        Points points;
        std::int32_t pointsRead;
    };
    const Case cases[] = {
        {"U_0=3,800\r\nU_1=3,800\r\nU_2=3,790\r\n", {{0, 3800}, {2, 3790}}, 2},
        // At the end of the file too: the flat tail collapses onto its first point.
        {"U_0=3,800\r\nU_1=3,800\r\n", {{0, 3800}}, 1},
        {"U_0=3,8\r\nU_1=3,7\r\nU_2=3,7\r\nU_3=3,8", {{0, 3800}, {1, 3700}, {3, 3800}}, 3},
        {"U_0=3,8\r\nU_1=3,7\r\n\r\nU_2=3,6\r\n", {{0, 3800}, {1, 3700}}, 2},
        {"U_0=3,8\r\nU_1=3,7\r\nend\r\nU_2=3,6\r\n", {{0, 3800}, {1, 3700}}, 2},
        // Seconds lie between the first "_" and the first "="; volts follow that "=".
        {"U_ 12 =  4.063\r\n", {{12, 4063}}, 1},
        {"U_7\r\nU_8=3\r\n", {{0, 0}, {8, 3000}}, 2},
    };
    for (const auto& c : cases) {
        const Loaded loaded = Read(Utf16File(c.text));
        EXPECT_EQ(loaded.result.status, CurveReadStatus::Loaded) << c.text;
        EXPECT_EQ(PointsOf(*loaded.store), c.points) << c.text;
        EXPECT_EQ(loaded.result.pointsRead, c.pointsRead) << c.text;
        EXPECT_EQ(loaded.store->durationSeconds, c.points.back().first) << c.text;
    }
}

TEST(CurveFileReader, KeyValueFormNeedsTheKeyAfterTheFirstCharacter) {
    // Without the byte-order mark "U_" stands at the very start and no data can be located.
    const Loaded loaded = Read(platform::Utf16LeBytes(u"U_0=3,800\r\nU_1=3,790\r\n"));
    EXPECT_EQ(loaded.result.status, CurveReadStatus::NoDataKeys);
}

TEST(CurveFileReader, TableFormReadsSecondsAndVoltsBetweenTheTabs) {
    struct Case {
        const char* lines;
        Points points;
    };
    const Case cases[] = {
        {"10\t3,7\tV\r\n", {{10, 3700}}},
        {"0\t4,063\tV\r\n1\t4.063\tV", {{0, 4063}, {1, 4063}}},
        // An empty line or one without a tab ends the data.
        {"0\t3,8\tV\r\n1\t3,7\tV\r\n\r\n2\t3,6\tV\r\n", {{0, 3800}, {1, 3700}}},
        {"0\t3,8\tV\r\nend\r\n2\t3,6\tV\r\n", {{0, 3800}}},
        // Volts lie between the first and the last tab.
        {"5\t3,7\tV\textra\r\n", {{5, 3700}}},
        {"5\t3,7\r\n", {{5, 0}}},
        {" 6 \t 3,712 \tV\r\n", {{6, 3712}}},
        {"x\ty\tV\r\n", {{0, 0}}},
        // Table form keeps equal voltages.
        {"0\t3,8\tV\r\n1\t3,8\tV\r\n", {{0, 3800}, {1, 3800}}},
        // Line feeds without carriage returns, and a last line without either.
        {"0\t3,8\tV\n1\t3,7\tV", {{0, 3800}, {1, 3700}}},
    };
    for (const auto& c : cases) {
        const Loaded loaded = Read(Utf16File(Table(c.lines)));
        EXPECT_EQ(loaded.result.status, CurveReadStatus::Loaded) << c.lines;
        EXPECT_EQ(PointsOf(*loaded.store), c.points) << c.lines;
        EXPECT_EQ(loaded.store->durationSeconds, c.points.back().first) << c.lines;
    }
}

TEST(CurveFileReader, NulUnitsAndAnOddLastByteAreIgnored) {
    QByteArray bytes = Utf16File(Table("0\t3,8\tV\r\n1\t3,"));
    bytes += QByteArray(2, '\0');
    bytes += platform::Utf16LeBytes(u"7\tV\r\n2\t3,6\tV");
    bytes += 'x';
    const Loaded loaded = Read(bytes);
    EXPECT_EQ(PointsOf(*loaded.store), Points({{0, 3800}, {1, 3700}, {2, 3600}}));
}

TEST(CurveFileReader, FileWithoutDataLinesGivesAnEmptyCurve) {
    for (const QString& text : {Table(""), Table("\r\n0\t3,8\tV\r\n"),
                                QString::fromUtf16(u"Емкость: 1Ah\r\nСекунды\tНапряжение")}) {
        auto loaded = std::make_unique<CurveStore>();
        loaded->sampleTimes[0] = 9;
        loaded->sampleMillivolts[0] = 9;
        const CurveReadResult result = ReadCurveBytes(Utf16File(text), *loaded);
        EXPECT_EQ(result.status, CurveReadStatus::Loaded);
        EXPECT_EQ(result.pointsRead, 0);
        EXPECT_EQ(loaded->lastIndex, 0);
        EXPECT_EQ(loaded->durationSeconds, 0);
        EXPECT_EQ(loaded->sampleMillivolts[0], 0);
    }
}

TEST(CurveFileReader, CapacityComesFromTheHeadWhateverTheWordsFirstLetter) {
    struct Case {
        const char16_t* head;
        const char* capacity;
    };
    const Case cases[] = {
        {u"Емкость: 2.345Ah\r\n", "2.345Ah"},
        {u"Ёмкость: 2 . 3 4 5 Ah\r\n", "2.345Ah"},
        {u"емкость:12\r\n", "12.000Ah"},
        // The capacity keeps its decimal point: a comma ends the number.
        {u"Емкость: 1,5Ah\r\n", "1.000Ah"},
        {u"Емкость 2.5Ah\r\n", "0.000Ah"},
        {u"Capacity: 2.5Ah\r\n", "0.000Ah"},
    };
    for (const auto& c : cases) {
        const QString head = QString::fromUtf16(c.head);
        const Loaded loaded =
            Read(Utf16File(head + QString::fromUtf16(u"Секунды\tНапряжение\r\n0\t3,8\tV\r\n")));
        EXPECT_EQ(loaded.store->curveCapacityText, QString(c.capacity)) << head.toStdString();
    }
}

TEST(CurveFileReader, KeysAreLookedForInTheFirst2000BytesOnly) {
    const QString padding(997, u'.');  // with the mark, "U_" starts at unit 998: bytes 1996..1999
    EXPECT_EQ(Read(Utf16File(padding + "U_1=3,7\r\n")).result.status, CurveReadStatus::Loaded);
    EXPECT_EQ(Read(Utf16File(padding + ".U_1=3,7\r\n")).result.status, CurveReadStatus::NoDataKeys);
    // The head ends at its first NUL.
    const QByteArray cut =
        Utf16File("x") + QByteArray(2, '\0') + platform::Utf16LeBytes(u"U_1=3\r\n");
    EXPECT_EQ(Read(cut).result.status, CurveReadStatus::NoDataKeys);
    EXPECT_EQ(Read(Utf16File("Capacity: 2Ah\r\n0\t3,8\tV\r\n")).result.status,
              CurveReadStatus::NoDataKeys);
    EXPECT_EQ(Read(QByteArray()).result.status, CurveReadStatus::NoDataKeys);
}

TEST(CurveFileReader, VoltsConvertLikeTheGeneralRealConversion) {
    struct Case {
        const char* text;
        std::uint16_t millivolts;
    };
    const Case cases[] = {
        {"4,063", 4063},      {"4.063", 4063},  {"3,7", 3700},  {"3,", 3000},     {"3,7129", 3712},
        {"  3,712", 3712},    {"3,712V", 3712}, {"1e3", 16960}, {"3,7e1", 37000}, {"-1", 64537},
        {"-0,001", 0},        {"65,536", 0},    {"65,537", 1},  {"+2,5", 2500},   {"inf", 0},
        {"nan", 0},           {"1e400", 0},     {"1e300", 0},   {"", 0},          {"V", 0},
        {"1234567,891", 723}, {",5", 500},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MillivoltsOfText(QString(c.text)), c.millivolts) << c.text;
    }
}

// Short texts such as files hold take a shortcut; it must agree with the general conversion.
TEST(CurveFileReader, ShortcutForPlainVoltsAgreesWithTheGeneralConversion) {
    const auto reference = [](const QString& text) {
        QString dotted = text;
        dotted.replace(u',', u'.');
        const double scaled = std::trunc((platform::LeadingReal(dotted) + 0.00001) * 1000.0);
        return static_cast<std::uint16_t>(static_cast<std::int64_t>(scaled) & 0xFFFF);
    };
    for (int mv = 0; mv < 70000; ++mv) {
        for (const QString& text :
             {QString::asprintf("%d,%03d", mv / 1000, mv % 1000),
              QString::asprintf("%d.%02d", mv / 100, mv % 100),
              QString::asprintf("%d,%d", mv / 10, mv % 10), QString::number(mv)}) {
            ASSERT_EQ(MillivoltsOfText(text), reference(text)) << text.toStdString();
        }
    }
    for (const char* text : {"999999,999", "123456", "0,000", "000004,063", "9,99 ", "1.5.5"}) {
        EXPECT_EQ(MillivoltsOfText(QString(text)), reference(text)) << text;
    }
}

TEST(CurveFileReader, WrittenCurveReadsBackAsWritten) {
    auto store = std::make_unique<CurveStore>();
    store->curveCapacityText = "2.345Ah";
    const std::uint16_t voltages[] = {4100, 4100, 4090, 4090, 4090, 4080, 4070, 4070};
    store->lastIndex = -1;
    for (const std::uint16_t mv : voltages) {
        store->Append(store->lastIndex + 1, mv);
    }
    store->durationSeconds = store->sampleTimes[store->lastIndex];

    const Loaded loaded = Read(CurveFileBytes(*store));
    EXPECT_EQ(loaded.result.status, CurveReadStatus::Loaded);
    EXPECT_EQ(loaded.store->curveCapacityText, "2.345Ah");
    EXPECT_EQ(PointsOf(*loaded.store),
              Points({{0, 4100}, {2, 4090}, {5, 4080}, {6, 4070}, {7, 4070}}));
    EXPECT_EQ(loaded.store->durationSeconds, 7);
    // And the reloaded curve writes the same file again.
    EXPECT_EQ(CurveFileBytes(*loaded.store), CurveFileBytes(*store));
}

TEST(CurveFileReader, LongCurveCrossesReadChunksIntact) {
    auto store = std::make_unique<CurveStore>();
    store->curveCapacityText = "9.999Ah";
    store->lastIndex = 99999;
    for (std::int32_t i = 0; i <= store->lastIndex; ++i) {
        store->sampleTimes[i] = i;
        store->sampleMillivolts[i] = static_cast<std::uint16_t>(65535 - i);
    }
    store->durationSeconds = store->lastIndex;
    const QByteArray bytes = CurveFileBytes(*store);
    ASSERT_GT(bytes.size(), 3 << 20);
    const Loaded loaded = Read(bytes);
    EXPECT_EQ(loaded.result.pointsRead, 100000);
    EXPECT_EQ(PointsOf(*loaded.store), PointsOf(*store));
}

QByteArray TableOfLines(std::int32_t count, bool equalVoltages) {
    QByteArray bytes = Utf16File(Table(""));
    QByteArray line;
    for (std::int32_t i = 0; i < count; ++i) {
        const QByteArray text =
            QByteArray::number(i) + (equalVoltages ? "\t3,8\tV\r\n" : "\t3,7\tV\r\n");
        for (const char c : text) {
            bytes.append(c);
            bytes.append('\0');
        }
    }
    return bytes;
}

TEST(CurveFileReader, MoreLinesThanTheStoreHoldsAreReportedNotOverrun) {
    const Loaded exact = Read(TableOfLines(CurveStore::kCapacity, false));
    EXPECT_EQ(exact.result.status, CurveReadStatus::Loaded);
    EXPECT_EQ(exact.store->lastIndex, CurveStore::kCapacity - 1);

    const Loaded over = Read(TableOfLines(CurveStore::kCapacity + 3, false));
    EXPECT_EQ(over.result.status, CurveReadStatus::Truncated);
    EXPECT_EQ(over.result.pointsRead, CurveStore::kCapacity);
    EXPECT_EQ(over.store->lastIndex, CurveStore::kCapacity - 1);
    EXPECT_EQ(over.store->durationSeconds, CurveStore::kCapacity - 1);
}

TEST(CurveFileReader, KeyValueLinesThatRepeatTheLastVoltageDoNotOverfill) {
    QString text;
    for (std::int32_t i = 0; i < CurveStore::kCapacity; ++i) {
        text += QString::asprintf("U_%d=%d,%03d\n", i, i / 1000 % 60, i % 1000);
    }
    text += QString::asprintf("U_9999999=%d,%03d\n", (CurveStore::kCapacity - 1) / 1000 % 60,
                              (CurveStore::kCapacity - 1) % 1000);
    const Loaded flat = Read(Utf16File(text));
    EXPECT_EQ(flat.result.status, CurveReadStatus::Loaded);
    EXPECT_EQ(flat.store->lastIndex, CurveStore::kCapacity - 1);

    const Loaded over = Read(Utf16File(text + "U_10000000=9,999\n"));
    EXPECT_EQ(over.result.status, CurveReadStatus::Truncated);
}

class FailingDevice : public QIODevice {
public:
    explicit FailingDevice(QByteArray head) : head_(std::move(head)) { open(ReadOnly); }

protected:
    qint64 readData(char* data, qint64 size) override {
        if (head_.isEmpty()) {
            return -1;
        }
        const qint64 n = std::min<qint64>(size, head_.size());
        std::copy_n(head_.constData(), n, data);
        head_.remove(0, n);
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray head_;
};

TEST(CurveFileReader, ReadErrorIsReportedAsSuch) {
    FailingDevice device(TableOfLines(2000, false));
    auto store = std::make_unique<CurveStore>();
    EXPECT_EQ(ReadCurve(device, *store).status, CurveReadStatus::ReadFailed);
}

}  // namespace
}  // namespace brimvolt
