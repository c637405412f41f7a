#!/usr/bin/python3
"""Reads and works the windows of the programs under test through the accessibility
bus (AT-SPI), as a screen reader does: by role, name, description and state, never by
pixels, so a covered window reads as well as an uncovered one. The Xvfb tests call it
with one command each; every command waits at most --timeout seconds (default 20) for
what it looks for and exits 1, saying what it saw, when that does not come.

  window TITLE [X Y W H]            a showing window so titled (and so placed):
                                    prints x y width height
  gone TITLE                        no window so titled any more
  find TITLE ROLE NAME [--hidden]   a node of that role and name, showing (or hidden):
                                    prints x y width height of the node
  press TITLE ROLE NAME [--announces NODE DESCRIPTION]...
                                    does the node's press action; with --announces,
                                    the press must make the programs announce that
                                    each node named NODE now reads its DESCRIPTION
  type TITLE TEXT                   sets the text of the window's first text box
  holds TITLE TEXT                  the window's first text box holds TEXT
  read TITLE ROLE PATTERN [--every S] [--times]
                                    a showing node of that role whose name matches
                                    the regular expression PATTERN (anywhere in it),
                                    read every S seconds: prints its name; with
                                    --times, first a line with the wall-clock times
                                    (seconds since the epoch) at which the window was
                                    first seen showing, the names were first read
                                    (after a walk of the window) and one matched
  items TITLE [ITEM]...             the window's list items are these, in this order,
                                    shown or not (a closed list's entries)
  describe TITLE NAME DESCRIPTION...
                                    the node so named reads that description (or one
                                    of them): prints the one it reads
  game TITLE                        the game window names its six frames, nine option
                                    items and 128 grid cells
  focus TITLE NAME [DESCRIPTION...] the one node of the window a screen reader is told
                                    has the focus is NAME (and reads one of the
                                    descriptions): prints the description it reads
  dump TITLE FILE                   writes the window's tree, one node a line

ROLE is an AT-SPI role name: "push button", "label", "radio button", "panel"...
"""
import argparse
import re
import sys
import time

import pyatspi

FRAMES = ["自分の陣地", "相手の陣地", "大潜水艦", "中潜水艦", "小潜水艦", "状態"]
OPTION_ITEMS = ["大を配置", "中を配置", "小を配置"] + ["Option%d" % n for n in (1, 1, 2, 2, 3, 3)]


def windows():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is None:
            continue
        for win in app:
            if win is not None:
                yield win


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def window_titled(title):
    for win in windows():
        try:
            if win.name == title and showing(win):
                return win
        except Exception:  # a window that closed while it was read
            continue
    return None


def nodes(win):
    return pyatspi.findAllDescendants(win, lambda n: n is not None)


def extents(node):
    e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return "%d %d %d %d" % (e.x, e.y, e.width, e.height)


def wait(what, probe, timeout, seen=None, every=0.1):
    """Calls probe() until it returns something other than None, at most `timeout`
    seconds, `every` seconds apart; the accessibility bus tells no events here.
    On failure says what did not come and, from `seen`, what was there instead."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            found = probe()
        except Exception:  # the tree changed under the reader; read it again
            found = None
        if found is not None:
            return found
        if time.monotonic() >= deadline:
            instead = ", found %s instead" % seen.get("value") if seen else ""
            sys.exit("FAIL: %s did not come within %g s%s" % (what, timeout, instead))
        time.sleep(every)


def in_window(title, timeout, every=0.1):
    return wait("a window titled %r" % title, lambda: window_titled(title), timeout, every=every)


def node_named(win, role, name, want_showing=True):
    for n in nodes(win):
        if n.getRoleName() == role and n.name == name and showing(n) == want_showing:
            return n
    return None


def press(node):
    action = node.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    for wanted in ("press", "click", "toggle"):
        if wanted in names:
            action.doAction(names.index(wanted))
            return
    sys.exit("FAIL: %r has no press action (%s)" % (node.name, ", ".join(names)))


def press_and_listen(node, expected, timeout):
    """Presses `node` while listening for the changes of description that a screen
    reader hears: the events, not a later read of the tree. `expected` maps node
    names to the descriptions they must be announced with."""
    from gi.repository import GLib
    heard = {}

    def on_change(event):
        name = event.source.name if event.source is not None else None
        if name in expected:
            heard[name] = event.source.description
            if heard == expected:
                pyatspi.Registry.stop()
    pyatspi.Registry.registerEventListener(on_change, "object:property-change:accessible-description")
    GLib.idle_add(lambda: press(node) and False)
    GLib.timeout_add(int(timeout * 1000), lambda: pyatspi.Registry.stop() and False)
    pyatspi.Registry.start()
    if heard != expected:
        sys.exit("FAIL: announced %s within %g s, expected %s" % (heard, timeout, expected))
    for name, description in expected.items():
        print("ok: %r announced as %r" % (name, description))


ROUTER_BOX = "ルーターのポートを開く"


def check_game(win):
    """The game window as a screen reader presents it."""
    failures = []
    all_nodes = nodes(win)
    frames = [n.name for n in all_nodes if n.getRoleName() == "panel" and n.name]
    if sorted(frames) != sorted(FRAMES):
        failures.append("named frames %s, expected %s" % (frames, FRAMES))
    options = [n.name for n in all_nodes if n.getRoleName() == "radio button"]
    if sorted(options) != sorted(OPTION_ITEMS):
        failures.append("radio buttons %s, expected %s" % (options, OPTION_ITEMS))
    # The option items are no check boxes; the host's one is its router choice.
    checkboxes = [n.name for n in all_nodes if n.getRoleName() == "check box"]
    expected_boxes = [ROUTER_BOX] if "サーバー側" in win.name else []
    if checkboxes != expected_boxes:
        failures.append("check boxes %s, expected %s" % (checkboxes, expected_boxes))
    cells = {n.name for n in all_nodes if n.getRoleName() == "push button"}
    for board in ("自分の陣地", "相手の陣地"):
        missing = ["%s %d行%d列" % (board, r, c) for r in range(1, 9) for c in range(1, 9)
                   if "%s %d行%d列" % (board, r, c) not in cells]
        if missing:
            failures.append("%d cells of %s unnamed, first %s" % (len(missing), board, missing[0]))
    for f in failures:
        print("FAIL: %s: %s" % (win.name, f))
    if not failures:
        print("ok: %s names its 6 frames, 9 option items and 128 cells" % win.name)
    return not failures


# The hidden focus holder keeps the real keyboard focus while the keyboard cursor stands
# on a grid cell; what a player is told is the cell.
FOCUS_HOLDER = "Command6"


def focused_nodes(win):
    return [n for n in nodes(win) if n.name != FOCUS_HOLDER and
            n.getState().contains(pyatspi.STATE_FOCUSED)]


def dump(win, path):
    with open(path, "w", encoding="utf-8") as out:
        def walk(node, depth):
            if node is None:
                return
            states = sorted(pyatspi.stateToString(s) for s in node.getState().getStates()
                            if s in (pyatspi.STATE_SHOWING, pyatspi.STATE_CHECKED,
                                     pyatspi.STATE_ENABLED, pyatspi.STATE_FOCUSED))
            out.write("%s%s %r %r [%s]\n" % ("  " * depth, node.getRoleName(), node.name,
                                              node.description, " ".join(states)))
            for child in node:
                walk(child, depth + 1)
        walk(win, 0)


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--timeout", type=float, default=20)
    p.add_argument("--hidden", action="store_true")
    p.add_argument("--announces", nargs=2, action="append", metavar=("NODE", "DESCRIPTION"))
    p.add_argument("--every", type=float, default=0.1)
    p.add_argument("--times", action="store_true")
    p.add_argument("command")
    p.add_argument("args", nargs="*")
    a = p.parse_intermixed_args()
    t = a.timeout
    cmd, args = a.command, a.args

    if cmd == "window":
        if len(args) == 1:
            print(extents(in_window(args[0], t)))
            return 0
        place = " ".join(args[1:])
        seen = {}

        def placed():
            seen["value"] = extents(window_titled(args[0]))
            return seen["value"] if seen["value"] == place else None
        print(wait("the window %r at %s" % (args[0], place), placed, t, seen))
    elif cmd == "gone":
        wait("the end of the window %r" % args[0],
             lambda: True if window_titled(args[0]) is None else None, t)
    elif cmd == "find":
        win = in_window(args[0], t)
        state = "hidden" if a.hidden else "showing"
        node = wait("a %s %s %r in %r" % (state, args[1], args[2], args[0]),
                    lambda: node_named(win, args[1], args[2], not a.hidden), t)
        print(extents(node))
    elif cmd == "press":
        win = in_window(args[0], t)
        node = wait("a %s %r in %r" % (args[1], args[2], args[0]),
                    lambda: node_named(win, args[1], args[2]), t)
        if a.announces:
            press_and_listen(node, dict(a.announces), t)
        else:
            press(node)
    elif cmd == "type":
        win = in_window(args[0], t)
        box = wait("a text box in %r" % args[0],
                   lambda: next((n for n in nodes(win) if n.getRoleName() == "text"), None), t)
        box.queryEditableText().setTextContents(args[1])
    elif cmd == "holds":
        win = in_window(args[0], t)
        seen = {}

        def holds():
            box = next(n for n in nodes(win) if n.getRoleName() == "text")
            text = box.queryText()
            seen["value"] = repr(text.getText(0, text.characterCount))
            return True if seen["value"] == repr(args[1]) else None
        wait("the text box of %r holding %r" % (args[0], args[1]), holds, t, seen)
        print("ok: the text box of %r holds %r" % (args[0], args[1]))
    elif cmd == "read":
        win = in_window(args[0], t, a.every)
        shown_at = time.time()
        pattern = re.compile(args[2])
        seen = {}
        kept = {"nodes": [], "at": 0.0, "first": None}

        def matching():
            # A walk of the whole window takes longer than a short period, so the nodes
            # of the role are walked to once a second and only their names read between.
            if time.monotonic() - kept["at"] >= 1:
                kept["nodes"] = [n for n in nodes(win) if n.getRoleName() == args[1] and showing(n)]
                kept["at"] = time.monotonic()
            names = [n.name for n in kept["nodes"]]
            kept["first"] = kept["first"] or time.time()
            seen["value"] = names
            return next((name for name in names if pattern.search(name)), None)
        name = wait("a %s matching %r in %r" % (args[1], args[2], args[0]), matching, t, seen, a.every)
        if a.times:
            print("%.3f %.3f %.3f" % (shown_at, kept["first"], time.time()))
        print(name)
    elif cmd == "items":
        win = in_window(args[0], t)
        seen = {}

        def listed():
            seen["value"] = [n.name for n in nodes(win) if n.getRoleName() == "list item"]
            return True if seen["value"] == args[1:] else None
        wait("the entries %s in %r" % (args[1:], args[0]), listed, t, seen)
        print("ok: %r lists %s" % (args[0], args[1:]))
    elif cmd == "describe":
        win = in_window(args[0], t)
        seen = {}

        def described():
            text = next(n for n in nodes(win) if n.name == args[1]).description
            seen["value"] = repr(text)
            return text if text in args[2:] else None
        found = wait("%r in %r read as one of %r" % (args[1], args[0], args[2:]), described, t, seen)
        print("ok: %r in %r reads %r" % (args[1], args[0], found))
    elif cmd == "focus":
        win = in_window(args[0], t)
        seen = {}

        def focused():
            found = focused_nodes(win)
            seen["value"] = [(n.name, n.description) for n in found]
            if len(found) == 1 and found[0].name == args[1] and \
                    (len(args) == 2 or found[0].description in args[2:]):
                return found[0].description
            return None
        found = wait("the focus on %r in %r" % (args[1], args[0]), focused, t, seen)
        print(found)
    elif cmd == "game":
        return 0 if check_game(in_window(args[0], t)) else 1
    elif cmd == "dump":
        dump(in_window(args[0], t), args[1])
    else:
        p.error("unknown command %s" % cmd)
    return 0


if __name__ == "__main__":
    sys.exit(main())
