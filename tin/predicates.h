// Robust 2D orientation and in-circle tests with adaptive-precision expansion arithmetic.
//
// A floating-point filter decides almost every call; only when the rounded determinant is
// smaller than its error bound do the later stages recompute it with exact expansions, so the
// sign is always the sign of the exact determinant of the double inputs (barring overflow or
// underflow). The triangulation feeds single-precision coordinates widened to double.
#pragma once

class TINpredicates {
 public:
  TINpredicates() { exactinit(); }

  // Derives the machine epsilon, the splitter and the error bounds of every stage.
  void exactinit();

  // > 0 when a, b, c turn counter-clockwise, < 0 clockwise, 0 when collinear.
  double orient2d(const double* pa, const double* pb, const double* pc) const;

  // > 0 when d lies inside the circle through a, b, c (given counter-clockwise), < 0 outside,
  // 0 on it.
  double incircle(const double* pa, const double* pb, const double* pc, const double* pd) const;

  // The same tests on scalar coordinates with the filter inlined into the caller, for the
  // triangulation's hot loops. Defined in tin/predicates_inline.h: include it only from
  // translation units built without multiply-add fusion (-ffp-contract=off), since a fused
  // multiply-add would round differently from what the error bounds assume.
  double orient2d_inline(double ax, double ay, double bx, double by, double cx, double cy) const;
  double incircle_inline(double ax, double ay, double bx, double by, double cx, double cy, double dx,
                         double dy) const;

 private:
  double orient2dadapt(const double* pa, const double* pb, const double* pc, double detsum) const;
  double incircleadapt(const double* pa, const double* pb, const double* pc, const double* pd,
                       double permanent) const;
  double incircleexact(const double* pa, const double* pb, const double* pc, const double* pd) const;

  double epsilon_ = 0;
  double splitter_ = 0;
  double resulterrbound_ = 0;
  double ccwerrboundA_ = 0, ccwerrboundB_ = 0, ccwerrboundC_ = 0;
  double iccerrboundA_ = 0, iccerrboundB_ = 0, iccerrboundC_ = 0;
};
