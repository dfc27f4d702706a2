#include "serial/portmap.h"

#include <array>

namespace {

struct DeviceFamily {
    const char* prefix;
    int firstPort;
};

constexpr int kPortsPerFamily = 32;
constexpr std::array<DeviceFamily, 4> kFamilies{{
    {"ttyUSB", 1},
    {"ttyACM", 33},
    {"ttyS", 65},
    {"ttyAMA", 97},
}};

} // namespace

PortMap::PortMap(QString deviceFolder) : m_deviceFolder(std::move(deviceFolder)) {}

QString PortMap::devicePath(int portNumber) const {
    for (const DeviceFamily& family : kFamilies) {
        const int index = portNumber - family.firstPort;
        if (index >= 0 && index < kPortsPerFamily) {
            return m_deviceFolder + QLatin1Char('/') + QLatin1String(family.prefix) +
                   QString::number(index);
        }
    }
    return {};
}
