#include "serverarchive/archivelocation.h"

#include <QDir>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QUrl>
#include <cstring>

namespace {

const QString kSqlitePrefix = QStringLiteral("sqlite:");
const QString kMask = QStringLiteral("********");

QString decoded(const QString& part) {
    return QUrl::fromPercentEncoding(part.toUtf8());
}

// libpq's keywords are lower-case letters and underscores.
bool isKeyword(const QString& key) {
    static const QRegularExpression keyword(QStringLiteral("^[a-z_]+$"));
    return keyword.match(key).hasMatch();
}

// A conninfo value in single quotes. Qt's QPSQL driver turns every ';' of the connect options
// into a space before libpq sees them, so a value holding one cannot be passed at all.
QString quotedValue(QString value) {
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

struct HostList {
    QStringList hosts;
    QStringList ports;
    QString error;
};

// hostspec = [host][:port] with an IPv6 address in brackets; several separated by commas.
HostList splitHosts(const QString& hostspec) {
    HostList list;
    if (hostspec.isEmpty()) {
        return list;
    }
    for (const QString& one : hostspec.split(QLatin1Char(','))) {
        QString host = one;
        QString port;
        if (host.startsWith(QLatin1Char('['))) {
            const qsizetype close = host.indexOf(QLatin1Char(']'));
            if (close < 0) {
                list.error = QStringLiteral("an IPv6 address lacks its closing bracket");
                return list;
            }
            port = host.mid(close + 1);
            host = host.mid(1, close - 1);
            if (!port.isEmpty() && !port.startsWith(QLatin1Char(':'))) {
                list.error = QStringLiteral("unexpected text after an IPv6 address");
                return list;
            }
            port = port.mid(1);
        } else if (const qsizetype colon = host.indexOf(QLatin1Char(':')); colon >= 0) {
            port = host.mid(colon + 1);
            host = host.left(colon);
        }
        bool numeric = true;
        if (!port.isEmpty() && (port.toUInt(&numeric) == 0 || !numeric)) {
            // Not echoed: a mistyped URL may have put its password here.
            list.error = QStringLiteral("a port is not a number");
            return list;
        }
        list.hosts << decoded(host);
        list.ports << port;
    }
    return list;
}

struct UriParts {
    QString user;
    QString rawPassword;
    QString hostspec;
    QString database;
    QString query;
};

// postgresql://[userspec@][hostspec][/dbname][?paramspec], the scheme already taken off.
UriParts splitUri(QString rest) {
    UriParts parts;
    if (const qsizetype mark = rest.indexOf(QLatin1Char('?')); mark >= 0) {
        parts.query = rest.mid(mark + 1);
        rest = rest.left(mark);
    }
    if (const qsizetype slash = rest.indexOf(QLatin1Char('/')); slash >= 0) {
        parts.database = decoded(rest.mid(slash + 1));
        rest = rest.left(slash);
    }
    if (const qsizetype at = rest.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString userinfo = rest.left(at);
        rest = rest.mid(at + 1);
        const qsizetype colon = userinfo.indexOf(QLatin1Char(':'));
        parts.user = decoded(colon >= 0 ? userinfo.left(colon) : userinfo);
        if (colon >= 0) {
            parts.rawPassword = userinfo.mid(colon + 1);
        }
    }
    parts.hostspec = rest;
    return parts;
}

// The URI's key=value parameters into parameters (a later one replacing an earlier one, as
// libpq has it), a password into rawPassword. Returns why they cannot be used, or nothing.
QString addQuery(const QString& query, ArchiveLocation::Parameters& parameters,
                 QString& rawPassword) {
    for (const QString& pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        const QString key = decoded(equals >= 0 ? pair.left(equals) : pair);
        const QString value = equals >= 0 ? pair.mid(equals + 1) : QString();
        if (!isKeyword(key)) {
            return QStringLiteral("the archive URL has a parameter \"%1\" that libpq does not "
                                  "know")
                .arg(key.left(40));
        }
        if (key == QLatin1String("password")) {
            rawPassword = value;
            continue;
        }
        const QString plain = decoded(value);
        if (plain.contains(QLatin1Char(';'))) {
            return QStringLiteral("the archive URL's parameter \"%1\" holds a ';', which cannot "
                                  "be passed to the database driver")
                .arg(key);
        }
        parameters.removeIf([&key](const auto& p) { return p.first == key; });
        parameters.append({key, plain});
    }
    return {};
}

} // namespace

ArchiveLocation ArchiveLocation::sqliteFile(const QString& path) {
    ArchiveLocation location;
    location.m_kind = Kind::SQLite;
    location.m_sqlitePath = QDir::cleanPath(path);
    return location;
}

ArchiveLocation::Parsed ArchiveLocation::parse(const QString& text, const QString& baseFolder) {
    Parsed result;
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(kSqlitePrefix)) {
        QString path = trimmed.mid(kSqlitePrefix.size());
        if (path.isEmpty()) {
            result.error = QStringLiteral("sqlite: names no file");
            return result;
        }
        if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/"))) {
            path = QDir::homePath() + path.mid(1);
        }
        result.location = sqliteFile(QDir(baseFolder).absoluteFilePath(path));
        result.ok = true;
        return result;
    }
    static const QRegularExpression scheme(QStringLiteral("^postgres(ql)?://"));
    const QRegularExpressionMatch match = scheme.match(trimmed);
    if (!match.hasMatch()) {
        result.error = QStringLiteral("an archive is \"sqlite:PATH\" or a "
                                      "\"postgresql://user@host:port/database\" URL");
        return result;
    }
    const UriParts parts = splitUri(trimmed.mid(match.capturedLength()));
    ArchiveLocation& location = result.location;
    location.m_kind = Kind::PostgreSQL;
    location.m_rawPassword = parts.rawPassword;
    const HostList hosts = splitHosts(parts.hostspec);
    if (!hosts.error.isEmpty()) {
        result.error = QStringLiteral("the archive URL's host part is wrong: ") + hosts.error;
        return result;
    }
    if (!hosts.hosts.join(QString()).isEmpty()) {
        location.m_parameters.append({QStringLiteral("host"), hosts.hosts.join(QLatin1Char(','))});
    }
    if (!hosts.ports.join(QString()).isEmpty()) {
        location.m_parameters.append({QStringLiteral("port"), hosts.ports.join(QLatin1Char(','))});
    }
    if (!parts.database.isEmpty()) {
        location.m_parameters.append({QStringLiteral("dbname"), parts.database});
    }
    if (!parts.user.isEmpty()) {
        location.m_parameters.append({QStringLiteral("user"), parts.user});
    }
    result.error = addQuery(parts.query, location.m_parameters, location.m_rawPassword);
    location.m_password = decoded(location.m_rawPassword);
    result.ok = result.error.isEmpty();
    return result;
}

QString ArchiveLocation::parameter(const QString& key) const {
    for (const auto& [name, value] : m_parameters) {
        if (name == key) {
            return value;
        }
    }
    return {};
}

void ArchiveLocation::addParameter(const QString& key, const QString& value) {
    m_parameters.removeIf([&key](const auto& p) { return p.first == key; });
    m_parameters.append({key, value});
}

QString ArchiveLocation::displayText() const {
    if (m_kind == Kind::SQLite) {
        return QDir::toNativeSeparators(m_sqlitePath);
    }
    const QString user = parameter(QStringLiteral("user"));
    QString host = parameter(QStringLiteral("host"));
    const QString port = parameter(QStringLiteral("port"));
    const bool socketFolder = host.startsWith(QLatin1Char('/'));
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty()) {
        text += user + QLatin1Char('@');
    }
    if (!socketFolder) {
        text += host;
        if (!port.isEmpty() && !port.contains(QLatin1Char(','))) {
            text += QLatin1Char(':') + port;
        }
    }
    text += QLatin1Char('/') + parameter(QStringLiteral("dbname"));
    QStringList options;
    for (const auto& [key, value] : m_parameters) {
        const bool inAuthority =
            key == QLatin1String("user") || key == QLatin1String("dbname") ||
            (key == QLatin1String("host") && !socketFolder) ||
            (key == QLatin1String("port") && !socketFolder && !value.contains(QLatin1Char(',')));
        if (!inAuthority) {
            options << key + QLatin1Char('=') + value;
        }
    }
    if (!options.isEmpty()) {
        text += QLatin1Char('?') + options.join(QLatin1Char('&'));
    }
    return redacted(text);
}

QString ArchiveLocation::redacted(QString text) const {
    for (const QString& secret : {m_password, m_rawPassword}) {
        if (!secret.isEmpty()) {
            text.replace(secret, kMask);
        }
    }
    return text;
}

bool ArchiveLocation::overwritePassword(char* text) const {
    bool found = false;
    for (const QString& secret : {m_password, m_rawPassword}) {
        const QByteArray bytes = secret.toLocal8Bit();
        if (bytes.isEmpty()) {
            continue;
        }
        for (char* at = std::strstr(text, bytes.constData()); at != nullptr;
             at = std::strstr(at, bytes.constData())) {
            std::memset(at, '*', static_cast<std::size_t>(bytes.size()));
            found = true;
        }
    }
    return found;
}

void ArchiveLocation::applyTo(QSqlDatabase& db) const {
    // Every parameter goes through the connect options, host and port included: libpq takes
    // lists of hosts and ports there, and socket folders, which QSqlDatabase's fields cannot.
    QStringList options;
    for (const auto& [key, value] : m_parameters) {
        options << key + QLatin1Char('=') + quotedValue(value);
    }
    db.setConnectOptions(options.join(QLatin1Char(';')));
    db.setPassword(m_password);
}
