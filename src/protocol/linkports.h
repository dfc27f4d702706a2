#pragma once

#include "model/instrumentvalues.h"
#include "model/recordlayout.h"

#include <QByteArray>
#include <QString>

class RecordStore;

// The values the main window shows in its edits and progress bar. The protocol layer writes
// them (it extends the Receive text byte by byte) and takes no input from them: the channel
// count typed into the Channel field reaches it through InstrumentLink::setChannelCount.
struct WindowValues {
    QString sendText;    // hex text of the last request sent
    QString receiveText; // bytes received since the last request, "%02X " each
    int progress = 0;    // 0..100
    quint8 channelCount = 0;
    quint32 recordTotal = 0;
    QString percentText;
};

// The serial line as the scheduler sees it.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual bool isOpen() const = 0;
    // Sends one whole frame, bytes in order and unchanged.
    virtual void sendFrame(const QByteArray& frame) = 0;
};

// The channel table of the main window (rows 0-5 are channels 1-6, a value column per field;
// the window places them) and the Download Data button, which the record-total answer enables.
class ChannelTable {
public:
    virtual ~ChannelTable() = default;
    virtual void setCellText(int row, ChannelField field, const QString& text) = 0;
    virtual void enableDownload() = 0;
};

// Writes a batch of downloaded records to disk.
class BatchExporter {
public:
    virtual ~BatchExporter() = default;
    // Writes rows 0 .. rowCount-1 of the store. Returns true only when they reached the disk;
    // on false the caller keeps the rows and offers them again with the next batch.
    [[nodiscard]] virtual bool exportBatch(ChannelLayout layout, const RecordStore& store,
                                           quint32 rowCount) = 0;
};
