#pragma once

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

class FakeTable : public ChannelTable {
public:
    std::array<std::array<QString, 7>, 6> cells;
    int downloadEnabled = 0;

    // Columns as the main window places them: 0 the channel names, then one per field.
    void setCellText(int row, ChannelField field, const QString& text) override {
        cells.at(static_cast<size_t>(row)).at(static_cast<size_t>(1 + int(field))) = text;
    }
    void enableDownload() override { ++downloadEnabled; }
    QString cell(int row, int column) const {
        return cells[static_cast<size_t>(row)][static_cast<size_t>(column)];
    }
    void fill(const QString& text) {
        for (auto& row : cells) {
            row.fill(text);
        }
    }
};

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
    FakeTable table;
    WindowValues values;
    UserGasNames userGases;
    InstrumentLink link{line, table, values, userGases};
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
