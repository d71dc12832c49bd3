// Writes the seed corpora of the reader fuzzers (tests/fuzz/corpus_reader_*): small valid files of
// every layout each reader knows, for the fuzzers to start from.
//   make_reader_seeds tests/fuzz
#include <filesystem>
#include <string>
#include <vector>

#include "tests/pointio/point_file_writers.h"

namespace pf = point_files;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::filesystem::path root = argv[1];
  const auto put = [&](const std::string& corpus, const std::string& name, const auto& bytes) {
    std::filesystem::create_directories(root / corpus);
    return pf::write_file((root / corpus / name).string(), bytes);
  };
  std::vector<pf::XYZ> points;
  for (int k = 0; k < 6; k++) points.push_back({10.0 + k, 20.0 - k, 0.5 * k});
  bool ok = true;
  ok &= put("corpus_reader_txt_line", "xyz", std::string("xyz\n1 2 3\n4,5,6\n7;8\n"));
  ok &= put("corpus_reader_txt_line", "fields",
            std::string("sxyztiarncuphkgedE0(11)\nid 1 2 3 4.5 100 -12 1 2 5 7 8 1 0 1 1 0 2 17 3\n"));
  ok &= put("corpus_reader_txt_line", "colours", std::string("xyzRGBIH\n1 2 3 255 128 0 65535 \"FF8000\"\n"));
  ok &= put("corpus_reader_txt_line", "extended", std::string("xyzolJ\n1 2 3 1 2 0xFFFFFF\n"));
  for (const char* format : {"ascii", "binary_little_endian", "binary_big_endian"}) {
    ok &= put("corpus_reader_ply_header", std::string(format) + ".ply", pf::ply(points, format, true));
  }
  ok &= put("corpus_reader_asc_header", "corner.asc",
            std::string("ncols 3\nnrows 2\nxllcorner 0\nyllcorner 10\ncellsize 2\nNODATA_value -9999\n1 2 3\n"
                        "4 -9999 6\n"));
  ok &= put("corpus_reader_asc_header", "centre.asc",
            std::string("NCOLS 2 NROWS 2 XLLCENTER 5 YLLCENTER 7 DX 0,5 DY 2\n1,25 2,75\n3 4\n"));
  const std::string hdr =
      "BYTEORDER M\nLAYOUT BIP\nNROWS 2\nNCOLS 2\nNBANDS 2\nNBITS 16\nPIXELTYPE SIGNEDINT\n"
      "NODATA -1\nULXMAP 100\nULYMAP 50\nXDIM 10\nYDIM 5\n";
  pf::Bytes bil(hdr.begin(), hdr.end());
  bil.push_back(0);
  for (int k = 0; k < 8; k++) pf::put_be<int16_t>(bil, static_cast<int16_t>(k - 2));
  ok &= put("corpus_reader_bil_header", "bip16", bil);
  const std::string hdr32 =
      "ncols 3\nnrows 1\nnbits 32\npixeltype float\nbandrowbytes 12\ntotalrowbytes 12\n";
  pf::Bytes bil32(hdr32.begin(), hdr32.end());
  bil32.push_back(0);
  for (float v : {1.5f, 2.5f, -3.0f}) pf::put_le(bil32, v);
  ok &= put("corpus_reader_bil_header", "float32", bil32);
  for (const int type : {1, 11, 21, 8, 18, 28}) {
    ok &= put("corpus_reader_shp", "type" + std::to_string(type) + ".shp", pf::shp(type, points, 4));
  }
  pf::BinOptions full;
  full.time = full.color = true;
  full.echo = 2;
  ok &= put("corpus_reader_bin", "new.bin", pf::bin(points, full));
  pf::BinOptions old;
  old.version = 1;
  ok &= put("corpus_reader_bin", "old.bin", pf::bin(points, old));
  std::vector<pf::QfitRecord> records(4);
  for (size_t k = 0; k < records.size(); k++) records[k].lon = 350000000 + static_cast<int32_t>(k);
  for (const int length : {40, 48, 56}) {
    ok &= put("corpus_reader_qfit", "le" + std::to_string(length) + ".qi", pf::qfit(length, false, records));
    ok &= put("corpus_reader_qfit", "be" + std::to_string(length) + ".qi", pf::qfit(length, true, records));
  }
  return ok ? 0 : 1;
}
