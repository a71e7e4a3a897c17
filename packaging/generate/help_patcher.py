"""The help patcher quenbrix.maxhelp: a "basic" tab, one tab each for the
focus requests, addfile and the console texts, and the "?" tab.

The object acts only inside Live, while a help patcher opens in Max or in the
Max for Live editor; so the first thing every tab says is where the object
can really be tried: the demo device.
"""

import os
import re

from maxpatch import Patcher
from demo_device import NAME as DEVICE

WIDTH, HEIGHT = 720.0, 600.0

LIVE_ONLY = (
    "quenbrix acts only inside a Max for Live device running in Live. Opened here, in Max or\n"
    "in the Max for Live editor, it warns once and its requests reach no Live window.\n"
    "To try it, drag the demo device devices/" + DEVICE + " of this package onto a\n"
    "MIDI track in Live.")

WARNING = "we are not in the Live process (it doesn't work in Max / M4L editor)"

EXAMPLE_FILE = "mysong.als"


def plugin_texts():
    """The console texts that the plug-in keeps in source/liveapp_texts.h."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                        "..", "..", "source", "liveapp_texts.h")
    with open(path, encoding="utf-8") as header:
        return dict(re.findall(r'^#define LIVEAPP_TEXT_(\w+) "(.*)"$', header.read(), re.M))


TEXT = plugin_texts()
NO_WINDOW = TEXT["NO_WINDOW"]
NOT_ACTIVE = TEXT["NOT_ACTIVE"]
NOTHING_SAVED = TEXT["NOTHING_SAVED"]
WINDOW_GONE = TEXT["WINDOW_GONE"]
NOT_FOUND = TEXT["FILE_NOT_FOUND"] % EXAMPLE_FILE


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
        NOT_ACTIVE + "\n"
        "    savefocus while another application is in front: the window saved earlier stays.\n"
        + NOTHING_SAVED + "\n"
        "    recallfocus before any savefocus. On macOS also after a savefocus made while Live\n"
        "    was active but none of its windows was key: that savefocus replaces the saved\n"
        "    window with nothing, on purpose, so recallfocus brings no stale window back.\n"
        + WINDOW_GONE + "\n"
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
        "file argument missing\n"
        "    addfile without a file name: nothing is sent, nothing leaves the outlet.\n"
        + NOT_FOUND + "\n"
        "    the search path does not know the file: error leaves the right outlet.\n"
        "    Put the file in a folder of Max's search path, or give its full path.",
        20, 330, 600)
    return tab


def console():
    tab = tab_patcher()
    live_only(tab)
    tab.comment(
        "Max console texts, each tagged with the object:\n"
        + WARNING + "\n"
        "    (warning) the object was made outside Live, e.g. in Max or the Max for Live editor.\n"
        "    Use it in a device running in Live.\n"
        + NO_WINDOW + "\n"
        "    getname or front found no main window of Live.\n"
        "Live process not found (it doesn't work in Max / M4L editor)\n"
        "    getname on Windows, when the object was made outside Live.\n"
        + NOT_ACTIVE + "\n"
        "    savefocus while another application is in front; a window saved earlier stays saved.\n"
        + NOTHING_SAVED + "\n"
        "    recallfocus before any savefocus (see the focus tab).\n"
        + WINDOW_GONE + "\n"
        "    recallfocus after the saved window was closed or hidden.\n"
        "file argument missing\n"
        "    addfile without a file name; nothing leaves the right outlet.\n"
        + NOT_FOUND + "\n"
        "    the search path does not know the file; error leaves the right outlet.\n"
        "error getting process path\n"
        "    addfile on macOS could not find Live's application; error leaves the right outlet.",
        20, 90, 620)
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


def build():
    root = Patcher((100, 100, WIDTH, HEIGHT), showontab=1, showrootpatcherontab=0)
    x = 20
    for name, make in (("basic", basic), ("focus", focus), ("addfile", addfile),
                       ("console", console), ("?", details)):
        root.tab(name, make(), x, 20)
        x += 90
    return root
