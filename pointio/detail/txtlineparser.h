// The fields of one line of point text, as a parse string names them ("xyz", "xyzti", "sxyzcRGB",
// "xyz0(12)" ...). Compiling the string checks it once; parsing a line is then one pass over its
// characters with std::from_chars, no scanf and no allocation.
//
// Fields are separated by blanks, tabs, ',' and ';' (repeated separators count as one). Before
// each field the separators are skipped; after its value, the rest of the field up to the next
// separator is skipped, so "12.5m" reads 12.5. A line that ends before every field was read, or
// whose field does not hold a value of its kind, does not parse. Coordinates and times must be
// finite numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class LASpoint;
struct LASattributeSet;

// How an extra attribute's text value is prepared before it is stored (the -iadd_attribute
// values; the descriptor's own scale and offset come from the header's attribute set).
struct TXTattributePrescale {
  double pre_scale = 1.0;
  double pre_offset = 0.0;
};

// Intensity and scan angle are translated, then scaled, as they are read.
struct TXTvalueAdjustments {
  float translate_intensity = 0.0f, scale_intensity = 1.0f;
  float translate_scan_angle = 0.0f, scale_scan_angle = 1.0f;
};

// The LAS point type a parse string calls for: 8 with 'I'; with 'o', 'l' or 'I' 7 when it has
// colour ('R', 'G', 'B', 'H'), else 6; otherwise 3 with time and colour, 1 with time, 2 with
// colour, else 0.
int text_point_type(std::string_view parse_string);

class TXTlineParser {
 public:
  // Checks `parse_string` against the attributes the header describes and compiles it. Prints
  // the message of a bad string (with the list of symbols for an unknown one) and answers false.
  bool compile(std::string_view parse_string, int point_type, const LASattributeSet& attributes,
               const std::vector<TXTattributePrescale>& prescales, const TXTvalueAdjustments& adjustments);
  // Keeps only what the counting pass needs: x, y, z and the return number; every other field
  // is skipped.
  void reduce_to_coordinates_and_returns();

  // Parses one line: x, y, z into `xyz`, every other field into `point`. False when the line
  // does not parse.
  bool parse(std::string_view line, double xyz[3], LASpoint& point);

  // The return number of the line parsed last (1 when the string has none).
  int last_return_number() const { return last_return_number_; }
  std::string_view parse_string() const { return parse_string_; }

 private:
  enum class Field : uint8_t {
    kX,
    kY,
    kZ,
    kTime,
    kRed,
    kGreen,
    kBlue,
    kNir,
    kHexColour,
    kHexIntensity,
    kSkip,
    kIntensity,
    kScanAngle,
    kNumberOfReturns,
    kReturnNumber,
    kWithheld,
    kKeypoint,
    kSynthetic,
    kOverlap,
    kScannerChannel,
    kEcho,
    kClassification,
    kUserData,
    kPointSource,
    kEdge,
    kDirection,
    kAttribute,
  };
  struct Op {
    Field field;
    uint8_t attribute = 0;  // index into attributes_ for kAttribute
  };
  struct Attribute {
    int index = 0;
    int start = 0;  // byte offset inside the extra bytes
    int data_type = 0;
    double pre_scale = 1.0, pre_offset = 0.0;
    double scale = 1.0, offset = 0.0;  // the descriptor's, for integer types
    bool has_scale = false, has_offset = false;
  };

  bool parse_attribute(const char*& p, const char* end, const Attribute& a, LASpoint& point) const;
  void set_returns(LASpoint& point, int return_number, int number_of_returns) const;

  std::string parse_string_;
  std::vector<Op> ops_;
  std::vector<Attribute> attributes_;
  TXTvalueAdjustments adjust_;
  bool extended_ = false;  // point types 6 and up carry the extended fields
  int last_return_number_ = 1;
};
