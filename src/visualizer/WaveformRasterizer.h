#pragma once

#include <cstdint>
#include <memory>

#include "visualizer/ImageBuffer.h"
#include "visualizer/WaveformScene.h"

namespace sonavista {

// Software renderer of a WaveformScene into a premultiplied ARGB image of the whole panel.
//
// The image holds the wave only: centre line, glow, dashed bars, centre dots and sparkles,
// composited in that order over a transparent background (or over `background`, a premultiplied
// ARGB pixel). It is panel width x panel height points at the device pixel ratio, with the wave
// area centred. Nothing else is drawn: a uniform fog tint can be passed as `background`; the
// frosted backdrop is the window's.
//
// Shapes are rasterised per pixel column with analytic coverage (the bars are vertical, so a
// column's coverage is a sum of interval overlaps), and the glow is a Gaussian blur computed in
// closed form per bar, accumulated row by row on a grid of 2 x 2-pixel cells and interpolated
// to pixels (the blur is several pixels wide, so that stays within a level of 8 bits). The
// rasterizer caches coverage tables between frames; keep one instance per view. Not
// thread-safe: one thread renders at a time.
class WaveformRasterizer {
public:
    WaveformRasterizer();
    ~WaveformRasterizer();
    WaveformRasterizer(const WaveformRasterizer&) = delete;
    WaveformRasterizer& operator=(const WaveformRasterizer&) = delete;

    // The image size in device pixels for a panel at a device pixel ratio (each side rounded up,
    // at least 1). A ratio that is not positive counts as 1. The caller keeps the panel to a
    // size it can afford to allocate (a screen's).
    static int pixelWidth(const WaveformScene& scene, double devicePixelRatio);
    static int pixelHeight(const WaveformScene& scene, double devicePixelRatio);

    // A range of image rows, first to last; empty when last < first.
    struct Rows {
        int first = 0;
        int last = -1;
        bool empty() const { return last < first; }
    };

    // Resizes `out` to the panel's pixel size and draws the frame into it. Answers the rows the
    // wave may reach: every row outside them holds nothing but `background` (the rows inside
    // may hold only background too, near the band's edges).
    //
    // Rows that should hold only the background are checked and cleared when they do not. A
    // caller that knows better passes `backgroundOutside`: `out` already has the panel's pixel
    // size and holds `background` in every row outside those rows (the rows this call answered
    // for the previous frame drawn into `out`, typically). Then only those rows are cleared
    // and the rest of the image is not read at all.
    Rows render(const WaveformScene& scene, ImageBuffer& out, double devicePixelRatio,
                std::uint32_t background = 0, const Rows* backgroundOutside = nullptr);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sonavista
