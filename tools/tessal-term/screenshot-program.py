#!/usr/bin/env python3
"""Runs a full-screen program against tessal-term and takes a screenshot of it.

The program gets a pseudo-terminal of 80 x 24 with TERM=vt102; its output reaches tessal-term
through a second pseudo-terminal, as in run-vttest.py, whose relay this uses. Once the given text
has shown and the terminal has answered a cursor position request after it, the X display is
saved (run it under xvfb-run). Example:

    xvfb-run -a tools/tessal-term/screenshot-program.py --term build/tools/tessal-term/tessal-term \\
        --screenshot docs/screenshot-term-dialog.png --text Choose -- \\
        dialog --menu "Choose a board" 12 40 4 1 one 2 two
"""
import argparse
import fcntl
import importlib.util
import os
import re
import struct
import subprocess
import sys
import termios
import time
import tty

HERE = os.path.dirname(os.path.abspath(__file__))
module_spec = importlib.util.spec_from_file_location("run_vttest", os.path.join(HERE, "run-vttest.py"))
run_vttest = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(run_vttest)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--term", required=True, help="the tessal-term executable")
    parser.add_argument("--screenshot", required=True, help="PNG file for the screenshot")
    parser.add_argument("--text", required=True, help="take it once the program shows this")
    parser.add_argument("--limit", type=float, default=30.0, help="seconds to wait for each step")
    parser.add_argument("program", nargs=argparse.REMAINDER, help="-- the program and arguments")
    args = parser.parse_args()
    program = args.program[1:] if args.program[:1] == ["--"] else args.program

    term_master, term_slave = os.openpty()
    tty.setraw(term_slave)
    term = subprocess.Popen([args.term, "--port", os.ttyname(term_slave), "--flow", "Software"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    child = None
    try:
        relay = run_vttest.Relay(term_master, open(os.devnull, "wb"))
        if not relay.probe(args.limit, run_vttest.STATUS_REQUEST, run_vttest.STATUS_ANSWER,
                           repeat=1.0) or not relay.probe(args.limit):
            print("FAILED: the terminal did not answer at start")
            return 1
        master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
        env = dict(os.environ, TERM="vt102", LINES="24", COLUMNS="80")
        child = subprocess.Popen(program, stdin=slave, stdout=slave, stderr=slave, env=env,
                                 preexec_fn=run_vttest.take_terminal)
        os.close(slave)
        relay.attach_vttest(master)
        if relay.wait_for(re.compile(args.text.encode()), args.limit) is None:
            print("FAILED: %r never showed" % args.text)
            return 1
        # Until the program has been quiet for a second, then until the terminal caught up.
        while relay.wait_for(re.compile(b"."), 1.0) is not None:
            relay.seen = b""
        if not relay.probe(args.limit):
            print("FAILED: the terminal stopped answering")
            return 1
        time.sleep(1.0)  # the window repaints from its event loop after answering
        subprocess.run(["import", "-window", "root", "-trim", "+repage", args.screenshot],
                       check=True)
        print("screenshot saved: " + args.screenshot)
        return 0
    finally:
        for process in (child, term):
            if process is not None and process.poll() is None:
                process.kill()
                process.wait()


if __name__ == "__main__":
    sys.exit(main())
