#include "geo/geo_vertical_datums.h"

namespace {

constexpr GeoVerticalDatum kVerticalDatums[] = {
    {5030, "-vertical_wgs84", "WGS 84 Ellipsoid", nullptr, nullptr, 0, 0, 0},
    {5102, "-vertical_ngvd29", "National Geodetic Vertical Datum 1929", "NGVD29",
     "National Geodetic Vertical Datum 1929", 5102, 5702, 5702},
    {5103, "-vertical_navd88", "North American Vertical Datum 1988", "NAVD88",
     "North American Vertical Datum 1988", 5103, 5703, 6360},
    {5114, "-vertical_cgvd28", "Canadian Geodetic Vertical Datum of 1928", "CGVD28",
     "Canadian Geodetic Vertical Datum of 1928", 5114, 5713, 5713},
    {5206, "-vertical_dvr90", "Dansk Vertikal Reference 1990", "DVR90", "Dansk Vertikal Reference 1990", 5206,
     5799, 5799},
    {5215, "-vertical_evrf2007", "European Vertical Reference Frame 2007", "EVRF2007",
     "European Vertical Reference Frame 2007", 5215, 5621, 5621},
    {5776, "-vertical_nn54", "Norway Normal Null 1954", "NN54", "Norway Normal Null 1954", 5174, 5776, 5776},
    {5783, "-vertical_dhhn92", "Deutsches Haupthoehennetz 1992", "DHHN92", "Deutsches Haupthoehennetz 1992",
     5783, 5783, 5783},
    {5941, "-vertical_nn2000", "Norway Normal Null 2000", "NN2000", "Norway Normal Null 2000", 1096, 5941,
     5941},
    {6647, "-vertical_cgvd2013", "Canadian Geodetic Vertical Datum of 2013", "CGVD2013",
     "Canadian Geodetic Vertical Datum of 2013", 1127, 6647, 6647},
    {7837, "-vertical_dhhn2016", "Deutsches Haupthoehennetz 2016", "DHHN2016",
     "Deutsches Haupthoehennetz 2016", 7837, 7837, 7837},
    {7839, "-vertical_nzvd2016", "New Zealand Vertical Datum 2016", "NZVD2016",
     "New Zealand Vertical Datum 2016", 7839, 7839, 7839},
};

}  // namespace

const GeoVerticalDatum* geo_vertical_datum(int code) {
  for (const GeoVerticalDatum& datum : kVerticalDatums) {
    if (datum.code == code) return &datum;
  }
  return nullptr;
}

const GeoVerticalDatum* geo_vertical_datum_of_option(std::string_view option) {
  if (option == "-vertical_navd29") return geo_vertical_datum(5102);
  for (const GeoVerticalDatum& datum : kVerticalDatums) {
    if (option == datum.option) return &datum;
  }
  return nullptr;
}

const char* geo_vertical_datum_name(int code) {
  if (const GeoVerticalDatum* datum = geo_vertical_datum(code)) return datum->name;
  if (code >= 5000 && code <= 5099) return "Some Ellipsoid Vertical Datum";
  return nullptr;
}
