#include "mqtt/MqttTopics.h"

#include <QCoreApplication>
#include <QCryptographicHash>

namespace brimvolt {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(MqttTopics)
};

}  // namespace

QString TopicLevel(const QString& text) {
    QString level;
    level.reserve(text.size());
    for (const QChar c : text) {
        const bool forbidden = c == u'/' || c == u'+' || c == u'#' || c.isNull() ||
                               c.category() == QChar::Other_Control || c.isSpace();
        level += forbidden ? QChar(u'_') : c;
    }
    return level.isEmpty() ? QStringLiteral("_") : level;
}

QString DefaultTopicPrefix(const QString& hostName, const QString& portName) {
    QString port = portName;
    if (port.startsWith(u"/dev/")) {
        port.remove(0, 5);
    }
    while (port.startsWith(u'/')) {
        port.remove(0, 1);
    }
    return QStringLiteral("brimvolt/") + TopicLevel(hostName) + u'/' + TopicLevel(port);
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
