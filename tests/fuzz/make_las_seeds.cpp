// Writes the small seed files of corpus_las/ (run by hand when the seeds should change):
//   make_las_seeds tests/fuzz/corpus_las
#include <string>
#include <vector>

#include "tools/las_writer.h"

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  const std::vector<las_test::Point> pts = {{1.5, 2.5, 3.5}, {10.0, 20.0, 30.0}, {-4.0, 5.0, -6.0}};
  std::vector<uint8_t> geo;
  for (uint16_t v : {uint16_t{1}, uint16_t{1}, uint16_t{0}, uint16_t{1}, uint16_t{1024}, uint16_t{0},
                     uint16_t{1}, uint16_t{2}}) {
    las_test::append(geo, v);
  }

  las_test::Options o;
  bool ok = las_test::write_file(dir + "/las12_fmt0.las", las_test::build(o, pts));

  o.point_data_format = 3;
  o.vlrs.push_back({"LASF_Projection", 34735, geo});
  o.vlrs.push_back({"LASF_Projection", 2112, {'G', 'E', 'O', 'G', 'C', 'S', 0}});
  o.user_data_after_header = {1, 2};
  ok &= las_test::write_file(dir + "/las12_fmt3_vlrs.las", las_test::build(o, pts));

  las_test::Options e;
  e.point_data_format = 1;
  e.point_data_record_length = 31;
  std::vector<uint8_t> descr(26, 0);
  descr[0] = 8;
  e.vlrs.push_back({"LASF_Spec", 100, descr});
  ok &= las_test::write_file(dir + "/las12_fmt1_extra.las", las_test::build(e, pts));

  las_test::Options w;
  w.version_minor = 4;
  w.point_data_format = 10;
  w.evlrs.push_back({"LASF_Projection", 2112, {'W', 0}});
  std::vector<uint8_t> tile(28, 0);
  w.vlrs.push_back({"Quorvane", 10, tile});
  ok &= las_test::write_file(dir + "/las14_fmt10_evlr.las", las_test::build(w, pts));

  las_test::Options t;
  t.version_minor = 3;
  t.point_data_format = 6;
  ok &= las_test::write_file(dir + "/las13_fmt6.las", las_test::build(t, pts));
  return ok ? 0 : 1;
}
