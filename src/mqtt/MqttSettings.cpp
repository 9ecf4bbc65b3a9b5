#include "mqtt/MqttSettings.h"

#include <QCoreApplication>
#include <QUrl>

#include "mqtt/MqttTopics.h"

namespace brimvolt {
namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(MqttSettings)
};

QString UrlForms() {
    return Text::tr("mqtt://[имя@]узел[:порт] или mqtts://[имя@]узел[:порт]");
}

bool IsAsciiDigits(QStringView text) {
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return true;
}

// A host name or an IPv4 address; getaddrinfo judges the rest when it connects.
bool IsHostNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'-' || c == u'.' || c == u'_';
}

// Hex groups and colons, at most one "::", optionally an IPv4 tail and a zone ("%eth0").
bool IsIpv6Literal(QStringView text) {
    QStringView address = text;
    const qsizetype percent = text.indexOf(u'%');
    if (percent >= 0) {
        QStringView zone = text.mid(percent + 1);
        if (zone.startsWith(u"25")) {
            zone = zone.mid(2);  // "%25" is how a URL writes the '%'
        }
        if (zone.isEmpty()) {
            return false;
        }
        for (const QChar c : zone) {
            if (!c.isLetterOrNumber() && c != u'-' && c != u'_' && c != u'.') {
                return false;
            }
        }
        address = text.left(percent);
    }
    const qsizetype colons = address.count(u':');
    if (colons < 2 || colons > 7 || address.count(u"::") > 1 || address.contains(u":::")) {
        return false;
    }
    for (const QChar c : address) {
        const bool hex =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!hex && c != u':' && c != u'.') {
            return false;
        }
    }
    return true;
}

}  // namespace

QString MqttUrl::HostPort() const {
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return shownHost + u':' + QString::number(port);
}

std::optional<MqttUrl> ParseMqttUrl(const QString& text, QString* error) {
    const auto fail = [error](const QString& why) -> std::optional<MqttUrl> {
        if (error) {
            *error = Text::tr("Неверный адрес брокера MQTT: ") + why;
        }
        return std::nullopt;
    };
    const QString url = text.trimmed();
    if (url.isEmpty()) {
        return fail(Text::tr("адрес пуст; ожидается ") + UrlForms());
    }
    const qsizetype schemeEnd = url.indexOf(u"://");
    if (schemeEnd < 0) {
        return fail(Text::tr("ожидается ") + UrlForms());
    }
    MqttUrl result;
    const QString scheme = url.left(schemeEnd).toLower();
    if (scheme == u"mqtts") {
        result.tls = true;
    } else if (scheme != u"mqtt") {
        return fail(Text::tr("схема «%1» не поддерживается; ожидается ").arg(scheme.left(16)) +
                    UrlForms());
    }
    QString rest = url.mid(schemeEnd + 3);
    if (rest.contains(u' ') || rest.contains(u'\t')) {
        return fail(Text::tr("пробел в адресе"));
    }

    // Topics come from --mqtt-prefix, not from a path; a bare trailing '/' is harmless.
    qsizetype pathStart = -1;
    for (const QChar c : {u'/', u'?', u'#'}) {
        const qsizetype found = rest.indexOf(c);
        if (found >= 0 && (pathStart < 0 || found < pathStart)) {
            pathStart = found;
        }
    }
    if (pathStart >= 0) {
        const bool bareSlash = rest.mid(pathStart) == u"/";
        rest.truncate(pathStart);
        if (!bareSlash) {
            return fail(
                Text::tr("путь, запрос или фрагмент после узла не поддерживаются (темы задаёт "
                         "--mqtt-prefix)"));
        }
    }

    const qsizetype at = rest.lastIndexOf(u'@');
    if (at >= 0) {
        const QString userInfo = rest.left(at);
        rest = rest.mid(at + 1);
        if (userInfo.contains(u':')) {
            return fail(Text::tr("пароль в адресе не принимается; задайте его в переменной "
                                 "окружения ") +
                        QLatin1String(kMqttPasswordVariable));
        }
        result.user = QUrl::fromPercentEncoding(userInfo.toUtf8());
        if (result.user.isEmpty()) {
            return fail(Text::tr("пустое имя пользователя перед «@»"));
        }
    }

    QString portText;
    bool hasPort = false;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0) {
            return fail(Text::tr("адрес IPv6 не закрыт скобкой «]»"));
        }
        result.host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(u':')) {
            return fail(Text::tr("после адреса IPv6 ожидается «:порт»"));
        }
        if (!IsIpv6Literal(result.host)) {
            return fail(Text::tr("в скобках не адрес IPv6"));
        }
        hasPort = !after.isEmpty();
        portText = after.mid(1);
        result.host.replace(QStringLiteral("%25"), QStringLiteral("%"));
    } else {
        if (rest.count(u':') > 1) {
            return fail(Text::tr("адрес IPv6 пишется в скобках: mqtt://[::1]:1883"));
        }
        const qsizetype colon = rest.indexOf(u':');
        hasPort = colon >= 0;
        result.host = hasPort ? rest.left(colon) : rest;
        portText = hasPort ? rest.mid(colon + 1) : QString();
        if (result.host.isEmpty()) {
            return fail(Text::tr("не указан узел; ожидается ") + UrlForms());
        }
        for (const QChar c : result.host) {
            if (!IsHostNameChar(c)) {
                return fail(Text::tr("недопустимый знак «%1» в имени узла").arg(c));
            }
        }
        if (result.host.size() > 253) {
            return fail(Text::tr("имя узла длиннее 253 знаков"));
        }
    }

    result.port = result.tls ? 8883 : 1883;
    if (hasPort) {
        if (portText.isEmpty()) {
            return fail(Text::tr("после «:» нет номера порта"));
        }
        if (!IsAsciiDigits(portText)) {
            // Not repeated: "mqtt://user:password" without a host puts the password here.
            return fail(Text::tr("номер порта не число"));
        }
        // Leading zeros are fine; more than five significant digits is out of range anyway.
        qsizetype first = 0;
        while (first < portText.size() - 1 && portText[first] == u'0') {
            ++first;
        }
        const QStringView digits = QStringView(portText).mid(first);
        const int port = digits.size() > 5 ? 0 : digits.toInt();
        if (port < 1 || port > 65535) {
            return fail(Text::tr("номер порта вне пределов 1…65535"));
        }
        result.port = port;
    }
    return result;
}

std::optional<MqttSettings> ReadMqttSettings(const QString& urlText, const QString& prefixText,
                                             const std::optional<QString>& password,
                                             QString* error) {
    std::optional<MqttUrl> url = ParseMqttUrl(urlText, error);
    if (!url) {
        return std::nullopt;
    }
    if (password && url->user.isEmpty()) {
        if (error) {
            *error = Text::tr(
                         "Задана переменная окружения %1, но в адресе брокера MQTT нет "
                         "имени пользователя (mqtt://имя@узел)")
                         .arg(QLatin1String(kMqttPasswordVariable));
        }
        return std::nullopt;
    }
    MqttSettings settings;
    settings.url = *url;
    settings.password = password;
    if (!prefixText.isNull()) {
        std::optional<QString> prefix = CheckTopicPrefix(prefixText, error);
        if (!prefix) {
            return std::nullopt;
        }
        settings.fixedPrefix = *prefix;
    }
    return settings;
}

}  // namespace brimvolt
