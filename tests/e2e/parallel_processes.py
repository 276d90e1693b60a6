#!/usr/bin/env python3
"""The workers of PARALLEL=n as processes (native runs): they die with the sensor, and they leave
nothing in the temporary folder.

1. A run with PARALLEL=4 leaves in a private temporary folder nothing that a run without PARALLEL
   does not leave too (no result or exchange file of any kind).
2. A sensor killed with SIGKILL while its four workers wait on hanging systems leaves no worker
   behind within two seconds.

    parallel_processes.py --program build/native/SapMarrowind --tool build/native/MarrowindProfile
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_cases  # noqa: E402

PROFILE = """Extcompany.: ACME
Destination: S{n:02d}
Client.....: 100
User.......: monitor
Password...: {password}
Language...: E
Mode.......: R/3
Hostname...: sap{n:02d}
Sysnr......: 00
Gwhost.....: sap{n:02d}
Gwservice..: sapgw00
"""


def prepare(workdir, tool, systems, fault):
    password = run_cases.scramble(tool, "secret", [])
    entries = []
    landscape = []
    for n in range(1, systems + 1):
        with open(os.path.join(workdir, f"S{n:02d}.P00"), "w") as handle:
            handle.write(PROFILE.format(n=n, password=password))
        entries.append(f"S{n:02d}.P00#")
        landscape.append('{"ashost": "sap%02d", "sysnr": "00", "client": "100", "users": {"MONITOR": "secret"},'
                         ' "latency_ms": 20, %s"tablespaces": [{"name": "PSAPSR3", "size_kb": 1000, "free_kb": 250,'
                         ' "pct_used": 75}]}' % (n, fault))
    with open(os.path.join(workdir, "Quorvane.Prf"), "w") as handle:
        handle.write("# Gsng: systems     " + "".join(entries) + "\n")
    with open(os.path.join(workdir, "SapSim.json"), "w") as handle:
        handle.write('{"systems": [' + ",\n".join(landscape) + "]}\n")


def workers_of(program, sensor):
    """Processes of the program that carry the mark of the sensor's workers in their environment (the
    mark names the sensor's process, so the workers of other runs on the machine do not count)."""
    mark = b"MARROWIND_WORKER=%d\0" % sensor
    found = []
    real = os.path.realpath(program)
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            if os.path.realpath(f"/proc/{pid}/exe") != real:
                continue
            with open(f"/proc/{pid}/environ", "rb") as handle:
                if mark in handle.read():
                    found.append(int(pid))
        except OSError:
            continue
    return found


def run(program, workdir, tmpdir, options):
    env = dict(os.environ, TMPDIR=tmpdir, ASAN_OPTIONS="detect_leaks=1")
    return subprocess.run([program, "x", options], cwd=workdir, env=env, capture_output=True, timeout=60)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True)
    parser.add_argument("--tool", required=True)
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    failures = []
    root = tempfile.mkdtemp(prefix="marrowind-processes-")
    try:
        # 1. Nothing in the temporary folder beyond what a sequential run leaves there.
        workdir = tempfile.mkdtemp(dir=root)
        tmpdir = tempfile.mkdtemp(dir=root)
        prepare(workdir, args.tool, 8, "")
        left = {}
        for options in ("ITEM=PSAPSR3", "ITEM=PSAPSR3,PARALLEL=4"):
            result = run(program, workdir, tmpdir, options)
            if result.returncode != 0 or b"Processed=8, Failed=0" not in result.stdout:
                failures.append(f"{options}: status {result.returncode}, output {result.stdout[-200:]!r}")
            left[options] = {name: os.path.getsize(os.path.join(tmpdir, name)) for name in os.listdir(tmpdir)}
        if set(left["ITEM=PSAPSR3,PARALLEL=4"]) != set(left["ITEM=PSAPSR3"]):
            failures.append(f"PARALLEL=4 left {sorted(left['ITEM=PSAPSR3,PARALLEL=4'])} in the temporary folder, "
                            f"a sequential run {sorted(left['ITEM=PSAPSR3'])}")

        # 2. The sensor killed while its workers wait: none of them is left two seconds later.
        workdir = tempfile.mkdtemp(dir=root)
        prepare(workdir, args.tool, 4, '"faults": {"open": {"fault": "hang", "ms": 30000}}, ')
        env = dict(os.environ, TMPDIR=tempfile.mkdtemp(dir=root))
        sensor = subprocess.Popen([program, "x", "ITEM=PSAPSR3,PARALLEL=4,TIMEOUT=60"], cwd=workdir, env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        until = time.monotonic() + 10
        while len(workers_of(program, sensor.pid)) < 4 and time.monotonic() < until:
            time.sleep(0.05)
        started = len(workers_of(program, sensor.pid))
        if started < 4:
            failures.append(f"only {started} workers were seen running")
        sensor.send_signal(signal.SIGKILL)
        sensor.wait()
        until = time.monotonic() + 2
        while workers_of(program, sensor.pid) and time.monotonic() < until:
            time.sleep(0.05)
        survivors = workers_of(program, sensor.pid)
        if survivors:
            failures.append(f"workers {survivors} outlived the sensor by two seconds")
            for pid in survivors:
                os.kill(pid, signal.SIGKILL)
    finally:
        shutil.rmtree(root, ignore_errors=True)

    for failure in failures:
        print("FAIL " + failure)
    print("parallel processes: " + ("all checks passed" if not failures else f"{len(failures)} checks failed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
