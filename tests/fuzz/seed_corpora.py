#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora (tests/fuzz/corpus/<target>/) from the end-to-end cases:
their profiles, listings, option texts, trace files, destination files, landscapes and table rows,
each put in the input form of its target. Run it again when the cases or an input form change:

    tests/fuzz/seed_corpora.py build/native/MarrowindProfile [target ...]

Each corpus keeps at most a few dozen distinct seeds; libFuzzer grows its own from them."""

import hashlib
import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import run_cases  # noqa: E402

LIMIT = 40


def packed(value, length=8):
    digits = f"{abs(value):0{2 * length - 1}d}"[-(2 * length - 1):]
    nibbles = digits + ("D" if value < 0 else "C")
    return bytes.fromhex(nibbles)


def table_row(name, size_kb, free_kb, pct):
    row = bytearray(112)
    encoded = name.encode("latin-1")[:30].ljust(30, b" ")
    row[0:30] = encoded
    row[52:61] = b"ONLINE   "
    row[61:69] = packed(size_kb)
    row[69:77] = packed(free_kb)
    row[80:84] = (pct & 0xFFFFFFFF).to_bytes(4, "little")
    row[92:106] = b" " * 14
    return bytes(row)


def main():
    tool = sys.argv[1]
    only = set(sys.argv[2:])
    scrambled = {}

    def unscramble_placeholders(text):
        import re

        def stored(match):
            password = match.group(1)
            if password not in scrambled:
                result = subprocess.run([tool, "scramble"], input=password + "\n", capture_output=True, text=True)
                scrambled[password] = result.stdout.strip() if result.returncode == 0 else password
            return scrambled[password]

        return re.sub(r"\{SCRAMBLED:([^}]*)\}", stored, text)

    seeds = {name: [] for name in ("profile", "listing", "options", "trace", "destinationcopy", "conversions",
                                   "space", "document", "landscape")}
    cases_dir = os.path.join(HERE, "..", "e2e", "cases")
    for case_name in sorted(os.listdir(cases_dir)):
        case = run_cases.Case(os.path.join(cases_dir, case_name))
        arg2 = case.args[1] if len(case.args) > 1 else ""
        arg3 = case.args[2] if len(case.args) > 2 else None
        seeds["options"].append(bytes([1 if arg3 is not None else 0]) + arg2.encode("latin-1") + b"\n" +
                                (arg3 or "").encode("latin-1"))
        for name, text, crlf in case.files:
            data = unscramble_placeholders(text).encode("latin-1")
            if crlf:
                data = data.replace(b"\n", b"\r\n")
            base = name.split("\\")[-1]
            if base.upper().endswith(".P00") or base == "PRTG_Path.Txt":
                seeds["profile"].append(bytes([1]) + data)
                seeds["profile"].append(bytes([2]) + data)
            elif base == "Quorvane.Prf":
                seeds["listing"].append(bytes([0]) + arg2.encode("latin-1") + b"\n" + data)
            elif base == "SAP Quorvane.Gbl":
                seeds["listing"].append(bytes([1]) + arg2.encode("latin-1") + b"\n" + data)
            elif base == "Dev_Rfc.Trc":
                seeds["trace"].append(b"\0\0\1" + data)
            elif base.startswith("SapRfc."):
                seeds["destinationcopy"].append(b"\0" + base[7:].encode() + b"\n100\nMONITOR\nsecret\n" + data)
            elif base == "SapSim.json":
                seeds["landscape"].append(data)
                try:
                    landscape = json.loads(data)
                except ValueError:
                    continue
                for system in landscape.get("systems", []):
                    rows = [table_row(t.get("name", ""), int(t.get("size_kb", 0)), int(t.get("free_kb", 0)),
                                      int(t.get("pct_used", 0))) for t in system.get("tablespaces", [])]
                    rows += [bytes.fromhex(r.replace(" ", "")) for r in system.get("rows", [])]
                    if rows:
                        seeds["space"].append(b"\0\3\0PSAPSR3\n" + b"".join(rows))
                        seeds["space"].append(b"\1\0\0psapsr3\n" + b"".join(rows))
                    trace = system.get("faults", {}).get("trace")
                    if trace:
                        seeds["trace"].append(b"\0\0\1" + "\n".join(trace).encode("latin-1") + b"\n")
                    for t in system.get("tablespaces", []):
                        name = t.get("name", "")
                        seeds["document"].append(b"\0\0\0\1" + f"(PRD) OraSizes: NoSpc=1".encode() + b"\0" +
                                                 b"Error 1014: RFC-Failure raised !\0" + name.encode("latin-1") +
                                                 b"\0" + str(t.get("pct_used", 0)).encode() + b"\0PerCent\0")
        if case.stdout and "<Text>" in case.stdout:
            text = case.stdout.split("<Text>", 1)[1].split("</Text>", 1)[0]
            seeds["document"].append(bytes([0, 0, 2, 0]) + text.encode("latin-1") + b"\0" + text.encode("latin-1") + b"\0")

    # Extremes the cases do not hold.
    seeds["space"].append(b"\x41\0\x10\x24\x08\n" + table_row("HUGE", 999999999999999, 0, 100))
    seeds["space"].append(b"\x41\0\x10\x24\x0B\n" + table_row("NEGATIVE", -999999999999999, 0, -1))
    seeds["space"].append(b"\x08\x02\0\0\n" + table_row("X&<>\xe4", 1000, 10, 99) * 12)
    seeds["space"].append(b"\x28\x02\0\0\n" + table_row("A", 1, 1, 1) * 3)
    seeds["space"].append(b"\x10\0\0\0\n" + table_row("O", 1, 1, 1) * 12)
    for length, decimals, figure in ((8, 0, 0), (3, 2, -1), (3, 5, 2 ** 63 - 1), (511, 0, -2 ** 63), (599, 255, 123456)):
        seeds["conversions"].append(length.to_bytes(2, "little") + bytes([decimals]) +
                                    (figure & 0xFFFFFFFFFFFFFFFF).to_bytes(8, "big") + bytes([11]) +
                                    packed(12345, 8) + bytes(range(0, 256, 7)))
    seeds["conversions"].append(b"\x08\0\0" + bytes(8) + b"\x0a" + bytes.fromhex("FFFFFFFFFFFFFFFF") + b"4294967295")
    seeds["document"].append(bytes([1, 0, 0, 12]) + (b"a.b c-d:e\0" + b"1\0PerCent\0") * 12)
    seeds["document"].append(bytes([2, 2, 1, 3]) + b"sum\0err\0" + b"n\0v\0\0" * 3)
    seeds["document"].append(bytes([0, 0, 3, 2]) + b"x" * 3000 + b"&" * 2000 + b"\0" + b"<" * 3000 + b"\0a\0b\0c\0d\0e\0f\0")
    seeds["trace"].append(b"\x05\0\1ERROR       old text\n**** ERROR file opened\nERROR       new text\n")
    seeds["trace"].append(b"\0\0\0**** ERROR x\nabcdefg======> arrow text\r\n" + b"y" * 250 + b"\n")
    seeds["destinationcopy"].append(b"\1PRD\n100\nMONITOR\nsecret\n")
    seeds["destinationcopy"].append(b"\2PRDGW\n100\nMON ITOR\nsec ret\nDEST=PRDGW\nTYPE=R\nGWHOST=gw\nGWSERV=sapgw00\n")
    seeds["listing"].append(bytes([0xFE]) + b"x item=PSAPSR3\n# Gsng: production  " + b"S0001.P00#" * 17 + b"\n")

    for target, items in seeds.items():
        if only and target not in only:
            continue
        folder = os.path.join(HERE, "corpus", target)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        unique = {}
        for item in items:
            unique.setdefault(hashlib.sha1(item).hexdigest(), item)
        chosen = list(unique.items())
        # Keep the corpus small: the first seeds, and the last (hand-made) ones.
        if len(chosen) > LIMIT:
            chosen = chosen[:LIMIT - 8] + chosen[-8:]
        for digest, item in chosen:
            with open(os.path.join(folder, digest[:16]), "wb") as handle:
                handle.write(item)
        print(f"{target}: {len(chosen)} seeds")


if __name__ == "__main__":
    main()
