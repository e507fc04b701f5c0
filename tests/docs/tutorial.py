"""The commands of a page and the outputs it prints under them.

A page's ```sh blocks are commands, run in order by one bash process, so `cd`
and `export` carry from block to block. A ```text block right after a command
block is what the commands print: each of its lines, blanks collapsed, must be
one of the lines they printed (standard output and standard error together),
in the page's order; lines the page leaves out (`...`) may stand between. A
```none block is shown and not checked.
"""
import re
import subprocess

FENCE = re.compile(r"^```(\w+)\n(.*?)^```\n", re.M | re.S)


def blocks(page_text):
    """(kind, text) of every fenced block: kind 'sh', 'text' or 'none'."""
    return [(m.group(1), m.group(2)) for m in FENCE.finditer(page_text) if m.group(1) in ("sh", "text", "none")]


def steps(page_text):
    """[(commands, expected lines or None)] in page order."""
    out = []
    for kind, text in blocks(page_text):
        if kind == "sh":
            out.append([text, None])
        elif kind == "text":
            assert out and out[-1][1] is None, "a ```text block must follow a ```sh block"
            out[-1][1] = [normal(l) for l in text.split("\n") if l.strip() and l.strip() not in ("...", "…")]
    return [tuple(s) for s in out]


def normal(line):
    return " ".join(line.split())


MARK = "@@fluviagen-tutorial-step-{}@@"


def run(step_list, folder, env, timeout=900):
    """Runs the steps in one shell; returns the output of each step."""
    script = ["set -euo pipefail"]
    for i, (commands, _) in enumerate(step_list):
        script += [f"echo {MARK.format(i)}", commands]
    script.append(f"echo {MARK.format(len(step_list))}")
    done = subprocess.run(["bash", "-c", "\n".join(script)], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=timeout)
    text = done.stdout
    outputs = []
    for i in range(len(step_list)):
        start = text.find(MARK.format(i))
        end = text.find(MARK.format(i + 1))
        if start < 0 or end < 0:
            outputs.append(None)
        else:
            outputs.append(text[start + len(MARK.format(i)) + 1:end])
    return done.returncode, text, outputs


def missing_lines(expected, output):
    """The expected lines not found in order among the output's lines."""
    got = [normal(l) for l in output.split("\n")]
    lost, at = [], 0
    for line in map(normal, expected):
        try:
            at = got.index(line, at) + 1
        except ValueError:
            lost.append(line)
    return lost
