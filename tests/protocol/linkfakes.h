#pragma once

#include "model/displaytexts.h"
#include "model/recordstore.h"
#include "protocol/instrumentlink.h"
#include "protocol/linkports.h"
#include "simframes.h"

#include <QList>
#include <QStringList>
#include <array>
#include <initializer_list>
#include <ostream>

// Readable texts in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

class FakeLine : public FrameSink {
public:
    bool open = true;
    QList<QByteArray> sent;

    bool isOpen() const override { return open; }
    void sendFrame(const QByteArray& frame) override { sent.append(frame); }
};

// Stands in for the window: keeps what the link reported.
class FakeEvents : public LinkEvents {
public:
    QByteArray received; // since the last request sent
    quint32 requestedIndex = 0;
    quint32 requestedTotal = 0;
    quint8 channelCount = 0;
    quint32 recordTotal = 0;
    int downloadEnabled = 0; // record totals above 0 reported
    int channelChanges = 0;

    void frameSent(const QByteArray&) override { received.clear(); }
    void bytesReceived(const QByteArray& bytes) override { received += bytes; }
    void recordRequested(quint32 index, quint32 total) override {
        requestedIndex = index;
        requestedTotal = total;
    }
    void channelCountReported(quint8 count) override { channelCount = count; }
    void recordTotalReported(quint32 total) override {
        recordTotal = total;
        downloadEnabled += total > 0 ? 1 : 0;
    }
    void channelsChanged() override { ++channelChanges; }
};

// A cell of the channel table as the main window renders the link's configuration: column 0
// holds the channel names, then one column per field.
inline QString channelCell(const InstrumentLink& link, int row, int column) {
    return channelFieldText(link.configuration().channels.at(static_cast<size_t>(row)),
                            static_cast<ChannelField>(column - 1));
}

// Remembers each batch it is offered: its size and the time texts of its first and last row.
class FakeExporter : public BatchExporter {
public:
    struct Batch {
        ChannelLayout layout;
        quint32 rows;
        QString firstTime;
        QString lastTime;
    };
    QList<Batch> batches;
    QList<bool> results; // consumed one per call; true once they run out

    bool exportBatch(ChannelLayout layout, const RecordStore& store, quint32 rowCount) override {
        batches.append({layout, rowCount, store.cell(0, 0), store.cell(0, rowCount - 1)});
        return results.isEmpty() ? true : results.takeFirst();
    }
    QList<quint32> sizes() const {
        QList<quint32> list;
        for (const Batch& b : batches) {
            list.append(b.rows);
        }
        return list;
    }
};

// A link on fakes, as the main window would hold it.
struct LinkFixture {
    FakeLine line;
    FakeEvents events;
    UserGasNames userGases;
    InstrumentLink link{line, events, userGases};

    QString cell(int row, int column) const { return channelCell(link, row, column); }
};

// Answers built the instrument's way, with the simulator's own CRC.
inline QByteArray function3Answer(std::initializer_list<int> data) {
    QByteArray answer("\x01\x03", 2);
    answer.append(static_cast<char>(data.size()));
    for (const int byte : data) {
        answer.append(static_cast<char>(byte));
    }
    simAppendCrc(answer);
    return answer;
}

inline QByteArray recordAnswer(std::array<int, 6> time, QList<int> readings) {
    QByteArray answer("\x01\x41", 2);
    answer.append(static_cast<char>(6 + 2 * readings.size()));
    for (const int t : time) {
        answer.append(static_cast<char>(t));
    }
    for (const int r : readings) {
        answer.append(static_cast<char>(r >> 8));
        answer.append(static_cast<char>(r & 0xFF));
    }
    simAppendCrc(answer);
    return answer;
}

// Feeds bytes one receive event per byte.
inline void feedBytewise(InstrumentLink& link, const QByteArray& bytes) {
    for (const char c : bytes) {
        link.receive(QByteArray(1, c));
    }
}

// The answer the simulated instrument gives to the frame the link sent last.
inline QByteArray simAnswerToLast(const SimulatorConfig& config, const QByteArray& request) {
    SimRequestParser parser;
    parser.feed(request);
    const auto parsed = parser.next();
    return parsed ? simAnswerFor(config, *parsed) : QByteArray();
}
