// Must compile: the control of pointio_from_tin.cpp.
#include "tin/tin.h"
