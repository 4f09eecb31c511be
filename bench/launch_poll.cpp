// Times a program from its exec until a colour is on the X screen: forks, execs the program, polls
// the pixels around the screen's centre about every millisecond, and prints the milliseconds until
// they match, then the program's peak resident memory (VmHWM, read just before it is killed).
//   usage: launch_poll R G B TOLERANCE TIMEOUT_MS PROGRAM [ARGS...]
//   prints: MILLISECONDS PEAK_KB        (exit 1 on time-out)
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

bool Near(unsigned long pixel, const int want[3], int tolerance)
{
    const int got[3] = {int((pixel >> 16) & 0xff), int((pixel >> 8) & 0xff), int(pixel & 0xff)};
    for (int i = 0; i < 3; ++i)
        if (std::abs(got[i] - want[i]) > tolerance)
            return false;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 7) {
        std::fprintf(stderr, "usage: %s R G B TOLERANCE TIMEOUT_MS PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const int want[3] = {std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3])};
    const int tolerance = std::atoi(argv[4]);
    const auto timeout = std::chrono::milliseconds(std::atoi(argv[5]));
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 2;
    }
    const Window root = DefaultRootWindow(display);
    const int cx = DisplayWidth(display, DefaultScreen(display)) / 2;
    const int cy = DisplayHeight(display, DefaultScreen(display)) / 2;
    // Five points a little apart, so that one stray pixel of another colour decides nothing.
    const int points[5][2] = {{cx, cy}, {cx - 40, cy - 30}, {cx + 40, cy - 30}, {cx - 40, cy + 30}, {cx + 40, cy + 30}};

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[6], argv + 6);
        _exit(127);
    }
    bool shown = false;
    double ms = 0;
    while (std::chrono::steady_clock::now() - start < timeout) {
        XImage *image = XGetImage(display, root, cx - 40, cy - 30, 81, 61, AllPlanes, ZPixmap);
        if (image) {
            int matched = 0;
            for (const auto &p : points)
                matched += Near(XGetPixel(image, p[0] - (cx - 40), p[1] - (cy - 30)), want, tolerance);
            XDestroyImage(image);
            if (matched == 5) {
                ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
                shown = true;
                break;
            }
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "the program ended before showing the colour\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const long peak = PeakKb(pid);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    XCloseDisplay(display);
    if (!shown) {
        std::fprintf(stderr, "time-out: the colour never showed\n");
        return 1;
    }
    std::printf("%.1f %ld\n", ms, peak);
    return 0;
}
