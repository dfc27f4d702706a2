#pragma once

#include "serial/linesettings.h"
#include "serial/portmap.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>

class HangUpWatch;

// The main window's serial line: the operations of the communications control the program was
// written against, over QSerialPort. Properties are set first and take effect when the port is
// opened (or at once while it is open). Refused operations throw SerialError.
//
// The communication event is raised on the UI thread whenever bytes have arrived; GetInput then
// returns the buffered bytes, each byte once. A device that vanishes while open is closed and
// reported once through portLost, from a queued call, never from inside QSerialPort's signals.
class CMscomm1 : public QObject {
    Q_OBJECT
public:
    static constexpr qint16 kEventReceive = 2;
    static constexpr qint32 kInputModeText = 0;
    static constexpr qint32 kInputModeBinary = 1;

    explicit CMscomm1(PortMap ports = PortMap(), QObject* parent = nullptr);
    ~CMscomm1() override;

    void SetCommPort(qint16 portNumber);
    void SetInBufferSize(qint16 bytes);
    void SetInputLen(qint16 bytes);
    void SetOutBufferSize(qint16 bytes);
    void SetPortOpen(bool open);
    bool GetPortOpen() const;
    void SetRThreshold(qint16 bytes);
    void SetSettings(const QString& settings);
    // Queues one whole frame for sending, bytes in order and unchanged.
    void SetOutput(const QByteArray& frame);
    // Every byte buffered since the last call (at most the input length when that is above 0).
    QByteArray GetInput();
    qint16 GetCommEvent() const { return m_commEvent; }
    void SetInputMode(qint32 mode);

    qint16 commPort() const { return m_commPort; }
    const PortMap& ports() const { return m_ports; }

signals:
    // The communication event; GetCommEvent tells what happened.
    void commEvent();
    // The device went away while the port was open. The port is already closed.
    void portLost(const QString& text);

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void scheduleLoss();
    void closeLostPort(quint64 openGeneration);
    void applyLineSettings(const QString& settingsText);
    [[noreturn]] void throwOpenFailure(const QString& devicePath);

    PortMap m_ports;
    QSerialPort* m_port;
    HangUpWatch* m_hangUpWatch;
    qint16 m_commPort = 1;
    qint16 m_inBufferSize = 1024;
    qint16 m_outBufferSize = 512;
    qint16 m_inputLen = 0;
    qint16 m_rThreshold = 0;
    qint32 m_inputMode = kInputModeText;
    QString m_settingsText = QStringLiteral("9600,n,8,1");
    LineSettings m_settings;
    qint16 m_commEvent = 0;
    quint64 m_openGeneration = 0;
    bool m_lossPending = false;
};
