#include "platform/Console.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>

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

}  // namespace brimvolt::platform
