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
import struct
import subprocess
import sys
import tempfile
import time

HELLO, CONVERT = 1, 2


def qstring(text):
    data = text.encode("utf-16-be")
    return struct.pack(">I", len(data)) + data


def request(kind, pdf="", geometry="", token=1):
    # The worker answers under the request's token.
    message = (struct.pack(">B", kind) + struct.pack(">Q", token) + qstring(pdf) + struct.pack(">B", True)
               + qstring(geometry) + qstring("thumbnail.png") + qstring("PNG") + qstring("")
               + struct.pack(">B", 0))
    return struct.pack(">I", len(message)) + message


def read_exactly(stream, size):
    data = b""
    while len(data) < size:
        chunk = stream.read(size - len(data))
        if not chunk:
            raise EOFError
        data += chunk
    return data


def failure_of(reply):
    reply = reply[8:]
    text_length = struct.unpack(">I", reply[:4])[0]
    offset = 4 + (0 if text_length == 0xFFFFFFFF else text_length)
    failure_length = struct.unpack(">I", reply[offset:offset + 4])[0]
    if failure_length in (0, 0xFFFFFFFF):
        return ""
    return reply[offset + 4:offset + 4 + failure_length].decode("utf-16-be")


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
        if document is None:
            self.requests.sendall(message)
        else:
            with open(document, "rb") as opened:
                socket.send_fds(self.requests, [message], [opened.fileno()])
        length = struct.unpack(">I", read_exactly(self.process.stdout, 4))[0]
        return read_exactly(self.process.stdout, length)

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
            failure = failure_of(worker.exchange(request(CONVERT, pdf, geometry), pdf))
        except (EOFError, OSError):
            failure = "the worker stopped"
            worker.close()
            worker = Worker(program)
        if failure:
            with open(os.path.join(out, "%d.failed" % number), "w") as reason:
                reason.write(failure + "\n")
        else:
            shutil.copyfile(os.path.join(worker.scratch, "thumbnail-0"),
                            os.path.join(out, "%d.png" % number))
    worker.close()


if __name__ == "__main__":
    main()
