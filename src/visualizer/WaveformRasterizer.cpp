#include "visualizer/WaveformRasterizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <span>
#include <vector>

namespace sonavista {
namespace {

using std::numbers::pi;

// Four lanes: a lane group of a bar's columns (see CapsuleCoverageTable::lanes).
using F32x4 = float __attribute__((vector_size(16)));
using I32x4 = std::int32_t __attribute__((vector_size(16)));
using U32x4 = std::uint32_t __attribute__((vector_size(16)));

// Standard normal cumulative distribution and density on [-4, 4], linearly interpolated;
// they are exactly 0 (or 1) beyond, which lets the glow skip rows where nothing changes.
class NormalTables {
public:
    static constexpr int perUnit = 128;
    static constexpr double limit = 4.0;
    static constexpr int size = static_cast<int>(2 * limit * perUnit) + 1;

    NormalTables() {
        for (int k = 0; k < size; ++k) {
            const double z = -limit + static_cast<double>(k) / perUnit;
            cdf_[k] = static_cast<float>(0.5 * std::erfc(-z / std::numbers::sqrt2));
            pdf_[k] = static_cast<float>(std::exp(-0.5 * z * z));
        }
    }
    float cdf(double z) const {
        if (z <= -limit) return 0.0f;
        if (z >= limit) return 1.0f;
        return lookup(cdf_, z);
    }
    // exp(-z^2 / 2), without the normalising factor.
    float bell(double z) const {
        if (z <= -limit || z >= limit) return 0.0f;
        return lookup(pdf_, z);
    }

private:
    static float lookup(const std::array<float, size>& table, double z) {
        const double pos = (z + limit) * perUnit;
        const int k = std::min(static_cast<int>(pos), size - 2);
        const float f = static_cast<float>(pos - k);
        return table[k] + f * (table[k + 1] - table[k]);
    }
    std::array<float, size> cdf_{};
    std::array<float, size> pdf_{};
};

const NormalTables& normal() {
    static const NormalTables tables;
    return tables;
}

// Reads `bytes` of memory from `data` on, one byte a cache line, to bring it into the caches.
// An in-order sweep is what the processor's own prefetcher runs ahead of, so it moves the lines
// at the memory's full speed (a burst of prefetch hints over the same tables measured no faster
// than none).
inline void bringIn(const void* data, std::size_t bytes) {
    const auto* p = static_cast<const unsigned char*>(data);
    unsigned char any = 0;
    for (std::size_t b = 0; b < bytes; b += 64) any |= p[b];
    asm volatile("" : : "r"(any));  // the reads are what is wanted, not their result
}

// Coverage of pixels by a vertical capsule of radius r: the set of points within r of a
// vertical segment [a, b] at horizontal position xc (a disc when a == b).
//
// A pixel column is split into sub-columns; in each, the capsule is the interval
// [a - t, b + t] with t the mean height of the round cap over the sub-column. The coverage of
// pixel row [y, y + 1] is then E(y - a) + E(b - y - 1) - Omega, where
// E(z) = sum_j width_j * clamp(z + t_j + 1, 0, 1) is tabulated per column and per fraction of
// xc, and Omega is the column's total width inside the capsule. Straight parts are exact; the
// caps are accurate to the sub-column resolution.
class CapsuleCoverageTable {
public:
    struct Column {
        int offset;                 // pixel column relative to floor(xc)
        float omega;                // horizontal coverage of the column
        const float* values;        // E sampled from zMin in steps of 1/zPerUnit
    };

    bool matches(double radius) const { return radius == radius_; }

    // With `lazy`, a value of E is worked out the first time a lookup reads it: for a table
    // rebuilt every frame (the pulsing dot's) only a few heights are ever read.
    void build(double radius, int buckets, int subColumns, int zPerUnit, bool lazy = false) {
        radius_ = radius;
        pattern_.clear();  // built from the columns, so stale now
        buckets_ = buckets;
        subColumns_ = subColumns;
        zPerUnit_ = zPerUnit;
        zMin_ = -1.0 - radius;
        zCount_ = static_cast<int>(std::ceil((1.0 + radius) * zPerUnit)) + 2;
        lazy_ = lazy;
        const int reach = static_cast<int>(std::ceil(radius)) + 1;
        columnsPerBucket_ = 2 * reach + 1;
        const std::size_t columnCount = static_cast<std::size_t>(buckets) * columnsPerBucket_;
        values_.assign(columnCount * zCount_, lazy ? std::numeric_limits<float>::quiet_NaN() : 0.0f);
        columns_.assign(columnCount, Column{});
        shapes_.assign(columnCount, ColumnShape{});
        widths_.assign(columnCount * subColumns, 0.0);
        heights_.assign(columnCount * subColumns, 0.0);
        firstColumn_.assign(static_cast<std::size_t>(buckets), 0);
        columnCount_.assign(static_cast<std::size_t>(buckets), 0);

        shaped_.assign(static_cast<std::size_t>(buckets), 0);
        for (int b = 0; b < buckets; ++b) {
            int used = 0;
            for (int c = -reach; c <= reach; ++c) {
                const std::size_t index = static_cast<std::size_t>(b) * columnsPerBucket_ + (c + reach);
                Column& column = columns_[index];
                double* widths = &widths_[index * subColumns];
                column.offset = c;
                column.values = &values_[index * zCount_];
                double omega = 0.0;
                for (int j = 0; j < subColumns; ++j) {
                    const double lo = std::max(subColumnEdge(b, c, j), -radius);
                    const double hi = std::min(subColumnEdge(b, c, j + 1), radius);
                    widths[j] = std::max(hi - lo, 0.0);
                    omega += widths[j];
                }
                column.omega = static_cast<float>(omega);
                shapes_[index].omega = omega;
                if (omega > 0.0) {
                    if (used == 0) firstColumn_[b] = c + reach;
                    used = c + reach - firstColumn_[b] + 1;
                }
            }
            columnCount_[b] = used;
            if (lazy) continue;
            shapeBucket(b);
            for (int c = 0; c < columnsPerBucket_; ++c) {
                const std::size_t index = static_cast<std::size_t>(b) * columnsPerBucket_ + c;
                if (!(shapes_[index].omega > 0.0)) continue;
                for (int k = 0; k < zCount_; ++k) values_[index * zCount_ + k] = value(index, k);
            }
        }
        if (!lazy) buildLaneValues();
    }

    // The columns that a capsule at horizontal position xc touches.
    std::span<const Column> columns(double xc) const { return bucketColumns(bucket(xc)); }
    // The same by sub-pixel bucket: the one of position xc, and the columns of bucket b.
    int bucket(double xc) const {
        const double fx = xc - std::floor(xc);
        return std::min(static_cast<int>(fx * buckets_), buckets_ - 1);
    }
    int buckets() const { return buckets_; }
    int columnsPerBucket() const { return columnsPerBucket_; }
    std::span<const Column> bucketColumns(int b) const {
        return {&columns_[static_cast<std::size_t>(b) * columnsPerBucket_ + firstColumn_[b]],
                static_cast<std::size_t>(columnCount_[b])};
    }

    float e(const Column& column, double z) const {
        if (z >= 0.0) return column.omega;
        const double pos = (z - zMin_) * zPerUnit_;
        if (pos <= 0.0) return 0.0f;
        const int k = std::min(static_cast<int>(pos), zCount_ - 2);
        if (lazy_) fill(column, k);
        const float f = static_cast<float>(pos - k);
        return column.values[k] + f * (column.values[k + 1] - column.values[k]);
    }

    // Coverage of pixel row [y, y + 1] of this column by the capsule over [a, b].
    float coverage(const Column& column, double y, double a, double b) const {
        const float c = e(column, y - a) + e(column, b - y - 1.0) - column.omega;
        return c > 0.0f ? c : 0.0f;
    }

    // The same for the `lanes` columns of lane group `group` of the columns `columns(xc)`
    // returned, each lane what coverage() answers for its column (zero past the last one). A row
    // reads the same table step in every column, so the lanes share one lookup. Not for lazy
    // tables.
    F32x4 laneCoverage(std::span<const Column> touched, int group, double y, double a, double b) const {
        const std::size_t g = bucketOf(touched) * static_cast<std::size_t>(laneGroupsE_) + static_cast<std::size_t>(group);
        const float* values = &laneValues_[g * static_cast<std::size_t>(zCount_) * lanes];
        F32x4 omega;
        std::memcpy(&omega, &laneOmega_[g * lanes], sizeof omega);
        const F32x4 c = laneE(values, omega, y - a) + laneE(values, omega, b - y - 1.0) - omega;
        return c > 0.0f ? c : 0.0f;
    }

    // Tabulates, per column, the coverage of a pixel row by an endless dash pattern (dashes of
    // `length` every `period` pixels) as a function of the row's phase within the period.
    void buildDashPattern(double length, double period, int phasePerUnit) {
        dashLength_ = length;
        dashPeriod_ = period;
        phasePerUnit_ = phasePerUnit;
        // One period, and the steps that a phase just short of it rounds or interpolates to.
        phaseCount_ = static_cast<int>(std::ceil(period * phasePerUnit)) + 2;
        pattern_.assign(columns_.size() * static_cast<std::size_t>(phaseCount_), 0.0f);
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            const Column& column = columns_[c];
            for (int k = 0; k < phaseCount_; ++k) {
                const double phase = static_cast<double>(k) / phasePerUnit;
                // The dashes that can reach the row: ending after it starts and starting before
                // it ends (a period shorter than a pixel puts several in one row).
                const int dFirst = static_cast<int>(std::floor((phase - length - radius_) / period));
                const int dLast = static_cast<int>(std::ceil((phase + 1.0 + radius_) / period));
                float sum = 0.0f;
                for (int d = dFirst; d <= dLast; ++d) {
                    // Row [phase, phase + 1] against the dash starting at d * period.
                    sum += coverage(column, phase, d * period, d * period + length);
                }
                pattern_[c * static_cast<std::size_t>(phaseCount_) + k] = std::min(sum, 1.0f);
            }
        }
        // The same values regrouped per bucket: lane groups of `lanes` consecutive touched
        // columns, phase-major, so one row of a group is one contiguous load. Lanes past the
        // bucket's last touched column hold zero coverage. They are held in 16 bits (1 is 65535):
        // a bar's walk down its rows reads the whole period of its bucket's table, and a frame
        // reads every bucket's, usually from memory the rest of the frame has pushed it out of;
        // the half-size table is read in half the cache lines.
        laneGroups_ = 0;
        for (const int used : columnCount_) laneGroups_ = std::max(laneGroups_, (used + lanes - 1) / lanes);
        lanePattern_.assign(static_cast<std::size_t>(buckets_) * laneGroups_ * phaseCount_ * lanes, 0);
        for (int b = 0; b < buckets_; ++b) {
            for (int i = 0; i < columnCount_[b]; ++i) {
                const std::size_t c = static_cast<std::size_t>(b) * columnsPerBucket_ + firstColumn_[b] + i;
                std::uint16_t* group =
                    &lanePattern_[((static_cast<std::size_t>(b) * laneGroups_ + i / lanes) * phaseCount_) * lanes];
                for (int k = 0; k < phaseCount_; ++k) {
                    const float v = pattern_[c * static_cast<std::size_t>(phaseCount_) + k];
                    group[static_cast<std::size_t>(k) * lanes + i % lanes] =
                        static_cast<std::uint16_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * patternOne));
                }
            }
        }
    }
    static constexpr int lanes = 4;
    static constexpr float patternOne = 65535.0f;  // a lane pattern value of full coverage
    // The dash pattern of lane group `group` of the columns `columns(xc)` returned: phase step k
    // holds the `lanes` columns' values at [k * lanes, k * lanes + lanes), in units of 1 / patternOne.
    const std::uint16_t* laneDashPattern(std::span<const Column> touched, int group) const {
        const std::size_t b = bucketOf(touched);
        return &lanePattern_[((b * laneGroups_ + static_cast<std::size_t>(group)) * phaseCount_) * lanes];
    }
    // How far apart (in values) consecutive lane groups' patterns lie.
    std::size_t laneGroupStride() const { return static_cast<std::size_t>(phaseCount_) * lanes; }
    // The pattern of a column sampled every 1 / phaseSteps() pixels of phase, from phase 0.
    const float* dashPatternValues(const Column& column) const {
        const std::size_t c = static_cast<std::size_t>(&column - columns_.data());
        return &pattern_[c * static_cast<std::size_t>(phaseCount_)];
    }
    double phaseSteps() const { return phasePerUnit_; }

    bool matchesDashPattern(double length, double period) const {
        return length == dashLength_ && period == dashPeriod_ && !pattern_.empty();
    }

    // Brings in the tables that lookups of whole lane groups read (laneCoverage,
    // laneDashPattern) and, with `columns`, those of single columns (coverage) too.
    void bringInTables(bool columns) const {
        bringIn(lanePattern_.data(), lanePattern_.size() * sizeof(std::uint16_t));
        bringIn(laneOmega_.data(), laneOmega_.size() * sizeof(float));
        bringIn(laneValues_.data(), laneValues_.size() * sizeof(float));
        if (columns) bringIn(values_.data(), values_.size() * sizeof(float));
    }

private:
    std::size_t bucketOf(std::span<const Column> touched) const {
        return static_cast<std::size_t>(touched.data() - columns_.data()) / columnsPerBucket_;
    }

    // E of a lane group's columns (`values` step-major, as laneValues_ holds them), each lane
    // as e() works it out.
    F32x4 laneE(const float* values, const F32x4& omega, double z) const {
        if (z >= 0.0) return omega;
        const double pos = (z - zMin_) * zPerUnit_;
        if (pos <= 0.0) return F32x4{};
        const int k = std::min(static_cast<int>(pos), zCount_ - 2);
        const float f = static_cast<float>(pos - k);
        F32x4 v0, v1;
        std::memcpy(&v0, values + static_cast<std::size_t>(k) * lanes, sizeof v0);
        std::memcpy(&v1, values + static_cast<std::size_t>(k + 1) * lanes, sizeof v1);
        return v0 + f * (v1 - v0);
    }

    // The E tables regrouped per bucket in lane groups of `lanes` consecutive touched columns,
    // step-major, so one step of a group is one load; lanes past the bucket's last touched
    // column hold zeros and a zero omega, which gives them no coverage.
    void buildLaneValues() {
        laneGroupsE_ = 0;
        for (const int used : columnCount_) laneGroupsE_ = std::max(laneGroupsE_, (used + lanes - 1) / lanes);
        const std::size_t groups = static_cast<std::size_t>(buckets_) * laneGroupsE_;
        laneValues_.assign(groups * zCount_ * lanes, 0.0f);
        laneOmega_.assign(groups * lanes, 0.0f);
        for (int b = 0; b < buckets_; ++b) {
            for (int i = 0; i < columnCount_[b]; ++i) {
                const std::size_t c = static_cast<std::size_t>(b) * columnsPerBucket_ + firstColumn_[b] + i;
                const std::size_t g = static_cast<std::size_t>(b) * laneGroupsE_ + static_cast<std::size_t>(i / lanes);
                laneOmega_[g * lanes + i % lanes] = columns_[c].omega;
                for (int k = 0; k < zCount_; ++k) {
                    laneValues_[(g * zCount_ + k) * lanes + i % lanes] = values_[c * zCount_ + k];
                }
            }
        }
    }

    // What E of a column is computed from: its sub-columns' widths and cap heights.
    struct ColumnShape {
        double omega = 0.0;
        double lowestCap = 0.0, highestCap = 0.0;
    };

    // The left edge of sub-column j of column c of bucket b, relative to the capsule's centre.
    double subColumnEdge(int b, int c, int j) const {
        return c + static_cast<double>(j) / subColumns_ - (b + 0.5) / buckets_;
    }

    // The cap heights of bucket b's columns (the mean height of the round cap over each
    // sub-column), which its values are worked out from. A lazy table works them out the first
    // time a lookup reads the bucket: a frame's bars use only a few of the buckets.
    void shapeBucket(int b) const {
        const double radius = radius_;
        const double r2 = radius * radius;
        const auto capIntegral = [&](double x) {  // integral of sqrt(r^2 - x^2) from 0 to x
            x = std::clamp(x, -radius, radius);
            return 0.5 * (x * std::sqrt(std::max(r2 - x * x, 0.0)) + r2 * std::asin(x / radius));
        };
        const int reach = (columnsPerBucket_ - 1) / 2;
        for (int c = -reach; c <= reach; ++c) {
            const std::size_t index = static_cast<std::size_t>(b) * columnsPerBucket_ + (c + reach);
            ColumnShape& shape = shapes_[index];
            shape.lowestCap = radius;
            shape.highestCap = 0.0;
            if (!(shape.omega > 0.0)) continue;
            const double* widths = &widths_[index * subColumns_];
            double* heights = &heights_[index * subColumns_];
            // Each sub-column's edge integral serves both sub-columns it separates.
            double left = capIntegral(subColumnEdge(b, c, 0));
            for (int j = 0; j < subColumns_; ++j) {
                const double right = capIntegral(subColumnEdge(b, c, j + 1));
                heights[j] = widths[j] > 0.0 ? (right - left) / widths[j] : 0.0;
                left = right;
                if (widths[j] > 0.0) {
                    shape.lowestCap = std::min(shape.lowestCap, heights[j]);
                    shape.highestCap = std::max(shape.highestCap, heights[j]);
                }
            }
        }
        shaped_[static_cast<std::size_t>(b)] = 1;
    }

    // E of column `index` at step k of its table.
    float value(std::size_t index, int k) const {
        const ColumnShape& shape = shapes_[index];
        if (!(shape.omega > 0.0)) return 0.0f;
        const double z = zMin_ + static_cast<double>(k) / zPerUnit_;
        // Each clamp below is monotonic in z and in the cap height, so where the lowest cap's
        // term is already 1 every term is (E is then the sum of the widths, summed in the same
        // order as omega), and where the highest cap's is 0 every term is (E stays 0).
        if (z + shape.highestCap + 1.0 <= 0.0) return 0.0f;
        if (z + shape.lowestCap + 1.0 >= 1.0) return static_cast<float>(shape.omega);
        const double* widths = &widths_[index * subColumns_];
        const double* heights = &heights_[index * subColumns_];
        double e = 0.0;
        for (int j = 0; j < subColumns_; ++j) e += widths[j] * std::clamp(z + heights[j] + 1.0, 0.0, 1.0);
        return static_cast<float>(e);
    }

    // Works out steps k and k + 1 of a lazy table's column if no lookup has yet.
    void fill(const Column& column, int k) const {
        const std::size_t index = static_cast<std::size_t>(&column - columns_.data());
        const std::size_t b = index / static_cast<std::size_t>(columnsPerBucket_);
        if (!shaped_[b]) shapeBucket(static_cast<int>(b));
        float* values = &values_[index * zCount_];
        for (int step = k; step <= k + 1; ++step) {
            if (std::isnan(values[step])) values[step] = value(index, step);
        }
    }

    double radius_ = -1.0;
    int buckets_ = 1;
    int subColumns_ = 1;
    bool lazy_ = false;
    // Written by shapeBucket, which a lazy table calls from its lookups.
    mutable std::vector<ColumnShape> shapes_;
    std::vector<double> widths_;
    mutable std::vector<double> heights_;
    mutable std::vector<unsigned char> shaped_;  // per bucket: whether its cap heights are worked out
    int zPerUnit_ = 1;
    double zMin_ = 0.0;
    int zCount_ = 0;
    int columnsPerBucket_ = 0;
    mutable std::vector<float> values_;  // NaN where a lazy table has not been read yet
    std::vector<Column> columns_;
    std::vector<int> firstColumn_;
    std::vector<int> columnCount_;
    double dashLength_ = -1.0;
    double dashPeriod_ = -1.0;
    int phasePerUnit_ = 1;
    int phaseCount_ = 0;
    std::vector<float> pattern_;
    int laneGroups_ = 0;
    std::vector<std::uint16_t> lanePattern_;
    int laneGroupsE_ = 0;
    std::vector<float> laneValues_, laneOmega_;
};

struct Rgb {
    float r, g, b;
};

// Colour of an evenly spaced gradient at position t (0...1).
RGBColor gradientAt(const std::vector<RGBColor>& stops, double t) {
    if (stops.size() == 1) return stops[0];
    const int n = static_cast<int>(stops.size());
    const double s = std::clamp(t, 0.0, 1.0) * (n - 1);
    const int lo = std::min(static_cast<int>(std::floor(s)), n - 1);
    const int hi = std::min(lo + 1, n - 1);
    const double f = s - lo;
    const RGBColor& a = stops[static_cast<std::size_t>(lo)];
    const RGBColor& b = stops[static_cast<std::size_t>(hi)];
    return {a.red + f * (b.red - a.red), a.green + f * (b.green - a.green), a.blue + f * (b.blue - a.blue),
            a.alpha + f * (b.alpha - a.alpha)};
}

// Glow of one bar: the wide stroke's straight part is a rectangle whose Gaussian blur is a
// product of two differences of normal distributions (one per axis); its two round caps are
// blurred as Gaussian blobs with the caps' mass, centroid and variance, which is separable too.
// Each term is a horizontal kernel (depending only on the bar's sub-pixel position, so it is
// cached) times a vertical profile. Rows are accumulated incrementally: a row adds the change of
// each profile since the previous row, which is zero except within reach of a bar's ends.
// A vertical profile of the glow around one edge (a normal distribution or density centred
// there) tabulated by row: row v reads values[v - base]. Only the rows of the edge's zone read
// it, and the table reaches at least two rows past those (buildGlowProfiles), so no index is
// clamped.
struct GlowProfile {
    const float* values = nullptr;
    int base = 0;
    [[gnu::always_inline]] float at(int v) const { return values[v - base]; }
};

struct GlowBar {
    int kernelStart = 0;       // image column of kernel entry 0
    int kernelFirst = 0, kernelEnd = 0;  // the kernel entries [first, end) that fall inside the image
    const float* rect = nullptr;
    const float* caps = nullptr;
    double top = 0.0, bottom = 0.0;      // straight part, pixels
    double capTop = 0.0, capBottom = 0.0;  // cap centroids
    float rectWeight = 0.0f, capWeight = 0.0f;
    float lastRect = 0.0f, lastCaps = 0.0f;
    int zoneTopFirst = 0, zoneTopLast = -1, zoneBottomFirst = 0, zoneBottomLast = -1;
    // The profiles at top, bottom, capTop and capBottom, for the rows of the zones.
    GlowProfile topRect, bottomRect, topCaps, bottomCaps;
    std::uint64_t strips = 0;  // a bit per strip of image columns its kernels reach (Frame::stripPixels)
};

// Where the wide glow strokes of neighbouring bars overlap, the sum above counts the overlap
// twice while the layer composites one stroke over the other: a negative rectangle removes
// the product of both opacities there.
struct GlowOverlap {
    int start = 0;
    std::size_t kernel = 0;
    int count = 0;
    double top = 0.0, bottom = 0.0;
    float weight = 0.0f;
    float last = 0.0f;
    std::uint64_t strips = 0;  // the strips of image columns it reaches
};

// A bar's sharp elements placed on the pixel grid.
struct BarRaster {
    double top = 0.0, bottom = 0.0;  // stroke path ends, pixels
    int xBase = 0;                   // floor of the centre's x
    int rowFirst = 0, rowLast = -1;  // rows the stroke touches
    int patternFirst = 0, patternLast = -1;  // rows that only complete, inner dashes touch
    int dashes = 0;
    float strokeOpacity = 0.0f, dotOpacity = 0.0f, sparkleOpacity = 0.0f;
};

// An opaque colour as 8-bit channels laid out for blending two channels per 32-bit word:
// red and blue in 0x00RR00BB, alpha (255) and green in 0x00FF00GG.
struct RGBColor8 {
    std::uint32_t redBlue;
    std::uint32_t alphaGreen;
};

RGBColor8 colour8(const RGBColor& c) {
    const auto q = [](double v) { return static_cast<std::uint32_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
    return {(q(c.red) << 16) | q(c.blue), (255u << 16) | q(c.green)};
}

// Source-over of an opaque colour at `alpha` onto a premultiplied 8-bit pixel, each channel
// (c * a + d * (255 - a)) / 255 rounded, two channels at a time.
inline void blend(std::uint32_t& pixel, const RGBColor8& c, float alpha) {
    const int a = static_cast<int>(alpha * 255.0f + 0.5f);
    if (a <= 0) return;
    const std::uint32_t sa = a >= 255 ? 255u : static_cast<std::uint32_t>(a);
    const std::uint32_t da = 255u - sa;
    const std::uint32_t d = pixel;
    std::uint32_t rb = c.redBlue * sa + (d & 0x00ff00ffu) * da + 0x00800080u;
    std::uint32_t ag = c.alphaGreen * sa + ((d >> 8) & 0x00ff00ffu) * da + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    ag = ((ag + ((ag >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    pixel = rb | (ag << 8);
}

// The same for four pixels in a row, each at its own alpha.
inline void blend(std::uint32_t* pixels, const RGBColor8& c, const F32x4& alpha) {
    I32x4 a = __builtin_convertvector(alpha * 255.0f + 0.5f, I32x4);
    a = a > 0 ? a : 0;
    a = a < 255 ? a : 255;
    const U32x4 sa = reinterpret_cast<const U32x4&>(a);
    const U32x4 da = 255u - sa;
    U32x4 d;
    std::memcpy(&d, pixels, sizeof d);
    U32x4 rb = c.redBlue * sa + (d & 0x00ff00ffu) * da + 0x00800080u;
    U32x4 ag = c.alphaGreen * sa + ((d >> 8) & 0x00ff00ffu) * da + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    ag = ((ag + ((ag >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    d = rb | (ag << 8);
    std::memcpy(pixels, &d, sizeof d);
}

// The per-pixel maths of the glow rows, written once for one pixel (float) and for eight at a
// time (F32x8): GCC does not vectorise the scalar loops by itself (it counts their selects as
// control flow), so the row loops below run the same operations on vectors, element by
// element, and the pixels are bit for bit those of the scalar code.
// The helpers pass eight-float vectors by value, which the AVX2 and the baseline code pass
// differently; they are always inlined into the row loops, at every optimisation level, so no
// vector ever crosses a call between the two (a -O0 build that called them lost the glow).
#pragma GCC diagnostic ignored "-Wpsabi"
using F32x8 = float __attribute__((vector_size(32)));
using I32x8 = std::int32_t __attribute__((vector_size(32)));
using U32x8 = std::uint32_t __attribute__((vector_size(32)));
using U16x16 = std::uint16_t __attribute__((vector_size(32)));

template <typename V>
[[gnu::always_inline]] inline V load(const float* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename V>
[[gnu::always_inline]] inline V clamp01(const V& v) {
    const V zero{};
    const V one = zero + 1.0f;
    const V low = v > zero ? v : zero;
    return low < one ? low : one;
}

template <typename V>
[[gnu::always_inline]] inline V lesser(const V& a, const V& b) {  // std::min(a, b)
    return b < a ? b : a;
}

// Where a composed glow row goes: its image row and, when the row is mirrored about the centre
// line, the mirror row too (written from the same registers rather than copied afterwards).
struct RowOut {
    std::uint32_t* row;
    std::uint32_t* mirror;  // null when the row has no mirror
    [[gnu::always_inline]] void put(int x, std::uint32_t p) const {
        row[x] = p;
        if (mirror) mirror[x] = p;
    }
    [[gnu::always_inline]] void put(int x, const U32x8& p) const {
        std::memcpy(row + x, &p, sizeof p);
        if (mirror) std::memcpy(mirror + x, &p, sizeof p);
    }
};

// Premultiplied 8-bit pixels from channels in 0...1.
[[gnu::always_inline]] inline std::uint32_t to8(float v) {
    return static_cast<std::uint32_t>(static_cast<int>(v * 255.0f + 0.5f));
}
[[gnu::always_inline]] inline void storePixels(const RowOut& out, int x, float a, float r, float g, float b) {
    out.put(x, (to8(a) << 24) | (to8(r) << 16) | (to8(g) << 8) | to8(b));
}
[[gnu::always_inline]] inline void storePixels(const RowOut& out, int x, const F32x8& a, const F32x8& r, const F32x8& g,
                                               const F32x8& b) {
    const auto to8 = [](const F32x8& v) __attribute__((always_inline)) {
        return __builtin_convertvector(__builtin_convertvector(v * 255.0f + 0.5f, I32x8), U32x8);
    };
    out.put(x, (to8(a) << 24) | (to8(r) << 16) | (to8(g) << 8) | to8(b));
}

// The same from channels already scaled to 0...255.
[[gnu::always_inline]] inline void storeScaledPixels(const RowOut& out, int x, float a, float r, float g, float b) {
    const auto q = [](float v) { return static_cast<std::uint32_t>(static_cast<int>(v + 0.5f)); };
    out.put(x, (q(a) << 24) | (q(r) << 16) | (q(g) << 8) | q(b));
}
[[gnu::always_inline]] inline void storeScaledPixels(const RowOut& out, int x, const F32x8& a, const F32x8& r,
                                                     const F32x8& g, const F32x8& b) {
    const auto q = [](const F32x8& v) __attribute__((always_inline)) {
        return __builtin_convertvector(__builtin_convertvector(v + 0.5f, I32x8), U32x8);
    };
    out.put(x, (q(a) << 24) | (q(r) << 16) | (q(g) << 8) | q(b));
}

// The same from channels scaled to 0...255 with the rounding half already added.
[[gnu::always_inline]] inline void storeRoundedPixels(const RowOut& out, int x, float a, float r, float g, float b) {
    const auto q = [](float v) { return static_cast<std::uint32_t>(static_cast<int>(v)); };
    out.put(x, (q(a) << 24) | (q(r) << 16) | (q(g) << 8) | q(b));
}
[[gnu::always_inline]] inline void storeRoundedPixels(const RowOut& out, int x, const F32x8& a, const F32x8& r,
                                                      const F32x8& g, const F32x8& b) {
    const auto q = [](const F32x8& v) __attribute__((always_inline)) {
        return __builtin_convertvector(__builtin_convertvector(v, I32x8), U32x8);
    };
    out.put(x, (q(a) << 24) | (q(r) << 16) | (q(g) << 8) | q(b));
}

// Runs body.operator()<F32x8>(x) for x = 0, 8, 16... and body.operator()<float>(x) for the rest.
template <typename Body>
[[gnu::always_inline]] inline void forPixels(int count, const Body& body) {
    int x = 0;
    for (; x + 8 <= count; x += 8) body.template operator()<F32x8>(x);
    for (; x < count; ++x) body.template operator()<float>(x);
}

// The row loops below are compiled twice on x86-64 with GCC, for the x86-64-v3 level (AVX2 with
// fused multiply-add, which the compiler contracts a product and a sum into) and for the
// baseline, and the loader picks the variant the processor supports.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
#define SONAVISTA_ROW_LOOP __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define SONAVISTA_ROW_LOOP
#endif

// a[j] += dRect * rect[j] + dCaps * caps[j] for j in first...end, in whole groups of eight:
// the kernels are followed by at least seven zeros, which add nothing to a pixel (a glow alpha
// is never -0), and past the image's last column the row has seven floats of slack that are
// never composed.
[[gnu::always_inline]] inline void accumulateGlow(float* __restrict a, const float* __restrict rect,
                                                  const float* __restrict caps, float dRect, float dCaps, int first,
                                                  int end) {
    for (int j = first; j < end; j += 8) {
        const F32x8 sum = load<F32x8>(a + j) + (dRect * load<F32x8>(rect + j) + dCaps * load<F32x8>(caps + j));
        std::memcpy(a + j, &sum, sizeof sum);
    }
}

// One row of the glow's alpha: adds each bar's change since the previous row (row `y`, centre
// `py`). With `active`, a bit per bar, only the bars set there are visited (those with an end
// within reach of the row); without it, all of them (the first row). Answers whether anything
// was added: if not, the row equals the previous one. Adds the strips of image columns that the
// bars which added something reach to `changedStrips`.
SONAVISTA_ROW_LOOP
bool accumulateGlowRow(float* alphaRow, std::span<GlowBar> glow, const std::uint64_t* active, int y, double invSigma,
                       double invSigmaY, std::uint64_t& changedStrips) {
    const NormalTables& nt = normal();
    const double py = y + 0.5;
    const bool all = active == nullptr;
    const auto visit = [&](GlowBar& g) __attribute__((always_inline)) {
        const bool nearTop = all || (y >= g.zoneTopFirst && y <= g.zoneTopLast);
        const bool nearBottom = all || (y >= g.zoneBottomFirst && y <= g.zoneBottomLast);
        // Away from an end its terms are exactly flat (1 and 0 within the cut-off). Near one,
        // they are read from the bar's profiles (the first row, which may lie anywhere, works
        // them out).
        float rect, caps;
        if (!all && nearTop && nearBottom) {
            rect = g.topRect.at(y) - g.bottomRect.at(y);
            caps = g.topCaps.at(y) + g.bottomCaps.at(y);
        } else if (!all && nearTop) {
            rect = g.topRect.at(y);
            caps = g.topCaps.at(y);
        } else if (!all) {
            rect = 1.0f - g.bottomRect.at(y);
            caps = g.bottomCaps.at(y);
        } else if (nearTop && nearBottom) {
            rect = nt.cdf((py - g.top) * invSigma) - nt.cdf((py - g.bottom) * invSigma);
            caps = nt.bell((py - g.capTop) * invSigmaY) + nt.bell((py - g.capBottom) * invSigmaY);
        } else if (nearTop) {
            rect = nt.cdf((py - g.top) * invSigma);
            caps = nt.bell((py - g.capTop) * invSigmaY);
        } else {
            rect = 1.0f - nt.cdf((py - g.bottom) * invSigma);
            caps = nt.bell((py - g.capBottom) * invSigmaY);
        }
        const float dRect = (rect - g.lastRect) * g.rectWeight;
        const float dCaps = (caps - g.lastCaps) * g.capWeight;
        g.lastRect = rect;
        g.lastCaps = caps;
        if (dRect == 0.0f && dCaps == 0.0f) return false;
        accumulateGlow(alphaRow + g.kernelStart, g.rect, g.caps, dRect, dCaps, g.kernelFirst, g.kernelEnd);
        changedStrips |= g.strips;
        return true;
    };
    bool changed = false;
    if (all) {
        for (GlowBar& g : glow) changed |= visit(g);
        return changed;
    }
    for (std::size_t word = 0; word * 64 < glow.size(); ++word) {
        for (std::uint64_t bits = active[word]; bits != 0; bits &= bits - 1) {
            changed |= visit(glow[word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits))]);
        }
    }
    return changed;
}

// The glow of one or two pixel rows between the same two upsampled grid rows: each row's alpha is
// the two grid rows weighted, and its pixels go to its RowOut. The rows are composed in one pass,
// which reads the grid rows and the per-column colours once for both.
struct GlowRows {
    const float* above;
    const float* below;
    struct Row {
        float wAbove, wBelow;
        RowOut out;
    };
    std::array<Row, 2> rows{};
    int count = 0;  // rows in use
};

// Runs body(out, alpha) for each row of `ga` on the pixels from x (one or eight, as V holds):
// alpha is the row's glow alpha clamped to 0...1.
template <typename V, typename Body>
[[gnu::always_inline]] inline void forRows(const GlowRows& ga, int x, const Body& body) {
    const V above = load<V>(ga.above + x);
    const V below = load<V>(ga.below + x);
    for (int i = 0; i < ga.count; ++i) {
        const GlowRows::Row& row = ga.rows[static_cast<std::size_t>(i)];
        body(row.out, clamp01(row.wAbove * above + row.wBelow * below));
    }
}

// Glow over nothing: premultiplied 8-bit pixels from the glow's alpha and colour (0...1). With
// `colourAtMostOne` (no channel of the colour exceeds 1) a channel times the alpha cannot exceed
// the alpha, so the minimum that keeps the pixel premultiplied is left out (same pixels).
SONAVISTA_ROW_LOOP
void composeGlow(const GlowRows& glowRows, const float* __restrict cr, const float* __restrict cg,
                 const float* __restrict cb, int count, bool colourAtMostOne) {
    const GlowRows ga = glowRows;  // a local copy, which the pixel stores cannot alias
    if (colourAtMostOne) {
        // The alpha scaled to 8 bits once, for all four channels.
        forPixels(count, [&]<typename V>(int x) __attribute__((always_inline)) {
            const V r = load<V>(cr + x), g = load<V>(cg + x), b = load<V>(cb + x);
            forRows<V>(ga, x, [&](const RowOut& out, const V& a) __attribute__((always_inline)) {
                const V alpha = a * 255.0f;
                storeScaledPixels(out, x, alpha, r * alpha, g * alpha, b * alpha);
            });
        });
        return;
    }
    forPixels(count, [&]<typename V>(int x) __attribute__((always_inline)) {
        const V r = load<V>(cr + x), g = load<V>(cg + x), b = load<V>(cb + x);
        forRows<V>(ga, x, [&](const RowOut& out, const V& alpha) __attribute__((always_inline)) {
            storePixels(out, x, alpha, lesser(r * alpha, alpha), lesser(g * alpha, alpha), lesser(b * alpha, alpha));
        });
    });
}

struct RowUnderlay {
    float cover;                          // centre-line coverage of the row
    const float *lr, *lg, *lb, *la;       // centre-line premultiplied paint per column
    float bgA, bgR, bgG, bgB;             // background, premultiplied 0...1
};

// Glow over the centre line over the background.
SONAVISTA_ROW_LOOP
void composeGlowOver(const GlowRows& glowRows, const float* __restrict cr, const float* __restrict cg,
                     const float* __restrict cb, const RowUnderlay& u, int count) {
    const GlowRows ga = glowRows;
    const float* __restrict lr = u.lr;
    const float* __restrict lg = u.lg;
    const float* __restrict lb = u.lb;
    const float* __restrict la = u.la;
    const float cover = u.cover;
    forPixels(count, [&]<typename V>(int x) __attribute__((always_inline)) {
        const V under = cover * load<V>(la + x);
        const V overBg = 1.0f - under;
        const V ua = under + u.bgA * overBg;
        const V ur = cover * load<V>(lr + x) + u.bgR * overBg;
        const V ug = cover * load<V>(lg + x) + u.bgG * overBg;
        const V ub = cover * load<V>(lb + x) + u.bgB * overBg;
        forRows<V>(ga, x, [&](const RowOut& out, const V& alpha) __attribute__((always_inline)) {
            const V keep = 1.0f - alpha;
            const V fa = clamp01(alpha + ua * keep);
            storePixels(out, x, fa, lesser(clamp01(load<V>(cr + x) * alpha + ur * keep), fa),
                        lesser(clamp01(load<V>(cg + x) * alpha + ug * keep), fa),
                        lesser(clamp01(load<V>(cb + x) * alpha + ub * keep), fa));
        });
    });
}

// Whether the processor runs eight-lane integer vectors natively (AVX2 on x86-64).
inline bool eightLaneIntegers() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return true;
#endif
}

// Inner dash rows of `groups` consecutive lane groups of a bar's columns: per row, the periodic
// pattern of each group's four columns at the row's phase, then each pixel blended like blend()
// (a zero alpha leaves the pixel as it was), four pixels at once. `pos` is the first row's phase
// in pattern steps; each row advances it by `steps`, wrapping at `wrap`. The phase is carried in
// fixed point (exact enough for thousands of rows) and each row reads the pattern step nearest to
// it: a dash edge moves by at most half a step (1/256 pixel at 128 steps a pixel). The pattern
// holds 16-bit values (see laneDashPattern); group g's starts `groupStride` values after group 0's.
//
// Where the processor has eight-lane integer vectors, two groups go through one vector: two
// rows of a one-group stroke, or two groups of a row. Without them that costs extra shuffles, so
// the baseline variant stays at four lanes.
SONAVISTA_ROW_LOOP
void blendDashRows(std::uint32_t* pixel, std::size_t stride, const std::uint16_t* lanePattern, std::size_t groupStride,
                   int groups, double pos, double steps, double wrap, int rows, float opacity, RGBColor8 c) {
    using U16x4 = std::uint16_t __attribute__((vector_size(8)));
    using U16x8 = std::uint16_t __attribute__((vector_size(16)));
    constexpr double one = 65536.0;  // fixed-point unit of a pattern step
    const auto fixed = [](double v) { return static_cast<std::int64_t>(v * one + 0.5); };  // v >= 0
    const std::int64_t period = fixed(wrap);
    if (period <= 0) return;
    // The phase stays within one period: a row's step (less whole periods) is added and one
    // period taken off where it passes the end, without a branch the processor would have to
    // guess (a dash period is under three rows long).
    std::int64_t phase = fixed(std::max(pos, 0.0)) % period;
    const std::int64_t advance = fixed(steps) % period;
    opacity = std::clamp(opacity, 0.0f, 1.0f);
    // A pattern value times this is the alpha in 0...255.
    const float scale = opacity * 255.0f / CapsuleCoverageTable::patternOne;
    const U32x4 redBlue = U32x4{} + c.redBlue;
    const U32x4 alphaGreen = U32x4{} + c.alphaGreen;
    const U32x4 low = U32x4{} + 0x00ff00ffu;
    const U32x4 half = U32x4{} + 0x00800080u;
    const I32x4 zero = I32x4{};
    const I32x4 full = I32x4{} + 255;
    const auto blendGroup = [&](std::uint32_t* group, const std::uint16_t* values) {
        U16x4 p;
        std::memcpy(&p, values, sizeof p);
        const F32x4 v = __builtin_convertvector(p, F32x4);
        I32x4 a = __builtin_convertvector(v * scale + 0.5f, I32x4);
        a = a > zero ? a : zero;
        a = a < full ? a : full;
        const U32x4 sa = reinterpret_cast<U32x4&>(a);
        const U32x4 da = 255u - sa;
        U32x4 d;
        std::memcpy(&d, group, sizeof d);
        U32x4 rb = redBlue * sa + (d & low) * da + half;
        U32x4 ag = alphaGreen * sa + ((d >> 8) & low) * da + half;
        rb = ((rb + ((rb >> 8) & low)) >> 8) & low;
        ag = ((ag + ((ag >> 8) & low)) >> 8) & low;
        d = rb | (ag << 8);
        std::memcpy(group, &d, sizeof d);
    };
    // The pattern values of the next row: the step nearest to its phase.
    const auto nextRow = [&]() {
        const auto k = static_cast<std::size_t>((phase + (1 << 15)) >> 16);
        phase += advance;
        phase -= phase >= period ? period : 0;
        return lanePattern + k * 4;
    };
    if (!eightLaneIntegers()) {
        for (int r = 0; r < rows; ++r, pixel += stride) {
            const std::uint16_t* values = nextRow();
            for (int g = 0; g < groups; ++g) blendGroup(pixel + 4 * g, values + g * groupStride);
        }
        return;
    }
    // Two groups of four at once, as eight lanes: group 0 of `pixel0` with `values0`, group 1 of
    // `pixel1` with `values1`. Each lane does what blendGroup does.
    const U32x8 low8 = U32x8{} + 0x00ff00ffu;
    const U32x8 redBlue32 = U32x8{} + c.redBlue;
    const U32x8 alphaGreen32 = U32x8{} + c.alphaGreen;
    const U16x16 redBlue16 = (U16x16)redBlue32;
    const U16x16 alphaGreen16 = (U16x16)alphaGreen32;
    const auto blendPair = [&](std::uint32_t* pixel0, std::uint32_t* pixel1, const std::uint16_t* values0,
                               const std::uint16_t* values1) {
        U16x4 p0, p1;
        std::memcpy(&p0, values0, sizeof p0);
        std::memcpy(&p1, values1, sizeof p1);
        const U16x8 p = __builtin_shufflevector(p0, p1, 0, 1, 2, 3, 4, 5, 6, 7);
        // The pattern and the opacity lie within 0...1, so the alpha within 0...255.
        const I32x8 a = __builtin_convertvector(__builtin_convertvector(p, F32x8) * scale + 0.5f, I32x8);
        const U32x8 sa = (U32x8)a;
        U32x4 d0, d1;
        std::memcpy(&d0, pixel0, sizeof d0);
        std::memcpy(&d1, pixel1, sizeof d1);
        U32x8 d = __builtin_shufflevector(d0, d1, 0, 1, 2, 3, 4, 5, 6, 7);
        // The same sums in sixteen-bit lanes, one channel each (none exceeds 255 * 255 + 128).
        const U16x16 sa16 = (U16x16)(sa | sa << 16);
        const U16x16 da16 = 255 - sa16;
        U16x16 rb = redBlue16 * sa16 + (U16x16)(d & low8) * da16 + 0x80;
        U16x16 ag = alphaGreen16 * sa16 + ((U16x16)d >> 8) * da16 + 0x80;
        rb = (rb + (rb >> 8)) >> 8;
        ag = (ag + (ag >> 8)) >> 8;
        d = (U32x8)(rb | (ag << 8));
        d0 = __builtin_shufflevector(d, d, 0, 1, 2, 3);
        d1 = __builtin_shufflevector(d, d, 4, 5, 6, 7);
        std::memcpy(pixel0, &d0, sizeof d0);
        std::memcpy(pixel1, &d1, sizeof d1);
    };
    // The usual strokes span one group (taken two rows at a time) or two (both at once).
    // Each row of a bar lies in another page of the image, where the processor's own prefetching
    // stops, so the rows a few ahead are asked for while these are blended.
    const auto prefetchRow = [&](int ahead) { __builtin_prefetch(pixel + ahead * static_cast<std::ptrdiff_t>(stride), 1); };
    constexpr int rowsAhead = 8;
    if (groups == 1) {
        int r = 0;
        for (; r + 2 <= rows; r += 2, pixel += 2 * stride) {
            prefetchRow(rowsAhead);
            prefetchRow(rowsAhead + 1);
            const std::uint16_t* values0 = nextRow();
            blendPair(pixel, pixel + stride, values0, nextRow());
        }
        if (r < rows) blendGroup(pixel, nextRow());
    } else {
        for (int r = 0; r < rows; ++r, pixel += stride) {
            prefetchRow(rowsAhead);
            const std::uint16_t* values = nextRow();
            int g = 0;
            for (; g + 2 <= groups; g += 2) {
                blendPair(pixel + 4 * g, pixel + 4 * g + 4, values + g * groupStride, values + (g + 1) * groupStride);
            }
            if (g < groups) blendGroup(pixel + 4 * g, values + g * groupStride);
        }
    }
}

// Whether `count` pixels all equal `pixel`, checked a block at a time.
SONAVISTA_ROW_LOOP
bool holdsOnly(const std::uint32_t* __restrict row, std::uint32_t pixel, int count) {
    constexpr int block = 64;
    int x = 0;
    for (; x + block <= count; x += block) {
        std::uint32_t differs = 0;
        for (int j = 0; j < block; ++j) differs |= row[x + j] ^ pixel;
        if (differs != 0) return false;
    }
    std::uint32_t differs = 0;
    for (; x < count; ++x) differs |= row[x] ^ pixel;
    return differs == 0;
}

// Where the glow over a uniform background heads per column: each channel of the glow's colour
// in 8-bit units minus the background's, so that a channel is background + alpha * toward.
struct GlowToward {
    const float *r, *g, *b;
};

// Glow over a uniform background: the rows the centre line does not cross. Same arithmetic as
// composeGlowOver with no line coverage, reading only the glow's arrays. With `toward` (passed
// when no channel of the glow's colour exceeds 1 and none of the background its alpha) every
// channel lies between the background's and the glow colour's, within 0 and the pixel's alpha,
// so none is clamped: each is the background's plus the alpha times the way to the glow's, with
// the half that rounds it added to the background's once.
SONAVISTA_ROW_LOOP
void composeGlowOverBackground(const GlowRows& glowRows, const float* __restrict cr, const float* __restrict cg,
                               const float* __restrict cb, float bgA, float bgR, float bgG, float bgB, int count,
                               const GlowToward* toward) {
    const GlowRows ga = glowRows;
    if (toward != nullptr) {
        const float* __restrict tr = toward->r;
        const float* __restrict tg = toward->g;
        const float* __restrict tb = toward->b;
        const float a8 = bgA * 255.0f;
        const float a0 = a8 + 0.5f, r0 = bgR * 255.0f + 0.5f, g0 = bgG * 255.0f + 0.5f, b0 = bgB * 255.0f + 0.5f;
        const float ta = 255.0f - a8;
        forPixels(count, [&]<typename V>(int x) __attribute__((always_inline)) {
            const V r = load<V>(tr + x), g = load<V>(tg + x), b = load<V>(tb + x);
            forRows<V>(ga, x, [&](const RowOut& out, const V& alpha) __attribute__((always_inline)) {
                storeRoundedPixels(out, x, a0 + alpha * ta, r0 + alpha * r, g0 + alpha * g, b0 + alpha * b);
            });
        });
        return;
    }
    forPixels(count, [&]<typename V>(int x) __attribute__((always_inline)) {
        const V r = load<V>(cr + x), g = load<V>(cg + x), b = load<V>(cb + x);
        forRows<V>(ga, x, [&](const RowOut& out, const V& alpha) __attribute__((always_inline)) {
            const V keep = 1.0f - alpha;
            const V fa = clamp01(alpha + bgA * keep);
            storePixels(out, x, fa, lesser(clamp01(r * alpha + bgR * keep), fa),
                        lesser(clamp01(g * alpha + bgG * keep), fa), lesser(clamp01(b * alpha + bgB * keep), fa));
        });
    });
}

// A row of the glow's grid (cells two pixels square) upsampled to pixel columns, linearly. Grid
// column u is stored at u + 1 and sampled at pixel x 2u + 1, so pixel 2u (centre 2u + 0.5) takes
// 3/4 of column u and 1/4 of u - 1, pixel 2u + 1 3/4 of u and 1/4 of u + 1. Writes the pixels of
// columns 0 to gridWidth - 1 in groups of eight: 16 pixels past the last may be written, and the
// grid row is read up to 9 floats past column gridWidth - 1's group.
SONAVISTA_ROW_LOOP
void upsampleGlow(float* __restrict out, const float* __restrict grid, int gridWidth) {
    for (int u = 0; u < gridWidth; u += 8) {
        const F32x8 centre = 0.75f * load<F32x8>(grid + u + 1);
        const F32x8 even = centre + 0.25f * load<F32x8>(grid + u);
        const F32x8 odd = centre + 0.25f * load<F32x8>(grid + u + 2);
        const F32x8 low = __builtin_shufflevector(even, odd, 0, 8, 1, 9, 2, 10, 3, 11);
        const F32x8 high = __builtin_shufflevector(even, odd, 4, 12, 5, 13, 6, 14, 7, 15);
        std::memcpy(out + 2 * u, &low, sizeof low);
        std::memcpy(out + 2 * u + 8, &high, sizeof high);
    }
}

}  // namespace

struct WaveformRasterizer::Impl {
    static constexpr int glowBuckets = 64;
    static constexpr double reach = 3.5;  // glow terms are cut at 3.5 standard deviations
    // The glow is smooth (its deviation is several pixels), so it is worked out on a grid of
    // cells glowStep pixels square, sampled at the cells' centres, and each pixel row is
    // interpolated linearly between the grid's samples (upsampleGlow): a quarter of the
    // samples, within a level of 8 bits of sampling every pixel.
    static constexpr int glowStep = 2;

    CapsuleCoverageTable stroke;
    CapsuleCoverageTable dot;
    CapsuleCoverageTable sparkle;

    // Cached glow kernels per sub-pixel bucket: rectangle and caps, aligned.
    double glowKey[3] = {-1.0, -1.0, -1.0};
    int glowReach = 0;
    int glowKernelLength = 0;
    // Floats from one kernel to the next: the length plus at least seven zeros, so the glow
    // accumulates in whole groups of eight (see accumulateGlow).
    int glowKernelStride = 0;
    std::vector<float> glowKernels;
    // Cached vertical profiles per sub-row bucket (glowBuckets of them), each profileLength long,
    // from row offset -profileReach: the straight part's edge (normal distribution) and the
    // caps' density.
    double profileKey[3] = {-1.0, -1.0, -1.0};
    int profileReach = 0, profileLength = 0;
    std::vector<float> rectProfiles, capProfiles;

    // Per frame scratch, kept to avoid reallocation.
    std::vector<GlowBar> glow;
    // The glow pass's sweep: bars entering or leaving their end zones, by row, and a bit per bar
    // set while the current row is in one of its zones.
    std::vector<int> zoneEventStart, zoneEventFill, zoneEvents;
    std::vector<std::uint64_t> activeBars;
    std::vector<GlowOverlap> overlaps;
    std::vector<float> overlapKernels;
    std::vector<float> glowGrid;                     // glow layer alpha of the current grid row
    std::vector<float> glowAbove, glowBelow;         // grid rows v - 1 and v upsampled to pixel columns
    std::vector<unsigned char> plainRow;  // per image row: whether it holds the plain glow this frame
    std::vector<float> glowR, glowG, glowB;         // glow colour per column
    // Centre-line premultiplied paint per column, at the stops' alphas over the most opaque one's
    // (the frame's line opacity, which follows the audio level, is applied where it is composed).
    std::vector<float> lineR, lineG, lineB, lineA;
    // What lineR, lineG, lineB and lineA were worked out from: image width, wave origin and
    // right end, and the line's gradient stops scaled so (lineStops: this frame's).
    int linePaintWidth = -1;
    double linePaintOx = 0.0, linePaintRight = 0.0;
    std::vector<RGBColor> linePaintStops, lineStops;
    std::vector<Rgb> barColor;                      // 0...255
    // What glowR, glowG and glowB were worked out from: image width, wave origin, bar spacing
    // and bar colours.
    int glowColourWidth = -1;
    double glowColourOx = 0.0, glowColourSpacing = 0.0;
    std::vector<Rgb> glowColourBars;
    bool glowColourAtMostOne = false;  // no channel of glowR, glowG, glowB exceeds 1
    // Per column, the glow's colour minus a background, in 8-bit units (GlowToward), while
    // `towardKept`: worked out from the glow's colours above and towardBackground.
    std::vector<float> towardR, towardG, towardB;
    bool towardKept = false;
    std::uint32_t towardBackground = 0;
    std::vector<RGBColor8> barColour8;
    std::vector<BarRaster> bars;
    // The dot's coverage per bucket, lane group of four of its columns, row and lane.
    std::vector<float> dotCover;
    std::vector<unsigned char> dotCoverReady;  // per bucket: whether its dotCover is worked out

    // What the passes of one frame share: the panel in pixels and the shapes' sizes at its scale.
    struct Frame {
        int pw = 0, ph = 0;  // image size
        double s = 1.0;      // device pixel ratio
        double ox = 0.0, cy = 0.0;  // wave origin x, centre line y
        double strokeRadius = 0.0, dashLength = 0.0, dashPeriod = 0.0, dotRadius = 0.0, sparkleRadius = 0.0;
        double lineTop = 0.0, lineBottom = 0.0;  // the centre line
        double lineOpacity = 0.0;                // what the centre line's kept paint is scaled by
        double sigma = 0.0, sigmaY = 0.0;        // the glow's deviations, grid units
        int gridWidth = 0;                       // glow grid columns covering the image
        std::uint32_t background = 0;
        int contentFirst = 0, contentLast = -1;  // the rows the wave may reach
        // The image's columns in at most 64 strips of this many pixels (a multiple of eight), a
        // bit each where the glow pass notes which columns a grid row changed.
        int stripPixels = 64;
    };

    void buildGlowKernels(double radius, double sigma, double sigmaX);
    void buildGlowProfiles(double sigma, double sigmaY, double reachRows);
    // The profile of `table` for an edge at height `centre` (grid rows).
    GlowProfile glowProfile(const std::vector<float>& table, double centre) const;
    WaveformRasterizer::Rows render(const WaveformScene& scene, ImageBuffer& out, double s,
                                    std::uint32_t background, const WaveformRasterizer::Rows* backgroundOutside);
    // Sizes the image, brings the cached tables up to date, lays the frame out (per-column
    // colours, glow terms, content rows) and clears the rows outside the content. Answers false
    // when there is nothing to draw (the image then holds only the background).
    bool prepare(const WaveformScene& scene, ImageBuffer& out, double s, std::uint32_t background,
                 const WaveformRasterizer::Rows* backgroundOutside, Frame& frame);
    // Pass 1, row by row: the glow over the centre line over the background. Answers the rows
    // the wave may reach.
    WaveformRasterizer::Rows drawGlow(const Frame& frame, ImageBuffer& out);
    // Pass 2, bar by bar: dashed stroke, centre dot and sparkles, composited over pass 1.
    void drawSharp(const WaveformScene& scene, const Frame& frame, ImageBuffer& out);
};

WaveformRasterizer::WaveformRasterizer() : impl_(std::make_unique<Impl>()) {}
WaveformRasterizer::~WaveformRasterizer() = default;

namespace {
double usableScale(double scale) {
    return scale > 0.0 && scale < 1.0e3 ? scale : 1.0;
}

int pixelExtent(double points, double scale) {
    scale = usableScale(scale);
    const double v = std::ceil(points * scale - 1e-9);
    if (!(v >= 1.0)) return 1;
    return static_cast<int>(std::min(v, 1.0e6));
}
}  // namespace

int WaveformRasterizer::pixelWidth(const WaveformScene& scene, double dpr) {
    return pixelExtent(scene.panel.width, dpr);
}

int WaveformRasterizer::pixelHeight(const WaveformScene& scene, double dpr) {
    return pixelExtent(scene.panel.height, dpr);
}

WaveformRasterizer::Rows WaveformRasterizer::render(const WaveformScene& scene, ImageBuffer& out, double dpr,
                                                    std::uint32_t background, const Rows* backgroundOutside) {
    return impl_->render(scene, out, usableScale(dpr), background, backgroundOutside);
}

void WaveformRasterizer::Impl::buildGlowKernels(double radius, double sigma, double sigmaX) {
    if (glowKey[0] == radius && glowKey[1] == sigma && glowKey[2] == sigmaX) return;
    glowKey[0] = radius;
    glowKey[1] = sigma;
    glowKey[2] = sigmaX;
    const NormalTables& nt = normal();
    glowReach = static_cast<int>(std::ceil(std::max(radius + reach * sigma, reach * sigmaX))) + 1;
    glowKernelLength = 2 * glowReach + 1;
    glowKernelStride = (glowKernelLength + 7 + 7) / 8 * 8;
    glowKernels.assign(static_cast<std::size_t>(glowBuckets) * 2 * glowKernelStride, 0.0f);
    const double capNorm = 1.0 / (sigmaX * std::sqrt(2.0 * pi));
    for (int b = 0; b < glowBuckets; ++b) {
        const double fx = (b + 0.5) / glowBuckets;
        float* rect = &glowKernels[static_cast<std::size_t>(b) * 2 * glowKernelStride];
        float* caps = rect + glowKernelStride;
        for (int j = 0; j < glowKernelLength; ++j) {
            const double px = j - glowReach + 0.5 - fx;  // column centre relative to the bar
            if (std::abs(px) <= radius + reach * sigma) {
                rect[j] = nt.cdf((px + radius) / sigma) - nt.cdf((px - radius) / sigma);
            }
            if (std::abs(px) <= reach * sigmaX) {
                caps[j] = static_cast<float>(capNorm * nt.bell(px / sigmaX));
            }
        }
    }
}

void WaveformRasterizer::Impl::buildGlowProfiles(double sigma, double sigmaY, double reachRows) {
    if (profileKey[0] == sigma && profileKey[1] == sigmaY && profileKey[2] == reachRows) return;
    profileKey[0] = sigma;
    profileKey[1] = sigmaY;
    profileKey[2] = reachRows;
    const NormalTables& nt = normal();
    profileReach = static_cast<int>(std::ceil(reachRows)) + 4;
    profileLength = 2 * profileReach + 1;
    rectProfiles.assign(static_cast<std::size_t>(glowBuckets) * profileLength, 0.0f);
    capProfiles.assign(rectProfiles.size(), 0.0f);
    for (int b = 0; b < glowBuckets; ++b) {
        const double fy = (b + 0.5) / glowBuckets;  // edge - floor(edge)
        for (int i = 0; i < profileLength; ++i) {
            const double py = i - profileReach + 0.5 - fy;  // row centre relative to the edge
            rectProfiles[static_cast<std::size_t>(b) * profileLength + i] = nt.cdf(py / sigma);
            capProfiles[static_cast<std::size_t>(b) * profileLength + i] = nt.bell(py / sigmaY);
        }
    }
}

GlowProfile WaveformRasterizer::Impl::glowProfile(const std::vector<float>& table, double centre) const {
    const double base = std::floor(centre);
    const int bucket = std::min(static_cast<int>((centre - base) * glowBuckets), glowBuckets - 1);
    return {&table[static_cast<std::size_t>(bucket) * profileLength], static_cast<int>(base) - profileReach};
}

WaveformRasterizer::Rows WaveformRasterizer::Impl::render(const WaveformScene& scene, ImageBuffer& out, double s,
                                                          std::uint32_t background,
                                                          const WaveformRasterizer::Rows* backgroundOutside) {
    Frame frame;
    if (!prepare(scene, out, s, background, backgroundOutside, frame)) return {};
    const WaveformRasterizer::Rows band = drawGlow(frame, out);
    drawSharp(scene, frame, out);
    return band;
}

bool WaveformRasterizer::Impl::prepare(const WaveformScene& scene, ImageBuffer& out, double s,
                                       std::uint32_t background, const WaveformRasterizer::Rows* backgroundOutside,
                                       Frame& frame) {
    const int pw = pixelWidth(scene, s);
    const int ph = pixelHeight(scene, s);
    // The hint only describes an image of this size; a resized one holds anything.
    if (out.width() != pw || out.height() != ph) backgroundOutside = nullptr;
    out.resize(pw, ph);
    const int n = static_cast<int>(scene.bars.size());
    if (n == 0) {
        out.fill(background);
        return false;
    }
    const NormalTables& nt = normal();

    const double ox = scene.waveOriginX * s;
    const double oy = scene.waveOriginY * s;
    const double cy = oy + scene.centerY * s;
    // Scenes from WaveformScene::make keep these within a few points; the bound only keeps a
    // malformed scene from building enormous coverage tables.
    constexpr double largestRadius = 64.0;
    const double strokeRadius = std::min(scene.lineWidth * s * 0.5, largestRadius);
    const double dashLength = scene.dashLength * s;
    const double dashPeriod = (scene.dashLength + scene.dashGap) * s;
    const double dotRadius = std::min(scene.dotDiameter * s * 0.5, largestRadius);
    const double sparkleRadius = std::min(scene.sparkleDiameter * s * 0.5, largestRadius);
    if (!stroke.matches(strokeRadius)) stroke.build(strokeRadius, 64, 16, 64);
    if (dashPeriod > 0.0 && !stroke.matchesDashPattern(dashLength, dashPeriod)) {
        stroke.buildDashPattern(dashLength, dashPeriod, 128);
    }
    if (!dot.matches(dotRadius)) dot.build(dotRadius, 16, 8, 32, true);
    if (!sparkle.matches(sparkleRadius)) sparkle.build(sparkleRadius, 32, 8, 32);

    barColor.resize(static_cast<std::size_t>(n));
    barColour8.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        barColour8[static_cast<std::size_t>(i)] = colour8(scene.bars[static_cast<std::size_t>(i)].color);
        const RGBColor& c = scene.bars[static_cast<std::size_t>(i)].color;
        barColor[static_cast<std::size_t>(i)] = {static_cast<float>(c.red * 255.0), static_cast<float>(c.green * 255.0),
                                                 static_cast<float>(c.blue * 255.0)};
    }

    // Per column: the glow's colour (bar colours interpolated between bar centres, 0...1) and the
    // centre line's premultiplied paint. The glow's colours follow only the bars' colours and
    // places, which a view's frames rarely change, so they are kept while those stay the same.
    const std::size_t width = static_cast<std::size_t>(pw);
    const double waveRight = ox + scene.wave.width * s;
    const double spacing = scene.barSpacing * s;
    const bool glowColoursKept = glowColourWidth == pw && glowColourOx == ox && glowColourSpacing == spacing &&
                                 glowColourBars.size() == barColor.size() &&
                                 std::memcmp(glowColourBars.data(), barColor.data(), sizeof(Rgb) * barColor.size()) == 0;
    if (!glowColoursKept) {
        for (auto* v : {&glowR, &glowG, &glowB}) v->assign(width, 0.0f);
        for (int x = 0; x < pw; ++x) {
            const double px = x + 0.5;
            const double q = std::clamp((px - ox) / spacing - 0.5, 0.0, static_cast<double>(n - 1));
            const int i0 = std::min(static_cast<int>(q), n - 1);
            const int i1 = std::min(i0 + 1, n - 1);
            const float f = static_cast<float>(q - i0) / 255.0f;
            const float g = 1.0f / 255.0f - f;
            glowR[x] = barColor[i0].r * g + barColor[i1].r * f;
            glowG[x] = barColor[i0].g * g + barColor[i1].g * f;
            glowB[x] = barColor[i0].b * g + barColor[i1].b * f;
        }
        glowColourAtMostOne = true;
        towardKept = false;
        for (const auto* v : {&glowR, &glowG, &glowB}) {
            for (const float c : *v) glowColourAtMostOne = glowColourAtMostOne && c <= 1.0f;
        }
        glowColourWidth = pw;
        glowColourOx = ox;
        glowColourSpacing = spacing;
        glowColourBars = barColor;
    }
    // The centre line's paint follows only the image width, the wave's ends and the line's
    // colours, which a view's frames rarely change: kept while those stay the same. Its stops
    // share an opacity that follows the audio level, so they are compared scaled to the most
    // opaque one (within rounding: the scaled alphas may differ in the last bits between frames).
    double lineOpacity = 0.0;
    for (const RGBColor& stop : scene.centerLineStops) lineOpacity = std::max(lineOpacity, stop.alpha);
    lineStops = scene.centerLineStops;
    for (RGBColor& stop : lineStops) stop.alpha = lineOpacity > 0.0 ? stop.alpha / lineOpacity : 0.0;
    const auto sameStop = [](const RGBColor& a, const RGBColor& b) {
        return a.red == b.red && a.green == b.green && a.blue == b.blue && std::abs(a.alpha - b.alpha) <= 1e-12;
    };
    const bool linePaintKept = linePaintWidth == pw && linePaintOx == ox && linePaintRight == waveRight &&
                               std::ranges::equal(linePaintStops, lineStops, sameStop);
    if (!linePaintKept) {
        for (auto* v : {&lineR, &lineG, &lineB, &lineA}) v->assign(width, 0.0f);
        linePaintWidth = pw;
        linePaintOx = ox;
        linePaintRight = waveRight;
        linePaintStops = lineStops;
    }
    for (int x = 0; x < pw && !linePaintKept && !lineStops.empty(); ++x) {
        const double inside = std::clamp(std::min(x + 1.0, waveRight) - std::max(static_cast<double>(x), ox), 0.0, 1.0);
        if (inside > 0.0) {
            const RGBColor c = gradientAt(lineStops, (x + 0.5 - ox) / (waveRight - ox));
            const double a = c.alpha * inside;
            lineR[x] = static_cast<float>(c.red * a);
            lineG[x] = static_cast<float>(c.green * a);
            lineB[x] = static_cast<float>(c.blue * a);
            lineA[x] = static_cast<float>(a);
        }
    }
    const double lineTop = cy - WaveformScene::centerLineWidth * s * 0.5;
    const double lineBottom = cy + WaveformScene::centerLineWidth * s * 0.5;

    // Glow terms. The blur's deviation includes the pixel's own footprint (a box of variance 1/12).
    // The glow is sampled on the glow grid (cells of glowStep x glowStep pixels, sampled at their
    // centres), so its terms are worked out in grid units: every length divided by glowStep.
    const double blur = scene.glowRadius * s;
    const double sigmaPixels = std::sqrt(blur * blur + 1.0 / 12.0);
    const double glowRadiusPixels = scene.glowWidth * s * 0.5;
    const double sigma = sigmaPixels / glowStep;
    const double glowRadius = glowRadiusPixels / glowStep;
    const double sigmaX = std::sqrt(sigma * sigma + glowRadius * glowRadius / 4.0);
    const double sigmaY = std::sqrt(sigma * sigma + glowRadius * glowRadius * (0.25 - 16.0 / (9.0 * pi * pi)));
    const double capCentroid = 4.0 * glowRadius / (3.0 * pi);
    const double capScale = (pi * glowRadius * glowRadius / 2.0) / (sigmaY * std::sqrt(2.0 * pi));
    buildGlowKernels(glowRadius, sigma, sigmaX);
    // Grid column u is stored at u + 1, from u = -1 to u = gridWidth, so that every pixel
    // column lies between two stored samples.
    const int gridWidth = (pw + glowStep - 1) / glowStep;
    const int gridStored = gridWidth + 2;
    const double gcy = cy / glowStep;

    int contentFirst = ph;
    int contentLast = -1;
    auto include = [&](double y0, double y1) {
        contentFirst = std::min(contentFirst, std::max(static_cast<int>(std::floor(y0)), 0));
        contentLast = std::max(contentLast, std::min(static_cast<int>(std::ceil(y1)), ph - 1));
    };
    // The grid rows whose centres (v + 0.5) lie within from...to: where a bar's end is within
    // the glow's cut-off.
    auto zone = [](double from, double to, int& first, int& last) {
        first = static_cast<int>(std::ceil(from - 0.5));
        last = static_cast<int>(std::floor(to - 0.5));
    };
    const double verticalReach = std::max(reach * sigma, reach * sigmaY + capCentroid);
    const double verticalReachPixels = verticalReach * glowStep;
    // A zone row lies within verticalReach + 1 row of its edge, and a cap's centroid lies
    // capCentroid from the straight part's.
    buildGlowProfiles(sigma, sigmaY, verticalReach + capCentroid + 2.0);
    glow.resize(static_cast<std::size_t>(n));
    // The strips of image columns that read the stored grid samples [first, end): with a step of
    // two, sample k (grid column k - 1) is interpolated into pixels 2k - 3 to 2k.
    static_assert(glowStep == 2, "the strips follow upsampleGlow's interpolation");
    const int stripPixels = std::max(32, (pw + 63) / 64 + 7) / 8 * 8;
    const auto stripsOf = [&](int first, int end) {
        const int x0 = std::max(2 * first - 3, 0);
        const int x1 = std::min(2 * (end - 1), pw - 1);
        if (x1 < x0) return std::uint64_t{0};
        const int s0 = x0 / stripPixels, s1 = x1 / stripPixels;
        return (~std::uint64_t{0} >> (63 - s1)) & (~std::uint64_t{0} << s0);
    };
    overlaps.clear();
    overlapKernels.clear();
    for (int i = 0; i < n; ++i) {
        const WaveformBar& bar = scene.bars[static_cast<std::size_t>(i)];
        GlowBar& g = glow[static_cast<std::size_t>(i)];
        const double xc = ox + bar.x * s;
        const double h = bar.halfHeight * s;
        const double gx = xc / glowStep;  // grid units from here on
        const double gh = h / glowStep;
        const double fx = gx - std::floor(gx);
        const int bucket = std::min(static_cast<int>(fx * glowBuckets), glowBuckets - 1);
        g.kernelStart = static_cast<int>(std::floor(gx)) - glowReach + 1;
        g.kernelFirst = std::max(0, -g.kernelStart);
        g.kernelEnd = std::min(glowKernelLength, gridStored - g.kernelStart);
        g.strips = stripsOf(g.kernelStart + g.kernelFirst, g.kernelStart + g.kernelEnd);
        g.rect = &glowKernels[static_cast<std::size_t>(bucket) * 2 * glowKernelStride];
        g.caps = g.rect + glowKernelStride;
        g.top = gcy - gh;
        g.bottom = gcy + gh;
        g.capTop = g.top - capCentroid;
        g.capBottom = g.bottom + capCentroid;
        g.topRect = glowProfile(rectProfiles, g.top);
        g.bottomRect = glowProfile(rectProfiles, g.bottom);
        g.topCaps = glowProfile(capProfiles, g.capTop);
        g.bottomCaps = glowProfile(capProfiles, g.capBottom);
        const double opacity = WaveformScene::glowOpacity(bar);
        g.rectWeight = static_cast<float>(opacity);
        g.capWeight = static_cast<float>(opacity * capScale);
        g.lastRect = 0.0f;
        g.lastCaps = 0.0f;
        zone(g.top - verticalReach, g.top + verticalReach, g.zoneTopFirst, g.zoneTopLast);
        zone(g.bottom - verticalReach, g.bottom + verticalReach, g.zoneBottomFirst, g.zoneBottomLast);
        include(cy - h - verticalReachPixels - 1.0, cy + h + verticalReachPixels + 1.0);
        include(cy - h - strokeRadius - 1.0, cy + h + strokeRadius + 1.0);  // the dashed stroke
        if (bar.hasSparkles) {
            const double off = bar.sparkleOffset * s;
            include(cy - off - sparkleRadius - 1.0, cy + off + sparkleRadius + 1.0);
        }

        if (i + 1 < n) {
            const WaveformBar& next = scene.bars[static_cast<std::size_t>(i) + 1];
            const double left = (ox + next.x * s) / glowStep - glowRadius;
            const double right = gx + glowRadius;
            if (left < right) {
                GlowOverlap o;
                const double hh = std::min(h, next.halfHeight * s) / glowStep;
                o.top = gcy - hh;
                o.bottom = gcy + hh;
                o.weight = static_cast<float>(-opacity * WaveformScene::glowOpacity(next));
                // Stored indices; the sample of index k lies at grid x k - 1 + 0.5.
                o.start = std::max(static_cast<int>(std::floor(left - reach * sigma)) + 1, 0);
                const int end = std::min(static_cast<int>(std::ceil(right + reach * sigma)) + 1, gridStored - 1);
                o.count = std::max(end - o.start + 1, 0);
                o.strips = stripsOf(o.start, o.start + o.count);
                o.kernel = overlapKernels.size();
                for (int k = o.start; k <= end; ++k) {
                    overlapKernels.push_back(nt.cdf((k - 0.5 - left) / sigma) - nt.cdf((k - 0.5 - right) / sigma));
                }
                overlaps.push_back(o);
            }
        }
    }
    include(lineTop - 1.0, lineBottom + 1.0);
    include(cy - dotRadius - 1.0, cy + dotRadius + 1.0);

    if (backgroundOutside != nullptr) {
        // Only the caller's rows may hold anything else: clear those the wave left.
        const int first = std::max(backgroundOutside->first, 0);
        const int last = std::min(backgroundOutside->last, ph - 1);
        for (int y = first; y <= last; ++y) {
            if (y < contentFirst || y > contentLast) std::fill(out.row(y), out.row(y) + pw, background);
        }
    } else {
        for (int y = 0; y < ph; ++y) {
            // A row that already holds only the background (the previous frame's, usually) is
            // left alone: reading it moves half the memory that rewriting it would.
            if ((y < contentFirst || y > contentLast) && !holdsOnly(out.row(y), background, pw)) {
                std::fill(out.row(y), out.row(y) + pw, background);
            }
        }
    }

    // The running grid row, the previous one (both with slack for accumulateGlow's groups of
    // eight and the upsampling's reads) and the pixel row upsampled from them.
    glowGrid.assign(static_cast<std::size_t>(gridStored) + 8, 0.0f);
    glowAbove.assign(static_cast<std::size_t>(gridWidth) * glowStep + 16, 0.0f);
    glowBelow.assign(glowAbove.size(), 0.0f);

    frame = {pw, ph, s, ox, cy, strokeRadius, dashLength, dashPeriod, dotRadius, sparkleRadius, lineTop, lineBottom,
             lineOpacity, sigma, sigmaY, gridWidth, background, contentFirst, contentLast, stripPixels};
    return true;
}

WaveformRasterizer::Rows WaveformRasterizer::Impl::drawGlow(const Frame& frame, ImageBuffer& out) {
    const NormalTables& nt = normal();
    const int pw = frame.pw;
    const int ph = frame.ph;
    const double cy = frame.cy;
    const std::uint32_t background = frame.background;
    int contentFirst = frame.contentFirst;
    const int contentLast = frame.contentLast;
    const float bgA = static_cast<float>(ImageBuffer::alpha(background)) / 255.0f;
    const float bgR = static_cast<float>(ImageBuffer::red(background)) / 255.0f;
    const float bgG = static_cast<float>(ImageBuffer::green(background)) / 255.0f;
    const float bgB = static_cast<float>(ImageBuffer::blue(background)) / 255.0f;
    const bool backgroundInRange = glowColourAtMostOne && bgR <= bgA && bgG <= bgA && bgB <= bgA;
    if (backgroundInRange && background != 0 && !(towardKept && towardBackground == background)) {
        for (auto* v : {&towardR, &towardG, &towardB}) v->resize(static_cast<std::size_t>(pw));
        for (int x = 0; x < pw; ++x) {
            towardR[x] = glowR[x] * 255.0f - bgR * 255.0f;
            towardG[x] = glowG[x] * 255.0f - bgG * 255.0f;
            towardB[x] = glowB[x] * 255.0f - bgB * 255.0f;
        }
        towardKept = true;
        towardBackground = background;
    }
    const GlowToward toward{towardR.data(), towardG.data(), towardB.data()};

    // Pass 1, row by row: the glow over the centre line (over the background), in 8 bits. The
    // glow and the line are symmetric about the centre line, so when that falls on the image's
    // middle (it does whenever the panel is a whole number of pixels high) only the upper half
    // is computed and the lower half is its mirror image.
    const bool mirrored = std::abs(2.0 * cy - ph) < 1e-9;
    int passLast = contentLast;
    WaveformRasterizer::Rows band{contentFirst, contentLast};
    if (mirrored) {
        contentFirst = std::min(contentFirst, std::max(ph - 1 - contentLast, 0));
        passLast = (ph - 1) / 2;
        // Rows contentFirst...passLast are drawn, each written to ph - 1 - y as well.
        band = {contentFirst, std::max(contentLast, ph - 1 - contentFirst)};
    }
    // Pixel row y lies between grid rows floor((y - 1) / glowStep) and the next (for a step of 2:
    // grid row v is sampled at pixel height 2v + 1, pixel row y at y + 0.5).
    const auto gridBelow = [](int y) { return static_cast<int>(std::floor((y - 1.0) / glowStep)); };
    const int gridFirst = gridBelow(contentFirst);
    const int gridLast = gridBelow(passLast) + 1;
    const double invSigma = 1.0 / frame.sigma;
    const double invSigmaY = 1.0 / frame.sigmaY;
    const double lineTop = frame.lineTop;
    const double lineBottom = frame.lineBottom;
    float* grid = glowGrid.data();
    // After the first grid row a bar only matters on the rows near its ends: the rows where each
    // bar enters or leaves those zones, sorted by row, keep a bit per bar that says whether it does.
    const int sweepFirst = gridFirst + 1;
    const int sweepRows = std::max(gridLast - sweepFirst + 2, 0);
    zoneEventStart.assign(static_cast<std::size_t>(sweepRows) + 1, 0);
    zoneEvents.clear();
    const auto eachEvent = [&](const auto& event) {
        for (std::size_t i = 0; i < glow.size(); ++i) {
            const GlowBar& g = glow[i];
            int firstA = std::max(g.zoneTopFirst, sweepFirst), lastA = std::min(g.zoneTopLast, gridLast);
            int firstB = std::max(g.zoneBottomFirst, sweepFirst), lastB = std::min(g.zoneBottomLast, gridLast);
            if (firstB <= lastB && firstA <= lastA && firstB <= lastA + 1 && firstA <= lastB + 1) {
                firstA = std::min(firstA, firstB);  // overlapping or adjacent: one zone
                lastA = std::max(lastA, lastB);
                firstB = 1;
                lastB = 0;
            }
            for (const auto& [first, last] : {std::pair{firstA, lastA}, std::pair{firstB, lastB}}) {
                if (first > last) continue;
                event(first - sweepFirst, i);
                event(last + 1 - sweepFirst, i);
            }
        }
    };
    eachEvent([&](int row, std::size_t) { ++zoneEventStart[static_cast<std::size_t>(row) + 1]; });
    for (std::size_t r = 1; r < zoneEventStart.size(); ++r) zoneEventStart[r] += zoneEventStart[r - 1];
    zoneEvents.resize(static_cast<std::size_t>(zoneEventStart.back()));
    zoneEventFill.assign(zoneEventStart.begin(), zoneEventStart.end());
    eachEvent([&](int row, std::size_t bar) {
        zoneEvents[static_cast<std::size_t>(zoneEventFill[static_cast<std::size_t>(row)]++)] = static_cast<int>(bar);
    });
    activeBars.assign((glow.size() + 63) / 64, 0);
    // Where a grid row equals the one before it (no bar has an end within reach: the middle of a
    // band of tall bars), every pixel row between the two has the same alpha, and so the same
    // pixels unless the centre line crosses it. The first such row is composed and the next ones,
    // up to the next change of the grid, are copies of it.
    const std::uint32_t* unchangedRow = nullptr;  // that row, while the grid stays unchanged
    const std::size_t rowBytes = static_cast<std::size_t>(pw) * sizeof(std::uint32_t);
    // Rows the centre line does not cross: glow over the background, columns x0 to x0 + count - 1.
    const auto composePlain = [&](const GlowRows& rows, int x0, int count) {
        GlowRows part = rows;
        part.above += x0;
        part.below += x0;
        for (GlowRows::Row& row : part.rows) {
            if (row.out.row != nullptr) row.out.row += x0;
            if (row.out.mirror != nullptr) row.out.mirror += x0;
        }
        if (background != 0 && backgroundInRange) {
            const GlowToward shifted{toward.r + x0, toward.g + x0, toward.b + x0};
            composeGlowOverBackground(part, glowR.data() + x0, glowG.data() + x0, glowB.data() + x0, bgA, bgR, bgG,
                                      bgB, count, &shifted);
        } else if (background != 0) {
            composeGlowOverBackground(part, glowR.data() + x0, glowG.data() + x0, glowB.data() + x0, bgA, bgR, bgG,
                                      bgB, count, nullptr);
        } else {
            composeGlow(part, glowR.data() + x0, glowG.data() + x0, glowB.data() + x0, count, glowColourAtMostOne);
        }
    };
    // The same for the pixel rows `ys` between grid rows v - 1 and v. In a strip of columns that
    // neither grid row changed, the pixel rows one grid step above have the same pixels (the same
    // weights of the same samples): where those hold the plain glow, the strip is copied from them.
    plainRow.assign(static_cast<std::size_t>(ph), 0);
    std::uint64_t changedNow = 0, changedBefore = 0;  // the strips grid rows v and v - 1 changed
    const int stripPixels = frame.stripPixels;
    const auto composePlainRows = [&](const GlowRows& rows, const int* ys) {
        bool copyable = true;
        for (int i = 0; i < rows.count; ++i) {
            const int from = ys[i] - glowStep;
            copyable = copyable && from >= contentFirst && plainRow[static_cast<std::size_t>(from)];
            plainRow[static_cast<std::size_t>(ys[i])] = 1;
        }
        const std::uint64_t changed = copyable ? changedNow | changedBefore : ~std::uint64_t{0};
        // Runs of strips alike (changed or not), left to right.
        for (int x0 = 0; x0 < pw;) {
            const int strip = x0 / stripPixels;
            const bool composed = (changed >> strip & 1) != 0;
            const std::uint64_t rest = (composed ? ~changed : changed) >> strip;
            const int run = rest == 0 ? 64 - strip : __builtin_ctzll(rest);
            const int x1 = static_cast<int>(std::min<std::int64_t>(std::int64_t{strip + run} * stripPixels, pw));
            if (composed) {
                composePlain(rows, x0, x1 - x0);
            } else {
                const std::size_t bytes = static_cast<std::size_t>(x1 - x0) * sizeof(std::uint32_t);
                for (int i = 0; i < rows.count; ++i) {
                    const RowOut& row = rows.rows[static_cast<std::size_t>(i)].out;
                    const std::uint32_t* from = out.row(ys[i] - glowStep) + x0;
                    std::memcpy(row.row + x0, from, bytes);
                    if (row.mirror != nullptr) std::memcpy(row.mirror + x0, from, bytes);
                }
            }
            x0 = x1;
        }
    };
    for (int v = gridFirst; v <= gridLast; ++v) {
        if (v >= sweepFirst) {
            const std::size_t row = static_cast<std::size_t>(v - sweepFirst);
            for (int e = zoneEventStart[row]; e < zoneEventStart[row + 1]; ++e) {
                const auto bar = static_cast<std::size_t>(zoneEvents[static_cast<std::size_t>(e)]);
                activeBars[bar / 64] ^= std::uint64_t{1} << (bar % 64);
            }
        }
        const double py = v + 0.5;
        changedBefore = changedNow;
        changedNow = v == gridFirst ? ~std::uint64_t{0} : 0;
        bool changed = accumulateGlowRow(grid, glow, v == gridFirst ? nullptr : activeBars.data(), v, invSigma,
                                         invSigmaY, changedNow);
        for (GlowOverlap& o : overlaps) {
            const float profile = nt.cdf((py - o.top) * invSigma) - nt.cdf((py - o.bottom) * invSigma);
            const float delta = (profile - o.last) * o.weight;
            o.last = profile;
            if (delta == 0.0f) continue;
            changed = true;
            changedNow |= o.strips;
            const float* k = &overlapKernels[o.kernel];
            float* a = grid + o.start;
            for (int j = 0; j < o.count; ++j) a[j] += delta * k[j];
        }
        // Unchanged, the upsampled row would equal glowAbove, which stands for it.
        const bool unchanged = v != gridFirst && !changed;
        if (!unchanged) {
            upsampleGlow(glowBelow.data(), grid, frame.gridWidth);
            unchangedRow = nullptr;
        }
        if (v == gridFirst) {
            glowAbove.swap(glowBelow);
            continue;
        }
        const float* lower = unchanged ? glowAbove.data() : glowBelow.data();

        // The pixel rows between grid rows v - 1 and v. Those the centre line crosses are composed
        // over it one by one; the others (usually both) in one pass, or copied where the grid
        // has not changed.
        GlowRows plain{glowAbove.data(), lower};
        std::array<int, 2> plainYs{};
        for (int y = std::max(glowStep * v - 1, contentFirst); y <= std::min(glowStep * v, passLast); ++y) {
            const float below = static_cast<float>((y + 0.5 - (glowStep * (v - 1) + 0.5 * glowStep)) / glowStep);
            const GlowRows::Row row{1.0f - below, below,
                                    RowOut{out.row(y), mirrored && ph - 1 - y != y ? out.row(ph - 1 - y) : nullptr}};
            const float lineCover = static_cast<float>(
                std::clamp(std::min(y + 1.0, lineBottom) - std::max(static_cast<double>(y), lineTop), 0.0, 1.0));
            if (lineCover > 0.0f) {
                const RowUnderlay underlay{lineCover * static_cast<float>(frame.lineOpacity),
                                           lineR.data(), lineG.data(), lineB.data(), lineA.data(), bgA, bgR, bgG, bgB};
                composeGlowOver(GlowRows{glowAbove.data(), lower, {row}, 1}, glowR.data(), glowG.data(),
                                glowB.data(), underlay, pw);
            } else if (unchangedRow != nullptr) {
                std::memcpy(row.out.row, unchangedRow, rowBytes);
                if (row.out.mirror != nullptr) std::memcpy(row.out.mirror, unchangedRow, rowBytes);
                plainRow[static_cast<std::size_t>(y)] = 1;
            } else if (unchanged) {
                composePlainRows(GlowRows{glowAbove.data(), lower, {row}, 1}, &y);
                unchangedRow = row.out.row;
            } else {
                plainYs[static_cast<std::size_t>(plain.count)] = y;
                plain.rows[static_cast<std::size_t>(plain.count++)] = row;
            }
        }
        if (plain.count > 0) composePlainRows(plain, plainYs.data());
        if (!unchanged) glowAbove.swap(glowBelow);
    }

    return band;
}

void WaveformRasterizer::Impl::drawSharp(const WaveformScene& scene, const Frame& frame, ImageBuffer& out) {
    const int n = static_cast<int>(scene.bars.size());
    const int pw = frame.pw;
    const int ph = frame.ph;
    const double s = frame.s;
    const double ox = frame.ox;
    const double cy = frame.cy;
    const double strokeRadius = frame.strokeRadius;
    const double dashLength = frame.dashLength;
    const double dashPeriod = frame.dashPeriod;
    const double dotRadius = frame.dotRadius;
    const double sparkleRadius = frame.sparkleRadius;
    const int dotFirst = std::max(static_cast<int>(std::floor(cy - dotRadius)), 0);
    const int dotLast = std::min(static_cast<int>(std::floor(cy + dotRadius)), ph - 1);
    const double inversePeriod = dashPeriod > 0.0 ? 1.0 / dashPeriod : 0.0;
    // Each bar reads its own bucket's tables, and the bars' buckets lie all over them. In the
    // application the screen's other work between two frames (tens of milliseconds) pushes them
    // out to memory, and a bar's reads would each wait for memory in turn; read in order first,
    // they come in at the memory's full speed (a few hundred kilobytes: the dash patterns and the
    // stroke's lane tables).
    stroke.bringInTables(false);
    dot.bringInTables(true);
    sparkle.bringInTables(true);
    // Every dot is centred on the centre line, so a dot pixel's coverage depends only on the
    // bar's sub-pixel bucket, the column and the row: worked out once per frame for all bars.
    // The columns are held in lane groups of four (lanes past a bucket's last column cover
    // nothing), so that a row of a group is blended as four pixels at once.
    constexpr std::size_t dotLanes = CapsuleCoverageTable::lanes;
    const std::size_t dotRows = static_cast<std::size_t>(std::max(dotLast - dotFirst + 1, 0));
    const std::size_t dotGroups = (static_cast<std::size_t>(dot.columnsPerBucket()) + dotLanes - 1) / dotLanes;
    const auto dotGroupCover = [&](int b, std::size_t group) {
        return dotCover.data() + (static_cast<std::size_t>(b) * dotGroups + group) * dotRows * dotLanes;
    };
    // A bucket's coverage is worked out when a bar first uses it (the bars' positions fall in a
    // few of the buckets).
    dotCover.assign(static_cast<std::size_t>(dot.buckets()) * dotGroups * dotRows * dotLanes, 0.0f);
    dotCoverReady.assign(static_cast<std::size_t>(dot.buckets()), 0);
    const auto prepareDotCover = [&](int b) {
        if (dotCoverReady[static_cast<std::size_t>(b)]) return;
        dotCoverReady[static_cast<std::size_t>(b)] = 1;
        const auto columns = dot.bucketColumns(b);
        for (std::size_t ci = 0; ci < columns.size(); ++ci) {
            float* cover = dotGroupCover(b, ci / dotLanes) + ci % dotLanes;
            for (int y = dotFirst; y <= dotLast; ++y) {
                cover[static_cast<std::size_t>(y - dotFirst) * dotLanes] = dot.coverage(columns[ci], y, cy, cy);
            }
        }
    };
    // The dash pattern tables of all buckets outgrow the caches the glow pass has just filled
    // with the image; the next bar's is asked for while this bar is drawn.
    const auto prefetchDashPattern = [&](int i) {
        if (i >= n) return;
        const auto touched = stroke.columns(ox + scene.bars[static_cast<std::size_t>(i)].x * s);
        const auto* first = reinterpret_cast<const char*>(stroke.laneDashPattern(touched, 0));
        const std::size_t bytes = stroke.laneGroupStride() * sizeof(std::uint16_t) *
                                  ((touched.size() + CapsuleCoverageTable::lanes - 1) / CapsuleCoverageTable::lanes);
        for (std::size_t b = 0; b < bytes; b += 64) __builtin_prefetch(first + b, 0);
    };
    prefetchDashPattern(0);
    for (int i = 0; i < n; ++i) {
        const WaveformBar& bar = scene.bars[static_cast<std::size_t>(i)];
        const RGBColor8& c = barColour8[static_cast<std::size_t>(i)];
        prefetchDashPattern(i + 1);
        const double xc = ox + bar.x * s;
        const int xBase = static_cast<int>(std::floor(xc));
        const double h = bar.halfHeight * s;
        const double top = cy - h;
        const double bottom = cy + h;
        // A path of length 2h holds the dashes starting at k * period < 2h.
        const int dashes = dashPeriod > 0.0 && h > 0.0 ? static_cast<int>(std::ceil(2.0 * h / dashPeriod)) : 0;
        const float strokeOpacity = static_cast<float>(WaveformScene::strokeOpacity(bar));
        if (dashes > 0) {
            const int rowFirst = std::max(static_cast<int>(std::floor(top - strokeRadius)), 0);
            const int rowLast = std::min(static_cast<int>(std::floor(bottom + strokeRadius)), ph - 1);
            // Rows that the periodic pattern draws exactly read it: none before the first dash
            // can reach them, and they stay clear of where the path ends: the cut end of the last
            // dash, or where a dash after a whole last one would start.
            const int patternFirst = static_cast<int>(std::ceil(top - dashPeriod + dashLength + strokeRadius));
            const double lastStart = top + (dashes - 1) * dashPeriod;
            const double pathEnd = lastStart + dashLength > bottom ? bottom : lastStart + dashPeriod;
            const int patternLast = static_cast<int>(std::floor(pathEnd - strokeRadius - 1.0));
            const int fastFirst = std::max(rowFirst, patternFirst);
            const int fastLast = std::min(rowLast, patternLast);
            const double steps = stroke.phaseSteps();
            const double wrap = dashPeriod * steps;
            const auto touched = stroke.columns(xc);
            // The inner rows' phase, in pattern steps.
            double fastPos = fastFirst - top;
            fastPos = (fastPos - std::floor(fastPos * inversePeriod) * dashPeriod) * steps;
            // Whole lane groups inside the image go four columns at a time; the columns of a
            // group that reaches past an edge take the per-column loops below.
            constexpr int lanes = CapsuleCoverageTable::lanes;
            const int groups = static_cast<int>((touched.size() + lanes - 1) / lanes);
            const int x0 = touched.empty() ? 0 : xBase + touched[0].offset;
            int inside = 0;  // leading groups wholly inside the image
            while (inside < groups && x0 + inside * lanes >= 0 && x0 + (inside + 1) * lanes <= pw) ++inside;
            const int laneColumnsDone = inside * lanes;
            if (fastFirst <= fastLast && inside > 0) {
                blendDashRows(out.row(fastFirst) + x0, static_cast<std::size_t>(pw), stroke.laneDashPattern(touched, 0),
                              stroke.laneGroupStride(), inside, fastPos, steps, wrap, fastLast - fastFirst + 1,
                              strokeOpacity, c);
            }
            // Rows that the ends of dashes reach, row by row: a row's dashes are found once for
            // all its columns.
            const auto exactRow = [&](int y) {
                const int kFirst =
                    std::max(static_cast<int>(std::ceil((y - strokeRadius - dashLength - top) * inversePeriod)), 0);
                const int kLast =
                    std::min(static_cast<int>(std::floor((y + 1.0 + strokeRadius - top) * inversePeriod)), dashes - 1);
                std::uint32_t* row = out.row(y);
                for (int g = 0; g < inside; ++g) {
                    F32x4 cover{};
                    for (int k = kFirst; k <= kLast; ++k) {
                        const double d0 = top + k * dashPeriod;
                        cover += stroke.laneCoverage(touched, g, y, d0, std::min(d0 + dashLength, bottom));
                    }
                    blend(row + x0 + g * lanes, c, cover * strokeOpacity);
                }
                for (std::size_t ci = static_cast<std::size_t>(laneColumnsDone); ci < touched.size(); ++ci) {
                    const auto& column = touched[ci];
                    const int x = xBase + column.offset;
                    if (x < 0 || x >= pw) continue;
                    float cover = 0.0f;
                    for (int k = kFirst; k <= kLast; ++k) {
                        const double d0 = top + k * dashPeriod;
                        cover += stroke.coverage(column, y, d0, std::min(d0 + dashLength, bottom));
                    }
                    blend(row[x], c, cover * strokeOpacity);
                }
            };
            const int headLast = std::min(rowLast, fastFirst - 1);
            for (int y = rowFirst; y <= headLast; ++y) exactRow(y);
            for (int y = std::max(fastFirst, fastLast + 1); y <= rowLast; ++y) exactRow(y);
            // Inner rows of the columns the lane groups left: the periodic pattern, stepping the
            // phase by one pixel a row.
            for (std::size_t ci = static_cast<std::size_t>(laneColumnsDone); ci < touched.size() && fastFirst <= fastLast;
                 ++ci) {
                const auto& column = touched[ci];
                const int x = xBase + column.offset;
                if (x < 0 || x >= pw) continue;
                const float* values = stroke.dashPatternValues(column);
                int y = fastFirst;
                double pos = y - top;
                pos = (pos - std::floor(pos * inversePeriod) * dashPeriod) * steps;
                std::uint32_t* pixel = out.row(y) + x;
                for (; y <= fastLast; ++y, pos += steps, pixel += pw) {
                    while (pos >= wrap) pos -= wrap;  // a period may be shorter than the pixel a row steps
                    const int k = std::max(static_cast<int>(pos), 0);
                    const float f = static_cast<float>(pos - k);
                    blend(*pixel, c, (values[k] + f * (values[k + 1] - values[k])) * strokeOpacity);
                }
            }
        }
        const float dotOpacity = static_cast<float>(WaveformScene::dotOpacity(bar));
        const int bucket = dot.bucket(xc);
        prepareDotCover(bucket);
        const auto dotColumns = dot.bucketColumns(bucket);
        for (std::size_t ci = 0; ci < dotColumns.size(); ci += dotLanes) {
            const float* cover = dotGroupCover(bucket, ci / dotLanes);
            const int x = xBase + dotColumns[ci].offset;
            if (x >= 0 && x + static_cast<int>(dotLanes) <= pw) {
                for (int y = dotFirst; y <= dotLast; ++y, cover += dotLanes) {
                    F32x4 alpha;
                    std::memcpy(&alpha, cover, sizeof alpha);
                    blend(out.row(y) + x, c, alpha * dotOpacity);
                }
                continue;
            }
            // A group reaching past an edge of the image: column by column.
            for (std::size_t l = 0; l < dotLanes && ci + l < dotColumns.size(); ++l) {
                const int xl = x + static_cast<int>(l);
                if (xl < 0 || xl >= pw) continue;
                for (int y = dotFirst; y <= dotLast; ++y) {
                    blend(out.row(y)[xl], c, cover[static_cast<std::size_t>(y - dotFirst) * dotLanes + l] * dotOpacity);
                }
            }
        }
        if (bar.hasSparkles) {
            const float opacity = static_cast<float>(WaveformScene::sparkleOpacity(bar));
            for (const double sy : {cy - bar.sparkleOffset * s, cy + bar.sparkleOffset * s}) {
                const int first = std::max(static_cast<int>(std::floor(sy - sparkleRadius)), 0);
                const int last = std::min(static_cast<int>(std::floor(sy + sparkleRadius)), ph - 1);
                for (const auto& column : sparkle.columns(xc)) {
                    const int x = xBase + column.offset;
                    if (x < 0 || x >= pw) continue;
                    for (int y = first; y <= last; ++y) {
                        blend(out.row(y)[x], c, sparkle.coverage(column, y, sy, sy) * opacity);
                    }
                }
            }
        }
    }
}

}  // namespace sonavista
