#pragma once

#include <QString>

// The numeric identifiers of the main window's controls and its menu command. Each control's
// object name is "ctl" followed by its number ("ctl1000", "ctl32774"), so that tests and tools
// find a control by number with findChild<T>(controlObjectName(id)).
namespace ControlId {
constexpr int OpenPort = 1000;
constexpr int PortCombo = 1001;
constexpr int CheckPort = 1002;
constexpr int About = 1003;
constexpr int Exit = 1004;
constexpr int Comm = 1005; // the serial line object (CMscomm1), not a widget
constexpr int ChannelList = 1006;
constexpr int ReadParameter = 1007;
constexpr int ChannelCount = 1008;
constexpr int RecordTotal = 1009;
constexpr int SendText = 1010;
constexpr int ReceiveText = 1011;
constexpr int Progress = 1012;
constexpr int DownloadData = 1013;
constexpr int OpenFolder = 1014;
constexpr int PercentText = 1015;
constexpr int GasTypeCommand = 32774;
constexpr int RecordsCommand = 32775;
} // namespace ControlId

inline QString controlObjectName(int id) {
    return QStringLiteral("ctl%1").arg(id);
}
