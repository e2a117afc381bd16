#include "common/hostport.h"

HostPort HostPort::parse(const QString &text, int defaultPort)
{
    HostPort out;
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('['))) {
        const int close = t.indexOf(QLatin1Char(']'));
        if (close < 0) {
            out.problem = NoClosingBracket;
            return out;
        }
        out.host = t.mid(1, close - 1);
        const QString rest = t.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':'))) {
            out.problem = TextAfterBracket;
            return out;
        }
        out.portText = rest.mid(1);
        if (rest.startsWith(QLatin1Char(':')) && out.portText.isEmpty()) {
            out.problem = NoPortAfterColon;
            return out;
        }
    } else {
        const int colon = t.indexOf(QLatin1Char(':'));
        if (colon >= 0 && t.indexOf(QLatin1Char(':'), colon + 1) >= 0) {
            out.problem = Ipv6WithoutBrackets;
            return out;
        }
        out.host = colon < 0 ? t : t.left(colon);
        if (colon >= 0) {
            out.portText = t.mid(colon + 1);
            if (out.portText.isEmpty()) {
                out.problem = NoPortAfterColon;
                return out;
            }
        }
    }
    if (out.host.isEmpty()) {
        out.problem = NoHost;
        return out;
    }
    for (const QChar c : qAsConst(out.host)) {
        if (c.isSpace() || c.unicode() < 0x20) {
            out.problem = BlankInHost;
            return out;
        }
    }
    out.port = defaultPort;
    if (!out.portText.isEmpty()) {
        bool ok = false;
        out.port = out.portText.toInt(&ok);
        if (!ok || out.port < 1 || out.port > 65535)
            out.problem = BadPort;
    }
    return out;
}

QString HostPort::join(const QString &host, int port)
{
    const QString h =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return h + QLatin1Char(':') + QString::number(port);
}
