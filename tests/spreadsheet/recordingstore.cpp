#include "recordingstore.h"

namespace {

class RecordedResult : public WorkbookResult {
public:
    RecordedResult(std::vector<QStringList> rows, int failingRow)
        : m_rows(std::move(rows)), m_failingRow(failingRow) {}
    int columnCount() const override { return m_rows.empty() ? 0 : int(m_rows[0].size()); }
    QString columnName(int column) const override { return m_rows[0].value(column); }
    bool atEnd() const override { return m_row >= m_rows.size(); }
    QString value(int column) const override {
        if (int(m_row) == m_failingRow)
            throw WorkbookStatementError("row cannot be read");
        return m_rows[m_row].value(column);
    }
    void moveNext() override { ++m_row; }

private:
    std::vector<QStringList> m_rows;
    int m_failingRow;
    size_t m_row = 1;
};

} // namespace

bool RecordingStore::installedDrivers(QStringList& names) const {
    names = m_session->drivers;
    return m_session->driversAvailable;
}

void RecordingStore::connect(const QString& connectText) {
    if (m_session->connected)
        throw WorkbookConnectError("connected twice");
    m_session->connects.append(connectText);
    m_session->connected = true;
}

void RecordingStore::record(const QString& statement) {
    if (!m_session->connected)
        throw WorkbookStatementError("statement without a connection");
    m_session->statements.append(statement);
    if (m_session->refusal) {
        const QString reason = m_session->refusal(statement);
        if (!reason.isEmpty())
            throw WorkbookStatementError(reason.toStdString());
    }
}

void RecordingStore::execute(const QString& statement) { record(statement); }

std::unique_ptr<WorkbookResult> RecordingStore::openForwardOnly(const QString& select) {
    record(select);
    if (!m_session->sheet)
        throw WorkbookStatementError("no such sheet");
    return std::make_unique<RecordedResult>(*m_session->sheet, m_session->failingRow);
}

bool RecordingStore::disconnect(QString& failure) {
    m_session->connected = false;
    ++m_session->disconnects;
    if (m_session->disconnectFailure.isEmpty())
        return true;
    failure = m_session->disconnectFailure;
    return false;
}
