#pragma once

#include <QStringList>

namespace brimvolt::platform {

/**
 * A windowed program on Windows starts without standard output and error, so what it prints is
 * lost. When it was started from a console, this connects the streams that go nowhere to that
 * console; streams redirected to a file or a pipe stay as they are. Elsewhere it does nothing.
 */
void AttachParentConsole();

/**
 * The words the program was started with, its own name left out. On Windows they come from the
 * wide command line: `argv` holds them in the ANSI code page, where a Cyrillic cell name under a
 * Western code page turns into question marks. Elsewhere `argv` in the locale's encoding.
 */
QStringList CommandLineWords(int argc, char** argv);

}  // namespace brimvolt::platform
