"""Writes the generated files of the Max package into a folder:

  devices/quenbrix Demo.amxd          the demo device (a MIDI effect)
  help/quenbrix.maxhelp               the help patcher
  extras/quenbrix-overview.maxpat     the launcher named as homepatcher
  icon.png                            the package icon

  python3 make_package_files.py OUTPUT_FOLDER [HEADER...]

HEADER: the build's generated headers whose #defines the plug-in's console
texts use (liveapp_identity.h: the banner's date and maker).
"""

import os
import sys

import demo_device
import help_patcher
import icon
import maxpatch
import overview


def main(folder, headers):
    for sub in ("devices", "help", "extras"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    maxpatch.write_device(os.path.join(folder, "devices", demo_device.NAME),
                          maxpatch.MIDI_EFFECT, demo_device.build())
    maxpatch.write_patcher(os.path.join(folder, "help", "quenbrix.maxhelp"),
                           help_patcher.build(headers))
    maxpatch.write_patcher(os.path.join(folder, "extras", overview.NAME), overview.build())
    icon.write_icon(os.path.join(folder, "icon.png"))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
