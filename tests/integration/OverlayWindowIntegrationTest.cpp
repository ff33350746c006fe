// The overlay on a real X server: a private Xvfb with the picom compositor, the overlay shown
// by the sonavista-overlay-demo program, inspected with xwininfo, xprop and import. Clicks
// through it, with and without window managers, are checked by window_managers.sh.
#include "support/Child.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <poll.h>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using sonavista::testing::Child;
using sonavista::testing::TempDir;

constexpr int screenWidth = 1920;
constexpr int screenHeight = 1080;

std::string capture(const std::string& command) {
    std::string result;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[4096];
        std::size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) {
            result.append(chunk, n);
        }
        pclose(pipe);
    }
    return result;
}

// A private X server with its own isolated home and runtime directories, and optionally a
// compositor.
class XServer {
public:
    explicit XServer(bool withCompositor) {
        TempDir::apply(root_.isolatedEnv());
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        unsetenv("WAYLAND_DISPLAY");

        int fds[2];
        if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
        const std::string size = std::to_string(screenWidth) + "x" + std::to_string(screenHeight) + "x24";
        xvfb_ = std::make_unique<Child>(
            std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", size, "-nolisten", "tcp", "-ac"},
            Child::noPipes, std::nullopt, fds[1]);
        close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c;
        while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(fds[0]);
        if (number.empty()) throw std::runtime_error("Xvfb did not start");
        display_ = ":" + number;
        setenv("DISPLAY", display_.c_str(), 1);
        connection_ = XOpenDisplay(display_.c_str());
        if (!connection_) throw std::runtime_error("cannot open " + display_);

        if (withCompositor) {
            picom_ = std::make_unique<Child>(
                std::vector<std::string>{"picom", "--backend", "xrender", "--no-fading-openclose"});
            const Atom selection = XInternAtom(connection_, "_NET_WM_CM_S0", False);
            for (int i = 0; i < 250 && XGetSelectionOwner(connection_, selection) == 0; ++i) {
                std::this_thread::sleep_for(20ms);
            }
            if (XGetSelectionOwner(connection_, selection) == 0) throw std::runtime_error("picom did not start");
        }
    }

    ~XServer() {
        picom_.reset();
        if (connection_) XCloseDisplay(connection_);
        xvfb_.reset();
    }

    Display* connection() const { return connection_; }
    const fs::path& root() const { return root_.path(); }

private:
    TempDir root_{"sonavista-overlay"};
    std::string display_;
    std::unique_ptr<Child> xvfb_;
    std::unique_ptr<Child> picom_;
    Display* connection_ = nullptr;
};

struct Frame {
    int x, y, width, height;
    unsigned long window;
    bool compositor;
};

std::optional<Frame> parseFrame(const std::optional<std::string>& line) {
    Frame f{};
    int compositor = 0;
    if (!line || std::sscanf(line->c_str(), "frame %d %d %d %d %lu %d", &f.x, &f.y, &f.width, &f.height, &f.window,
                             &compositor) != 6) {
        return std::nullopt;
    }
    f.compositor = compositor != 0;
    return f;
}

struct WindowInfo {
    int x = -1, y = -1, width = -1, height = -1;
    bool viewable = false;
};

WindowInfo windowInfo(unsigned long window) {
    const std::string text = capture("xwininfo -id " + std::to_string(window));
    WindowInfo info;
    std::smatch m;
    const auto number = [&](const char* pattern) {
        return std::regex_search(text, m, std::regex(pattern)) ? std::stoi(m[1]) : -1;
    };
    info.x = number(R"(Absolute upper-left X:\s+(-?\d+))");
    info.y = number(R"(Absolute upper-left Y:\s+(-?\d+))");
    info.width = number(R"(Width:\s+(\d+))");
    info.height = number(R"(Height:\s+(\d+))");
    info.viewable = text.find("Map State: IsViewable") != std::string::npos;
    return info;
}

// The root window as 8-bit RGB rows; also saved as PNG under the build tree for looking at.
struct Screenshot {
    std::vector<unsigned char> rgb;
    const unsigned char* at(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * screenWidth + x) * 3]; }
    // How far the pixel is from `reference` in its most different channel.
    int distance(int x, int y, const std::array<int, 3>& reference) const {
        const auto* p = at(x, y);
        return std::max({std::abs(p[0] - reference[0]), std::abs(p[1] - reference[1]), std::abs(p[2] - reference[2])});
    }
    // Share of pixels in the rectangle that differ from `reference` by more than `tolerance`.
    double differingShare(int x0, int y0, int w, int h, const std::array<int, 3>& reference, int tolerance) const {
        long differing = 0;
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x) differing += distance(x, y, reference) > tolerance;
        return static_cast<double>(differing) / (static_cast<double>(w) * h);
    }
};

// Saved under the build tree unless `where` names another directory.
Screenshot screenshot(const std::string& name, std::optional<fs::path> where = std::nullopt) {
    // Give the compositor a few frames to paint the latest state.
    std::this_thread::sleep_for(400ms);
    const char* binary = std::getenv("SONAVISTA_BINARY_DIR");
    const fs::path dir = where ? *where : fs::path(binary ? binary : ".") / "overlay-screenshots";
    fs::create_directories(dir);
    const fs::path png = dir / (name + ".png");
    capture("import -window root '" + png.string() + "' 2>/dev/null");
    Screenshot shot;
    const std::string raw = capture("convert '" + png.string() + "' -depth 8 rgb:- 2>/dev/null");
    shot.rgb.assign(raw.begin(), raw.end());
    return shot;
}

std::string demoPath() { return SONAVISTA_OVERLAY_DEMO; }

class OverlayWindowIntegrationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new XServer(true);
        // What the compositor paints where no window is (no wallpaper: a flat colour).
        // Kept in the server's own directory: test programs may run side by side.
        const auto shot = screenshot("background", server_->root());
        if (!shot.rgb.empty()) {
            const auto* p = shot.at(screenWidth / 2, screenHeight / 2);
            background_ = {p[0], p[1], p[2]};
        }
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    std::unique_ptr<Child> startDemo(std::vector<std::string> arguments, std::optional<Frame>& frame) {
        arguments.insert(arguments.begin(), demoPath());
        auto demo = std::make_unique<Child>(arguments, Child::readOutput | Child::writeInput);
        frame = parseFrame(demo->lineStartingWith("frame "));
        return demo;
    }

    static inline XServer* server_ = nullptr;
    static inline std::array<int, 3> background_ = {0, 0, 0};
};

TEST_F(OverlayWindowIntegrationTest, AppearsAtTheComputedFrameAndShowsBars) {
    // No desktop panels on Xvfb: the visible frame is the whole 1920 × 1080 screen.
    struct Case {
        const char* mode;
        const char* position;
        int y, height;
    };
    const Case cases[] = {
        {"compact", "top", 28, 150},      // y-up bottom edge 1080 - 178 = 902
        {"compact", "center", 405, 270},  // 0.25 × 1080 = 270, centred
        {"compact", "bottom", 902, 150},  // y-up bottom edge 28
        {"fullscreenFog", "center", 0, 1080},
    };
    std::optional<Frame> first;
    auto demo = startDemo({"--color", "cyan", "--avoid", "off"}, first);
    ASSERT_TRUE(first);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + c.position);
        demo->send(std::string("mode ") + c.mode);
        ASSERT_TRUE(demo->lineStartingWith("frame "));
        demo->send(std::string("position ") + c.position);
        const auto frame = parseFrame(demo->lineStartingWith("frame "));
        ASSERT_TRUE(frame);
        EXPECT_TRUE(frame->compositor);

        // The X server applies the new frame shortly after the answer: wait for it (a loaded
        // machine takes longer than an idle one).
        auto info = windowInfo(frame->window);
        for (int tries = 0; tries < 30 && (info.y != c.y || info.height != c.height); ++tries) {
            std::this_thread::sleep_for(100ms);
            info = windowInfo(frame->window);
        }
        std::this_thread::sleep_for(150ms);  // and for the compositor to draw it
        EXPECT_TRUE(info.viewable);
        EXPECT_EQ(info.x, 0);
        EXPECT_EQ(info.y, c.y);
        EXPECT_EQ(info.width, screenWidth);
        EXPECT_EQ(info.height, c.height);

        const auto shot = screenshot(std::string("overlay-") + c.mode + "-" + c.position);
        ASSERT_EQ(shot.rgb.size(), static_cast<std::size_t>(screenWidth) * screenHeight * 3);
        if (std::string(c.mode) == "compact") {
            // Bars inside the band, nothing outside it.
            EXPECT_GT(shot.differingShare(0, c.y, screenWidth, c.height, background_, 40), 0.05);
            EXPECT_EQ(shot.differingShare(0, 0, screenWidth, c.y, background_, 2), 0.0);
            const int below = c.y + c.height;
            EXPECT_EQ(shot.differingShare(0, below, screenWidth, screenHeight - below, background_, 2), 0.0);
        } else {
            // The whole screen carries the faint tint; the wave fills the middle.
            const auto* corner = shot.at(5, 5);
            for (int channel = 0; channel < 3; ++channel) {
                EXPECT_GE(corner[channel] - background_[channel], 3) << channel;
                EXPECT_LE(corner[channel] - background_[channel], 20) << channel;
            }
            EXPECT_GT(shot.differingShare(0, 400, screenWidth, 280, background_, 40), 0.05);
        }
    }
}

TEST_F(OverlayWindowIntegrationTest, BypassesTheWindowManagerWithoutTiesToTheApplication) {
    std::optional<Frame> frame;
    auto demo = startDemo({"--mode", "compact", "--avoid", "off"}, frame);
    ASSERT_TRUE(frame);
    const auto id = std::to_string(frame->window);
    const std::string text = capture("xprop -id " + id + " WM_CLASS WM_HINTS WM_TRANSIENT_FOR WM_CLIENT_LEADER");
    EXPECT_NE(text.find(R"(WM_CLASS(STRING) = "sonavista", "sonavista")"), std::string::npos) << text;
    EXPECT_NE(text.find("Client accepts input or input focus: False"), std::string::npos) << text;
    EXPECT_EQ(text.find("window id # of group leader"), std::string::npos) << text;
    EXPECT_NE(text.find("WM_TRANSIENT_FOR:  not found"), std::string::npos) << text;
    EXPECT_NE(text.find("WM_CLIENT_LEADER:  not found"), std::string::npos) << text;
    EXPECT_NE(capture("xwininfo -all -id " + id).find("Override Redirect State: yes"), std::string::npos);

    // Covering avoided: the same window, still shown.
    demo->send("avoid on");
    const auto below = parseFrame(demo->lineStartingWith("frame "));
    ASSERT_TRUE(below);
    EXPECT_EQ(below->window, frame->window);
    std::this_thread::sleep_for(150ms);
    EXPECT_TRUE(windowInfo(frame->window).viewable);

    demo->send("hide");
    ASSERT_TRUE(demo->lineStartingWith("frame "));
    std::this_thread::sleep_for(150ms);
    EXPECT_FALSE(windowInfo(frame->window).viewable);
}

TEST_F(OverlayWindowIntegrationTest, AsksForBlurBehindInFogWhereTheCompositorOffersIt) {
    const auto blurHint = [](unsigned long window) {
        const auto text = capture("xprop -id " + std::to_string(window) + " _KDE_NET_WM_BLUR_BEHIND_REGION");
        return text.find("not found") == std::string::npos && text.find("(CARDINAL)") != std::string::npos;
    };
    std::optional<Frame> frame;
    auto demo = startDemo({"--mode", "fullscreenFog"}, frame);
    ASSERT_TRUE(frame);
    EXPECT_FALSE(blurHint(frame->window));  // picom does not announce blur-behind

    // A compositor that blurs announces it with the atom on the root window.
    Display* x = server_->connection();
    const Atom blur = XInternAtom(x, "_KDE_NET_WM_BLUR_BEHIND_REGION", False);
    XChangeProperty(x, DefaultRootWindow(x), blur, blur, 8, PropModeReplace, nullptr, 0);
    XSync(x, False);

    demo->send("mode fullscreenFog");
    ASSERT_TRUE(demo->lineStartingWith("frame "));
    EXPECT_TRUE(blurHint(frame->window));
    demo->send("mode compact");
    ASSERT_TRUE(demo->lineStartingWith("frame "));
    EXPECT_FALSE(blurHint(frame->window));

    XDeleteProperty(x, DefaultRootWindow(x), blur);
    XSync(x, False);
}

// The view's own notice on the opaque band (checked by the view's tests) is what tells the user.
TEST(OverlayWithoutCompositorTest, KeepsWorkingOnAnOpaqueBand) {
    XServer server(false);
    Child demo({SONAVISTA_OVERLAY_DEMO, "--mode", "compact", "--position", "bottom"},
               Child::readOutput | Child::writeInput);  // the demo quits when its input ends
    const auto frame = parseFrame(demo.lineStartingWith("frame "));
    ASSERT_TRUE(frame);
    EXPECT_FALSE(frame->compositor);
    std::this_thread::sleep_for(200ms);
    const auto info = windowInfo(frame->window);
    EXPECT_TRUE(info.viewable);
    EXPECT_EQ(info.y, 902);
    screenshot("overlay-without-compositor");
}

}  // namespace
