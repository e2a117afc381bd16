#include "plot/runningmedian.h"

#include <algorithm>
#include <cmath>
#include <numeric>

double medianOf(const double *values, int begin, int end, std::vector<double> &scratch)
{
    scratch.clear();
    for (int i = begin; i < end; ++i) {
        if (std::isfinite(values[i]))
            scratch.push_back(values[i]);
    }
    if (scratch.empty())
        return std::nan("");
    const auto middle = scratch.begin() + std::ptrdiff_t(scratch.size() / 2);
    std::nth_element(scratch.begin(), middle, scratch.end());
    return *middle;
}

namespace {

// A Fenwick tree counting which ranks are in the window; the k-th smallest rank
// present is found by descending the tree.
class RankCounts
{
public:
    explicit RankCounts(int size) : tree(size_t(size) + 1, 0)
    {
        top = 1;
        while (top * 2 <= size)
            top *= 2;
    }
    void add(int rank, int delta)
    {
        for (size_t i = size_t(rank) + 1; i < tree.size(); i += i & (~i + 1))
            tree[i] += delta;
    }
    // Rank of the k-th (0-based) smallest rank present; k < number present.
    int kth(int k) const
    {
        size_t pos = 0;
        for (size_t step = size_t(top); step; step /= 2) {
            if (pos + step < tree.size() && tree[pos + step] <= k) {
                pos += step;
                k -= tree[pos];
            }
        }
        return int(pos);
    }

private:
    std::vector<int> tree;
    int top = 1;
};

} // namespace

void runningMedian(const double *ys, int n, int window, double *out)
{
    if (n <= 0)
        return;
    window = std::max(window, 1);
    // Ranks of the values in sorted order, NaN and infinities left out (rank -1); equal values
    // get distinct ranks, which changes nothing about which value is the middle.
    std::vector<int> order;
    order.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        if (std::isfinite(ys[i]))
            order.push_back(i);
    }
    std::sort(order.begin(), order.end(), [ys](int a, int b) { return ys[a] < ys[b]; });
    std::vector<int> rank(size_t(n), -1);
    for (size_t r = 0; r < order.size(); ++r)
        rank[size_t(order[r])] = int(r);

    RankCounts present(int(order.size()));
    int count = 0; // values in the window that are not NaN
    out[0] = ys[0];
    for (int i = 1; i < n; ++i) {
        // The window for point i is i - window .. i - 1.
        if (rank[size_t(i - 1)] >= 0) {
            present.add(rank[size_t(i - 1)], 1);
            ++count;
        }
        const int leaving = i - 1 - window;
        if (leaving >= 0 && rank[size_t(leaving)] >= 0) {
            present.add(rank[size_t(leaving)], -1);
            --count;
        }
        out[i] = count ? ys[order[size_t(present.kth(count / 2))]] : std::nan("");
    }
}
