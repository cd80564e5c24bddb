// Start-up probe: starts a program and returns once the top-level window with the given title has
// received its first drawing on the X display, then ends the program. It blocks on X events
// (window creation, damage) instead of polling the window list, so it costs the measured program no
// CPU while it waits; hyperfine times this probe from outside.
//
// Usage: WaitFrame <title> <program> [arguments...]
// Only the started program is expected to create windows on the display (e.g. a private Xvfb).
// Exit code 0 when the frame was seen, 2 when the program ended or the window closed without a
// frame, 3 on X errors.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Reply = std::unique_ptr<T, FreeDeleter>;

// The window's WM_NAME (Latin-1 or UTF-8 bytes), or nothing when the window no longer exists.
std::optional<std::string> WindowTitle(xcb_connection_t* c, xcb_window_t window) {
    auto cookie =
        xcb_get_property(c, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, &error));
    std::free(error);
    if (!reply)
        return std::nullopt;
    auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(data, static_cast<size_t>(xcb_get_property_value_length(reply.get())));
}

int EndChild(pid_t pid, int code) {
    kill(pid, SIGTERM);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return code;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <title> <program> [arguments...]\n", argv[0]);
        return 64;
    }
    const std::string title = argv[1];

    // An X server that resets when its last client leaves (xvfb-run's default) refuses
    // connections for a moment after the previous run, and a connection it took just before
    // resetting is closed by the reset: try again until a round trip succeeds, for up to 5 s. The
    // program is started only once the server has taken this client for good.
    int screenIndex = 0;
    xcb_connection_t* c = nullptr;
    for (int attempt = 0; attempt < 5000; ++attempt) {
        if (c != nullptr) {
            xcb_disconnect(c);
            usleep(1000);
        }
        c = xcb_connect(nullptr, &screenIndex);
        if (xcb_connection_has_error(c))
            continue;
        Reply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        if (focus && !xcb_connection_has_error(c))
            break;
    }
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "WaitFrame: cannot open the X display\n");
        return 3;
    }
    const xcb_query_extension_reply_t* damageExt = xcb_get_extension_data(c, &xcb_damage_id);
    if (!damageExt || !damageExt->present) {
        std::fprintf(stderr, "WaitFrame: the X server has no DAMAGE extension\n");
        return 3;
    }
    Reply<xcb_damage_query_version_reply_t> version(xcb_damage_query_version_reply(
        c, xcb_damage_query_version(c, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
        nullptr));
    if (!version) {
        std::fprintf(stderr, "WaitFrame: DAMAGE version query failed\n");
        return 3;
    }

    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenIndex; ++i)
        xcb_screen_next(&it);
    const xcb_window_t root = it.data->root;
    const uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &rootMask);
    xcb_flush(c);

    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("WaitFrame: fork");
        return 3;
    }
    if (pid == 0) {
        execv(argv[2], argv + 2);
        std::perror("WaitFrame: exec");
        _exit(127);
    }

    // Every new top-level window gets a damage object; the first damage on one that carries the
    // title is the first frame.
    std::set<xcb_window_t> watched;
    const uint8_t damageNotify = damageExt->first_event + XCB_DAMAGE_NOTIFY;
    for (;;) {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(c)) {
            Reply<xcb_generic_event_t> event(raw);
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY) {
                auto* e = reinterpret_cast<xcb_create_notify_event_t*>(event.get());
                xcb_damage_damage_t damage = xcb_generate_id(c);
                xcb_damage_create(c, damage, e->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                xcb_flush(c);
                watched.insert(e->window);
            } else if (type == damageNotify) {
                auto* e = reinterpret_cast<xcb_damage_notify_event_t*>(event.get());
                if (!watched.count(e->drawable))
                    continue;
                // A window that drew and is already gone again (a program that quits after its
                // first paint) counts as well: only the started program creates windows here.
                const auto drawnTitle = WindowTitle(c, e->drawable);
                if (!drawnTitle || *drawnTitle == title)
                    return EndChild(pid, 0);
            } else if (type == XCB_DESTROY_NOTIFY) {
                auto* e = reinterpret_cast<xcb_destroy_notify_event_t*>(event.get());
                watched.erase(e->window);
            }
        }
        if (xcb_connection_has_error(c)) {
            std::fprintf(stderr, "WaitFrame: lost the X connection\n");
            return EndChild(pid, 3);
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "WaitFrame: %s ended before its first frame\n", argv[2]);
            return 2;
        }
        // Sleeps until the next X event; the timeout only bounds how late a program that ends
        // without a window is noticed.
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&fd, 1, 100);
    }
}
