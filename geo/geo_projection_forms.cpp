#include "geo/geo_projection_forms.h"

#include "geo/geo_projection_math.h"

namespace {

using P = GeoParameter;

constexpr GeoParameter kConicParameters[] = {P::false_easting, P::false_northing, P::latitude,
                                             P::longitude,     P::first_parallel, P::second_parallel};
constexpr GeoParameter kScaledParameters[] = {P::false_easting, P::false_northing, P::latitude, P::longitude,
                                              P::scale};
constexpr GeoParameter kHotineParameters[] = {P::false_easting, P::false_northing, P::latitude,
                                              P::longitude,     P::azimuth,        P::rectified_grid_angle,
                                              P::scale};

constexpr GeoParameter kOneSpParameters[] = {P::false_easting, P::false_northing, P::latitude, P::longitude,
                                             P::scale};
constexpr GeoParameter kMercatorAParameters[] = {P::false_easting, P::false_northing, P::longitude, P::scale};
constexpr GeoParameter kTrueScaleParameters[] = {P::false_easting, P::false_northing, P::first_parallel,
                                                 P::longitude};
constexpr GeoParameter kMeridianParameters[] = {P::false_easting, P::false_northing, P::longitude};
constexpr GeoParameter kOriginParameters[] = {P::false_easting, P::false_northing, P::latitude, P::longitude};

constexpr GeoWktParameter kLccWkt[] = {
    {P::first_parallel, "standard_parallel_1"}, {P::second_parallel, "standard_parallel_2"},
    {P::latitude, "latitude_of_origin"},        {P::longitude, "central_meridian"},
    {P::false_easting, "false_easting"},        {P::false_northing, "false_northing"},
};
constexpr GeoWktParameter kTmWkt[] = {
    {P::latitude, "latitude_of_origin"}, {P::longitude, "central_meridian"},    {P::scale, "scale_factor"},
    {P::false_easting, "false_easting"}, {P::false_northing, "false_northing"},
};
constexpr GeoWktParameter kAeacWkt[] = {
    {P::first_parallel, "standard_parallel_1"}, {P::second_parallel, "standard_parallel_2"},
    {P::latitude, "latitude_of_center"},        {P::longitude, "longitude_of_center"},
    {P::false_easting, "false_easting"},        {P::false_northing, "false_northing"},
};
constexpr GeoWktParameter kHotineWkt[] = {
    {P::latitude, "latitude_of_center"},
    {P::longitude, "longitude_of_center"},
    {P::azimuth, "azimuth"},
    {P::rectified_grid_angle, "rectified_grid_angle"},
    {P::scale, "scale_factor"},
    {P::false_easting, "false_easting"},
    {P::false_northing, "false_northing"},
};

constexpr GeoWktParameter kMercatorAWkt[] = {
    {P::longitude, "central_meridian"},
    {P::scale, "scale_factor"},
    {P::false_easting, "false_easting"},
    {P::false_northing, "false_northing"},
};
constexpr GeoWktParameter kMercatorBWkt[] = {
    {P::first_parallel, "standard_parallel_1"},
    {P::longitude, "central_meridian"},
    {P::false_easting, "false_easting"},
    {P::false_northing, "false_northing"},
};
// The form Shapefile readers know for Web Mercator: a sphere of the datum's semi-major axis.
constexpr GeoWktParameter kPseudoMercatorWkt[] = {
    {P::false_easting, "False_Easting"}, {P::false_northing, "False_Northing"},
    {P::longitude, "Central_Meridian"},  {P::zero, "Standard_Parallel_1"},
    {P::zero, "Auxiliary_Sphere_Type"},
};
constexpr GeoWktParameter kLaeaWkt[] = {
    {P::latitude, "latitude_of_center"},
    {P::longitude, "longitude_of_center"},
    {P::false_easting, "false_easting"},
    {P::false_northing, "false_northing"},
};
// Variant B is told from variant A by a latitude of origin that is no pole and no scale factor.
constexpr GeoWktParameter kPolarStereoBWkt[] = {
    {P::first_parallel, "latitude_of_origin"},
    {P::longitude, "central_meridian"},
    {P::false_easting, "false_easting"},
    {P::false_northing, "false_northing"},
};

constexpr const char* kScaledDescribed =
    "false east/north: %g/%g [m], origin lat/meridian long: %g/%g, scale: %g";

constexpr GeoProjectionForm kForms[] = {
    {GEO_PROJECTION_LCC, "Lambert Conformal Conic", kConicParameters,
     "false east/north: %g/%g [m], origin lat/ meridian long: %g/%g, parallel 1st/2nd: %g/%g", "lcc",
     "Lambert_Conformal_Conic_2SP", kLccWkt},
    {GEO_PROJECTION_TM, "Transverse Mercator", kScaledParameters, kScaledDescribed, "tm",
     "Transverse_Mercator", kTmWkt},
    {GEO_PROJECTION_AEAC, "Albers Equal Area Conic", kConicParameters,
     "false east/north: %g/%g [m], center lat/long: %g/%g, parallel 1st/2nd: %g/%g", "aeac",
     "Albers_Conic_Equal_Area", kAeacWkt},
    {GEO_PROJECTION_HOM, "Hotine Oblique Mercator", kHotineParameters,
     "false east/north: %g/%g [m], center lat/long: %g/%g, azimuth: %g angle: %g scale: %g", nullptr,
     "Hotine_Oblique_Mercator", kHotineWkt},
    {GEO_PROJECTION_OS, "Oblique Stereographic", kScaledParameters, kScaledDescribed, nullptr,
     "Oblique_Stereographic", kTmWkt},
    {GEO_PROJECTION_LCC_1SP, "Lambert Conformal Conic (1SP)", kOneSpParameters, kScaledDescribed, nullptr,
     "Lambert_Conformal_Conic_1SP", kTmWkt},
    {GEO_PROJECTION_MERCATOR_A, "Mercator (variant A)", kMercatorAParameters,
     "false east/north: %g/%g [m], meridian long: %g, scale: %g", nullptr, "Mercator_1SP", kMercatorAWkt},
    {GEO_PROJECTION_MERCATOR_B, "Mercator (variant B)", kTrueScaleParameters,
     "false east/north: %g/%g [m], parallel: %g, meridian long: %g", nullptr, "Mercator_2SP", kMercatorBWkt},
    {GEO_PROJECTION_PSEUDO_MERCATOR, "Popular Visualisation Pseudo Mercator", kMeridianParameters,
     "false east/north: %g/%g [m], meridian long: %g", nullptr, "Mercator_Auxiliary_Sphere",
     kPseudoMercatorWkt},
    {GEO_PROJECTION_LAEA, "Lambert Azimuthal Equal Area", kOriginParameters,
     "false east/north: %g/%g [m], origin lat/meridian long: %g/%g", nullptr, "Lambert_Azimuthal_Equal_Area",
     kLaeaWkt},
    {GEO_PROJECTION_POLAR_STEREO_A, "Polar Stereographic (variant A)", kScaledParameters, kScaledDescribed,
     nullptr, "Polar_Stereographic", kTmWkt},
    {GEO_PROJECTION_POLAR_STEREO_B, "Polar Stereographic (variant B)", kTrueScaleParameters,
     "false east/north: %g/%g [m], parallel: %g, meridian long: %g", nullptr, "Polar_Stereographic",
     kPolarStereoBWkt},
};

}  // namespace

const GeoProjectionForm* geo_projection_form(GeoProjectionType type) {
  for (const GeoProjectionForm& form : kForms) {
    if (form.type == type) return &form;
  }
  return nullptr;
}

double geo_parameter(const GeoProjectionParameters& record, GeoParameter parameter) {
  switch (parameter) {
    case P::false_easting:
      return record.false_easting_meter;
    case P::false_northing:
      return record.false_northing_meter;
    case P::latitude:
      return record.lat_origin_degree;
    case P::longitude:
      return record.long_meridian_degree;
    case P::first_parallel:
      return record.first_std_parallel_degree;
    case P::second_parallel:
      return record.second_std_parallel_degree;
    case P::scale:
      return record.scale_factor;
    case P::azimuth:
      return record.azimuth_degree;
    case P::rectified_grid_angle:
      return record.rectified_grid_angle_degree;
    case P::zero:
      break;
  }
  return 0.0;
}

void geo_set_parameter(GeoProjectionParameters& record, GeoParameter parameter, double value) {
  const double radian = value * geo_math::kDegreeToRadian;
  switch (parameter) {
    case P::false_easting:
      record.false_easting_meter = value;
      break;
    case P::false_northing:
      record.false_northing_meter = value;
      break;
    case P::latitude:
      record.lat_origin_degree = value;
      record.lat_origin_radian = radian;
      break;
    case P::longitude:
      record.long_meridian_degree = value;
      record.long_meridian_radian = radian;
      break;
    case P::first_parallel:
      record.first_std_parallel_degree = value;
      record.first_std_parallel_radian = radian;
      break;
    case P::second_parallel:
      record.second_std_parallel_degree = value;
      record.second_std_parallel_radian = radian;
      break;
    case P::scale:
      record.scale_factor = value;
      break;
    case P::azimuth:
      record.azimuth_degree = value;
      record.azimuth_radian = radian;
      break;
    case P::rectified_grid_angle:
      record.rectified_grid_angle_degree = value;
      record.rectified_grid_angle_radian = radian;
      break;
    case P::zero:
      break;
  }
}
