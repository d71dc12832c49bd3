// A child of the multi-process run, parsing the command line built for it, holds the settings its
// parent holds for that file: the same driver settings, output options, georeferencing, and an
// input opener that reads the file's points exactly as the parent's would.
#include "app/child_commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "common/messages.h"
#include "pointio/lasreader.h"
#include "run_tool.h"

namespace {

namespace fs = std::filesystem;

bool parse_words(std::vector<std::string> words, CommandLine& line, std::string* messages = nullptr) {
  // The program path leads the converter to its EPSG tables beside the built program.
  words.insert(words.begin(), CM_CONTOURMILL_BIN);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  MessageCollector collected;
  const bool ok = parse_command_line(static_cast<int>(argv.size()), argv.data(), line).proceed;
  if (messages) *messages = collected.text();
  return ok;
}

// What the georeferencing settings do, read through the converter's queries rather than through
// its write-back, so that a setting the write-back lost shows as a difference.
std::string describe_geo(const GeoProjectionConverter& geo) {
  std::ostringstream s;
  s.precision(17);
  for (GeoSide side : {GeoSide::source, GeoSide::target}) {
    s << (side == GeoSide::source ? "source" : "target") << ':';
    if (const GeoProjectionParameters* p = geo.get_projection(side)) {
      s << " type " << p->type << " epsg " << p->geokey << " gcs " << p->gcs << " utm " << p->utm_zone_number
        << (p->utm_northern_hemisphere ? 'N' : 'S') << " fe " << p->false_easting_meter << " fn "
        << p->false_northing_meter << " lat0 " << p->lat_origin_degree << " lon0 " << p->long_meridian_degree
        << " par " << p->first_std_parallel_degree << ' ' << p->second_std_parallel_degree << " k "
        << p->scale_factor;
      std::string wkt;
      if (geo.get_ogc_wkt(wkt, side)) s << " wkt " << wkt;
    }
    s << " units " << geo.has_coordinate_unit(side) << static_cast<int>(geo.get_coordinate_unit(side))
      << geo.get_coordinate_factor(side) << " elevation " << geo.has_elevation_unit(side)
      << static_cast<int>(geo.get_elevation_unit(side)) << geo.get_elevation_factor(side) << '\n';
  }
  s << "ellipsoid " << geo.get_ellipsoid().id << " gcs " << geo.get_gcs_code() << " vertical "
    << geo.get_vertical_code() << " datum " << geo.get_datum_description() << " verbose " << geo.is_verbose();
  return s.str();
}

std::string describe_output(const LineOutputOpener& o) {
  const auto text = [](const char* t) { return t ? std::string("'") + t + "'" : std::string("none"); };
  std::ostringstream s;
  s << "name " << text(o.get_file_name()) << " dir " << text(o.get_directory()) << " appendix "
    << text(o.get_appendix()) << " cut " << o.get_cut() << " format " << o.get_format() << " dbf "
    << o.get_dbf() << " stdout " << o.get_use_stdout() << " 2d " << o.get_only_2d() << " clamp "
    << o.get_kml_clamp_to_ground() << " offset " << o.get_kml_elevation_offset();
  return s.str();
}

// Every field of every point the reader delivers, and the header fields a run uses.
std::string read_all_points(LASinputOpener& input) {
  input.set_decompress_selective(0xFFFFFFFF);
  std::unique_ptr<LASreader> reader = input.open();
  if (!reader) return "no reader";
  std::ostringstream s;
  s.precision(17);
  const LASheader& h = reader->header;
  s << "scale " << h.x_scale_factor << ' ' << h.y_scale_factor << ' ' << h.z_scale_factor << " offset "
    << h.x_offset << ' ' << h.y_offset << ' ' << h.z_offset << " source " << h.file_source_ID << '\n';
  size_t count = 0;
  while (reader->read_point()) {
    const LASpoint& p = reader->point;
    s << p.X << ' ' << p.Y << ' ' << p.Z << ' ' << p.intensity << ' ' << int{p.return_number} << ' '
      << int{p.number_of_returns} << ' ' << int{p.classification} << ' ' << int{p.synthetic_flag}
      << int{p.keypoint_flag} << int{p.withheld_flag} << ' ' << int{p.scan_angle_rank} << ' '
      << int{p.user_data} << ' ' << p.point_source_ID << ' ' << p.gps_time << ' ' << p.rgb[0] << ' '
      << p.rgb[1] << ' ' << p.rgb[2] << ' ' << int{p.extended_classification} << '\n';
    count++;
  }
  s << count << " points\n";
  return s.str();
}

class ChildCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    // Real files carry varied classes, returns, intensities and point sources, which the filter
    // and transform cases below select and change.
    const fs::path shared = CM_SHARED_DATA_DIR;
    for (const char* name : {"simple.las", "autzen-core.las"}) {
      if (fs::exists(shared / name)) inputs_.push_back((shared / name).string());
    }
    const std::string odd = (dir_ / "a tile \"q\" $HOME.las").string();
    const ToolRun gen = run_tool(
        CM_LASGEN_BIN, {"--surface", "cone", "--points", "3000", "--size", "60", "--out", odd}, dir_.path());
    ASSERT_EQ(gen.exit_code, 0) << gen.err;
    inputs_.push_back(odd);
    // Without the shared folder a second generated tile gives buffering its neighbour.
    if (inputs_.size() < 2) {
      const std::string other = (dir_ / "b.las").string();
      const ToolRun more =
          run_tool(CM_LASGEN_BIN, {"--surface", "plane", "--points", "2000", "--size", "60", "--out", other},
                   dir_.path());
      ASSERT_EQ(more.exit_code, 0) << more.err;
      inputs_.push_back(other);
    }
    fs::create_directories(dir_ / "out dir");
    // The list a buffered run's children read their neighbours from.
    std::string list;
    for (const std::string& input : inputs_) list += input + "\n";
    std::FILE* f = std::fopen((dir_ / "list.txt").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(list.c_str(), f);
    std::fclose(f);
  }

  // Parses the parent's command line (the inputs, then `options`), builds the children's and
  // checks that every child's parsed settings equal the parent's.
  void check_children_match(std::vector<std::string> options) {
    SCOPED_TRACE(::testing::PrintToString(options));
    std::vector<std::string> words = {"-i"};
    words.insert(words.end(), inputs_.begin(), inputs_.end());
    words.insert(words.end(), options.begin(), options.end());
    words.insert(words.end(), {"-cores", "3"});
    CommandLine parent, reader_side;
    std::string messages;
    ASSERT_TRUE(parse_words(words, parent, &messages)) << messages;
    ASSERT_TRUE(parse_words(words, reader_side)) << "the parent's twin, which reads the files in turn";

    const std::vector<ChildCommand> commands = build_child_commands(parent, dir_ / "list.txt");
    ASSERT_EQ(commands.size(), inputs_.size());
    DriverSettings expected_driver = parent.driver;
    expected_driver.cores = 1;  // the children run one file each, in the normal run
    expected_driver.cpu64 = false;

    for (size_t k = 0; k < commands.size(); k++) {
      const ChildCommand& command = commands[k];
      SCOPED_TRACE(::testing::PrintToString(command.words));
      EXPECT_EQ(command.input, inputs_[k]);
      CommandLine child;
      ASSERT_TRUE(parse_words(command.words, child, &messages)) << messages;
      EXPECT_EQ(child.input.file_name_number(), 1u);
      EXPECT_EQ(child.input.file_name_at(0), inputs_[k]);
      EXPECT_TRUE(child.driver == expected_driver);
      EXPECT_EQ(child.driver_words, parent.driver_words);
      EXPECT_EQ(describe_output(child.output), describe_output(parent.output));
      EXPECT_EQ(describe_geo(child.converter), describe_geo(parent.converter));
      std::string parent_options, child_options;
      parent.input.write_options(parent_options);
      child.input.write_options(child_options);
      EXPECT_EQ(child_options, parent_options);
      EXPECT_EQ(child.input.is_pipe_on(), parent.input.is_pipe_on());
      std::string parent_stages, child_stages;
      parent.input.write_point_stage_options(parent_stages);
      child.input.write_point_stage_options(child_stages);
      EXPECT_EQ(child_stages, parent_stages);
      // The points of file k as the parent's normal run would read them.
      EXPECT_EQ(read_all_points(child.input), read_all_points(reader_side.input));
    }
  }

  TempDir dir_{"child_commands"};
  std::vector<std::string> inputs_;
};

TEST_F(ChildCommands, DriverOptions) {
  check_children_match({"-v",
                        "-concavity",
                        "12.5",
                        "-kill",
                        "0",
                        "-smooth",
                        "3",
                        "-simplify",
                        "0.1",
                        "-simplify_area",
                        "0.3",
                        "-clean",
                        "7",
                        "-loops_only",
                        "-iso",
                        "101.7",
                        "-iso_range",
                        "0",
                        "600",
                        "0.1",
                        "-extra_pass",
                        "-arrival_order",
                        "-use_tile_bb",
                        "-ilay",
                        "3"});
  check_children_match({"-iso_every", "0.30000001", "-lakes", "lake \"file\" $1.shp", "-creeks", "c.shp",
                        "-tin", "-ilaydir", "lay dir"});
  check_children_match({"-iso_number", "7", "-cpu64"});
}

TEST_F(ChildCommands, OutputOptions) {
  check_children_match(
      {"-owkt", "-only_2d", "-odir", (dir_ / "out dir").string(), "-odix", "_iso", "-ocut", "2"});
  check_children_match({"-okml", "-kml_absolute", "-kml_elevation_offset", "17.123456"});
  check_children_match({"-oshp", "-odbf", "-o", "all.shp"});
  check_children_match({"-otxt", "-stdout"});
}

TEST_F(ChildCommands, GeoreferencingOptions) {
  check_children_match({"-utm", "32N", "-elevation_feet", "-vertical_navd88_geoid12b"});
  check_children_match({"-epsg", "2056", "-meter", "-elevation_meter"});
  check_children_match({"-sp83", "CA_I", "-feet", "-target_utm", "33N", "-target_precision", "0.01"});
  check_children_match({"-nad83", "-lcc", "609601.22", "0", "meter", "33.75", "-79", "34.33333", "36.16666",
                        "-surveyfeet", "-target_longlat", "-target_meter"});
  check_children_match(
      {"-wgs84", "-tm", "500000", "0", "meter", "0", "-93", "0.99996", "-vertical_epsg", "5703"});
  check_children_match({"-ellipsoid", "23", "-aeac", "0", "0", "meter", "23", "-96", "29.5", "45.5"});
  check_children_match({"-longlat", "-elevation_surveyfeet", "-target_epsg", "32633", "-target_feet"});
}

TEST_F(ChildCommands, InputOptions) {
  check_children_match({"-rescale", "0.0000001", "0.001", "0.01", "-reoffset", "1000000.5", "2e6", "0.25"});
  check_children_match(
      {"-inside_tile", "630000.5", "4830000.5", "1000", "-populate", "-io_ibuffer", "65536"});
  check_children_match({"-inside_circle", "637000.123456789", "851000", "55.5", "-auto_reoffset"});
  check_children_match({"-inside", "-10", "-10", "40.0000001", "30", "-rescale_xy", "0.001", "0.001"});
  check_children_match({"-faf", "3", "-faf_index", "5", "-rescale_z", "0.0001"});
  check_children_match({"-faf", "-temp_files", (dir_ / "tmp \"base\" x").string()});
  check_children_match({"-apply_file_source_ID", "-stored", "-pipe_on", "-owkt"});
  check_children_match({"-buffered", "50", "-faf"});
  check_children_match({"-iparse",
                        "xyz i",
                        "-iskip",
                        "2",
                        "-itranslate_intensity",
                        "1024",
                        "-iscale_intensity",
                        "0.5",
                        "-itranslate_scan_angle",
                        "3",
                        "-iscale_scan_angle",
                        "2",
                        "-iadd_extra",
                        "4",
                        "my attr",
                        "a \"quoted\" description",
                        "0.01",
                        "0.0",
                        "1",
                        "0.0",
                        "-9999",
                        "-comma_not_point",
                        "-ipts"});
  check_children_match({"-itxt", "-iadd_extra", "9", "height", "above ground", "0.001", "-iptx_transform"});
}

TEST_F(ChildCommands, FilterAndTransformOptions) {
  check_children_match({"-keep_class", "2", "8", "-drop_z_below", "0.1234567891", "-keep_point_source", "3",
                        "7", "-translate_z", "-0.3", "-scale_intensity", "1.1"});
  check_children_match({"-keep_first", "-drop_intensity_above", "200", "-set_classification", "6",
                        "-keep_class", "1", "-filtered_transform"});
  check_children_match({"-drop_return", "2", "3", "-keep_scan_angle", "-10", "10", "-translate_xyz", "0.5",
                        "-1.25", "100", "-clamp_z", "400", "450"});
}

// The pieces in their order, and the buffered and flight-line pieces, which depend on the file.
TEST_F(ChildCommands, PiecesInOrderWithBufferingAndFlightLines) {
  CommandLine parent;
  std::vector<std::string> words = {"-i"};
  words.insert(words.end(), inputs_.begin(), inputs_.end());
  words.insert(words.end(), {"-keep_class", "2", "-faf", "-buffered", "25.5", "-owkt", "-utm", "10T",
                             "-iso_every", "2", "-rescale", "0.01", "0.01", "0.01", "-cores", "2"});
  ASSERT_TRUE(parse_words(words, parent));
  const std::string list = (dir_ / "list with blank.txt").string();
  const std::vector<ChildCommand> commands = build_child_commands(parent, list);
  ASSERT_EQ(commands.size(), inputs_.size());
  for (size_t k = 0; k < commands.size(); k++) {
    const std::vector<std::string> expected = {"-i",        inputs_[k],   "-faf",
                                               "-rescale",  "0.010000",   "0.010000",
                                               "0.010000",  "-faf_index", std::to_string(k),
                                               "-buffered", "25.5",       "-neighbors_lof",
                                               list,        "-owkt",      "-keep_classification_mask",
                                               "4",         "-wgs84",     "-utm",
                                               "10n",       "-iso_every", "2"};
    EXPECT_EQ(commands[k].words, expected);
  }
}

}  // namespace
