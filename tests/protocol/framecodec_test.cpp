#include "protocol/framecodec.h"

#include <QProcess>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QByteArray bytes(const QString& text) {
    QByteArray bytes;
    HexTextToBytes(text, bytes);
    return bytes;
}

quint16 crcOf(const QByteArray& bytes) {
    return Crc16(reinterpret_cast<const quint8*>(bytes.constData()),
                 static_cast<int>(bytes.size()));
}

} // namespace

TEST(FrameCodec, CrcValuesAndByteOrder) {
    const QByteArray digits("123456789");
    const quint16 r = crcOf(digits);
    // The catalogue value of CRC-16/MODBUS is 0x4B37; ours comes with its bytes exchanged.
    EXPECT_EQ(r, 0x374B);
    EXPECT_EQ(crcOf(QByteArray()), 0xFFFF);

    const QByteArray frame = bytes(QStringLiteral("010300170012C375"));
    ASSERT_EQ(frame, QByteArray::fromHex("010300170012C375"));
    EXPECT_EQ(crcOf(frame.left(6)), 0x75C3);
    EXPECT_TRUE(frameCrcMatches(reinterpret_cast<const quint8*>(frame.constData()), 8));
    QByteArray flipped = frame;
    flipped[7] = static_cast<char>(flipped[7] ^ 1);
    EXPECT_FALSE(frameCrcMatches(reinterpret_cast<const quint8*>(flipped.constData()), 8));
}

TEST(FrameCodec, RequestFrameTableIsConsistent) {
    struct Expected {
        int start;
        int count;
    };
    const Expected expected[kRequestFrameCount] = {
        {0x02, 1}, {0x03, 4}, {0x10, 4},  {0x10, 6}, {0x11, 4},  {0x11, 6}, {0x12, 4},
        {0x12, 6}, {0x13, 8}, {0x13, 18}, {0x16, 8}, {0x16, 18}, {0x17, 8}, {0x17, 18},
    };
    for (int i = 0; i < kRequestFrameCount; ++i) {
        const QString text = QString::fromLatin1(RequestFrameTable[static_cast<size_t>(i)]);
        EXPECT_EQ(text.size(), 16) << i;
        EXPECT_EQ(text, text.toUpper()) << i;
        const QByteArray frame = bytes(text);
        ASSERT_EQ(frame.size(), 8) << i;
        EXPECT_EQ(frame.left(2), QByteArray("\x01\x03", 2)) << i;
        EXPECT_EQ((quint8(frame[2]) << 8) | quint8(frame[3]), expected[i].start) << i;
        EXPECT_EQ((quint8(frame[4]) << 8) | quint8(frame[5]), expected[i].count) << i;
        EXPECT_TRUE(frameCrcMatches(reinterpret_cast<const quint8*>(frame.constData()), 8)) << i;
    }
}

TEST(FrameCodec, RecordRequests) {
    EXPECT_EQ(recordRequestFrame(1), QByteArray::fromHex("01410000000105FC"));
    const QByteArray frame = recordRequestFrame(0x12345678);
    ASSERT_EQ(frame.size(), 8);
    EXPECT_EQ(frame.left(6), QByteArray::fromHex("014112345678"));
    EXPECT_TRUE(frameCrcMatches(reinterpret_cast<const quint8*>(frame.constData()), 8));
    // The configuration requests go out as the table spells them.
    for (int i = 0; i < kRequestFrameCount; ++i) {
        EXPECT_EQ(requestFrame(i), QByteArray::fromHex(RequestFrameTable[size_t(i)])) << i;
    }
}

TEST(FrameCodec, HexTextRules) {
    EXPECT_EQ(HexDigitValue(QLatin1Char('0')), 0);
    EXPECT_EQ(HexDigitValue(QLatin1Char('9')), 9);
    EXPECT_EQ(HexDigitValue(QLatin1Char('A')), 10);
    EXPECT_EQ(HexDigitValue(QLatin1Char('f')), 15);
    EXPECT_EQ(HexDigitValue(QLatin1Char('g')), -1);
    EXPECT_EQ(HexDigitValue(QLatin1Char(' ')), -1);

    QByteArray out;
    EXPECT_EQ(HexTextToBytes(QStringLiteral("c375AbCd"), out), 4);
    EXPECT_EQ(out, QByteArray::fromHex("C375ABCD"));
    EXPECT_EQ(bytes(QStringLiteral("c375")), bytes(QStringLiteral("C375")));
    // A final unpaired digit is dropped.
    EXPECT_EQ(HexTextToBytes(QStringLiteral("01030"), out), 2);
    EXPECT_EQ(out, QByteArray("\x01\x03", 2));
    // Blanks are skipped where a pair begins ...
    EXPECT_EQ(HexTextToBytes(QStringLiteral(" 01 03"), out), 2);
    EXPECT_EQ(out, QByteArray("\x01\x03", 2));
    EXPECT_EQ(HexTextToBytes(QStringLiteral("   01   03   "), out), 2);
    EXPECT_EQ(out, QByteArray("\x01\x03", 2));
    // ... but one between the digits of a pair ends the conversion, as does a non-hex digit.
    EXPECT_EQ(HexTextToBytes(QStringLiteral("010 3"), out), 1);
    EXPECT_EQ(out, QByteArray("\x01", 1));
    EXPECT_EQ(HexTextToBytes(QStringLiteral("01xy03"), out), 1);
    EXPECT_EQ(HexTextToBytes(QString(), out), 0);
    EXPECT_TRUE(out.isEmpty());
}

// crcmod's predefined "modbus" CRC is an implementation that is not ours.
TEST(FrameCodec, CrcAgreesWithCrcmod) {
    QList<QByteArray> inputs{QByteArray("123456789"), QByteArray(),
                             QByteArray::fromHex("010300170012"),
                             QByteArray::fromHex("014100000001"), QByteArray(256, '\xFF')};
    QRandomGenerator random(20240305);
    for (int i = 0; i < 60; ++i) {
        QByteArray bytes(static_cast<qsizetype>(random.bounded(1, 40)), Qt::Uninitialized);
        for (char& b : bytes) {
            b = static_cast<char>(random.bounded(256));
        }
        inputs.append(bytes);
    }
    QByteArray hexLines;
    for (const QByteArray& bytes : inputs) {
        hexLines += bytes.toHex() + "\n";
    }

    QProcess python;
    python.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"), QStringLiteral("import sys, crcmod.predefined\n"
                                              "f = crcmod.predefined.mkPredefinedCrcFun('modbus')\n"
                                              "for line in sys.stdin.read().split('\\n')[:-1]:\n"
                                              "    print('%04x' % f(bytes.fromhex(line)))\n")});
    ASSERT_TRUE(python.waitForStarted(10000));
    python.write(hexLines);
    python.closeWriteChannel();
    ASSERT_TRUE(python.waitForFinished(30000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QList<QByteArray> lines = python.readAllStandardOutput().trimmed().split('\n');
    ASSERT_EQ(lines.size(), inputs.size());
    EXPECT_EQ(lines[0], QByteArray("4b37"));
    for (int i = 0; i < inputs.size(); ++i) {
        const quint16 standard = static_cast<quint16>(lines[i].toUInt(nullptr, 16));
        const quint16 ours = crcOf(inputs[i]);
        EXPECT_EQ(ours, static_cast<quint16>((standard >> 8) | (standard << 8)))
            << inputs[i].toHex().toStdString();
    }
}
