#!/usr/bin/python3
"""Fails when a source file includes a header from a folder its layer may not use.

The layers, each using only those listed after it: wizard -> status -> engine -> rdo -> mime -> pst -> fsutil,
with cli over engine, verify, rdo and pst, and verify over rdo and pst. Within pst: messaging -> message ->
content -> tags -> ltp -> ndb. Tests may also use the test helpers (tests/support, the testing/ folders,
test_support files) and the layers their code needs to set up; bench/, fuzz/ and tests/ may use everything.
Usage: check_layers.py [SOURCE_ROOT]
"""
import os
import re
import sys

PST = ["pst/messaging", "pst/messaging/message", "pst/content", "pst/tags", "pst/ltp", "pst/ndb"]
ALLOWED = {
    "fsutil": [],
    "pst/ndb": ["fsutil"],
    "pst/ltp": ["pst/ndb", "fsutil"],
    "pst/tags": ["pst/ltp", "pst/ndb", "fsutil"],
    "pst/content": ["pst/tags", "pst/ltp", "pst/ndb", "fsutil"],
    "pst/messaging/message": ["pst/content", "pst/tags", "pst/ltp", "pst/ndb", "fsutil"],
    "pst/messaging": ["pst/messaging/message", "pst/content", "pst/tags", "pst/ltp", "pst/ndb", "fsutil"],
    "mime": PST + ["fsutil"],
    "rdo": ["mime"] + PST + ["fsutil"],
    "engine": ["rdo", "fsutil"],
    "verify": ["rdo"] + PST + ["fsutil"],
    "cli": ["engine", "verify", "rdo"] + PST + ["fsutil", "velmora_version.h"],
    "status": ["engine"],
    "wizard": ["status", "engine", "velmora_version.h"],
}
TEST_HELPERS = ("tests/support/",)
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(path):
    """The deepest folder of ALLOWED that holds `path` (relative, "/" separated)."""
    best = None
    for folder in ALLOWED:
        if path.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


def is_test(path):
    name = os.path.basename(path)
    return name.endswith("_test.cpp") or "/testing/" in path or name.startswith("test_support") or \
        name.startswith("test_util")


def allowed(layer, path, header):
    if header.startswith(layer + "/") and layer_of(header) == layer:
        return True
    uses = ALLOWED[layer]
    if any(header == u or header.startswith(u + "/") for u in uses):
        return True
    if is_test(path):
        # A test sets up what its code needs: the layers below, the test helpers of any of them.
        if header.startswith(TEST_HELPERS) or "/testing/" in header or "test_support" in header:
            return True
        below = set(uses)
        for u in uses:
            below.update(ALLOWED.get(u, []))
        return any(header.startswith(u + "/") for u in below)
    return False


def main(root):
    bad = []
    for folder in ALLOWED:
        top = os.path.join(root, folder)
        for dirpath, _, files in os.walk(top):
            for name in files:
                if not name.endswith((".cpp", ".h")):
                    continue
                full = os.path.join(dirpath, name)
                rel = os.path.relpath(full, root).replace(os.sep, "/")
                layer = layer_of(rel)
                if layer != folder:
                    continue
                with open(full, encoding="utf-8", errors="replace") as fh:
                    for number, line in enumerate(fh, 1):
                        m = INCLUDE.match(line)
                        if m and "/" in m.group(1) and not allowed(layer, rel, m.group(1)):
                            bad.append("%s:%d: %s may not include %s" % (rel, number, layer, m.group(1)))
    for line in bad:
        print(line)
    if bad:
        print("%d includes against the layer order" % len(bad))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
