// The outputs of a whole run, planned before the first input is read, so that a run never
// destroys a file it reads nor lets one input's result replace another's.
#pragma once

class LASinputOpener;
class LineOutputOpener;

// Derives the output name of every input as the run will (without changing `output`) and
// refuses, with one "ERROR: ..." line, a run in which
// - an output, or a companion of a Shapefile (.shx, .dbf, .prj), is one of the files read: the
//   same device and inode after links are followed, so './in.las' and links are caught too;
// - two inputs would write the same output (two 'a.las' from different folders with '-odir'):
//   the second result would replace the first.
bool check_output_plan(const LASinputOpener& input, const LineOutputOpener& output);
