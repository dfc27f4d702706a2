#include "app/mainwindow/commframesink.h"

#include "serial/mscomm1.h"

bool CommFrameSink::isOpen() const {
    return m_comm.GetPortOpen();
}

void CommFrameSink::sendFrame(const QByteArray& frame) {
    m_comm.SetOutput(frame);
}
