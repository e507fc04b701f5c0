#!/usr/bin/python3
"""The program of FLUVIAGEN_REAL, with stand-ins for `--list-settings --json`
(the names of its --help) and `--plan` (a fixed memory figure) for a build
that has no such options; every other call is the program itself."""
import json
import os
import re
import subprocess
import sys

real = os.environ["FLUVIAGEN_REAL"]
args = sys.argv[1:]
if args[:1] == ["--list-settings"]:
    text = subprocess.run([real, "--help"], capture_output=True, text=True).stdout.split("KEYs of --set")[1]
    print(json.dumps([{"line": int(n), "name": name} for n, name in re.findall(r"\b(\d+) ([a-z_]+)", text)]))
elif "--plan" in args:
    print(json.dumps({"segments": 400, "history_bytes": 2**20, "peak_bytes_estimate": 64 * 2**20}))
else:
    os.execv(real, [sys.argv[0]] + args)
