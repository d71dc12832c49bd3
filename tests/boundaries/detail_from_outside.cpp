// Must not compile: a library's detail/ headers are its own.
#include "pointio/detail/lasheaderreader.h"
#include "pointio/lasreader.h"
