// Polls a few rows of the X screen as fast as the server answers and prints, per poll, the
// CLOCK_MONOTONIC time (seconds) at which the image arrived and the sum of the rows'
// brightness (R + G + B over every pixel). The rows are read from the root window, so what
// is measured is the composited screen, as the user sees it.
//
// Usage: band-rows X Y WIDTH HEIGHT ROWS SECONDS
//   polls ROWS rows spread evenly over the rectangle (X, Y, WIDTH, HEIGHT) for SECONDS.
// Build: c++ -O2 -o band-rows band-rows.cpp -lX11
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

double now() {
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT ROWS SECONDS\n", argv[0]);
        return 2;
    }
    const int x = std::atoi(argv[1]);
    const int y = std::atoi(argv[2]);
    const int width = std::atoi(argv[3]);
    const int height = std::atoi(argv[4]);
    const int rows = std::atoi(argv[5]);
    const double seconds = std::atof(argv[6]);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr || width <= 0 || height <= 0 || rows <= 0) {
        std::fprintf(stderr, "no display, or an empty rectangle\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    std::vector<int> rowY;
    for (int row = 0; row < rows; ++row) rowY.push_back(y + (height * (2 * row + 1)) / (2 * rows));
    const double end = now() + seconds;
    while (now() < end) {
        unsigned long long ink = 0;
        for (const int row : rowY) {
            XImage* image = XGetImage(display, root, x, row, static_cast<unsigned>(width), 1, AllPlanes, ZPixmap);
            if (image == nullptr) continue;
            for (int column = 0; column < width; ++column) {
                const unsigned long pixel = XGetPixel(image, column, 0);
                ink += (pixel & 0xff) + ((pixel >> 8) & 0xff) + ((pixel >> 16) & 0xff);
            }
            XDestroyImage(image);
        }
        std::printf("%.6f %llu\n", now(), ink);
    }
    XCloseDisplay(display);
    return 0;
}
