#include "app_env.h"

#include "app/settings_store.h"
#include "app/single_instance.h"
#include "notify/host_notifier.h"
#include "port_ref.h"

namespace apptest {
namespace {

class MemorySettings final : public app::SettingsStore {
public:
    explicit MemorySettings(Machine& machine) : machine_(machine) {}
    std::string read(std::string_view name) override {
        if (machine_.settingIsNoText && name == "com")
            throw app::Failure("Invalid data type for 'com'");
        const auto it = machine_.settings.find(std::string(name));
        return it == machine_.settings.end() ? std::string() : it->second;
    }
    void write(std::string_view name, std::string_view text) override {
        if (machine_.settingsWriteFails)
            throw app::Failure("Failed to set data for '" + std::string(name) + "'");
        machine_.settings[std::string(name)] = std::string(text);
    }

private:
    Machine& machine_;
};

class MemoryLock final : public app::InstanceLock {
public:
    explicit MemoryLock(const Machine& machine) : machine_(machine) {}
    bool acquire() override { return !machine_.anotherCopyRuns; }

private:
    const Machine& machine_;
};

class RecordingNotifier final : public notify::ResultNotifier {
public:
    explicit RecordingNotifier(Machine& machine) : machine_(machine) {}
    void sendResultCode(uint8_t code) override { machine_.resultCodes.push_back(code); }

private:
    Machine& machine_;
};

} // namespace

boardsim::Config board(uint8_t chip, uint8_t bios,
                       const std::function<void(boardsim::Config&)>& change) {
    boardsim::Config config;
    config.chip = chip;
    config.bios = bios;
    if (change) change(config);
    return config;
}

boardsim::Config silentBoard() {
    boardsim::Config config;
    config.acceptC2 = false;
    config.acceptC5 = false;
    return config;
}

void runProgram(fake::Toolkit& toolkit, Machine& machine,
                const std::function<void(fake::Toolkit&, app::Application&)>& user,
                std::vector<const char*> args) {
    args.insert(args.begin(), "trevane");
    app::Platform platform;
    platform.port = std::make_unique<testsupport::PortRef>(machine.port);
    platform.listPorts = [&machine] { return machine.ports; };
    platform.settings = std::make_unique<MemorySettings>(machine);
    platform.instanceLock = std::make_unique<MemoryLock>(machine);
    platform.startNotifier = [&machine]() -> std::unique_ptr<notify::ResultNotifier> {
        if (machine.notifierPortTaken) throw notify::BindError();
        ++machine.notifiersStarted;
        return std::make_unique<RecordingNotifier>(machine);
    };
    app::Application application(toolkit, static_cast<int>(args.size()), args.data(),
                                 std::move(platform));
    bool acted = false;
    toolkit.loop = [&](fake::Toolkit& tk) {
        if (!acted) {
            acted = true;
            user(tk, application);
            return true;
        }
        // Close the main window, as the user would at the end.
        const char* main = tk.has("UpgradeWindow") ? "UpgradeWindow" : "UpdaterWindow";
        auto& form = tk.view(main).fakeForm();
        if (!form.closed) form.close();
        return !form.closed;
    };
    application.run();
}

} // namespace apptest
