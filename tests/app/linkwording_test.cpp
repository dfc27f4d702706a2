// The Send and Receive monitors and the percentage, as the main window words what the link
// reports.
#include "app/mainwindow/linkwording.h"
#include "protocol/framecodec.h"

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

TEST(LinkWording, MonitorsAndPercentages) {
    // Configuration requests in upper case as stored, record requests in lower case.
    for (int i = 0; i < kRequestFrameCount; ++i) {
        EXPECT_EQ(sentFrameText(requestFrame(i)),
                  QString::fromLatin1(RequestFrameTable[size_t(i)]));
    }
    EXPECT_EQ(sentFrameText(recordRequestFrame(1)), QStringLiteral("01410000000105fc"));
    EXPECT_EQ(sentFrameText(recordRequestFrame(0xABCDEF01)).left(12),
              QStringLiteral("0141abcdef01"));

    EXPECT_EQ(receivedBytesText(QByteArray::fromHex("0083AF")), QStringLiteral("00 83 AF "));
    EXPECT_EQ(receivedBytesText(QByteArray()), QString());

    const std::pair<std::pair<quint32, quint32>, DownloadProgress> progress[] = {
        {{1, 3}, {33, "33.3%"}},
        {{2, 3}, {66, "66.7%"}},
        {{3, 3}, {100, "100.0%"}},
        {{1, 2000}, {0, "0.1%"}},
    };
    for (const auto& [counts, expected] : progress) {
        const DownloadProgress shown = downloadProgressOf(counts.first, counts.second);
        EXPECT_EQ(shown.bar, expected.bar) << counts.first;
        EXPECT_EQ(shown.percentText, expected.percentText) << counts.first;
    }
    EXPECT_EQ(downloadStartProgress().percentText, QStringLiteral("0%"));
    EXPECT_EQ(downloadStartProgress().bar, 0);
}
