#include "platform/Console.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
// shellapi.h wants windows.h before it.
#include <shellapi.h>

#include <cstdio>
#endif

namespace brimvolt::platform {

void AttachParentConsole() {
#ifdef Q_OS_WIN
    const auto unconnected = [](DWORD stream) {
        const HANDLE handle = GetStdHandle(stream);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE;
    };
    const bool outputUnconnected = unconnected(STD_OUTPUT_HANDLE);
    const bool errorUnconnected = unconnected(STD_ERROR_HANDLE);
    if (!(outputUnconnected || errorUnconnected) || !AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    if (outputUnconnected) {
        std::freopen("CONOUT$", "w", stdout);
    }
    if (errorUnconnected) {
        std::freopen("CONOUT$", "w", stderr);
    }
#endif
}

QStringList CommandLineWords(int argc, char** argv) {
    QStringList words;
#ifdef Q_OS_WIN
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) {
            words.append(QString::fromWCharArray(wide[i]));
        }
        LocalFree(wide);
        return words;
    }
#endif
    for (int i = 1; i < argc; ++i) {
        words.append(QString::fromLocal8Bit(argv[i]));
    }
    return words;
}

}  // namespace brimvolt::platform
