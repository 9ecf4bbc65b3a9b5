#pragma once

#include <QString>
#include <map>
#include <mutex>

namespace brimvolt {

/**
 * The ports the channels of one program hold, so two channels never take the same module. An
 * owner is whoever claims (a serial worker); workers call in from their own threads.
 */
class CClaimedPorts {
public:
    /** True when port is free or already owner's; it is owner's from then on. */
    bool TryClaim(const QString& port, const void* owner);
    /** Gives port up, if owner holds it; another owner's claim stays. */
    void Release(const QString& port, const void* owner);
    void ReleaseAll(const void* owner);
    bool HeldByOther(const QString& port, const void* owner) const;

    /** Whether two names are one port, as the system compares them. */
    static bool SameName(const QString& a, const QString& b);

private:
    static QString Key(const QString& port);

    mutable std::mutex mutex;
    std::map<QString, const void*> owners;
};

}  // namespace brimvolt
