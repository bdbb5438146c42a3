#!/usr/bin/env python3
"""Fails when a file includes a header of a layer it may not reach, or a library links one.

The table below is the layering of the house: each folder names the folders it may use directly;
what those may use it may use too. A new folder joins the table in the same change that adds it,
so that where it sits is a decision someone made and not an accident of the include path.

usage: check_layers.py SOURCE_DIR [LINK_TABLE]
LINK_TABLE is the file the build writes (build/tovrel_links.txt): "library folder linked...".
"""
import os
import re
import subprocess
import sys

MAY_USE = {
    "imaging": [],
    "platform/system": [],
    "platform/media": ["platform/system", "imaging"],
    "platform/audio": ["platform/media"],
    "platform/v4l2": ["platform/media"],
    "platform/usb": ["platform/system"],
    "platform/desktop": ["platform/system"],
    "platform/ffmpeg": ["platform/media", "imaging"],
    "platform/imaging": ["platform/system", "imaging"],
    # The desktop's pixels and pointer (X11); the recording composes and scales them.
    "platform/screen": ["platform/system"],
    "platform/backends": ["platform/audio", "platform/v4l2", "platform/usb", "platform/desktop",
                          "platform/ffmpeg", "platform/imaging", "platform/screen"],
    "device": ["platform/usb", "platform/audio", "platform/system"],
    "sim/box": ["platform/media"],
    "sim/audio": ["sim/box"],
    "sim/video": ["sim/box", "imaging"],
    "sim/bridge": ["device", "platform/usb"],
    "sim/firmware": ["device"],
    "sim/control": ["platform/system"],
    "sim/screen": ["platform/screen"],
    "sim/backends": ["sim/audio", "sim/video", "sim/bridge", "sim/control", "sim/screen",
                     "platform/backends"],
    "audio": ["platform/audio", "imaging"],
    "capture": ["audio", "imaging", "platform/media"],
    # A recording drives the capture manager's writer; the capture callbacks know nothing of it.
    "recording": ["capture", "platform/media", "platform/imaging", "platform/screen", "imaging"],
    "audio/ui": ["audio", "platform/desktop"],
    "device/ui": ["device", "capture", "platform/desktop"],
    # The shell puts a program together, the simulated box's backends and control included.
    "shell": ["capture", "recording", "audio", "device", "audio/ui", "device/ui",
              "platform/backends", "sim/backends", "sim/control"],
    "reduced/ui": ["device/ui", "capture", "device"],
    "reduced": ["shell", "reduced/ui"],
    "panel": ["device", "platform/backends"],
}
# Programs, the installed files' generator (it reads the device tables of several layers), tests,
# benchmarks and fuzzers sit above everything; they are not checked.
UNCHECKED_TOPS = ("apps", "packaging", "tests", "bench", "fuzz")


def folder_of(path):
    """The table's folder a file or header belongs to: the longest key that is a prefix."""
    best = None
    for key in MAY_USE:
        if path == key or path.startswith(key + "/"):
            if best is None or len(key) > len(best):
                best = key
    return best


def reachable(folder):
    seen, todo = set(), [folder]
    while todo:
        f = todo.pop()
        for used in MAY_USE.get(f, []):
            if used not in seen:
                seen.add(used)
                todo.append(used)
    return seen


def main():
    top = sys.argv[1]
    links = sys.argv[2] if len(sys.argv) > 2 else None
    files = subprocess.check_output(["git", "-C", top, "ls-files", "*.cpp", "*.h"],
                                    text=True).split()
    faults = []
    for rel in files:
        if rel.split("/")[0] in UNCHECKED_TOPS:
            continue
        here = folder_of(os.path.dirname(rel))
        if here is None:
            faults.append(f"{rel}: its folder is not in the layer table (scripts/check_layers.py)")
            continue
        allowed = reachable(here) | {here}
        with open(os.path.join(top, rel), encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
                if not m or not os.path.exists(os.path.join(top, m.group(1))):
                    continue
                there = folder_of(os.path.dirname(m.group(1)))
                if there is not None and there not in allowed:
                    faults.append(f"{rel}:{number}: {here} may not include {m.group(1)} ({there})")
    if links and os.path.exists(links):
        libraries = {}
        with open(links, encoding="utf-8") as f:
            rows = [line.split() for line in f if line.strip()]
        for row in rows:
            libraries[row[0]] = row[1]
        for row in rows:
            name, folder = row[0], row[1]
            linked = [lib for part in row[2:] for lib in part.split(";") if lib]
            here = folder_of(folder)
            if here is None:
                faults.append(f"library {name}: folder {folder} is not in the layer table")
                continue
            allowed = reachable(here) | {here}
            for lib in linked:
                there = folder_of(libraries[lib]) if lib in libraries else None
                if there is not None and there not in allowed:
                    faults.append(f"library {name} ({here}) may not link {lib} ({there})")
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print("layers: every include and link points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
