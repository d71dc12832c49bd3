// GeoTIFF keys of a LAS header's GeoKey directory turned into the converter's state.
#include <cstdio>
#include <optional>
#include <string>

#include "common/messages.h"
#include "geo/geo_epsg.h"
#include "geo/geoprojectionconverter.h"

namespace {

// The projection parameter keys, remembered as indices into the double parameters.
enum ParameterKey {
  kStdParallel1,         // 3078
  kStdParallel2,         // 3079
  kNatOriginLong,        // 3080
  kNatOriginLat,         // 3081
  kFalseEasting,         // 3082
  kFalseNorthing,        // 3083
  kFalseOriginLong,      // 3084
  kFalseOriginLat,       // 3085
  kFalseOriginEasting,   // 3086
  kFalseOriginNorthing,  // 3087
  kCenterLong,           // 3088
  kCenterLat,            // 3089
  kScaleAtNatOrigin,     // 3092
  kScaleAtCenter,        // 3093
  kAzimuthAngle,         // 3094
  kRectifiedGridAngle,   // 3096
  kParameterCount
};

int parameter_of_key(int key) {
  if (key >= 3078 && key <= 3089) return key - 3078;
  switch (key) {
    case 3092:
      return kScaleAtNatOrigin;
    case 3093:
      return kScaleAtCenter;
    case 3094:
      return kAzimuthAngle;
    case 3096:
      return kRectifiedGridAngle;
    default:
      return -1;
  }
}

enum Transform { kNoTransform, kTM, kHOM, kLCC, kAEAC, kOS };

// The names of the coordinate transformations the converter has no formulas for.
const char* unsupported_transform_name(int value) {
  switch (value) {
    case 2:
      return "TransvMercator_Modified_Alaska";
    case 4:
      return "ObliqueMercator_Laborde";
    case 5:
      return "ObliqueMercator_Rosenmund";
    case 6:
      return "ObliqueMercator_Spherical";
    case 7:
      return "Mercator";
    case 9:
      return "LambertConfConic_Helmert";
    case 10:
      return "LambertAzimEqualArea";
    case 12:
      return "AzimuthalEquidistant";
    case 13:
      return "EquidistantConic";
    case 14:
      return "Stereographic";
    case 15:
      return "PolarStereographic";
    case 17:
      return "Equirectangular";
    case 18:
      return "CassiniSoldner";
    case 19:
      return "Gnomonic";
    case 20:
      return "MillerCylindrical";
    case 21:
      return "Orthographic";
    case 22:
      return "Polyconic";
    case 23:
      return "Robinson";
    case 24:
      return "Sinusoidal";
    case 25:
      return "VanDerGrinten";
    case 26:
      return "NewZealandMapGrid";
    case 27:
      return "TransvMercator_SouthOriented";
    default:
      return nullptr;
  }
}

Transform transform_of(int value) {
  switch (value) {
    case 1:
      return kTM;
    case 3:
      return kHOM;
    case 8:
      return kLCC;
    case 11:
      return kAEAC;
    case 16:
      return kOS;
    default:
      break;
  }
  if (const char* name = unsupported_transform_name(value)) {
    print_message("ProjCoordTransGeoKey: CT_%s not implemented\n", name);
  } else {
    print_message("ProjCoordTransGeoKey: look-up for %d not implemented\n", value);
  }
  return kNoTransform;
}

// GeographicTypeGeoKey: an ellipsoid id for the codes that name only an ellipsoid.
int ellipsoid_of_geographic_type(int code) {
  switch (code) {
    case 4001:
      return 1;
    case 4002:
      return 16;
    case 4003:
      return 2;
    case 4004:
    case 4005:
      return 3;
    case 4006:
      return 4;
    case 4008:
    case 4009:
      return 5;
    case 4010:
    case 4011:
    case 4012:
    case 4013:
    case 4014:
    case 4034:
      return 6;
    case 4015:
    case 4016:
    case 4017:
      return 7;
    case 4018:
      return 17;
    case 4019:
      return 11;
    case 4020:
      return 12;
    case 4022:
    case 4023:
      return 14;
    case 4024:
      return 15;
    case 4030:
      return 23;
    default:
      return 0;
  }
}

// GeographicTypeGeoKey: the geographic CRS a code stands for, 0 for none.
int gcs_of_geographic_type(int code) {
  switch (code) {
    case 4152:
    case 4167:
    case 4267:
    case 4269:
    case 4283:
    case 4322:
    case 4326:
    case 4619:
    case 6322:
    case 7844:
      return code;
    case 4759:
    case 4893:
      return 4759;
    case 4957:
      return 4152;
    case 6318:
    case 6319:
      return 6318;
    case 6782:
    case 6783:
      return 6783;
    default:
      return 0;
  }
}

// GeogGeodeticDatumGeoKey: an ellipsoid id for the datum codes that name only an ellipsoid.
int ellipsoid_of_datum(int code) {
  if (code == 6202 || code == 6203) return 2;
  if (code >= 6001 && code <= 6034) return ellipsoid_of_geographic_type(code - 2000);
  return 0;
}

bool datum_accepted(int code) {
  switch (code) {
    case 6140:
    case 6167:
    case 6267:
    case 6269:
    case 6283:
    case 6322:
    case 6326:
    case 6619:
    case 9844:
    case 32767:
      return true;
    default:
      return false;
  }
}

// What the keys of one directory collected before the projection is built.
struct KeyState {
  bool result = false;
  int gcs = 0;
  int ellipsoid_id = 0;
  Transform transform = kNoTransform;
  std::optional<double> parameter[kParameterCount];
};

}  // namespace

namespace {

// Builds the selected projection from the remembered parameters; nothing when one is missing.
bool build_projection(GeoProjectionConverter& converter, const KeyState& keys, GeoSide side,
                      std::string* described) {
  const auto& p = keys.parameter;
  const double to_meter = converter.get_coordinate_factor(GeoSide::source);
  const char* description = nullptr;
  bool built = false;
  switch (keys.transform) {
    case kNoTransform:
      return false;
    case kTM:
      if (!p[kFalseEasting] || !p[kFalseNorthing] || !p[kNatOriginLat] || !p[kCenterLong] ||
          !p[kScaleAtNatOrigin]) {
        return false;
      }
      description = "generic transverse mercator";
      built = converter.set_tm(*p[kFalseEasting] * to_meter, *p[kFalseNorthing] * to_meter, *p[kNatOriginLat],
                               *p[kCenterLong], *p[kScaleAtNatOrigin], side, description);
      break;
    case kLCC: {
      const auto& easting = p[kFalseEasting] ? p[kFalseEasting] : p[kFalseOriginEasting];
      const auto& northing = p[kFalseNorthing] ? p[kFalseNorthing] : p[kFalseOriginNorthing];
      const auto& latitude = p[kNatOriginLat] ? p[kNatOriginLat] : p[kFalseOriginLat];
      std::optional<double> meridian =
          p[kCenterLong] ? p[kCenterLong] : (p[kNatOriginLong] ? p[kNatOriginLong] : p[kFalseOriginLong]);
      // Some writers leave a zero in the key they do not use and the meridian in NatOriginLong.
      if (meridian && *meridian == 0.0 && p[kNatOriginLong]) meridian = p[kNatOriginLong];
      if (!easting || !northing || !latitude || !meridian || !p[kStdParallel1] || !p[kStdParallel2]) {
        return false;
      }
      description = "generic lambert conformal conic";
      built = converter.set_lcc(*easting * to_meter, *northing * to_meter, *latitude, *meridian,
                                *p[kStdParallel1], *p[kStdParallel2], side, description);
      break;
    }
    case kAEAC: {
      std::optional<double> longitude = p[kCenterLong] ? p[kCenterLong] : p[kNatOriginLong];
      if (longitude && *longitude == 0.0 && p[kNatOriginLong]) longitude = p[kNatOriginLong];
      if (!p[kFalseEasting] || !p[kFalseNorthing] || !p[kNatOriginLat] || !longitude || !p[kStdParallel1] ||
          !p[kStdParallel2]) {
        return false;
      }
      description = "generic albers equal area";
      built =
          converter.set_aeac(*p[kFalseEasting] * to_meter, *p[kFalseNorthing] * to_meter, *p[kNatOriginLat],
                             *longitude, *p[kStdParallel1], *p[kStdParallel2], side, description);
      break;
    }
    case kOS: {
      const auto& meridian = p[kCenterLong] ? p[kCenterLong] : p[kNatOriginLong];
      if (!p[kFalseEasting] || !p[kFalseNorthing] || !p[kNatOriginLat] || !p[kScaleAtNatOrigin] ||
          !meridian) {
        return false;
      }
      description = "generic oblique stereographic";
      built = converter.set_os(*p[kFalseEasting] * to_meter, *p[kFalseNorthing] * to_meter, *p[kNatOriginLat],
                               *meridian, *p[kScaleAtNatOrigin], side, description);
      break;
    }
    case kHOM: {
      if (!p[kFalseEasting] || !p[kFalseNorthing] || !p[kCenterLat] || !p[kCenterLong] || !p[kAzimuthAngle] ||
          !p[kScaleAtCenter]) {
        return false;
      }
      const double rectified = p[kRectifiedGridAngle] ? *p[kRectifiedGridAngle] : *p[kAzimuthAngle];
      description = "generic hotine oblique mercator";
      built = converter.set_hom(*p[kFalseEasting] * to_meter, *p[kFalseNorthing] * to_meter, *p[kCenterLat],
                                *p[kCenterLong], *p[kAzimuthAngle], rectified, *p[kScaleAtCenter], side,
                                description);
      break;
    }
  }
  if (built && described) *described = description;
  return built;
}

}  // namespace

bool GeoProjectionConverter::set_projection_from_geo_keys(std::span<const GeoKeyEntry> keys,
                                                          std::string_view /*ascii_params*/,
                                                          std::span<const double> double_params,
                                                          std::string* described, GeoSide side) {
  KeyState state;
  for (const GeoKeyEntry& key : keys) {
    const int value = key.value_offset;
    switch (key.key_id) {
      case 1024:  // GTModelTypeGeoKey
        if (value == 0) {
          state.result = set_no_projection(side, nullptr, described);
        } else if (value == 2) {
          state.result = set_longlat(side, nullptr, described);
        } else if (value == 3) {
          state.result = set_ecef(side, nullptr, described);
        } else {
          state.result = false;
        }
        break;
      case 2048:  // GeographicTypeGeoKey
        if (const int id = ellipsoid_of_geographic_type(value)) {
          state.ellipsoid_id = id;
        } else if (const int gcs = gcs_of_geographic_type(value)) {
          state.gcs = gcs;
        } else if (value != 4140 && value != 4617 && value != 32767) {
          print_message("GeographicTypeGeoKey: look-up for %d not implemented\n", value);
        }
        break;
      case 2050:  // GeogGeodeticDatumGeoKey
        if (const int id = ellipsoid_of_datum(value)) {
          state.ellipsoid_id = id;
        } else if (!datum_accepted(value)) {
          print_message("GeogGeodeticDatumGeoKey: look-up for %d not implemented\n", value);
        }
        break;
      case 2052:  // GeogLinearUnitsGeoKey
        if (value == 9001) {
          set_coordinates_in_meter(side);
        } else if (value == 9002) {
          set_coordinates_in_feet(side);
        } else if (value == 9003) {
          set_coordinates_in_survey_feet(side);
        } else {
          print_message("GeogLinearUnitsGeoKey: look-up for %d not implemented\n", value);
        }
        break;
      case 2056:  // GeogEllipsoidGeoKey
        if (const int id = geo_ellipsoid_id_from_epsg(value)) state.ellipsoid_id = id;
        break;
      case 3072:  // ProjectedCSTypeGeoKey
        state.result = set_ProjectedCSTypeGeoKey(value, described, side);
        break;
      case 3075:  // ProjCoordTransGeoKey
        state.transform = transform_of(value);
        break;
      case 3076:  // ProjLinearUnitsGeoKey
        set_ProjLinearUnitsGeoKey(value, side);
        break;
      case 4096:  // VerticalCSTypeGeoKey
        set_VerticalCSTypeGeoKey(value);
        break;
      case 4099:  // VerticalUnitsGeoKey
        set_VerticalUnitsGeoKey(value);
        break;
      default:
        if (const int parameter = parameter_of_key(key.key_id); parameter >= 0) {
          // The value offset of a parameter key indexes the double parameters; a file may lie.
          if (static_cast<size_t>(value) < double_params.size()) {
            state.parameter[parameter] = double_params[value];
          } else {
            print_message("WARNING: GeoKey %d refers to double parameter %d of only %zu\n", key.key_id, value,
                          double_params.size());
          }
        }
        break;
    }
  }
  if (state.gcs) {
    set_gcs(state.gcs);
  } else if (state.ellipsoid_id) {
    set_ellipsoid(state.ellipsoid_id);
  }
  if (build_projection(*this, state, side, described)) return true;
  return state.result;
}
