// Must not compile: tin links nothing of the point input.
#include "pointio/lasreader.h"
#include "tin/tin.h"
