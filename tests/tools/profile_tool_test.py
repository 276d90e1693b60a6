#!/usr/bin/env python3
"""Tests of MarrowindProfile as an administrator uses it: a profile written by 'new' is accepted by
'check' and by the sensor itself, which connects with the password; unstorable passwords are refused;
'new --output' replaces a profile only when everything is valid; 'check' explains what it finds.

Usage: profile_tool_test.py TOOL SENSOR [LAUNCHER...]   (a launcher such as wine64 runs both)"""

import os
import select
import stat
import subprocess
import sys
import tempfile
import unittest

TOOL = PROGRAM = None
LAUNCHER = []

LANDSCAPE = """{"systems": [{"ashost": "sapprd", "sysnr": "00", "client": "100",
  "users": {"MONITOR": "Pa$$w0rd&<x>"},
  "tablespaces": [{"name": "PSAPSR3", "size_kb": 1000000, "free_kb": 255555, "pct_used": 75}]}]}
"""
NEW_PRD = ["new", "--destination", "PRD", "--client", "100", "--user", "monitor", "--host", "sapprd",
           "--sysnr", "00"]
KEYS = ["Extcompany.: ", "Destination: ", "Client.....: ", "User.......: ", "Password...: ", "Language...: ",
        "Mode.......: ", "Hostname...: ", "Sysnr......: ", "Gwhost.....: ", "Gwservice..: "]


def tool(*args, stdin="", cwd=None):
    return subprocess.run(LAUNCHER + [TOOL, *args], input=stdin, capture_output=True, text=True, timeout=60,
                          cwd=cwd)


class ProfileTool(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def write(self, name, text, encoding="latin-1"):
        with open(self.path(name), "wb") as handle:
            handle.write(text.encode(encoding) if isinstance(text, str) else text)

    def read(self, name):
        with open(self.path(name), "rb") as handle:
            return handle.read()

    def run_sensor(self, *args):
        self.write("SapSim.json", LANDSCAPE)
        run = subprocess.run(LAUNCHER + [PROGRAM, *args], cwd=self.dir.name, capture_output=True, text=True,
                             timeout=60)
        self.assertEqual(run.returncode, 0, run.stdout)
        self.assertIn("<Text>(PRD) OraSizes: NoSpc=1, DataSz=1.000 MB, UsedSz=744 MB, Usage=75% </Text>",
                      run.stdout)

    def test_new_profile_is_accepted_by_check_and_by_the_sensor(self):
        made = tool(*NEW_PRD, stdin="Pa$$w0rd&<x>\n")
        self.assertEqual(made.returncode, 0, made.stderr)
        lines = made.stdout.splitlines()
        self.assertEqual([line[:13] for line in lines], KEYS)
        self.assertNotIn("Pa$$w0rd", made.stdout)
        self.write("PRD.P00", made.stdout)
        checked = tool("check", self.path("PRD.P00"))
        self.assertEqual(checked.returncode, 0, checked.stdout)
        self.assertIn("Password...: 12 characters", checked.stdout)
        self.assertIn("Gwservice..: sapgw00", checked.stdout)
        self.assertNotIn("column", checked.stdout)
        self.run_sensor("PRD")

    def test_new_output_writes_the_file_the_sensor_reads(self):
        made = tool(*NEW_PRD, "--output", self.path("PRD"), stdin="Pa$$w0rd&<x>\n")
        self.assertEqual(made.returncode, 0, made.stderr)
        self.assertEqual(made.stdout, "")
        self.assertIn("PRD.P00", made.stderr)  # the sensor's ".P00" is added to a name without one
        self.assertEqual(sorted(os.listdir(self.dir.name)), ["PRD.P00"])
        self.assertEqual([line[:13] for line in self.read("PRD.P00").decode("ascii").splitlines()], KEYS)
        self.run_sensor("PRD")

    def test_new_output_replaces_a_profile_only_when_everything_is_valid(self):
        old = b"Destination: OLD\r\nUser.......: keep\r\n"
        self.write("PRD.P00", old)
        for args, stdin, reason in [(NEW_PRD, "", "no password given"),
                                    (NEW_PRD, "x\n", "at least 2"),
                                    (NEW_PRD[:2] + ["PR"] + NEW_PRD[3:], "secret\n", "--destination needs"),
                                    (NEW_PRD[:-2], "secret\n", "--sysnr is required")]:
            made = tool(*args, "--output", self.path("PRD.P00"), stdin=stdin)
            self.assertEqual(made.returncode, 2, reason)
            self.assertIn(reason, made.stderr)
            self.assertEqual(self.read("PRD.P00"), old, reason)
            self.assertEqual(os.listdir(self.dir.name), ["PRD.P00"], reason)
        made = tool(*NEW_PRD, "--output", self.path("missing") + os.sep + "PRD.P00", stdin="secret\n")
        self.assertEqual(made.returncode, 2)
        self.assertIn("cannot write", made.stderr)

        made = tool(*NEW_PRD, "--output", self.path("PRD.P00"), stdin="Pa$$w0rd&<x>\n")
        self.assertEqual(made.returncode, 0, made.stderr)
        self.assertNotEqual(self.read("PRD.P00"), old)
        self.assertEqual(os.listdir(self.dir.name), ["PRD.P00"])
        self.run_sensor("PRD")

    @unittest.skipIf(os.name != "posix", "POSIX file modes")
    def test_new_output_keeps_the_rights_of_a_replaced_profile_and_gives_a_new_one_to_its_owner(self):
        if LAUNCHER:
            self.skipTest("Windows keeps the ACL instead")
        self.write("PRD.P00", "old\n")
        os.chmod(self.path("PRD.P00"), 0o640)
        self.assertEqual(tool(*NEW_PRD, "--output", self.path("PRD.P00"), stdin="secret\n").returncode, 0)
        self.assertEqual(stat.S_IMODE(os.stat(self.path("PRD.P00")).st_mode), 0o640)
        self.assertEqual(tool(*NEW_PRD, "--output", self.path("QAS.P00"), stdin="secret\n").returncode, 0)
        self.assertEqual(stat.S_IMODE(os.stat(self.path("QAS.P00")).st_mode), 0o600)

    def test_check_adds_the_extension_and_names_why_a_file_cannot_be_opened(self):
        made = tool(*NEW_PRD, "--output", self.path("PRD.P00"), stdin="secret\n")
        self.assertEqual(made.returncode, 0, made.stderr)
        checked = tool("check", "PRD", cwd=self.dir.name)
        self.assertEqual(checked.returncode, 0, checked.stderr)
        self.assertIn("Profile accepted.", checked.stdout)
        missing = tool("check", "QAS", cwd=self.dir.name)
        self.assertEqual(missing.returncode, 2)
        self.assertEqual(missing.stderr, "MarrowindProfile: cannot open QAS.P00: No such file or directory\n")
        os.mkdir(self.path("DIR.P00"))
        directory = tool("check", "DIR.P00", cwd=self.dir.name)
        self.assertEqual(directory.stderr, "MarrowindProfile: cannot open DIR.P00: Is a directory\n")

    def test_check_reads_a_profile_written_by_powershell(self):
        made = tool(*NEW_PRD, stdin="secret\n")
        for encoding, mark in [("utf-16-le", b"\xff\xfe"), ("utf-16-be", b"\xfe\xff"), ("utf-8", b"\xef\xbb\xbf")]:
            self.write("PRD.P00", mark + made.stdout.replace("\n", "\r\n").encode(encoding))
            checked = tool("check", self.path("PRD.P00"))
            self.assertEqual(checked.returncode, 0, encoding + "\n" + checked.stdout)
            self.assertIn("Extcompany.: SAP\n", checked.stdout)
            self.assertIn("User.......: MONITOR\n", checked.stdout)

    def test_check_names_every_failed_check_with_the_sensors_text(self):
        self.write("QAS.P00", "Destination: QAS\nPassword...: 12345678901234567890123\nLanguage...: \n")
        checked = tool("check", self.path("QAS.P00"))
        self.assertEqual(checked.returncode, 2)
        self.assertIn("Error 1004: Invalid Password in Profile QAS.P00 found...", checked.stdout)
        self.assertIn("Error 1006: Username in Profile QAS.P00 is missing...", checked.stdout)
        self.assertIn("Error 1003: Invalid Parameter(s) at QAS.P00 found...", checked.stdout)
        self.assertIn("  Client.....: missing (no line with this key)\n", checked.stdout)
        self.assertIn("  Language...: shorter than 1 character\n", checked.stdout)
        self.assertIn("Password...: (unreadable)", checked.stdout)
        self.assertNotIn("Error 1007", checked.stdout)
        self.assertNotIn("Password...: shorter", checked.stdout)
        self.assertTrue(checked.stdout.endswith("Profile rejected.\n"), checked.stdout)

    def test_check_suggests_scramble_for_a_clear_text_password(self):
        for value in ["Pa$$w0rd", "123456789012345678901234"]:  # too short; 24 characters, header no digits
            self.write("PRD.P00", "Password...: " + value + "\n")
            checked = tool("check", self.path("PRD.P00"))
            self.assertIn("Error 1004", checked.stdout)
            self.assertIn('looks like\n  clear text. Put the output of "MarrowindProfile scramble" there.\n',
                          checked.stdout, value)
        self.write("PRD.P00", "Password...: \n")
        checked = tool("check", self.path("PRD.P00"))
        self.assertIn("Error 1007", checked.stdout)
        self.assertNotIn("scramble", checked.stdout)

    def test_check_points_at_the_column_where_a_value_must_start(self):
        self.write("PRD.P00", "* comment line long enough\nDestination: PRD\nClient.....:100\n"
                              "User.......:\tmonitor\nHostname...:   sapprd\nSysnr......: \n")
        checked = tool("check", self.path("PRD.P00"))
        self.assertIn("Client.....: 00\n", checked.stdout)
        self.assertIn("  Client.....: shorter than 3 characters\n", checked.stdout)
        hints = [line for line in checked.stdout.splitlines() if "column" in line or line.startswith("Line ")]
        self.assertEqual(hints, [
            "Line 3, Client.....: character 13 is the separator and is skipped;",
            "  the value must start in column 14, after one separator character.",
            "Line 5, Hostname...: the value starts in column 16;",
            "  it must start in column 14, after one separator character.",
        ])

    def test_check_tells_a_misplaced_stored_value_from_a_wrong_password(self):
        stored = "=.58}pbKnvmlPUouN_*c'uei"  # "secret", as tests/unit/StoredValuesTest.cpp has it
        good = tool(*NEW_PRD, stdin="Pa$$w0rd&<x>\n").stdout.splitlines()
        for line, explanation in [
                ("Password...:" + stored, "starts in column 13: a value in the wrong\n  column, not a wrong password"),
                ("Password...:  " + stored, "starts in column 15: a value in the wrong\n  column, not a wrong password"),
                ("Password...: " + stored + "  ", "followed by 2 trailing blanks: remove them."),
                ("Password...: " + stored[:4] + stored[5:] + "x", "Error 1005: Wrong Password")]:
            self.write("PRD.P00", "\n".join(line if old.startswith("Password") else old for old in good) + "\n")
            checked = tool("check", self.path("PRD.P00"))
            self.assertEqual(checked.returncode, 2)
            self.assertIn(explanation, checked.stdout, line)
            if "1005" in explanation:  # a damaged value is a wrong password, in the right column
                self.assertNotIn("column", checked.stdout)

    def test_check_names_trailing_blanks_and_unknown_keys(self):
        self.write("PRD.P00", "Destination: PRD\nClient.....: 100 \nSysnr.....: 00\nclient.....: 100\n"
                              "Note this: a remark\n")
        checked = tool("check", self.path("PRD.P00"))
        hints = [line for line in checked.stdout.splitlines() if line.startswith("Line ") or "The key is" in line]
        self.assertEqual(hints, [
            "Line 2, Client.....: the value ends in 1 trailing blank, which the sensor keeps as part of it.",
            'Line 3, "Sysnr.....:" is an unknown key; the sensor ignores the line.',
            '  The key is "Sysnr......:" (12 characters, letter case as shown).',
            'Line 4, "client.....:" is an unknown key; the sensor ignores the line.',
            '  The key is "Client.....:" (12 characters, letter case as shown).',
            'Line 5, "Note this:" is an unknown key; the sensor ignores the line.',
        ])
        self.assertIn("  Sysnr......: missing (no line with this key)\n", checked.stdout)
        self.assertNotIn("Sysnr......: shorter", checked.stdout)

    def test_new_logon_writes_a_profile_for_prtg_credentials(self):
        made = tool("new", "--logon", "--destination", "PRD", "--client", "100", "--host", "sapprd", "--sysnr",
                    "00", "--output", self.path("PRD"), stdin="")
        self.assertEqual(made.returncode, 0, made.stderr)
        self.assertNotIn("Password", made.stderr)  # nothing asked
        lines = self.read("PRD.P00").decode("ascii").splitlines()
        self.assertEqual([line[:13] for line in lines], [k for k in KEYS if k[:4] not in ("User", "Pass")])
        checked = tool("check", self.path("PRD.P00"))
        self.assertEqual(checked.returncode, 2)
        self.assertIn("serves only LOGON=LINUX or LOGON=WINDOWS", checked.stdout)
        checked = tool("check", self.path("PRD.P00"), "--logon")
        self.assertEqual(checked.returncode, 0, checked.stdout)
        self.assertIn("User.......: (not used: LOGON= takes it from PRTG)", checked.stdout)
        refused = tool("new", "--logon", "--user", "monitor", "--destination", "PRD", "--client", "100",
                       "--host", "sapprd", "--sysnr", "00")
        self.assertEqual(refused.returncode, 2)
        self.assertIn("--user does not go with --logon", refused.stderr)

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


@unittest.skipIf(os.name != "posix", "a pseudo terminal")
class PasswordAtATerminal(unittest.TestCase):
    """At a terminal the password is asked twice; each answer is typed after its prompt appears (the
    tool discards what was typed before it switched echo off)."""

    def type_passwords(self, *passwords):
        import pty
        primary, secondary = pty.openpty()
        with tempfile.TemporaryDirectory() as work:
            target = os.path.join(work, "PRD.P00")
            with open(target, "w") as handle:
                handle.write("old\n")
            process = subprocess.Popen([TOOL, *NEW_PRD, "--output", target], stdin=secondary,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            os.close(secondary)
            stderr = b""
            for prompt, password in zip([b"Password: ", b"Password again: "], passwords):
                while not stderr.endswith(prompt):
                    ready, _, _ = select.select([process.stderr], [], [], 60)
                    self.assertTrue(ready, f"no prompt {prompt!r}, got {stderr!r}")
                    chunk = os.read(process.stderr.fileno(), 100)
                    self.assertTrue(chunk, f"no prompt {prompt!r}, got {stderr!r}")
                    stderr += chunk
                os.write(primary, password.encode() + b"\n")
            stdout, rest = process.communicate(timeout=60)
            os.close(primary)
            with open(target) as handle:
                return process.returncode, (stderr + rest).decode(), handle.read()

    def test_the_same_password_twice_writes_the_profile(self):
        status, stderr, written = self.type_passwords("secret", "secret")
        self.assertEqual(status, 0, stderr)
        self.assertIn("Password...: ", written)

    def test_two_different_passwords_are_refused(self):
        status, stderr, written = self.type_passwords("secret", "secreT")
        self.assertEqual(status, 2)
        self.assertIn("the passwords differ", stderr)
        self.assertEqual(written, "old\n")


if __name__ == "__main__":
    TOOL, PROGRAM = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    LAUNCHER = sys.argv[3:]
    if LAUNCHER:
        del PasswordAtATerminal  # a Windows console is no pseudo terminal
    unittest.main(argv=sys.argv[:1], verbosity=1)
