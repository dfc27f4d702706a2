#pragma once

#include <QList>
#include <QPair>
#include <QString>

class QSqlDatabase;

// Where the records archive lives: an SQLite file on this PC, or a PostgreSQL database named by
// a libpq connection URI
// (postgresql://[user[:password]@][host][:port][,...][/dbname][?key=value&...]). The URI's
// parameters go to libpq as they are (sslmode, sslrootcert, service, connect_timeout, ...), so TLS,
// service files and ~/.pgpass work as for psql. A password in the URI is kept apart from everything
// that can be shown: displayText() and redacted() never contain it.
class ArchiveLocation {
public:
    enum class Kind { SQLite, PostgreSQL };
    using Parameters = QList<QPair<QString, QString>>;

    struct Parsed;
    // Reads "sqlite:PATH" or a postgresql:// (postgres://) URI; anything else is refused with a
    // reason that does not contain the password. A relative PATH is taken from baseFolder.
    static Parsed parse(const QString& text, const QString& baseFolder);
    // The SQLite file in the given folder: the archive when nothing else is set.
    static ArchiveLocation sqliteFile(const QString& path);

    Kind kind() const { return m_kind; }
    const QString& sqlitePath() const { return m_sqlitePath; }
    // The libpq connection parameters in the order given (password excluded).
    const Parameters& parameters() const { return m_parameters; }
    QString parameter(const QString& key) const;
    // Adds (or replaces) one libpq parameter.
    void addParameter(const QString& key, const QString& value);
    bool hasPassword() const { return !m_password.isEmpty(); }

    // What the user may see: the file path, or the URI without its password.
    QString displayText() const;
    // text with every occurrence of the password (as given and as percent-encoded) masked.
    QString redacted(QString text) const;

    // Overwrites every occurrence of the password (as given and as percent-encoded) in the
    // C string text with '*', keeping its length. Returns whether there was one.
    bool overwritePassword(char* text) const;

    // Sets a QPSQL connection's parameters (the password too, when the URI held one).
    void applyTo(QSqlDatabase& db) const;

private:
    Kind m_kind = Kind::SQLite;
    QString m_sqlitePath;
    Parameters m_parameters;
    QString m_password;
    QString m_rawPassword;
};

struct ArchiveLocation::Parsed {
    bool ok = false;
    ArchiveLocation location;
    // When !ok: why the text names no archive (without the password).
    QString error;
};
