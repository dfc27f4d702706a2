#pragma once

#include "spreadsheet/workbookstore.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// A store that records what CWorkbook sends, answers SELECTs from a given sheet and refuses
// what a test tells it to. The session outlives the store, which CWorkbook owns.
struct RecordedSession {
    QStringList drivers{QStringLiteral("PostgreSQL Unicode"),
                        QStringLiteral("Excel Workbook Driver (*.xls)"),
                        QStringLiteral("Second Excel Driver")};
    bool driversAvailable = true;
    // Rows of the sheet a SELECT returns, the first the column names; none: no such sheet.
    std::optional<std::vector<QStringList>> sheet;
    // A non-empty answer refuses the statement with that text.
    std::function<QString(const QString&)> refusal;
    // Reading a value of this data row (1 = first data row) fails.
    int failingRow = 0;
    QString disconnectFailure;

    QStringList connects;
    QStringList statements; // the SELECTs included
    int disconnects = 0;
    bool connected = false;
};

class RecordingStore : public WorkbookStore {
public:
    explicit RecordingStore(std::shared_ptr<RecordedSession> session)
        : m_session(std::move(session)) {}

    bool installedDrivers(QStringList& names) const override;
    void connect(const QString& connectText) override;
    void execute(const QString& statement) override;
    std::unique_ptr<WorkbookResult> openForwardOnly(const QString& select) override;
    bool disconnect(QString& failure) override;

private:
    void record(const QString& statement);
    std::shared_ptr<RecordedSession> m_session;
};
