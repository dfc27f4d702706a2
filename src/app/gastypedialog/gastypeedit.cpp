#include "app/gastypedialog/gastypeedit.h"

#include "app/widgets/dialogunits.h"
#include "gastype/gasnametable.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <exception>

namespace {

// Template 134, in dialog units.
constexpr int kDialogWidthDu = 226;
constexpr int kDialogHeightDu = 215;
constexpr int kDialogFontPoints = 8;
constexpr int kNumberColumnPx = 60;
constexpr int kNameColumnPx = 150;
constexpr int kFirstCode = 81;

// A report list scrolled a whole row at a time, the top row always aligned with the top edge,
// as the platform's list views do. Qt aligns the last row with the bottom edge instead when
// scrolled to the end, which leaves no room below the last row for a click that hits no row.
class ReportList : public QTableWidget {
public:
    using QTableWidget::QTableWidget;

protected:
    void scrollContentsBy(int dx, int dy) override {
        QTableWidget::scrollContentsBy(dx, dy);
        if (dy != 0) {
            alignTopRow();
        }
    }
    void updateGeometries() override {
        QTableWidget::updateGeometries();
        alignTopRow();
    }

private:
    void alignTopRow() {
        if (verticalHeader()->count() == 0) {
            return;
        }
        const int offset = verticalHeader()->sectionPosition(verticalScrollBar()->value());
        if (verticalScrollMode() == ScrollPerItem && verticalHeader()->offset() != offset) {
            verticalHeader()->setOffset(offset);
            viewport()->update();
        }
    }
};

// The main window's scheme: "ctl" followed by the template's control id.
QString idName(int id) {
    return QStringLiteral("ctl%1").arg(id);
}

QString reasonOf(const std::exception& e) {
    const QString reason = QString::fromUtf8(e.what()).trimmed();
    return reason.isEmpty() ? QStringLiteral("The workbook could not be opened.") : reason;
}

} // namespace

CGastypeEdit::CGastypeEdit(UserGases& gases, QWidget* parent, QString parameterWorkbook)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_gases(gases),
      m_parameterWorkbook(parameterWorkbook.isEmpty() ? defaultParameterWorkbook()
                                                      : std::move(parameterWorkbook)) {
    buildControls();
    FillGasList();
    m_nameEdit->setEnabled(false);
    m_gasList->setFocus();
}

void CGastypeEdit::setMessagePresenter(MessagePresenter presenter) {
    m_boundary.setPresenter(std::move(presenter));
}

void CGastypeEdit::buildControls() {
    setWindowTitle(QStringLiteral("Gas Type"));
    setFont(dialogFont(kDialogFontPoints));
    const DialogUnits du(font());

    m_gasList = new ReportList(0, 2, this);
    m_gasList->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_gasList->setObjectName(idName(kListId));
    m_gasList->setGeometry(du.rect(34, 8, 167, 122));
    m_gasList->setHorizontalHeaderLabels({QStringLiteral("Number"), QStringLiteral("Gas Type")});
    m_gasList->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    m_gasList->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_gasList->horizontalHeader()->setStretchLastSection(false);
    m_gasList->setColumnWidth(0, kNumberColumnPx);
    m_gasList->setColumnWidth(1, kNameColumnPx);
    m_gasList->verticalHeader()->hide();
    // Rows as tall as a report list's: the text with a small margin, not the style's default.
    const int rowHeight = du.fontHeight() + 4;
    m_gasList->verticalHeader()->setMinimumSectionSize(rowHeight);
    m_gasList->verticalHeader()->setDefaultSectionSize(rowHeight);
    m_gasList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_gasList->setShowGrid(true);
    m_gasList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_gasList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_gasList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_gasList->setTabKeyNavigation(false);
    m_gasList->viewport()->installEventFilter(this);

    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName(idName(kNameEditId));
    m_nameEdit->setGeometry(du.rect(42, 151, 65, 14));
    m_nameEdit->setAlignment(Qt::AlignCenter);
    m_nameEdit->setAccessibleName(QStringLiteral("Gas Type"));
    connect(m_nameEdit, &QLineEdit::textChanged, this, [this] { onNameChanged(); });

    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(idName(kOkId));
    m_okButton->setGeometry(du.rect(130, 149, 59, 18));
    m_okButton->setEnabled(false);
    connect(m_okButton, &QPushButton::clicked, this, [this] { onOk(); });

    m_backButton = new QPushButton(QStringLiteral("Back"), this);
    m_backButton->setObjectName(idName(kBackId));
    m_backButton->setGeometry(du.rect(56, 180, 116, 23));
    connect(m_backButton, &QPushButton::clicked, this, [this] { onBack(); });

    // The template has no default button: Enter is the dialog's own OK, never "OK" or "Back"
    // unless that button has the focus (keyPressEvent).
    for (QPushButton* button : {m_okButton, m_backButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    setFixedSize(du.x(kDialogWidthDu), du.y(kDialogHeightDu));
}

void CGastypeEdit::FillGasList() {
    StoredGasNames names;
    try {
        names = LoadUserGasNames(m_parameterWorkbook, m_gases.names);
    } catch (const std::exception& e) {
        // The rows still appear, with the names the program is using, so that the dialog can
        // be closed normally; a save meets the same unreadable file and is refused.
        const QString path =
            QDir::toNativeSeparators(QFileInfo(m_parameterWorkbook).absoluteFilePath());
        m_boundary.tell(QStringLiteral("The gas names could not be read from\n%1\n\n%2")
                            .arg(path, reasonOf(e)));
        // No entry was changed by the failed load.
        for (int i = 0; i < kStoredGasNames; ++i) {
            names[i] = m_gases.names[i];
        }
    }

    m_gasList->clearContents();
    m_gasList->setRowCount(0);
    for (int r = 0; r < kGasListRows; ++r) {
        m_gasList->insertRow(r);
        auto* number = new QTableWidgetItem(QString::asprintf("No.%d", kFirstCode + r));
        auto* name = new QTableWidgetItem(names[r]);
        number->setTextAlignment(Qt::AlignCenter);
        name->setTextAlignment(Qt::AlignCenter);
        m_gasList->setItem(r, 0, number);
        m_gasList->setItem(r, 1, name);
    }
}

bool CGastypeEdit::eventFilter(QObject* watched, QEvent* event) {
    // The list reports a click when the button goes up, also when it hit no row (-1).
    if (watched == m_gasList->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            onListClicked(m_gasList->indexAt(mouse->position().toPoint()).row());
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CGastypeEdit::onListClicked(int row) {
    m_gases.list.selectedRow = row;
    const QTableWidgetItem* item = row >= 0 ? m_gasList->item(row, 1) : nullptr;
    m_gasName = item ? item->text() : QString();
    m_nameEdit->setEnabled(true);
    // Only a different text counts as a change of the box (and marks the list edited).
    if (m_nameEdit->text() != m_gasName) {
        m_nameEdit->setText(m_gasName);
    }
}

void CGastypeEdit::onNameChanged() {
    m_gases.list.edited = true;
    m_okButton->setEnabled(true);
}

void CGastypeEdit::onOk() {
    m_gasName = m_nameEdit->text();
    const int row = m_gases.list.selectedRow;
    if (row >= 0 && row < m_gasList->rowCount()) {
        m_gasList->item(row, 1)->setText(m_gasName);
    }
    if (m_nameEdit->text() != m_gasName) {
        m_nameEdit->setText(m_gasName);
    }
}

void CGastypeEdit::onBack() {
    QStringList names;
    for (int r = 0; r < m_gasList->rowCount(); ++r) {
        names << m_gasList->item(r, 1)->text();
    }
    // The dialog stays open when the names do not reach the disk: closing would drop the
    // user's edits without a trace.
    const QString path =
        QDir::toNativeSeparators(QFileInfo(m_parameterWorkbook).absoluteFilePath());
    QString failure;
    try {
        if (!SaveGasList(names, m_parameterWorkbook, m_gases, &failure)) {
            if (failure.isEmpty()) {
                failure = QStringLiteral("The workbook could not be written.");
            }
            m_boundary.tell(
                QStringLiteral("The gas names could not be saved to\n%1\n\n%2").arg(path, failure));
            return;
        }
    } catch (const std::exception& e) {
        m_boundary.tell(
            QStringLiteral("The gas names could not be saved to\n%1\n\n%2").arg(path, reasonOf(e)));
        return;
    }
    accept();
}

void CGastypeEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // A focused push button takes Enter as its click; anywhere else Enter is the dialog's
        // OK, which closes without saving.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget());
            button && button->isEnabled()) {
            button->click();
            return;
        }
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
