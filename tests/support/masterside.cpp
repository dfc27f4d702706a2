#include "masterside.h"

#include "eventwait.h"
#include "ptypair.h"

#include <QElapsedTimer>

#include <array>
#include <unistd.h>

namespace {

void readAvailable(PtyPair& pair, QByteArray& into, int limit) {
    std::array<char, 256> chunk{};
    while (pair.masterFd() >= 0 && into.size() < limit) {
        const ssize_t got = ::read(pair.masterFd(), chunk.data(), chunk.size());
        if (got <= 0) {
            break;
        }
        into.append(chunk.data(), static_cast<int>(got));
    }
}

} // namespace

QByteArray readFromMaster(PtyPair& pair, int count, int timeoutMs) {
    QByteArray received;
    waitUntil(
        [&] {
            readAvailable(pair, received, 1 << 20);
            return received.size() >= count;
        },
        timeoutMs);
    return received;
}

QByteArray drainMaster(PtyPair& pair, int ms) {
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    waitUntil(
        [&] {
            readAvailable(pair, received, 1 << 20);
            return clock.elapsed() >= ms;
        },
        ms + 1000);
    return received;
}

bool writeToMaster(PtyPair& pair, const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(pair.masterFd(), bytes.constData() + written,
                                  static_cast<size_t>(bytes.size() - written));
        if (n <= 0) {
            return false;
        }
        written += n;
    }
    return true;
}

QByteArray withInstrumentCrc(QByteArray frame) {
    quint16 crc = 0xFFFF;
    for (const char c : frame) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<quint16>((crc >> 1) ^ 0xA001) : crc >> 1;
        }
    }
    frame.append(static_cast<char>(crc >> 8));
    frame.append(static_cast<char>(crc & 0xFF));
    return frame;
}
