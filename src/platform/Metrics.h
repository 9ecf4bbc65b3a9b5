#pragma once

class QWidget;

namespace brimvolt::platform {

/**
 * The system sizes the windows are laid out with, in pixels. The window manager draws frames
 * and captions here, so those come from the style (or the usual values where it has none); the
 * screen height comes from the screen the window is on.
 */
struct SystemMetrics {
    int dialogFrameX = 3;  // width of a fixed dialog frame
    int dialogFrameY = 3;  // height of a fixed dialog frame
    int captionHeight = 23;
    int menuHeight = 20;  // a one-line menu bar
    int iconX = 32;       // size of a large icon
    int iconY = 32;
    int screenHeight = 768;
};

/** The metrics for a window (or the primary screen when widget is null). */
SystemMetrics CurrentMetrics(const QWidget* widget = nullptr);

}  // namespace brimvolt::platform
