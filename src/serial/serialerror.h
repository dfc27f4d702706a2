#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

// A refusal by the serial layer. It is not caught by the handler that asked for the operation:
// it travels up to the window's event boundary, which shows its text to the user.
class SerialError : public std::runtime_error {
public:
    explicit SerialError(const QString& text);

    const QString& text() const { return m_text; }

private:
    QString m_text;
};

// The texts of the refusals, in one place so that they read alike.
namespace SerialRefusal {
QString invalidPortNumber(int portNumber);
QString portNumberLockedWhileOpen(int openPort);
QString alreadyOpen(int portNumber);
QString notOpen();
QString deviceMissing(int portNumber, const QString& devicePath);
QString permissionDenied(int portNumber, const QString& devicePath);
QString inUse(int portNumber, const QString& devicePath);
QString openFailed(int portNumber, const QString& devicePath, const QString& reason);
QString invalidValue(const char* property, int value);
QString invalidSettings(const QString& settings);
QString settingsRejected(const QString& settings, const QString& reason);
QString portLost(int portNumber, const QString& devicePath);

// The name of the group owning the device (usually dialout), or "dialout" when unknown.
QString owningGroup(const QString& devicePath);
} // namespace SerialRefusal
