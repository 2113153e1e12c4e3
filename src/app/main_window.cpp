#include "app/main_window.h"

#include "app/identity.h"
#include "app/updater_window.h"
#include "app/upgrade_window.h"

namespace app {

MainWindow::MainWindow(ui::Toolkit& toolkit, const ui::FormDesc& form, int progressBarId)
    : view_(toolkit.createForm(form, *this)), progressBar_(&view_->progressBar(progressBarId)) {}

std::unique_ptr<MainWindow> makeMainWindow(std::string_view identity, ui::Toolkit& toolkit,
                                           MainWindowActions& actions) {
    if (hasUpgradeCode(identity)) return std::make_unique<UpgradeWindow>(toolkit, actions);
    return std::make_unique<UpdaterWindow>(toolkit, actions);
}

} // namespace app
