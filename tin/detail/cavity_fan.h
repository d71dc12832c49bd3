#pragma once
// Corner arithmetic of a triangle record and the fan that refills a Bowyer-Watson hole, shared by
// the plain and the constrained TIN.

namespace tin_detail {

// The corner after and before corner k, counter-clockwise.
inline constexpr int kNext[3] = {1, 2, 0};
inline constexpr int kPrev[3] = {2, 0, 1};

// Each boundary edge i of a neighbour S (its vertices S0, S1, S2) gets a new triangle Q with p. The
// stack order visits the boundary edges in turn around the hole, so each Q links to the previous:
//
//   i | new triangle Q   | Q's edge facing S | linked to previous | open for next
//   0 | p, S2, S1        | 0                 | 1                  | 2
//   1 | S0, S2, p        | 2                 | 0                  | 1
//   2 | S0, p, S1        | 1                 | 2                  | 0
inline constexpr int kFanFace[3] = {0, 2, 1};
inline constexpr int kFanLink[3] = {1, 0, 2};
inline constexpr int kFanOpen[3] = {2, 1, 0};
// Q's vertices by i, as indices into (S.V[0], S.V[1], S.V[2], p): a table instead of a branch on
// i, which no predictor gets right.
inline constexpr int kFanFrom[3][3] = {{3, 2, 1}, {0, 2, 3}, {0, 3, 1}};

}  // namespace tin_detail
