// The Upgrade window end to end: the real start-up of a product with an Upgrade code, its Qt
// window offscreen, the real serial driver and board-sim.
#include "qt_session.h"

namespace {

using namespace e2e;

TEST_F(QtSession, StartWhileAnUpdateRunsDoesNothing) {
    Host host;
    // The board answers the first search byte; its board record never comes, so the session
    // waits about 1.3 s for it before going on.
    BoardSim sim(sandbox, {"--chip", "254", "--bios", "10", "--board", "2", "--prep", "0x81",
                           "--no-record"});
    sandbox.storePort(199);
    run(
        [](QWidget* w) {
            // STOP shows START at once; the update meets the request at its next wait.
            QTimer::singleShot(500, [w] { click(w, "stop"); });
            QTimer::singleShot(700, [w] { click(w, "start"); });
            click(w, "start");
            EXPECT_EQ(text(w, "statusBar.1"), " User Abort !! ");
            EXPECT_TRUE(w->findChild<QPushButton*>("start")->isVisible());
        },
        {"\\P"});
    EXPECT_EQ(host.results(), std::vector<int>{0});
    const auto dump = sim.dump();
    EXPECT_EQ(std::count(dump.begin(), dump.end(), "search C5 answered"), 1);
    EXPECT_TRUE(framesOf(dump).empty()); // nothing was written
    EXPECT_EQ(dump.back().rfind("counts searches=1 ", 0), 0u) << dump.back();
}

} // namespace
