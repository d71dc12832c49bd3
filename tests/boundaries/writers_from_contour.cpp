// Must not compile: contour sees the line-writer interface, not the writers.
#include "contour/contour_tracer.h"
#include "lineio/shpwriter.h"
