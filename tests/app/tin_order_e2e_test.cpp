// The contours of a survey must not depend on the order its records come in: the same points
// shuffled, split over merged files or piped give byte-identical output. The tiles are exact
// grids, full of cocircular points, where any dependence on the order would show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "run_tool.h"

namespace {

// The records of a LAS 1.2 file as the generator writes it, and a writer for new files that
// share its header with the point count and bounding box brought up to date.
class LasRecords {
 public:
  explicit LasRecords(const std::string& bytes) {
    const uint32_t offset = get<uint32_t>(bytes, 96);
    length_ = get<uint16_t>(bytes, 105);
    const uint32_t count = get<uint32_t>(bytes, 107);
    header_ = bytes.substr(0, offset);
    for (uint32_t i = 0; i < count; i++)
      records_.push_back(bytes.substr(offset + size_t{i} * length_, length_));
  }

  const std::vector<std::string>& records() const { return records_; }

  // The same record one elevation step higher: a repeated place with another z.
  std::string raised(const std::string& record, int32_t dz) const {
    std::string r = record;
    set<int32_t>(r, 8, get<int32_t>(r, 8) + dz);
    return r;
  }

  void write(const std::filesystem::path& path, const std::vector<std::string>& records) const {
    std::string header = header_;
    set<uint32_t>(header, 107, static_cast<uint32_t>(records.size()));
    set<uint32_t>(header, 111, static_cast<uint32_t>(records.size()));  // all of return 1
    for (int axis = 0; axis < 3; axis++) {
      int32_t lo = INT32_MAX, hi = INT32_MIN;
      for (const std::string& r : records) {
        lo = std::min(lo, get<int32_t>(r, 4 * axis));
        hi = std::max(hi, get<int32_t>(r, 4 * axis));
      }
      const double scale = get<double>(header, 131 + 8 * axis), offset = get<double>(header, 155 + 8 * axis);
      set<double>(header, 179 + 16 * axis, hi * scale + offset);
      set<double>(header, 187 + 16 * axis, lo * scale + offset);
    }
    std::string bytes = header;
    for (const std::string& r : records) bytes += r;
    std::ofstream(path, std::ios::binary) << bytes;
  }

 private:
  template <class T>
  static T get(const std::string& b, size_t at) {
    T v;
    std::memcpy(&v, b.data() + at, sizeof v);
    return v;
  }
  template <class T>
  static void set(std::string& b, size_t at, T v) {
    std::memcpy(b.data() + at, &v, sizeof v);
  }

  std::string header_;
  uint16_t length_ = 0;
  std::vector<std::string> records_;
};

class TinOrderE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto generated = dir_ / "generated.las";
    const ToolRun gen = run_tool(CM_LASGEN_BIN,
                                 {"--surface", "sample", "--points", "40000", "--size", "200", "--jitter",
                                  "0", "--out", generated.string()},
                                 dir_.path());
    ASSERT_EQ(gen.exit_code, 0) << gen.err;
    las_ = std::make_unique<LasRecords>(read_file(generated));
    // Every seventh place once more, 3 m higher, after all first copies: the first z must stay.
    places_ = las_->records();
    for (size_t i = 0; i < places_.size(); i += 7) repeats_.push_back(las_->raised(places_[i], 300));
  }

  // Contours of one run, as WKT bytes.
  std::string contours(const std::string& name, std::vector<std::string> args,
                       const std::string& stdin_path = "/dev/null") {
    const auto out = dir_ / (name + ".wkt");
    args.insert(args.end(), {"-o", out.string(), "-iso_every", "0.5"});
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir_.path(), stdin_path);
    EXPECT_EQ(run.exit_code, 0) << name << ": " << run.err;
    return read_file(out);
  }

  std::string write(const std::string& name, const std::vector<std::string>& first,
                    const std::vector<std::string>& then = {}) {
    std::vector<std::string> records = first;
    records.insert(records.end(), then.begin(), then.end());
    const auto path = dir_ / name;
    las_->write(path, records);
    return path.string();
  }

  static std::vector<std::string> shuffled(std::vector<std::string> records, unsigned seed) {
    std::shuffle(records.begin(), records.end(), std::mt19937(seed));
    return records;
  }

  TempDir dir_{"tin_order"};
  std::unique_ptr<LasRecords> las_;
  std::vector<std::string> places_, repeats_;
};

TEST_F(TinOrderE2E, ShuffledMergedAndPipedRecordsGiveByteIdenticalContours) {
  const std::string in_order = contours("in_order", {"-i", write("in_order.las", places_, repeats_)});
  ASSERT_GT(std::count(in_order.begin(), in_order.end(), '\n'), 50) << "too few contours to compare";

  const std::vector<std::string> mixed = shuffled(places_, 1);
  EXPECT_EQ(contours("shuffled", {"-i", write("shuffled.las", mixed, shuffled(repeats_, 2))}), in_order);

  const size_t half = mixed.size() / 2;
  const std::string part1 = write("part1.las", {mixed.begin(), mixed.begin() + static_cast<ptrdiff_t>(half)});
  const std::string part2 =
      write("part2.las", {mixed.begin() + static_cast<ptrdiff_t>(half), mixed.end()}, repeats_);
  EXPECT_EQ(contours("merged", {"-i", part1, part2, "-merged"}), in_order);

  EXPECT_EQ(contours("piped", {"-stdin"}, dir_ / "shuffled.las"), in_order);
}

TEST_F(TinOrderE2E, RepeatedPlacesKeepTheFirstElevation) {
  const std::string first_copies = contours("first", {"-i", write("first.las", places_, repeats_)});
  // Had the raised copies won, or a copy chosen by anything but arrival, these would agree.
  EXPECT_NE(contours("raised_first", {"-i", write("raised_first.las", repeats_, places_)}), first_copies);
  EXPECT_EQ(contours("without_repeats", {"-i", write("without_repeats.las", places_)}), first_copies);
}

TEST_F(TinOrderE2E, ArrivalOrderFollowsTheRecordOrder) {
  // The option keeps the triangulation of cocircular points in the order the points arrive, so
  // on a grid another record order gives other contours; the sorted default does not.
  const std::string a = write("a.las", places_), b = write("b.las", shuffled(places_, 3));
  EXPECT_NE(contours("arrival_a", {"-i", a, "-arrival_order"}),
            contours("arrival_b", {"-i", b, "-arrival_order"}));
  EXPECT_EQ(contours("sorted_a", {"-i", a}), contours("sorted_b", {"-i", b}));
}

}  // namespace
