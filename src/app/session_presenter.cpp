#include "app/session_presenter.h"

#include "chips/chip_table.h"
#include "engine/session.h"
#include "notify/host_notifier.h"

namespace app {

SessionPresenter::SessionPresenter(MainWindow& window, notify::ResultNotifier* notifier)
    : window_(window), progressBar_(window.progressBar()), notifier_(notifier) {}

void SessionPresenter::restartProgress(int32_t maximum) {
    progressBar_.setPosition(0);
    progressBar_.setMax(maximum);
}

void SessionPresenter::searchStarted() {
    window_.showRunning(true);
    progressBar_.setPosition(0);
    progressBar_.setSmooth(true);
    progressBar_.setMax(engine::kSearchTries);
}

void SessionPresenter::searchTry(int attempt) {
    window_.showSearchTry(attempt);
}

void SessionPresenter::searchEnded() {
    progressBar_.setPosition(0);
}

void SessionPresenter::sessionStarted() {
    progressBar_.setPosition(0);
    progressBar_.setSmooth(false);
}

void SessionPresenter::boardFound(const engine::BoardFound& board) {
    board_ = board;
    boardKnown_ = true;
}

void SessionPresenter::chipNamed(const chips::Chip& chip) {
    window_.showDevice(chip.statusText);
}

void SessionPresenter::imageIdentified(const firmware::ImageIdentity& image) {
    window_.rememberImage(image);
    refreshBoardLines();
}

void SessionPresenter::refreshBoardLines() {
    if (boardKnown_) window_.showBoard(board_);
}

void SessionPresenter::imageLoaded(const engine::LoadedImage& image) {
    window_.showImageLoaded(image);
}

void SessionPresenter::programModeEntry() {
    window_.showActivity(engine::phaseText(engine::Phase::ProgramModeEntry));
}

void SessionPresenter::programmingStarted() {
    window_.showProgress(" Programming... ");
}

void SessionPresenter::flashStarted(int32_t maximum) {
    restartProgress(maximum);
}

void SessionPresenter::frameStarted(int32_t address) {
    window_.showFrame(address);
}

void SessionPresenter::progress(int32_t position) {
    progressBar_.setPosition(position);
}

void SessionPresenter::resend(int attempt) {
    window_.showResend(attempt);
}

void SessionPresenter::fixFrame() {
    window_.showActivity(engine::phaseText(engine::Phase::FixFrame));
}

void SessionPresenter::eepromStarted(int32_t length) {
    restartProgress(length);
}

void SessionPresenter::eepromByte(int32_t index) {
    window_.showEepromByte(index);
}

void SessionPresenter::writeEnded() {
    progressBar_.setPosition(0);
}

void SessionPresenter::finished(const engine::Result& result) {
    using engine::Outcome;
    // The launching program hears of the result first. A search that nothing answered is no
    // result for it.
    if (notifier_ && result.outcome() != Outcome::DeviceNotFound)
        notifier_->sendResultCode(result.ok() ? 1 : 0);
    window_.showResult(result);
    // An image check that failed still names the board, as far as it is known.
    if (result.outcome() == Outcome::NoImage || result.outcome() == Outcome::ImageTooBig)
        refreshBoardLines();
}

} // namespace app
