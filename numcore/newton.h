// The Newton iterations of the fits (mfitmle's θ, lrtmfit's m, lrtmfit2's Λ1,
// Λ2 and ρ) share one stopping rule: at most kMaxIterations steps, and
// convergence once every step is small relative to its parameter (or to
// kScaleFloor, for a parameter near 0) and the new values are admissible.
#pragma once

#include <cmath>

namespace newton {

inline constexpr int kMaxIterations = 10000;
inline constexpr double kStepTolerance = 1e-6;
inline constexpr double kScaleFloor = 0.01;

// |step| / max(|value|, kScaleFloor), for the value before the step.
inline double relative_step(double step, double value)
{
    return std::fabs(step) / (std::fabs(value) > kScaleFloor ? std::fabs(value) : kScaleFloor);
}

// What one iteration ends in.
enum class Step { kGoOn, kConverged, kStuck };

// Runs iteration() until it converges (true) or gets stuck or runs out of
// iterations (false). A stuck fit (a zero divisor, a parameter that is not a
// number) could not converge in the iterations left, so it ends there.
template <class Iteration>
bool converges(Iteration&& iteration)
{
    for (int i = 1; i <= kMaxIterations; ++i) {
        const Step s = iteration();
        if (s != Step::kGoOn) return s == Step::kConverged;
    }
    return false;
}

} // namespace newton
