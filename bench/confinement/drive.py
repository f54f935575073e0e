#!/usr/bin/env python3
"""Feeds every PDF of a list to one worker, one request after the other, the
way the window's process does, and prints the wall time and the CPU time the
worker and all it started took, in seconds.

Usage: drive.py WORKER LIST THUMBNAILS [off]; "off" runs the tests' worker
unconfined."""
import os
import resource
import shutil
import struct
import subprocess
import sys
import tempfile
import time

HELLO, CONVERT = 1, 2


def qstring(text):
    data = text.encode("utf-16-be")
    return struct.pack(">I", len(data)) + data


def request(kind, job=("", False, "", "")):
    source, first_page, geometry, output = job
    message = (struct.pack(">B", kind) + qstring(source) + struct.pack(">B", first_page)
               + qstring(geometry) + qstring(output) + qstring(""))
    return struct.pack(">I", len(message)) + message


def read_exactly(stream, size):
    data = b""
    while len(data) < size:
        chunk = stream.read(size - len(data))
        if not chunk:
            raise SystemExit("drive.py: the worker stopped")
        data += chunk
    return data


def failure_of(reply):
    text_length = struct.unpack(">I", reply[:4])[0]
    offset = 4 + (0 if text_length == 0xFFFFFFFF else text_length)
    failure_length = struct.unpack(">I", reply[offset:offset + 4])[0]
    if failure_length in (0, 0xFFFFFFFF):
        return ""
    return reply[offset + 4:offset + 4 + failure_length].decode("utf-16-be")


def exchange(worker, message):
    worker.stdin.write(message)
    worker.stdin.flush()
    length = struct.unpack(">I", read_exactly(worker.stdout, 4))[0]
    return read_exactly(worker.stdout, length)


def main():
    program, listing, thumbnails = sys.argv[1:4]
    environment = dict(os.environ)
    if sys.argv[4:] == ["off"]:
        environment["LEAFMARK_WORKER_CONFINEMENT"] = "off"
    pdfs = [line.strip() for line in open(listing) if line.strip()]
    scratch = tempfile.mkdtemp(prefix="leafmark-scratch-bench-")
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.monotonic()
    worker = subprocess.Popen([program, scratch], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, env=environment)
    exchange(worker, request(HELLO))
    failed = 0
    for number, pdf in enumerate(pdfs):
        output = os.path.join(thumbnails, "%d.png" % number)
        failed += bool(failure_of(exchange(worker, request(CONVERT, (pdf, True, "88x", output)))))
    worker.stdin.close()
    worker.wait()
    wall = time.monotonic() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    shutil.rmtree(scratch, ignore_errors=True)
    print("%.3f %.3f %d" % (wall, cpu, failed))


main()
