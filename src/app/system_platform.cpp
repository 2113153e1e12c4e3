#include "app/application.h"
#include "app/settings_store.h"
#include "app/single_instance.h"
#include "notify/host_notifier.h"
#include "serial/listing/port_list.h"
#include "serial/serial_port.h"

namespace app {

Platform systemPlatform(const serial::PortLinks& links) {
    Platform platform;
    platform.port = serial::makeSystemPort(links);
    platform.listPorts = [links] { return serial::listPorts(links); };
    platform.settings = makeSystemSettingsStore();
    platform.instanceLock = std::make_unique<SingleInstance>();
    platform.startNotifier = &notify::startHostNotifier;
    return platform;
}

} // namespace app
