#!/usr/bin/env python3
"""Checks an installed tree (a `cmake --install` prefix, or /usr after the package went in).

usage: check_tree.py ROOT SOURCE_DIR PACKAGED_PROGRAMS VERSION

ROOT holds bin/, share/ and lib/udev/. PACKAGED_PROGRAMS is the build's packaged_programs.txt:
"program [entry-id] [all|panel] [manual page]" per line. The boxes' USB ids are read from the
device tables' headers in SOURCE_DIR, not from anything the build generated.
"""
import gzip
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

faults = []


def fault(text):
    faults.append(text)
    print("FAIL:", text)


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=60, **kwargs)


def table_ids(source):
    """(every box's ids, the panel's ids) as sets of (vendor, product) ints."""
    with open(os.path.join(source, "device/supported_boxes.h"), encoding="utf-8") as f:
        boxes = f.read()
    with open(os.path.join(source, "shell/box_interfaces.h"), encoding="utf-8") as f:
        interfaces = f.read()
    entry = r"\{0x([0-9A-Fa-f]{4}),\s*0x([0-9A-Fa-f]{4}),\s*\d+\}"
    panel_at = boxes.index("kPanelBoxes")
    supported = {(int(v, 16), int(p, 16)) for v, p in re.findall(entry, boxes[:panel_at])}
    panel = {(int(v, 16), int(p, 16)) for v, p in re.findall(entry, boxes[panel_at:])}
    capture = {(int(v, 16), int(p, 16))
               for v, p in re.findall(r"VID_([0-9A-Fa-f]{4})&PID_([0-9A-Fa-f]{4})", interfaces)}
    # The tables' layout changed if these come back empty: the check would prove nothing.
    if not supported or not panel or not capture:
        fault("could not read the USB ids of the device tables")
    return supported | panel | capture, panel


def desktop_entry(path):
    entry = {}
    group = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line.startswith("["):
                group = line.strip("[]")
            elif "=" in line and not line.startswith("#"):
                key, value = line.split("=", 1)
                entry[(group, key)] = value
    return entry


def check_program(root, program, version):
    binary = os.path.join(root, "bin", program)
    if not os.access(binary, os.X_OK):
        fault(f"{binary} is missing or not executable")
        return None
    answer = run([binary, "--version"], env=dict(os.environ, DISPLAY="", WAYLAND_DISPLAY=""))
    if answer.returncode != 0 or answer.stdout.strip() != f"{program} {version}":
        fault(f"{program} --version answered {answer.returncode} '{answer.stdout.strip()}'"
              f" {answer.stderr.strip()}, not '{program} {version}'")
    helped = run([binary, "--help"], env=dict(os.environ, DISPLAY="", WAYLAND_DISPLAY=""))
    if helped.returncode != 0 or "--version" not in helped.stdout:
        fault(f"{program} --help answered {helped.returncode} without --version in it")
    return helped.stdout


def check_entry(root, program, entry_id):
    path = os.path.join(root, "share/applications", entry_id + ".desktop")
    if not os.path.isfile(path):
        fault(f"no menu entry {path}")
        return
    checked = run(["desktop-file-validate", path])
    if checked.returncode != 0 or checked.stdout.strip():
        fault(f"desktop-file-validate {path}: {checked.stdout}{checked.stderr}")
    entry = desktop_entry(path)
    main = "Desktop Entry"
    for group, key in [k for k in entry if k[1] == "Exec"]:
        words = entry[(group, key)].split()
        if words[0] != program:
            fault(f"{path} [{group}] starts {words[0]}, not {program}")
        if group == main and "--simulate" in words:
            fault(f"{path}: the main entry starts the simulated box")
    if entry.get((main, "Icon")) != entry_id:
        fault(f"{path}: Icon is {entry.get((main, 'Icon'))}, not {entry_id}")
    categories = entry.get((main, "Categories"), "")
    if "AudioVideo;" not in categories and "Settings;" not in categories:
        fault(f"{path}: categories '{categories}'")
    icon = os.path.join(root, "share/icons/hicolor/scalable/apps", entry_id + ".svg")
    try:
        svg = ET.parse(icon).getroot()
        if svg.tag != "{http://www.w3.org/2000/svg}svg" or len(list(svg.iter())) < 3:
            fault(f"{icon} is not an SVG drawing")
    except (OSError, ET.ParseError) as error:
        fault(f"{icon}: {error}")


def check_metainfo(root, entry_id, expected_ids):
    path = os.path.join(root, "share/metainfo", entry_id + ".metainfo.xml")
    if not os.path.isfile(path):
        fault(f"no AppStream file {path}")
        return
    checked = run(["appstreamcli", "validate", "--no-net", "--pedantic", path])
    if checked.returncode != 0:
        fault(f"appstreamcli validate {path}: {checked.stdout}{checked.stderr}")
    component = ET.parse(path).getroot()
    if component.findtext("id") != entry_id:
        fault(f"{path}: id {component.findtext('id')}")
    if component.findtext("launchable") != entry_id + ".desktop":
        fault(f"{path}: launchable {component.findtext('launchable')}")
    aliases = {m.text for m in component.iter("modalias")}
    wanted = {f"usb:v{v:04X}p{p:04X}d*" for v, p in expected_ids}
    if aliases != wanted:
        fault(f"{path}: modaliases {sorted(aliases)}, the tables say {sorted(wanted)}")


def check_manual(root, program, page, help_text):
    path = os.path.join(root, "share/man/man1", page + ".gz")
    try:
        with gzip.open(path, "rt", encoding="utf-8") as f:
            text = f.read()
    except OSError as error:
        fault(f"manual page {path}: {error}")
        return
    # Every option the program offers is described (the man page spells '-' as '\-').
    plain = text.replace("\\-", "-")
    for option in sorted(set(re.findall(r"(?<![\w-])--[a-z][a-z-]*", help_text or ""))):
        if option not in plain:
            fault(f"{path} does not describe {option} of '{program} --help'")
    if shutil.which("man"):
        shown = run(["man", "--warnings", "-l", path], env=dict(os.environ, MANWIDTH="80",
                                                                   LC_ALL="C.UTF-8"))
        if shown.returncode != 0 or shown.stderr.strip() or "OPTIONS" not in shown.stdout:
            fault(f"man -l {path}: {shown.returncode} {shown.stderr.strip()}")


def check_udev_rule(root, all_ids):
    folder = os.path.join(root, "lib/udev/rules.d")
    rules = sorted(f for f in os.listdir(folder) if "tovrel" in f) if os.path.isdir(folder) else []
    if len(rules) != 1:
        fault(f"{folder} holds {rules}, not one rule file of ours")
        return
    name = rules[0]
    # The seat rules turn the tag into access only for devices tagged before them.
    if not name < "73-seat-late.rules":
        fault(f"{name} sorts after 73-seat-late.rules: its uaccess tag would do nothing")
    path = os.path.join(folder, name)
    if shutil.which("udevadm") and run(["udevadm", "verify", "--help"]).returncode == 0:
        verified = run(["udevadm", "verify", path])
        if verified.returncode != 0:
            fault(f"udevadm verify {path}: {verified.stdout}{verified.stderr}")
    pair = re.compile(r'^\s*([A-Z_]+(?:\{[^}]+\})?)\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*$')
    tagged, gotos, labels = set(), set(), set()
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            fields = {}
            for part in line.split(","):
                m = pair.match(part)
                if not m:
                    fault(f"{path}:{number}: cannot parse '{part.strip()}'")
                    continue
                fields[m.group(1)] = (m.group(2), m.group(3))
            if "GOTO" in fields:
                gotos.add(fields["GOTO"][1])
            if "LABEL" in fields:
                labels.add(fields["LABEL"][1])
            if fields.get("TAG") == ("+=", "uaccess"):
                vendor, product = fields.get("ATTR{idVendor}"), fields.get("ATTR{idProduct}")
                if vendor and product and vendor[0] == "==" and product[0] == "==":
                    # sysfs writes the ids in lower case; a rule in upper case never matches.
                    if not (re.fullmatch("[0-9a-f]{4}", vendor[1]) and
                            re.fullmatch("[0-9a-f]{4}", product[1])):
                        fault(f"{path}:{number}: ids not in sysfs spelling")
                    tagged.add((int(vendor[1], 16), int(product[1], 16)))
    if gotos - labels:
        fault(f"{path}: GOTO without LABEL: {sorted(gotos - labels)}")
    missing = all_ids - tagged
    if missing:
        fault(f"{path} gives no access to " +
              ", ".join(f"{v:04x}:{p:04x}" for v, p in sorted(missing)))


def main():
    root, source, programs_file, version = sys.argv[1:5]
    all_ids, panel_ids = table_ids(source)
    with open(programs_file, encoding="utf-8") as f:
        programs = [line.split() for line in f if line.strip()]
    names = [p[0] for p in programs]
    for required in ("tovrel2", "tovrel-panel", "tovrelctl"):
        if required not in names:
            fault(f"{required} is not among the packaged programs {names}")
    for row in programs:
        program = row[0]
        entry_id = next((w for w in row[1:] if w.startswith("org.")), None)
        kind = next((w for w in row[1:] if w in ("all", "panel")), None)
        page = next((w for w in row[1:] if w.endswith(".1")), None)
        help_text = check_program(root, program, version)
        if entry_id:
            check_entry(root, program, entry_id)
        if kind:
            check_metainfo(root, entry_id, all_ids if kind == "all" else panel_ids)
        if page:
            check_manual(root, program, page, help_text)
    check_udev_rule(root, all_ids)

    # The panel finds the installed firmware folder from where it is, whatever the prefix.
    firmware = os.path.join(root, "share/tovrel/firmware")
    if not os.path.isdir(firmware):
        fault(f"no firmware folder {firmware}")
    env = {k: v for k, v in os.environ.items() if k != "TOVREL_FIRMWARE_DIR"}
    helped = run([os.path.join(root, "bin/tovrel-panel"), "--help"], env=env).stdout
    found = re.search(r"^Firmware folder: (.*)$", helped, re.M)
    if not found or os.path.realpath(found.group(1)) != os.path.realpath(firmware):
        fault(f"tovrel-panel looks for its firmware in "
              f"{found.group(1) if found else '(nothing said)'}, not {firmware}")

    status = run([os.path.join(root, "bin/tovrelctl"), "--simulate", "status"])
    if status.returncode != 0 or "Firmware Version:" not in status.stdout:
        fault(f"tovrelctl --simulate status: {status.returncode} {status.stdout}{status.stderr}")

    if not os.path.isfile(os.path.join(root, "share/doc/tovrel/copyright")):
        fault("no share/doc/tovrel/copyright")
    print(f"{root}: {len(programs)} programs, {len(all_ids)} boxes in the udev rule, "
          f"{len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
