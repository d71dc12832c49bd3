// Spatial order of the points before they are triangulated.
//
// Inserted one after another in the order of a Hilbert curve, consecutive points lie next to
// each other, so the walk from the newest triangle is a few steps long and the triangles the
// cavity touches are still in the cache. The order is a function of the x and y values alone, so
// the same points read in any record order, or split over several files, triangulate the same.
#pragma once

#include <cstdint>
#include <vector>

// Position of the cell (x, y) of a 65536 x 65536 grid along the Hilbert curve that starts in
// cell (0, 0) and ends in cell (65535, 0). Consecutive positions are neighbouring cells.
uint32_t hilbert_index(uint32_t x, uint32_t y);

// Moves vertices first .. first + count - 1 of `points` (`stride` floats each, x and y first,
// every coordinate finite) into their order of insertion: rounds chosen by a hash of each point's
// x and y (the last round holds about three quarters of the points, each earlier one a quarter of
// what the later ones leave), each round along a Hilbert curve over the points' bounding box.
// Points of a round that share a cell of the curve are ordered along a finer curve over their own
// box, down to equal x and y; points with equal x and y keep their relative order, so the first
// one given stays first. The vertices before `first` stay where they are. Needs 16 bytes per
// sorted point of scratch memory and, while the points move, a second copy of the buffer; all of
// it is released before returning. Throws std::bad_alloc when that memory is not available,
// leaving `points` unchanged.
void hilbert_sort(std::vector<float>& points, uint32_t stride, uint32_t first, uint32_t count);
