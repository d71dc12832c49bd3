// Writes synthetic LAS 1.2 tiles of analytic terrain: the bundled sample, test surfaces with known
// contours, and large airborne-like tiles for benchmarks.
//
//   cm_lasgen --surface sample|cone|paraboloid|plane --points N --size METRES --out FILE.las
//             [--order scan|random] [--seed S] [--jitter METRES] [--part K/N]
//             [--clip MIN_X MIN_Y MAX_X MAX_Y] [--csv FILE.csv]
//
// --csv also writes the points as "x,y,z" text, for tools that take no LAS input.
// --part K/N keeps every N-th point starting with the K-th, so N parts together hold the points of
// the whole tile. --clip keeps the points whose real coordinates lie in [MIN, MAX) on both axes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tools/surfaces.h"

namespace {

struct Options {
  std::string surface = "sample";
  std::string order = "scan";
  std::string out;
  std::string csv;
  uint64_t points = 40000;
  double size = 200.0;
  double jitter = 0.15;
  uint32_t seed = 1;
  uint64_t part = 0, parts = 1;
  bool clip = false;
  double clip_box[4] = {0, 0, 0, 0};  // min x, min y, max x, max y in real coordinates
};

void put_u8(std::vector<unsigned char>& b, unsigned v) {
  b.push_back(static_cast<unsigned char>(v));
}
void put_u16(std::vector<unsigned char>& b, unsigned v) {
  put_u8(b, v & 0xFF);
  put_u8(b, (v >> 8) & 0xFF);
}
void put_u32(std::vector<unsigned char>& b, uint32_t v) {
  put_u16(b, v & 0xFFFF);
  put_u16(b, v >> 16);
}
void put_f64(std::vector<unsigned char>& b, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  put_u32(b, static_cast<uint32_t>(bits));
  put_u32(b, static_cast<uint32_t>(bits >> 32));
}

struct Quantized {
  std::vector<int32_t> xyz;  // X, Y, Z per point
  int32_t min[3] = {INT32_MAX, INT32_MAX, INT32_MAX};
  int32_t max[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
};

constexpr double kOrigin[3] = {500000.0, 4000000.0, 0.0};
constexpr double kScale = 0.01;

void add_point(const Options& o, Quantized& q, double x, double y, double z) {
  const double real[3] = {x + kOrigin[0], y + kOrigin[1], z};
  int32_t v3[3];
  for (int a = 0; a < 3; a++) v3[a] = static_cast<int32_t>(std::llround((real[a] - kOrigin[a]) / kScale));
  if (o.clip) {
    const double rx = v3[0] * kScale + kOrigin[0], ry = v3[1] * kScale + kOrigin[1];
    if (rx < o.clip_box[0] || ry < o.clip_box[1] || rx >= o.clip_box[2] || ry >= o.clip_box[3]) return;
  }
  for (int a = 0; a < 3; a++) {
    const int32_t v = v3[a];
    q.xyz.push_back(v);
    if (v < q.min[a]) q.min[a] = v;
    if (v > q.max[a]) q.max[a] = v;
  }
}

// Scan lines about `spacing` apart, flown back and forth, with small jitter: the order in which
// an airborne scanner delivers its returns.
void generate(const Options& o, Quantized& q) {
  std::mt19937_64 rng(o.seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double spacing = o.size / std::sqrt(static_cast<double>(o.points));
  const auto per_line = static_cast<uint64_t>(std::ceil(o.size / spacing));
  q.xyz.reserve(o.points * 3);
  for (uint64_t i = 0; i < o.points; i++) {
    double x, y;
    if (o.order == "random") {
      x = unit(rng) * o.size;
      y = unit(rng) * o.size;
    } else {
      const uint64_t line = i / per_line, k = i % per_line;
      const double along = static_cast<double>(line % 2 == 0 ? k : per_line - 1 - k) * spacing;
      x = std::clamp(along + (unit(rng) - 0.5) * 2.0 * o.jitter, 0.0, o.size);
      y = std::clamp(static_cast<double>(line) * spacing + (unit(rng) - 0.5) * 2.0 * o.jitter, 0.0, o.size);
    }
    if (i % o.parts == o.part) add_point(o, q, x, y, surface_z(o.surface, x, y, o.size));
  }
}

bool write_las(const Options& o, const Quantized& q) {
  const uint32_t count = static_cast<uint32_t>(q.xyz.size() / 3);
  std::vector<unsigned char> h;
  h.insert(h.end(), {'L', 'A', 'S', 'F'});
  put_u16(h, 0);             // file source ID
  put_u16(h, 0);             // global encoding
  h.insert(h.end(), 16, 0);  // project GUID
  put_u8(h, 1);
  put_u8(h, 2);
  char text[32] = {0};
  std::snprintf(text, sizeof text, "synthetic %s", o.surface.c_str());
  h.insert(h.end(), text, text + 32);
  std::memset(text, 0, sizeof text);
  std::snprintf(text, sizeof text, "contourmill lasgen");
  h.insert(h.end(), text, text + 32);
  put_u16(h, 1);
  put_u16(h, 2026);
  put_u16(h, 227);
  put_u32(h, 227);
  put_u32(h, 0);   // VLRs
  put_u8(h, 0);    // point format 0
  put_u16(h, 20);  // record length
  put_u32(h, count);
  put_u32(h, count);
  for (int r = 1; r < 5; r++) put_u32(h, 0);
  for (int a = 0; a < 3; a++) put_f64(h, kScale);
  for (int a = 0; a < 3; a++) put_f64(h, kOrigin[a]);
  for (int a = 0; a < 3; a++) {
    put_f64(h, q.max[a] * kScale + kOrigin[a]);
    put_f64(h, q.min[a] * kScale + kOrigin[a]);
  }
  FILE* f = std::fopen(o.out.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "ERROR: cannot open '%s' for write\n", o.out.c_str());
    return false;
  }
  bool ok = std::fwrite(h.data(), 1, h.size(), f) == h.size();
  std::vector<unsigned char> rec;
  rec.reserve(20 * 65536);
  for (uint32_t i = 0; i < count && ok; i++) {
    for (int a = 0; a < 3; a++) put_u32(rec, static_cast<uint32_t>(q.xyz[3 * i + a]));
    put_u16(rec, 0);    // intensity
    put_u8(rec, 0x09);  // return 1 of 1
    put_u8(rec, 2);     // ground
    put_u8(rec, 0);     // scan angle
    put_u8(rec, 0);     // user data
    put_u16(rec, 1);    // point source
    if (rec.size() >= 20 * 65536 || i + 1 == count) {
      ok = std::fwrite(rec.data(), 1, rec.size(), f) == rec.size();
      rec.clear();
    }
  }
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) std::fprintf(stderr, "ERROR: writing '%s' failed\n", o.out.c_str());
  return ok;
}

bool write_csv(const Options& o, const Quantized& q) {
  FILE* f = std::fopen(o.csv.c_str(), "w");
  if (!f) return false;
  bool ok = std::fprintf(f, "x,y,z\n") > 0;
  for (size_t i = 0; ok && i < q.xyz.size(); i += 3) {
    ok = std::fprintf(f, "%.2f,%.2f,%.2f\n", q.xyz[i] * kScale + kOrigin[0],
                      q.xyz[i + 1] * kScale + kOrigin[1], q.xyz[i + 2] * kScale + kOrigin[2]) > 0;
  }
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) std::fprintf(stderr, "ERROR: writing '%s' failed\n", o.csv.c_str());
  return ok;
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; i++) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const char* v = argv[++i];
    if (a == "--surface")
      o.surface = v;
    else if (a == "--points")
      o.points = std::strtoull(v, nullptr, 10);
    else if (a == "--size")
      o.size = std::atof(v);
    else if (a == "--out")
      o.out = v;
    else if (a == "--csv")
      o.csv = v;
    else if (a == "--order")
      o.order = v;
    else if (a == "--seed")
      o.seed = static_cast<uint32_t>(std::atoi(v));
    else if (a == "--jitter")
      o.jitter = std::atof(v);
    else if (a == "--part") {
      unsigned long long k = 0, n = 0;
      if (std::sscanf(v, "%llu/%llu", &k, &n) != 2 || n == 0 || k >= n) return false;
      o.part = k, o.parts = n;
    } else if (a == "--clip") {
      if (i + 3 >= argc) return false;
      o.clip = true;
      o.clip_box[0] = std::atof(v);
      for (int k = 1; k < 4; k++) o.clip_box[k] = std::atof(argv[++i]);
    } else
      return false;
  }
  return !o.out.empty() && o.points >= 3 && o.points <= UINT32_MAX && o.size > 0 &&
         is_known_surface(o.surface) && (o.order == "scan" || o.order == "random");
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: cm_lasgen --surface sample|cone|paraboloid|plane --points N --size METRES "
                 "--out FILE.las [--order scan|random] [--seed S] [--jitter METRES] [--part K/N] "
                 "[--clip MIN_X MIN_Y MAX_X MAX_Y] [--csv FILE.csv]\n");
    return 1;
  }
  Quantized q;
  generate(o, q);
  if (!write_las(o, q)) return 1;
  return o.csv.empty() || write_csv(o, q) ? 0 : 1;
}
