// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/notification_window.h"

#include "platform/bounded_mpmc_queue.h"
#include "platform/exception.h"

#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

namespace {

struct Posted {
    std::uint32_t msg;
    std::uintptr_t wParam;
    std::uintptr_t lParam;
};

} // namespace

struct NotificationWindow::Impl {
    // One per dispatchPending call in progress (they nest when a handler runs
    // the event loop), so that destroying the window inside a handler stops
    // every one of them.
    struct Frame {
        Frame* outer = nullptr;
        bool destroyed = false;
    };

    Impl(Handler h, std::size_t capacity) : handler(std::move(h)), queue(capacity) {}

    // Makes sure one wake-up is pending; the flag saves a system call for
    // every message posted while one already is. Any thread.
    void wake() noexcept
    {
        // Sequentially consistent, like the queue's publication: see the
        // wake-up handler in the constructor.
        if (!wakePending.exchange(true, std::memory_order_seq_cst)) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = ::write(eventFd, &one, sizeof one);
        }
    }

    Handler handler;
    BoundedMpmcQueue<Posted> queue;
    int eventFd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    std::atomic<bool> wakePending{false};
    Frame* innermost = nullptr;
};

NotificationWindow::NotificationWindow(Handler handler, std::size_t capacity)
    : d(std::make_unique<Impl>(std::move(handler), capacity))
{
    d->eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (d->eventFd < 0)
        throw Exception(std::string("Cannot create the notification window: ") + std::strerror(errno));
    d->notifier = std::make_unique<QSocketNotifier>(d->eventFd, QSocketNotifier::Read);
    QObject::connect(d->notifier.get(), &QSocketNotifier::activated, d->notifier.get(), [this] {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t read = ::read(d->eventFd, &count, sizeof count);
        // Cleared before the queue is drained, both sequentially consistent
        // like the poster's "publish, then test the flag": either this drain
        // sees a message, or its poster sees the flag cleared and wakes us.
        d->wakePending.store(false, std::memory_order_seq_cst);
        dispatchPending();
    });
}

NotificationWindow::~NotificationWindow()
{
    const bool dispatching = d->innermost != nullptr;
    for (Impl::Frame* frame = d->innermost; frame; frame = frame->outer)
        frame->destroyed = true;
    d->notifier->setEnabled(false);
    d->notifier->disconnect();
    ::close(d->eventFd);
    if (!dispatching)
        return;
    // Destroyed by its own handler: the notifier is still emitting its signal
    // and the handler still running, so both go once control is back in the
    // event loop.
    QSocketNotifier* notifier = d->notifier.release();
    QObject::connect(notifier, &QObject::destroyed, [impl = d.release()] { delete impl; });
    notifier->deleteLater();
}

bool NotificationWindow::post(std::uint32_t msg, std::uintptr_t wParam, std::uintptr_t lParam) noexcept
{
    if (!d->queue.push(Posted{msg, wParam, lParam}))
        return false;
    d->wake();
    return true;
}

void NotificationWindow::dispatchPending()
{
    // Links this call into the window's frames for its duration; when a
    // handler throws, a wake-up stays pending for what is left.
    class FrameScope {
    public:
        explicit FrameScope(Impl& impl) : impl_(impl)
        {
            frame.outer = impl_.innermost;
            impl_.innermost = &frame;
        }
        ~FrameScope()
        {
            if (frame.destroyed)
                return;
            impl_.innermost = frame.outer;
            if (!impl_.queue.seemsEmpty())
                impl_.wake();
        }
        FrameScope(const FrameScope&) = delete;
        FrameScope& operator=(const FrameScope&) = delete;

        Impl::Frame frame;

    private:
        Impl& impl_;
    };

    const FrameScope scope(*d);
    Posted posted{};
    while (d->queue.pop(posted)) {
        // With more waiting, keep a wake-up pending: an event loop run by
        // the handler then delivers them, nested and in order.
        if (!d->queue.seemsEmpty())
            d->wake();
        TMessage message;
        message.Msg = posted.msg;
        message.WParam = posted.wParam;
        message.LParam = posted.lParam;
        d->handler(message);
        if (scope.frame.destroyed)
            return;
    }
}

bool PostMessageW(HWND hWnd, std::uint32_t msg, std::uintptr_t wParam, std::uintptr_t lParam) noexcept
{
    return hWnd && hWnd->post(msg, wParam, lParam);
}
