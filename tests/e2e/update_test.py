"""The real executables against board-sim, driven with the keyboard as a person would."""
import time
import unittest

from harness import BoardSim, E2ETest, UdpListener, close_window, find_window, press

SUCCESS = bytes([0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 1])
FAILURE = bytes([0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0])
DEMO_BOARD = ["--chip", "254", "--bios", "10", "--board", "2", "--prep", "0x81"]


class Update(E2ETest):
    def setUp(self):
        super().setUp()
        self.host = UdpListener()
        self.addCleanup(self.host.close)
        self.sandbox.store_port(199)  # COM200: board-sim

    def sim(self, *args):
        sim = BoardSim(self.sandbox, "COM200", args)
        self.addCleanup(sim.stop)
        return sim

    def finish(self, program, window):
        close_window(window)
        self.assertEqual(program.wait()[0], 0)

    def test_update_programs_the_board(self):
        sim = self.sim(*DEMO_BOARD)
        program = self.start("\\P")
        main = find_window("Updater 2.7 - ZQ710c", program=program)
        press(main, "alt+u")
        self.assertEqual(self.host.receive_all(wait=20), [(SUCCESS, 3004)])
        self.finish(program, main)
        sim.stop()
        dump = sim.dump_lines()
        self.assertEqual(dump[0], "search C2 answered")
        self.assertIn("progmode", dump)
        self.assertEqual(sum(1 for l in dump if l.startswith("flash ")), 256)  # and the fix frame
        self.assertTrue(dump[-1].startswith("counts "))
        self.assertIn('"com"="199"', self.sandbox.stored())

    def test_upgrade_window_searches_with_its_own_byte(self):
        sim = self.sim(*DEMO_BOARD)
        program = self.start("\\P", product="hbd200")
        main = find_window("Upgrade 1.0 -   HBD200", program=program)
        press(main, "space")  # START has the focus
        self.assertEqual(self.host.receive_all(wait=20), [(SUCCESS, 3004)])
        self.finish(program, main)
        sim.stop()
        self.assertEqual(sim.dump_lines()[0], "search C5 answered")

    def test_no_board_is_device_not_found_without_a_datagram(self):
        sim = self.sim("--answer-after", "1000")
        program = self.start("\\P")
        main = find_window("Updater 2.7 - ZQ710c", program=program)
        press(main, "alt+u")
        time.sleep(12)  # a hundred tries of 100 ms
        self.assertEqual(self.host.receive_all(wait=1), [])
        self.finish(program, main)
        sim.stop()
        self.assertIn("searches=100 ", sim.dump_lines()[-1])

    def test_stop_during_the_search_is_user_abort(self):
        sim = self.sim("--answer-after", "1000")
        program = self.start("\\P")
        main = find_window("Updater 2.7 - ZQ710c", program=program)
        press(main, "alt+u")
        time.sleep(1)
        press(main, "alt+s")
        self.assertEqual(self.host.receive_all(wait=5), [(FAILURE, 3004)])
        self.finish(program, main)
        sim.stop()
        searches = int(sim.dump_lines()[-1].split("searches=")[1].split()[0])
        self.assertLess(searches, 100)


if __name__ == "__main__":
    unittest.main()
