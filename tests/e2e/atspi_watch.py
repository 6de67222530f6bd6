#!/usr/bin/python3
"""What a screen reader learns of a running program over AT-SPI.

atspi_watch.py APP STOP_FILE SECONDS waits (at most SECONDS) for the application named APP,
prints "frame NAME" for each of its frames and "text NAME" for each text field in them, then
"listening", and counts the text changes it hears until STOP_FILE exists or SECONDS have
passed; at the end it prints "changes NAME COUNT" for each field that changed.
"""
import collections
import os
import sys
import time

import pyatspi
from gi.repository import GLib

app_name, stop_file, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
deadline = time.monotonic() + seconds


def find_application():
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            application = desktop.getChildAtIndex(index)
            if application is not None and application.name == app_name:
                return application
        time.sleep(0.2)
    sys.exit(f"atspi_watch: no application {app_name!r} within {seconds} s")


def text_fields(node, depth=0):
    if depth > 10:
        return
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is None:
            continue
        if child.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY):
            yield child
        yield from text_fields(child, depth + 1)


application = find_application()
for index in range(application.childCount):
    window = application.getChildAtIndex(index)
    if window.getRole() == pyatspi.ROLE_FRAME:
        print("frame", window.name)
        for field in text_fields(window):
            print("text", field.name)

changes = collections.Counter()


def on_text_changed(event):
    try:
        if event.source.getApplication().name == app_name:
            changes[event.source.name] += 1
    except Exception:   # the source may be gone already
        pass


def check_stop():
    if os.path.exists(stop_file) or time.monotonic() >= deadline:
        pyatspi.Registry.stop()
        return False
    return True


pyatspi.Registry.registerEventListener(on_text_changed, "object:text-changed")
print("listening", flush=True)
GLib.timeout_add(50, check_stop)
pyatspi.Registry.start()
for name, count in sorted(changes.items()):
    print("changes", name, count)
