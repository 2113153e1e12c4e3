// The board the benches update, and the floor under its update's time.
#pragma once

#include "chips/chip_table.h"
#include "engine/plan.h"
#include "engine/session.h"
#include "firmware/product.h"
#include "options.h"
#include "simulated_port.h"

#include <string>
#include <vector>

namespace bench {

// board-sim's arguments for a board that takes the default product's first PIC24 image, on a
// modelled line of `baud` with `writeMs` of flash work a frame.
inline std::vector<std::string> boardArgs(int baud, int writeMs) {
    const firmware::ImageTable& images = firmware::thisProduct().images;
    const firmware::ImageIdentity identity =
        images.identityOf(images.at(0, 6), *chips::chipByCode(254));
    return {"--chip",     "254",
            "--bios",     "10",
            "--board",    std::to_string(identity.boardIndex == 255 ? 0 : identity.boardIndex),
            "--prep",     std::to_string(identity.preparation),
            "--baud",     std::to_string(baud),
            "--write-ms", std::to_string(writeMs)};
}

// The bytes the engine's own plan for the board puts on the line, and their time at `baud`
// (11 bits a byte) with the board's flash work for each frame written. The plan is asked of the
// same bootloader that board-sim runs with `simArgs`, in process, so the timed run is not
// touched.
struct WireFloor {
    long bytes = 0;
    double seconds = 0;
};

inline WireFloor wireFloor(std::vector<std::string> simArgs, int baud, int writeMs) {
    simArgs.insert(simArgs.begin(), "board-sim");
    std::vector<const char*> argv;
    for (const std::string& arg : simArgs)
        argv.push_back(arg.c_str());
    boardsim::Options options;
    std::string error;
    if (!boardsim::parseOptions(static_cast<int>(argv.size()), argv.data(), options, error))
        return {};
    boardsim::SimulatedPort port(options.bootloader);
    if (port.open("COM200")) return {};
    engine::BlockingWait wait;
    engine::SessionObserver quiet;
    engine::Session session(port, firmware::thisProduct().images, engine::SessionOptions::updater(),
                            wait, quiet);
    engine::Plan plan;
    if (!session.inspect(plan).ok()) return {};
    // The fix frame is written too.
    return {static_cast<long>(engine::wireBytes(plan)),
            engine::wireSeconds(plan, static_cast<uint32_t>(baud)) +
                (plan.flashFrames + 1) * writeMs / 1000.0};
}

} // namespace bench
