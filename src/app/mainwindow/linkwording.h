#pragma once

#include <QByteArray>
#include <QString>

// How the main window words what the link reports: the Send and Receive monitors in hex and
// the download's percentage, as users of the instrument's own software know them.

// The values the main window shows in its edits and progress bar (see ShowValues and
// CollectValues). The link's events write them; the Channel field reaches the link through
// InstrumentLink::setChannelCount.
struct WindowValues {
    QString sendText;    // hex text of the last request sent
    QString receiveText; // bytes received since the last request, "%02X " each
    int progress = 0;    // 0..100
    quint8 channelCount = 0;
    quint32 recordTotal = 0;
    QString percentText;
};

// A request as the Send field shows it, sixteen hex digits without blanks: upper-case for the
// configuration requests (function 3), lower-case for the record requests (function 0x41).
QString sentFrameText(const QByteArray& frame);

// Received bytes as the Receive field shows them: "%02X " each.
QString receivedBytesText(const QByteArray& bytes);

struct DownloadProgress {
    int bar = 0;
    QString percentText;
};

// The bar position and "%0.1f%" text after asking for record index of total.
DownloadProgress downloadProgressOf(quint32 index, quint32 total);

// What a download that has not asked for a record yet shows.
DownloadProgress downloadStartProgress();
