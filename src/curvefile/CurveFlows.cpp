#include "curvefile/CurveFlows.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <memory>
#include <utility>

#include "curvefile/CurveFileReader.h"
#include "curvefile/CurveFileWriter.h"
#include "platform/Files.h"

namespace brimvolt {

namespace {

using platform::Answer;
using platform::Buttons;
using platform::FileFilter;

struct Text {
    Q_DECLARE_TR_FUNCTIONS(CurveFlows)
};

}  // namespace

FileFilter DischargeFilter() {
    return {Text::tr("Файлы сохранённых разрядов *.raz"), QStringLiteral("*.raz")};
}

FileFilter ChargeFilter() {
    return {Text::tr("Файлы сохранённых зарядов *.zar"), QStringLiteral("*.zar")};
}

QString CurveTitle(bool charge, const QString& name) {
    return (charge ? Text::tr("Зарядная кривая - %1") : Text::tr("Разрядная кривая - %1"))
        .arg(name);
}

namespace {

void SetTitle(CurveWindowContext& context, const QString& title) {
    if (context.setTitle) {
        context.setTitle(title);
    }
}

bool IsNameBreaker(QChar c) {
    static const QString kForbidden = QStringLiteral(" /\\:*?\"<>|");
    return c.unicode() < 0x20 || c.unicode() == 0x7F || kForbidden.contains(c);
}

// The wait cursor for the reading only: every way out of a load restores it before a message.
class CWaitCursor {
public:
    CWaitCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~CWaitCursor() { Restore(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

    void Restore() {
        if (active) {
            active = false;
            QGuiApplication::restoreOverrideCursor();
        }
    }

private:
    bool active = true;
};

// A name that cannot take a file (a folder, a device, a FIFO, a missing folder) gets the
// message for a file that cannot be created; a write that failed says why.
QString SaveFailureText(const platform::WriteResult& result) {
    if (result.failure != platform::WriteFailure::WriteFailed) {
        return Text::tr("Не удалось создать файл с таким именем.");
    }
    if (result.reason.isEmpty()) {
        return Text::tr("Не удалось записать файл.\nКривая в файле не сохранена.");
    }
    return Text::tr("Не удалось записать файл.\nПричина: %1\nКривая в файле не сохранена.")
        .arg(result.reason);
}

}  // namespace

QString WithoutNameBreakers(const QString& text) {
    QString stem = text;
    stem.removeIf(IsNameBreaker);
    return stem;
}

QString ProposedCurveFileName(const QString& capacityText, bool chargeCurve) {
    QString stem = WithoutNameBreakers(capacityText);
    if (stem.isEmpty()) {
        stem = Text::tr("Безымянный");
    }
    return stem + (chargeCurve ? QStringLiteral(".zar") : QStringLiteral(".raz"));
}

void SaveCurve(CurveWindowContext& context) {
    CurveStore& store = context.store;
    if (store.durationSeconds == 0) {
        context.dialogs.Message(context.owner,
                                Text::tr("Разряд не начинался.\r\nВ файле сохранять нечего."),
                                Text::tr("Ошибка"), Buttons::Ok);
        return;
    }
    const bool charge = store.chargeCurve != 0;
    store.curveFileName = ProposedCurveFileName(store.curveCapacityText, charge);
    QString path =
        context.dialogs.SaveFileName(context.owner, context.dataFolder, store.curveFileName,
                                     charge ? ChargeFilter() : DischargeFilter());
    if (path.isEmpty()) {
        return;
    }
    const QString extension = charge ? QStringLiteral(".zar") : QStringLiteral(".raz");
    if (!path.contains(extension)) {
        path += extension;
        // The dialog asked about the name as typed; the longer name has not been asked about.
        if (QFileInfo::exists(path) &&
            context.dialogs.Message(
                context.owner,
                Text::tr("Файл %1 уже существует.\nЗаменить его?").arg(QFileInfo(path).fileName()),
                Text::tr("Внимание!"), Buttons::OkCancel) == Answer::Cancel) {
            return;
        }
    }

    const platform::WriteResult written = WriteCurveFile(path, store);
    if (!written) {
        context.dialogs.Message(context.owner, SaveFailureText(written), Text::tr("Ошибка"),
                                Buttons::Ok);
        return;
    }
    // Title and name follow the file only once it holds the curve.
    store.curveFileName = path;
    SetTitle(context, CurveTitle(charge, path));
}

bool ConfirmCurveReplace(CurveWindowContext& context) {
    const CurveStore& store = context.store;
    if (!store.runActive) {
        return true;
    }
    const QString warning = store.chargeCurve != 0
                                ? Text::tr("Идет заряд!\nЗагрузка графика невозможна!")
                                : Text::tr("Идет разряд!\nЗагрузка графика невозможна!");
    return context.dialogs.Message(context.owner, warning, Text::tr("Внимание!"),
                                   Buttons::OkCancel) != Answer::Cancel;
}

void TakeCurve(CurveWindowContext& context, CurveStore& loaded, const QString& fileName,
               const QString& title) {
    CurveStore& store = context.store;
    std::swap(store.sampleTimes, loaded.sampleTimes);
    std::swap(store.sampleMillivolts, loaded.sampleMillivolts);
    store.lastIndex = loaded.lastIndex;
    store.Rewritten();
    store.durationSeconds = loaded.durationSeconds;
    store.curveCapacityText = loaded.curveCapacityText;
    store.curveFileName = fileName;
    SetTitle(context, title);
}

bool LoadCurve(CurveWindowContext& context) {
    const bool charge = context.store.chargeCurve != 0;
    if (!ConfirmCurveReplace(context)) {
        return false;
    }
    const QList<FileFilter> filters = charge ? QList<FileFilter>{ChargeFilter(), DischargeFilter()}
                                             : QList<FileFilter>{DischargeFilter(), ChargeFilter()};
    const QString path = context.dialogs.OpenFileName(context.owner, context.dataFolder, filters);
    if (path.isEmpty()) {
        return false;
    }
    return LoadCurveFile(context, path);
}

bool LoadCurveFile(CurveWindowContext& context, const QString& path) {
    // A FIFO or a device would hold the window until someone writes to it: refused at once.
    QFile file(path);
    if (!platform::IsRegularFile(path) || !file.open(QIODevice::ReadOnly)) {
        context.dialogs.Message(context.owner, Text::tr("Не удалось открыть файл."),
                                Text::tr("Ошибка!"), Buttons::Ok);
        return false;
    }

    CWaitCursor cursor;
    // Read into a store of its own, so a file that turns out unreadable costs nothing.
    auto loaded = std::make_unique<CurveStore>();
    const CurveReadResult result = ReadCurve(file, *loaded);
    file.close();
    cursor.Restore();

    if (result.status == CurveReadStatus::NoDataKeys ||
        result.status == CurveReadStatus::ReadFailed) {
        context.dialogs.Message(context.owner, Text::tr("Не удалось прочитать кривую из файла."),
                                Text::tr("Ошибка!"), Buttons::Ok);
        return false;
    }

    TakeCurve(context, *loaded, path, CurveTitle(!path.contains(QStringLiteral(".raz")), path));

    if (result.status == CurveReadStatus::Truncated) {
        context.dialogs.Message(context.owner,
                                Text::tr("В файле больше точек, чем вмещает график.\n"
                                         "Загружено первых точек: %1.")
                                    .arg(result.pointsRead),
                                Text::tr("Внимание!"), Buttons::Ok);
    }
    return true;
}

}  // namespace brimvolt
