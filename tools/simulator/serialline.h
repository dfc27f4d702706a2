#pragma once

#include "protocol/linkports.h"

#include <QSerialPort>

// The program's side of the line without the main window: a QSerialPort at the instrument's
// settings that sends InstrumentLink's frames. Tests and benchmarks connect readyRead to
// InstrumentLink::receive themselves.
class SerialLine : public FrameSink {
public:
    SerialLine() = default;
    bool open(const QString& devicePath);
    void close() { m_port.close(); }
    QSerialPort& port() { return m_port; }

    bool isOpen() const override { return m_port.isOpen(); }
    void sendFrame(const QByteArray& frame) override {
        m_port.write(frame);
        m_port.flush();
    }

private:
    QSerialPort m_port;
};
