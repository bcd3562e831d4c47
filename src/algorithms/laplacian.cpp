// Laplacian centrality (NetworkX's laplacian_centrality, undirected).
//
// NetworkX forms, for each node i of the nodelist, A_2 = L without row and
// column i, replaces its diagonal by L[j][j] - |L[j][i]|, and sums A_2**2
// with np.sum: a pairwise sum over the (n-1)^2 entries in row-major order.
// Over floats that sum is repeated here entry for entry, on the reduced
// matrix written out once per node (per thread scratch). Over int64 (integer
// weights, or none) numpy's products and sums wrap modulo 2^64, where order
// does not matter: each energy is the full one less row and column i's
// squares, with the diagonal's squares exchanged for the lowered ones, in
// O(n) per node.
//
// Cost: O(n^3) over floats (in parallel over the nodes), O(n^2) over ints.
#include "algorithms/laplacian.hpp"

#include "algorithms/summation.hpp"
#include "lib/pool.hpp"

#include <cmath>

namespace fennel {

Result<std::vector<double>> laplacian_energies(const double* lap, std::size_t n, std::size_t count) {
    std::vector<double> out(count, 0.0);
    if (n < 2) return out;  // the reduced matrix is empty: NetworkX's 0.0
    const std::size_t m = n - 1;
    const Pieces pieces = split(count);
    Status st = parallel_for(pieces.pieces, [&](std::size_t piece) {
        std::vector<double> squares(m * m);
        for (std::size_t i = pieces.begin(piece); i < pieces.end(piece) && !stop_requested(); ++i) {
            std::size_t k = 0;
            for (std::size_t r = 0; r < n; ++r) {
                if (r == i) continue;
                const double* row = lap + r * n;
                for (std::size_t c = 0; c < n; ++c) {
                    if (c == i) continue;
                    const double x = c == r ? row[r] - std::fabs(row[i]) : row[c];
                    squares[k++] = x * x;
                }
            }
            out[i] = numpy_sum([&](std::size_t j) { return squares[j]; }, m * m);
            add_progress(1);
        }
    });
    if (!st.ok()) return st.error();
    return out;
}

std::vector<std::int64_t> laplacian_energies(const std::int64_t* lap, std::size_t n, std::size_t count) {
    using U = std::uint64_t;
    auto sq = [](std::int64_t x) { return static_cast<U>(x) * static_cast<U>(x); };
    U full = 0;
    for (std::size_t k = 0; k < n * n; ++k) full += sq(lap[k]);
    // Per node i: the full sum less row and column i, with each other
    // diagonal square exchanged for the square of L[j][j] - |L[j][i]|.
    std::vector<std::int64_t> out(count, 0);
    if (n < 2) return out;
    for (std::size_t i = 0; i < count; ++i) {
        U e = full;
        for (std::size_t j = 0; j < n; ++j) {
            e -= sq(lap[i * n + j]);  // row i
            if (j != i) e -= sq(lap[j * n + i]);  // column i (L[i][i] once)
        }
        for (std::size_t j = 0; j < n; ++j) {
            if (j == i) continue;
            const std::int64_t d = lap[j * n + j];
            const std::int64_t c = lap[j * n + i];
            const U magnitude = c < 0 ? -static_cast<U>(c) : static_cast<U>(c);  // np.abs, wrapping
            const auto lowered = static_cast<std::int64_t>(static_cast<U>(d) - magnitude);
            e = e - sq(d) + sq(lowered);
        }
        out[i] = static_cast<std::int64_t>(e);
    }
    return out;
}

}  // namespace fennel
