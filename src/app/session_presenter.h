// What the main window shows of a running update: the engine's events turned into the calls
// of the window, and each result into a datagram for the launching program.
#pragma once

#include "app/main_window.h"
#include "engine/observer.h"

namespace notify {
class ResultNotifier;
}

namespace app {

class SessionPresenter final : public engine::SessionObserver {
public:
    // `notifier` is null when no launching program asked for the results.
    SessionPresenter(MainWindow& window, notify::ResultNotifier* notifier);

    void searchStarted() override;
    void searchTry(int attempt) override;
    void searchEnded() override;
    void sessionStarted() override;
    void boardFound(const engine::BoardFound& board) override;
    void chipNamed(const chips::Chip& chip) override;
    void imageIdentified(const firmware::ImageIdentity& image) override;
    void imageLoaded(const engine::LoadedImage& image) override;
    void programModeEntry() override;
    void programmingStarted() override;
    void flashStarted(int32_t maximum) override;
    void frameStarted(int32_t address) override;
    void progress(int32_t position) override;
    void resend(int attempt) override;
    void fixFrame() override;
    void eepromStarted(int32_t length) override;
    void eepromByte(int32_t index) override;
    void writeEnded() override;
    void finished(const engine::Result& result) override;

private:
    // The board lines for the board found, once the image they may name is known.
    void refreshBoardLines();
    void restartProgress(int32_t maximum);

    MainWindow& window_;
    ui::ProgressBar& progressBar_;
    notify::ResultNotifier* notifier_;
    bool boardKnown_ = false;
    engine::BoardFound board_;
};

} // namespace app
