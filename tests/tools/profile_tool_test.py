#!/usr/bin/env python3
"""Tests of MarrowindProfile as an administrator uses it: a profile written by 'new' is accepted by
'check' and by the sensor itself, which connects with the password; unstorable passwords are refused."""

import os
import subprocess
import sys
import tempfile
import unittest

TOOL = PROGRAM = None

LANDSCAPE = """{"systems": [{"ashost": "sapprd", "sysnr": "00", "client": "100",
  "users": {"MONITOR": "Pa$$w0rd&<x>"},
  "tablespaces": [{"name": "PSAPSR3", "size_kb": 1000000, "free_kb": 255555, "pct_used": 75}]}]}
"""


def tool(*args, stdin=""):
    return subprocess.run([TOOL, *args], input=stdin, capture_output=True, text=True, timeout=30)


class ProfileTool(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def test_new_profile_is_accepted_by_check_and_by_the_sensor(self):
        made = tool("new", "--destination", "PRD", "--client", "100", "--user", "monitor", "--host", "sapprd",
                    "--sysnr", "00", stdin="Pa$$w0rd&<x>\n")
        self.assertEqual(made.returncode, 0, made.stderr)
        lines = made.stdout.splitlines()
        self.assertEqual([line[:13] for line in lines],
                         ["Extcompany.: ", "Destination: ", "Client.....: ", "User.......: ", "Password...: ",
                          "Language...: ", "Mode.......: ", "Hostname...: ", "Sysnr......: ", "Gwhost.....: ",
                          "Gwservice..: "])
        self.assertNotIn("Pa$$w0rd", made.stdout)
        with open(self.path("PRD.P00"), "w") as handle:
            handle.write(made.stdout)
        checked = tool("check", self.path("PRD.P00"))
        self.assertEqual(checked.returncode, 0, checked.stdout)
        self.assertIn("Password...: 12 characters", checked.stdout)
        self.assertIn("Gwservice..: sapgw00", checked.stdout)

        with open(self.path("SapSim.json"), "w") as handle:
            handle.write(LANDSCAPE)
        run = subprocess.run([PROGRAM, "PRD"], cwd=self.dir.name, capture_output=True, text=True, timeout=30)
        self.assertEqual(run.returncode, 0, run.stdout)
        self.assertIn("<Text>(PRD) OraSizes: NoSpc=1, DataSz=1.000 MB, UsedSz=744 MB, Usage=75% </Text>",
                      run.stdout)

    def test_scramble_gives_a_printable_value_without_blanks(self):
        for password in ["ab", "12345678901234567890", "~}|{zyx", "MONITOR"]:
            made = tool("scramble", stdin=password + "\r\n")
            self.assertEqual(made.returncode, 0, made.stderr)
            value = made.stdout.rstrip("\n")
            self.assertEqual(len(value), 24)
            self.assertTrue(all("!" <= c <= "~" for c in value), value)

    def test_unstorable_passwords_are_refused(self):
        for password, reason in [("", "no password"), ("x", "at least 2"), ("a" * 21, "at most 20"),
                                 ("with blank", "cannot store"), ("\u00e4rger", "cannot store")]:
            made = tool("scramble", stdin=password + "\n")
            self.assertEqual(made.returncode, 2, password)
            self.assertIn(reason, made.stderr)
            self.assertEqual(made.stdout, "")

    def test_check_names_every_failed_check_with_the_sensors_text(self):
        with open(self.path("QAS.P00"), "w") as handle:
            handle.write("Destination: QAS\nPassword...: 12345678901234567890123\n")
        checked = tool("check", self.path("QAS.P00"))
        self.assertEqual(checked.returncode, 2)
        self.assertIn("Error 1004: Invalid Password in Profile QAS.P00 found...", checked.stdout)
        self.assertIn("Error 1006: Username in Profile QAS.P00 is missing...", checked.stdout)
        self.assertIn("Error 1003: Invalid Parameter(s) at QAS.P00 found...", checked.stdout)
        self.assertIn("Client.....: shorter than 3 characters", checked.stdout)
        self.assertIn("Password...: (unreadable)", checked.stdout)
        self.assertNotIn("Error 1007", checked.stdout)
        self.assertNotIn("Password...: shorter", checked.stdout)

    def test_new_refuses_values_the_sensor_would_reject(self):
        made = tool("new", "--destination", "PR", "--client", "100", "--user", "monitor", "--host", "sapprd",
                    "--sysnr", "00", stdin="secret\n")
        self.assertEqual(made.returncode, 2)
        self.assertIn("--destination needs at least 3 characters", made.stderr)
        made = tool("new", "--client", "100", stdin="secret\n")
        self.assertEqual(made.returncode, 2)
        self.assertIn("--destination is required", made.stderr)

    def test_help(self):
        for args in (["--help"], ["scramble", "--help"], ["check", "--help"], ["new", "--help"]):
            shown = tool(*args)
            self.assertEqual(shown.returncode, 0)
            self.assertIn("Usage: MarrowindProfile", shown.stdout)


if __name__ == "__main__":
    TOOL, PROGRAM = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1], verbosity=1)
