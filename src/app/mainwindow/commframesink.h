#pragma once

#include "protocol/linkports.h"

class CMscomm1;

// The serial line as the instrument protocol sees it.
class CommFrameSink final : public FrameSink {
public:
    explicit CommFrameSink(CMscomm1& comm) : m_comm(comm) {}

    bool isOpen() const override;
    void sendFrame(const QByteArray& frame) override;

private:
    CMscomm1& m_comm;
};
