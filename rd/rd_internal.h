#pragma once
// Helpers shared inside the reaction-diffusion subsystem, its tests and its
// benchmarks. Not for other folders.

#include <cstddef>
#include <cstdint>

// ---- Random numbers --------------------------------------------------------

// Returns or replaces the process-wide seed behind frand(). Thread: main.
uint32_t rd__frand_seed(void);
void rd__frand_set_seed(uint32_t seed);

// ---- Simulation runner -----------------------------------------------------

typedef struct rd_s rd_s;

// Returns the display pixel for field value v: grey (v + 1) * 127.5 clamped to
// 0..255 (not-a-number gives 255), truncated, opaque.
uint32_t rd__field_grey(float v);

// Writes rd__field_grey of n field values to pixels, several at a time.
void rd__field_to_grey(const float* field, uint32_t* pixels, size_t n);

// Returns true while the worker sleeps (paused or at its iteration limit).
bool rd__runner_idle(const rd_s* rd);

// Returns how many queued edits the worker has not applied yet (each painted
// cell counts one, a randomisation one).
unsigned long rd__runner_pending(rd_s* rd);

// Copies the current field (width * height floats) between iterations.
void rd__runner_copy_field(rd_s* rd, float* out);

// ---- Ellipse runs ----------------------------------------------------------

// Returns whether offset (fx, fy) lies inside the ellipse of major semi-axis r
// along (a, b) and minor semi-axis r / 2, given ru = 1 / r and rv = 1 / (r / 2)
// in single precision: u^2 + v^2 < 1, a not-a-number sum counting as inside.
// The one definition of the test, shared by the scan and the run set-up so
// that both decide every cell alike.
inline bool rd__ellipse_inside(float fx, float fy, float a, float b, float ru, float rv) {
    const float u = (fx * a + fy * b) * ru;
    const float v = (fy * a - fx * b) * rv;
    return !(u * u + v * v >= 1.0f);
}

template <typename T> class reaction_diffusion2;

// Per-cell ellipses of a solver as one run of columns per row, and the row
// prefix sums of its field, so that an ellipse sum costs two reads per row.
// Runs are shared between cells whose ellipses cover the same cells; a cell
// keeps one number, that of its pair of ellipses.
typedef struct rd__runs_s rd__runs_s;

// Largest ellipse radius the runs hold; cells needing more (a scale above 3)
// are scanned.
constexpr int RD__RUNS_MAX_RADIUS = 120;

// Returns the runs of both ellipses (radius r and 2r along the tangent) of
// every cell, from the solver's scale and its analysis' tangents, or null
// when out of memory. Row set-up is spread over the task runtime.
// Owns: caller (rd__runs_destroy).
rd__runs_s* rd__runs_create(const reaction_diffusion2<float>* solver);
void rd__runs_destroy(rd__runs_s* runs);

// Rebuilds the row prefix sums from field (width * height values), spread
// over the task runtime. Thread: no rd__runs_update may be in flight.
void rd__runs_sum_rows(rd__runs_s* runs, const float* field);

// Computes the solver's next for cells [x0, x1) x [y0, y1) (inside the grid)
// from the prefix sums. Thread: any, for disjoint rectangles at once.
void rd__runs_update(const rd__runs_s* runs, reaction_diffusion2<float>* solver, int x0, int y0,
                     int x1, int y1);

// Writes the sums over the small and the large ellipse of cell (x, y) from
// the prefix sums. Returns false for a cell that is scanned instead.
bool rd__runs_cell_sums(const rd__runs_s* runs, int x, int y, double* small, double* large);

// Returns the bytes the runs hold (distinct runs, per-cell references and
// prefix sums), how many distinct ellipses they share, and how many cells
// they leave to the scan.
unsigned long rd__runs_bytes(const rd__runs_s* runs);
unsigned long rd__runs_shapes(const rd__runs_s* runs);
unsigned long rd__runs_scanned(const rd__runs_s* runs);

// Chooses the vector (AVX2) summation when the processor has it (the default)
// or the portable one; both give the same bits. Returns whether the vector
// path is now in use. Thread: while no update runs.
bool rd__runs_use_simd(bool on);

// ---- Simulation view ---------------------------------------------------------

struct uic_s;
struct zoomer_s;

// Returns the zoomer of a simulation view control.
zoomer_s* rd__view_zoomer(uic_s* control);

// Returns the percentage the view shows while preparing: progress x 100
// rounded half away from zero.
int rd__preparing_percent(float progress);
