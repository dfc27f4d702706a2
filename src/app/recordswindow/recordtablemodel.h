#pragma once

#include <QAbstractTableModel>
#include <memory>

struct RecordSheet;

// The records of the shown workbook as a table beside the chart: the sheet's captions, one row
// per record in file order. Texts are made when a row comes into view, never held.
class RecordTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordTableModel(QObject* parent = nullptr);

    void setSheet(std::shared_ptr<const RecordSheet> sheet);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::shared_ptr<const RecordSheet> m_sheet;
    QStringList m_captions;
};
