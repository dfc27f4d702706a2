#pragma once

#include "instrumentsim.h"
#include "windowfixture.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class CTrellmoDlg;

// The program as a user runs it against the instrument: the real main window, offscreen, with
// the simulated instrument on a pseudo-terminal linked as its COM1, real serial port and real
// timers. Records and user gas names go to temporary files; the export files its batches under
// the date in `today`; messages are recorded (window.messages).
class InstrumentRig {
public:
    // adjust may change further settings (another parameter workbook or record folder).
    explicit InstrumentRig(const SimulatorConfig& config = {},
                           const std::function<void(DialogSettings&)>& adjust = {});

    CTrellmoDlg& dlg() const;
    const QString& recordFolder() const { return m_recordFolder; }
    QString recordWorkbook(const QString& fileName) const;

    // Open Port on COM1; true when the window shows the open port.
    bool openPort() const;
    // Read parameter, then waits for the end of the eight-step sequence.
    bool readParameter() const;
    // Read parameter until every cell of the instrument's channels is filled (a loaded machine
    // may hold an answer up past the next request, and a parameter read does not repeat);
    // at most three reads.
    bool readParameterCompletely();
    void pressDownload() const;
    // Waits until the answer to the instrument's last record has been taken in.
    bool waitForDownload(int timeoutMs) const;
    bool downloadDone() const;
    // Presses Download Data with the simulator's request log cleared and waits until the
    // archive's resume check is over and the download done.
    bool downloadThroughArchive();

    // Every non-empty text the edit field shows from now on, in order.
    std::shared_ptr<QStringList> fieldTexts(int controlId) const;

    // Cells 0-6 of the channel table's row (0-5).
    QStringList tableRow(int row) const;
    // Rows 0 .. count-1 of the record store, all 19 cells each.
    QList<QStringList> storedRows(quint32 count) const;
    // Records first .. last as the store must hold them.
    QList<QStringList> expectedStoreRows(quint32 first, quint32 last);

    InstrumentSimulator sim;
    QDate today{2025, 3, 7};

private:
    // Filled in while the window is built, hence declared before it.
    QString m_recordFolder;

public:
    WindowFixture window;
};
