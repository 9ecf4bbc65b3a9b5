#pragma once

namespace brimvolt::platform {

/**
 * A windowed program on Windows starts without standard output and error, so what it prints is
 * lost. When it was started from a console, this connects the streams that go nowhere to that
 * console; streams redirected to a file or a pipe stay as they are. Elsewhere it does nothing.
 */
void AttachParentConsole();

}  // namespace brimvolt::platform
