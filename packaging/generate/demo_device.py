"""The demo device: a MIDI effect that passes MIDI through unchanged and
shows one quenbrix object with a small interface, so that the object can be
tried inside Live in a minute.

Nothing fires when the device loads: there is no loadbang, and the buttons
and the poll toggle are hidden parameters, which Live neither stores nor
recalls, so every copy of the device starts with polling off.

Held against Ableton's checklist for shared devices: every button sends on
mouse up, as Live's own buttons do; the left and right margins are equal;
the minimum Live and Max versions are those of the Max that writes this
file's format (APPVERSION in maxpatch.py: 8.6, first bundled with Live
12.0). Two points of the checklist it does not meet, on purpose: the Max
window shows the object's banner when the plug-in loads (the object posts
it, once per Max session, to say which build is loaded), and the device is
not frozen (it uses the package's plug-in, and a frozen copy would carry
one platform's plug-in only, or an old one after an update).
"""

from maxpatch import APPVERSION, Patcher

NAME = "quenbrix Demo.amxd"
WIDTH = 300
HEIGHT = 169  # the height of Live's device view
MARGIN = 8  # left and right alike

# The Max that writes this file's format, and the first Live that bundles it.
MINIMUM_MAX = "%(major)d.%(minor)d.%(revision)d" % APPVERSION
MINIMUM_LIVE = "12.0"


def button(device, label, x, y, width, rect, info):
    """A live.text in button mode that sends on mouse up, as Live's buttons
    do, kept out of Live's stored parameters."""
    return device.box(
        "live.text", (x, y, width, 18), name="live.text",
        varname=label, text=label, texton=label, mode=0, outputmode=1,
        presentation=1, presentation_rect=[float(v) for v in rect],
        parameter_enable=1,
        annotation=info, annotation_name=label,
        saved_attribute_attributes={"valueof": {
            "parameter_longname": label, "parameter_shortname": label,
            "parameter_type": 2, "parameter_mmax": 1,
            "parameter_enum": [label, label],
            "parameter_invisible": 2,
            "parameter_annotation_name": label, "parameter_info": info}})


def label(device, text, x, y, width, rect, info=""):
    return device.box("live.comment", (x, y, width, 18), text,
                      presentation=1, presentation_rect=[float(v) for v in rect],
                      textjustification=0, annotation=info)


def build():
    device = Patcher(
        (100, 100, 960, 480),
        openinpresentation=1,
        openrect=[0.0, 0.0, float(WIDTH), float(HEIGHT)],
        devicewidth=float(WIDTH),
        default_fontsize=10.0,
        default_fontname="Arial Bold",
        gridsize=[8.0, 8.0],
        description="Tries the quenbrix object inside Live: the Live Set name, "
                    "Live's window and focus, and opening a file in Live.",
        latency=0, is_mpe=1, external_mpe_tuning_enabled=0,
        minimum_live_version=MINIMUM_LIVE, minimum_max_version=MINIMUM_MAX,
        platform_compatibility=0, autosave=0)

    # MIDI passes through untouched, so the device fits on any MIDI track.
    device.comment("MIDI passes through unchanged", 20, 16, 200)
    midi_in = device.obj("midiin", 20, 40)
    midi_out = device.obj("midiout", 20, 80)
    device.connect(midi_in, 0, midi_out, 0)

    q = device.obj("quenbrix", 460, 230, 80)

    # Set name: a button, and a toggle that asks once a second.
    get = button(device, "Set Name", 200, 40, 64, (MARGIN, 8, 64, 18),
                 "Shows the name of the open Live Set, taken from Live's main window.")
    poll = device.box(
        "live.toggle", (300, 40, 18, 18), name="live.toggle",
        varname="Poll", presentation=1, presentation_rect=[80.0, 8.0, 18.0, 18.0],
        parameter_enable=1, annotation_name="Poll",
        annotation="Asks for the Live Set name once a second while on, "
                   "so a Save As shows up by itself. Runs while Live's audio engine runs.",
        saved_attribute_attributes={"valueof": {
            "parameter_longname": "Poll", "parameter_shortname": "Poll",
            "parameter_type": 2, "parameter_mmax": 1,
            "parameter_enum": ["off", "on"], "parameter_invisible": 2}})
    label(device, "every second", 324, 40, 90, (100, 8, 90, 18))
    metro = device.obj("metro 1000", 300, 80)
    getname = device.message("getname", 200, 150)
    device.connect(get, 0, getname, 0)
    device.connect(poll, 0, metro, 0)
    device.connect(metro, 0, getname, 0)
    device.connect(getname, 0, q, 0)

    # The set name is shown and goes nowhere else: never back into quenbrix.
    name_defer = device.obj("deferlow", 200, 290)
    name_set = device.obj("prepend set", 200, 320)
    name_show = label(device, "-", 200, 360, 280, (MARGIN, 30, WIDTH - 2 * MARGIN, 18),
                      "The name of the open Live Set, as getname reported it.")
    device.connect(q, 0, name_defer, 0)
    device.connect(name_defer, 0, name_set, 0)
    device.connect(name_set, 0, name_show, 0)

    # Window and focus.
    row = 58
    front = button(device, "Front", 460, 40, 48, (MARGIN, row, 48, 18),
                   "Brings Live's main window to the front and gives it the keyboard focus.")
    later = button(device, "Front in 3 s", 520, 40, 80, (60, row, 80, 18),
                   "Switch to another application within 3 seconds and watch Live come "
                   "back. On macOS 14 and later the system may refuse.")
    save = button(device, "Save Focus", 620, 40, 70, (144, row, 70, 18),
                  "Remembers the window of Live that has the keyboard focus now.")
    recall = button(device, "Recall Focus", 710, 40, 74, (218, row, WIDTH - MARGIN - 218, 18),
                    "Brings the window remembered by Save Focus back to the front.")
    # Whatever the button sends, the delay only ever gets a bang: a number
    # would set the delay time instead.
    as_bang = device.obj("t b", 520, 80)
    wait = device.obj("delay 3000", 520, 110)
    device.connect(later, 0, as_bang, 0)
    device.connect(as_bang, 0, wait, 0)
    for source, text, x in ((front, "front", 460), (save, "savefocus", 620),
                            (recall, "recallfocus", 710)):
        m = device.message(text, x, 150)
        device.connect(source, 0, m, 0)
        device.connect(m, 0, q, 0)
        if text == "front":
            device.connect(wait, 0, m, 0)

    # Hand Live a file: choose it, then addfile; ok or error is shown.
    row = 86
    choose = button(device, "Open File...", 820, 40, 76, (MARGIN, row, 76, 18),
                    "Choose a file, such as a Live Set, and ask Live to open it. "
                    "Live asks before it replaces the open Set.")
    dialog = device.obj("opendialog", 820, 80)
    addfile = device.obj("prepend addfile", 820, 150)
    device.connect(choose, 0, dialog, 0)
    device.connect(dialog, 0, addfile, 0)
    device.connect(addfile, 0, q, 0)
    result_defer = device.obj("deferlow", 520, 290)
    result_set = device.obj("prepend set", 520, 320)
    result_show = label(device, "-", 520, 360, 120, (90, row, 120, 18),
                        "ok once the file was handed to Live, error when it was not found.")
    device.connect(q, 1, result_defer, 0)
    device.connect(result_defer, 0, result_set, 0)
    device.connect(result_set, 0, result_show, 0)

    label(device, "Messages: right-click the title bar, Open Max Window", 20, 420, 290,
          (MARGIN, 120, WIDTH - 2 * MARGIN, 18))

    device.attributes["parameters"] = {
        b["id"]: [b["varname"], b["varname"], 0]
        for b in device.boxes if b.get("parameter_enable")}
    device.attributes["parameters"]["inherited_shortname"] = 1
    return device
