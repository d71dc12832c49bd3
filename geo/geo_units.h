// Angle and length values as EPSG parameter files give them, by their EPSG unit of measure code.
#pragma once

// Degrees from a value in the angle unit `unit_code`: 9102 degree, 9105 grad, 9110 sexagesimal
// DDD.MMSSsss. An unknown code prints "ERROR: unit %d not known" and answers 0.
double geo_angle_from_unit(double value, int unit_code);

// Meters from a value in the length unit `unit_code`: 9001 meter, 9002 foot, 9003 US survey foot.
// An unknown code prints "ERROR: unit %d not known" and answers 0.
double geo_length_from_unit(double value, int unit_code);
