"""Writes Max patchers (.maxpat, .maxhelp) and Max for Live devices (.amxd)
from short Python descriptions.

A patcher is JSON: {"patcher": {..., "boxes": [{"box": {...}}],
"lines": [{"patchline": {"source": [id, outlet], "destination": [id, inlet]}}]}}.
A device file is a chain of chunks, each a four-letter tag, a little-endian
32-bit size and the data: "ampf" (the device type), "meta", then "ptch" (the
patcher JSON, ended by a zero byte).
"""

import json
import struct

APPVERSION = {"major": 8, "minor": 6, "revision": 0, "architecture": "x64", "modernui": 1}

# Inlets, outlets and outlet types of the boxes these patchers use, by
# maxclass or, for object boxes, by the object's name.
SHAPES = {
    "comment": (1, 0, None),
    "live.comment": (1, 0, None),
    "message": (2, 1, [""]),
    "live.text": (1, 2, ["", ""]),
    "live.toggle": (1, 1, [""]),
    "panel": (1, 0, None),
    "quenbrix": (1, 2, ["", ""]),
    "midiin": (1, 1, ["int"]),
    "midiout": (1, 0, None),
    "metro": (2, 1, ["bang"]),
    "delay": (2, 1, ["bang"]),
    "prepend": (1, 1, [""]),
    "deferlow": (1, 1, [""]),
    "opendialog": (1, 2, ["", "bang"]),
    "pcontrol": (1, 1, [""]),
    "p": (0, 0, None),
    "t": (1, 1, ["bang"]),  # as "t b"
}

# The device types of the "ampf" chunk.
AUDIO_EFFECT, MIDI_EFFECT, INSTRUMENT = b"aaaa", b"mmmm", b"iiii"


class Patcher:
    def __init__(self, rect, **attributes):
        self.attributes = {
            "fileversion": 1,
            "appversion": dict(APPVERSION),
            "classnamespace": "box",
            "rect": [float(v) for v in rect],
            "bglocked": 0,
            "openinpresentation": 0,
            "default_fontsize": 12.0,
            "default_fontface": 0,
            "default_fontname": "Arial",
            "gridonopen": 1,
            "gridsize": [15.0, 15.0],
            "gridsnaponopen": 1,
            "objectsnaponopen": 1,
            "statusbarvisible": 2,
            "toolbarvisible": 1,
            "boxanimatetime": 200,
            "enablehscroll": 1,
            "enablevscroll": 1,
            "devicewidth": 0.0,
            "description": "",
            "digest": "",
            "tags": "",
            "style": "",
            "subpatcher_template": "",
            "assistshowspatchername": 0,
        }
        self.attributes.update(attributes)
        self.boxes = []
        self.lines = []

    def box(self, maxclass, rect, text=None, name=None, **attributes):
        """Adds a box; `name` picks the shape of an object box."""
        inlets, outlets, types = SHAPES[name or maxclass]
        box = {
            "id": "obj-%d" % (len(self.boxes) + 1),
            "maxclass": maxclass,
            "numinlets": inlets,
            "numoutlets": outlets,
            "patching_rect": [float(v) for v in rect],
        }
        if types is not None:
            box["outlettype"] = list(types)
        if text is not None:
            box["text"] = text
            if maxclass in ("comment", "live.comment"):
                box["linecount"] = text.count("\n") + 1
        box.update(attributes)
        self.boxes.append(box)
        return box["id"]

    def obj(self, text, x, y, width=None, **attributes):
        """An object box; its shape comes from the first word of `text`."""
        width = width or 8.0 + 7.0 * len(text)
        return self.box("newobj", (x, y, width, 22), text, name=text.split()[0], **attributes)

    def message(self, text, x, y, width=None, **attributes):
        width = width or 10.0 + 7.0 * len(text)
        return self.box("message", (x, y, width, 22), text, **attributes)

    def comment(self, text, x, y, width, maxclass="comment", **attributes):
        """A comment wide enough that Max does not wrap its lines again."""
        width = max(width, 10.0 + 6.5 * max(len(line) for line in text.split("\n")))
        height = 6.0 + 14.0 * (text.count("\n") + 1)
        return self.box(maxclass, (x, y, width, height), text, **attributes)

    def tab(self, name, patcher, x, y):
        """A subpatcher shown as a tab of the window (help patchers)."""
        patcher.attributes["showontab"] = 1
        return self.box("newobj", (x, y, 20.0 + 7.0 * len(name), 22), "p " + name, name="p",
                        patcher=patcher.as_dict()["patcher"],
                        saved_object_attributes={"description": "", "digest": "",
                                                 "globalpatchername": "", "tags": ""})

    def connect(self, source, outlet, destination, inlet):
        self.lines.append({"patchline": {"source": [source, outlet],
                                         "destination": [destination, inlet]}})

    def as_dict(self):
        patcher = dict(self.attributes)
        patcher["boxes"] = [{"box": b} for b in self.boxes]
        patcher["lines"] = list(self.lines)
        return {"patcher": patcher}


def patcher_json(patcher):
    return json.dumps(patcher.as_dict(), indent="\t", ensure_ascii=False) + "\n"


def write_patcher(path, patcher):
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write(patcher_json(patcher))


def chunk(tag, data):
    return tag + struct.pack("<I", len(data)) + data


def write_device(path, device_type, patcher):
    text = patcher_json(patcher).encode("utf-8") + b"\0"
    with open(path, "wb") as out:
        out.write(chunk(b"ampf", device_type))
        out.write(chunk(b"meta", struct.pack("<I", 1)))
        out.write(chunk(b"ptch", text))
