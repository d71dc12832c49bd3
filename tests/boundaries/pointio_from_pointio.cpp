// Must compile: the control of detail_from_outside.cpp.
#include "pointio/lasreader.h"
