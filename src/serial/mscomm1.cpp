#include "serial/mscomm1.h"

#include "serial/hangupwatch.h"
#include "serial/serialerror.h"

#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

CMscomm1::CMscomm1(PortMap ports, QObject* parent)
    : QObject(parent), m_ports(std::move(ports)), m_port(new QSerialPort(this)),
      m_hangUpWatch(new HangUpWatch(*m_port)) {
    m_hangUpWatch->setParent(this);
    connect(m_port, &QSerialPort::readyRead, this, &CMscomm1::onReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this, &CMscomm1::onError);
    connect(m_hangUpWatch, &HangUpWatch::hungUp, this, &CMscomm1::scheduleLoss);
}

CMscomm1::~CMscomm1() {
    if (m_port->isOpen()) {
        m_port->close();
    }
}

void CMscomm1::SetCommPort(qint16 portNumber) {
    if (m_ports.devicePath(portNumber).isEmpty()) {
        throw SerialError(SerialRefusal::invalidPortNumber(portNumber));
    }
    if (m_port->isOpen() && portNumber != m_commPort) {
        throw SerialError(SerialRefusal::portNumberLockedWhileOpen(m_commPort));
    }
    m_commPort = portNumber;
}

void CMscomm1::SetInBufferSize(qint16 bytes) {
    if (bytes <= 0) {
        throw SerialError(SerialRefusal::invalidValue("The input buffer size", bytes));
    }
    m_inBufferSize = bytes;
    m_port->setReadBufferSize(bytes);
}

void CMscomm1::SetInputLen(qint16 bytes) {
    if (bytes < 0) {
        throw SerialError(SerialRefusal::invalidValue("The input length", bytes));
    }
    m_inputLen = bytes;
}

void CMscomm1::SetOutBufferSize(qint16 bytes) {
    if (bytes <= 0) {
        throw SerialError(SerialRefusal::invalidValue("The output buffer size", bytes));
    }
    // QSerialPort's write buffer grows as needed; the size is kept for the record only.
    m_outBufferSize = bytes;
}

void CMscomm1::SetRThreshold(qint16 bytes) {
    if (bytes < 0) {
        throw SerialError(SerialRefusal::invalidValue("The receive threshold", bytes));
    }
    m_rThreshold = bytes;
}

void CMscomm1::SetInputMode(qint32 mode) {
    if (mode != kInputModeText && mode != kInputModeBinary) {
        throw SerialError(SerialRefusal::invalidValue("The input mode", mode));
    }
    // Input is handed over as bytes in both modes: nothing on this platform converts text.
    m_inputMode = mode;
}

void CMscomm1::SetSettings(const QString& settings) {
    m_settings = parseLineSettings(settings);
    m_settingsText = settings;
    if (m_port->isOpen()) {
        applyLineSettings(settings);
    }
}

void CMscomm1::applyLineSettings(const QString& settingsText) {
    const bool applied =
        m_port->setBaudRate(m_settings.baudRate) && m_port->setParity(m_settings.parity) &&
        m_port->setDataBits(m_settings.dataBits) && m_port->setStopBits(m_settings.stopBits) &&
        m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!applied) {
        throw SerialError(SerialRefusal::settingsRejected(settingsText, m_port->errorString()));
    }
}

bool CMscomm1::GetPortOpen() const {
    return m_port->isOpen();
}

void CMscomm1::SetPortOpen(bool open) {
    if (!open) {
        if (m_port->isOpen()) {
            m_port->close();
        }
        m_lossPending = false;
        return;
    }
    if (m_port->isOpen()) {
        throw SerialError(SerialRefusal::alreadyOpen(m_commPort));
    }
    const QString devicePath = m_ports.devicePath(m_commPort);
    if (devicePath.isEmpty()) {
        throw SerialError(SerialRefusal::invalidPortNumber(m_commPort));
    }
    if (!QFileInfo::exists(devicePath)) {
        throw SerialError(SerialRefusal::deviceMissing(m_commPort, devicePath));
    }
    m_port->setPortName(devicePath);
    m_port->setReadBufferSize(m_inBufferSize);
    // Set before opening so that QSerialPort programs the terminal with them in one go.
    m_port->setBaudRate(m_settings.baudRate);
    m_port->setParity(m_settings.parity);
    m_port->setDataBits(m_settings.dataBits);
    m_port->setStopBits(m_settings.stopBits);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    m_port->clearError();
    if (!m_port->open(QIODevice::ReadWrite)) {
        throwOpenFailure(devicePath);
    }
    ++m_openGeneration;
    m_lossPending = false;
    m_commEvent = 0;
    m_hangUpWatch->arm();
}

void CMscomm1::throwOpenFailure(const QString& devicePath) {
    const QSerialPort::SerialPortError error = m_port->error();
    const QString reason = m_port->errorString();
    m_port->clearError();
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        throw SerialError(SerialRefusal::deviceMissing(m_commPort, devicePath));
    case QSerialPort::PermissionError:
        // QSerialPort reports a missing access right, a device held exclusively elsewhere and a
        // lock file of another program all alike; access() tells the first one apart.
        if (::access(devicePath.toLocal8Bit().constData(), R_OK | W_OK) != 0 &&
            (errno == EACCES || errno == EPERM)) {
            throw SerialError(SerialRefusal::permissionDenied(m_commPort, devicePath));
        }
        throw SerialError(SerialRefusal::inUse(m_commPort, devicePath));
    case QSerialPort::OpenError:
        throw SerialError(SerialRefusal::alreadyOpen(m_commPort));
    default:
        throw SerialError(SerialRefusal::openFailed(m_commPort, devicePath, reason));
    }
}

void CMscomm1::SetOutput(const QByteArray& frame) {
    if (!m_port->isOpen()) {
        throw SerialError(SerialRefusal::notOpen());
    }
    if (m_lossPending) {
        return; // the device is gone; its loss is being reported
    }
    if (m_port->write(frame) != frame.size()) {
        scheduleLoss();
    }
}

QByteArray CMscomm1::GetInput() {
    if (!m_port->isOpen()) {
        return {};
    }
    return m_inputLen > 0 ? m_port->read(m_inputLen) : m_port->readAll();
}

void CMscomm1::onReadyRead() {
    m_commEvent = kEventReceive;
    if (m_rThreshold > 0 && m_port->bytesAvailable() >= m_rThreshold) {
        emit commEvent();
    }
}

void CMscomm1::onError(QSerialPort::SerialPortError error) {
    // Qt reports a hang-up as any of these, depending on whether a read or a write met it.
    if ((error == QSerialPort::ReadError || error == QSerialPort::WriteError ||
         error == QSerialPort::ResourceError) &&
        m_port->isOpen()) {
        scheduleLoss();
    }
}

void CMscomm1::scheduleLoss() {
    if (m_lossPending || !m_port->isOpen()) {
        return;
    }
    m_lossPending = true;
    m_hangUpWatch->silence();
    // Closing inside QSerialPort's own signal would pull the port out from under it.
    const quint64 generation = m_openGeneration;
    QMetaObject::invokeMethod(
        this, [this, generation] { closeLostPort(generation); }, Qt::QueuedConnection);
}

void CMscomm1::closeLostPort(quint64 openGeneration) {
    if (!m_lossPending || openGeneration != m_openGeneration || !m_port->isOpen()) {
        return;
    }
    m_port->close();
    m_port->clearError();
    m_lossPending = false;
    emit portLost(SerialRefusal::portLost(m_commPort, m_ports.devicePath(m_commPort)));
}
