// Every criterion and operation on real point files: the points a reader delivers through the
// input opener with the options equal an independent computation over the file's records, read
// without any stage. Each expectation below is written from the option's documented rule, not
// from the library's code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "filter/lasinputstages.h"
#include "filter_test_util.h"
#include "pointio/lasinputopener.h"
#include "pointio/lasreader.h"
#include "pointio/lasreaderlas.h"

namespace {

using filter_test::Argv;
using filter_test::words;

const std::string kData = CM_SHARED_DATA_DIR;

// One point record as a reader delivers it.
struct Rec {
  LASpointFields f;
  std::vector<uint8_t> extra;
  bool have_gps_time = false;
};

struct File {
  LASquantizer q;
  std::vector<Rec> recs;
};

Rec snapshot(const LASpoint& p) {
  Rec r;
  r.f = static_cast<const LASpointFields&>(p);
  r.extra = p.extra_bytes;
  r.have_gps_time = p.have_gps_time;
  return r;
}

// The file's records read without any stage, once per file.
const File* records(const std::string& name) {
  static std::map<std::string, std::unique_ptr<File>> cache;
  auto& file = cache[name];
  if (!file) {
    LASreaderLAS reader;
    if (!reader.open((kData + "/" + name).c_str())) return nullptr;
    file = std::make_unique<File>();
    file->q = reader.header;
    while (reader.read_point()) file->recs.push_back(snapshot(reader.point));
  }
  return file.get();
}

// What a reader delivers through the opener's stages with `options`.
std::vector<Rec> read_with(const std::string& name, const std::string& options) {
  Argv args(words("-i " + kData + "/" + name + " " + options));
  LASinputOpener opener;
  opener.set_point_stages(std::make_unique<LASinputStages>());
  EXPECT_TRUE(opener.parse(args.argc(), args.argv())) << options;
  EXPECT_EQ(args.left(), "") << "words no parser took";
  std::unique_ptr<LASreader> reader = opener.open();
  std::vector<Rec> out;
  if (!reader) {
    ADD_FAILURE() << "cannot open " << name;
    return out;
  }
  while (reader->read_point()) out.push_back(snapshot(reader->point));
  return out;
}

bool same(const Rec& a, const Rec& b) {
  LASpoint pa, pb;
  static_cast<LASpointFields&>(pa) = a.f;
  static_cast<LASpointFields&>(pb) = b.f;
  pa.extra_bytes = a.extra;
  pb.extra_bytes = b.extra;
  return filter_test::same_fields(pa, pb);
}

// Real coordinates by the file's quantizer.
double x_of(const Rec& r, const LASquantizer& q) {
  return r.f.X * q.x_scale_factor + q.x_offset;
}
double y_of(const Rec& r, const LASquantizer& q) {
  return r.f.Y * q.y_scale_factor + q.y_offset;
}
double z_of(const Rec& r, const LASquantizer& q) {
  return r.f.Z * q.z_scale_factor + q.z_offset;
}

// The integer of a real coordinate, rounded half away from the offset (results fit 32 bits here).
int32_t integer_of(double v, double scale, double offset) {
  const double q = (v - offset) / scale;
  return static_cast<int32_t>(v >= offset ? std::trunc(q + 0.5) : std::trunc(q - 0.5));
}

uint16_t saturate16(double v) {
  return v <= 0 ? 0 : v >= 65535 ? 65535 : static_cast<uint16_t>(v);
}
uint8_t saturate8(double v) {
  return v <= 0 ? 0 : v >= 255 ? 255 : static_cast<uint8_t>(v);
}
int8_t angle_rank(float v) {
  const double r = std::trunc(v >= 0 ? double(v) + 0.5 : double(v) - 0.5);
  return static_cast<int8_t>(r < -128 ? -128 : r > 127 ? 127 : r);
}

// Raw values of the extra bytes of extrabytes.las, by their byte offsets in the record.
uint16_t extra_u16_at0(const Rec& r) {
  return uint16_t(r.extra[0] | r.extra[1] << 8);
}
uint32_t extra_u32_at15(const Rec& r) {
  uint32_t v;
  std::memcpy(&v, r.extra.data() + 15, 4);
  return v;
}
float extra_f32_at24(const Rec& r) {
  float v;
  std::memcpy(&v, r.extra.data() + 24, 4);
  return v;
}

using Keep = std::function<std::vector<bool>(const std::vector<Rec>&, const LASquantizer&)>;

// A criterion whose decision depends on the point alone.
Keep each(std::function<bool(const Rec&, const LASquantizer&)> keep) {
  return [keep](const std::vector<Rec>& recs, const LASquantizer& q) {
    std::vector<bool> out;
    for (const Rec& r : recs) out.push_back(keep(r, q));
    return out;
  };
}

struct CriterionCase {
  const char* file;
  std::string options;
  Keep keep;
};

int r_of(const Rec& p) {
  return p.f.return_number;
}
int n_of(const Rec& p) {
  return p.f.number_of_returns;
}

std::vector<CriterionCase> criterion_cases() {
  const char* A = "autzen-trim.las";
  const char* A7 = "autzen-trim-fmt7.las";
  const char* B = "hexbin-crop.las";
  const char* E = "extrabytes.las";
  const char* X = "autzen-extra-fields.las";
  using Q = const LASquantizer&;
  return {
      {A, "-keep_class 2", each([](const Rec& p, Q) { return p.f.classification == 2; })},
      {A, "-drop_class 2", each([](const Rec& p, Q) { return p.f.classification != 2; })},
      {A, "-keep_classification 1 -drop_withheld",
       each([](const Rec& p, Q) { return p.f.classification == 1; })},
      {A, "-keep_first", each([](const Rec& p, Q) { return r_of(p) <= 1; })},
      {A, "-first_only", each([](const Rec& p, Q) { return r_of(p) <= 1; })},
      {A, "-last_only", each([](const Rec& p, Q) { return r_of(p) >= n_of(p); })},
      {A, "-drop_first", each([](const Rec& p, Q) { return r_of(p) != 1; })},
      {A, "-drop_last", each([](const Rec& p, Q) { return r_of(p) < n_of(p); })},
      {A, "-keep_first_of_many", each([](const Rec& p, Q) { return n_of(p) > 1 && r_of(p) <= 1; })},
      {A, "-drop_first_of_many", each([](const Rec& p, Q) { return !(n_of(p) > 1 && r_of(p) == 1); })},
      {A, "-keep_last_of_many", each([](const Rec& p, Q) { return r_of(p) != 1 && r_of(p) >= n_of(p); })},
      {A, "-keep_middle", each([](const Rec& p, Q) { return r_of(p) > 1 && r_of(p) < n_of(p); })},
      {A, "-keep_second_last", each([](const Rec& p, Q) { return n_of(p) > 1 && n_of(p) == r_of(p) + 1; })},
      {A, "-keep_single", each([](const Rec& p, Q) { return n_of(p) == 1; })},
      {A, "-keep_double", each([](const Rec& p, Q) { return n_of(p) == 2; })},
      {A, "-drop_triple", each([](const Rec& p, Q) { return n_of(p) != 3; })},
      {A, "-drop_number_of_returns 1", each([](const Rec& p, Q) { return n_of(p) != 1; })},
      {A, "-keep_return 2 3", each([](const Rec& p, Q) { return r_of(p) == 2 || r_of(p) == 3; })},
      {A, "-drop_return 1", each([](const Rec& p, Q) { return r_of(p) != 1; })},
      {A, "-keep_intensity 50 120",
       each([](const Rec& p, Q) { return p.f.intensity >= 50 && p.f.intensity <= 120; })},
      {A, "-keep_intensity_above 200", each([](const Rec& p, Q) { return p.f.intensity > 200; })},
      {A, "-drop_intensity_below 30", each([](const Rec& p, Q) { return p.f.intensity >= 30; })},
      {A, "-drop_intensity_between 10 100",
       each([](const Rec& p, Q) { return p.f.intensity < 10 || p.f.intensity > 100; })},
      {A, "-keep_scan_angle -5 5", each([](const Rec& p, Q) { return std::abs(p.f.scan_angle_rank) <= 5; })},
      {A, "-drop_scan_angle_between 3 -3",
       each([](const Rec& p, Q) { return std::abs(p.f.scan_angle_rank) > 3; })},
      {A, "-drop_abs_scan_angle_above 10",
       each([](const Rec& p, Q) { return std::abs(p.f.scan_angle_rank) <= 10; })},
      {A, "-drop_abs_scan_angle_below 8",
       each([](const Rec& p, Q) { return std::abs(p.f.scan_angle_rank) >= 8; })},
      {A, "-keep_user_data 124", each([](const Rec& p, Q) { return p.f.user_data == 124; })},
      {A, "-drop_user_data 122 124",
       each([](const Rec& p, Q) { return p.f.user_data != 122 && p.f.user_data != 124; })},
      {A, "-keep_user_data_between 120 123",
       each([](const Rec& p, Q) { return p.f.user_data >= 120 && p.f.user_data <= 123; })},
      {A, "-drop_user_data_above 124", each([](const Rec& p, Q) { return p.f.user_data <= 124; })},
      {E, "-keep_point_source 7327 7330",
       each([](const Rec& p, Q) { return p.f.point_source_ID == 7327 || p.f.point_source_ID == 7330; })},
      {E, "-drop_point_source_between 7328 7331",
       each([](const Rec& p, Q) { return p.f.point_source_ID < 7328 || p.f.point_source_ID > 7331; })},
      {E, "-drop_point_source_below 7330", each([](const Rec& p, Q) { return p.f.point_source_ID >= 7330; })},
      {A, "-keep_gps_time 245380 245382",
       each([](const Rec& p, Q) { return p.f.gps_time >= 245380 && p.f.gps_time <= 245382; })},
      {A, "-drop_gps_time_above 245384.5", each([](const Rec& p, Q) { return p.f.gps_time <= 245384.5; })},
      {A, "-keep_gpstime_below 245381", each([](const Rec& p, Q) { return p.f.gps_time <= 245381; })},
      {A, "-keep_RGB_red 100 180",
       each([](const Rec& p, Q) { return p.f.rgb[0] >= 100 && p.f.rgb[0] <= 180; })},
      {A, "-drop_RGB_blue 0 120", each([](const Rec& p, Q) { return p.f.rgb[2] > 120; })},
      {A, "-keep_RGB_greenness 0 50", each([](const Rec& p, Q) {
         const int g = 2 * p.f.rgb[1] - p.f.rgb[0] - p.f.rgb[2];
         return g >= 0 && g <= 50;
       })},
      {A, "-keep_NDVI_green_is_NIR -0.05 0.05", each([](const Rec& p, Q) {
         const float a = p.f.rgb[1], b = p.f.rgb[0];
         const float ratio = (a - b) / (a + b);
         return ratio >= -0.05f && ratio <= 0.05f;
       })},
      {A, "-keep_xy 636300 849000 636900 849300", each([](const Rec& p, Q q) {
         const double x = x_of(p, q), y = y_of(p, q);
         return x >= 636300 && x < 636900 && y >= 849000 && y < 849300;
       })},
      {A, "-drop_xy 636300 849000 636900 849300", each([](const Rec& p, Q q) {
         const double x = x_of(p, q), y = y_of(p, q);
         return !(x >= 636300 && x < 636900 && y >= 849000 && y < 849300);
       })},
      {A, "-keep_circle 636600.5 849200.25 150", each([](const Rec& p, Q q) {
         const double dx = x_of(p, q) - 636600.5, dy = y_of(p, q) - 849200.25;
         return dx * dx + dy * dy < 150.0 * 150.0;
       })},
      {A, "-keep_tile 636500 849100 250", each([](const Rec& p, Q q) {
         const double x = x_of(p, q), y = y_of(p, q);
         return x >= 636500 && x < 636750 && y >= 849100 && y < 849350;
       })},
      {A, "-keep_z 420 450", each([](const Rec& p, Q q) { return z_of(p, q) >= 420 && z_of(p, q) < 450; })},
      {A, "-drop_z_below 430", each([](const Rec& p, Q q) { return z_of(p, q) >= 430; })},
      {A, "-keep_z_above 440", each([](const Rec& p, Q q) { return z_of(p, q) >= 440; })},
      {A, "-drop_x_above 636700", each([](const Rec& p, Q q) { return x_of(p, q) < 636700; })},
      {A, "-keep_xyz 636300 849000 430 636900 849300 460", each([](const Rec& p, Q q) {
         const double x = x_of(p, q), y = y_of(p, q), z = z_of(p, q);
         return x >= 636300 && x < 636900 && y >= 849000 && y < 849300 && z >= 430 && z < 460;
       })},
      {A, "-keep_profile 636100 849000 637000 849400 80", each([](const Rec& p, Q q) {
         // Distance across and along the segment from its middle.
         const double ux = 900, uy = 400, length = std::sqrt(ux * ux + uy * uy);
         const double dx = x_of(p, q) - 636550, dy = y_of(p, q) - 849200;
         const double along = (dx * ux + dy * uy) / length, across = (dx * uy - dy * ux) / length;
         return std::abs(across) <= 40 + 1e-9 && std::abs(along) <= length / 2;
       })},
      {A, "-keep_X 63630000 63690000",
       each([](const Rec& p, Q) { return p.f.X >= 63630000 && p.f.X < 63690000; })},
      {A, "-drop_Y_above 84920000", each([](const Rec& p, Q) { return p.f.Y < 84920000; })},
      {A, "-keep_XY 63630000 84900000 63690000 84930000", each([](const Rec& p, Q) {
         return p.f.X >= 63630000 && p.f.X < 63690000 && p.f.Y >= 84900000 && p.f.Y < 84930000;
       })},
      {A, "-drop_z_below 430 -drop_z_above 450 -filter_or",
       each([](const Rec& p, Q q) { return z_of(p, q) >= 430 && z_of(p, q) < 450; })},
      {A, "-keep_class 2 -keep_intensity_above 150 -filter_and",
       each([](const Rec& p, Q) { return p.f.classification == 2 || p.f.intensity > 150; })},
      {A, "-keep_first -drop_user_data 124 -filter_or -keep_z_below 460",
       each([](const Rec& p, Q q) { return r_of(p) <= 1 && p.f.user_data != 124 && z_of(p, q) < 460; })},
      {A, "-keep_scan_direction_change",
       [](const std::vector<Rec>& recs, Q) {
         std::vector<bool> out;
         int previous = -1;
         for (const Rec& r : recs) {
           out.push_back(previous != -1 && r.f.scan_direction_flag != previous);
           previous = r.f.scan_direction_flag;
         }
         return out;
       }},
      {A, "-keep_every_nth 7",
       [](const std::vector<Rec>& recs, Q) {
         std::vector<bool> out;
         for (size_t i = 0; i < recs.size(); i++) out.push_back((i + 1) % 7 == 0);
         return out;
       }},
      {A, "-drop_every_nth 3",
       [](const std::vector<Rec>& recs, Q) {
         std::vector<bool> out;
         for (size_t i = 0; i < recs.size(); i++) out.push_back((i + 1) % 3 != 0);
         return out;
       }},
      {A, "-keep_random_fraction 0.3 17",
       [](const std::vector<Rec>& recs, Q) {
         std::vector<bool> out;
         uint32_t state = 17;
         for (size_t i = 0; i < recs.size(); i++) {
           state = ((state * 214013u + 2531011u) >> 16) & 0x7FFF;
           out.push_back(static_cast<float>(state) / 32767.0f <= 0.3f);
         }
         return out;
       }},
      {A, "-thin_with_grid 5",
       [](const std::vector<Rec>& recs, Q q) {
         std::vector<bool> out;
         std::set<std::pair<int64_t, int64_t>> cells;
         for (const Rec& r : recs) {
           const auto cell = std::make_pair(static_cast<int64_t>(std::floor(x_of(r, q) / 5.0)),
                                            static_cast<int64_t>(std::floor(y_of(r, q) / 5.0)));
           out.push_back(cells.insert(cell).second);
         }
         return out;
       }},
      {A, "-thin_points_with_time 0.01",
       [](const std::vector<Rec>& recs, Q) {
         std::vector<bool> out;
         std::set<int64_t> slots;
         for (const Rec& r : recs)
           out.push_back(slots.insert(static_cast<int64_t>(std::floor(r.f.gps_time / 0.01))).second);
         return out;
       }},
      {A, "-thin_pulses_with_time 0.001",
       [](const std::vector<Rec>& recs, Q) {
         std::vector<bool> out;
         std::map<int64_t, double> first;
         for (const Rec& r : recs) {
           const auto [it, inserted] =
               first.emplace(static_cast<int64_t>(std::floor(r.f.gps_time / 0.001)), r.f.gps_time);
           out.push_back(inserted || it->second == r.f.gps_time);
         }
         return out;
       }},
      {A7, "-keep_extended_class 2", each([](const Rec& p, Q) { return p.f.extended_classification == 2; })},
      {A7, "-drop_extended_class 1", each([](const Rec& p, Q) { return p.f.extended_classification != 1; })},
      {A7, "-keep_scan_angle -6 6", each([](const Rec& p, Q) { return std::abs(p.f.scan_angle_rank) <= 6; })},
      {B, "-drop_synthetic", each([](const Rec& p, Q) { return p.f.synthetic_flag == 0; })},
      {B, "-keep_synthetic -keep_class 2",
       each([](const Rec& p, Q) { return p.f.synthetic_flag && p.f.classification == 2; })},
      {E, "-keep_attribute_above 3 100", each([](const Rec& p, Q) { return extra_u32_at15(p) > 100; })},
      {E, "-drop_attribute_between 0 50 150",
       each([](const Rec& p, Q) { return extra_u16_at0(p) < 50 || extra_u16_at0(p) > 150; })},
      {E, "-keep_attribute_between 4 246000 248000", each([](const Rec& p, Q) {
         int64_t v;
         std::memcpy(&v, p.extra.data() + 19, 8);
         return v >= 246000 && v <= 248000;
       })},
      // Dropped when the value is at least 0: the points without a distance (NaN) stay.
      {X, "-keep_attribute_below 6 0.0",
       each([](const Rec& p, Q) { return !(double(extra_f32_at24(p)) >= 0.0); })},
  };
}

TEST(RealFiles, CriteriaKeepWhatTheirRulesKeep) {
  if (!std::filesystem::is_directory(kData)) GTEST_SKIP() << "no shared data folder " << kData;
  int cases = 0;
  for (const CriterionCase& c : criterion_cases()) {
    SCOPED_TRACE(std::string(c.file) + " " + c.options);
    const File* file = records(c.file);
    ASSERT_NE(file, nullptr);
    const std::vector<bool> keep = c.keep(file->recs, file->q);
    std::vector<Rec> expected;
    for (size_t i = 0; i < file->recs.size(); i++) {
      if (keep[i]) expected.push_back(file->recs[i]);
    }
    // A case that keeps everything or nothing shows nothing about the criterion.
    EXPECT_GT(expected.size(), 0u);
    EXPECT_LT(expected.size(), file->recs.size());
    const std::vector<Rec> got = read_with(c.file, c.options);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); i++) ASSERT_TRUE(same(got[i], expected[i])) << "kept point " << i;
    cases++;
  }
  EXPECT_GE(cases, 40);
}

using Change = std::function<void(Rec&, const LASquantizer&)>;

struct OperationCase {
  const char* file;
  std::string options;
  Change change;
};

void set_class(Rec& p, int c) {
  p.f.extended_classification = static_cast<uint8_t>(c);
  p.f.classification = c < 32 ? c & 31 : 0;
}

std::vector<OperationCase> operation_cases() {
  const char* A = "autzen-trim.las";
  const char* A7 = "autzen-trim-fmt7.las";
  const char* B = "hexbin-crop.las";
  const char* E = "extrabytes.las";
  using Q = const LASquantizer&;
  const auto setx = [](Rec& p, Q q, double v) { p.f.X = integer_of(v, q.x_scale_factor, q.x_offset); };
  const auto sety = [](Rec& p, Q q, double v) { p.f.Y = integer_of(v, q.y_scale_factor, q.y_offset); };
  const auto setz = [](Rec& p, Q q, double v) { p.f.Z = integer_of(v, q.z_scale_factor, q.z_offset); };
  return {
      {A, "-translate_x 10.5", [=](Rec& p, Q q) { setx(p, q, x_of(p, q) + 10.5); }},
      {A, "-translate_y -3.25", [=](Rec& p, Q q) { sety(p, q, y_of(p, q) - 3.25); }},
      {A, "-translate_z 100", [=](Rec& p, Q q) { setz(p, q, z_of(p, q) + 100); }},
      {A, "-translate_xyz 1 2 3",
       [=](Rec& p, Q q) {
         setx(p, q, x_of(p, q) + 1);
         sety(p, q, y_of(p, q) + 2);
         setz(p, q, z_of(p, q) + 3);
       }},
      {A, "-scale_z 0.3048", [=](Rec& p, Q q) { setz(p, q, z_of(p, q) * 0.3048); }},
      {A, "-scale_xyz 1.001 0.999 2",
       [=](Rec& p, Q q) {
         setx(p, q, x_of(p, q) * 1.001);
         sety(p, q, y_of(p, q) * 0.999);
         setz(p, q, z_of(p, q) * 2);
       }},
      {A, "-translate_then_scale_z -400 2", [=](Rec& p, Q q) { setz(p, q, (z_of(p, q) - 400) * 2); }},
      {A, "-rotate_xy 30 636500 849200",
       [=](Rec& p, Q q) {
         const double a = 30 * M_PI / 180, u = x_of(p, q) - 636500, v = y_of(p, q) - 849200;
         setx(p, q, 636500 + u * std::cos(a) - v * std::sin(a));
         sety(p, q, 849200 + v * std::cos(a) + u * std::sin(a));
       }},
      {A, "-rotate_yz -2 849200 450",
       [=](Rec& p, Q q) {
         const double a = -2 * M_PI / 180, u = y_of(p, q) - 849200, v = z_of(p, q) - 450;
         sety(p, q, 849200 + u * std::cos(a) - v * std::sin(a));
         setz(p, q, 450 + v * std::cos(a) + u * std::sin(a));
       }},
      {A, "-clamp_z 420 450",
       [=](Rec& p, Q q) {
         const double z = z_of(p, q);
         if (z < 420) setz(p, q, 420);
         if (z > 450) setz(p, q, 450);
       }},
      {A, "-clamp_z_below 430",
       [=](Rec& p, Q q) {
         if (z_of(p, q) < 430) setz(p, q, 430);
       }},
      {A, "-switch_x_y", [](Rec& p, Q) { std::swap(p.f.X, p.f.Y); }},
      {A, "-translate_raw_z 50", [](Rec& p, Q) { p.f.Z += 50; }},
      {A, "-translate_raw_xyz 1 -2 3",
       [](Rec& p, Q) {
         p.f.X += 1;
         p.f.Y -= 2;
         p.f.Z += 3;
       }},
      {A, "-clamp_raw_z 42000 45000", [](Rec& p, Q) { p.f.Z = std::min(std::max(p.f.Z, 42000), 45000); }},
      {A, "-transform_helmert 1,2,3,0.1,0.2,0.3,1.5",
       [=](Rec& p, Q q) {
         const double s = 4.84813681109536e-6, rx = 0.1 * s, ry = 0.2 * s, rz = 0.3 * s, m = 1 + 1.5e-6;
         const double x = x_of(p, q), y = y_of(p, q), z = z_of(p, q);
         setx(p, q, m * (x - y * rz + z * ry) + 1);
         sety(p, q, m * (x * rz + y - z * rx) + 2);
         setz(p, q, m * (y * rx - x * ry + z) + 3);
       }},
      {A, "-transform_affine 1.0001,2,10,20",
       [=](Rec& p, Q q) {
         const double w = 2 * 4.84813681109536e-6, x = x_of(p, q), y = y_of(p, q);
         setx(p, q, 1.0001 * (x * std::cos(w) + y * std::sin(w)) + 10);
         sety(p, q, 1.0001 * (y * std::cos(w) - x * std::sin(w)) + 20);
       }},
      {A, "-transform_matrix 1,0,0 0,1,0 0,0,2 0,0,-500",
       [=](Rec& p, Q q) {
         const double x = x_of(p, q), y = y_of(p, q), z = z_of(p, q);
         setx(p, q, 1 * x + 0 * y + 0 * z + 0);
         sety(p, q, 0 * x + 1 * y + 0 * z + 0);
         setz(p, q, 0 * x + 0 * y + 2 * z + -500);
       }},
      {A, "-set_intensity 7", [](Rec& p, Q) { p.f.intensity = 7; }},
      {A, "-scale_intensity 2.5",
       [](Rec& p, Q) { p.f.intensity = saturate16(double(float(p.f.intensity) * 2.5f)); }},
      {A, "-translate_intensity -50",
       [](Rec& p, Q) { p.f.intensity = saturate16(double(float(p.f.intensity) - 50.0f)); }},
      {A, "-translate_then_scale_intensity 10 1.5",
       [](Rec& p, Q) { p.f.intensity = saturate16(double((float(p.f.intensity) + 10.0f) * 1.5f)); }},
      {A, "-clamp_intensity 50 150",
       [](Rec& p, Q) {
         p.f.intensity = p.f.intensity > 150 ? 150 : p.f.intensity < 50 ? 50 : p.f.intensity;
       }},
      {A, "-copy_RGB_into_intensity",
       [](Rec& p, Q) {
         p.f.intensity =
             static_cast<uint16_t>(0.2989 * p.f.rgb[0] + 0.587 * p.f.rgb[1] + 0.114 * p.f.rgb[2] + 0.5);
       }},
      {A, "-copy_G_into_intensity", [](Rec& p, Q) { p.f.intensity = p.f.rgb[1]; }},
      {A, "-translate_gps_time -245379 -bin_gps_time_into_intensity 0.001",
       [](Rec& p, Q) {
         p.f.gps_time += -245379;
         p.f.intensity = static_cast<uint16_t>(std::trunc(p.f.gps_time / 0.001 + 0.5));
       }},
      {A, "-scale_scan_angle 1.5",
       [](Rec& p, Q) { p.f.scan_angle_rank = angle_rank(float(p.f.scan_angle_rank) * 1.5f); }},
      {A, "-translate_scan_angle 120",
       [](Rec& p, Q) { p.f.scan_angle_rank = angle_rank(float(p.f.scan_angle_rank) + 120.0f); }},
      {A, "-set_scan_angle -12.6", [](Rec& p, Q) { p.f.scan_angle_rank = -13; }},
      {A, "-set_return_number 1", [](Rec& p, Q) { p.f.return_number = 1; }},
      {A, "-change_number_of_returns_from_to 2 5",
       [](Rec& p, Q) {
         if (p.f.number_of_returns == 2) p.f.number_of_returns = 5;
       }},
      {A, "-set_classification 6", [](Rec& p, Q) { set_class(p, 6); }},
      {A, "-change_classification_from_to 2 40",
       [](Rec& p, Q) {
         if (p.f.classification == 2) set_class(p, 40);
       }},
      {A, "-classify_z_above_as 450 7",
       [](Rec& p, Q q) {
         if (z_of(p, q) > 450) set_class(p, 7);
       }},
      {A, "-classify_intensity_between_as 10 50 9",
       [](Rec& p, Q) {
         if (p.f.intensity >= 10 && p.f.intensity <= 50) set_class(p, 9);
       }},
      {B, "-move_ancient_to_extended_classification",
       [](Rec& p, Q) {
         const int byte =
             p.f.classification | p.f.synthetic_flag << 5 | p.f.keypoint_flag << 6 | p.f.withheld_flag << 7;
         if (byte < 32) return;
         p.f.extended_classification = static_cast<uint8_t>(byte);
         p.f.classification = 0;
         p.f.synthetic_flag = p.f.keypoint_flag = p.f.withheld_flag = 0;
         p.f.extended_classification_flags = p.f.extended_classification_flags & 8;
       }},
      {A, "-set_withheld_flag 1",
       [](Rec& p, Q) {
         p.f.withheld_flag = 1;
         p.f.extended_classification_flags = p.f.extended_classification_flags | 4;
       }},
      {B, "-set_synthetic_flag 0",
       [](Rec& p, Q) {
         p.f.synthetic_flag = 0;
         p.f.extended_classification_flags = p.f.extended_classification_flags & 14;
       }},
      {A, "-set_scan_direction_flag 1 -set_edge_of_flight_line 1",
       [](Rec& p, Q) {
         p.f.scan_direction_flag = 1;
         p.f.edge_of_flight_line = 1;
       }},
      {A, "-set_user_data 9", [](Rec& p, Q) { p.f.user_data = 9; }},
      {A, "-scale_user_data 0.5",
       [](Rec& p, Q) { p.f.user_data = saturate8(double(float(p.f.user_data) * 0.5f)); }},
      {A, "-change_user_data_from_to 124 1",
       [](Rec& p, Q) {
         if (p.f.user_data == 124) p.f.user_data = 1;
       }},
      {A, "-copy_classification_into_user_data", [](Rec& p, Q) { p.f.user_data = p.f.classification; }},
      {A, "-set_point_source 12", [](Rec& p, Q) { p.f.point_source_ID = 12; }},
      {E, "-change_point_source_from_to 7330 1",
       [](Rec& p, Q) {
         if (p.f.point_source_ID == 7330) p.f.point_source_ID = 1;
       }},
      {A, "-copy_user_data_into_point_source", [](Rec& p, Q) { p.f.point_source_ID = p.f.user_data; }},
      {A, "-bin_Z_into_point_source 100",
       [](Rec& p, Q) { p.f.point_source_ID = static_cast<uint16_t>(p.f.Z / 100); }},
      {A, "-bin_abs_scan_angle_into_point_source 2",
       [](Rec& p, Q) {
         p.f.point_source_ID = static_cast<uint16_t>(float(std::abs(p.f.scan_angle_rank)) / 2.0f);
       }},
      {E, "-merge_scanner_channel_into_point_source",
       [](Rec& p, Q) {
         p.f.point_source_ID = static_cast<uint16_t>(p.f.point_source_ID * 4 + p.f.extended_scanner_channel);
       }},
      {E, "-split_scanner_channel_from_point_source",
       [](Rec& p, Q) {
         p.f.extended_scanner_channel = p.f.point_source_ID % 4;
         p.f.point_source_ID = static_cast<uint16_t>(p.f.point_source_ID / 4);
       }},
      {A, "-set_gps_time 5", [](Rec& p, Q) { p.f.gps_time = 5; }},
      {A, "-translate_gps_time 0.5", [](Rec& p, Q) { p.f.gps_time += 0.5; }},
      {A, "-set_RGB 1 2 3",
       [](Rec& p, Q) {
         p.f.rgb[0] = 1;
         p.f.rgb[1] = 2;
         p.f.rgb[2] = 3;
       }},
      {A, "-scale_RGB 2 0.5 1.5",
       [](Rec& p, Q) {
         const float s[3] = {2, 0.5f, 1.5f};
         for (int c = 0; c < 3; c++) p.f.rgb[c] = saturate16(double(float(p.f.rgb[c]) * s[c]));
       }},
      {A, "-scale_RGB_up",
       [](Rec& p, Q) {
         for (int c = 0; c < 3; c++) p.f.rgb[c] = static_cast<uint16_t>(p.f.rgb[c] * 256);
       }},
      {A, "-switch_R_B", [](Rec& p, Q) { std::swap(p.f.rgb[0], p.f.rgb[2]); }},
      {A, "-set_RGB_of_class 2 100 200 300",
       [](Rec& p, Q) {
         if (p.f.classification != 2) return;
         p.f.rgb[0] = 100;
         p.f.rgb[1] = 200;
         p.f.rgb[2] = 300;
       }},
      {A, "-switch_RGB_intensity_into_CIR",
       [](Rec& p, Q) {
         const uint16_t r = p.f.rgb[0], g = p.f.rgb[1];
         p.f.rgb[0] = p.f.intensity;
         p.f.rgb[1] = r;
         p.f.rgb[2] = g;
       }},
      {A, "-multiply_scaled_intensity_into_RGB_green 0.01",
       [](Rec& p, Q) { p.f.rgb[1] = saturate16(double(float(p.f.rgb[1]) * 0.01f * float(p.f.intensity))); }},
      {E, "-copy_attribute_into_intensity 0", [](Rec& p, Q) { p.f.intensity = extra_u16_at0(p); }},
      {E, "-set_attribute 3 42",
       [](Rec& p, Q) {
         const uint32_t v = 42;
         std::memcpy(p.extra.data() + 15, &v, 4);
       }},
      {E, "-scale_attribute 0 2",
       [](Rec& p, Q) {
         const uint16_t v = static_cast<uint16_t>(extra_u16_at0(p) * 2);
         std::memcpy(p.extra.data(), &v, 2);
       }},
      {E, "-translate_intensity 7 -copy_intensity_into_attribute 3",
       [](Rec& p, Q) {
         p.f.intensity = saturate16(double(float(p.f.intensity) + 7.0f));
         const uint32_t v = p.f.intensity;
         std::memcpy(p.extra.data() + 15, &v, 4);
       }},
      {E, "-classify_attribute_below_as 3 60 12",
       [](Rec& p, Q) {
         if (extra_u32_at15(p) < 60) set_class(p, 12);
       }},
      {A,
       "-copy_intensity_into_register 0 -copy_user_data_into_register 1 -add_registers 0 1 2 "
       "-copy_register_into_z 2",
       [=](Rec& p, Q q) { setz(p, q, double(p.f.intensity) + double(p.f.user_data)); }},
      {A, "-keep_class 2 -filtered_transform -translate_z 10 -set_user_data 5",
       [=](Rec& p, Q q) {
         if (p.f.classification != 2) return;
         setz(p, q, z_of(p, q) + 10);
         p.f.user_data = 5;
       }},
      {A7, "-set_classification 40", [](Rec& p, Q) { set_class(p, 40); }},
      {A7, "-set_extended_return_number 9 -change_extended_number_of_returns_from_to 2 12",
       [](Rec& p, Q) {
         p.f.extended_return_number = 9;
         if (p.f.extended_number_of_returns == 2) p.f.extended_number_of_returns = 12;
       }},
      {A7, "-set_scanner_channel 2 -copy_scanner_channel_into_user_data",
       [](Rec& p, Q) {
         p.f.extended_scanner_channel = 2;
         p.f.user_data = 2;
       }},
      {A7, "-set_scan_angle -12.6", [](Rec& p, Q) { p.f.extended_scan_angle = -2100; }},
  };
}

TEST(RealFiles, OperationsChangeWhatTheirRulesChange) {
  if (!std::filesystem::is_directory(kData)) GTEST_SKIP() << "no shared data folder " << kData;
  int cases = 0;
  for (const OperationCase& c : operation_cases()) {
    SCOPED_TRACE(std::string(c.file) + " " + c.options);
    const File* file = records(c.file);
    ASSERT_NE(file, nullptr);
    const std::vector<Rec> got = read_with(c.file, c.options);
    ASSERT_EQ(got.size(), file->recs.size());
    size_t changed = 0;
    for (size_t i = 0; i < got.size(); i++) {
      Rec expected = file->recs[i];
      c.change(expected, file->q);
      changed += same(expected, file->recs[i]) ? 0 : 1;
      ASSERT_TRUE(same(got[i], expected)) << "point " << i;
    }
    // An operation that changes no point of the file shows nothing.
    EXPECT_GT(changed, 0u);
    cases++;
  }
  EXPECT_GE(cases, 40);
}

}  // namespace

namespace {

// Layered compressed files decode only the fields the stages read: with the driver's mask (z) and
// a filter, the kept points equal those of a full decode in x, y, z and the fields the filter
// tests, while a field nobody asked for is left undecoded (it differs from the full decode).
TEST(RealFiles, LayeredFilesDecodeOnlyWhatTheFilterReads) {
  if (!std::filesystem::is_directory(kData)) GTEST_SKIP() << "no shared data folder " << kData;
  struct Case {
    const char* options;
    bool (*kept)(const LASpointFields&);
    bool intensity_read;  // the filter reads intensities, so they are decoded
  };
  const Case cases[] = {
      {"-keep_class 2", [](const LASpointFields& f) { return f.classification == 2; }, false},
      {"-keep_intensity 0 300", [](const LASpointFields& f) { return f.intensity <= 300; }, true},
  };
  for (const char* name : {"autzen-core-layered.rkp", "simple-layered-varchunks.rkp", "fmt8-small.rkp"}) {
    const File* file = records(name);
    ASSERT_NE(file, nullptr) << name;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(name) + " " + c.options);
      Argv args(words("-i " + kData + "/" + name + " " + c.options));
      LASinputOpener opener;
      opener.set_point_stages(std::make_unique<LASinputStages>());
      ASSERT_TRUE(opener.parse(args.argc(), args.argv()));
      opener.set_decompress_selective(las_fields::kZ);
      std::unique_ptr<LASreader> reader = opener.open();
      ASSERT_NE(reader, nullptr);
      std::vector<Rec> got;
      while (reader->read_point()) got.push_back(snapshot(reader->point));
      std::vector<const Rec*> expected;
      for (const Rec& r : file->recs) {
        if (c.kept(r.f)) expected.push_back(&r);
      }
      ASSERT_GT(expected.size(), 0u);
      ASSERT_EQ(got.size(), expected.size());
      size_t other_intensities = 0, other_times = 0;
      for (size_t i = 0; i < got.size(); i++) {
        const LASpointFields& a = got[i].f;
        const LASpointFields& b = expected[i]->f;
        ASSERT_TRUE(a.X == b.X && a.Y == b.Y && a.Z == b.Z) << "kept point " << i;
        if (c.intensity_read) {
          ASSERT_EQ(a.intensity, b.intensity) << "kept point " << i;
        } else {
          ASSERT_EQ(a.classification, b.classification) << "kept point " << i;
        }
        other_intensities += a.intensity != b.intensity;
        other_times += a.gps_time != b.gps_time;
      }
      EXPECT_GT(other_times, 0u);  // never asked for
      if (!c.intensity_read) {
        EXPECT_GT(other_intensities, 0u);
      }
    }
  }
}

}  // namespace
