#include "platform/x11/x11_display.hpp"
#include "platform/posix/errno_text.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

extern char** environ;

namespace quizhost {
namespace {

struct resources_free {
    void operator()(XRRScreenResources* p) const { XRRFreeScreenResources(p); }
};
struct output_free {
    void operator()(XRROutputInfo* p) const { XRRFreeOutputInfo(p); }
};
struct crtc_free {
    void operator()(XRRCrtcInfo* p) const { XRRFreeCrtcInfo(p); }
};
using resources_ptr = std::unique_ptr<XRRScreenResources, resources_free>;
using output_ptr = std::unique_ptr<XRROutputInfo, output_free>;
using crtc_ptr = std::unique_ptr<XRRCrtcInfo, crtc_free>;

// Xlib reports protocol errors to one process-wide handler with no user data, and its default handler
// ends the process. While the mode is being changed, errors are counted here instead, so that a request
// the server refuses becomes a failed change rather than the end of the host.
int trapped_errors = 0;
int count_error(Display*, XErrorEvent*) {
    ++trapped_errors;
    return 0;
}

class error_trap {
public:
    explicit error_trap(Display* dpy) : dpy_(dpy) {
        XSync(dpy_, False);
        trapped_errors = 0;
        previous_ = XSetErrorHandler(count_error);
    }
    ~error_trap() {
        XSync(dpy_, False);
        XSetErrorHandler(previous_);
    }
    error_trap(const error_trap&) = delete;
    error_trap& operator=(const error_trap&) = delete;

    bool any() {
        XSync(dpy_, False);
        return trapped_errors != 0;
    }

private:
    Display* dpy_;
    XErrorHandler previous_ = nullptr;
};

// The output the host calls "the primary display", with the server's resources it was found in and
// the CRTC that drives it (none when the output is switched off).
struct primary_output {
    resources_ptr resources;
    RROutput id = 0;
    output_ptr info;
    RRCrtc crtc_id = 0;
    crtc_ptr crtc;
};

const XRRModeInfo* find_mode_info(const XRRScreenResources& res, RRMode id) {
    for (int i = 0; i < res.nmode; ++i) {
        if (res.modes[i].id == id) return &res.modes[i];
    }
    return nullptr;
}

bool sideways(Rotation rotation) { return (rotation & (RR_Rotate_90 | RR_Rotate_270)) != 0; }

class x11_display final : public display {
public:
    x11_display(Display* dpy, std::function<void()> reboot)
        : dpy_(dpy), root_(DefaultRootWindow(dpy)), reboot_(std::move(reboot)) {}
    ~x11_display() override { XCloseDisplay(dpy_); }
    x11_display(const x11_display&) = delete;
    x11_display& operator=(const x11_display&) = delete;

    std::int32_t screen_width() override { return screen_size().first; }
    std::int32_t screen_height() override { return screen_size().second; }

    std::optional<display_mode> enumerate_mode(std::uint32_t index) override;
    mode_change change_mode(const display_mode& mode, mode_lifetime lifetime) override;
    void request_reboot() override { reboot_ ? reboot_() : request_system_reboot(); }

private:
    std::optional<primary_output> find_primary();
    std::pair<int, int> root_size();
    std::pair<int, int> screen_size();
    mode_change switch_crtc(primary_output& primary, RRMode mode, int width, int height);
    void set_screen_size(int width, int height);

    Display* dpy_;
    Window root_;
    std::function<void()> reboot_;
};

// The output marked primary; when none is marked (a common default), the first connected output that is
// lit, else the first connected one.
std::optional<primary_output> x11_display::find_primary() {
    primary_output p;
    p.resources.reset(XRRGetScreenResourcesCurrent(dpy_, root_));
    // The current resources are what the server last probed; a server that never probed has none yet.
    if (!p.resources || p.resources->noutput == 0) p.resources.reset(XRRGetScreenResources(dpy_, root_));
    if (!p.resources) return std::nullopt;
    const XRRScreenResources& res = *p.resources;

    const RROutput marked = XRRGetOutputPrimary(dpy_, root_);
    output_ptr fallback_info;
    RROutput fallback = 0;
    for (int i = 0; i < res.noutput; ++i) {
        output_ptr info(XRRGetOutputInfo(dpy_, p.resources.get(), res.outputs[i]));
        if (!info || info->connection != RR_Connected) continue;
        if (res.outputs[i] == marked) {
            p.id = marked;
            p.info = std::move(info);
            break;
        }
        if (fallback == 0 || (fallback_info->crtc == 0 && info->crtc != 0)) {
            fallback = res.outputs[i];
            fallback_info = std::move(info);
        }
    }
    if (!p.info) {
        if (fallback == 0) return std::nullopt;
        p.id = fallback;
        p.info = std::move(fallback_info);
    }
    p.crtc_id = p.info->crtc;
    if (p.crtc_id != 0) p.crtc.reset(XRRGetCrtcInfo(dpy_, p.resources.get(), p.crtc_id));
    return p;
}

std::pair<int, int> x11_display::root_size() {
    Window root_back = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(dpy_, root_, &root_back, &x, &y, &width, &height, &border, &depth);
    return {static_cast<int>(width), static_cast<int>(height)};
}

// The primary output's size, as a screen of one monitor would report it; the whole X screen when the
// output is not lit.
std::pair<int, int> x11_display::screen_size() {
    if (auto primary = find_primary(); primary && primary->crtc && primary->crtc->mode != 0) {
        return {static_cast<int>(primary->crtc->width), static_cast<int>(primary->crtc->height)};
    }
    return root_size();
}

// "Mode 0" is the first mode the output lists; RandR lists the preferred modes first, as a Windows
// driver's list starts with its own choice.
std::optional<display_mode> x11_display::enumerate_mode(std::uint32_t index) {
    auto primary = find_primary();
    if (!primary || index >= static_cast<std::uint32_t>(primary->info->nmode)) return std::nullopt;
    const XRRModeInfo* info = find_mode_info(*primary->resources, primary->info->modes[index]);
    if (info == nullptr) return std::nullopt;
    return display_mode{static_cast<std::int32_t>(info->width), static_cast<std::int32_t>(info->height)};
}

// `lifetime` is ignored: X has no store of a registered mode for later sessions. A RandR change lasts
// until the server stops or another client changes it; the server's own configuration is the operator's
// to edit. A mode the output does not offer is mode_not_offered; anything else that goes wrong, failed.
mode_change x11_display::change_mode(const display_mode& mode, mode_lifetime /*lifetime*/) {
    auto primary = find_primary();
    if (!primary || !primary->crtc || primary->crtc->mode == 0) return mode_change::failed;
    const XRRCrtcInfo& crtc = *primary->crtc;
    const int width = mode.width.value_or(static_cast<int>(crtc.width));
    const int height = mode.height.value_or(static_cast<int>(crtc.height));
    if (width <= 0 || height <= 0) return mode_change::mode_not_offered;

    // The first listed mode of that size; on a turned output the screen's width is the mode's height.
    const bool turned = sideways(crtc.rotation);
    RRMode chosen = 0;
    for (int i = 0; i < primary->info->nmode && chosen == 0; ++i) {
        const XRRModeInfo* info = find_mode_info(*primary->resources, primary->info->modes[i]);
        if (info == nullptr) continue;
        const int w = static_cast<int>(turned ? info->height : info->width);
        const int h = static_cast<int>(turned ? info->width : info->height);
        if (w == width && h == height) chosen = info->id;
    }
    if (chosen == 0) return mode_change::mode_not_offered;
    if (chosen == crtc.mode) return mode_change::changed;
    return switch_crtc(*primary, chosen, width, height);
}

mode_change x11_display::switch_crtc(primary_output& primary, RRMode mode, int width, int height) {
    const XRRCrtcInfo& crtc = *primary.crtc;
    const XRRScreenResources& res = *primary.resources;

    // The X screen must hold every lit output: this one at its new size and the others where they are.
    int need_width = crtc.x + width;
    int need_height = crtc.y + height;
    for (int i = 0; i < res.ncrtc; ++i) {
        if (res.crtcs[i] == primary.crtc_id) continue;
        crtc_ptr other(XRRGetCrtcInfo(dpy_, primary.resources.get(), res.crtcs[i]));
        if (!other || other->mode == 0) continue;
        need_width = std::max(need_width, other->x + static_cast<int>(other->width));
        need_height = std::max(need_height, other->y + static_cast<int>(other->height));
    }
    int min_width = 0, min_height = 0, max_width = 0, max_height = 0;
    if (XRRGetScreenSizeRange(dpy_, root_, &min_width, &min_height, &max_width, &max_height)) {
        if (need_width > max_width || need_height > max_height) return mode_change::mode_not_offered;
        need_width = std::max(need_width, min_width);
        need_height = std::max(need_height, min_height);
    }

    const auto [old_width, old_height] = root_size();
    error_trap trap(dpy_);
    XGrabServer(dpy_);  // nobody sees the screen half changed
    // The screen grows before the output does and shrinks after it, so the output always fits.
    if (need_width > old_width || need_height > old_height) {
        set_screen_size(std::max(need_width, old_width), std::max(need_height, old_height));
    }
    const Status status = XRRSetCrtcConfig(dpy_, primary.resources.get(), primary.crtc_id, CurrentTime, crtc.x, crtc.y,
                                           mode, crtc.rotation, crtc.outputs, crtc.noutput);
    const bool switched = status == RRSetConfigSuccess && !trap.any();
    if (switched) {
        if (need_width != old_width || need_height != old_height) set_screen_size(need_width, need_height);
    } else if (need_width > old_width || need_height > old_height) {
        set_screen_size(old_width, old_height);  // the output kept its mode: give the screen its size back
    }
    XUngrabServer(dpy_);
    return switched && !trap.any() ? mode_change::changed : mode_change::failed;
}

// Keeps the screen's dots per inch, so that applications' idea of physical size does not change.
void x11_display::set_screen_size(int width, int height) {
    const int screen = DefaultScreen(dpy_);
    double mm_per_pixel_x = 25.4 / 96;
    double mm_per_pixel_y = 25.4 / 96;
    if (DisplayWidth(dpy_, screen) > 0 && DisplayWidthMM(dpy_, screen) > 0) {
        mm_per_pixel_x = static_cast<double>(DisplayWidthMM(dpy_, screen)) / DisplayWidth(dpy_, screen);
    }
    if (DisplayHeight(dpy_, screen) > 0 && DisplayHeightMM(dpy_, screen) > 0) {
        mm_per_pixel_y = static_cast<double>(DisplayHeightMM(dpy_, screen)) / DisplayHeight(dpy_, screen);
    }
    XRRSetScreenSize(dpy_, root_, width, height, std::max(1, static_cast<int>(std::lround(width * mm_per_pixel_x))),
                     std::max(1, static_cast<int>(std::lround(height * mm_per_pixel_y))));
}

std::string display_label(const std::string& name) {
    if (!name.empty()) return name;
    const char* env = std::getenv("DISPLAY");
    return env != nullptr && *env != '\0' ? env : "(DISPLAY is not set)";
}

}  // namespace

std::unique_ptr<display> make_x11_display(const x11_options& options) {
    const std::string label = display_label(options.display_name);
    Display* dpy = XOpenDisplay(options.display_name.empty() ? nullptr : options.display_name.c_str());
    if (dpy == nullptr) throw x11_unavailable("cannot open the X display " + label);
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(dpy, &event_base, &error_base) || !XRRQueryVersion(dpy, &major, &minor) || major < 1 ||
        (major == 1 && minor < 3)) {
        XCloseDisplay(dpy);
        throw x11_unavailable("the X display " + label + " cannot change modes (it lacks RandR 1.3)");
    }
    return std::make_unique<x11_display>(dpy, options.reboot);
}

void request_system_reboot() {
    const char* allowed = std::getenv("QUIZHOST_ALLOW_REBOOT");
    if (allowed == nullptr || std::strcmp(allowed, "1") != 0) {
        std::fputs("quizhost: a restart was agreed, but QUIZHOST_ALLOW_REBOOT is not 1: not restarting\n", stderr);
        return;
    }
    char program[] = "systemctl";
    char verb[] = "reboot";
    char* argv[] = {program, verb, nullptr};
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, program, nullptr, nullptr, argv, environ);
    if (failed != 0) {
        std::fprintf(stderr, "quizhost: cannot run systemctl reboot: %s\n", errno_text(failed).c_str());
        return;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fputs("quizhost: systemctl reboot failed\n", stderr);
}

}  // namespace quizhost
