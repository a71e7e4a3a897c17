"""The Max package as Ableton's own reader sees it: every patcher of the
package and the demo device read back through maxdiff without error, the
device's type, its quenbrix object, its cords and its behaviour on load.

    python3 -B readback_test.py PACKAGE_FOLDER SHARED_FOLDER

SHARED_FOLDER holds maxdevtools/ (Ableton's tools) and reference/ (the host
maker's package files). Exits with 77 (skipped) when maxdiff is not there.
"""

import glob
import json
import os
import struct
import sys
import unittest

if len(sys.argv) != 3:
    sys.exit(__doc__)
PACKAGE, SHARED = sys.argv[1], sys.argv[2]
MAXDIFF = os.path.join(SHARED, "maxdevtools", "maxdiff")
if not os.path.isfile(os.path.join(MAXDIFF, "amxd_textconv.py")):
    print("skipped: Ableton's maxdiff is not at %s, so nothing reads the package back" % MAXDIFF)
    sys.exit(77)
sys.path.insert(0, MAXDIFF)
sys.dont_write_bytecode = True

import amxd_textconv  # noqa: E402
import maxpat_textconv  # noqa: E402
from known_objects import known_objects  # noqa: E402
from object_aliases import object_aliases  # noqa: E402

DEVICE = os.path.join(PACKAGE, "devices", "quenbrix Demo.amxd")
HELP = os.path.join(PACKAGE, "help", "quenbrix.maxhelp")
DEVICE_HEIGHT = 169  # Live's device view

# The first Live that bundles each Max, for the devices' minimum versions.
FIRST_LIVE_WITH_MAX = {(8, 2): (11, 1), (8, 6): (12, 0)}

# Objects whose inlets and outlets follow their arguments, so Max's default
# counts say nothing about them.
SHAPED_BY_ARGUMENTS = {"trigger", "patcher", "route", "select", "pack", "unpack", "gate"}


def load_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def device_chunks(path):
    """The (tag, data) chunks of a device file, in order."""
    chunks = []
    with open(path, "rb") as f:
        while True:
            head = f.read(8)
            if len(head) < 8:
                return chunks
            tag, size = head[:4].decode("ascii"), struct.unpack("<I", head[4:])[0]
            chunks.append((tag, f.read(size)))


def device_patcher():
    data = dict(device_chunks(DEVICE))["ptch"]
    return json.loads(data.rstrip(b"\0").decode("utf-8"))["patcher"]


def patchers_below(patcher):
    """A patcher and every subpatcher in it."""
    yield patcher
    for b in patcher.get("boxes", []):
        if "patcher" in b["box"]:
            yield from patchers_below(b["box"]["patcher"])


def boxes(patcher):
    return [b["box"] for b in patcher.get("boxes", [])]


def lines(patcher):
    return [l["patchline"] for l in patcher.get("lines", [])]


def object_name(box):
    if box["maxclass"] != "newobj":
        return box["maxclass"]
    name = box.get("text", "").split()[0]
    return object_aliases.get(name, name)


def version(text):
    """'8.6.0' as (8, 6, 0); an empty or malformed text fails the test."""
    parts = text.split(".")
    if not text or not all(p.isdigit() for p in parts):
        raise AssertionError("not a version: %r" % text)
    return tuple(int(p) for p in parts)


def max_defaults():
    """Max's own inlet and outlet counts, by object name, from maxdiff."""
    out = {}
    for b in known_objects["boxes"]:
        b = b["box"]
        name = b["maxclass"] if b["maxclass"] != "newobj" else b.get("text", "").split()[0]
        out[name] = (b.get("numinlets"), b.get("numoutlets"))
    return out


def reachable(patcher, start, outlet=None):
    """Ids reached by cords from box `start` (from one outlet, or from all)."""
    seen, todo = set(), [(start, outlet)]
    while todo:
        box, only = todo.pop()
        for l in lines(patcher):
            if l["source"][0] == box and (only is None or l["source"][1] == only):
                target = l["destination"][0]
                if target not in seen:
                    seen.add(target)
                    todo.append((target, None))
    return seen


class EveryPatcherReadsBack(unittest.TestCase):
    def package_patchers(self):
        found = sorted(glob.glob(os.path.join(PACKAGE, "**", "*.max*"), recursive=True))
        return [f for f in found if f.endswith((".maxpat", ".maxhelp"))]

    def test_every_patcher_of_the_package_reads_back_through_maxdiff(self):
        patchers = self.package_patchers()
        self.assertIn(HELP, patchers)
        self.assertTrue(any("/extras/" in p for p in patchers), "no launcher in extras/")
        for path in patchers:
            with self.subTest(path=os.path.relpath(path, PACKAGE)):
                text = maxpat_textconv.parse(path)
                self.assertIsInstance(text, str)
                self.assertFalse(text.startswith(("Error parsing patch", "Patch file contains")),
                                 text)
                self.assertIn("----------- objects -----------", text)

    def test_every_cord_joins_an_existing_outlet_to_an_existing_inlet(self):
        sources = [(p, load_json(p)["patcher"])
                   for p in self.package_patchers()]
        sources.append((DEVICE, device_patcher()))
        defaults = max_defaults()
        for path, top in sources:
            for patcher in patchers_below(top):
                by_id = {b["id"]: b for b in boxes(patcher)}
                self.assertEqual(len(by_id), len(boxes(patcher)), "duplicate box ids")
                for l in lines(patcher):
                    with self.subTest(file=os.path.basename(path), cord=l):
                        (src, outlet), (dst, inlet) = l["source"], l["destination"]
                        self.assertIn(src, by_id)
                        self.assertIn(dst, by_id)
                        self.assertTrue(0 <= outlet < by_id[src]["numoutlets"])
                        self.assertTrue(0 <= inlet < by_id[dst]["numinlets"])
                # Counts that Max itself gives an object, where maxdiff knows them.
                for b in boxes(patcher):
                    name = object_name(b)
                    if name in defaults and name not in SHAPED_BY_ARGUMENTS:
                        with self.subTest(file=os.path.basename(path), box=b.get("text", name)):
                            self.assertEqual((b["numinlets"], b["numoutlets"]), defaults[name])


class DemoDevice(unittest.TestCase):
    def setUp(self):
        self.patcher = device_patcher()
        self.boxes = boxes(self.patcher)
        self.by_id = {b["id"]: b for b in self.boxes}
        self.quenbrix = [b["id"] for b in self.boxes if b.get("text", "").split()[:1] == ["quenbrix"]]

    def test_reads_back_as_a_midi_effect_holding_one_quenbrix_object(self):
        self.assertEqual([tag for tag, _ in device_chunks(DEVICE)], ["ampf", "meta", "ptch"])
        text = amxd_textconv.parse(DEVICE)
        self.assertTrue(text.startswith("MIDI Effect Device\n"), text[:80])
        self.assertIn("\n[quenbrix] ", text)
        self.assertIn("[midiin] (0) => (0) [midiout]", text)
        self.assertEqual(len(self.quenbrix), 1)

    def test_passes_midi_through_and_nothing_else_reaches_midiout(self):
        midi_in = [b["id"] for b in self.boxes if object_name(b) == "midiin"]
        midi_out = [b["id"] for b in self.boxes if object_name(b) == "midiout"]
        self.assertEqual((len(midi_in), len(midi_out)), (1, 1))
        into_out = [l["source"][0] for l in lines(self.patcher)
                    if l["destination"][0] == midi_out[0]]
        self.assertEqual(into_out, midi_in)

    def test_every_request_reaches_the_object_from_a_button(self):
        q = self.quenbrix[0]
        requests = set()
        for b in self.boxes:
            if b["maxclass"] == "message" and q in reachable(self.patcher, b["id"]):
                requests.add(b["text"].split()[0])
            if b.get("text", "").startswith("prepend ") and q in reachable(self.patcher, b["id"]):
                requests.add(b["text"].split()[1])
        self.assertEqual(requests, {"getname", "front", "savefocus", "recallfocus", "addfile"})
        for b in self.boxes:
            if b["maxclass"] == "message":
                with self.subTest(request=b["text"]):
                    feeders = [l["source"][0] for l in lines(self.patcher)
                               if l["destination"][0] == b["id"]]
                    self.assertTrue(feeders, "a request nobody can send")

    def test_nothing_fires_when_the_device_loads(self):
        for b in self.boxes:
            self.assertNotIn(object_name(b), {"loadbang", "loadmess", "live.thisdevice"})
            if b.get("parameter_enable"):
                with self.subTest(control=b.get("varname")):
                    value = b["saved_attribute_attributes"]["valueof"]
                    # Hidden: Live neither stores nor recalls it, so polling
                    # never comes back on by itself with a Live Set.
                    self.assertEqual(value.get("parameter_invisible"), 2)
                    self.assertFalse(value.get("parameter_initial_enable"))

    def test_results_are_shown_and_never_sent_back_into_the_object(self):
        q = self.quenbrix[0]
        for outlet in (0, 1):
            with self.subTest(outlet=outlet):
                after = reachable(self.patcher, q, outlet)
                self.assertNotIn(q, after)
                shown = [i for i in after if self.by_id[i]["maxclass"] == "live.comment"]
                self.assertEqual(len(shown), 1)
                self.assertTrue(self.by_id[shown[0]].get("presentation"))

    def test_displays_are_only_updated_from_the_low_priority_queue(self):
        for display in (b["id"] for b in self.boxes if b["maxclass"] == "live.comment"):
            for l in lines(self.patcher):
                if l["destination"][0] == display:
                    source = l["source"][0]
                    upstream = [m["source"][0] for m in lines(self.patcher)
                                if m["destination"][0] == source]
                    with self.subTest(display=self.by_id[display].get("text")):
                        self.assertTrue(
                            object_name(self.by_id[source]) == "deferlow" or
                            any(object_name(self.by_id[u]) == "deferlow" for u in upstream))

    def test_opens_in_presentation_within_its_declared_width(self):
        self.assertEqual(self.patcher.get("openinpresentation"), 1)
        width = self.patcher["devicewidth"]
        self.assertEqual(self.patcher["openrect"][2], width)
        self.assertTrue(150 <= width <= 400, width)
        shown = [b for b in self.boxes if b.get("presentation")]
        self.assertGreaterEqual(len(shown), 8)
        for b in shown:
            x, y, w, h = b["presentation_rect"]
            with self.subTest(box=b.get("text", b.get("varname"))):
                self.assertTrue(all(float(v).is_integer() for v in (x, y, w, h)), "whole pixels")
                self.assertTrue(0 <= x and x + w <= width and 0 <= y and y + h <= DEVICE_HEIGHT)

    def test_nothing_in_the_device_view_covers_anything_else(self):
        shown = [b for b in self.boxes if b.get("presentation")]
        for i, a in enumerate(shown):
            for b in shown[i + 1:]:
                (ax, ay, aw, ah), (bx, by, bw, bh) = a["presentation_rect"], b["presentation_rect"]
                with self.subTest(a=a.get("text", a.get("varname")), b=b.get("text", b.get("varname"))):
                    self.assertFalse(ax < bx + bw and bx < ax + aw and ay < by + bh and by < ay + ah)

    def test_every_button_sends_on_mouse_up_as_lives_buttons_do(self):
        buttons = [b for b in self.boxes if b["maxclass"] == "live.text"]
        self.assertGreaterEqual(len(buttons), 6)
        for b in buttons:
            with self.subTest(button=b.get("varname")):
                self.assertEqual(b.get("mode", 1), 0, "a toggle, not a button")
                self.assertEqual(b.get("outputmode", 0), 1, "sends on mouse down")

    def test_left_and_right_margins_are_equal(self):
        width = self.patcher["devicewidth"]
        shown = [b["presentation_rect"] for b in self.boxes if b.get("presentation")]
        left = min(x for x, _, _, _ in shown)
        right = width - max(x + w for x, _, w, _ in shown)
        self.assertGreater(left, 0)
        self.assertEqual(left, right)

    def test_minimum_versions_are_those_of_the_max_that_wrote_it(self):
        saved_by = self.patcher["appversion"]
        saved_by = (saved_by["major"], saved_by["minor"], saved_by["revision"])
        max_min = version(self.patcher.get("minimum_max_version", ""))
        live_min = version(self.patcher.get("minimum_live_version", ""))
        package_min = version(load_json(os.path.join(PACKAGE, "package-info.json"))
                              ["max_version_min"])
        # Not below the Max whose format the file is in, nor below what the
        # plug-in needs; and a Live that bundles at least that Max.
        self.assertGreaterEqual(max_min, saved_by)
        self.assertGreaterEqual(max_min, package_min)
        self.assertIn(max_min[:2], FIRST_LIVE_WITH_MAX, "which Live bundles Max %s?" % (max_min,))
        self.assertGreaterEqual(live_min, FIRST_LIVE_WITH_MAX[max_min[:2]])
        # maxdiff shows both, as Max for Live reads them.
        text = amxd_textconv.parse(DEVICE)
        self.assertIn("minimum_live_version: %s" % self.patcher["minimum_live_version"], text)
        self.assertIn("minimum_max_version: %s" % self.patcher["minimum_max_version"], text)

    def test_every_control_has_info_text(self):
        controls = [b for b in self.boxes if b["maxclass"] in ("live.text", "live.toggle")]
        self.assertGreaterEqual(len(controls), 6)
        for b in controls:
            with self.subTest(control=b.get("varname")):
                self.assertTrue(b.get("annotation"))
                self.assertTrue(b.get("annotation_name"))


class PackageInfo(unittest.TestCase):
    def test_carries_the_keys_of_the_host_makers_package_files(self):
        info = load_json(os.path.join(PACKAGE, "package-info.json"))
        references = glob.glob(os.path.join(SHARED, "reference", "*", "package-info.json"))
        if not references:
            self.skipTest("no reference package files in %s" % SHARED)
        usual = set.intersection(*(set(load_json(r)) for r in references))
        self.assertGreaterEqual(len(usual), 8)
        # "website" only once the project has an address: never an empty one.
        self.assertEqual(usual - set(info) - {"website"}, set())
        if "website" in info:
            self.assertRegex(info["website"], r"^https://\S+$")
        spelled = set()
        for r in references:
            spelled |= set(load_json(r)["os"]["macintosh"]["platform"])
        self.assertLessEqual(set(info["os"]["macintosh"]["platform"]), spelled)
        self.assertEqual(info["homepatcher"], os.path.basename(
            glob.glob(os.path.join(PACKAGE, "extras", "*.maxpat"))[0]))

    def test_launcher_opens_the_help_and_names_the_demo_device(self):
        home = load_json(os.path.join(PACKAGE, "package-info.json"))["homepatcher"]
        launcher = load_json(os.path.join(PACKAGE, "extras", home))["patcher"]
        by_id = {b["id"]: b for b in boxes(launcher)}
        opens = [by_id[l["source"][0]]["text"] for l in lines(launcher)
                 if object_name(by_id[l["destination"][0]]) == "pcontrol"]
        self.assertEqual(opens, ["load quenbrix.maxhelp"])
        self.assertTrue(os.path.isfile(HELP))
        said = "\n".join(b.get("text", "") for b in boxes(launcher) if b["maxclass"] == "comment")
        self.assertIn("devices/" + os.path.basename(DEVICE), said)
        self.assertTrue(os.path.isfile(DEVICE))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
