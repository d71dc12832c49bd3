// Must compile: the control of writers_from_contour.cpp.
#include "contour/contour_tracer.h"
#include "lineio/linewriter.h"
