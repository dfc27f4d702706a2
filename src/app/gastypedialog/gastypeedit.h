#pragma once

#include "app/widgets/handlerboundary.h"
#include "gastype/gasliststate.h"

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;
class QTableWidget;

// The Gas Type dialog: the names of user gases 81-100 in a two-column list, a box to edit the
// chosen row's name, "OK" to put the box's text into that row and "Back" to save the list to
// the parameter workbook and close. Escape, Enter and the close box end it without saving.
// The template's control ids name the widgets: "ctl1006", "ctl1008", "ctl1013", "ctl1002".
class CGastypeEdit : public QDialog {
    Q_OBJECT
public:
    static constexpr int kListId = 1006;
    static constexpr int kNameEditId = 1008;
    static constexpr int kOkId = 1013;
    static constexpr int kBackId = 1002;

    // Reads the names from the parameter workbook each time a dialog is built. gases holds the
    // names the program decodes with and the dialog's state between openings.
    explicit CGastypeEdit(UserGases& gases, QWidget* parent = nullptr,
                          QString parameterWorkbook = QString());

    // Problems with the parameter workbook are shown over the dialog after the handler that
    // met them has returned; empty: a message box. Tests put a recorder here.
    void setMessagePresenter(MessagePresenter presenter);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void FillGasList();
    void onListClicked(int row);
    void onNameChanged();
    void onOk();
    void onBack();

    UserGases& m_gases;
    QString m_parameterWorkbook;
    QString m_gasName;
    QTableWidget* m_gasList = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_backButton = nullptr;
    HandlerBoundary m_boundary{*this};
};
