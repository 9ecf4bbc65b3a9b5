#include "curve/Graf.h"

#include <QWindow>

#include <QCloseEvent>
#include <QDir>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <memory>

#include "curve/ColorsIni.h"
#include "curvefile/CurveFileWriter.h"
#include "curvefile/CurveFlows.h"
#include "platform/Dialogs.h"
#include "platform/Metrics.h"
#include "resources/Templates.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace brimvolt;

CGraf::CGraf(platform::CDialogs& dialogs) : QDialog(nullptr), dialogs(dialogs) {
    const platform::DialogTemplate& curveTemplate = resources::CurveTemplate();
    setWindowTitle(curveTemplate.Shown(curveTemplate.caption));
    connect(&autosaveWriter, &CAutosaveWriter::Done, this, &CGraf::OnAutosaveDone);
    autosaveClock.start();
    autosavePauseTimer.setSingleShot(true);
    connect(&autosavePauseTimer, &QTimer::timeout, this, [this] {
        if (autosaveBehind && store.durationSeconds > 0) {
            TakeAutosaveOpportunity();
        }
    });
}

CGraf::~CGraf() = default;

void CGraf::Create(QWidget* owner) {
    // A window of its own, owned by the main window, with a caption but no close box.
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
#ifdef Q_OS_WIN
    // The native window menu carries the curve-file entries there.
    flags |= Qt::WindowSystemMenuHint;
#endif
    setParent(owner, flags);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    OnInitDialog();
}

void CGraf::OnInitDialog() {
    // The two curve-file entries of the window menu, load first.
    windowMenu = new QMenu(this);
    const QString loadText = tr("Загрузить из файла");
    const QString saveText = tr("Сохранить в файле");
    windowMenu->addAction(loadText, this, [this] { OnSysCommand(kLoadCommand); });
    windowMenu->addAction(saveText, this, [this] { OnSysCommand(kSaveCommand); });
#ifdef Q_OS_WIN
    // The window menu holds only the two entries: without its close entry the close box is off.
    if (HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE); menu != nullptr) {
        while (GetMenuItemCount(menu) > 0) {
            DeleteMenu(menu, 0, MF_BYPOSITION);
        }
        AppendMenuW(menu, MF_STRING, kLoadCommand, loadText.toStdWString().c_str());
        AppendMenuW(menu, MF_STRING, kSaveCommand, saveText.toStdWString().c_str());
    }
#else
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { windowMenu->popup(mapToGlobal(at)); });
#endif

    const ColorsIniResult colors = ReadOrCreateColorsIni(QDir::currentPath());
    curveRed = colors.color.red;
    curveGreen = colors.color.green;
    curveBlue = colors.color.blue;
    dataFolder = colors.dataFolder;

    const platform::SystemMetrics metrics = platform::CurrentMetrics(this);
    imageWidth = 720;
    maxPlotHeight = metrics.screenHeight - 2 * metrics.dialogFrameY - metrics.captionHeight - 70;
    // A screen too small for one division still gets a drawable image.
    maxPlotHeight = std::max(maxPlotHeight, 20);

    memoryBitmap = QImage(imageWidth, maxPlotHeight + 30, QImage::Format_RGB32);
    memoryBitmap.fill(Qt::white);
    imageHeight = 30 + 20;
    resize(imageWidth, imageHeight);
}

CurveWindowContext CGraf::Context() {
    return {store, dialogs, this, dataFolder,
            [this](const QString& title) { setWindowTitle(title); }};
}

void CGraf::OnSysCommand(int command) {
    CurveWindowContext context = Context();
    switch (command & ~0xF) {
        case kSaveCommand:
            SaveCurve(context);
            break;
        case kLoadCommand:
            if (LoadCurve(context)) {
                CurveChanged();
            }
            break;
        default:
            break;
    }
}

bool CGraf::LoadCurveFrom(const std::function<bool(CurveStore&)>& fill, const QString& name) {
    CurveWindowContext context = Context();
    if (!ConfirmCurveReplace(context)) {
        return false;
    }
    auto loaded = std::make_unique<CurveStore>();
    if (!fill(*loaded)) {
        return false;
    }
    TakeCurve(context, *loaded, QString(), CurveTitle(loaded->chargeCurve != 0, name));
    CurveChanged();
    return true;
}

bool CGraf::LoadCurveFile(const QString& path) {
    CurveWindowContext context = Context();
    if (!brimvolt::LoadCurveFile(context, path)) {
        return false;
    }
    CurveChanged();
    return true;
}

void CGraf::OnLButtonDown(QPoint point) {
    cursorX = point.x() - 50;
    cursorY = point.y() - 10;
    cursorShown = 1;
    update();
}

void CGraf::OnLButtonUp(QPoint) {
    cursorShown = 0;
    update();
}

void CGraf::SetTitleUnnamed() {
    setWindowTitle(store.chargeCurve != 0 ? tr("Зарядная кривая - Безымянный")
                                          : tr("Разрядная кривая - Безымянный"));
}

void CGraf::Render() {
    if (store.durationSeconds == 0) {
        SetTitleUnnamed();
    }
    renderInfo =
        RenderCurve(store, QColor(curveRed, curveGreen, curveBlue), maxPlotHeight, memoryBitmap,
                    CurveDrawing::ColumnSpans, &curveSummary);
    imageHeight = renderInfo.imageHeight;
    secondsPerPixel = renderInfo.scale.secondsPerPixel;
    timeUnitText = renderInfo.scale.unitText;

    // The window sits at its place (the screen's top-left corner but in a bench) with a client
    // area exactly the image.
    if (pos() != home) {
        move(home);
    }
    if (size() != QSize(imageWidth, imageHeight)) {
        setFixedSize(imageWidth, imageHeight);
    }
}

void CGraf::TakeAutosaveOpportunity() {
    if (skipAutosave != 0) {
        skipAutosave = 0;
        return;
    }
    if (store.durationSeconds <= 0) {
        return;
    }
    const std::int64_t wait = nextAutosaveMs - autosaveClock.elapsed();
    if (wait > 0) {
        autosaveBehind = true;
        if (!autosavePauseTimer.isActive()) {
            autosavePauseTimer.start(static_cast<int>(wait));
        }
        return;
    }
    autosaveBehind = false;
    PostAutosave();
}

void CGraf::PostAutosave() {
    std::unique_ptr<CurveStore> copy = autosaveWriter.TakeSpare();
    store.CopyCurveTo(*copy);
    autosaveWriter.Post(std::move(copy), dataFolder, autosaveName);
    // The new file is at least as large as the last one; its own size, when known, decides.
    lastAutosaveMs = autosaveClock.elapsed();
    nextAutosaveMs = lastAutosaveMs + AutosavePauseMs(lastAutosaveBytes, autosaveBytesPerSecond);
}

void CGraf::Refresh() {
    Render();
    TakeAutosaveOpportunity();
}

void CGraf::CurveChanged() {
    autosaveBehind = true;
    // Only a window the system actually shows gets its paint; one hidden with its minimised
    // owner, or on another desktop, still reports itself visible, so ask for exposure.
    const QWindow* window = windowHandle();
    if (isVisible() && !isMinimized() && window != nullptr && window->isExposed()) {
        update();
    } else {
        Refresh();
    }
}

void CGraf::FlushAutosave() {
    autosavePauseTimer.stop();
    if (autosaveBehind && store.durationSeconds > 0) {
        autosaveBehind = false;
        PostAutosave();
    }
    autosaveWriter.WaitUntilWritten();
}

void CGraf::OnAutosaveDone(const AutosaveResult& result) {
    if (!result.Failed()) {
        if (result.Written()) {
            autosaveFailing = false;
            lastAutosaveBytes = result.bytes;
            nextAutosaveMs =
                std::max(nextAutosaveMs,
                         lastAutosaveMs + AutosavePauseMs(result.bytes, autosaveBytesPerSecond));
        }
        return;
    }
    autosaveBehind = true;
    if (autosaveFailing) {
        return;
    }
    autosaveFailing = true;
    // The result comes from the writer's thread through the event loop, never from inside a
    // paint, so the message box's own event loop may run here.
    dialogs.Message(this, AutosaveFailureText(result), tr("Ошибка"), platform::Buttons::Ok);
}

void CGraf::paintEvent(QPaintEvent*) {
    Refresh();
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), memoryBitmap, QRect(0, 0, imageWidth, imageHeight));
    if (cursorShown != 0) {
        DrawReadout(painter, ReadoutAt(renderInfo, cursorX, cursorY));
    }
}

void CGraf::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        OnLButtonDown(event->position().toPoint());
    }
    QDialog::mousePressEvent(event);
}

void CGraf::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        OnLButtonUp(event->position().toPoint());
    }
    QDialog::mouseReleaseEvent(event);
}

void CGraf::closeEvent(QCloseEvent* event) {
    event->ignore();
}

bool CGraf::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
#ifdef Q_OS_WIN
    const auto* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_SYSCOMMAND) {
        const int command = static_cast<int>(msg->wParam);
        if ((command & ~0xF) == kLoadCommand || (command & ~0xF) == kSaveCommand) {
            OnSysCommand(command);
            *result = 0;
            return true;
        }
    }
#endif
    return QDialog::nativeEvent(eventType, message, result);
}
