#!/usr/bin/python3
"""Listens to the program as a screen reader does, over AT-SPI: finds its output by name, tells
what it is, and writes down every text inserted into it; touching LOG.dump asks for its text.
Usage: screen_reader.py LOG SECONDS"""
import os
import sys

import pyatspi
from gi.repository import GLib

log_path, seconds = sys.argv[1], float(sys.argv[2])
log = open(log_path, 'a', encoding='utf-8', buffering=1)
output = None


def find_output(node, depth=0):
    if node is None or depth > 12:
        return None
    if node.name == 'Ausgabe':
        return node
    for child in node:
        found = find_output(child, depth + 1)
        if found is not None:
            return found
    return None


def look():
    global output
    if output is None:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == 'skarvel':
                output = find_output(app)
        if output is not None:
            states = [pyatspi.stateToString(s).replace(' ', '-') for s in output.getState().getStates()]
            log.write('found role=%s states=%s\n' % (output.getRoleName(), ','.join(sorted(states))))
            log.write('ready\n')
    elif os.path.exists(log_path + '.dump'):
        os.remove(log_path + '.dump')
        lines = output.queryText().getText(0, -1).split('\n')
        log.write('text lines=%d first=%s\n' % (len(lines), lines[0]))
    return True


def on_insert(event):
    if event.source is not None and event.source.name == 'Ausgabe':
        log.write('insert %d %s\n' % (event.detail1, str(event.any_data).replace('\n', '|')))


pyatspi.Registry.registerEventListener(on_insert, 'object:text-changed:insert')
GLib.timeout_add(100, look)
GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
pyatspi.Registry.start()
