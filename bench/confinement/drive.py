#!/usr/bin/env python3
"""Feeds every PDF of a list to two workers side by side, the tests' worker
confined and unconfined, one request at a time each, the way the window's
process does; which of the two gets a PDF first alternates. Pairing each PDF
keeps a shared machine's changing load out of the comparison. Prints, for
each, the wall time of its requests and the CPU time the worker and all it
started took, in seconds, and the number of failed conversions.

With a second worker, BEFORE, compares WORKER and BEFORE, both confined,
instead: a change to the confinement against the tree it started from. BEFORE
is driven without tokens, as trees before them were, unless
LEAFMARK_BENCH_BEFORE_TOKENS=1 (two workers of one tree).

Usage: drive.py WORKER LIST THUMBNAILS [BEFORE]"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from workerwire import CONVERT, HELLO, WorkerStopped, exchange, failure_of, request  # noqa: E402

def cpu_seconds(pid):
    """The process's own CPU time and that of the children it waited for."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return sum(int(value) for value in fields[11:15]) / os.sysconf("SC_CLK_TCK")


class Worker:
    def __init__(self, label, program, confined, tokens=True):
        self.label = label
        self.tokens = tokens
        environment = dict(os.environ)
        if not confined:
            environment["LEAFMARK_WORKER_CONFINEMENT"] = "off"
        self.scratch = tempfile.mkdtemp(prefix="leafmark-scratch-bench-")
        self.requests, theirs = socket.socketpair()
        self.process = subprocess.Popen([program, self.scratch], stdin=theirs,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        env=environment)
        theirs.close()
        self.exchange(request(HELLO, tokens=tokens))
        self.cpu_at_start = cpu_seconds(self.process.pid)
        self.wall = 0.0
        self.failed = 0

    def convert(self, pdf, output):
        started = time.monotonic()
        try:
            reply = self.exchange(
                request(CONVERT, (pdf, "88x", output, "PNG"), tokens=self.tokens), pdf)
        except WorkerStopped:
            raise SystemExit("drive.py: the worker stopped")
        self.wall += time.monotonic() - started
        self.failed += bool(failure_of(reply, self.tokens))

    def exchange(self, message, document=None):
        return exchange(self.requests, self.process.stdout, message, document)

    def finish(self):
        cpu = cpu_seconds(self.process.pid) - self.cpu_at_start
        self.requests.close()
        self.process.wait()
        shutil.rmtree(self.scratch, ignore_errors=True)
        return "%.3f %.3f %d" % (self.wall, cpu, self.failed)


def main():
    program, listing, thumbnails = sys.argv[1:4]
    pdfs = [line.strip() for line in open(listing) if line.strip()]
    if len(sys.argv) > 4:
        tokens = os.environ.get("LEAFMARK_BENCH_BEFORE_TOKENS") == "1"
        first, second = Worker("after", program, True), Worker("before", sys.argv[4], True, tokens)
    else:
        first, second = Worker("confined", program, True), Worker("unconfined", program, False)
    for number, pdf in enumerate(pdfs):
        pair = [first, second] if number % 2 == 0 else [second, first]
        for worker in pair:
            worker.convert(pdf, os.path.join(thumbnails, "%s-%d.png" % (worker.label, number)))
    for worker in (first, second):
        print(worker.label + " " + worker.finish())


main()
