#!/usr/bin/python3
"""A keyboard user's run of the real program, heard through AT-SPI.

Starts the program, tabs to "Create thumbnails" with real keys (xdotool),
presses Space and, if asked, a second key once the first row is there. Prints,
as tab-separated lines: where the focus went after the start, the focus events
the run sent, where the focus is at the end and the final status line.

Needs an X display with a window manager and an AT-SPI bus (see
bench/accessibility.sh); the program must have accessibility on.
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

program, second_key, limit = sys.argv[1], sys.argv[2], float(sys.argv[3])
# Seconds the program stays open after the run, for a screen reader to catch up.
linger = float(sys.argv[4]) if len(sys.argv) > 4 else 0.0

state = {
    "phase": "tabbing",
    "focus_events": 0,
    "focused": "",
    "focus_after_start": "",
    "status": "",
    "rows": 0,
    "tabs": 0,
    "second_key_sent": False,
}


def describe(accessible):
    try:
        return "%s '%s'" % (accessible.getRoleName(), accessible.name)
    except Exception:
        return "(gone)"


def from_program(event):
    try:
        return event.host_application.name.lower() == "leafmark"
    except Exception:
        return False


def key(name):
    subprocess.run(["xdotool", "key", name], check=True)


def on_focus(event):
    if not from_program(event) or not event.detail1:
        return
    state["focused"] = describe(event.source)
    if state["phase"] == "running":
        state["focus_events"] += 1


def on_name(event):
    if not from_program(event):
        return
    try:
        if event.source.getRole() in (pyatspi.ROLE_LABEL, pyatspi.ROLE_NOTIFICATION) and event.source.name:
            state["status"] = event.source.name
    except Exception:
        pass


def on_children(event):
    if from_program(event) and event.type.endswith("add"):
        state["rows"] += 1


def step():
    phase = state["phase"]
    if phase == "tabbing":
        if "Create thumbnails" in state["focused"]:
            state["phase"] = "running"
            state["started"] = time.monotonic()
            key("space")
        elif state["tabs"] > 20:
            print("error\tnever reached Create thumbnails")
            pyatspi.Registry.stop()
            return False
        else:
            state["tabs"] += 1
            key("Tab")
        return True
    elapsed = time.monotonic() - state["started"]
    if not state["focus_after_start"] and elapsed > 0.3:
        state["focus_after_start"] = state["focused"]
    if second_key != "none" and not state["second_key_sent"] and elapsed > 0.5:
        state["second_key_sent"] = True
        key(second_key)
    finished = state["status"] not in ("", "One moment please... working...", "Canceling...")
    if finished and "finished" not in state:
        state["finished"] = elapsed
    if ("finished" in state and elapsed > state["finished"] + 1.0 + linger) or elapsed > limit:
        pyatspi.Registry.stop()
        return False
    return True


leafmark = subprocess.Popen([program])
subprocess.run(["xdotool", "search", "--sync", "--name", "Leafmark"], check=True,
               stdout=subprocess.DEVNULL)
time.sleep(1.0)
pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
pyatspi.Registry.registerEventListener(on_children, "object:children-changed")
GLib.timeout_add(200, step)
pyatspi.Registry.start()
leafmark.terminate()
leafmark.wait()

print("focus after start\t%s" % state["focus_after_start"])
print("focus events during the run\t%d" % state["focus_events"])
print("focus at the end\t%s" % state["focused"])
print("status at the end\t%s" % state["status"])
