#!/usr/bin/python3
"""Runs Orca with its debug output on a pseudo-terminal and copies that
output to FILE as it comes, so that a test reads what Orca says at once:
Orca writes to a terminal line by line, to a plain file in blocks of
several kilobytes.

  orca_debug.py FILE [ORCA ARGUMENT...]

Ends Orca when it is told to end (SIGTERM, SIGINT, SIGHUP), killing it when
it has not ended within 5 seconds, and ends with it: an Orca left behind
would keep the next one from starting.
"""
import os
import pty
import select
import signal
import subprocess
import sys
import time
import tty

GRACE_SECONDS = 5


def main():
    out_path = sys.argv[1]
    master, terminal = pty.openpty()
    # Raw: Orca's lines arrive as written, without a "\r" added.
    tty.setraw(terminal)
    orca = subprocess.Popen(["orca", "--debug-file", os.ttyname(terminal)] + sys.argv[2:],
                            stdin=subprocess.DEVNULL)

    told_to_end = []

    def end(signum, frame):
        told_to_end.append(time.monotonic())
        orca.terminate()

    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, end)

    # The terminal stays open here too: reading from a terminal that nobody
    # holds fails before Orca opens it.
    with open(out_path, "ab", buffering=0) as out:
        while True:
            ready, _, _ = select.select([master], [], [], 0.2)
            if ready:
                out.write(os.read(master, 65536))
            elif orca.poll() is not None:
                break
            if told_to_end and time.monotonic() - told_to_end[0] > GRACE_SECONDS:
                orca.kill()
    return orca.wait()


if __name__ == "__main__":
    sys.exit(main())
