#!/usr/bin/env python3
"""Runs a renderer that writes 16-bit audio to its standard output and reports, in one line:
seconds until the first sample that is not silent arrived, wall seconds, the renderer's peak
resident memory in KiB and the number of audio bytes.

    bench/first-sound.py SKIP -- COMMAND...   (SKIP: header bytes before the samples)
"""
import os
import resource
import subprocess
import sys
import time


def main():
    if len(sys.argv) < 4 or sys.argv[2] != "--":
        sys.exit(__doc__)
    skip = int(sys.argv[1])
    started = time.monotonic()
    proc = subprocess.Popen(sys.argv[3:], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    first = None
    seen = 0
    pending = b""
    while True:
        chunk = proc.stdout.read1(1 << 16)
        if not chunk:
            break
        if first is None:
            data = pending + chunk
            start = max(0, skip - seen)
            usable = data[start:]
            usable = usable[: len(usable) // 2 * 2]
            if any(usable[i] | usable[i + 1] for i in range(0, len(usable), 2)):
                first = time.monotonic() - started
            pending = b""
        seen += len(chunk)
    proc.wait()
    wall = time.monotonic() - started
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    print(f"{first if first is not None else -1:.3f} {wall:.3f} {peak} {max(seen - skip, 0)}")
    sys.exit(proc.returncode)


if __name__ == "__main__":
    main()
