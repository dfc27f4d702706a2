#include "protocol/framecodec.h"

const std::array<const char*, kRequestFrameCount> RequestFrameTable = {
    "010300020001CA25",                     // channel count
    "01030003000409B4",                     // record total
    "010300100004CC45", "0103001000060DC4", // gas codes, 4 / 6 channels
    "0103001100040C14", "010300110006CD95", // unit codes
    "0103001200040CE4", "010300120006CD65", // precision codes
    "010300130008C9B5", "0103001300120234", // ranges (six channels ask for 18 registers)
    "010300160008C8A5", "0103001600120324", // low alarms
    "01030017000808F4", "010300170012C375", // high alarms
};

namespace {

struct CrcTables {
    std::array<quint8, 256> low{};
    std::array<quint8, 256> high{};
};

constexpr CrcTables makeCrcTables() {
    CrcTables tables;
    for (int k = 0; k < 256; ++k) {
        quint16 value = static_cast<quint16>(k);
        for (int round = 0; round < 8; ++round) {
            value = (value & 1) ? static_cast<quint16>((value >> 1) ^ 0xA001)
                                : static_cast<quint16>(value >> 1);
        }
        tables.low[static_cast<size_t>(k)] = static_cast<quint8>(value & 0xFF);
        tables.high[static_cast<size_t>(k)] = static_cast<quint8>(value >> 8);
    }
    return tables;
}

constexpr CrcTables kCrcTables = makeCrcTables();

} // namespace

int HexDigitValue(QChar character) {
    const char16_t c = character.unicode();
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    return -1;
}

int HexTextToBytes(const QString& text, QByteArray& bytes) {
    const qsizetype length = text.size();
    bytes.resize(length / 2);
    qsizetype i = 0;
    int j = 0;
    while (i < length) {
        const QChar first = text.at(i);
        if (first == QLatin1Char(' ')) {
            ++i;
            continue;
        }
        ++i;
        if (i >= length) {
            break;
        }
        const int high = HexDigitValue(first);
        const int low = HexDigitValue(text.at(i));
        if (high < 0 || low < 0) {
            break;
        }
        bytes[j] = static_cast<char>(high * 16 + low);
        ++i;
        ++j;
    }
    bytes.resize(j);
    return j;
}

quint16 Crc16(const quint8* data, int length) {
    quint8 a = 0xFF;
    quint8 b = 0xFF;
    for (int i = 0; i < length; ++i) {
        const quint8 k = a ^ data[i];
        a = b ^ kCrcTables.low[k];
        b = kCrcTables.high[k];
    }
    return static_cast<quint16>(a * 256 + b);
}

bool frameCrcMatches(const quint8* frame, int length) {
    if (length < 3) {
        return false;
    }
    const quint16 r = Crc16(frame, length - 2);
    return frame[length - 2] == (r & 0xFF) && frame[length - 1] == (r >> 8);
}

void appendCrc(QByteArray& frame) {
    const quint16 r =
        Crc16(reinterpret_cast<const quint8*>(frame.constData()), static_cast<int>(frame.size()));
    frame.append(static_cast<char>(r & 0xFF));
    frame.append(static_cast<char>(r >> 8));
}

const QByteArray& requestFrame(int i) {
    // Converted once: the table is constant.
    static const std::array<QByteArray, kRequestFrameCount> frames = [] {
        std::array<QByteArray, kRequestFrameCount> bytes;
        for (size_t k = 0; k < bytes.size(); ++k) {
            HexTextToBytes(QString::fromLatin1(RequestFrameTable[k]), bytes[k]);
        }
        return bytes;
    }();
    return frames.at(static_cast<size_t>(i));
}

QByteArray recordRequestFrame(quint32 index) {
    QByteArray request;
    request.append(char(0x01));
    request.append(char(0x41));
    request.append(static_cast<char>(index >> 24));
    request.append(static_cast<char>(index >> 16));
    request.append(static_cast<char>(index >> 8));
    request.append(static_cast<char>(index));
    appendCrc(request);
    return request;
}
