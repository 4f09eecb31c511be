// Times a program from its exec until a colour is on the X screen: forks, execs the program, polls
// the pixels around the screen's centre about every millisecond, and prints the milliseconds until
// they match, then the program's peak resident memory (VmHWM, read just before it is killed).
//   usage: launch_poll R G B TOLERANCE TIMEOUT_MS PROGRAM [ARGS...]
//   prints: MILLISECONDS PEAK_KB        (exit 1 on time-out)
// With --key, times a running program from a key press sent to one of its windows until the colour
// is there: the clock starts as the press is sent (a press and a release, as a sent event, so no
// input extension is needed), and the polling is the same.
//   usage: launch_poll --key KEYSYM WINDOW_ID R G B TOLERANCE TIMEOUT_MS    (KEYSYM: F1, Right, ...)
//   prints: MILLISECONDS                (exit 1 on time-out)
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace {

long PeakKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// Sends a press and a release of `keysym` to `window`, as the X server would deliver them.
bool SendKey(Display *display, Window window, const char *keysym)
{
    const KeySym sym = XStringToKeysym(keysym);
    const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(display, sym);
    if (code == 0)
        return false;
    XKeyEvent key{};
    key.display = display;
    key.window = window;
    key.root = DefaultRootWindow(display);
    key.subwindow = None;
    key.time = CurrentTime;
    key.same_screen = True;
    key.keycode = code;
    key.type = KeyPress;
    XSendEvent(display, window, True, KeyPressMask, reinterpret_cast<XEvent *>(&key));
    key.type = KeyRelease;
    XSendEvent(display, window, True, KeyReleaseMask, reinterpret_cast<XEvent *>(&key));
    XFlush(display);
    return true;
}

bool Near(unsigned long pixel, const int want[3], int tolerance)
{
    const int got[3] = {int((pixel >> 16) & 0xff), int((pixel >> 8) & 0xff), int(pixel & 0xff)};
    for (int i = 0; i < 3; ++i)
        if (std::abs(got[i] - want[i]) > tolerance)
            return false;
    return true;
}

// Polls the pixels around the screen's centre until they are `want`, about every millisecond, or
// until `timeout` from `start`, or until `ended` says the program is gone. Milliseconds from
// `start`, or -1.
template <typename Ended>
double PollColour(Display *display, const int want[3], int tolerance, std::chrono::steady_clock::time_point start,
                  std::chrono::milliseconds timeout, Ended ended)
{
    const Window root = DefaultRootWindow(display);
    const int cx = DisplayWidth(display, DefaultScreen(display)) / 2;
    const int cy = DisplayHeight(display, DefaultScreen(display)) / 2;
    // Five points a little apart, so that one stray pixel of another colour decides nothing.
    const int points[5][2] = {{cx, cy}, {cx - 40, cy - 30}, {cx + 40, cy - 30}, {cx - 40, cy + 30}, {cx + 40, cy + 30}};
    while (std::chrono::steady_clock::now() - start < timeout) {
        XImage *image = XGetImage(display, root, cx - 40, cy - 30, 81, 61, AllPlanes, ZPixmap);
        if (image) {
            int matched = 0;
            for (const auto &p : points)
                matched += Near(XGetPixel(image, p[0] - (cx - 40), p[1] - (cy - 30)), want, tolerance);
            XDestroyImage(image);
            if (matched == 5)
                return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        }
        if (ended())
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::fprintf(stderr, "time-out: the colour never showed\n");
    return -1;
}

int KeyToColour(int argc, char **argv)
{
    if (argc != 9) {
        std::fprintf(stderr, "usage: %s --key KEYSYM WINDOW_ID R G B TOLERANCE TIMEOUT_MS\n", argv[0]);
        return 2;
    }
    const Window window = std::strtoul(argv[3], nullptr, 0);
    const int want[3] = {std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6])};
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    if (!SendKey(display, window, argv[2])) {
        std::fprintf(stderr, "no key %s\n", argv[2]);
        return 2;
    }
    const double ms = PollColour(display, want, std::atoi(argv[7]), start,
                                 std::chrono::milliseconds(std::atoi(argv[8])), [] { return false; });
    XCloseDisplay(display);
    if (ms < 0)
        return 1;
    std::printf("%.1f\n", ms);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::string(argv[1]) == "--key")
        return KeyToColour(argc, argv);
    if (argc < 7) {
        std::fprintf(stderr, "usage: %s R G B TOLERANCE TIMEOUT_MS PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const int want[3] = {std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3])};
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[6], argv + 6);
        _exit(127);
    }
    bool gone = false;
    const double ms = PollColour(display, want, std::atoi(argv[4]), start, std::chrono::milliseconds(std::atoi(argv[5])),
                                 [pid, &gone] {
                                     int status = 0;
                                     gone = waitpid(pid, &status, WNOHANG) == pid;
                                     return gone;
                                 });
    if (gone) {
        std::fprintf(stderr, "the program ended before showing the colour\n");
        return 1;
    }
    const long peak = PeakKb(pid);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    XCloseDisplay(display);
    if (ms < 0)
        return 1;
    std::printf("%.1f %ld\n", ms, peak);
    return 0;
}
