// SPDX-License-Identifier: MIT
#include "app/ApiGuard.h"

#include <QHostInfo>
#include <QHttpServerRequest>

namespace ostrella::api {

namespace {

using Status = QHttpServerResponder::StatusCode;

// Every value of the header `name` (case-insensitive) in the request.
QList<QByteArray> headerValues(const QHttpServerRequest& request, const QByteArray& name)
{
    QList<QByteArray> values;
    for (const auto& [key, value] : request.headers()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            values.push_back(value.trimmed());
    }
    return values;
}

// Whether `name` (from a Host header) is this machine: localhost, a loopback address, the address
// the request reached, or the machine's own name.
bool isThisMachine(const QByteArray& name, const QHostAddress& address)
{
    if (name == "localhost")
        return true;
    const QHostAddress named(QString::fromLatin1(name));
    if (!named.isNull())
        return named.isLoopback() || named.isEqual(address, QHostAddress::ConvertV4MappedToIPv4);
    const QByteArray machine = QHostInfo::localHostName().toLatin1().toLower();
    if (machine.isEmpty())
        return false;
    const QByteArray domain = QHostInfo::localDomainName().toLatin1().toLower();
    return name == machine || (!domain.isEmpty() && name == machine + "." + domain);
}

// How this API is opened from a browser on this machine.
std::string addressToOpen(const QHostAddress& address, int port)
{
    QHostAddress shown = address;
    bool mapped = false;
    if (const quint32 v4 = address.toIPv4Address(&mapped); mapped)
        shown = QHostAddress(v4);
    const QString host = shown.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]").arg(shown.toString())
        : shown.toString();
    return "http://" + host.toStdString() + ":" + std::to_string(port) + "/";
}

Reply forbidden(const std::string& why)
{
    return { Status::Forbidden, errorJson(why) };
}

} // namespace

QByteArray hostName(const QByteArray& host)
{
    const QByteArray lower = host.trimmed().toLower();
    if (lower.startsWith('[')) {
        const qsizetype close = lower.indexOf(']');
        return close > 0 ? lower.mid(1, close - 1) : lower;
    }
    const qsizetype colon = lower.indexOf(':');
    // An IPv6 address without brackets has more than one colon: it is all name.
    if (colon >= 0 && lower.indexOf(':', colon + 1) < 0)
        return lower.left(colon);
    return lower;
}

std::optional<Reply> refusal(const QHttpServerRequest& request, const QHostAddress& address,
                             int port)
{
    const QList<QByteArray> hosts = headerValues(request, "Host");
    if (hosts.size() > 1)
        return badRequest("more than one Host header");
    const QByteArray host = hosts.isEmpty() ? QByteArray() : hosts.front();
    if (!host.isEmpty() && !isThisMachine(hostName(host), address))
        return forbidden("refused: Host '" + host.toStdString() + "' is not this machine; open "
                         + addressToOpen(address, port));
    for (const QByteArray& origin : headerValues(request, "Origin")) {
        if (host.isEmpty() || origin.compare("http://" + host, Qt::CaseInsensitive) != 0)
            return forbidden("refused: a request from another origin ('" + origin.toStdString()
                             + "')");
    }
    using Method = QHttpServerRequest::Method;
    if (request.method() == Method::Put || request.method() == Method::Post) {
        const QList<QByteArray> types = headerValues(request, "Content-Type");
        const QByteArray type
            = types.size() == 1 ? types.front().split(';').front().trimmed().toLower() : "";
        if (type != "application/json")
            return Reply { Status::UnsupportedMediaType,
                           errorJson(
                               "a change needs a JSON body: Content-Type: application/json") };
    }
    return std::nullopt;
}

} // namespace ostrella::api
