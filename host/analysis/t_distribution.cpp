#include "host/analysis/t_distribution.h"

#include <boost/math/distributions/non_central_t.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <algorithm>
#include <cmath>
#include <limits>

namespace cohortix::host {
namespace {

namespace bm = boost::math;
using Quiet = bm::policies::policy<
    bm::policies::domain_error<bm::policies::ignore_error>,
    bm::policies::pole_error<bm::policies::ignore_error>,
    bm::policies::overflow_error<bm::policies::ignore_error>,
    bm::policies::underflow_error<bm::policies::ignore_error>,
    bm::policies::evaluation_error<bm::policies::ignore_error>,
    bm::policies::rounding_error<bm::policies::ignore_error>,
    bm::policies::indeterminate_result_error<bm::policies::ignore_error>,
    bm::policies::promote_double<false>>;
using StudentsT = bm::students_t_distribution<double, Quiet>;
using NoncentralT = bm::non_central_t_distribution<double, Quiet>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool usableDf(double df) { return std::isfinite(df) && df > 0.0; }

// P(T >= x) for x >= 0, exact in the far tail where 1 - cdf would round to 0.
double upperTail(double x, double df) {
  if (std::isinf(x)) return x > 0 ? 0.0 : 1.0;
  return bm::cdf(bm::complement(StudentsT(df), x));
}

}  // namespace

double tPValue(double t, double df, Tail tail) {
  if (std::isnan(t) || !usableDf(df)) return kNaN;
  if (tail == Tail::Upper) return upperTail(t, df);
  return std::min(1.0, 2.0 * upperTail(std::fabs(t), df));
}

double tCritical(double p, double df, Tail tail) {
  if (!usableDf(df) || !(p > 0.0) || !(p <= 1.0)) return kNaN;
  const double upper = tail == Tail::Two ? p / 2.0 : p;
  return bm::quantile(bm::complement(StudentsT(df), upper));
}

double noncentralTPower(double delta, double df, double alpha, Tail tail) {
  const double critical = tCritical(alpha, df, tail);
  if (std::isnan(critical) || std::isnan(delta)) return kNaN;
  const NoncentralT alternative(df, delta);
  double power = bm::cdf(bm::complement(alternative, critical));
  if (tail == Tail::Two) power += bm::cdf(alternative, -critical);
  return power;
}

}  // namespace cohortix::host
