// Exact signs of the orientation and in-circle determinants, computed with a small signed
// big-integer type after scaling every double to an integer. Independent of the expansion
// arithmetic it checks.
#pragma once

// Sign (-1, 0, 1) of (a - c) x (b - c).
int exact_orient_sign(const double* a, const double* b, const double* c);
// Sign of the lifted determinant: 1 when d lies inside the circle through counter-clockwise a, b, c.
int exact_incircle_sign(const double* a, const double* b, const double* c, const double* d);
