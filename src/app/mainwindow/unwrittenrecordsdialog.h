#pragma once

#include <QString>
#include <functional>

class InstrumentLink;
class QWidget;
class RecordExporter;

// What the exit can do with downloaded records that still could not be written.
struct UnwrittenRecordsActions {
    // How many records and why they are unwritten, as things stand now.
    std::function<QString()> describe;
    // Offers them to the record folder once more; true when they are written now.
    std::function<bool()> tryAgain;
    // A workbook name to start the file dialog with.
    std::function<QString()> suggestedPath;
    // Writes them into the workbook at `path`; empty when they are on disk, otherwise why not.
    std::function<QString(const QString& path)> saveTo;
    // Drops them: the one way they are lost.
    std::function<void()> discard;
};

// Asks, modally, until the records are written, saved elsewhere or discarded: the user chooses
// "Try Again", "Save Elsewhere..." (a file dialog; a failed save comes back here with its reason)
// or "Discard". There is no way past the question without one of the three, so no record is
// dropped by a dismissed box.
void settleUnwrittenRecords(QWidget* parent, const UnwrittenRecordsActions& actions);

// The same for the rows the link still holds after the exporter's last try: "Try Again" offers
// them to the record folder, "Save Elsewhere..." writes them into a workbook of the user's
// choice, and only "Discard" drops them.
void settleUnwrittenRecords(QWidget* parent, InstrumentLink& link, RecordExporter& exporter);
