#pragma once

#include <QString>
#include <optional>

#include "journal/RunRecord.h"
#include "module/Protocol.h"
#include "mqtt/MqttPayloads.h"

namespace brimvolt {

/**
 * A status record as the status topic carries it, with the two display lines the window shows
 * and the energy of the open run (none without one), in whole mWh like the run's. The time is
 * left for the publisher to stamp.
 */
MqttStatus MqttStatusOf(const StatusRecord& status, const QString& displayLine1,
                        const QString& displayLine2, std::optional<double> runEnergyMwh);

/** A run of the journal as the run topic carries it; the energy in whole mWh. */
MqttRun MqttRunOf(const RunRecord& run);

}  // namespace brimvolt
