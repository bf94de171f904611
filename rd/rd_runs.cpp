// Ellipse runs: the solver's fast disc sums. Every row of an ellipse holds its
// inside cells as one run of columns, so with the field's running sum along
// each row (extended on both sides for the torus wrap) a row's share of an
// ellipse sum is one subtraction. Radii and tangents stay fixed while the
// solver runs, so each cell's runs are worked out once; cells with the same
// radius and nearly the same tangent cover the same cells and share them.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "app/app_assert.h"
#include "gr/gr_complex.h"
#include "gr/gr_memory.h"
#include "rd/rd_internal.h"
#include "rd/rd_solver.h"
#include "task/rd_dispatch.h"
#include "task/rd_task.h"

#define RD__INLINE inline __attribute__((always_inline))

// A cell that is scanned instead (its radius exceeds what a shape holds).
static constexpr uint32_t RD__RUNS_SCAN = 0xFFFFFFFFu;

// The pair of a scanned cell: both its ellipses RD__RUNS_SCAN, so that the
// sums read every cell's pair without a test.
static constexpr uint32_t RD__PAIR_SCAN = 0;

// Rows are summed in this many lanes (rd__shapeSums).
static constexpr int RD__LANES = 4;

// Largest stored row count: RD__RUNS_MAX_RADIUS + 1, padded to odd.
static constexpr int RD__MAX_ROWS = RD__RUNS_MAX_RADIUS + 1 + (RD__RUNS_MAX_RADIUS & 1);

// An ellipse is point symmetric, so a shape keeps the rows dy >= 0 only: row
// -dy is row dy mirrored. A shape is 8 header bytes (D, the row reach; K, the
// stored rows; zeros), then K rows of four bytes (s, e, 1 - e, 1 - s): row
// dy = k covers dx in [s, e), and row -k covers [1 - e, 1 - s), stored next
// to it so that no index is computed while summing. K is odd (the centre row, then rows in pairs);
// rows past D (the padding) and empty rows are all zeros. Sizes are padded to a multiple of 8, so
// shapes stay aligned in their table.
static constexpr size_t RD__SHAPE_HEADER = 8;
static constexpr size_t RD__SHAPE_MAX = RD__SHAPE_HEADER + ((4 * (size_t)RD__MAX_ROWS + 7) & ~7);
static_assert(RD__MAX_ROWS <= 255, "the row count is one byte");

// Bytes of shapes one radius may make before the runs are given up (and the
// solver scans): far more than unit tangents need.
static constexpr size_t RD__SHAPE_BUDGET = (size_t)64 << 20;

struct rd__runs_s {
    int32_t width, height;
    int32_t reach;  // M: the largest radius among the shapes
    int32_t stride; // prefix row length: width + 2M + 1
    std::vector<int8_t> shapes;
    unsigned long shape_count;
    // Per cell: its pair of ellipses (RD__PAIR_SCAN for a scanned one).
    std::vector<uint32_t> cells;
    // Per pair: offsets of the small and the large ellipse in shapes, one
    // after the other. Cells of one radius with nearly the same tangent share
    // a pair.
    std::vector<uint32_t> pairs;
    unsigned long scanned; // cells given RD__PAIR_SCAN
    // Prefix row j (of height + 2M + 3) stands for grid row q = j - M,
    // wrapped: its entry k is the sum of the field over columns (c - M) mod
    // width of row q mod height for c < k. The rows above and below the grid
    // repeat it, so the rows of an ellipse lie one stride apart wherever it
    // sits. A run [s, e) centred on column x sums as entry x + M + e minus
    // entry x + M + s. Allocated untouched: its pages count only from the
    // first iteration on, when the set-up's scratch and, in the runner, the
    // analysis are gone.
    double* prefix = nullptr;

    ~rd__runs_s() { std::free(prefix); }
};

static RD__INLINE size_t rd__shapeBytes(int rows) {
    return RD__SHAPE_HEADER + ((4 * (size_t)rows + 7) & ~(size_t)7);
}

static RD__INLINE size_t rd__shapeSize(const int8_t* shape) {
    return rd__shapeBytes((uint8_t)shape[1]);
}

// Prefix rows above and below the grid: M, and one more for a shape's padding
// row.
static RD__INLINE int rd__prefixPad(const rd__runs_s* runs) {
    return runs->reach + 1;
}

static RD__INLINE int rd__prefixRows(const rd__runs_s* runs) {
    return runs->height + 2 * rd__prefixPad(runs);
}

// ---- Shapes ------------------------------------------------------------------

// Returns floor(v) for |v| < 2^31, without the library call the baseline
// instruction set needs for std::floor.
static RD__INLINE int rd__floor(double v) {
    const int i = (int)v;
    return i - (v < (double)i);
}

// One ellipse being laid out in rows. The cells are decided by the scan's own
// single-precision test; the same ellipse in double precision,
//   f(x, dy) = A x^2 - 6ab dy x + (b^2 + 4a^2) dy^2 - rho^2  (A = a^2 + 4b^2),
// which is rho^2 (u^2 + v^2 - 1), finds each row's run and tells which cells
// lie so far from the boundary (|f| above `margin`) that the single-precision
// test cannot differ; only the others are tested one by one.
struct rd__ellipse_s {
    int rho;
    float a, b, ru, rv;
    bool plain; // a usable tangent (finite, not zero)
    double A, B6, C, R2, margin, centre, k0, k1, half;

    rd__ellipse_s(int rho_, float a_, float b_) : rho(rho_), a(a_), b(b_) {
        ru = 1.0f / (float)rho;
        rv = 1.0f / (float)(rho * 0.5);
        const double da = a, db = b;
        A = da * da + 4.0 * db * db;
        const double S = da * da + db * db;
        plain = A > 0.0 && std::isfinite(A) && std::isfinite(S);
        B6 = 6.0 * da * db;
        C = db * db + 4.0 * da * da;
        R2 = (double)rho * rho;
        // Near the boundary, u^2 + v^2 in single precision is off by well
        // under 1e-5 for a unit tangent; the products grow with a longer one.
        margin = 1e-5 * R2 * std::max(1.0, S);
        // Row dy's real run is centre dy +- half sqrt(k0 - k1 dy^2).
        centre = 0.5 * B6 / A;
        k0 = 4.0 * A * R2;
        k1 = 16.0 * S * S;
        half = 0.5 / A;
    }
    bool in(int dx, int dy) const { return rd__ellipse_inside((float)dx, (float)dy, a, b, ru, rv); }
    double f(int x, double dy, double cdy) const { return (A * x - B6 * dy) * x + cdy; }
    // How far (in f) row dy's columns stay outside; more than `margin` makes
    // the row certainly empty. f is convex in x, so the two columns around
    // its vertex are the ones to check.
    double emptyMargin(int dy) const {
        const double cdy = C * dy * dy - R2;
        const int p = rd__floor(std::clamp(centre * dy, (double)-rho, (double)rho));
        const double m = f(p, dy, cdy);
        return p == rho ? m : std::min(m, f(p + 1, dy, cdy));
    }
    // How far (in f) the ends of [x0, x1] (x0 <= x1) stay inside and their
    // outer neighbours outside; more than `margin` makes it certainly row
    // dy's run.
    double runMargin(int x0, int x1, int dy) const {
        const double cdy = C * dy * dy - R2;
        double m = std::min(-f(x0, dy, cdy), -f(x1, dy, cdy));
        if (x0 > -rho)
            m = std::min(m, f(x0 - 1, dy, cdy));
        if (x1 < rho)
            m = std::min(m, f(x1 + 1, dy, cdy));
        return m;
    }
};

// Writes the run [x0, x1] (empty: x0 > x1) of row dy >= 0 of the ellipse and
// returns how far (in f) its cells keep from the boundary: 0 when some are
// so close that the single-precision test settled them.
static double rd__rowRun(const rd__ellipse_s& e, int dy, int* x0, int* x1) {
    const int rho = e.rho;
    int lo = 1, hi = 0;
    *x0 = 1;
    *x1 = 0;
    if (!e.plain) {
        // No tangent, or a broken one: whatever the test says, first to last.
        for (int dx = -rho; dx <= rho; dx++)
            if (e.in(dx, dy)) {
                if (lo > hi)
                    lo = dx;
                hi = dx;
            }
        *x0 = lo;
        *x1 = hi;
        return 0.0;
    }
    const double c = e.centre * dy;
    const double disc = e.k0 - e.k1 * dy * dy;
    if (disc > 0.0) {
        const double h = std::sqrt(disc) * e.half;
        // Clamped in double: a tiny tangent makes h huge.
        lo = rd__floor(std::max(c - h, -rho - 1.0)) + 1;
        hi = -rd__floor(std::max(-(c + h), -rho - 1.0)) - 1;
    }
    if (lo > hi) {
        const double m = e.emptyMargin(dy);
        if (m > e.margin)
            return m;
        // Within rounding of the boundary: the columns around the vertex may
        // still pass the single-precision test.
        const int p = rd__floor(std::clamp(c, (double)-rho, (double)rho));
        if (e.in(p, dy))
            lo = hi = p;
        else if (p < rho && e.in(p + 1, dy))
            lo = hi = p + 1;
        else
            return 0.0;
    } else {
        const double m = e.runMargin(lo, hi, dy);
        if (m > e.margin) {
            *x0 = lo;
            *x1 = hi;
            return m;
        }
    }
    while (lo > -rho && e.in(lo - 1, dy))
        lo--;
    while (lo <= hi && !e.in(lo, dy))
        lo++;
    while (hi < rho && e.in(hi + 1, dy))
        hi++;
    while (hi >= lo && !e.in(hi, dy))
        hi--;
    *x0 = lo;
    *x1 = hi;
    return 0.0;
}

// Writes the shape of the ellipse (radius 1..RD__RUNS_MAX_RADIUS) to out
// (RD__SHAPE_MAX bytes) and returns its size. The test is point symmetric bit
// for bit (negating both offsets negates u and v exactly), so row -dy is row
// dy mirrored.
static size_t rd__shapeBuild(const rd__ellipse_s& e, int8_t* out) {
    int x0[RD__RUNS_MAX_RADIUS + 1], x1[RD__RUNS_MAX_RADIUS + 1];
    int reach = 0;
    for (int dy = 0; dy <= e.rho; dy++) {
        rd__rowRun(e, dy, &x0[dy], &x1[dy]);
        if (x0[dy] <= x1[dy])
            reach = dy;
    }
    const int rows = reach + 1 + (reach & 1);
    const size_t size = rd__shapeBytes(rows);
    std::memset(out, 0, size);
    out[0] = (int8_t)reach;
    out[1] = (int8_t)(uint8_t)rows;
    int8_t* run = out + RD__SHAPE_HEADER;
    for (int dy = 0; dy <= reach; dy++)
        if (x0[dy] <= x1[dy]) {
            run[4 * dy] = (int8_t)x0[dy];
            run[4 * dy + 1] = (int8_t)(x1[dy] + 1);
            run[4 * dy + 2] = (int8_t)-x1[dy];
            run[4 * dy + 3] = (int8_t)(1 - x0[dy]);
        }
    return size;
}

// Distinct shapes, each stored once; sizes are multiples of 8.
struct rd__shapeTable {
    std::vector<int8_t> bytes;
    std::vector<uint32_t> slots; // offset + 1, or 0 when free
    unsigned long count = 0;

    static uint64_t hash(const int8_t* shape, size_t size) {
        uint64_t h = 0x243F6A8885A308D3ull;
        for (size_t i = 0; i < size; i += 8) {
            uint64_t w;
            std::memcpy(&w, shape + i, 8);
            h = (h ^ w) * 0x9E3779B97F4A7C15ull;
            h ^= h >> 29;
        }
        return h;
    }

    void grow() {
        std::vector<uint32_t> old(slots.size() < 1024 ? 1024 : slots.size() * 2, 0u);
        old.swap(slots);
        const size_t mask = slots.size() - 1;
        for (uint32_t s : old) {
            if (!s)
                continue;
            const int8_t* shape = bytes.data() + (s - 1);
            size_t i = hash(shape, rd__shapeSize(shape)) & mask;
            while (slots[i])
                i = (i + 1) & mask;
            slots[i] = s;
        }
    }

    // Returns the offset of the shape, adding it when new.
    uint32_t intern(const int8_t* shape, size_t size) {
        if ((count + 1) * 2 > slots.size())
            grow();
        const size_t mask = slots.size() - 1;
        size_t i = hash(shape, size) & mask;
        for (; slots[i]; i = (i + 1) & mask) {
            const int8_t* other = bytes.data() + (slots[i] - 1);
            if (rd__shapeSize(other) == size && std::memcmp(other, shape, size) == 0)
                return slots[i] - 1;
        }
        // Unit tangents give a few megabytes of shapes at most; tangents of
        // any length could give one per cell.
        if (bytes.size() + size > RD__SHAPE_BUDGET)
            throw std::bad_alloc();
        const uint32_t offset = (uint32_t)bytes.size();
        bytes.insert(bytes.end(), shape, shape + size);
        slots[i] = offset + 1;
        count++;
        return offset;
    }
};

// ---- Set-up ------------------------------------------------------------------

// Tangents this close to unit length count as unit: the direction index
// serves only those (its slack allows for the difference).
static bool rd__unit(float a, float b) {
    return std::fabs((double)a * a + (double)b * b - 1.0) <= 1e-6;
}

// A tangent's direction modulo a half turn as a diamond angle in [0, 2]:
// monotonic in the true angle and cheap. Opposite tangents cover the same
// cells bit for bit, so they share a direction.
static double rd__direction(double x, double y) {
    if (y < 0.0 || (y == 0.0 && x < 0.0)) {
        x = -x;
        y = -y;
    }
    return x >= 0.0 ? y / (x + y) : 1.0 - x / (y - x);
}

// The directions at which some cell of an ellipse of radius rho may change
// sides, so that between two of them every unit tangent gives the same
// shape. With t = (a, b) = (cos th, sin th) and a cell at distance d and
// angle ph, u^2 + v^2 = (d / rho)^2 (1 + 3 sin^2(ph - th)): the cell is inside
// while sin^2(ph - th) < ((rho / d)^2 - 1) / 3. Around each such crossing lies
// a window of directions in which u^2 + v^2 stays within `slack` of 1, where
// single-precision rounding and the tangent's length may decide either way;
// outside every window the test's answer is the exact one.
struct rd__directions_s {
    std::vector<double> lo, hi; // disjoint windows, ascending
    std::vector<uint32_t> gap;  // shape of the directions below window k (k = m: above the last)
    std::vector<uint32_t> from; // per bucket of the range [0, 2]: the first window it may hold
    double per_bucket = 0.0;

    explicit rd__directions_s(int rho) {
        // Single-precision rounding (1e-5) and the tangents' lengths (1e-6).
        const double slack = 1.5e-5;
        const double pi = 3.14159265358979323846;
        std::vector<std::pair<double, double>> windows;
        // A window of angles th in [t0, t1] (t0 <= t1, both in [-2 pi, 2 pi),
        // less than a half turn apart), wrapped into [0, pi).
        auto push = [&](double t0, double t1) {
            while (t0 < 0.0) {
                t0 += pi;
                t1 += pi;
            }
            while (t0 >= pi) {
                t0 -= pi;
                t1 -= pi;
            }
            auto diamond = [](double t) { return rd__direction(std::cos(t), std::sin(t)); };
            if (t1 < pi) {
                windows.push_back({diamond(t0), diamond(t1)});
            } else {
                windows.push_back({diamond(t0), 2.0});
                windows.push_back({0.0, diamond(std::min(t1 - pi, pi))});
            }
        };
        for (int dy = 0; dy <= rho; dy++)
            for (int dx = -rho; dx <= rho; dx++) {
                // One of each pair of opposite cells: they change sides together.
                if (dy == 0 && dx <= 0)
                    continue;
                const double q = (double)rho * rho / ((double)dx * dx + (double)dy * dy);
                const double t_in = ((1.0 - slack) * q - 1.0) / 3.0;
                const double t_out = ((1.0 + slack) * q - 1.0) / 3.0;
                if (t_out <= 0.0 || t_in >= 1.0)
                    continue; // outside, or inside, whatever the direction
                const double p0 = std::asin(std::sqrt(std::max(t_in, 0.0)));
                const double p1 = std::asin(std::sqrt(std::min(t_out, 1.0)));
                const double ph = std::atan2((double)dy, (double)dx);
                // Small rounding margins on the angles themselves.
                push(ph + p0 - 1e-9, ph + p1 + 1e-9);
                push(ph - p1 - 1e-9, ph - p0 + 1e-9);
            }
        std::sort(windows.begin(), windows.end());
        for (const auto& w : windows) {
            if (!lo.empty() && w.first <= hi.back()) {
                hi.back() = std::max(hi.back(), w.second);
                continue;
            }
            lo.push_back(w.first);
            hi.push_back(w.second);
        }
        gap.assign(lo.size() + 1, RD__RUNS_SCAN);
        const size_t buckets = 4 * lo.size() + 1;
        per_bucket = (double)buckets / 2.0;
        from.resize(buckets + 1);
        size_t k = 0;
        for (size_t j = 0; j <= buckets; j++) {
            const double start = (double)j / per_bucket;
            while (k < hi.size() && hi[k] < start)
                k++;
            from[j] = (uint32_t)k;
        }
    }

    // Returns the slot for the shape of unit tangent (a, b): the gap its
    // direction lies in (the directions above the last window wrap round to
    // the first gap), or null inside a window.
    uint32_t* slot(float a, float b) {
        const double d = rd__direction(a, b);
        size_t k = from[std::min((size_t)(d * per_bucket), from.size() - 1)];
        while (k < hi.size() && hi[k] < d)
            k++;
        if (k < lo.size() && lo[k] <= d)
            return nullptr;
        return &gap[k == lo.size() ? 0 : k];
    }
};

// The shapes of one radius: those of the small ellipses of cells with r =
// rho and of the large ones of cells with 2r = rho. Radii are set up apart
// (each shape is made by one of them only) and merged afterwards.
struct rd__radius_s {
    int rho;
    rd__shapeTable table;
    bool failed = false;
};

struct rd__setup_s {
    const reaction_diffusion2<float>* solver;
    rd__runs_s* runs;
    // Per cell while setting up: the small ellipse's offset (in runs->cells,
    // until the pairs replace it) and the large one's, each in its radius'
    // own table.
    std::vector<uint32_t> large;
    // Per radius: where its table's shapes went in the whole table.
    std::vector<uint32_t> moved[RD__RUNS_MAX_RADIUS + 1];
    std::vector<rd__radius_s> radii; // the most work first
    std::atomic<int> next{0};        // the next radius a task takes
    // Cell indices grouped by radius r, in raster order: cells[first[r]] ..
    // cells[first[r + 1] - 1].
    std::vector<uint32_t> cells;
    int first[RD__RUNS_MAX_RADIUS / 2 + 2];
};

// Lays out the shapes of one radius and writes them (as offsets into the
// radius' own table) to the cells.
static void rd__setupRadius(rd__setup_s* setup, rd__radius_s& item) {
    const reaction_diffusion2<float>* s = setup->solver;
    rd__runs_s* runs = setup->runs;
    const int rho = item.rho;
    const float* tangent_x = s->complex->tangent_x;
    const float* tangent_y = s->complex->tangent_y;
    int8_t shape[RD__SHAPE_MAX];
    rd__directions_s index(rho);
    auto build = [&](float a, float b) {
        const size_t size = rd__shapeBuild(rd__ellipse_s(rho, a, b), shape);
        return item.table.intern(shape, size);
    };
    // The last tangent and its shape: flat regions repeat the tangent exactly.
    uint32_t memo = RD__RUNS_SCAN;
    float last_a = 0.0f, last_b = 0.0f;
    auto lookup = [&](float a, float b) {
        if (memo != RD__RUNS_SCAN && std::memcmp(&last_a, &a, 4) == 0 &&
            std::memcmp(&last_b, &b, 4) == 0)
            return memo;
        last_a = a;
        last_b = b;
        uint32_t* slot = rd__unit(a, b) ? index.slot(a, b) : nullptr;
        if (!slot)
            memo = build(a, b);
        else if (*slot != RD__RUNS_SCAN)
            memo = *slot;
        else
            memo = *slot = build(a, b);
        return memo;
    };
    // Small ellipses of radius rho, then large ones.
    for (int large = 0; large < 2; large++) {
        const int r = large ? rho / 2 : rho;
        if ((large && rho % 2) || r > RD__RUNS_MAX_RADIUS / 2)
            continue;
        std::vector<uint32_t>& out = large ? setup->large : runs->cells;
        const int end = setup->first[r + 1];
        for (int k = setup->first[r]; k < end; k++) {
            // A radius' cells are scattered over the grid: fetch ahead.
            if (k + 16 < end) {
                const uint32_t ahead = setup->cells[(size_t)k + 16];
                __builtin_prefetch(tangent_x + ahead);
                __builtin_prefetch(tangent_y + ahead);
                __builtin_prefetch(out.data() + ahead, 1);
            }
            const uint32_t i = setup->cells[(size_t)k];
            out[i] = lookup(tangent_x[i], tangent_y[i]);
        }
    }
}

static void rd__setupTask(void* data, int, int, int, int, int, int, int, int, int, int) {
    auto* setup = (rd__setup_s*)data;
    for (int k; (k = setup->next.fetch_add(1)) < (int)setup->radii.size();) {
        rd__radius_s& item = setup->radii[(size_t)k];
        try {
            rd__setupRadius(setup, item);
        } catch (const std::bad_alloc&) {
            item.failed = true;
        }
    }
}

// Groups the cells by radius; cells whose large ellipse is too big for a
// shape are marked to be scanned.
static void rd__groupCells(rd__setup_s* setup) {
    const reaction_diffusion2<float>* s = setup->solver;
    rd__runs_s* runs = setup->runs;
    const int top = RD__RUNS_MAX_RADIUS / 2;
    const size_t n = runs->cells.size();
    std::vector<uint8_t> radius(n);
    int count[RD__RUNS_MAX_RADIUS / 2 + 2] = {};
    for (size_t i = 0; i < n; i++) {
        const int r = s->cell_radius((int)i);
        radius[i] = (uint8_t)(r > top ? top + 1 : r);
        count[radius[i]]++;
    }
    setup->first[0] = 0;
    for (int r = 0; r <= top; r++)
        setup->first[r + 1] = setup->first[r] + count[r];
    setup->cells.resize((size_t)setup->first[top + 1]);
    int at[RD__RUNS_MAX_RADIUS / 2 + 1];
    std::copy(setup->first, setup->first + top + 1, at);
    runs->scanned = 0;
    for (size_t i = 0; i < n; i++) {
        if (radius[i] > top) {
            runs->cells[i] = RD__PAIR_SCAN;
            runs->scanned++;
        } else {
            setup->cells[(size_t)at[radius[i]]++] = (uint32_t)i;
        }
    }
}

// Moves the radii's shapes into one table; setup->moved[rho] then maps an
// offset in the table of radius rho, over 8, to the offset in the whole one.
static void rd__mergeRadii(rd__setup_s* setup) {
    rd__runs_s* runs = setup->runs;
    rd__shapeTable all;
    int reach = 0;
    for (rd__radius_s& item : setup->radii) {
        const std::vector<int8_t>& bytes = item.table.bytes;
        std::vector<uint32_t>& moved = setup->moved[(size_t)item.rho];
        moved.assign(bytes.size() / 8, 0u);
        for (size_t o = 0; o < bytes.size(); o += rd__shapeSize(bytes.data() + o)) {
            const int8_t* shape = bytes.data() + o;
            moved[o / 8] = all.intern(shape, rd__shapeSize(shape));
            // Mirrored rows reach as far as their originals.
            reach = std::max(reach, (int)shape[0]);
            const int rows = (uint8_t)shape[1];
            const int8_t* run = shape + RD__SHAPE_HEADER;
            for (int k = 0; k < rows; k++)
                reach = std::max({reach, -(int)run[4 * k], run[4 * k + 1] - 1});
        }
        std::vector<int8_t>().swap(item.table.bytes);
        std::vector<uint32_t>().swap(item.table.slots);
    }
    runs->reach = reach;
    runs->shape_count = all.count;
    runs->shapes.swap(all.bytes);
}

// The pairs of the cells of one radius, numbered from 0 within it.
struct rd__pairTable {
    std::vector<uint64_t> keys; // small << 32 | large, + 1; 0 when free
    std::vector<uint32_t> ids;
    std::vector<uint32_t> pairs; // small, large per pair

    uint32_t intern(uint32_t small, uint32_t large) {
        const uint64_t key = ((uint64_t)small << 32 | large) + 1;
        if ((pairs.size() / 2 + 1) * 2 > keys.size()) {
            std::vector<uint64_t> old(keys.size() < 256 ? 256 : keys.size() * 2, 0u);
            old.swap(keys);
            ids.assign(keys.size(), 0u);
            for (size_t p = 0; p < pairs.size(); p += 2)
                place(((uint64_t)pairs[p] << 32 | pairs[p + 1]) + 1, (uint32_t)(p / 2));
        }
        const size_t mask = keys.size() - 1;
        size_t i = hash(key) & mask;
        for (; keys[i]; i = (i + 1) & mask)
            if (keys[i] == key)
                return ids[i];
        const uint32_t id = (uint32_t)(pairs.size() / 2);
        keys[i] = key;
        ids[i] = id;
        pairs.push_back(small);
        pairs.push_back(large);
        return id;
    }

    static uint64_t hash(uint64_t key) {
        key *= 0x9E3779B97F4A7C15ull;
        return key ^ key >> 32;
    }

    void place(uint64_t key, uint32_t id) {
        const size_t mask = keys.size() - 1;
        size_t i = hash(key) & mask;
        while (keys[i])
            i = (i + 1) & mask;
        keys[i] = key;
        ids[i] = id;
    }
};

struct rd__pairing_s {
    rd__setup_s* setup;
    std::vector<rd__pairTable> tables; // per radius
    std::vector<uint32_t> base;        // per radius: its first pair's number
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
};

// Gives each cell of radius r (1..top) the number of its pair within r, the
// pair holding the ellipses' offsets in the whole table.
static void rd__pairRadius(rd__pairing_s* job, int r) {
    rd__setup_s* setup = job->setup;
    std::vector<uint32_t>& cells = setup->runs->cells;
    rd__pairTable& table = job->tables[(size_t)r];
    const uint32_t* small_moved = setup->moved[(size_t)r].data();
    const uint32_t* large_moved = setup->moved[(size_t)(2 * r)].data();
    // Neighbouring cells of a radius often share both ellipses.
    uint32_t last_small = RD__RUNS_SCAN, last_large = RD__RUNS_SCAN, last = 0;
    for (int k = setup->first[r]; k < setup->first[r + 1]; k++) {
        const uint32_t i = setup->cells[(size_t)k];
        const uint32_t small = cells[i], large = setup->large[i];
        if (small != last_small || large != last_large) {
            last = table.intern(small_moved[small / 8], large_moved[large / 8]);
            last_small = small;
            last_large = large;
        }
        cells[i] = last;
    }
}

static void rd__pairTask(void* data, int, int, int, int, int, int, int, int, int, int) {
    auto* job = (rd__pairing_s*)data;
    for (int r; (r = job->next.fetch_add(1)) < (int)job->tables.size();) {
        try {
            rd__pairRadius(job, r);
        } catch (const std::bad_alloc&) {
            job->failed.store(true);
        }
    }
}

// Renumbers the cells of radius r by the pairs before theirs.
static void rd__renumberTask(void* data, int, int, int r, int, int, int, int, int, int, int) {
    auto* job = (rd__pairing_s*)data;
    rd__setup_s* setup = job->setup;
    std::vector<uint32_t>& cells = setup->runs->cells;
    const uint32_t base = job->base[(size_t)r];
    for (int k = setup->first[r]; k < setup->first[r + 1]; k++)
        cells[setup->cells[(size_t)k]] += base;
}

// Replaces the cells' two offsets with one pair number each; the radii are
// paired side by side on the pool.
static void rd__pairCells(rd__setup_s* setup) {
    rd__runs_s* runs = setup->runs;
    rd__pairing_s job;
    job.setup = setup;
    const int radii = RD__RUNS_MAX_RADIUS / 2 + 1;
    job.tables.resize((size_t)radii);
    void* handle = nullptr;
    rd_task_fn task = rd__pairTask;
    ISPCLaunch(&handle, (void*)task, &job, (int)rd_dispatch_thread_count(), 1, 1);
    ISPCSync(handle);
    if (job.failed.load())
        throw std::bad_alloc();
    size_t count = 1; // RD__PAIR_SCAN
    job.base.resize((size_t)radii);
    for (int r = 0; r < radii; r++) {
        job.base[(size_t)r] = (uint32_t)count;
        count += job.tables[(size_t)r].pairs.size() / 2;
    }
    // Offsets in shapes are 32-bit, and so the pair numbers, which are fewer.
    runs->pairs.reserve(2 * count);
    runs->pairs.assign(2, RD__RUNS_SCAN);
    for (rd__pairTable& table : job.tables) {
        runs->pairs.insert(runs->pairs.end(), table.pairs.begin(), table.pairs.end());
        rd__pairTable().keys.swap(table.keys);
        std::vector<uint32_t>().swap(table.ids);
        std::vector<uint32_t>().swap(table.pairs);
    }
    handle = nullptr;
    task = rd__renumberTask;
    ISPCLaunch(&handle, (void*)task, &job, radii, 1, 1);
    ISPCSync(handle);
}

rd__runs_s* rd__runs_create(const reaction_diffusion2<float>* solver) {
    SW_ASSERT(solver && solver->complex, "ellipse runs need the solver's tangents");
    rd__runs_s* runs = nullptr;
    try {
        runs = new rd__runs_s();
        runs->width = solver->width;
        runs->height = solver->height;
        const size_t n = (size_t)solver->width * (size_t)solver->height;
        runs->cells.resize(n);

        rd__setup_s setup;
        setup.solver = solver;
        setup.runs = runs;
        setup.large.resize(n);
        rd__groupCells(&setup);
        // Each radius is one piece of work: its cells, and its shapes, which
        // grow with its square; big pieces go first.
        std::vector<std::pair<double, int>> work;
        for (int rho = 1; rho <= RD__RUNS_MAX_RADIUS; rho++) {
            double cells = 0.0;
            if (rho <= RD__RUNS_MAX_RADIUS / 2)
                cells += setup.first[rho + 1] - setup.first[rho];
            if (rho % 2 == 0)
                cells += setup.first[rho / 2 + 1] - setup.first[rho / 2];
            if (cells > 0.0)
                work.push_back({-(cells + 40.0 * rho * rho), rho});
        }
        std::sort(work.begin(), work.end());
        setup.radii.resize(work.size());
        for (size_t k = 0; k < work.size(); k++)
            setup.radii[k].rho = work[k].second;
        void* handle = nullptr;
        rd_task_fn task = rd__setupTask;
        ISPCLaunch(&handle, (void*)task, &setup, (int)rd_dispatch_thread_count(), 1, 1);
        ISPCSync(handle);
        for (const rd__radius_s& item : setup.radii)
            if (item.failed)
                throw std::bad_alloc();
        rd__mergeRadii(&setup);
        rd__pairCells(&setup);
        std::vector<uint32_t>().swap(setup.large);

        const int64_t stride = (int64_t)runs->width + 2 * (int64_t)runs->reach + 1;
        // Prefix entries are addressed with 32-bit offsets.
        if (stride * ((int64_t)runs->height + 2 * runs->reach + 2) >= INT32_MAX)
            throw std::bad_alloc();
        runs->stride = (int32_t)stride;
        runs->prefix = static_cast<double*>(
            gr_memory_alloc(sizeof(double) * (size_t)stride * (size_t)rd__prefixRows(runs)));
        if (!runs->prefix)
            throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
        delete runs;
        return nullptr;
    }
    return runs;
}

void rd__runs_destroy(rd__runs_s* runs) {
    delete runs;
}

unsigned long rd__runs_bytes(const rd__runs_s* runs) {
    return (unsigned long)(runs->shapes.size() + 4 * runs->cells.size() + 4 * runs->pairs.size() +
                           8 * (size_t)runs->stride * (size_t)rd__prefixRows(runs));
}

unsigned long rd__runs_shapes(const rd__runs_s* runs) {
    return runs->shape_count;
}

unsigned long rd__runs_scanned(const rd__runs_s* runs) {
    return runs->scanned;
}

// ---- Row prefix sums ---------------------------------------------------------

struct rd__rowsJob_s {
    rd__runs_s* runs;
    const float* field;
    int bands;
};

static void rd__sumRowsTask(void* data, int, int, int task, int, int, int, int, int, int, int) {
    auto* job = (rd__rowsJob_s*)data;
    rd__runs_s* runs = job->runs;
    const int W = runs->width, H = runs->height, M = runs->reach, pad = rd__prefixPad(runs);
    const int rows = rd__prefixRows(runs);
    const int j0 = (int)((int64_t)rows * task / job->bands);
    const int j1 = (int)((int64_t)rows * (task + 1) / job->bands);
    // Column of entry 0: -M wrapped, as often as a narrow grid needs.
    const int c0 = ((-M) % W + W) % W;
    const int n = W + 2 * M;
    for (int j = j0; j < j1; j++) {
        const int q = ((j - pad) % H + H) % H;
        const float* row = job->field + (size_t)q * (size_t)W;
        double* p = runs->prefix + (size_t)j * (size_t)runs->stride;
        double sum = 0.0;
        p[0] = 0.0;
        for (int k = 0, c = c0; k < n; k++) {
            sum += (double)row[c];
            p[k + 1] = sum;
            if (++c == W)
                c = 0;
        }
    }
}

void rd__runs_sum_rows(rd__runs_s* runs, const float* field) {
    rd__rowsJob_s job{runs, field, std::min(rd__prefixRows(runs), 64)};
    void* handle = nullptr;
    rd_task_fn task = rd__sumRowsTask;
    ISPCLaunch(&handle, (void*)task, &job, job.bands, 1, 1);
    ISPCSync(handle);
}

// ---- Sums ----------------------------------------------------------------------

// The prefix entry of column 0 of grid row y (0 <= y < height); row dy of
// the same column lies dy strides further on.
static RD__INLINE const double* rd__rowCentre(const rd__runs_s* runs, int y) {
    return runs->prefix + ((size_t)y + (size_t)rd__prefixPad(runs)) * (size_t)runs->stride +
           (size_t)runs->reach;
}

// N doubles, one per cell: N neighbouring cells that share a shape read
// N neighbouring entries of each prefix row at once.
// (Spelled out per width: the compiler drops a vector_size attribute that
// depends on a template argument of an alias.)
template <int N> struct rd__vecOf { typedef double type; };
template <> struct rd__vecOf<2> { typedef double type __attribute__((vector_size(16))); };
template <> struct rd__vecOf<4> { typedef double type __attribute__((vector_size(32))); };
template <int N> using rd__vec = typename rd__vecOf<N>::type;
static_assert(sizeof(rd__vec<4>) == 32, "four doubles");

// The vector helpers are always inlined, so no vector crosses a call and the
// warning about AVX argument passing does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

// Entries e - s of N neighbouring columns of one prefix row.
template <int N> static RD__INLINE rd__vec<N> rd__run(const double* row, ptrdiff_t s, ptrdiff_t e) {
    rd__vec<N> end, start;
    std::memcpy(&end, row + e, sizeof end);
    std::memcpy(&start, row + s, sizeof start);
    return end - start;
}

// Writes the sums of one shape centred on the N columns x..x+N-1 of the row
// whose column 0 prefix entry is centre. Rows are summed in RD__LANES lanes:
// the centre row starts lane 0, then pairs of stored rows k, k + 1 add row
// +k to lane 0, -k to lane 1, +(k + 1) to lane 2 and -(k + 1) to lane 3; the
// lanes end as (lane 0 + lane 1) + (lane 2 + lane 3). Every cell adds in this
// order whichever path sums it, so all paths give the same bits. Lanes are
// kept per vector of at most four cells, which the compiler holds in
// registers.
template <int N>
static RD__INLINE void rd__shapeSums(const int8_t* shape, const double* centre, size_t stride,
                                     int x, double* sums) {
    static_assert(RD__LANES == 4, "four lanes");
    // Eight cells are two vectors of four side by side, each summed alike.
    constexpr int V = N < 4 ? N : 4, P = N / V;
    typedef rd__vec<V> vec;
    const int rows = (uint8_t)shape[1];
    const int8_t* run = shape + RD__SHAPE_HEADER;
    const double* c = centre + x;
    vec l0[P], l1[P] = {}, l2[P] = {}, l3[P] = {};
    for (int p = 0; p < P; p++)
        l0[p] = rd__run<V>(c + V * p, run[0], run[1]);
    const double* below = c;
    const double* above = c;
    for (int k = 1; k < rows; k += 2) {
        const int8_t* q = run + 4 * k;
        below += stride;
        above -= stride;
        for (int p = 0; p < P; p++) {
            l0[p] += rd__run<V>(below + V * p, q[0], q[1]);
            l1[p] += rd__run<V>(above + V * p, q[2], q[3]);
        }
        below += stride;
        above -= stride;
        for (int p = 0; p < P; p++) {
            l2[p] += rd__run<V>(below + V * p, q[4], q[5]);
            l3[p] += rd__run<V>(above + V * p, q[6], q[7]);
        }
    }
    for (int p = 0; p < P; p++) {
        const vec all = (l0[p] + l1[p]) + (l2[p] + l3[p]);
        std::memcpy(sums + V * p, &all, sizeof all);
    }
}

// Writes the sums of shapes ids[0..n) centred on columns x..x+n-1; cells
// that are scanned get nothing. Neighbours sharing a shape go together.
static RD__INLINE void rd__rowSums(const int8_t* shapes, const uint32_t* ids, int n,
                                   const double* centre, size_t stride, int x, double* sums) {
    int j = 0;
    while (j < n) {
        const uint32_t id = ids[j];
        int same = 1;
        while (same < 8 && j + same < n && ids[j + same] == id)
            same++;
        if (id == RD__RUNS_SCAN) {
            j += same;
            continue;
        }
        const int8_t* shape = shapes + id;
        // The shape table outgrows the caches; fetch the next cells' early.
        if (j + 4 < n && ids[j + 4] != RD__RUNS_SCAN)
            __builtin_prefetch(shapes + ids[j + 4]);
        if (same == 8) {
            rd__shapeSums<8>(shape, centre, stride, x + j, sums + j);
        } else if (same >= 4) {
            same = 4;
            rd__shapeSums<4>(shape, centre, stride, x + j, sums + j);
        } else if (same >= 2) {
            same = 2;
            rd__shapeSums<2>(shape, centre, stride, x + j, sums + j);
        } else {
            rd__shapeSums<1>(shape, centre, stride, x + j, sums + j);
        }
        j += same;
    }
}

// ---- Update --------------------------------------------------------------------

// Cells per row piece: the sums of a piece wait in buffers of this size.
static constexpr int RD__PIECE = 64;

static RD__INLINE void rd__updateBody(const rd__runs_s* runs, reaction_diffusion2<float>* s, int x0,
                                      int y0, int x1, int y1) {
    const size_t stride = (size_t)runs->stride;
    const int8_t* shapes = runs->shapes.data();
    const uint32_t* pairs = runs->pairs.data();
    const float* cur = s->cur;
    float* next = s->next;
    const float step = s->step;
    double s1[RD__PIECE], s2[RD__PIECE];
    uint32_t small[RD__PIECE], large[RD__PIECE];
    for (int y = y0; y < y1; y++) {
        const double* centre = rd__rowCentre(runs, y);
        for (int xa = x0; xa < x1; xa += RD__PIECE) {
            const int n = std::min(RD__PIECE, x1 - xa);
            const size_t i0 = (size_t)y * (size_t)runs->width + (size_t)xa;
            const uint32_t* cells = runs->cells.data() + i0;
            for (int j = 0; j < n; j++) {
                // Both offsets in one load.
                uint64_t pair;
                std::memcpy(&pair, pairs + 2 * (size_t)cells[j], sizeof pair);
                small[j] = (uint32_t)pair;
                large[j] = (uint32_t)(pair >> 32);
            }
            rd__rowSums(shapes, small, n, centre, stride, xa, s1);
            rd__rowSums(shapes, large, n, centre, stride, xa, s2);
            for (int j = 0; j < n; j++) {
                const size_t i = i0 + (size_t)j;
                bool grows;
                if (small[j] == RD__RUNS_SCAN) {
                    float a = 0.0f, b = 0.0f, lmin = 0.0f, lmaj = 0.0f;
                    gr_complex_tensor(s->complex, xa + j, y, &a, &b, &lmin, &lmaj);
                    grows = s->cell_grows(xa + j, y, s->cell_radius((int)i), a, b);
                } else {
                    // Equal sums and not-a-number comparisons move the cell down.
                    grows = s2[j] < s1[j];
                }
                next[i] = grows ? cur[i] + step : cur[i] - step;
            }
        }
    }
}

static void rd__updatePortable(const rd__runs_s* runs, reaction_diffusion2<float>* s, int x0,
                               int y0, int x1, int y1) {
    rd__updateBody(runs, s, x0, y0, x1, y1);
}

// The same body for processors with AVX2: shared shapes read four cells per
// instruction instead of two.
__attribute__((target("avx2"))) static void rd__updateAvx2(const rd__runs_s* runs,
                                                           reaction_diffusion2<float>* s, int x0,
                                                           int y0, int x1, int y1) {
    rd__updateBody(runs, s, x0, y0, x1, y1);
}

static bool rd__hasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

static bool s_simd = rd__hasAvx2();

bool rd__runs_use_simd(bool on) {
    s_simd = on && rd__hasAvx2();
    return s_simd;
}

void rd__runs_update(const rd__runs_s* runs, reaction_diffusion2<float>* solver, int x0, int y0,
                     int x1, int y1) {
    if (s_simd)
        rd__updateAvx2(runs, solver, x0, y0, x1, y1);
    else
        rd__updatePortable(runs, solver, x0, y0, x1, y1);
}

bool rd__runs_cell_sums(const rd__runs_s* runs, int x, int y, double* small, double* large) {
    const uint32_t pair = runs->cells[(size_t)y * (size_t)runs->width + (size_t)x];
    if (pair == RD__PAIR_SCAN)
        return false;
    const double* centre = rd__rowCentre(runs, y);
    const size_t stride = (size_t)runs->stride;
    const uint32_t* offsets = runs->pairs.data() + 2 * (size_t)pair;
    rd__shapeSums<1>(runs->shapes.data() + offsets[0], centre, stride, x, small);
    rd__shapeSums<1>(runs->shapes.data() + offsets[1], centre, stride, x, large);
    return true;
}
