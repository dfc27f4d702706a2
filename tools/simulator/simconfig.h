#pragma once

#include <QtGlobal>
#include <array>

// What the simulated instrument reports. The defaults are a four-channel instrument with 30
// records; SixChannels() gives a six-channel one.
struct SimulatorConfig {
    int channels = 4;               // record layout, 4 or 6
    quint8 channelCountByte = 0x04; // raw byte of the channel-count answer (low nibble counts)
    std::array<quint8, 6> gasCodes{1, 2, 3, 30, 18, 69};
    std::array<quint8, 6> unitCodes{0, 0, 2, 3, 1, 4};
    std::array<quint8, 6> precisionCodes{0, 1, 1, 2, 3, 0};
    std::array<quint16, 6> ranges{1000, 1000, 300, 10000, 5000, 100};
    std::array<quint16, 6> lowAlarms{35, 100, 195, 1000, 1000, 10};
    std::array<quint16, 6> highAlarms{200, 1500, 235, 2000, 2500, 20};
    quint32 recordCount = 30;
    // Line timing: each answer goes out only once the request's bytes and its own would have
    // crossed a cable at lineBitsPerSecond (10 bits a byte), plus thinkMs for the instrument.
    // Off: answers go out as soon as the request is read.
    bool lineTiming = false;
    double thinkMs = 3.0;
    int lineBitsPerSecond = 38400;
    // An instrument that cannot keep up: an answer due less than this many milliseconds after
    // the previous answer is dropped (0: none is).
    int minAnswerSpacingMs = 0;
    // Record n holds what record n + contentOffset holds by default: another offset is a memory
    // cleared and filled again, or another instrument of the same configuration.
    quint32 contentOffset = 0;

    static SimulatorConfig sixChannels() {
        SimulatorConfig config;
        config.channels = 6;
        config.channelCountByte = 0x16;
        return config;
    }
};

// One stored record: year-2000, month, day, hour, minute, second, then the raw readings of
// channels 1-6 (a four-channel answer carries the first four).
struct SimRecord {
    std::array<quint8, 6> time{};
    std::array<quint16, 6> readings{};
};

// The content of record n, the same for every run, so that a test knows every cell.
SimRecord simRecordOf(quint32 n);
