#!/usr/bin/env python3
"""The install guide in the zip names the release the program reports: its title and the newest
entry of its changelog carry the version that SapMarrowind --version prints.

Usage: version_test.py PROGRAM INSTALL.txt [LAUNCHER...]"""

import re
import subprocess
import sys

program, guide, launcher = sys.argv[1], sys.argv[2], sys.argv[3:]
shown = subprocess.run(launcher + [program, "--version"], capture_output=True, text=True, timeout=60)
match = re.match(r"SAP Marrowind (\S+) \(.*\), build \S+\n$", shown.stdout)
if shown.returncode != 0 or not match:
    sys.exit(f"--version printed {shown.stdout!r} with status {shown.returncode}")
version = match.group(1)
with open(guide, encoding="ascii") as handle:
    text = handle.read()
problems = []
if not text.startswith(f"SAP Marrowind {version} - "):
    problems.append(f"the title does not name {version}: {text.splitlines()[0]!r}")
entries = re.findall(r"^  (\d+\.\d+(?:\.\d+)?) ", text.split("Changes\n", 1)[-1], re.M)
if not entries or entries[0] != version:
    problems.append(f"the changelog's newest entry is {entries[:1]}, not {version}")
if problems:
    sys.exit("\n".join(problems))
print(f"INSTALL.txt and --version agree on {version}")
