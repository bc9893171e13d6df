#pragma once
// Tail probabilities and critical values of Student's t, through Boost.Math with a
// policy that answers NaN instead of throwing: a map holds millions of voxels, and
// one degenerate voxel (no spread, no degrees of freedom) must not stop the rest.

namespace cohortix::host {

// Which values of the statistic count as evidence: both signs, or only the
// positive one (activation).
enum class Tail { Two, Upper };

// The probability of a statistic at least as extreme as t under the null, with df
// degrees of freedom (fractional for Welch's test). NaN for df <= 0 or t NaN;
// 0 for an infinite t in the tested direction.
double tPValue(double t, double df, Tail tail);

// The smallest t (or |t|, for Tail::Two) whose p-value is at most p.
double tCritical(double p, double df, Tail tail);

// The probability that a noncentral t with df degrees of freedom and
// noncentrality delta exceeds the critical value of level alpha: the power of a
// t-test whose statistic has that distribution under the alternative.
double noncentralTPower(double delta, double df, double alpha, Tail tail);

}  // namespace cohortix::host
