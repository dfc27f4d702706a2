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
    QStringList drivers{"PostgreSQL Unicode", "Excel Workbook Driver (*.xls)", "Second Excel"};
    bool driversAvailable = true;
    std::optional<std::vector<QStringList>> sheet;       // column names first; none: no such sheet
    std::function<QString(const QString&)> refusal;      // a non-empty answer refuses with it
    size_t failingRow = 0;                               // reading this data row fails
    std::optional<std::vector<QStringList>> backupSheet; // what a SELECT of the backup gives
    QString disconnectFailure;

    QStringList connects;
    QStringList statements; // the SELECTs included
    int disconnects = 0;
    bool connected = false;
};

class RecordingStore : public WorkbookStore {
public:
    explicit RecordingStore(std::shared_ptr<RecordedSession> session) : m_s(std::move(session)) {}

    bool installedDrivers(QStringList& names) const override {
        names = m_s->drivers;
        return m_s->driversAvailable;
    }
    void connect(const QString& connectText) override {
        if (m_s->connected) {
            throw WorkbookConnectError("connected twice");
        }
        m_s->connects.append(connectText);
        m_s->connected = true;
    }
    void execute(const QString& statement) override { record(statement); }
    std::unique_ptr<WorkbookResult> openForwardOnly(const QString& select) override {
        record(select);
        if (select.contains(QLatin1String("[CWorkbookBackup$"))) {
            if (!m_s->backupSheet) {
                throw WorkbookStatementError("no such sheet");
            }
            return std::make_unique<Result>(*m_s->backupSheet, 0);
        }
        if (!m_s->sheet) {
            throw WorkbookStatementError("no such sheet");
        }
        return std::make_unique<Result>(*m_s->sheet, m_s->failingRow);
    }
    bool disconnect(QString& failure) override {
        m_s->connected = false;
        ++m_s->disconnects;
        failure = m_s->disconnectFailure;
        return failure.isEmpty();
    }

private:
    struct Result : WorkbookResult {
        Result(std::vector<QStringList> rows, size_t failingRow)
            : rows(rows), failing(failingRow) {}
        int columnCount() const override { return rows.empty() ? 0 : int(rows[0].size()); }
        QString columnName(int column) const override { return rows[0].value(column); }
        bool atEnd() const override { return row >= rows.size(); }
        QString value(int column) const override {
            if (row == failing) {
                throw WorkbookStatementError("row cannot be read");
            }
            return rows[row].value(column);
        }
        void moveNext() override { ++row; }
        std::vector<QStringList> rows;
        size_t failing;
        size_t row = 1;
    };

    void record(const QString& statement) {
        if (!m_s->connected) {
            throw WorkbookStatementError("statement without a connection");
        }
        m_s->statements.append(statement);
        if (const QString reason = m_s->refusal ? m_s->refusal(statement) : QString();
            !reason.isEmpty()) {
            throw WorkbookStatementError(reason.toStdString());
        }
    }
    std::shared_ptr<RecordedSession> m_s;
};
