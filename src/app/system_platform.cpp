#include "app/application.h"
#include "app/settings_store.h"
#include "app/single_instance.h"
#include "notify/host_notifier.h"
#include "serial/serial_port.h"

namespace app {

Platform systemPlatform(std::unique_ptr<serial::SerialPort> port,
                        std::function<std::vector<serial::PortDescription>()> listPorts) {
    Platform platform;
    platform.port = std::move(port);
    platform.listPorts = std::move(listPorts);
    platform.settings = makeSystemSettingsStore();
    platform.instanceLock = std::make_unique<SingleInstance>();
    platform.startNotifier = &notify::startHostNotifier;
    return platform;
}

} // namespace app
