#include "mqtt/MqttTopics.h"

#include <QCoreApplication>
#include <QCryptographicHash>

#include "platform/Text.h"

namespace brimvolt {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(MqttTopics)
};

}  // namespace

QString TopicLevel(const QString& text) {
    QString level;
    level.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            const char32_t point = QChar::surrogateToUcs4(c, text[i + 1]);
            if (platform::IsUnsafeCodePoint(point)) {
                level += u'_';
            } else {
                level += c;
                level += text[i + 1];
            }
            ++i;
            continue;
        }
        // The broker library refuses a topic with a control character, DEL or a noncharacter
        // in it, message by message: such a port or host name would publish nothing.
        const bool forbidden = c == u'/' || c == u'+' || c == u'#' || c.isSpace() ||
                               platform::IsUnsafeCodePoint(c.unicode());
        level += forbidden ? QChar(u'_') : c;
    }
    return level.isEmpty() ? QStringLiteral("_") : level;
}

QString PortTopicLevel(const QString& portName) {
    QString port = portName;
    if (port.startsWith(u"/dev/")) {
        port.remove(0, 5);
    }
    while (port.startsWith(u'/')) {
        port.remove(0, 1);
    }
    return TopicLevel(port);
}

QString DefaultTopicPrefix(const QString& hostName, const QString& portName) {
    return QStringLiteral("brimvolt/") + TopicLevel(hostName) + u'/' + PortTopicLevel(portName);
}

std::optional<QString> CheckTopicPrefix(const QString& prefix, QString* error) {
    const auto fail = [error](const QString& why) -> std::optional<QString> {
        if (error) {
            *error = Text::tr("Неверный префикс тем MQTT: ") + why;
        }
        return std::nullopt;
    };
    QString result = prefix;
    while (result.endsWith(u'/')) {
        result.chop(1);
    }
    if (result.isEmpty()) {
        return fail(Text::tr("префикс пуст"));
    }
    if (result.contains(u'+') || result.contains(u'#')) {
        return fail(Text::tr("знаки «+» и «#» в имени темы недопустимы"));
    }
    if (result.contains(QChar(u'\0'))) {
        return fail(Text::tr("нулевой знак в имени темы недопустим"));
    }
    if (platform::ReplaceUnsafe(result) != result) {
        return fail(Text::tr("управляющие знаки и несимволы Юникода в имени темы недопустимы"));
    }
    if (result.startsWith(u'$')) {
        return fail(Text::tr("темы на «$» принадлежат брокеру"));
    }
    // A topic name holds at most 65535 bytes; leave room for the level after the prefix.
    if (result.toUtf8().size() > 65000) {
        return fail(Text::tr("префикс слишком длинный"));
    }
    return result;
}

QString StateTopic(const QString& prefix) {
    return prefix + QStringLiteral("/state");
}

QString StatusTopic(const QString& prefix) {
    return prefix + QStringLiteral("/status");
}

QString RunTopic(const QString& prefix) {
    return prefix + QStringLiteral("/run");
}

QString DiscoveryNodeId(const QString& prefix) {
    QString id;
    id.reserve(prefix.size());
    bool lossy = false;
    for (const QChar c : prefix) {
        const bool kept = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                          (c >= u'0' && c <= u'9') || c == u'_' || c == u'-';
        id += kept ? c : QChar(u'_');
        // '/' is the one character every prefix has; turning it into '_' loses nothing useful.
        lossy = lossy || (!kept && c != u'/');
    }
    if (lossy) {
        const QByteArray digest =
            QCryptographicHash::hash(prefix.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
        id += u'_' + QString::fromLatin1(digest);
    }
    return id;
}

}  // namespace brimvolt
