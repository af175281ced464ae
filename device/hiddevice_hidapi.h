#pragma once
// The device choice of the hidapi back end, apart so that it can be tested without a
// device: hidapi's own enumeration treats a product id of 0 as "any product".
#include <cstdint>

struct hid_device_info;

// The first entry of list whose vendor and product ids equal the given ones exactly and
// that has a path; null when there is none.
const hid_device_info *findExactHidDevice(const hid_device_info *list, uint16_t vendorId, uint16_t productId);
