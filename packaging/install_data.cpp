// tovrel-install-data: writes the installed files that list the boxes' USB ids, from the same
// tables the programs match boxes with, so that a box added to a table reaches the udev rule and
// the software centres' metadata in the same build.
//
//   tovrel-install-data udev-rule OUT
//   tovrel-install-data metainfo all|panel TEMPLATE OUT   (replaces the line holding @MODALIASES@)

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "device/supported_boxes.h"
#include "shell/box_interfaces.h"

namespace {

using UsbId = std::pair<uint16_t, uint16_t>;

uint16_t hexAfter(std::string_view text, std::string_view key) {
    const size_t at = text.find(key);
    if (at == std::string_view::npos || at + key.size() + 4 > text.size()) return 0;
    return static_cast<uint16_t>(
        std::stoul(std::string(text.substr(at + key.size(), 4)), nullptr, 16));
}

// Every box any program talks to: the register transports' and the capture interfaces'.
std::set<UsbId> allBoxes() {
    std::set<UsbId> ids;
    for (const auto& box : tovrel::device::kSupportedBoxes)
        ids.insert({box.vendorId, box.productId});
    for (const auto& box : tovrel::device::kPanelBoxes) ids.insert({box.vendorId, box.productId});
    for (const auto& interface : tovrel::shell::BoxInterfaces::kInterfaces)
        ids.insert({hexAfter(interface.text, "VID_"), hexAfter(interface.text, "PID_")});
    return ids;
}

std::set<UsbId> panelBoxes() {
    std::set<UsbId> ids;
    for (const auto& box : tovrel::device::kPanelBoxes) ids.insert({box.vendorId, box.productId});
    return ids;
}

std::string hex4(uint16_t value, bool upper) {
    char text[8];
    std::snprintf(text, sizeof text, upper ? "%04X" : "%04x", value);
    return text;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "tovrel-install-data: cannot write " << path << "\n";
        return false;
    }
    return true;
}

// sysfs spells the ids in lower case. The seat rules (73-seat-late.rules) turn the uaccess tag
// into an access list for the person at the desktop, so this file must sort before them.
std::string udevRule() {
    std::string rule =
        "# Tovrel HDMI capture boxes: the person at the desktop may open their USB devices\n"
        "# (firmware update, box registers) without root. The video and sound nodes get this\n"
        "# from the system's own rules.\n"
        "# Generated from the programs' device tables; do not edit.\n"
        "\n"
        "ACTION==\"remove\", GOTO=\"tovrel_end\"\n"
        "SUBSYSTEM!=\"usb\", GOTO=\"tovrel_end\"\n"
        "ENV{DEVTYPE}!=\"usb_device\", GOTO=\"tovrel_end\"\n"
        "\n";
    for (const auto& [vendor, product] : allBoxes()) {
        rule += "ATTR{idVendor}==\"" + hex4(vendor, false) + "\", ATTR{idProduct}==\"" +
                hex4(product, false) + "\", TAG+=\"uaccess\"\n";
    }
    rule += "\nLABEL=\"tovrel_end\"\n";
    return rule;
}

// The kernel's USB modalias spells the ids in upper case: usb:vVVVVpPPPPd*.
bool metainfo(std::string_view kind, const std::string& templatePath, const std::string& out) {
    std::ifstream in(templatePath);
    if (!in) {
        std::cerr << "tovrel-install-data: cannot read " << templatePath << "\n";
        return false;
    }
    const std::set<UsbId> ids = kind == "panel" ? panelBoxes() : allBoxes();
    std::string text, line;
    bool replaced = false;
    while (std::getline(in, line)) {
        const size_t at = line.find("@MODALIASES@");
        if (at == std::string::npos) {
            text += line + "\n";
            continue;
        }
        const std::string indent = line.substr(0, at);
        for (const auto& [vendor, product] : ids) {
            text += indent + "<modalias>usb:v" + hex4(vendor, true) + "p" + hex4(product, true) +
                    "d*</modalias>\n";
        }
        replaced = true;
    }
    if (!replaced) {
        std::cerr << "tovrel-install-data: " << templatePath << " has no @MODALIASES@ line\n";
        return false;
    }
    return writeFile(out, text);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view what = argc > 1 ? argv[1] : "";
    if (what == "udev-rule" && argc == 3) return writeFile(argv[2], udevRule()) ? 0 : 1;
    if (what == "metainfo" && argc == 5 &&
        (std::string_view(argv[2]) == "all" || std::string_view(argv[2]) == "panel"))
        return metainfo(argv[2], argv[3], argv[4]) ? 0 : 1;
    std::cerr << "usage: tovrel-install-data udev-rule OUT\n"
                 "       tovrel-install-data metainfo all|panel TEMPLATE OUT\n";
    return 2;
}
