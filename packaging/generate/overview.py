"""The package's launcher patcher in extras/, named in package-info.json as
its homepatcher: it opens the help and says where the demo device is."""

from maxpatch import Patcher
from demo_device import NAME as DEVICE

NAME = "quenbrix-overview.maxpat"


def build():
    page = Patcher((100, 100, 560, 330))
    page.comment("quenbrix", 20, 14, 300, fontsize=20.0, fontface=1)
    page.comment(
        "An object for Max for Live devices that reaches the Live application around\n"
        "the device: the name of the open Live Set, Live's main window and keyboard\n"
        "focus, and opening a file in the running Live.", 20, 50, 520)
    page.comment(
        "It acts only inside a device running in Live. To try it, drag the demo device\n"
        "    Packages/quenbrix/devices/" + DEVICE + "\n"
        "onto a MIDI track in Live (from Finder or Explorer, or add the folder to the\n"
        "Places of Live's browser). It passes MIDI through unchanged.", 20, 110, 520,
        fontface=1)
    open_help = page.message("load quenbrix.maxhelp", 20, 200)
    window = page.obj("pcontrol", 20, 240)
    page.connect(open_help, 0, window, 0)
    page.comment("Click to open the help: the messages, the console texts and what to do\n"
                 "about each. The package's README.md is the user guide.", 200, 200, 340)
    return page
