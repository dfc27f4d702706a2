#include "app/recordswindow/recordtablemodel.h"

#include "records/recordsheet.h"

RecordTableModel::RecordTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordTableModel::setSheet(std::shared_ptr<const RecordSheet> sheet) {
    beginResetModel();
    m_sheet = std::move(sheet);
    m_captions = m_sheet ? m_sheet->captions() : QStringList();
    endResetModel();
}

int RecordTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_sheet ? 0 : int(m_sheet->recordCount());
}

int RecordTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_captions.size());
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const {
    if (!m_sheet || !index.isValid()) {
        return {};
    }
    const int column = index.column();
    if (role == Qt::TextAlignmentRole) {
        return column > 0 && column % 3 == 2 ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                             : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    const qsizetype record = index.row();
    if (column == 0) {
        return m_sheet->timeText(record);
    }
    const int channel = (column - 1) / 3 + 1;
    const RecordCell& cell = m_sheet->cell(record, channel);
    switch ((column - 1) % 3) {
    case 0:
        return m_sheet->text(cell.gas);
    case 1:
        return m_sheet->readingText(record, channel);
    default:
        return m_sheet->text(cell.unit);
    }
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        return m_captions.value(section);
    }
    return section + 1;
}
