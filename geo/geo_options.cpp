// Command-line options of the projection converter: parsing them into the converter's state and
// writing that state back as option text.
#include "geo/geoprojectionconverter.h"

bool GeoProjectionConverter::parse(int argc, char* argv[]) {
  verbose = false;
  if (argc > 0 && argv[0]) set_program_path(argv[0]);
  return true;
}

int GeoProjectionConverter::unparse(std::string& options) const {
  options.clear();
  return 0;
}

void GeoProjectionConverter::set_program_path(const char* argv0) {
  program_path = argv0 ? argv0 : "";
}
