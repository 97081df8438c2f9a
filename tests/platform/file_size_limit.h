// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>

#include <sys/resource.h>

// Caps the size of the files this process writes, as a full disk would:
// writes beyond the cap fail with EFBIG (SIGXFSZ is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        if (::getrlimit(RLIMIT_FSIZE, &saved_) != 0)
            return;
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        active_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit()
    {
        if (active_)
            ::setrlimit(RLIMIT_FSIZE, &saved_);
        if (previousHandler_ != SIG_ERR)
            std::signal(SIGXFSZ, previousHandler_);
    }

    // Whether the cap is in force.
    bool Active() const { return active_; }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = SIG_ERR;
    bool active_ = false;
};
