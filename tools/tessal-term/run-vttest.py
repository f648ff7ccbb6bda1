#!/usr/bin/env python3
"""Runs vttest against tessal-term and answers its menus.

tessal-term opens one end of a pseudo-terminal as its serial port; vttest runs on a second
pseudo-terminal; this script passes bytes between the two masters, so vttest's output reaches the
terminal and the terminal's answers and keys reach vttest. It types the menu choices and the
RETURNs vttest asks for, checks after every screen that the terminal still answers a cursor
position request (so it neither crashed nor hung), and can save a screenshot of the X display
when a given text is on the screen (run it under xvfb-run for that).

Exit status: 0 when every step went through and the terminal answered every time; 1 otherwise;
77 when vttest is not installed.
"""
import argparse
import fcntl
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import termios
import time
import tty

# The main menu's tests, in order, then 0 to leave vttest. A sub-menu (a prompt with another
# range) gets its first SUBMENU_ITEMS items in turn and then 0; every "Push <RETURN>" in between
# is answered.
MAIN_CHOICES = ["1", "2", "3", "4", "6", "7", "8", "10", "0"]
MAIN_MENU_RANGE = b"12"
SUBMENU_ITEMS = 3
# vttest waits without a time limit for answers this terminal does not give (a VT52 identify
# while the terminal stays in VT100 mode, for one): while the terminal itself still answers,
# a RETURN moves vttest on, this many times at most.
NUDGES = 8

# vttest's prompts: a menu (group 1 is its range), and a screen that waits for RETURN.
PROMPT = re.compile(rb"Enter choice number \(0 - (\d+)\)|RETURN")
POSITION_REQUEST = b"\x1b[6n"
POSITION_ANSWER = re.compile(rb"\x1b\[(\d+);(\d+)R")
STATUS_REQUEST = b"\x1b[5n"
STATUS_ANSWER = re.compile(rb"\x1b\[0n")


class Relay:
    """Moves bytes both ways without blocking: what cannot be written yet waits in a buffer."""

    def __init__(self, term_master, log):
        self.term = term_master
        self.vttest = None
        self.log = log
        self.seen = b""  # vttest output since the last action
        self.probe_pending = None  # the answer awaited
        self.probe_answered = False
        self.from_term = b""
        self.to_term = b""
        self.to_vttest = b""
        os.set_blocking(term_master, False)

    def attach_vttest(self, master):
        os.set_blocking(master, False)
        self.vttest = master

    def pump(self, timeout):
        """Moves whatever is ready; returns False when vttest has gone."""
        readers = [self.term] + ([self.vttest] if self.vttest is not None else [])
        writers = ([self.term] if self.to_term else []) + (
            [self.vttest] if self.to_vttest and self.vttest is not None else [])
        ready, writable, _ = select.select(readers, writers, [], timeout)
        if self.term in writable:
            self.to_term = self.to_term[self._write(self.term, self.to_term):]
        if self.vttest is not None and self.vttest in writable:
            self.to_vttest = self.to_vttest[self._write(self.vttest, self.to_vttest):]
        if self.vttest is not None and self.vttest in ready:
            try:
                data = os.read(self.vttest, 65536)
            except BlockingIOError:
                data = None
            except OSError:
                return False
            if data == b"":
                return False
            if data:
                self.seen += data
                self.log.write(data)
                self.to_term += data
        if self.term in ready:
            try:
                self.from_term += os.read(self.term, 65536)
            except BlockingIOError:
                pass
            if self.probe_pending:
                match = self.probe_pending.search(self.from_term)
                if match:
                    # The probe's answer is ours; whatever else came is vttest's.
                    self.from_term = self.from_term[: match.start()] + self.from_term[match.end():]
                    self.probe_pending = None
                    self.probe_answered = True
            if not self.probe_pending:
                # Before vttest runs, late answers to the start-up probe are dropped.
                if self.vttest is not None:
                    self.to_vttest += self.from_term
                self.from_term = b""
        return True

    @staticmethod
    def _write(fd, data):
        try:
            return os.write(fd, data)
        except BlockingIOError:
            return 0

    def wait_for(self, pattern, limit):
        """Pumps until pattern shows in vttest's output; the match and what follows stay."""
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            match = pattern.search(self.seen)
            if match:
                return match
            if not self.pump(0.2):
                return pattern.search(self.seen)
        return None

    def probe(self, limit, request=POSITION_REQUEST, answer=POSITION_ANSWER, repeat=None):
        """True when the terminal answers the request: it has handled every byte sent before
        it. Taken while vttest waits for a key. With repeat, the request is sent again every
        repeat seconds (while the terminal may still be starting)."""
        self.probe_answered = False
        self.probe_pending = answer
        self.to_term += request
        deadline = time.monotonic() + limit
        next_send = time.monotonic() + (repeat or limit)
        while not self.probe_answered and time.monotonic() < deadline:
            if repeat and time.monotonic() >= next_send:
                self.to_term += request
                next_send += repeat
            if not self.pump(0.2):
                break
        self.probe_pending = None
        return self.probe_answered

    def type(self, text):
        self.seen = b""
        self.to_vttest += text


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--term", required=True, help="the tessal-term executable")
    parser.add_argument("--screenshot", help="PNG file for a screenshot of the X display")
    parser.add_argument("--shot-text", default="rendition test pattern",
                        help="take the screenshot on the screen that shows this text")
    parser.add_argument("--log", default=os.devnull, help="file for vttest's output")
    parser.add_argument("--step-limit", type=float, default=30.0,
                        help="seconds the terminal may take to answer")
    parser.add_argument("--nudge-after", type=float, default=5.0,
                        help="seconds without a prompt after which vttest gets a RETURN")
    args = parser.parse_args()

    if shutil.which("vttest") is None:
        print("vttest is not installed: skipped")
        return 77

    term_master, term_slave = os.openpty()
    tty.setraw(term_slave)
    term_port = os.ttyname(term_slave)

    env = dict(os.environ, TERM="vt100", LINES="24", COLUMNS="80")
    term_log = open(args.log + ".term" if args.log != os.devnull else os.devnull, "wb")
    # XON/XOFF on the terminal's input: a burst larger than its receive queue waits in the
    # pseudo-terminal instead of being lost, and vttest's own terminal obeys the XOFF.
    term = subprocess.Popen([args.term, "--port", term_port, "--flow", "Software"], env=env,
                            stdout=term_log, stderr=term_log)
    try:
        return drive(args, term, term_master, env)
    finally:
        if term.poll() is None:
            term.kill()
            term.wait()


def take_terminal():
    """In the child: a session of its own whose controlling terminal is its standard input."""
    os.setsid()
    fcntl.ioctl(0, termios.TIOCSCTTY, 0)


def drive(args, term, term_master, env):
    failures = []
    steps = 0
    vttest = None
    with open(args.log, "wb") as log:
        relay = Relay(term_master, log)
        script = list(MAIN_CHOICES)
        submenu_done = 0
        shot_taken = False
        # The terminal has to be up, its port open, before vttest starts. Requests repeated
        # while it starts may be answered more than once; the answer to one more, different
        # request comes after all of those, which are dropped, so none reaches vttest.
        if relay.probe(args.step_limit, STATUS_REQUEST, STATUS_ANSWER, repeat=1.0) and \
                relay.probe(args.step_limit):
            vt_master, vt_slave = os.openpty()
            # vttest gets the second pseudo-terminal as its controlling terminal.
            vttest = subprocess.Popen(["vttest"], stdin=vt_slave, stdout=vt_slave,
                                      stderr=vt_slave, env=env, preexec_fn=take_terminal)
            os.close(vt_slave)
            relay.attach_vttest(vt_master)
        else:
            failures.append("the terminal did not answer at start")
            script = []
        nudges = 0
        while script:
            prompt = relay.wait_for(PROMPT, args.nudge_after)
            if prompt is None:
                if vttest.poll() is None and nudges < NUDGES and relay.probe(args.step_limit):
                    nudges += 1
                    relay.type(b"\r")
                    continue
                failures.append("no prompt from vttest within %.0f s" % args.nudge_after)
                break
            if not relay.probe(args.step_limit):
                failures.append("the terminal stopped answering after step %d" % steps)
                break
            if term.poll() is not None:
                failures.append("tessal-term ended with status %d" % term.returncode)
                break
            if args.screenshot and not shot_taken and args.shot_text.encode() in relay.seen:
                # The terminal has handled the screen (it answered); its window repaints from
                # the event loop right after, which this script cannot observe.
                time.sleep(1.0)
                subprocess.run(["import", "-window", "root", "-trim", "+repage", args.screenshot],
                               check=True)
                shot_taken = True
            steps += 1
            if prompt.group(1) is None:
                relay.type(b"\r")
            elif prompt.group(1) == MAIN_MENU_RANGE:
                relay.type(script.pop(0).encode() + b"\r")
            elif submenu_done < min(SUBMENU_ITEMS, int(prompt.group(1))):
                submenu_done += 1
                relay.type(b"%d\r" % submenu_done)
            else:
                submenu_done = 0
                relay.type(b"0\r")
        # vttest leaves after the last choice.
        deadline = time.monotonic() + args.step_limit
        while vttest and vttest.poll() is None and time.monotonic() < deadline:
            relay.pump(0.2)
        if vttest and vttest.poll() is None:
            failures.append("vttest did not finish")
            vttest.kill()
        # Its terminal is gone with it; the last request goes to tessal-term alone.
        relay.vttest = None
        if term.poll() is not None:
            failures.append("tessal-term ended with status %d" % term.returncode)
        elif not relay.probe(args.step_limit):
            failures.append("the terminal did not answer at the end")
        if args.screenshot and not shot_taken:
            failures.append("the screenshot text never showed")

    if term.poll() is None:
        term.send_signal(signal.SIGTERM)
        term.wait(timeout=30)
    if vttest:
        vttest.wait(timeout=30)
    print("%d vttest screens answered, %d waits for answers ended with RETURN" % (steps, nudges))
    for failure in failures:
        print("FAILED: " + failure)
    print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
