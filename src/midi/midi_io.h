#pragma once

// The common base of the input and output ports.

#include <cstdint>
#include <functional>

class TMidiIO;

// A notification event: called with the sending port; empty means no call.
using TNotifyEvent = std::function<void(TMidiIO* Sender)>;

class TMidiIO {
public:
    TMidiIO() = default;
    virtual ~TMidiIO() = default;
    TMidiIO(const TMidiIO&) = delete;
    TMidiIO& operator=(const TMidiIO&) = delete;

    // Number of devices of the port's direction, counted afresh.
    virtual std::uint32_t DeviceCount() = 0;
};
