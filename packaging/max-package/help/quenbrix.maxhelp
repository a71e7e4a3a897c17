{
 "patcher": {
  "fileversion": 1,
  "appversion": {
   "major": 8,
   "minor": 5,
   "revision": 5,
   "architecture": "x64",
   "modernui": 1
  },
  "classnamespace": "box",
  "rect": [
   100.0,
   100.0,
   820.0,
   720.0
  ],
  "bglocked": 0,
  "openinpresentation": 0,
  "default_fontsize": 12.0,
  "default_fontface": 0,
  "default_fontname": "Arial",
  "gridonopen": 1,
  "gridsize": [
   15.0,
   15.0
  ],
  "gridsnaponopen": 1,
  "toolbarvisible": 1,
  "description": "",
  "digest": "",
  "tags": "",
  "style": "",
  "boxes": [
   {
    "box": {
     "id": "obj-1",
     "maxclass": "comment",
     "numinlets": 1,
     "numoutlets": 0,
     "patching_rect": [
      20.0,
      14.0,
      560.0,
      27.0
     ],
     "text": "quenbrix",
     "linecount": 1,
     "fontsize": 20.0,
     "fontface": 1
    }
   },
   {
    "box": {
     "id": "obj-2",
     "maxclass": "comment",
     "numinlets": 1,
     "numoutlets": 0,
     "patching_rect": [
      20.0,
      44.0,
      700.0,
      33.0
     ],
     "text": "Reaches out of a Max for Live device to the Live application around it: the name of the\nLive Set, Live's main window and keyboard focus, and opening a file in the running Live.",
     "linecount": 2
    }
   },
   {
    "box": {
     "id": "obj-3",
     "maxclass": "message",
     "numinlets": 2,
     "numoutlets": 1,
     "patching_rect": [
      20.0,
      185.0,
      70.0,
      22.0
     ],
     "outlettype": [
      ""
     ],
     "text": "getname"
    }
   },
   {
    "box": {
     "id": "obj-4",
     "maxclass": "comment",
     "numinlets": 1,
     "numoutlets": 0,
     "patching_rect": [
      20.0,
      95.0,
      170.0,
      80.0
     ],
     "text": "Sends the name of the open\nLive Set out of the left outlet.\nOn Windows the * of an unsaved\nset and everything from\n\" - Ableton Live\" on are removed.",
     "linecount": 5
    }
   },
   {
    "box": {
     "id": "obj-5",
     "maxclass": "message",
     "numinlets": 2,
     "numoutlets": 1,
     "patching_rect": [
      200.0,
      185.0,
      50.0,
      22.0
     ],
     "outlettype": [
      ""
     ],
     "text": "front"
    }
   },
   {
    "box": {
     "id": "obj-6",
     "maxclass": "comment",
     "numinlets": 1,
     "numoutlets": 0,
     "patching_rect": [
      200.0,
      95.0,
      135.0,
      80.0
     ],
     "text": "Brings Live's main\nwindow to the front and\ngives it the keyboard\nfocus.",
     "linecount": 4
    }
   },
   {
    "box": {
     "id": "obj-7",
     "maxclass": "message",
     "numinlets": 2,
     "numoutlets": 1,
     "patching_rect": [
      340.0,
      185.0,
      75.0,
      22.0
     ],
     "outlettype": [
      ""
     ],
     "text": "savefocus"
    }
   },
   {
    "box": {
     "id": "obj-8",
     "maxclass": "comment",
     "numinlets": 1,
     "numoutlets": 0,
     "patching_rect": [
      340.0,
      95.0,
      135.0,
      80.0
     ],
     "text": "Remembers the window\nof Live that has the\nfocus now.",
     "linecount": 3
    }
   },
   {
    "box": {
     "id": "obj-9",
     "maxclass": "message",
     "numinlets": 2,
     "numoutlets": 1,
     "patching_rect": [
      480.0,
      185.0,
      80.0,
      22.0
     ],
     "outlettype": [
      ""
     ],
     "text": "recallfocus"
    }
   },
   {
    "box": {
     "id": "obj-10",
     "maxclass": "comment",
     "numinlets": 1,
     "numoutlets": 0,
     "patching_rect": [
      480.0,
      95.0,
      130.0,
      80.0
     ],
     "text": "Brings the window\nremembered by\nsavefocus back\nto the front.",
     "linecount": 4
    }
   },
   {
    "box": {
     "id": "obj-11",
     "maxclass": "message",
     "numinlets": 2,
     "numoutlets": 1,
     "patching_rect": [
      620.0,
      185.0,
      120.0,
      22.0
     ],
     "outlettype": [
      ""
     ],
     "text": "addfile mysong.als"
    }
   },
   {
    "box": {
     "id": "obj-12",
     "maxclass": "comment",
     "numinlets": 1,
     "numoutlets": 0,
     "patching_rect": [
      620.0,
      95.0,
      175.0,
      80.0
     ],
     "text": "Finds mysong.als in Max's\nsearch path and asks the\nrunning Live to open it;\nok or error follows on the\nright outlet.",
     "linecount": 5
    }
   },
   {
    "box": {
     "id": "obj-13",
     "maxclass": "newobj",
     "numinlets": 1,
     "numoutlets": 2,
     "patching_rect": [
      20.0,
      240.0,
      70.0,
      22.0
     ],
     "outlettype": [
      "",
      ""
     ],
     "text": "quenbrix"
    }
   },
   {
    "box": {
     "id": "obj-14",
     "maxclass": "comment",
     "numinlets": 1,
     "numoutlets": 0,
     "patching_rect": [
      100.0,
      240.0,
      560.0,
      20.0
     ],
     "text": "one inlet for the messages above; creation arguments are ignored",
     "linecount": 1
    }
   },
   {
    "box": {
     "id": "obj-15",
     "maxclass": "message",
     "numinlets": 2,
     "numoutlets": 1,
     "patching_rect": [
      20.0,
      300.0,
      200.0,
      22.0
     ],
     "outlettype": [
      ""
     ],
     "text": ""
    }
   },
   {
    "box": {
     "id": "obj-16",
     "maxclass": "comment",
     "numinlets": 1,
     "numoutlets": 0,
     "patching_rect": [
      20.0,
      326.0,
      220.0,
      20.0
     ],
     "text": "Live Set name (left outlet)",
     "linecount": 1
    }
   },
   {
    "box": {
     "id": "obj-17",
     "maxclass": "message",
     "numinlets": 2,
     "numoutlets": 1,
     "patching_rect": [
      250.0,
      300.0,
      80.0,
      22.0
     ],
     "outlettype": [
      ""
     ],
     "text": ""
    }
   },
   {
    "box": {
     "id": "obj-18",
     "maxclass": "comment",
     "numinlets": 1,
     "numoutlets": 0,
     "patching_rect": [
      250.0,
      326.0,
      280.0,
      20.0
     ],
     "text": "ok or error (right outlet, after addfile)",
     "linecount": 1
    }
   },
   {
    "box": {
     "id": "obj-19",
     "maxclass": "comment",
     "numinlets": 1,
     "numoutlets": 0,
     "patching_rect": [
      20.0,
      380.0,
      720.0,
      20.0
     ],
     "text": "Max console texts, each tagged with the object:",
     "linecount": 1,
     "fontface": 1
    }
   },
   {
    "box": {
     "id": "obj-20",
     "maxclass": "comment",
     "numinlets": 1,
     "numoutlets": 0,
     "patching_rect": [
      20.0,
      404.0,
      720.0,
      250.0
     ],
     "text": "we are not in the Live process (it doesn't work in Max / M4L editor)\n    (warning) the object was made outside Live, e.g. in Max or the Max for Live editor.\ncan't find Ableton Live window\n    getname or front found no main window of Live.\nLive process not found (it doesn't work in Max / M4L editor)\n    getname on Windows, when the object was made outside Live.\nthe Live app is not active\n    savefocus while another application is in front; a window saved earlier stays saved.\nno window has been saved\n    recallfocus before any savefocus.\nfile argument missing\n    addfile without a file name; nothing leaves the right outlet.\ncan't find the file: mysong.als\n    the search path does not know the file; error leaves the right outlet.\nerror getting process path\n    addfile on macOS could not find Live's application; error leaves the right outlet.",
     "linecount": 16
    }
   },
   {
    "box": {
     "id": "obj-21",
     "maxclass": "comment",
     "numinlets": 1,
     "numoutlets": 0,
     "patching_rect": [
      20.0,
      664.0,
      720.0,
      33.0
     ],
     "text": "Works only inside Live: add this object to a Max for Live device. On macOS getname sends\nthe window title as it stands. Windows x64 and macOS 10.11 or later (Intel and Apple silicon).",
     "linecount": 2
    }
   }
  ],
  "lines": [
   {
    "patchline": {
     "source": [
      "obj-3",
      0
     ],
     "destination": [
      "obj-13",
      0
     ]
    }
   },
   {
    "patchline": {
     "source": [
      "obj-5",
      0
     ],
     "destination": [
      "obj-13",
      0
     ]
    }
   },
   {
    "patchline": {
     "source": [
      "obj-7",
      0
     ],
     "destination": [
      "obj-13",
      0
     ]
    }
   },
   {
    "patchline": {
     "source": [
      "obj-9",
      0
     ],
     "destination": [
      "obj-13",
      0
     ]
    }
   },
   {
    "patchline": {
     "source": [
      "obj-11",
      0
     ],
     "destination": [
      "obj-13",
      0
     ]
    }
   },
   {
    "patchline": {
     "source": [
      "obj-13",
      0
     ],
     "destination": [
      "obj-15",
      1
     ]
    }
   },
   {
    "patchline": {
     "source": [
      "obj-13",
      1
     ],
     "destination": [
      "obj-17",
      1
     ]
    }
   }
  ]
 }
}
