#pragma once

#include "model/recordlayout.h"

#include <QByteArray>
#include <QStringList>

class RecordStore;

// What the link tells the window, as values: the window words them (hex texts, percentages)
// and decides what to show. Called on the window's thread, from inside the link's calls.
class LinkEvents {
public:
    virtual ~LinkEvents() = default;
    // A request went out, these bytes exactly.
    virtual void frameSent(const QByteArray& frame) = 0;
    // Bytes came in, in arrival order: all of them, whether an answer takes them or not.
    virtual void bytesReceived(const QByteArray& bytes) = 0;
    // The download asked for record `index` of `total` (both counted from 1).
    virtual void recordRequested(quint32 index, quint32 total) = 0;
    // The instrument answered the channel-count or the record-total request.
    virtual void channelCountReported(quint8 count) = 0;
    virtual void recordTotalReported(quint32 total) = 0;
    // The channel fields of the configuration changed: a read started (all empty) or an
    // answer was decoded.
    virtual void channelsChanged() = 0;
};

// The serial line as the scheduler sees it.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual bool isOpen() const = 0;
    // Sends one whole frame, bytes in order and unchanged.
    virtual void sendFrame(const QByteArray& frame) = 0;
};

// Writes a batch of downloaded records to disk.
class BatchExporter {
public:
    virtual ~BatchExporter() = default;
    // Writes rows 0 .. rowCount-1 of the store. Returns true only when they reached the disk;
    // on false the caller keeps the rows and offers them again with the next batch.
    [[nodiscard]] virtual bool exportBatch(ChannelLayout layout, const RecordStore& store,
                                           quint32 rowCount) = 0;
    // The files the next batch's last row can go to, for telling afterwards whether a write
    // cut short reached the disk; empty when that cannot be told.
    virtual QStringList destinations(ChannelLayout /*layout*/) const { return {}; }
};
