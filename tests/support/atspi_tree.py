#!/usr/bin/python3
"""Reads one application's accessible tree over the AT-SPI bus, as a screen
reader does, and prints it as JSON: one object a node, depth first.

  atspi_tree.py APP [SECONDS]
      waits up to SECONDS (10) for an application named APP with a showing
      window, then prints its tree.
  atspi_tree.py --names APP SECONDS
      prints the line "listening", then for SECONDS every change of the name
      of one of APP's nodes as a JSON object a line: what a screen reader
      announces.
"""
import faulthandler
import json
import sys
import time

import pyatspi
from gi.repository import GLib


def find_app(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == name:
            return app
    return None


def node(acc, path):
    states = acc.getState()
    state_names = sorted(pyatspi.stateToString(s) for s in states.getStates())
    entry = {
        "path": path,
        "role": acc.getRoleName(),
        "name": acc.name or "",
        "states": state_names,
    }
    try:
        ext = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        entry["rect"] = [ext.x, ext.y, ext.width, ext.height]
    except NotImplementedError:
        pass
    relations = {}
    for rel in acc.getRelationSet():
        kind = pyatspi.relationToString(rel.getRelationType())
        relations[kind] = [rel.getTarget(i).name or "" for i in range(rel.getNTargets())]
    entry["relations"] = relations
    return entry


def walk(acc, path, out):
    out.append(node(acc, path))
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            walk(child, "%s/%d" % (path, i), out)


def dump(name, seconds):
    deadline = time.monotonic() + seconds
    while True:
        app = find_app(name)
        if app is not None and any(
            w is not None and w.getState().contains(pyatspi.STATE_SHOWING) for w in app
        ):
            out = []
            walk(app, "", out)
            print(json.dumps(out))
            return 0
        if time.monotonic() > deadline:
            print("no showing window of %s on the bus" % name, file=sys.stderr)
            return 1
        time.sleep(0.2)


def names(name, seconds):
    def changed(event):
        try:
            if event.host_application.name == name:
                print(json.dumps({"role": event.source.getRoleName(), "name": event.source.name or ""}), flush=True)
        except Exception:  # a node gone by the time the event is read
            pass

    pyatspi.Registry.registerEventListener(changed, "object:property-change:accessible-name")
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    print("listening", flush=True)
    pyatspi.Registry.start()
    return 0


if __name__ == "__main__":
    # A node that never answers shows where the reading hung.
    faulthandler.dump_traceback_later(25, exit=True)
    if sys.argv[1] == "--names":
        sys.exit(names(sys.argv[2], float(sys.argv[3])))
    sys.exit(dump(sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 10.0))
