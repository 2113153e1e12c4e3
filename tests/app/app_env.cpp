#include "app_env.h"

#include "port_ref.h"

namespace apptest {

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
