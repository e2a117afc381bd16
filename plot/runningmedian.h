#pragma once

#include <vector>

// Median of the finite values (no NaN, no infinity) among values[begin] .. values[end-1]:
// for an even count the upper of the two middle values, no averaging. NaN when
// there is no value. scratch is working space, kept by the caller between calls.
double medianOf(const double *values, int begin, int end, std::vector<double> &scratch);

// The causal running median of ys[0] .. ys[n-1] into out[0] .. out[n-1]: out[0]
// is ys[0]; out[i] is medianOf(ys, max(0, i - window), i), the median of up to
// `window` values before point i, the point itself left out.
//
// A median from scratch for every point costs n * window; this keeps the window
// in an order-statistic tree over the ranks of all values instead, so each step
// adds one value, drops one and finds the middle in log n.
void runningMedian(const double *ys, int n, int window, double *out);
