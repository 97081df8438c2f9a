// SPDX-License-Identifier: GPL-3.0-or-later
#include "resident_sampler.h"

#include <chrono>
#include <fstream>
#include <string>

ResidentSampler::ResidentSampler(pid_t pid) : pid_(pid)
{
    thread_ = std::thread([this] {
        while (!stopping_.load(std::memory_order_relaxed)) {
            Sample();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
}

ResidentSampler::~ResidentSampler()
{
    Stop();
}

void ResidentSampler::Stop()
{
    if (!thread_.joinable())
        return;
    stopping_.store(true, std::memory_order_relaxed);
    thread_.join();
    Sample();
}

void ResidentSampler::Sample()
{
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    long hwm = 0;
    long anon = 0;
    long file = 0;
    long shmem = 0;
    std::string key;
    long value = 0;
    std::string unit;
    while (status >> key) {
        if (key == "VmHWM:" || key == "RssAnon:" || key == "RssFile:" || key == "RssShmem:") {
            status >> value >> unit;
            (key == "VmHWM:" ? hwm : key == "RssAnon:" ? anon : key == "RssFile:" ? file : shmem) = value;
        }
        status.ignore(4096, '\n');
    }
    if (hwm > peakTotalKb_.load(std::memory_order_relaxed)) {
        peakTotalKb_.store(hwm, std::memory_order_relaxed);
        sharedAtPeakKb_.store(shmem, std::memory_order_relaxed);
    }
    if (anon + file > peakOwnKb_.load(std::memory_order_relaxed))
        peakOwnKb_.store(anon + file, std::memory_order_relaxed);
}
