// The USB-HID transport through hidapi.
#include "device/hiddevice_hidapi.h"

#include "device/devicelinks.h"

#include <hidapi.h>

const hid_device_info *findExactHidDevice(const hid_device_info *list, uint16_t vendorId, uint16_t productId)
{
    for (const hid_device_info *d = list; d; d = d->next) {
        if (d->vendor_id == vendorId && d->product_id == productId && d->path)
            return d;
    }
    return nullptr;
}

namespace {

class HidapiDevice : public HidDevice
{
public:
    explicit HidapiDevice(hid_device *dev) : m_dev(dev) {}
    ~HidapiDevice() override { hid_close(m_dev); }
    int write(const uint8_t *data, size_t length) override { return hid_write(m_dev, data, length); }
    int readTimeout(uint8_t *data, size_t length, int milliseconds) override
    {
        return hid_read_timeout(m_dev, data, length, milliseconds);
    }

private:
    hid_device *m_dev;
};

class HidapiBackend : public HidBackend
{
public:
    std::unique_ptr<HidDevice> open(uint16_t vendorId, uint16_t productId) override
    {
        if (hid_init() != 0)
            return nullptr;
        // hid_open and hid_enumerate treat a product id of 0 as "any product"; the device
        // is matched here on both ids exactly, and opened by its path.
        hid_device_info *list = hid_enumerate(vendorId, productId);
        const hid_device_info *match = findExactHidDevice(list, vendorId, productId);
        hid_device *dev = match ? hid_open_path(match->path) : nullptr;
        hid_free_enumeration(list);
        if (!dev)
            return nullptr;
        hid_set_nonblocking(dev, 0);
        return std::make_unique<HidapiDevice>(dev);
    }
    void shutdown() override { hid_exit(); }
};

} // namespace

HidBackend &hidapiBackend()
{
    static HidapiBackend backend;
    return backend;
}
