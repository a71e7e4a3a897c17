"""Every text that the plug-in can post to the Max console, read from its
sources: each object_post, object_warn and object_error call of source/,
with its format resolved through source/liveapp_texts.h and the file's own
#defines, and the platforms whose build compiles that file.

    texts(headers) -> [Text(text, level, platforms, key)], in source order,
    one per distinct text; `key` is its name in liveapp_texts.h (NO_WINDOW),
    or the format as written at its single point of use ("%s %s %s" for the
    banner). `headers` are further headers whose #defines a text may use,
    such as the build's liveapp_identity.h (the banner's date and maker).

Conversions that stay in a text are written as placeholders, as the help
shows them: %s as <name>, %x as <number>.
"""

import collections
import os
import re

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "source")

# Which builds compile each file of the plug-in.
FILES = (("liveapp.cpp", {"Windows", "macOS"}),
         ("liveapp_win.cpp", {"Windows"}),
         ("liveapp_mac.cpp", {"macOS"}))
PLACEHOLDERS = {"s": "<name>", "x": "<number>"}

Text = collections.namedtuple("Text", "text level platforms key")

CALL = re.compile(r"\bobject_(post|warn|error)\s*\((.*?)\)\s*;", re.S)
TOKEN = re.compile(r'"((?:[^"\\]|\\.)*)"|([A-Za-z_]\w*)|(,)|(\S)')
DEFINE = re.compile(r'^#define\s+(\w+)\s+"((?:[^"\\]|\\.)*)"\s*$', re.M)


def read(name):
    with open(os.path.join(SOURCE, name), encoding="utf-8") as f:
        return f.read()


def arguments(call, macros):
    """The call's arguments, each as a resolved text or None when it is not
    made of string literals and known names only."""
    args, current, depth = [], [], 0
    for literal, word, comma, other in TOKEN.findall(call):
        if comma and depth == 0:
            args.append(current)
            current = []
            continue
        if other and other in "([":
            depth += 1
        elif other and other in ")]":
            depth -= 1
        current.append((literal, word, other))
    args.append(current)
    out = []
    for parts in args:
        text = ""
        for literal, word, other in parts:
            if word and word in macros:
                text += macros[word]
            elif not word and not other:
                text += bytes(literal, "utf-8").decode("unicode_escape")
            else:
                text = None
                break
        out.append((text, [w for _, w, _ in parts if w]))
    return out


def format_text(fmt, values):
    """The format with each %s given a known text filled in, the others left
    as placeholders."""
    values = iter(values)

    def one(match):
        value = next(values, None)
        if match.group(1) == "%":
            return "%"
        if match.group(1) == "s" and value is not None:
            return value
        return PLACEHOLDERS[match.group(1)]
    return re.sub(r"%(%|s|x)", one, fmt)


def texts(headers=()):
    shared = dict(DEFINE.findall(read("liveapp_texts.h")))
    names = set(shared)
    for path in headers:
        with open(path, encoding="utf-8") as f:
            shared.update(DEFINE.findall(f.read()))
    found = collections.OrderedDict()
    for name, platforms in FILES:
        source = read(name)
        macros = dict(shared, **dict(DEFINE.findall(source)))
        for level, call in CALL.findall(source):
            args = arguments(call, macros)
            fmt, words = args[1]
            if fmt is None:
                raise ValueError("%s: a console text made at run time: %s" % (name, call))
            text = format_text(fmt, [a for a, _ in args[2:]])
            if len(words) == 1 and words[0] in names:
                key = words[0].replace("LIVEAPP_TEXT_", "")
            else:
                key = fmt
            if text in found:
                old = found[text]
                found[text] = old._replace(platforms=old.platforms | platforms)
            else:
                found[text] = Text(text, level, set(platforms), key)
    return list(found.values())


if __name__ == "__main__":
    import sys
    for t in texts(sys.argv[1:]):
        print("%-5s %-14s %-16s %s" % (t.level, "/".join(sorted(t.platforms)), t.key[:16], t.text))
