#!/usr/bin/env python3
"""Feeds every PDF of a list to two workers side by side, the tests' worker
confined and unconfined, one request at a time each, the way the window's
process does; which of the two gets a PDF first alternates. Pairing each PDF
keeps a shared machine's changing load out of the comparison. Prints, for
each, the wall time of its requests and the CPU time the worker and all it
started took, in seconds, and the number of failed conversions.

With a second worker, BEFORE, compares WORKER and BEFORE, both confined,
instead: a change to the confinement against the tree it started from.

Usage: drive.py WORKER LIST THUMBNAILS [BEFORE]"""
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

HELLO, CONVERT = 1, 2


def qstring(text):
    data = text.encode("utf-16-be")
    return struct.pack(">I", len(data)) + data


def request(kind, job=("", False, "", "", ""), token=None):
    """token: the request's token, for a worker that answers under one."""
    source, first_page, geometry, output, image_format = job
    tagged = b"" if token is None else struct.pack(">Q", token)
    message = (struct.pack(">B", kind) + tagged + qstring(source) + struct.pack(">B", first_page)
               + qstring(geometry) + qstring(output) + qstring(image_format) + qstring("")
               + struct.pack(">B", 0))
    return struct.pack(">I", len(message)) + message


def read_exactly(stream, size):
    data = b""
    while len(data) < size:
        chunk = stream.read(size - len(data))
        if not chunk:
            raise SystemExit("drive.py: the worker stopped")
        data += chunk
    return data


def failure_of(reply, tokens):
    if tokens:
        reply = reply[8:]
    text_length = struct.unpack(">I", reply[:4])[0]
    offset = 4 + (0 if text_length == 0xFFFFFFFF else text_length)
    failure_length = struct.unpack(">I", reply[offset:offset + 4])[0]
    if failure_length in (0, 0xFFFFFFFF):
        return ""
    return reply[offset + 4:offset + 4 + failure_length].decode("utf-16-be")


def exchange(worker, requests, message, document=None):
    """Sends the request, with the open document as the window's process does."""
    if document is None:
        requests.sendall(message)
    else:
        with open(document, "rb") as opened:
            socket.send_fds(requests, [message], [opened.fileno()])
    length = struct.unpack(">I", read_exactly(worker.stdout, 4))[0]
    return read_exactly(worker.stdout, length)


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
        exchange(self.process, self.requests, request(HELLO, token=self.token(0)))
        self.cpu_at_start = cpu_seconds(self.process.pid)
        self.wall = 0.0
        self.failed = 0

    def convert(self, pdf, output):
        started = time.monotonic()
        reply = exchange(self.process, self.requests,
                         request(CONVERT, (pdf, True, "88x", output, "PNG"), self.token(1)), pdf)
        self.wall += time.monotonic() - started
        self.failed += bool(failure_of(reply, self.tokens))

    def token(self, number):
        return number + 1 if self.tokens else None

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
        first, second = Worker("after", program, True), Worker("before", sys.argv[4], True, tokens=False)
    else:
        first, second = Worker("confined", program, True), Worker("unconfined", program, False)
    for number, pdf in enumerate(pdfs):
        pair = [first, second] if number % 2 == 0 else [second, first]
        for worker in pair:
            worker.convert(pdf, os.path.join(thumbnails, "%s-%d.png" % (worker.label, number)))
    for worker in (first, second):
        print(worker.label + " " + worker.finish())


main()
