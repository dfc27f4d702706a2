#include "simframes.h"

quint16 simModbusCrc(const QByteArray& bytes) {
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001)
                            : static_cast<quint16>(crc >> 1);
        }
    }
    return crc;
}

void simAppendCrc(QByteArray& frame) {
    const quint16 crc = simModbusCrc(frame);
    frame.append(static_cast<char>(crc >> 8));
    frame.append(static_cast<char>(crc & 0xFF));
}

SimRecord simRecordOf(quint32 n) {
    SimRecord record;
    record.time = {static_cast<quint8>(24 + n % 3),    static_cast<quint8>(1 + n % 12),
                   static_cast<quint8>(1 + n % 28),    static_cast<quint8>(n % 24),
                   static_cast<quint8>((n / 24) % 60), static_cast<quint8>((n * 7) % 60)};
    for (int c = 0; c < 6; ++c) {
        record.readings[static_cast<size_t>(c)] = static_cast<quint16>(n * 37 + c * 1009 + 5);
    }
    return record;
}

namespace {

constexpr quint8 kSlave = 0x01;
constexpr int kRequestLength = 8;
constexpr quint8 kIllegalAddress = 0x02;

bool knownFunction(quint8 function) {
    return function == 0x03 || function == 0x41;
}

quint16 word(const QByteArray& bytes, int at) {
    return static_cast<quint16>(static_cast<quint8>(bytes[at]) << 8 |
                                static_cast<quint8>(bytes[at + 1]));
}

QByteArray registerAnswer(const QByteArray& data) {
    QByteArray answer;
    answer.append(char(kSlave));
    answer.append(char(0x03));
    answer.append(static_cast<char>(data.size()));
    answer.append(data);
    simAppendCrc(answer);
    return answer;
}

QByteArray registerData(const SimulatorConfig& config, quint16 start, quint16 count) {
    QByteArray data;
    auto codes = [&](const std::array<quint8, 6>& values) {
        // One byte per channel: the request names as many registers as there are channels.
        for (int c = 0; c < count; ++c) {
            data.append(static_cast<char>(values[static_cast<size_t>(c)]));
        }
    };
    auto words = [&](const std::array<quint16, 6>& values) {
        // Two bytes per channel; the six-channel request names 18 registers.
        const int channels = count == 8 ? 4 : 6;
        for (int c = 0; c < channels; ++c) {
            data.append(static_cast<char>(values[static_cast<size_t>(c)] >> 8));
            data.append(static_cast<char>(values[static_cast<size_t>(c)] & 0xFF));
        }
    };
    const bool codeCount = count == 4 || count == 6;
    const bool wordCount = count == 8 || count == 18;
    if (start == 0x0002 && count == 1) {
        data.append(static_cast<char>(config.channelCountByte));
    } else if (start == 0x0003 && count == 4) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            data.append(static_cast<char>((config.recordCount >> shift) & 0xFF));
        }
    } else if (start == 0x0010 && codeCount) {
        codes(config.gasCodes);
    } else if (start == 0x0011 && codeCount) {
        codes(config.unitCodes);
    } else if (start == 0x0012 && codeCount) {
        codes(config.precisionCodes);
    } else if (start == 0x0013 && wordCount) {
        words(config.ranges);
    } else if (start == 0x0016 && wordCount) {
        words(config.lowAlarms);
    } else if (start == 0x0017 && wordCount) {
        words(config.highAlarms);
    }
    return data;
}

QByteArray recordAnswer(const SimulatorConfig& config, quint32 n) {
    const SimRecord record = simRecordOf(n + config.contentOffset);
    QByteArray answer;
    answer.append(char(kSlave));
    answer.append(char(0x41));
    answer.append(static_cast<char>(6 + 2 * config.channels));
    for (const quint8 t : record.time) {
        answer.append(static_cast<char>(t));
    }
    for (int c = 0; c < config.channels; ++c) {
        answer.append(static_cast<char>(record.readings[static_cast<size_t>(c)] >> 8));
        answer.append(static_cast<char>(record.readings[static_cast<size_t>(c)] & 0xFF));
    }
    simAppendCrc(answer);
    return answer;
}

} // namespace

std::optional<SimRequest> SimRequestParser::next() {
    while (m_pending.size() >= 2) {
        const auto address = static_cast<quint8>(m_pending[0]);
        const auto function = static_cast<quint8>(m_pending[1]);
        if (address != kSlave || !knownFunction(function)) {
            m_pending.remove(0, 1);
            continue;
        }
        if (m_pending.size() < kRequestLength) {
            return std::nullopt;
        }
        const QByteArray frame = m_pending.left(kRequestLength);
        const quint16 crc = simModbusCrc(frame.left(6));
        if (static_cast<quint8>(frame[6]) != (crc >> 8) ||
            static_cast<quint8>(frame[7]) != (crc & 0xFF)) {
            m_pending.remove(0, 1);
            continue;
        }
        m_pending.remove(0, kRequestLength);
        SimRequest request;
        request.function = function;
        request.bytes = frame;
        if (function == 0x03) {
            request.startRegister = word(frame, 2);
            request.registerCount = word(frame, 4);
        } else {
            request.recordNumber = static_cast<quint32>(word(frame, 2)) << 16 | word(frame, 4);
        }
        return request;
    }
    return std::nullopt;
}

QByteArray simExceptionAnswer(quint8 function, quint8 code) {
    QByteArray answer;
    answer.append(char(kSlave));
    answer.append(static_cast<char>(function | 0x80));
    answer.append(static_cast<char>(code));
    simAppendCrc(answer);
    return answer;
}

QByteArray simAnswerFor(const SimulatorConfig& config, const SimRequest& request) {
    if (request.function == 0x41) {
        if (request.recordNumber < 1 || request.recordNumber > config.recordCount) {
            return simExceptionAnswer(0x41, kIllegalAddress);
        }
        return recordAnswer(config, request.recordNumber);
    }
    const QByteArray data = registerData(config, request.startRegister, request.registerCount);
    if (data.isEmpty()) {
        return simExceptionAnswer(0x03, kIllegalAddress);
    }
    return registerAnswer(data);
}
