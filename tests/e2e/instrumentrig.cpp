#include "instrumentrig.h"

#include "controls.h"
#include "eventwait.h"
#include "expectedtexts.h"

#include "app/mainwindow/trellmodlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

InstrumentRig::InstrumentRig(const SimulatorConfig& config,
                             const std::function<void(DialogSettings&)>& adjust)
    : sim(config), window({}, [this, &adjust](DialogSettings& settings) {
          // The instrument must be plugged in before the window probes the ports at start-up.
          if (!sim.isValid() || !sim.linkAs(settings.deviceFolder, QStringLiteral("ttyUSB0"))) {
              qFatal("no pseudo-terminal for the simulated instrument");
          }
          settings.recordDate = [this] {
              return today;
          };
          if (adjust) {
              adjust(settings);
          }
          m_recordFolder = settings.recordFolder;
      }) {}

CTrellmoDlg& InstrumentRig::dlg() const {
    return *window.dlg;
}

QString InstrumentRig::recordWorkbook(const QString& fileName) const {
    return m_recordFolder + QLatin1Char('/') + fileName;
}

bool InstrumentRig::openPort() const {
    window.press(ControlId::OpenPort);
    return window.button(ControlId::OpenPort)->text() == QStringLiteral("Close Port") &&
           window.button(ControlId::ReadParameter)->isEnabled();
}

bool InstrumentRig::readParameter() const {
    window.press(ControlId::ReadParameter);
    // The ninth tick, 150 ms after the eighth request, ends the sequence; when requests follow
    // the answers, the eighth step's answer (or its deadline) does.
    const bool ended = waitUntil(
        [this] {
            const InstrumentLink& link = dlg().link();
            return link.state().sequenceStep == 9 &&
                   link.pace().phase() != AnswerPace::Phase::Awaiting;
        },
        5000);
    window.settle();
    return ended;
}

bool InstrumentRig::readParameterCompletely() {
    const int channels = sim.config().channels;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!readParameter()) {
            return false;
        }
        bool complete = true;
        for (int row = 0; row < channels; ++row) {
            complete = complete && !tableRow(row).contains(QString());
        }
        if (complete) {
            return true;
        }
    }
    return false;
}

void InstrumentRig::pressDownload() const {
    window.press(ControlId::DownloadData);
}

bool InstrumentRig::downloadThroughArchive() {
    sim.clearLog();
    pressDownload();
    return waitUntil(
        [this] {
            return dlg().link().resume().outcome() != ResumeProbe::Outcome::Asking &&
                   downloadDone();
        },
        30000);
}

bool InstrumentRig::downloadDone() const {
    const PollState& state = dlg().link().state();
    return state.recordTotal > 0 && state.recordIndex == state.recordTotal &&
           state.awaitingRecord == 0;
}

bool InstrumentRig::waitForDownload(int timeoutMs) const {
    const bool done = waitUntil([this] { return downloadDone(); }, timeoutMs);
    window.settle();
    return done;
}

std::shared_ptr<QStringList> InstrumentRig::fieldTexts(int controlId) const {
    auto shown = std::make_shared<QStringList>();
    QLineEdit* field = window.edit(controlId);
    QObject::connect(field, &QLineEdit::textChanged, field, [shown](const QString& text) {
        if (!text.isEmpty()) {
            shown->append(text);
        }
    });
    return shown;
}

QStringList InstrumentRig::tableRow(int row) const {
    auto* table = controlOf<QTableWidget>(dlg(), ControlId::ChannelList);
    QStringList cells;
    for (int column = 0; column < table->columnCount(); ++column) {
        cells << table->item(row, column)->text();
    }
    return cells;
}

QList<QStringList> InstrumentRig::storedRows(quint32 count) const {
    const RecordStore& store = dlg().link().records();
    QList<QStringList> rows;
    for (quint32 row = 0; row < count; ++row) {
        QStringList cells;
        for (int column = 0; column < RecordStore::kColumns; ++column) {
            cells << store.cell(column, row);
        }
        rows << cells;
    }
    return rows;
}

QList<QStringList> InstrumentRig::expectedStoreRows(quint32 first, quint32 last) {
    QList<QStringList> rows;
    for (quint32 n = first; n <= last; ++n) {
        rows << expectedStoreRow(sim.config(), n);
    }
    return rows;
}
