#!/usr/bin/python3
"""Listens to the program as a screen reader does, over AT-SPI. Once it finds the program it
writes "frame NAME" for each of its frames, "field NAME" for each text field in them, what the
output named "Ausgabe" is ("found role=... states=...") and "ready"; then "insert OFFSET TEXT"
for every text inserted into the output and "change NAME" for every text change of another
field. Touching LOG.dump asks for the output's text.
Usage: screen_reader.py LOG SECONDS"""
import os
import sys

import pyatspi
from gi.repository import GLib

log_path, seconds = sys.argv[1], float(sys.argv[2])
log = open(log_path, 'a', encoding='utf-8', buffering=1)
output = None


def text_fields(node, depth=0):
    if node is None or depth > 12:
        return
    if node.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY):
        yield node
    for child in node:
        yield from text_fields(child, depth + 1)


def look():
    global output
    if output is None:
        for app in pyatspi.Registry.getDesktop(0):
            if app is None or app.name != 'skarvel':
                continue
            fields = [field for field in text_fields(app) if field.name]
            output = next((field for field in fields if field.name == 'Ausgabe'), None)
            if output is None:
                continue
            for window in app:
                if window.getRole() == pyatspi.ROLE_FRAME:
                    log.write('frame %s\n' % window.name)
            for field in fields:
                log.write('field %s\n' % field.name)
            states = [pyatspi.stateToString(s).replace(' ', '-') for s in output.getState().getStates()]
            log.write('found role=%s states=%s\n' % (output.getRoleName(), ','.join(sorted(states))))
            log.write('ready\n')
    elif os.path.exists(log_path + '.dump'):
        os.remove(log_path + '.dump')
        lines = output.queryText().getText(0, -1).split('\n')
        log.write('text lines=%d first=%s\n' % (len(lines), lines[0]))
    return True


def on_text_changed(event):
    try:
        if event.source is None or event.source.getApplication().name != 'skarvel':
            return
        if event.source.name != 'Ausgabe':
            log.write('change %s\n' % event.source.name)
        elif event.type.endswith(':insert'):
            log.write('insert %d %s\n' % (event.detail1, str(event.any_data).replace('\n', '|')))
    except Exception:   # the source may be gone already
        pass


pyatspi.Registry.registerEventListener(on_text_changed, 'object:text-changed')
GLib.timeout_add(100, look)
GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
pyatspi.Registry.start()
