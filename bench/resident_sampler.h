// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Follows a process's resident memory while it runs: the kernel's own peak
// (VmHWM), and the peak of its own pages (anonymous and file-backed), which
// leaves out the shared memory that a JACK server maps into every client.

#include <sys/types.h>

#include <atomic>
#include <thread>

class ResidentSampler {
public:
    // Samples `pid` every 20 ms until destroyed or Stop().
    explicit ResidentSampler(pid_t pid);
    ~ResidentSampler();
    ResidentSampler(const ResidentSampler&) = delete;
    ResidentSampler& operator=(const ResidentSampler&) = delete;

    // Ends the sampling; takes a last sample first.
    void Stop();
    // Peak resident memory as the kernel counts it, shared memory included, in kilobytes.
    long PeakTotalKb() const { return peakTotalKb_.load(std::memory_order_relaxed); }
    // Peak of anonymous plus file-backed resident memory, in kilobytes.
    long PeakOwnKb() const { return peakOwnKb_.load(std::memory_order_relaxed); }
    // Shared memory resident at the peak of the total, in kilobytes.
    long SharedAtPeakKb() const { return sharedAtPeakKb_.load(std::memory_order_relaxed); }

private:
    void Sample();

    const pid_t pid_;
    std::atomic<bool> stopping_{false};
    std::atomic<long> peakTotalKb_{0};
    std::atomic<long> peakOwnKb_{0};
    std::atomic<long> sharedAtPeakKb_{0};
    std::thread thread_;
};
