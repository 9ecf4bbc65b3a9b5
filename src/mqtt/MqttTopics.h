#pragma once

#include <QString>
#include <optional>

namespace brimvolt {

/**
 * One topic level made of free text (a host name, a port name): '/', the wildcards '+' and '#',
 * spaces, control characters, DEL, noncharacters and lone surrogates become '_'; an empty text
 * gives "_".
 */
QString TopicLevel(const QString& text);

/**
 * A port as one topic level: a device path drops its "/dev/" and keeps its other folders joined
 * by '_'; a name without a path stays as it is.
 */
QString PortTopicLevel(const QString& portName);

/**
 * "brimvolt/<host>/<port>". A device path drops its "/dev/" and keeps its other folders joined
 * by '_' ("/dev/serial/by-id/usb-x" gives "serial_by-id_usb-x"), so two ports never share a
 * prefix; a port name without a path ("ttyUSB0", "COM3") stays as it is.
 */
QString DefaultTopicPrefix(const QString& hostName, const QString& portName);

/**
 * Checks a prefix the operator gave: not empty, no '+', '#', control character, DEL or
 * noncharacter (a topic name may not hold them), not starting with '$' (the broker's own
 * topics). Trailing '/' are dropped.
 */
std::optional<QString> CheckTopicPrefix(const QString& prefix, QString* error);

/** The topics under a prefix. */
QString StateTopic(const QString& prefix);
QString StatusTopic(const QString& prefix);
QString RunTopic(const QString& prefix);

/**
 * The Home Assistant node id of a prefix: characters outside [A-Za-z0-9_-] become '_', and when
 * that changed anything a short digest of the prefix keeps two benches apart
 * ("brimvolt/лаб/ttyUSB0" and "brimvolt/цех/ttyUSB0" must not become one device).
 */
QString DiscoveryNodeId(const QString& prefix);

}  // namespace brimvolt
