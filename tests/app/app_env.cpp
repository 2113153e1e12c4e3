#include "app_env.h"

#include "port_ref.h"

namespace apptest {

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
    app::Platform platform{std::make_unique<testsupport::PortRef>(machine.port),
                           [&machine] { return machine.ports; }};
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
