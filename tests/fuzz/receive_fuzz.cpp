// The instrument link's receive path, driven by a script of timer ticks, button presses and
// received byte chunks: raw bytes, the instrument's own answers to what was asked last, copies
// of earlier answers arriving late, answers with stray bytes behind them, and answers whose CRC
// is 00 00. Whatever arrives, no answer is stored twice: between two requests at most one record
// is stored, and each record stored answers a later request than the record before it. Reads
// out of bounds are the sanitizers' to find.
#include "model/displaytexts.h"
#include "model/recordstore.h"
#include "protocol/instrumentlink.h"
#include "protocol/linkports.h"
#include "simframes.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

class Script {
public:
    Script(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool done() const { return m_at >= m_size; }
    quint8 byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    QByteArray bytes(size_t count) {
        count = std::min(count, m_size - m_at);
        QByteArray taken(reinterpret_cast<const char*>(m_data + m_at),
                         static_cast<qsizetype>(count));
        m_at += count;
        return taken;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

class Line : public FrameSink {
public:
    bool open = true;
    QList<QByteArray> sent;
    bool isOpen() const override { return open; }
    void sendFrame(const QByteArray& frame) override {
        if (!open) {
            std::abort(); // nothing is sent on a closed line
        }
        sent.append(frame);
    }
};

// Renders the channel table as the window does after every change.
class Events : public LinkEvents {
public:
    const InstrumentLink* link = nullptr;
    void frameSent(const QByteArray&) override {}
    void bytesReceived(const QByteArray& bytes) override {
        if (bytes.isEmpty()) {
            std::abort(); // nothing came, nothing to show
        }
    }
    void recordRequested(quint32 index, quint32 total) override {
        if (index == 0 || index > total) {
            std::abort();
        }
    }
    void channelCountReported(quint8 count) override {
        if (count > 15) {
            std::abort();
        }
    }
    void recordTotalReported(quint32) override {}
    void channelsChanged() override {
        for (const ChannelSettings& channel : link->configuration().channels) {
            for (int field = 0; field < kChannelFieldCount; ++field) {
                renderedCharacters +=
                    channelFieldText(channel, static_cast<ChannelField>(field)).size();
            }
        }
    }
    qsizetype renderedCharacters = 0;
};

class Exporter : public BatchExporter {
public:
    quint64 exported = 0;
    bool exportBatch(ChannelLayout, const RecordStore& store, quint32 rowCount) override {
        if (rowCount == 0 || rowCount > store.capacity()) {
            std::abort();
        }
        exported += rowCount;
        return true;
    }
};

QByteArray answerTo(const SimulatorConfig& config, const QByteArray& request) {
    SimRequestParser parser;
    parser.feed(request);
    const auto parsed = parser.next();
    return parsed ? simAnswerFor(config, *parsed) : QByteArray();
}

// A record answer of the layout asked for whose CRC bytes are 00 00: its last reading is the
// CRC of what comes before it, low byte first, which leaves a CRC-16/MODBUS of zero.
QByteArray zeroCrcRecordAnswer(bool six, Script& script) {
    QByteArray answer("\x01\x41", 2);
    answer.append(static_cast<char>(six ? 18 : 14));
    answer.append(script.bytes(six ? 16 : 12).leftJustified(six ? 16 : 12, '\0'));
    const quint16 crc = simModbusCrc(answer);
    answer.append(static_cast<char>(crc & 0xFF));
    answer.append(static_cast<char>(crc >> 8));
    simAppendCrc(answer);
    return answer;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Script script(data, size);
    SimulatorConfig config =
        (script.byte() & 1) ? SimulatorConfig::sixChannels() : SimulatorConfig();
    config.recordCount = 1 + script.byte() % 64;

    Line line;
    Events events;
    Exporter exporter;
    const UserGasNames userGases;
    InstrumentLink link(line, events, userGases);
    events.link = &link;
    link.setExporter(&exporter);
    qint64 now = 0;
    link.setClock([&now] { return now; });
    PollState& state = link.state();
    state.recordTotal = config.recordCount;
    state.sixChannel = config.channels == 6 ? 1 : 0;
    link.setChannelCount(static_cast<quint8>(config.channels));

    QList<QByteArray> answersSeen; // answers delivered so far, for late copies
    quint64 storedBefore = 0;
    qsizetype requestsBefore = 0;
    quint32 lastStoredIndex = 0;
    bool storedSinceRequest = false;

    for (int step = 0; step < 4000 && !script.done(); ++step) {
        const quint8 op = script.byte();
        switch (op % 11) {
        case 0:
            link.downloadTick();
            now += 50;
            break;
        case 1:
            link.parameterTick();
            now += 150;
            break;
        case 2:
            link.readParameter();
            break;
        case 3:
            link.startDownload();
            break;
        case 4:
            link.receive(script.bytes(script.byte() % 64));
            break;
        case 5:
        case 6:
            if (!line.sent.isEmpty()) {
                const QByteArray answer = answerTo(config, line.sent.last());
                answersSeen.append(answer);
                // Delivered whole, or cut in two receive events, with stray bytes behind.
                const qsizetype cut = script.byte() % (answer.size() + 1);
                link.receive(answer.left(cut));
                link.receive(answer.mid(cut) + script.bytes(script.byte() % 8));
            }
            break;
        case 7:
            if (!answersSeen.isEmpty()) {
                link.receive(answersSeen.at(script.byte() % answersSeen.size()));
            }
            break;
        case 8:
            line.open = !line.open;
            if (!line.open) {
                link.stop();
            }
            break;
        case 9: {
            const QByteArray answer = zeroCrcRecordAnswer(state.sixChannel != 0, script);
            if (!answer.endsWith(QByteArray(2, '\0'))) {
                std::abort();
            }
            link.receive(answer + QByteArray(script.byte() % 11, static_cast<char>(script.byte())));
            break;
        }
        case 10:
            // The instrument's channel count changes between reads.
            state.sixChannel = script.byte() & 1;
            break;
        }

        if (line.sent.size() != requestsBefore) {
            requestsBefore = line.sent.size();
            storedSinceRequest = false;
        }
        const quint64 stored = exporter.exported + state.storeRow;
        if (stored != storedBefore) {
            // One request, one answer, one record; never the same record index twice.
            if (stored != storedBefore + 1 || storedSinceRequest ||
                state.recordIndex <= lastStoredIndex) {
                std::abort();
            }
            storedSinceRequest = true;
            lastStoredIndex = state.recordIndex;
            storedBefore = stored;
        }
        if (state.rxCount > PollState::kFrameCapacity) {
            std::abort();
        }
    }
    return 0;
}
