// Contours (PolyLineZ), polygons, point sets or TIN triangles (MultiPatch) as an ESRI Shapefile:
// the .shp, its .shx index and a .dbf table, all with explicit byte order independent of the host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lineio/dbfwriter.h"
#include "lineio/linewriter.h"
#include "lineio/output_file.h"

// Shape types: 13 PolyLineZ, 15 PolygonZ, 18 MultiPointZ, 31 MultiPatch (triangles through
// add_triangle). Type 11 (PointZ) is refused at open: it has no record layout here, and accepting
// it would drop every vertex while reporting success.
//
// max_elements > 0 writes a record automatically after that many elements (vertices, or triangles
// for type 31). A PolyLineZ record split this way hands its last vertex on as the first vertex of
// the next record so the line stays connected (so max_elements must be at least 2); a PolygonZ
// ring cannot be split, so type 15 needs max_elements 0. Every record written, automatic or by
// end_line, gets its own .dbf record, keeping the tables in step.
//
// Contours carry no measures, so every M value (range and per vertex) is written as the format's
// "no data" (-1e39); readers then see plain Z geometries instead of measures of 0.
//
// A record whose content length or whose end in the file would not fit the format's signed 32-bit
// 16-bit-word counts is refused with an "ERROR: ..." line, never written truncated; close() then
// answers false. close() also answers false when any write to the three files failed.
class SHPwriter : public LINEwriter {
 public:
  SHPwriter() = default;
  ~SHPwriter() override;

  // The name must end in ".shp" (lower case). use_dbf_writer or z_attribute writes the .dbf through
  // a DBFwriter (with the float column "z" when z_attribute); otherwise a table without columns.
  bool open(const char* file_name, int shape_type, int max_elements = 0, bool use_dbf_writer = false,
            bool z_attribute = false);
  bool add_vertex(float x, float y, float z) override;
  // Type 31 only: one triangle of the record being built.
  bool add_triangle(float x1, float y1, float z1, float x2, float y2, float z2, float x3, float y3, float z3);
  // Shapefiles hold whole lines only: ignored.
  bool add_segment(float, float, float, float, float, float) override { return true; }
  // Writes the record being built (nothing when it holds no element) and its .dbf record.
  bool end_line() override;
  // Writes `wkt` as the .prj beside the .shp; it takes its place together with the other files.
  // False (after the message) when the file cannot be created.
  bool add_prj(std::string_view wkt);
  // Writes a pending record, patches file lengths and bounding boxes into both headers and
  // completes the .dbf. The files (.shp, .shx, .dbf and a .prj) take their places only when all
  // of them are complete; otherwise none of them is replaced.
  bool close() override;

  int get_shape_type() const { return shape_type; }
  std::int32_t get_record_count() const { return record_count; }

  // Content length in 16-bit words of a record with that many elements; -1 for an unknown type.
  static std::int64_t content_length_words(int shape_type, std::int64_t elements);
  // Whether a record of that content length still fits behind file_length words.
  static bool record_fits(std::int64_t file_length_words, std::int64_t content_length_words);
  // The most elements one record can hold in an otherwise empty file.
  static std::int64_t max_elements_per_record(int shape_type);

 private:
  bool start_element();
  bool append_point(float x, float y, float z);
  bool element_added();
  bool write_record_and_attributes();
  bool write_shape_record();
  bool begin_record(std::int64_t content_length);
  bool finish_record(std::int64_t content_length);
  void put_points_and_z(std::int64_t n);
  void reset_record();
  bool write_header(OutputFile& file, std::int64_t length_words);
  bool complete_plain_dbf();
  double z_shift() const { return only_2d ? 0.0 : z_offset; }

  // Appends to the reusable record buffer.
  void put_i32_be(std::int32_t v);
  void put_i32_le(std::int32_t v);
  void put_f64_le(double v);

  bool is_open = false;
  std::string file_name;
  int shape_type = 0;
  int points_per_element = 0;    // vertices per element: 1, or 3 for MultiPatch triangles
  std::int64_t file_length = 0;  // .shp length so far in 16-bit words; 50 after open
  std::int32_t record_count = 0;
  int max_elements = 0;  // 0: no automatic records
  std::int64_t element_count = 0;
  std::int64_t element_limit = 0;   // max_elements_per_record(shape_type)
  std::vector<float> points;        // x, y, z of the record being built, before offsets
  float record_min[3] = {0, 0, 0};  // box of the record being built, before offsets
  float record_max[3] = {0, 0, 0};
  double file_min[3] = {0, 0, 0};  // box of all records written, offsets applied
  double file_max[3] = {0, 0, 0};
  bool carried = false;         // the record's only vertex was handed on from the previous record
  bool record_refused = false;  // the record being built outgrew the format; end_line drops it
  bool failed = false;          // a record was refused since open
  bool z_attribute = false;
  OutputFile shp_file;
  OutputFile shx_file;
  OutputFile plain_dbf_file;
  OutputFile prj_file;
  std::unique_ptr<DBFwriter> dbf_writer;
  std::vector<std::uint8_t> record;  // the record being encoded
  std::size_t record_pos = 0;
};
