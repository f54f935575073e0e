#!/usr/bin/python3
"""Listens on the AT-SPI bus as a screen reader does, so that applications
send every event, and counts what arrives until it is stopped (SIGTERM).
Prints the count of each event type on stdout, and touches argv[1] once it
listens."""
import signal
import sys
from collections import Counter

import pyatspi
from gi.repository import GLib

counts = Counter()


def count(event):
    counts[event.type] += 1


def stop():
    pyatspi.Registry.stop()
    return False


for kind in ("object:", "focus:", "window:"):
    pyatspi.Registry.registerEventListener(count, kind)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, stop)
open(sys.argv[1], "w").close()
pyatspi.Registry.start()
for kind, number in sorted(counts.items()):
    print("%s\t%d" % (kind, number))
