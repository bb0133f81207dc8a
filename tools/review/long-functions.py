#!/usr/bin/env python3
"""Lists C and C++ function bodies longer than a limit (default 80 lines), longest first.

Usage: tools/review/long-functions.py [--limit N] [PATH...]   (default: the product folders)
A body is a brace block at namespace level whose opening line looks like a function head; the
count is from the head's first line to the closing brace. Good enough for a review list: it reads
text, so a macro-heavy file may fool it.
"""
import re
import subprocess
import sys

PRODUCT = ["ifft", "config", "coefgen", "filterpath", "plot", "messages", "device", "edits", "editors",
           "listen", "app", "cli", "analysis"]


def strip(text):
    # Blank out comments and string/char literals so their braces do not count.
    out = re.sub(r'//[^\n]*|/\*.*?\*/', lambda m: re.sub(r'[^\n]', ' ', m.group()), text, flags=re.S)
    return re.sub(r'"(\\.|[^"\\\n])*"|\'(\\.|[^\'\\\n])*\'', '""', out)


def functions(path):
    text = strip(open(path, encoding="utf-8", errors="replace").read())
    lines = text.split("\n")
    depth = 0
    start = None
    head_ok = False
    for i, line in enumerate(lines):
        for ch in line:
            if ch == "{":
                if depth == 0 or (depth == 1 and start is None and in_class):
                    pass
                depth += 1
            elif ch == "}":
                depth -= 1
        yield i, depth


def scan(path, limit):
    text = strip(open(path, encoding="utf-8", errors="replace").read())
    found = []
    stack = []  # (kind, start_line, head)
    line_no = 1
    i = 0
    head = ""
    for ch in text:
        if ch == "\n":
            line_no += 1
        if ch == "{":
            h = head.strip()
            is_func = bool(re.search(r"\)\s*(const\s*)?(noexcept\s*)?(override\s*)?(final\s*)?(->[^{;]*)?$", h)) \
                and not re.search(r"\b(if|for|while|switch|catch)\s*\(", h.split("\n")[-1] if h else "") \
                and all(k != "func" for k, _, _ in stack)
            is_ctor = bool(re.search(r"\)\s*:\s*[^;]*$", h, re.S)) and all(k != "func" for k, _, _ in stack)
            kind = "func" if (is_func or is_ctor) else "block"
            first = line_no - h.count("\n") if kind == "func" else line_no
            name = re.sub(r"\s+", " ", h.split("(")[0].split("\n")[-1]).strip() if kind == "func" else ""
            stack.append((kind, first, name))
            head = ""
        elif ch == "}":
            if stack:
                kind, first, name = stack.pop()
                if kind == "func" and line_no - first + 1 > limit:
                    found.append((line_no - first + 1, f"{path}:{first}", name))
            head = ""
        elif ch == ";":
            head = ""
        else:
            head += ch
    return found


def main():
    args = sys.argv[1:]
    limit = 80
    if args[:1] == ["--limit"]:
        limit = int(args[1])
        args = args[2:]
    paths = args or PRODUCT
    files = subprocess.run(["git", "ls-files", "--", *paths], capture_output=True, text=True).stdout.split()
    rows = []
    for f in files:
        if f.endswith((".cpp", ".c", ".h")):
            rows += scan(f, limit)
    for n, where, name in sorted(rows, reverse=True):
        print(f"{n:5d}  {where}  {name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
