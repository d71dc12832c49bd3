#include "pointio/detail/txtlineparser.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/messages.h"
#include "pointio/lasheader.h"
#include "pointio/laspoint.h"

namespace {

inline bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == ';';
}

// A real number at p, as "%lf" reads one: an optional sign, then what from_chars takes.
inline bool read_real(const char*& p, const char* end, double& value) {
  const char* q = p;
  if (q < end && *q == '+') {
    q++;
    if (q < end && (*q == '+' || *q == '-')) return false;
  }
  const auto result = std::from_chars(q, end, value);
  if (result.ec != std::errc()) return false;
  p = result.ptr;
  return true;
}

inline bool read_finite(const char*& p, const char* end, double& value) {
  return read_real(p, end, value) && std::isfinite(value);
}

// A whole number at p, as "%d" reads one: an optional sign and digits; what follows is left.
inline bool read_int(const char*& p, const char* end, int64_t& value) {
  const char* q = p;
  if (q < end && *q == '+') {
    q++;
    if (q < end && (*q == '+' || *q == '-')) return false;
  }
  const auto result = std::from_chars(q, end, value, 10);
  if (result.ec != std::errc()) return false;
  p = result.ptr;
  return true;
}

// A hexadecimal number at p, as "%x" reads one (an optional 0x).
inline bool read_hex(const char*& p, const char* end, uint64_t& value) {
  const char* q = p;
  if (end - q > 2 && q[0] == '0' && (q[1] == 'x' || q[1] == 'X')) q += 2;
  const auto result = std::from_chars(q, end, value, 16);
  if (result.ec != std::errc()) return false;
  p = result.ptr;
  return true;
}

inline int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

inline double round_half_away(double v) {
  return v >= 0 ? std::floor(v + 0.5) : std::ceil(v - 0.5);
}

// Clamps before converting, so that no value is out of range for the conversion.
template <class T>
T clamped(double v) {
  if (!(v >= static_cast<double>(std::numeric_limits<T>::min()))) return std::numeric_limits<T>::min();
  if (v > static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(v);
}

template <class T>
void store(LASpoint& point, int start, T value) {
  std::memcpy(point.extra_bytes.data() + start, &value, sizeof(T));
}

void print_symbol_help() {
  static const char* const kLines[] = {
      "       'x' : the <x> coordinate\n",
      "       'y' : the <y> coordinate\n",
      "       'z' : the <z> coordinate\n",
      "       't' : the gps <t>ime\n",
      "       'R' : the <R>ed channel of the RGB field\n",
      "       'G' : the <G>reen channel of the RGB field\n",
      "       'B' : the <B>lue channel of the RGB field\n",
      "       'I' : the N<I>R channel of LAS 1.4 point type 8\n",
      "       's' : <s>kip a string or a number that we don't care about\n",
      "       'i' : the <i>ntensity\n",
      "       'a' : the scan <a>ngle\n",
      "       'n' : the <n>umber of returns of that given pulse\n",
      "       'r' : the number of the <r>eturn\n",
      "       'h' : the with<h>eld flag\n",
      "       'k' : the <k>eypoint flag\n",
      "       'g' : the synthetic fla<g>\n",
      "       'o' : the <o>verlap flag of LAS 1.4 point types 6, 7, 8\n",
      "       'l' : the scanner channe<l> of LAS 1.4 point types 6, 7, 8\n",
      "       'E' : terrasolid <E>hco Encoding\n",
      "       'c' : the <c>lassification\n",
      "       'u' : the <u>ser data\n",
      "       'p' : the <p>oint source ID\n",
      "       'e' : the <e>dge of flight line flag\n",
      "       'd' : the <d>irection of scan flag\n",
      "   '0'-'9' : additional attributes described as extra bytes (0 through 9)\n",
      "    '(13)' : additional attributes described as extra bytes (10 and up)\n",
      "       'H' : a hexadecimal string encoding the RGB color\n",
      "       'J' : a hexadecimal string encoding the intensity\n",
  };
  for (const char* line : kLines) print_message_text(line);
}

}  // namespace

int text_point_type(std::string_view s) {
  const auto has = [&](const char* symbols) { return s.find_first_of(symbols) != std::string_view::npos; };
  const bool colour = has("RGBH");
  if (has("olI")) return has("I") ? 8 : colour ? 7 : 6;
  if (has("t")) return colour ? 3 : 1;
  return colour ? 2 : 0;
}

bool TXTlineParser::compile(std::string_view parse_string, int point_type, const LASattributeSet& attributes,
                            const std::vector<TXTattributePrescale>& prescales,
                            const TXTvalueAdjustments& adjustments) {
  parse_string_ = std::string(parse_string);
  ops_.clear();
  attributes_.clear();
  adjust_ = adjustments;
  extended_ = point_type >= 6;
  const auto add_attribute = [&](int index) {
    if (index >= attributes.number_attributes) {
      print_message("ERROR: extra bytes attribute '%d' was not described.\n", index);
      return false;
    }
    const LASattribute& d = attributes.attributes[static_cast<size_t>(index)];
    Attribute a;
    a.index = index;
    a.start = attributes.attribute_starts[static_cast<size_t>(index)];
    a.data_type = d.data_type;
    if (static_cast<size_t>(index) < prescales.size()) {
      a.pre_scale = prescales[static_cast<size_t>(index)].pre_scale;
      a.pre_offset = prescales[static_cast<size_t>(index)].pre_offset;
    }
    a.has_scale = (d.options & 8) != 0;
    a.has_offset = (d.options & 16) != 0;
    a.scale = d.scale[0];
    a.offset = d.offset[0];
    if (a.has_scale && a.scale == 0.0) {
      print_message("ERROR: extra bytes attribute '%d' has a scale of zero.\n", index);
      return false;
    }
    attributes_.push_back(a);
    ops_.push_back({Field::kAttribute, static_cast<uint8_t>(attributes_.size() - 1)});
    return true;
  };
  for (size_t i = 0; i < parse_string.size(); i++) {
    const char c = parse_string[i];
    Field f;
    switch (c) {
      case 'x':
        f = Field::kX;
        break;
      case 'y':
        f = Field::kY;
        break;
      case 'z':
        f = Field::kZ;
        break;
      case 't':
        f = Field::kTime;
        break;
      case 'R':
        f = Field::kRed;
        break;
      case 'G':
        f = Field::kGreen;
        break;
      case 'B':
        f = Field::kBlue;
        break;
      case 'I':
        f = Field::kNir;
        break;
      case 'H':
        f = Field::kHexColour;
        break;
      case 'J':
        f = Field::kHexIntensity;
        break;
      case 's':
        f = Field::kSkip;
        break;
      case 'i':
        f = Field::kIntensity;
        break;
      case 'a':
        f = Field::kScanAngle;
        break;
      case 'n':
        f = Field::kNumberOfReturns;
        break;
      case 'r':
        f = Field::kReturnNumber;
        break;
      case 'h':
        f = Field::kWithheld;
        break;
      case 'k':
        f = Field::kKeypoint;
        break;
      case 'g':
        f = Field::kSynthetic;
        break;
      case 'o':
        f = Field::kOverlap;
        break;
      case 'l':
        f = Field::kScannerChannel;
        break;
      case 'E':
        f = Field::kEcho;
        break;
      case 'c':
        f = Field::kClassification;
        break;
      case 'u':
        f = Field::kUserData;
        break;
      case 'p':
        f = Field::kPointSource;
        break;
      case 'e':
        f = Field::kEdge;
        break;
      case 'd':
        f = Field::kDirection;
        break;
      case '(': {
        size_t j = i + 1;
        int index = 0;
        while (j < parse_string.size() && parse_string[j] >= '0' && parse_string[j] <= '9') {
          index = index * 10 + (parse_string[j] - '0');
          if (index > 1000000) break;
          j++;
        }
        if (j == i + 1) {
          print_message_text("ERROR: parse string opening bracket '(' misses extra bytes index.\n");
          return false;
        }
        if (j >= parse_string.size() || parse_string[j] != ')') {
          print_message("ERROR: extra bytes attribute '%d' misses closing bracket.\n", index);
          return false;
        }
        if (!add_attribute(index)) return false;
        i = j;
        continue;
      }
      default:
        if (c >= '0' && c <= '9') {
          if (!add_attribute(c - '0')) return false;
          continue;
        }
        print_message("ERROR: unknown symbol '%c' in parse string. valid are\n", c);
        print_symbol_help();
        return false;
    }
    ops_.push_back({f, 0});
  }
  return true;
}

void TXTlineParser::reduce_to_coordinates_and_returns() {
  for (Op& op : ops_) {
    if (op.field != Field::kX && op.field != Field::kY && op.field != Field::kZ &&
        op.field != Field::kReturnNumber) {
      op.field = Field::kSkip;
    }
  }
}

void TXTlineParser::set_returns(LASpoint& point, int return_number, int number_of_returns) const {
  if (extended_) {
    point.extended_return_number = static_cast<uint8_t>(return_number & 15);
    point.extended_number_of_returns = static_cast<uint8_t>(number_of_returns & 15);
  }
  point.return_number = static_cast<uint8_t>(return_number & 7);
  point.number_of_returns = static_cast<uint8_t>(number_of_returns & 7);
}

bool TXTlineParser::parse_attribute(const char*& p, const char* end, const Attribute& a,
                                    LASpoint& point) const {
  double value;
  if (!read_real(p, end, value)) return false;
  if (a.pre_scale != 1.0) value *= a.pre_scale;
  if (a.pre_offset != 0.0) value -= a.pre_offset;
  if (a.data_type == 9) {
    store(point, a.start, static_cast<float>(value));
    return true;
  }
  if (a.data_type == 10) {
    store(point, a.start, value);
    return true;
  }
  if (a.data_type == 7 || a.data_type == 8) {
    print_message("WARNING: attribute %d not (yet) implemented.\n", a.index);
    return false;
  }
  if (a.has_offset) value -= a.offset;
  if (a.has_scale) value /= a.scale;
  const double r = round_half_away(value);
  struct Range {
    const char* name;
    int low, high;
  };
  static const Range kRanges[4] = {
      {"U8", 0, 255}, {"I8", -128, 127}, {"U16", 0, 65535}, {"I16", -32768, 32767}};
  if (a.data_type >= 1 && a.data_type <= 4) {
    const Range& range = kRanges[a.data_type - 1];
    int v = clamped<int>(r);
    if (v < range.low || v > range.high) {
      print_message("WARNING: attribute %d of type %s is %d. clamped to [%d %d] range.\n", a.index,
                    range.name, v, range.low, range.high);
      v = v < range.low ? range.low : range.high;
    }
    switch (a.data_type) {
      case 1:
        store(point, a.start, static_cast<uint8_t>(v));
        break;
      case 2:
        store(point, a.start, static_cast<int8_t>(v));
        break;
      case 3:
        store(point, a.start, static_cast<uint16_t>(v));
        break;
      default:
        store(point, a.start, static_cast<int16_t>(v));
        break;
    }
    return true;
  }
  if (a.data_type == 5) {
    store(point, a.start, r < 0 ? uint32_t{0} : clamped<uint32_t>(r));
  } else if (a.data_type == 6) {
    store(point, a.start, clamped<int32_t>(r));
  }
  return true;
}

bool TXTlineParser::parse(std::string_view line, double xyz[3], LASpoint& point) {
  const char* p = line.data();
  const char* const end = p + line.size();
  int64_t whole = 0;
  double real = 0.0;
  for (const Op& op : ops_) {
    while (p < end && is_separator(*p)) p++;
    if (p == end) return false;
    switch (op.field) {
      case Field::kX:
        if (!read_finite(p, end, xyz[0])) return false;
        break;
      case Field::kY:
        if (!read_finite(p, end, xyz[1])) return false;
        break;
      case Field::kZ:
        if (!read_finite(p, end, xyz[2])) return false;
        break;
      case Field::kTime:
        if (!read_finite(p, end, real)) return false;
        point.gps_time = real;
        break;
      case Field::kRed:
      case Field::kGreen:
      case Field::kBlue:
      case Field::kNir: {
        if (!read_int(p, end, whole)) return false;
        const int channel = op.field == Field::kRed     ? 0
                            : op.field == Field::kGreen ? 1
                            : op.field == Field::kBlue  ? 2
                                                        : 3;
        point.rgb[channel] = whole < 0 ? 0 : whole > 65535 ? 65535 : static_cast<uint16_t>(whole);
        break;
      }
      case Field::kHexColour: {
        if (*p == '"') p++;
        if (end - p < 6) return false;
        int digits[6];
        for (int k = 0; k < 6; k++) {
          digits[k] = hex_digit(p[k]);
          if (digits[k] < 0) return false;
        }
        for (int k = 0; k < 3; k++)
          point.rgb[k] = static_cast<uint16_t>(digits[2 * k] * 16 + digits[2 * k + 1]);
        p += 6;
        break;
      }
      case Field::kHexIntensity: {
        uint64_t hex = 0;
        if (!read_hex(p, end, hex)) return false;
        const double v = std::trunc(static_cast<double>(hex) / 16777215.0 * 255.0);
        point.intensity = v > 255.0 ? 255 : static_cast<uint16_t>(v);
        break;
      }
      case Field::kSkip:
        break;
      case Field::kIntensity: {
        if (!read_real(p, end, real)) return false;
        double v = static_cast<double>(static_cast<float>(real));
        if (adjust_.translate_intensity != 0.0f) v += static_cast<double>(adjust_.translate_intensity);
        if (adjust_.scale_intensity != 1.0f) v *= static_cast<double>(adjust_.scale_intensity);
        if (!(v >= 0.0 && v < 65535.5)) {
          print_message("WARNING: intensity %g is out of range of unsigned short\n", v);
          point.intensity = v >= 65535.5 ? 65535 : 0;
        } else {
          point.intensity = static_cast<uint16_t>(v + 0.5);
        }
        break;
      }
      case Field::kScanAngle: {
        if (!read_real(p, end, real)) return false;
        double v = static_cast<double>(static_cast<float>(real));
        if (adjust_.translate_scan_angle != 0.0f) v += static_cast<double>(adjust_.translate_scan_angle);
        if (adjust_.scale_scan_angle != 1.0f) v *= static_cast<double>(adjust_.scale_scan_angle);
        if (!(v >= -128.0 && v <= 127.0))
          print_message("WARNING: scan angle %g is out of range of char\n", v);
        if (extended_) {
          point.extended_scan_angle = clamped<int16_t>(round_half_away(v * 166.66667));
        } else {
          point.scan_angle_rank = clamped<int8_t>(round_half_away(v));
        }
        break;
      }
      case Field::kNumberOfReturns:
      case Field::kReturnNumber: {
        if (!read_int(p, end, whole)) return false;
        const bool returns = op.field == Field::kNumberOfReturns;
        const int limit = extended_ ? 15 : 7;
        if (whole < 0 || whole > limit) {
          print_message(
              returns ? (extended_
                             ? "WARNING: number of returns of given pulse %d is out of range of four bits\n"
                             : "WARNING: number of returns of given pulse %d is out of range of three bits\n")
                      : (extended_ ? "WARNING: return number %d is out of range of four bits\n"
                                   : "WARNING: return number %d is out of range of three bits\n"),
              clamped<int>(static_cast<double>(whole)));
        }
        const int v = static_cast<int>(whole & 15);
        if (returns) {
          if (extended_) point.extended_number_of_returns = static_cast<uint8_t>(v & 15);
          point.number_of_returns = static_cast<uint8_t>(v & 7);
        } else {
          last_return_number_ = clamped<int>(static_cast<double>(whole));
          if (extended_) point.extended_return_number = static_cast<uint8_t>(v & 15);
          point.return_number = static_cast<uint8_t>(v & 7);
        }
        break;
      }
      case Field::kWithheld:
      case Field::kKeypoint:
      case Field::kSynthetic:
      case Field::kOverlap:
      case Field::kEdge:
      case Field::kDirection: {
        if (!read_int(p, end, whole)) return false;
        const bool set = whole != 0;
        const int v = clamped<int>(static_cast<double>(whole));
        const bool single_bit = whole == 0 || whole == 1;
        uint8_t flags = point.extended_classification_flags;
        const auto put = [&](int bit) {
          flags = static_cast<uint8_t>(set ? flags | (1 << bit) : flags & ~(1 << bit));
        };
        switch (op.field) {
          case Field::kWithheld:
            if (!single_bit) print_message("WARNING: withheld flag %d is out of range of single bit\n", v);
            point.withheld_flag = set;
            put(2);
            break;
          case Field::kKeypoint:
            if (!single_bit) print_message("WARNING: keypoint flag %d is out of range of single bit\n", v);
            point.keypoint_flag = set;
            put(1);
            break;
          case Field::kSynthetic:
            point.synthetic_flag = set;
            put(0);
            break;
          case Field::kOverlap:
            if (!single_bit) print_message("WARNING: overlap flag %d is out of range of single bit\n", v);
            put(3);
            break;
          case Field::kEdge:
            if (!single_bit)
              print_message("WARNING: edge of flight line flag %d is out of range of boolean flag\n", v);
            point.edge_of_flight_line = set;
            break;
          default:
            if (!single_bit)
              print_message("WARNING: direction of scan flag %d is out of range of boolean flag\n", v);
            point.scan_direction_flag = set;
            break;
        }
        point.extended_classification_flags = flags & 15;
        break;
      }
      case Field::kScannerChannel:
        if (!read_int(p, end, whole)) return false;
        if (whole < 0 || whole > 3) {
          print_message("WARNING: scanner channel %d is out of range of two bits\n",
                        clamped<int>(static_cast<double>(whole)));
        }
        point.extended_scanner_channel = static_cast<uint8_t>(whole & 3);
        break;
      case Field::kEcho: {
        if (!read_int(p, end, whole)) return false;
        int echo = static_cast<int>(whole & 3);
        if (whole < 0 || whole > 3) {
          print_message("WARNING: terrasolid echo encoding %d is out of range of 0 to 3\n",
                        clamped<int>(static_cast<double>(whole)));
          echo = 2;
        }
        static constexpr int kReturn[4] = {1, 1, 2, 2};
        static constexpr int kReturns[4] = {1, 2, 3, 2};
        set_returns(point, kReturn[echo], kReturns[echo]);
        last_return_number_ = kReturn[echo];
        break;
      }
      case Field::kClassification: {
        if (!read_int(p, end, whole)) return false;
        int c = clamped<int>(static_cast<double>(whole));
        if (c < 0) {
          print_message("WARNING: classification %d is negative. zeroing ...\n", c);
          c = 0;
        }
        if (extended_) {
          if (c > 255) {
            print_message("WARNING: extended classification %d is larger than 255. clamping ...\n", c);
            point.extended_classification = 255;
            point.classification = 0;
          } else {
            point.extended_classification = static_cast<uint8_t>(c);
            point.classification = static_cast<uint8_t>(c <= 31 ? c & 31 : 0);
          }
        } else {
          if (c > 31) {
            print_message("WARNING: classification %d is larger than 31. clamping ...\n", c);
            c = 31;
          }
          point.classification = static_cast<uint8_t>(c & 31);
        }
        break;
      }
      case Field::kUserData: {
        if (!read_int(p, end, whole)) return false;
        if (whole < 0 || whole > 255) {
          print_message("WARNING: user data %d is out of range of unsigned char\n",
                        clamped<int>(static_cast<double>(whole)));
        }
        point.user_data = whole < 0 ? 0 : whole > 255 ? 255 : static_cast<uint8_t>(whole);
        break;
      }
      case Field::kPointSource: {
        if (!read_int(p, end, whole)) return false;
        if (whole < 0 || whole > 65535) {
          print_message("WARNING: point source ID %d is out of range of unsigned short\n",
                        clamped<int>(static_cast<double>(whole)));
        }
        point.point_source_ID = whole < 0 ? 0 : whole > 65535 ? 65535 : static_cast<uint16_t>(whole);
        break;
      }
      case Field::kAttribute:
        if (!parse_attribute(p, end, attributes_[op.attribute], point)) return false;
        break;
    }
    while (p < end && !is_separator(*p)) p++;
  }
  return true;
}
