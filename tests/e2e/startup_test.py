"""Start-up of the real executable: one instance, the notifier switch, the port-3004 check."""
import os
import socket
import time
import unittest

from harness import (E2ETest, UdpListener, close_window, find_window, press, udp_port_free,
                     wait_for_windows)

FAILURE = bytes([0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0])


class Startup(E2ETest):
    def unusable_port(self):
        # COM250 links to nothing: opening it always fails.
        os.symlink("/nonexistent/tty", os.path.join(self.sandbox.ports, "COM250"))
        self.sandbox.store_port(249)

    def test_second_copy_shows_only_the_box_and_the_first_keeps_running(self):
        self.unusable_port()
        first = self.start()
        main = find_window("Updater 2.7 - ZQ710c", program=first)
        second = self.start()
        boxes = wait_for_windows(second)
        self.assertEqual(len(boxes), 1, "the second copy shows one window: the box")
        press(boxes[0], "Return")
        code, _, err = second.wait()
        self.assertEqual(code, 0)
        self.assertIn("Already in progress", err)
        self.assertTrue(first.running())
        close_window(main)
        self.assertEqual(first.wait()[0], 0)

    def test_notifier_sends_one_datagram_per_failure_banner_from_3004(self):
        self.unusable_port()
        host = UdpListener()
        self.addCleanup(host.close)
        program = self.start("\\p")
        main = find_window("Updater 2.7 - ZQ710c", program=program)
        for _ in range(2):
            press(main, "alt+u")  # "Invalid Port Com" each time: the port is tried again
            got = host.receive_all()
            self.assertEqual(got, [(FAILURE, 3004)])
        close_window(main)
        self.assertEqual(program.wait()[0], 0)
        self.assertIn('"com"="249"', self.sandbox.stored())

    def test_without_the_switch_port_3004_stays_free(self):
        self.unusable_port()
        host = UdpListener()
        self.addCleanup(host.close)
        program = self.start("x", "\\P")  # the switch only counts as the first argument
        main = find_window("Updater 2.7 - ZQ710c", program=program)
        press(main, "alt+u")
        self.assertEqual(host.receive_all(), [])
        self.assertTrue(udp_port_free(3004))
        close_window(main)
        self.assertEqual(program.wait()[0], 0)

    def test_port_3004_taken_ends_the_start_with_the_bind_message(self):
        taken = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        taken.bind(("0.0.0.0", 3004))
        self.addCleanup(taken.close)
        program = self.start("\\P")
        boxes = wait_for_windows(program)
        self.assertEqual(len(boxes), 1)
        press(boxes[0], "Return")
        code, _, err = program.wait()
        self.assertEqual(code, 0)
        self.assertIn("Could not bind socket. Address and port are already in use.", err)
        self.assertEqual(self.sandbox.stored(), "")  # nothing stored: the window never opened


if __name__ == "__main__":
    unittest.main()
