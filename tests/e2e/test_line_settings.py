# The open seen from the Linux side of the line: stty reads 9600 8N1 back after it.
import unittest

import harness


class LineSettings(unittest.TestCase):
    def test_open_sets_9600_8N1_on_the_line(self):
        wine = harness.Wine()
        with harness.NullModem() as line:
            # A pty refuses other data sizes and parity and always holds cs8 -parenb; the
            # speed and the stop bits do take, so those show the open changing the line.
            line.stty("4800", "cs7", "parenb", "cstopb")
            before = line.line_settings()
            self.assertEqual(before["speed"], 4800)
            self.assertTrue(before["cstopb"])

            code, out = wine.run(wine.helper("open_port.exe"), line.port)
            self.assertEqual(code, 0, out)
            self.assertTrue(harness.json_lines(out)[-1]["opened"])

            after = line.line_settings()
            self.assertEqual(after["speed"], 9600)
            self.assertTrue(after["cs8"])
            self.assertFalse(after["parenb"])
            self.assertFalse(after["cstopb"])


if __name__ == "__main__":
    unittest.main()
