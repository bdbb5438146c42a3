#pragma once

// A umockdev test bed of capture boxes as the kernel shows them in sysfs: a USB device with its
// interfaces, and under them video nodes (".../1-1:1.0/video4linux/video0") and sound cards with
// their PCM nodes (".../1-1:1.2/sound/card1/pcmC1D0c"). Nodes are added and removed with their
// uevents, one at a time, as a box being plugged in announces them.

#include <umockdev.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tovrel::testing {

class UdevCaptureBed {
  public:
    UdevCaptureBed() : bed_(umockdev_testbed_new()) {}
    ~UdevCaptureBed() { g_object_unref(bed_); }
    UdevCaptureBed(const UdevCaptureBed&) = delete;
    UdevCaptureBed& operator=(const UdevCaptureBed&) = delete;

    // umockdev_in_mock_environment() misses the wrapper's bare library name, so look ourselves.
    static bool available() {
        const char* preload = std::getenv("LD_PRELOAD");
        return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
    }

    // The USB device "1-<port>" with the ids; no uevent (its nodes are what is watched).
    std::string addUsbDevice(int port, uint16_t vendorId, uint16_t productId) {
        char vendor[8], product[8];
        std::snprintf(vendor, sizeof vendor, "%04x", vendorId);
        std::snprintf(product, sizeof product, "%04x", productId);
        const std::string name = "1-" + std::to_string(port);
        return take(umockdev_testbed_add_device(bed_, "usb", name.c_str(), nullptr, "idVendor",
                                                vendor, "idProduct", product, nullptr, "DEVTYPE",
                                                "usb_device", nullptr));
    }
    // Interface `number` of the device: "1-<port>:1.<number>".
    std::string addInterface(const std::string& usbDevice, uint8_t number) {
        char text[4];
        std::snprintf(text, sizeof text, "%02x", number);
        const std::string name = basename(usbDevice) + ":1." + std::to_string(number);
        return take(umockdev_testbed_add_device(bed_, "usb", name.c_str(), usbDevice.c_str(),
                                                "bInterfaceNumber", text, nullptr, "DEVTYPE",
                                                "usb_interface", nullptr));
    }
    // A video node under the interface, announced.
    std::string addVideoNode(const std::string& usbInterface, int index) {
        const std::string name = "video4linux/video" + std::to_string(index);
        return announce(umockdev_testbed_add_device(bed_, "video4linux", name.c_str(),
                                                    usbInterface.c_str(), nullptr, nullptr));
    }
    // A sound card under the interface (announced, though no capture node), and its node
    // ("pcmC1D0c", "pcmC1D0p", "controlC1"), announced.
    std::string addSoundCard(const std::string& usbInterface, int card) {
        const std::string name = "sound/card" + std::to_string(card);
        return announce(umockdev_testbed_add_device(bed_, "sound", name.c_str(),
                                                    usbInterface.c_str(), nullptr, nullptr));
    }
    std::string addSoundNode(const std::string& soundCard, const std::string& name) {
        return announce(umockdev_testbed_add_device(bed_, "sound", name.c_str(), soundCard.c_str(),
                                                    nullptr, nullptr));
    }
    // Sends the removal, then takes the node away (umockdev sends no uevent itself).
    void removeNode(const std::string& syspath) {
        umockdev_testbed_uevent(bed_, syspath.c_str(), "remove");
        umockdev_testbed_remove_device(bed_, syspath.c_str());
    }

  private:
    static std::string basename(const std::string& path) {
        return path.substr(path.find_last_of('/') + 1);
    }
    static std::string take(gchar* path) {
        std::string text = path ? path : "";
        g_free(path);
        return text;
    }
    std::string announce(gchar* path) {
        std::string text = take(path);
        umockdev_testbed_uevent(bed_, text.c_str(), "add");
        return text;
    }

    UMockdevTestbed* bed_;
};

}  // namespace tovrel::testing
