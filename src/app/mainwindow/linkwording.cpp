#include "app/mainwindow/linkwording.h"

#include <cstdio>

namespace {

constexpr char kFunctionReadRecord = 0x41;

QString hexText(const QByteArray& bytes, const char* format) {
    QString text;
    for (const char byte : bytes) {
        char digits[4];
        const int length =
            std::snprintf(digits, sizeof digits, format, static_cast<unsigned>(quint8(byte)));
        text += QLatin1String(digits, length);
    }
    return text;
}

} // namespace

QString sentFrameText(const QByteArray& frame) {
    const bool recordRequest = frame.size() > 1 && frame.at(1) == kFunctionReadRecord;
    return hexText(frame, recordRequest ? "%02x" : "%02X");
}

QString receivedBytesText(const QByteArray& bytes) {
    return hexText(bytes, "%02X ");
}

DownloadProgress downloadProgressOf(quint32 index, quint32 total) {
    const float percent = static_cast<float>(index) / static_cast<float>(total) * 100.0f;
    char text[32];
    std::snprintf(text, sizeof text, "%0.1f%%", static_cast<double>(percent));
    return {static_cast<int>(percent), QString::fromLatin1(text)};
}

DownloadProgress downloadStartProgress() {
    return {0, QStringLiteral("0%")};
}
