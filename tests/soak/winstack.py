#!/usr/bin/env python3
"""winstack.py PID: the Windows-side call stacks of a wine process's threads.

For each thread, the words of its Windows stack (the TEB's stack range, the
TEB found through the thread's GS base) that point into one of our modules
(a .exe or .dll that is not wine's own) are resolved with addr2line, lowest
address (innermost) first. Stale return addresses from earlier calls show
up too; the live chain is the run that nests without gaps. A reading aid for
a hung run, not a debugger: it never stops the process for long.
"""
import re
import struct
import subprocess
import sys


def modules(pid):
    found = {}
    with open(f"/proc/{pid}/maps") as maps:
        for line in maps:
            parts = line.split()
            if len(parts) < 6 or not parts[5].lower().endswith((".exe", ".dll")):
                continue
            if "/wine/" in parts[5]:
                continue
            low, high = (int(x, 16) for x in parts[0].split("-"))
            lo, hi = found.get(parts[5], (low, high))
            found[parts[5]] = (min(lo, low), max(hi, high))
    return found


def image_base(path):
    out = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path],
                         capture_output=True, text=True).stdout
    match = re.search(r"ImageBase\s+([0-9a-fA-F]+)", out)
    return int(match.group(1), 16) if match else 0


def gs_bases(pid):
    out = subprocess.run(["gdb", "-p", str(pid), "-batch", "-nx", "-ex",
                          "thread apply all p/x $gs_base"],
                         capture_output=True, text=True, timeout=60).stdout
    bases, tid = {}, None
    for line in out.splitlines():
        thread = re.search(r"\(LWP (\d+)\)", line)
        if thread:
            tid = thread.group(1)
        value = re.match(r"\$\d+ = (0x[0-9a-f]+)", line)
        if value and tid:
            bases[tid] = int(value.group(1), 16)
    return bases


def resolve(path, address):
    out = subprocess.run(["x86_64-w64-mingw32-addr2line", "-f", "-C", "-e", path, hex(address)],
                         capture_output=True, text=True).stdout.split("\n")
    function = out[0] if out else "??"
    where = out[1].rsplit("/", 1)[-1] if len(out) > 1 else "?"
    return f"{function[:90]} {where}"


def main():
    pid = int(sys.argv[1])
    mods = modules(pid)
    bases = {path: image_base(path) for path in mods}
    with open(f"/proc/{pid}/mem", "rb") as mem:
        for tid, teb in sorted(gs_bases(pid).items()):
            try:
                mem.seek(teb + 8)
                stack_base, stack_limit = struct.unpack("<QQ", mem.read(16))
                mem.seek(stack_limit)
                words = mem.read(stack_base - stack_limit)
            except (OSError, ValueError, struct.error):
                continue
            print(f"   thread {tid}: Windows stack {stack_limit:#x}-{stack_base:#x}")
            last = None
            for offset in range(0, len(words) - 7, 8):
                value = struct.unpack_from("<Q", words, offset)[0]
                for path, (low, high) in mods.items():
                    if low <= value < high:
                        line = resolve(path, value - low + bases[path])
                        if line != last:
                            print(f"     {stack_limit + offset:#x} {path.rsplit('/', 1)[-1]} {line}")
                        last = line


if __name__ == "__main__":
    main()
