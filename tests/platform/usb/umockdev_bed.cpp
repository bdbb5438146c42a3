#include "tests/platform/usb/umockdev_bed.h"

#include <linux/usb/video.h>
#include <linux/usbdevice_fs.h>
#include <linux/uvcvideo.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace tovrel::platform::testing {

namespace {

std::vector<uint8_t> descriptors(uint16_t vid, uint16_t pid) {
    return {
        // device: USB 2.0, composite (IAD), 64-byte control pipe, one configuration
        18,
        1,
        0x00,
        0x02,
        0xEF,
        0x02,
        0x01,
        64,
        uint8_t(vid),
        uint8_t(vid >> 8),
        uint8_t(pid),
        uint8_t(pid >> 8),
        0x00,
        0x01,
        0,
        0,
        0,
        1,
        // configuration with one interface: video control
        9,
        2,
        18,
        0,
        1,
        1,
        0,
        0x80,
        250,
        9,
        4,
        0,
        0,
        0,
        0x0E,
        0x01,
        0x00,
        0,
    };
}

}  // namespace

UmockdevBed::UmockdevBed(std::shared_ptr<sim::SimulatedBridge> bridge, Options options)
    : bridge_(std::move(bridge)), options_(options) {
    bed_ = umockdev_testbed_new();
    GError* error = nullptr;

    usbHandler_ = umockdev_ioctl_base_new();
    g_signal_connect(usbHandler_, "handle-ioctl", G_CALLBACK(onUsbIoctl), this);
    umockdev_testbed_attach_ioctl(bed_, "/dev/bus/usb/001/002", usbHandler_, &error);
    g_clear_error(&error);
    if (options_.videoNode) {
        nodeHandler_ = umockdev_ioctl_base_new();
        g_signal_connect(nodeHandler_, "handle-ioctl", G_CALLBACK(onNodeIoctl), this);
        umockdev_testbed_attach_ioctl(bed_, "/dev/video0", nodeHandler_, &error);
        g_clear_error(&error);
    }

    // umockdev's record format: children first, as umockdev-record writes it. "N:" makes the
    // device node that the backends open; the ioctl handlers attached above answer on it.
    char vid[8], pid[8];
    std::snprintf(vid, sizeof vid, "%04x", options_.vendorId);
    std::snprintf(pid, sizeof pid, "%04x", options_.productId);
    std::string hex;
    for (uint8_t byte : descriptors(options_.vendorId, options_.productId)) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", byte);
        hex += two;
    }
    std::string record;
    if (options_.videoNode) {
        record +=
            "P: /devices/usb1/1-1/1-1:1.0/video4linux/video0\n"
            "N: video0\n"
            "E: SUBSYSTEM=video4linux\n"
            "E: DEVNAME=/dev/video0\n"
            "A: index=0\n"
            "A: name=Ambrix USB Video Device\n"
            "A: dev=81:0\n\n"
            "P: /devices/usb1/1-1/1-1:1.0\n"
            "E: SUBSYSTEM=usb\n"
            "E: DEVTYPE=usb_interface\n"
            "A: bInterfaceNumber=00\n"
            "A: bInterfaceClass=0e\n\n";
    }
    record += std::string(
                  "P: /devices/usb1/1-1\n"
                  "N: bus/usb/001/002\n"
                  "E: SUBSYSTEM=usb\n"
                  "E: DEVTYPE=usb_device\n"
                  "E: DEVNAME=/dev/bus/usb/001/002\n"
                  "E: BUSNUM=001\n"
                  "E: DEVNUM=002\n"
                  "E: ID_VENDOR_ID=") +
              vid +
              "\n"
              "E: ID_MODEL_ID=" +
              pid +
              "\n"
              "A: idVendor=" +
              vid +
              "\n"
              "A: idProduct=" +
              pid +
              "\n"
              "A: busnum=1\n"
              "A: devnum=2\n"
              "A: speed=480\n"
              "A: bConfigurationValue=1\n"
              "A: dev=189:1\n"
              "H: descriptors=" +
              hex + "\n\n";
    if (!umockdev_testbed_add_from_string(bed_, record.c_str(), &error)) {
        std::fprintf(stderr, "umockdev test bed: %s\n", error ? error->message : "?");
        g_clear_error(&error);
    }
}

UmockdevBed::~UmockdevBed() {
    {
        std::lock_guard lock(mutex_);
        for (auto* urb : pendingUrbs_) g_object_unref(urb);
        pendingUrbs_.clear();
    }
    g_object_unref(bed_);
    g_object_unref(usbHandler_);
    if (nodeHandler_ != nullptr) g_object_unref(nodeHandler_);
}

gboolean UmockdevBed::onUsbIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto* bed = static_cast<UmockdevBed*>(self);
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    GError* error = nullptr;

    if (request == USBDEVFS_SUBMITURB) {
        UMockdevIoctlData* urbData =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
        auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
        if (urb->type != USBDEVFS_URB_TYPE_CONTROL || urb->buffer_length < 8) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            g_object_unref(urbData);
            return TRUE;
        }
        UMockdevIoctlData* buffer =
            umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                        static_cast<gsize>(urb->buffer_length), &error);
        uint8_t* setup = buffer->data;
        platform::DeviceRequest r;
        r.bmRequestType = setup[0];
        r.bRequest = setup[1];
        r.wValue = static_cast<uint16_t>(setup[2] | (setup[3] << 8));
        r.wIndex = static_cast<uint16_t>(setup[4] | (setup[5] << 8));
        r.wLength = static_cast<uint16_t>(setup[6] | (setup[7] << 8));
        r.data = setup + 8;
        int done = r.wLength + 8 <= urb->buffer_length ? bed->bridge_->handleRequest(r) : -1;
        urb->status = done < 0 ? -EPIPE : 0;
        urb->actual_length = done < 0 ? 0 : done;
        std::lock_guard lock(bed->mutex_);
        bed->usbRequests_.push_back({r.bmRequestType, r.bRequest, r.wValue, r.wIndex, r.wLength});
        // Kept until reaped; the resolved blocks are ours to release once the call completes.
        bed->pendingUrbs_.push_back(urbData);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(buffer);
        return TRUE;
    }
    if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
        std::lock_guard lock(bed->mutex_);
        if (bed->pendingUrbs_.empty()) {
            umockdev_ioctl_client_complete(client, -1, EAGAIN);
            return TRUE;
        }
        UMockdevIoctlData* urb = bed->pendingUrbs_.front();
        bed->pendingUrbs_.erase(bed->pendingUrbs_.begin());
        // The argument points at the caller's urb pointer; make that point at the reaped urb.
        UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &error);
        umockdev_ioctl_data_set_ptr(slot, 0, urb);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(slot);
        g_object_unref(urb);
        return TRUE;
    }
    if (request == USBDEVFS_DISCARDURB) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return TRUE;
    }
    {
        std::lock_guard lock(bed->mutex_);
        ++bed->unhandled_;
    }
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
    return TRUE;
}

gboolean UmockdevBed::onNodeIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto* bed = static_cast<UmockdevBed*>(self);
    const gulong request = umockdev_ioctl_client_get_request(client);
    if (request != UVCIOC_CTRL_QUERY) {
        {
            std::lock_guard lock(bed->mutex_);
            ++bed->unhandled_;
        }
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
    GError* error = nullptr;
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    UMockdevIoctlData* queryData =
        umockdev_ioctl_data_resolve(arg, 0, sizeof(uvc_xu_control_query), &error);
    auto* query = reinterpret_cast<uvc_xu_control_query*>(queryData->data);
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(
        queryData, offsetof(uvc_xu_control_query, data), query->size, &error);

    const uint16_t controlLength = query->selector == 1 ? 30 : 256;
    auto finish = [&](long result, int error) {
        umockdev_ioctl_client_complete(client, result, error);
        g_object_unref(data);
        g_object_unref(queryData);
        return TRUE;
    };
    if (query->query == UVC_GET_LEN) {
        if (query->size != 2) {
            return finish(-1, ENOBUFS);
        }
        data->data[0] = static_cast<uint8_t>(controlLength);
        data->data[1] = static_cast<uint8_t>(controlLength >> 8);
        return finish(0, 0);
    }
    if (query->query != UVC_SET_CUR && query->query != UVC_GET_CUR) {
        return finish(-1, EINVAL);
    }
    if (bed->options_.strictLengths && query->size != controlLength) {
        return finish(-1, ENOBUFS);
    }
    platform::DeviceRequest r;
    r.bmRequestType = query->query == UVC_GET_CUR ? 0xA1 : 0x21;
    r.bRequest = query->query;
    r.wValue = static_cast<uint16_t>(query->selector << 8);
    r.wIndex = static_cast<uint16_t>(query->unit << 8);  // interface 0
    r.wLength = query->size;
    r.data = data->data;
    // On the wire a padded data write is as long as the control; the bridge takes the first
    // bytes, which is what a real bridge does with the zeros behind the payload.
    int done = bed->bridge_->handleRequest(r);
    {
        std::lock_guard lock(bed->mutex_);
        bed->nodeQueries_.push_back({r.bmRequestType, r.bRequest, r.wValue, r.wIndex, r.wLength});
    }
    return finish(done < 0 ? -1 : 0, done < 0 ? EPIPE : 0);
}

std::vector<WireRecord> UmockdevBed::usbRequests() const {
    std::lock_guard lock(mutex_);
    return usbRequests_;
}

std::vector<WireRecord> UmockdevBed::nodeQueries() const {
    std::lock_guard lock(mutex_);
    return nodeQueries_;
}

int UmockdevBed::unhandledIoctls() const {
    std::lock_guard lock(mutex_);
    return unhandled_;
}

}  // namespace tovrel::platform::testing
