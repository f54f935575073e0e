#!/usr/bin/env python3
"""Drives one worker PDF by PDF, as the window's process does, and prints what
the processes of its requests cost each PDF: CPU time and minor page faults of
every child the worker reaped, and the worker's own. Run it under
`perf record -g` for where that time goes.

Usage: children.py WORKER LIST   (one PDF per line)"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from workerwire import CONVERT, HELLO, exchange, failure_of, request  # noqa: E402


def counters(pid):
    """Own and reaped children's minor faults and CPU seconds, from /proc."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    tick = os.sysconf("SC_CLK_TCK")
    return {"faults": int(fields[7]), "child faults": int(fields[8]),
            "cpu": (int(fields[11]) + int(fields[12])) / tick,
            "child cpu": (int(fields[13]) + int(fields[14])) / tick}


def main():
    program, listing = sys.argv[1:3]
    pdfs = [line.strip() for line in open(listing) if line.strip()]
    scratch = tempfile.mkdtemp(prefix="leafmark-scratch-profile-")
    requests, theirs = socket.socketpair()
    worker = subprocess.Popen([program, scratch], stdin=theirs, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
    theirs.close()
    exchange(requests, worker.stdout, request(HELLO))
    before = counters(worker.pid)
    failed = 0
    output = os.path.join(scratch, "unused.png")
    for number, pdf in enumerate(pdfs):
        reply = exchange(requests, worker.stdout,
                         request(CONVERT, (pdf, "88x", output, "PNG"), token=number + 2), pdf)
        failed += bool(failure_of(reply))
    after = counters(worker.pid)
    requests.close()
    worker.wait()
    shutil.rmtree(scratch, ignore_errors=True)
    each = {key: (after[key] - before[key]) / len(pdfs) for key in after}
    print("%d PDFs, %d failed; a PDF's request processes: %.1f ms CPU, %.0f minor faults; "
          "the worker itself: %.2f ms CPU, %.0f minor faults"
          % (len(pdfs), failed, 1000 * each["child cpu"], each["child faults"],
             1000 * each["cpu"], each["faults"]))


main()
