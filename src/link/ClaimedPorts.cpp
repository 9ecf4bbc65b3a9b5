#include "link/ClaimedPorts.h"

namespace brimvolt {

QString CClaimedPorts::Key(const QString& port) {
#ifdef Q_OS_WIN
    // "COM3" and "com3" open the same device there.
    return port.toCaseFolded();
#else
    return port;
#endif
}

bool CClaimedPorts::SameName(const QString& a, const QString& b) {
    return Key(a) == Key(b);
}

bool CClaimedPorts::TryClaim(const QString& port, const void* owner) {
    std::lock_guard lock(mutex);
    const auto [held, added] = owners.try_emplace(Key(port), owner);
    return added || held->second == owner;
}

void CClaimedPorts::Release(const QString& port, const void* owner) {
    std::lock_guard lock(mutex);
    const auto held = owners.find(Key(port));
    if (held != owners.end() && held->second == owner) {
        owners.erase(held);
    }
}

void CClaimedPorts::ReleaseAll(const void* owner) {
    std::lock_guard lock(mutex);
    std::erase_if(owners, [owner](const auto& held) { return held.second == owner; });
}

bool CClaimedPorts::HeldByOther(const QString& port, const void* owner) const {
    std::lock_guard lock(mutex);
    const auto held = owners.find(Key(port));
    return held != owners.end() && held->second != owner;
}

}  // namespace brimvolt
