#include "archive/archivesheet.h"

#include <QHash>
#include <cmath>

namespace {

class TextTable {
public:
    explicit TextTable(std::vector<QString>& texts) : m_texts(texts) {
        m_texts.assign(1, QString());
    }
    quint32 indexOf(const QString& text) {
        if (text.isEmpty()) {
            return 0;
        }
        auto it = m_index.constFind(text);
        if (it != m_index.constEnd()) {
            return *it;
        }
        const auto index = static_cast<quint32>(m_texts.size());
        m_texts.push_back(text);
        m_index.insert(text, index);
        return index;
    }

private:
    std::vector<QString>& m_texts;
    QHash<QString, quint32> m_index;
};

std::vector<ChannelAlarm> alarmsOf(const ArchiveRange& range) {
    std::vector<ChannelAlarm> alarms;
    // Downloads come oldest first: a later one's levels replace an earlier one's.
    for (const auto& [id, config] : range.downloads) {
        for (int c = 0; c < config.channels; ++c) {
            const ArchiveChannel& ch = config.channel[static_cast<size_t>(c)];
            const double scale = std::max(1, ch.scale);
            ChannelAlarm alarm{c + 1, ch.gas, ch.unit, ch.lowAlarmRaw / scale,
                               ch.highAlarmRaw / scale};
            auto same = std::find_if(alarms.begin(), alarms.end(), [&](const ChannelAlarm& a) {
                return a.channel == alarm.channel && a.gas == alarm.gas && a.unit == alarm.unit;
            });
            if (same != alarms.end()) {
                *same = alarm;
            } else if (!ch.gas.isEmpty()) {
                alarms.push_back(alarm);
            }
        }
    }
    return alarms;
}

} // namespace

ArchiveSheet archiveSheetOf(const ArchiveRange& range, const QString& label) {
    auto sheet = std::make_shared<RecordSheet>();
    sheet->path = label;
    int channels = 4;
    QHash<qint64, const ArchiveConfig*> configs;
    for (const auto& [id, config] : range.downloads) {
        configs.insert(id, &config);
        channels = std::max(channels, config.channels);
    }
    sheet->channelCount = channels;
    TextTable texts(sheet->texts);
    sheet->times.reserve(size_t(range.readings.size()));
    sheet->cells.reserve(size_t(range.readings.size()) * size_t(channels));
    static const ArchiveConfig none;
    for (const ArchiveReading& reading : range.readings) {
        const auto time = parseRecordTime(reading.takenAt);
        sheet->times.push_back(time ? *time : RecordSheet::kNoTime);
        const ArchiveConfig& config = *configs.value(reading.downloadId, &none);
        for (int c = 0; c < channels; ++c) {
            const auto k = static_cast<size_t>(c);
            RecordCell cell;
            if (reading.present[k]) {
                cell.value = reading.values[k];
            }
            cell.gas = texts.indexOf(config.channel[k].gas);
            cell.unit = texts.indexOf(config.channel[k].unit);
            const int code = config.channel[k].precisionCode;
            cell.decimals = static_cast<qint8>(code >= 1 && code <= 3 ? code : 0);
            sheet->cells.push_back(cell);
        }
    }
    ArchiveSheet result{sheet, alarmsOf(range), nullptr};
    result.shape = std::make_shared<RecordShape>(shapeRecords(*sheet));
    applyAlarms(*result.shape, result.alarms);
    return result;
}
