#pragma once

#include "protocol/linkports.h"

// The window's side of the link, for benchmarks that only count what reaches the line or the
// disk: every event is dropped.
class NullLinkEvents : public LinkEvents {
public:
    void frameSent(const QByteArray&) override {}
    void bytesReceived(const QByteArray&) override {}
    void recordRequested(quint32, quint32) override {}
    void channelCountReported(quint8) override {}
    void recordTotalReported(quint32) override {}
    void channelsChanged() override {}
};
