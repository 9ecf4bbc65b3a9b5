#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "curvefile/AutosaveWriter.h"
#include "curvefile/CurveFileWriter.h"
#include "curvefile/CurveFlows.h"
#include "plot/CurveRenderer.h"
#include "plot/CurveStore.h"

class QMenu;

namespace brimvolt {
struct AutosaveResult;
}
namespace brimvolt::platform {
class CDialogs;
}

/**
 * The curve window: the curve store of the running or last run, its plot, the autosave and the
 * two curve-file commands. The main window holds it by value and reaches `store` directly.
 */
class CGraf : public QDialog {
    Q_OBJECT
public:
    /** Commands of the window menu; the low four bits of a command are not part of it. */
    static constexpr int kLoadCommand = 32;
    static constexpr int kSaveCommand = 16;

    explicit CGraf(brimvolt::platform::CDialogs& dialogs);
    ~CGraf() override;

    /** Creates the window owned by `owner` (hidden): menu, colour, geometry, surface. */
    void Create(QWidget* owner);

    void OnInitDialog();
    void OnSysCommand(int command);
    void OnLButtonDown(QPoint point);
    void OnLButtonUp(QPoint point);

    /**
     * Draws the store into memoryBitmap, places and sizes the window to the plot, then takes the
     * autosave opportunity. Paint runs it; the poll cycle runs it itself while the window cannot
     * be painted (hidden or minimised), so the autosave keeps up with the curve.
     */
    void Refresh();

    /** A point was recorded or a curve loaded: repaint when shown, otherwise refresh at once. */
    void CurveChanged();

    /**
     * Writes the autosave if the curve changed since it was last written, whatever the pause
     * after a large one, and waits until the last autosave is on the disk (leaving the program).
     */
    void FlushAutosave();

    /** Returns once every autosave handed to the writer is on the disk. */
    void WaitForAutosave() { autosaveWriter.WaitUntilWritten(); }

    /**
     * An autosave ended, here or wherever it was written. A failure is said once, after the
     * paint, for a whole streak of failures; the next opportunity writes again, and a success
     * ends the streak. The file's size sets the pause before the next one (AutosavePauseMs).
     */
    void OnAutosaveDone(const brimvolt::AutosaveResult& result);

    /** Whether the autosave is failing: the last one written failed. */
    bool AutosaveFailing() const { return autosaveFailing; }

    /**
     * A curve from elsewhere (a run of the journal) goes in as a loaded file would: during a run
     * the operator is warned first, as before a load (false when they cancel), then `fill` puts
     * the curve into a store of its own (false: nothing to take, nothing changes) and the window
     * takes it, titled after `name`.
     */
    bool LoadCurveFrom(const std::function<bool(brimvolt::CurveStore&)>& fill, const QString& name);

    /** The curve file at `path` loaded as "Загрузить из файла" would load it. */
    bool LoadCurveFile(const QString& path);

    /** The window menu's two entries, load first; off Windows it opens as a context menu. */
    QMenu* WindowMenu() const { return windowMenu; }

    brimvolt::CurveStore store;
    QString workText;
    QString timeUnitText;
    QString dataFolder;
    /** The autosave's file name before .raz / .zar: "temp", or one per channel of a bench. */
    QString autosaveName = QStringLiteral("temp");
    QImage memoryBitmap;
    std::int32_t cursorX = 0;
    std::int32_t cursorY = 0;
    std::uint8_t curveRed = 255;
    std::uint8_t curveGreen = 127;
    std::uint8_t curveBlue = 0;
    std::int32_t secondsPerPixel = 1;
    std::int32_t imageWidth = 720;
    std::int32_t imageHeight = 0;
    std::int32_t maxPlotHeight = 0;
    std::int32_t skipAutosave = 1;
    /** The autosave's average rate over a long curve; 0: every point, whatever the size. */
    std::int64_t autosaveBytesPerSecond = brimvolt::kAutosaveBytesPerSecond;
    std::int32_t cursorShown = 0;
    /** Where the window sits: the screen's top-left corner, or its channel's place in a bench. */
    QPoint home{0, 0};

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    /** On Windows the curve-file entries of the native window menu arrive here. */
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
    /** Esc does not close the window: it is hidden and shown from the main window only. */
    void reject() override {}

private:
    void Render();
    void TakeAutosaveOpportunity();
    /** Hands a copy of the store to the autosave writer. */
    void PostAutosave();
    void SetTitleUnnamed();
    brimvolt::CurveWindowContext Context();

    brimvolt::platform::CDialogs& dialogs;
    QMenu* windowMenu = nullptr;
    /** The store's block summary, kept so a render reads only what was appended since. */
    brimvolt::CCurveSummary curveSummary;
    brimvolt::RenderInfo renderInfo{};
    bool autosaveBehind = false;   // the store changed since the autosave was last written
    bool autosaveFailing = false;  // the last autosave failed, and the operator was told
    // A large autosave waits its pause: opportunities before it only mark the file behind, and
    // the timer writes what they left when the pause is over.
    QElapsedTimer autosaveClock;
    std::int64_t lastAutosaveMs = 0;  // on autosaveClock, when the last copy was handed over
    std::int64_t nextAutosaveMs = 0;
    std::int64_t lastAutosaveBytes = 0;
    QTimer autosavePauseTimer;
    brimvolt::CAutosaveWriter autosaveWriter;
};
