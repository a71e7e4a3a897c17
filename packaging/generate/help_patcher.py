"""The help patcher quenbrix.maxhelp: a "basic" tab, one tab each for the
focus requests, addfile and the console texts, and the "?" tab.

The object acts only inside Live, while a help patcher opens in Max or in the
Max for Live editor; so the first thing every tab says is where the object
can really be tried: the demo device.
"""

import sys

import console_texts
from maxpatch import Patcher
from demo_device import NAME as DEVICE

WIDTH, HEIGHT = 720.0, 600.0

LIVE_ONLY = (
    "quenbrix acts only inside a Max for Live device running in Live. Opened here, in Max or\n"
    "in the Max for Live editor, it warns once and its requests reach no Live window.\n"
    "To try it, drag the demo device devices/" + DEVICE + " of this package onto a\n"
    "MIDI track in Live.")

EXAMPLE_FILE = "mysong.als"

# Every text the plug-in can post, read from its sources by build(); TEXT
# by key (NO_WINDOW, or the format written at its one point of use).
CONSOLE = []
TEXT = {}

# What each console text means, in the order the console tab shows them:
# by its name in source/liveapp_texts.h, or by its format where it is
# written at its one point of use. A text of the plug-in missing here is
# left out of the help, with a warning at build time, and the help tests
# fail until it is explained.
EXPLAIN = {
    "%s %s %s":
        "once, untagged, when Max loads the plug-in: which build is loaded. Nothing to do.",
    "we are not in the Live process (it doesn't work in Max / M4L editor)":
        "(warning) the object was made outside Live, in Max or the Max for Live editor.\n"
        "Use it in a device running in Live.",
    "can't identify process":
        "when the object is made: it could not learn which application it runs in.\n"
        "Recreate the object; if it persists, restart Live.",
    "error getting process name":
        "when the object is made: it could not learn which application it runs in.\n"
        "Recreate the object; if it persists, restart Live.",
    "NO_WINDOW":
        "getname or front found no main window of Live. In Live, open the main window.",
    "Live process not found (it doesn't work in Max / M4L editor)":
        "getname, when the object was made outside Live.",
    "NOT_ACTIVE":
        "savefocus while another application is in front; a window saved earlier stays saved.",
    "CANT_ACTIVATE":
        "front or recallfocus while Live was not active, and the system offered no way\n"
        "to activate it. Click Live's window.",
    "NOT_FRONTED":
        "front or recallfocus: the system left the window minimised or behind another one.\n"
        "Click Live's window.",
    "NOTHING_SAVED":
        "recallfocus before any savefocus (see the focus tab).",
    "WINDOW_GONE":
        "recallfocus after the saved window was closed or hidden: savefocus again.",
    "file argument missing":
        "addfile without a file name; nothing leaves the right outlet.",
    "FILE_NOT_FOUND":
        "addfile: Max's search path does not know the file; error leaves the right outlet.",
    "NO_NATIVE_PATH":
        "addfile: the file's full path is too long for Max (over 2,048 bytes); error\n"
        "leaves the right outlet and Live is not asked. Move the file to a shorter path.",
    "error getting process path":
        "addfile could not learn where Live's application is; error leaves the right outlet.",
    "NOT_GIVEN":
        "addfile: the system refused to hand the file to Live, or Live's program could not\n"
        "be started with it; error leaves the right outlet.",
    "can't start the file hand-off":
        "addfile could not start its worker; error leaves the right outlet. Try again.",
    "I got a double-click":
        "the object box was double-clicked in a locked patch. Nothing to do.",
    "register window mess":
        "a note of an undocumented request, kept for devices that use it: it\n"
        "broadcasts Live's window message to all applications. Nothing to do.",
    "registered window message %x":
        "the number the system gave that window message. Nothing to do.",
    "error registering window message":
        "the system refused to register that window message; nothing is broadcast.\n"
        "Nothing to do.",
    "NO_BROADCAST":
        "the system refused to broadcast that window message. Nothing to do.",
}
PLATFORM_NOTE = {"Windows": "Windows only.", "macOS": "macOS only."}


def console_entries():
    """(text, explanation) for every console text, in the order of EXPLAIN;
    warns about a text with no explanation and an explanation of no text."""
    keys = {t.key: t for t in CONSOLE}
    for key in keys.keys() - EXPLAIN.keys():
        print("help: no explanation of the console text %r" % keys[key].text, file=sys.stderr)
    for key in EXPLAIN.keys() - keys.keys():
        print("help: the plug-in no longer posts %r" % key, file=sys.stderr)
    entries = []
    for key, explanation in EXPLAIN.items():
        if key in keys:
            text = keys[key]
            if len(text.platforms) == 1:
                explanation += " " + PLATFORM_NOTE[next(iter(text.platforms))]
            entries.append((text.text, explanation))
    return entries


def tab_patcher():
    return Patcher((0, 26, WIDTH, HEIGHT - 26))


def live_only(tab):
    tab.comment(LIVE_ONLY, 10, 10, 620, fontface=1)


def with_object(tab, messages, x, y):
    """Message boxes in a row above one quenbrix object; returns its id."""
    ids = []
    for text in messages:
        ids.append(tab.message(text, x, y))
        x += 24 + 7.0 * len(text)
    q = tab.obj("quenbrix", 20, y + 60, 70)
    for m in ids:
        tab.connect(m, 0, q, 0)
    return q


def outlet_displays(tab, q, y):
    name = tab.message("", 20, y, 160)
    result = tab.message("", 200, y, 80)
    tab.connect(q, 0, name, 1)
    tab.connect(q, 1, result, 1)
    tab.comment("Live Set name (left outlet)", 20, y + 26, 170)
    tab.comment("ok or error (right outlet, after addfile)", 200, y + 26, 240)


def basic():
    tab = tab_patcher()
    live_only(tab)
    tab.comment("getname asks for the name of the open Live Set; front brings Live's main\n"
                "window to the front; addfile asks the running Live to open a file.",
                20, 90, 560)
    q = with_object(tab, ["getname", "front", "addfile " + EXAMPLE_FILE], 20, 140)
    tab.comment("one inlet for the requests; creation arguments are ignored", 100, 200, 360)
    outlet_displays(tab, q, 250)
    tab.comment("Windows: getname removes the * of an unsaved Set and everything from\n"
                "\" - Ableton Live\" on. macOS: getname sends the window title as it stands.\n"
                "The other tabs show the focus requests, addfile and the console texts.",
                20, 320, 560)
    return tab


def focus():
    tab = tab_patcher()
    live_only(tab)
    tab.comment("savefocus remembers the window of Live that has the keyboard focus now;\n"
                "recallfocus brings that window back to the front later. front brings\n"
                "Live's main window forward.", 20, 90, 560)
    with_object(tab, ["savefocus", "recallfocus", "front"], 20, 150)
    tab.comment(
        TEXT["NOT_ACTIVE"] + "\n"
        "    savefocus while another application is in front: the window saved earlier stays.\n"
        + TEXT["NOTHING_SAVED"] + "\n"
        "    recallfocus before any savefocus. On macOS also after a savefocus made while Live\n"
        "    was active but none of its windows was key: that savefocus replaces the saved\n"
        "    window with nothing, on purpose, so recallfocus brings no stale window back.\n"
        + TEXT["WINDOW_GONE"] + "\n"
        "    recallfocus after the saved window was closed or hidden: save again.\n"
        "macOS 14 and later: the system may refuse to bring Live forward from behind another\n"
        "application. front and recallfocus then only ask; click Live's window.",
        20, 260, 600)
    tab.comment("Nothing leaves the outlets for these requests.", 100, 210, 300)
    return tab


def addfile():
    tab = tab_patcher()
    live_only(tab)
    tab.comment("addfile finds the file in Max's search path (a full path works too) and asks\n"
                "the running Live to open it, as if it were opened from Live's File menu.\n"
                "A Live Set replaces the open Set: Live asks first.", 20, 90, 560)
    q = with_object(tab, ["addfile " + EXAMPLE_FILE], 20, 150)
    outlet_displays(tab, q, 260)
    tab.comment(
        TEXT["FILE_NOT_FOUND"].replace("<name>", EXAMPLE_FILE) + "\n"
        "    the search path does not know the file: error leaves the right outlet.\n"
        "    Put the file in a folder of Max's search path, or give its full path.\n"
        "addfile without a file name sends nothing; the console tab lists every text.",
        20, 330, 600)
    return tab


def console():
    tab = tab_patcher()
    live_only(tab)
    entries = console_entries()
    tab.comment("The %d texts quenbrix can post to the Max console (scroll down for all of\n"
                "them), each tagged with the object but the first:" % len(entries), 20, 80, 560)
    y = 120
    for text, explanation in entries:
        lines = explanation.split("\n")
        tab.comment(text + "\n" + "\n".join("    " + line for line in lines), 20, y, 620)
        y += 14 * (len(lines) + 1) + 6
    return tab


def details():
    tab = tab_patcher()
    live_only(tab)
    tab.comment(
        "quenbrix: one inlet, two outlets. Left: the Live Set name, one symbol.\n"
        "Right: ok or error after addfile. Errors go to the Max console.\n\n"
        "Platforms: Windows x64 (quenbrix.mxe64), macOS 10.11 or later on Intel and\n"
        "11 or later on Apple silicon (quenbrix.mxo).\n\n"
        "Sharing a device that uses quenbrix: freeze it with both plug-ins in this\n"
        "package installed, so that the frozen device carries both.\n\n"
        "The package README and the reference page (docs/refpages) say more:\n"
        "installing, a plug-in that macOS or Windows blocks, and the known limits.\n\n"
        "See also: live.thisdevice, live.path",
        20, 90, 560)
    return tab


def build(headers=()):
    """The help patcher; `headers` as for console_texts.texts."""
    CONSOLE[:] = console_texts.texts(headers)
    TEXT.update({t.key: t.text for t in CONSOLE})
    root = Patcher((100, 100, WIDTH, HEIGHT), showontab=1, showrootpatcherontab=0)
    x = 20
    for name, make in (("basic", basic), ("focus", focus), ("addfile", addfile),
                       ("console", console), ("?", details)):
        root.tab(name, make(), x, 20)
        x += 90
    return root
