#pragma once
// The reaction-diffusion solver: one scalar field on a W x H torus that moves
// up where its sum over a small ellipse outweighs the sum over an ellipse twice
// as large, and down elsewhere, then is stretched back to [-1, 1]. A reference
// image steers it: its brightness sets the ellipses' size per cell (small where
// dark, large where bright) and its edge tangent flow orients them.
//
// Thread: update() may run concurrently for disjoint rectangles; everything
// else (randomize, set_reference, finish_iteration, direct writes to cur) must
// run while no update() is in flight.

#include <cstdint>

#include "app/app_log.h"
#include "gr/gr_complex.h"
#include "gr/gr_image.h"

// Side of the square tiles an iteration is split into.
constexpr int RD_SOLVER_TILE = 16;

struct rd__runs_s;

template <typename T> class reaction_diffusion2 {
public:
    int32_t base_radius; // activator radius at full brightness (20)
    float step;          // amount a cell moves per iteration (0.04)
    int32_t width;       // grid size, fixed at construction
    int32_t height;
    T* cur;              // current field, row-major
    T* next;             // field being computed by the running iteration
    T* scale;            // per-cell radius factor: 1, or the reference brightness
    gr_complex* complex; // analysis of the reference image; owned, null until referenced
    rd__runs_s* runs;    // per-cell ellipse runs; owned, null until prepare_runs
    bool summing;        // an iteration began: update() sums through the row prefix sums
    app_log_sink_s log;  // where set_reference reports; standard error at construction

    // Allocates a width x height grid (both >= 1) with scale 1 everywhere and
    // fills it with noise (randomize). Throws std::bad_alloc when out of
    // memory.
    reaction_diffusion2(int width, int height);
    ~reaction_diffusion2();
    reaction_diffusion2(const reaction_diffusion2&) = delete;
    reaction_diffusion2& operator=(const reaction_diffusion2&) = delete;

    // Replaces the field with uniform noise on [-1, 1] from a freshly seeded
    // generator; the scale map and the analysis are kept.
    void randomize();

    // Sets field and scale to the brightness (0..1) of a width x height image
    // and computes its structure tensor (radius 7), logging "SST: %g%%" and the
    // analysis's time to log. The flow passes that finish the analysis are the
    // caller's; of the tensor only the tangents and the gradient magnitude
    // are kept (gr_complex_compute_tangents). The image is read, not changed,
    // and must outlive this call only. Returns false when out of memory; the
    // solver then has no analysis.
    bool set_reference(gr_image_s* image);

    // Works out, for every cell, which columns of each row its two ellipses
    // cover, from scale and the tangents, so that iterations sum rows through
    // running sums instead of scanning the ellipses. Call it once the tangents
    // are final and again whenever scale or the tangents change (set_reference
    // drops the runs). Returns false, leaving iterations to the scan, when out
    // of memory. Thread: while no update() runs; spreads work over the pool.
    bool prepare_runs();

    // Drops the runs: iterations scan each ellipse again.
    // Thread: while no update() runs.
    void release_runs();

    // Frees the analysis once the runs sum every cell (none is left to the
    // scan), as iterations read nothing else of it then; returns whether it
    // did. Until set_reference makes a new one the runs must stay and
    // prepare_runs must not follow. Thread: while no update() runs.
    bool release_analysis();

    // Starts an iteration: with runs prepared, takes the running sums of every
    // row of cur, which update() reads until finish_iteration(). Writes to cur
    // in between are not seen by update(). Thread: while no update() runs.
    void begin_iteration();

    // Computes next for the cells of one rectangle, clipped to the grid (never
    // wrapped); an empty or outside rectangle does nothing. Needs complex with
    // computed tangents, unless release_analysis dropped it for the runs.
    // Between begin_iteration() and finish_iteration() with runs prepared it
    // sums rows through the running sums (cells within rounding of an
    // ellipse's boundary may then fall on either side);
    // otherwise it scans each ellipse cell by cell (calc_disc_sum).
    // Thread: any, for disjoint rectangles at once.
    void update(int x0, int y0, int w, int h);

    // Returns the plain sum of cur over the ellipse centred on cell (x, y) with
    // major semi-axis r along (a, b) and minor semi-axis r / 2; the grid wraps
    // as a torus. (0, 0) sums the whole (2r + 1)^2 square; r < 0 gives 0.
    float calc_disc_sum(int x, int y, int r, float a, float b) const;

    // Returns whether the cell moves up: its sum over the ellipse of radius r
    // outweighs the sum over radius 2r (the ring between them is negative).
    // Scans both ellipses (calc_disc_sum); iterations with runs prepared
    // decide the same from running sums instead.
    bool cell_grows(int x, int y, int r, float a, float b) const;

    // Returns the activator radius of cell i: base_radius * scale, at least 3,
    // truncated.
    int cell_radius(int i) const;

    // Begins an iteration, then runs update over the whole grid on the task
    // runtime and waits for it: in strips of whole rows when the runs sum the
    // ellipses, in RD_SOLVER_TILE tiles when they are scanned.
    // Thread: one caller at a time.
    void update_tiles();

    // Ends the iteration: makes next the current field, then stretches it to
    // [-1, 1] when its range exceeds 0.01; the minimum search starts at 1 and
    // the maximum at -1, so a field wholly above 1 is stretched from 1, not
    // from its own minimum. Large grids are split over the task runtime.
    void finish_iteration();

    // One whole iteration: update_tiles, then finish_iteration.
    void iterate();
};

extern template class reaction_diffusion2<float>;
