#pragma once

#include <QSerialPort>
#include <QString>

// The line settings of the port as written in a settings text like "38400,n,8,1":
// speed, parity letter, data bits, stop bits.
struct LineSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Throws SerialError when the text is not a valid settings text.
LineSettings parseLineSettings(const QString& text);
