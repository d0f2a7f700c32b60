#pragma once

#include "platform/Drives.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/UniqueFd.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace platform::linux {

// Reports drive arrival and removal from a thread of its own: kernel uevents for whole disks
// (a NETLINK_KOBJECT_UEVENT socket) and a poll of the virtual sticks' files. Every event
// rescans the drive table before it is reported. Where the kernel socket cannot be opened (in
// some containers) the virtual sticks are still watched.
//
// The callback runs on the watcher's thread, and destroying the watcher waits for that thread:
// the callback must hand the event on without waiting for the destroying thread (post, not send).
class DeviceEventWatcher final : public DeviceEventSource {
public:
    struct Options {
        std::chrono::milliseconds pollInterval { 500 };
        bool listenToKernel = true;
    };

    DeviceEventWatcher(std::shared_ptr<DriveTable> table, std::function<void(std::uint32_t)> onEvent, Options options);
    ~DeviceEventWatcher() override;

    bool IsListeningToKernel() const { return m_kernelSocket.IsValid(); }

private:
    void Run();
    void ReadKernelMessages();
    void PollVirtualSticks();

    std::shared_ptr<DriveTable> m_table;
    std::function<void(std::uint32_t)> m_onEvent;
    Options m_options;
    UniqueFd m_kernelSocket;
    UniqueFd m_stopEvent;
    std::atomic<bool> m_stopping { false };
    std::vector<bool> m_sticksPresent;
    std::thread m_thread;
};

} // namespace platform::linux
