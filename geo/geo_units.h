// Length units: the one definition of the foot factors, and the conversion of values that EPSG
// parameter files give by their unit of measure code.
#pragma once

namespace geo_units {

// The converter's factors. A source factor takes coordinates to meters, a target factor meters to
// coordinates. The survey-foot pair keeps the digits files written by other software carry, so
// a unit read back from such a file compares equal.
inline constexpr double kFootToMeter = 0.3048;
inline constexpr double kMeterToFoot = 3.280839895013123;
inline constexpr double kSurveyFootToMeter = 0.3048006096012;
inline constexpr double kMeterToSurveyFoot = 3.28083333333354;

// The US survey foot as defined (1200/3937 m), the value WKT texts state; a unit read from WKT
// counts as survey foot within kUnitTolerance of it.
inline constexpr double kSurveyFootExact = 0.3048006096012192;
inline constexpr double kUnitTolerance = 1e-9;

// The rounded factors the contour driver uses when it switches its length thresholds to feet: the
// message states a length times kFeetPerMeterRounded, and a squared threshold is multiplied by
// kSquareFeetPerSquareMeterRounded in single precision.
inline constexpr double kFeetPerMeterRounded = 3.28;
inline constexpr float kSquareFeetPerSquareMeterRounded = 10.764f;

// A coordinate or elevation unit of one side of the converter.
enum class LengthUnit { meter, foot, survey_foot };

// The unit of a factor, source (to meter) or target (from meter): only the exact factors of meter
// and foot are recognised, so any other factor counts as the US survey foot.
constexpr LengthUnit unit_of_factor(double factor) {
  if (factor == 1.0) return LengthUnit::meter;
  if (factor == kFootToMeter || factor == kMeterToFoot) return LengthUnit::foot;
  return LengthUnit::survey_foot;
}

// The factor that takes a length in `unit` to meters, and the one that takes meters to `unit`.
constexpr double to_meter_factor(LengthUnit unit) {
  return unit == LengthUnit::foot ? kFootToMeter : unit == LengthUnit::survey_foot ? kSurveyFootToMeter : 1.0;
}
constexpr double from_meter_factor(LengthUnit unit) {
  return unit == LengthUnit::foot ? kMeterToFoot : unit == LengthUnit::survey_foot ? kMeterToSurveyFoot : 1.0;
}

// 9001 meter, 9002 foot, 9003 US survey foot.
constexpr int epsg_of_unit(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::meter:
      return 9001;
    case LengthUnit::foot:
      return 9002;
    case LengthUnit::survey_foot:
      break;
  }
  return 9003;
}

}  // namespace geo_units

// Degrees from a value in the angle unit `unit_code`: 9102 degree, 9105 grad, 9110 sexagesimal
// DDD.MMSSsss. An unknown code prints "ERROR: unit %d not known" and answers 0.
double geo_angle_from_unit(double value, int unit_code);

// Meters from a value in the length unit `unit_code`: 9001 meter, 9002 foot, 9003 US survey foot.
// An unknown code prints "ERROR: unit %d not known" and answers 0.
double geo_length_from_unit(double value, int unit_code);
