#!/usr/bin/python3
"""A screen reader's view of the program, through AT-SPI as Orca has it (pyatspi).

  atspi_client.py buttons                 the launcher's buttons: "<role>\t<name>" per line
  atspi_client.py press NAME              presses the launcher's button NAME by its action
  atspi_client.py make-stick FINAL        the recovery button, the start dialog's drive list
                                          and its Create button, the writer's Start, each by
                                          its action; then every progress value and text of
                                          the writer as its events tell them, until FINAL
Prints what it saw; exits 1 with a reason on stderr when something is missing.
"""
import sys
import time

import pyatspi
from gi.repository import GLib

APP_NAME = "Arkeven"


def fail(reason):
    print("atspi client: " + reason, file=sys.stderr)
    sys.exit(1)


def application(timeout=20):
    deadline = time.time() + timeout
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == APP_NAME:
                return app
        time.sleep(0.2)
    fail("no application named %s on the accessibility bus" % APP_NAME)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def window(app, role, has_button=None, timeout=20):
    """The showing window of this role (with a showing button so named, when given)."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        for child in app:
            if child is None or child.getRole() != role or not showing(child):
                continue
            if has_button is None or find(child, pyatspi.ROLE_PUSH_BUTTON, has_button):
                return child
        time.sleep(0.1)
    fail("no showing %s%s" % (pyatspi.Role(role), " with a button '%s'" % has_button if has_button else ""))


def find(root, role, name=None):
    for child in root:
        if child is not None and child.getRole() == role and showing(child) and (name is None or child.name == name):
            return child
    return None


def press(node):
    action = node.queryAction()
    if action.nActions < 1:
        fail("'%s' has no action" % node.name)
    if not action.doAction(0):
        fail("'%s' refused its action" % node.name)


def buttons():
    frame = window(application(), pyatspi.ROLE_FRAME)
    for child in frame:
        if child.getRole() == pyatspi.ROLE_PUSH_BUTTON and showing(child):
            print("%s\t%s" % (child.getRoleName(), child.name))


def press_named(name):
    frame = window(application(), pyatspi.ROLE_FRAME)
    button = find(frame, pyatspi.ROLE_PUSH_BUTTON, name)
    if button is None:
        fail("the launcher has no showing button '%s'" % name)
    press(button)
    print("pressed\t%s" % name)


def make_stick(final_text):
    app = application()
    press(find(window(app, pyatspi.ROLE_FRAME), pyatspi.ROLE_PUSH_BUTTON, "Make recovery stick") or fail("no recovery button"))
    start = window(app, pyatspi.ROLE_DIALOG, has_button="Create stick")
    drives = find(start, pyatspi.ROLE_COMBO_BOX) or fail("the start dialog has no drive list")
    print("drive list\t%s\t%d items" % (drives.name, drives.childCount))
    press(find(start, pyatspi.ROLE_PUSH_BUTTON, "Create stick"))
    writer = window(app, pyatspi.ROLE_DIALOG, has_button="Start")
    bar = find(writer, pyatspi.ROLE_PROGRESS_BAR) or fail("the writer has no progress bar")
    print("bar before\t%g" % bar.queryValue().currentValue)

    loop = GLib.MainLoop()
    seen = {"final": False}

    def on_event(event):
        if event.source is None:
            return
        if event.type.startswith("object:value-changed") and event.source.getRole() == pyatspi.ROLE_PROGRESS_BAR:
            print("value\t%g" % event.source.queryValue().currentValue, flush=True)
        elif event.type.startswith("object:text-changed:insert") and event.source.getRole() == pyatspi.ROLE_LABEL:
            text = event.any_data
            print("text\t%s" % text, flush=True)
            if text == final_text:
                seen["final"] = True
                loop.quit()

    pyatspi.Registry.registerEventListener(on_event, "object:value-changed", "object:text-changed:insert")
    GLib.timeout_add_seconds(120, loop.quit)
    press(find(writer, pyatspi.ROLE_PUSH_BUTTON, "Start"))
    loop.run()
    pyatspi.Registry.deregisterEventListener(on_event, "object:value-changed", "object:text-changed:insert")
    if not seen["final"]:
        fail("the writer's final text '%s' never came" % final_text)
    print("bar after\t%g" % bar.queryValue().currentValue)


if __name__ == "__main__":
    if len(sys.argv) == 2 and sys.argv[1] == "buttons":
        buttons()
    elif len(sys.argv) == 3 and sys.argv[1] == "press":
        press_named(sys.argv[2])
    elif len(sys.argv) == 3 and sys.argv[1] == "make-stick":
        make_stick(sys.argv[2])
    else:
        fail("usage: atspi_client.py buttons | press NAME | make-stick FINAL")
