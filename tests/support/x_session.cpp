// SPDX-License-Identifier: GPL-3.0-or-later
#include "x_session.h"

#include <xcb/xtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr auto PollInterval = 20ms;

template <class T>
using XReply = std::unique_ptr<T, decltype(&std::free)>;

template <class T>
XReply<T> Reply(T* reply)
{
    return XReply<T>(reply, &std::free);
}

// Reads the display number that Xvfb writes once it accepts connections.
std::string ReadDisplayNumber(int fd, pid_t pid)
{
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            char buffer[32];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            number.append(buffer, static_cast<std::size_t>(n));
            if (number.find('\n') != std::string::npos)
                return number.substr(0, number.find('\n'));
        }
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            break;
    }
    return {};
}

} // namespace

PrivateXServer::PrivateXServer()
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    // The one descriptor Xvfb inherits: it writes the display number there.
    const int displayFd = ::fcntl(pipeFds[1], F_DUPFD, 3);
    const std::string displayFdText = std::to_string(displayFd);
    pid_ = ::fork();
    if (pid_ == 0) {
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        ::execlp("Xvfb", "Xvfb", "-displayfd", displayFdText.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
                 "tcp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(displayFd);
    ::close(pipeFds[1]);
    if (pid_ < 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error("fork failed");
    }
    const std::string number = ReadDisplayNumber(pipeFds[0], pid_);
    ::close(pipeFds[0]);
    if (number.empty()) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        throw std::runtime_error("Xvfb did not start");
    }
    display_ = ":" + number;
}

PrivateXServer::~PrivateXServer()
{
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
            return;
        std::this_thread::sleep_for(PollInterval);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

XSession::XSession(const std::string& display)
{
    connection_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        throw std::runtime_error("cannot connect to X display " + display);
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    const char* name = "_NET_WM_NAME";
    const auto atom = Reply(xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    netWmName_ = atom ? atom->atom : xcb_atom_t{XCB_ATOM_NONE};
    const auto xtest = Reply(xcb_test_get_version_reply(connection_, xcb_test_get_version(connection_, 2, 2), nullptr));
    if (!xtest) {
        xcb_disconnect(connection_);
        throw std::runtime_error("the X server has no XTEST extension");
    }
}

XSession::~XSession()
{
    xcb_disconnect(connection_);
}

std::string XSession::title(xcb_window_t window)
{
    for (const xcb_atom_t property : {netWmName_, xcb_atom_t{XCB_ATOM_WM_NAME}}) {
        const auto reply = Reply(xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
            nullptr));
        if (reply && xcb_get_property_value_length(reply.get()) > 0)
            return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                               static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    }
    return {};
}

std::vector<XWindow> XSession::windows()
{
    std::vector<XWindow> result;
    const auto tree = Reply(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
    if (!tree)
        return result;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t id = children[i];
        const auto attributes =
            Reply(xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, id), nullptr));
        const auto geometry = Reply(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, id), nullptr));
        if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        // The toolkit's own 1 x 1 and 3 x 3 helper windows.
        if (geometry->width <= 3 && geometry->height <= 3)
            continue;
        result.push_back({id, title(id), geometry->x, geometry->y, geometry->width, geometry->height,
                          attributes->override_redirect != 0});
    }
    return result;
}

std::optional<XWindow> XSession::waitForNewWindow(const std::vector<XWindow>& known, const std::string& wanted,
                                                  std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (const XWindow& window : windows()) {
            bool isKnown = false;
            for (const XWindow& k : known)
                isKnown = isKnown || k.id == window.id;
            if (!isKnown && (wanted.empty() || (!window.popup && window.title == wanted)))
                return window;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(PollInterval);
    }
}

std::vector<std::uint8_t> XSession::pixels(const XWindow& window)
{
    const auto image = Reply(xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window.id, 0, 0, static_cast<std::uint16_t>(window.width),
                      static_cast<std::uint16_t>(window.height), ~0u),
        nullptr));
    if (!image)
        return {};
    const std::uint8_t* data = xcb_get_image_data(image.get());
    return {data, data + xcb_get_image_data_length(image.get())};
}

bool XSession::waitForChange(const XWindow& window, const std::vector<std::uint8_t>& before,
                             std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (pixels(window) != before)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(PollInterval);
    }
}

bool XSession::waitUntilSettled(const XWindow& window, std::chrono::milliseconds limit)
{
    constexpr int LooksInARow = 5;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<std::uint8_t> last = pixels(window);
    int same = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(PollInterval * 5);
        std::vector<std::uint8_t> now = pixels(window);
        same = now == last && !now.empty() ? same + 1 : 0;
        if (same >= LooksInARow)
            return true;
        last = std::move(now);
    }
    return false;
}

void XSession::sync()
{
    // A round trip: every request sent before it has been carried out.
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void XSession::click(int x, int y)
{
    press(x, y);
    release();
}

void XSession::press(int x, int y)
{
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, static_cast<std::int16_t>(x),
                        static_cast<std::int16_t>(y), 0);
    xcb_test_fake_input(connection_, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    sync();
}

void XSession::moveTo(int x, int y)
{
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, static_cast<std::int16_t>(x),
                        static_cast<std::int16_t>(y), 0);
    sync();
}

void XSession::release()
{
    xcb_test_fake_input(connection_, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    sync();
}

xcb_keycode_t XSession::keycode(std::uint32_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    const auto mapping = Reply(xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, static_cast<std::uint8_t>(count)),
        nullptr));
    if (!mapping)
        return 0;
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int perCode = mapping->keysyms_per_keycode;
    for (int code = 0; code < count; ++code)
        for (int i = 0; i < perCode; ++i)
            if (symbols[code * perCode + i] == keysym)
                return static_cast<xcb_keycode_t>(setup->min_keycode + code);
    return 0;
}

void XSession::key(std::uint32_t keysym)
{
    const xcb_keycode_t code = keycode(keysym);
    if (code == 0)
        throw std::runtime_error("no key types keysym " + std::to_string(keysym));
    xcb_test_fake_input(connection_, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    xcb_test_fake_input(connection_, XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    sync();
}
