// "-tin": the triangulation of an input, constrained or not, written as a Shapefile of triangles
// (MultiPatch records) beside its contours.
#pragma once

#include <string>

#include "tin/tin.h"

// The triangle file's name: the contour output's name without its extension, plus "_tin.shp".
std::string tin_file_name(const std::string& contour_file_name);

// Writes every finite triangle in use with the elevations of its corners; x and y are relative to
// (origin_x, origin_y). False after the "ERROR: ..." line when the file cannot be written whole.
bool write_tin(ConstTinView tin, double origin_x, double origin_y, const std::string& file_name,
               uint32_t& written);
