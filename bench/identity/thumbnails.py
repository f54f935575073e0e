#!/usr/bin/env python3
"""Thumbnails of every PDF of a list at one geometry, made by the installed
worker (confined, Ghostscript kept started) over the socket the window's
process uses, with each PDF sent open as the window sends it. The thumbnail
of line N goes to OUT/N.png; a failure leaves OUT/N.failed with its reason. A
worker that dies is started again for the next PDF.

Usage: thumbnails.py WORKER LIST GEOMETRY OUT"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from workerwire import CONVERT, HELLO, exchange, failure_of, request  # noqa: E402

class Worker:
    def __init__(self, program):
        self.started = time.monotonic()
        self.scratch = tempfile.mkdtemp(prefix="leafmark-scratch-identity-")
        self.requests, theirs = socket.socketpair()
        self.process = subprocess.Popen([program, self.scratch], stdin=theirs,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        theirs.close()
        self.exchange(request(HELLO))
        self.start_wall = time.monotonic() - self.started

    def exchange(self, message, document=None):
        return exchange(self.requests, self.process.stdout, message, document)

    def close(self):
        self.requests.close()
        self.process.kill()
        self.process.wait()
        shutil.rmtree(self.scratch, ignore_errors=True)


def main():
    program, listing, geometry, out = sys.argv[1:5]
    os.makedirs(out, exist_ok=True)
    worker = Worker(program)
    for number, pdf in enumerate(line.rstrip("\n") for line in open(listing)):
        try:
            failure = failure_of(worker.exchange(
                request(CONVERT, (pdf, geometry, "thumbnail.png", "PNG")), pdf))
        except (EOFError, OSError):
            failure = "the worker stopped"
            worker.close()
            worker = Worker(program)
        if failure:
            with open(os.path.join(out, "%d.failed" % number), "w") as reason:
                reason.write(failure + "\n")
        else:
            shutil.copyfile(os.path.join(worker.scratch, "finished", "thumbnail-0"),
                            os.path.join(out, "%d.png" % number))
    worker.close()


if __name__ == "__main__":
    main()
