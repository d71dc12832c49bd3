#pragma once
// The point transform: an ordered list of operations built from the -translate_..., -scale_...,
// -set_..., -change_..., -classify_..., -copy_..., -map_..., and related options. Every point a
// reader delivers passes through all of them in order; with a filter (-filtered_transform) only
// the points the filter would keep are changed.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "filter/lasfilter.h"
#include "filter/lasoperation.h"
#include "pointio/laspointstage.h"

// Sixteen scratch values that operations fill and read, so a value can be computed from several
// fields in steps. All 0.0 at the start of every pass.
struct LASregisters {
  double reg[16] = {};
};

namespace filter_detail {
class TransformStage;
}

class LAStransform {
 public:
  LAStransform();
  ~LAStransform();
  // Operations refer to the registers of their transform, so it stays where it was made.
  LAStransform(const LAStransform&) = delete;
  LAStransform& operator=(const LAStransform&) = delete;

  static void usage();
  // Consumes the transform options of argv[1..argc-1] (blanking their words) and appends their
  // operations; "-filtered_transform" sets the filtered flag. Other words are left for other
  // parsers. Answers false after printing the message of the first bad option; the operations
  // made before it stay.
  bool parse(int argc, char** argv);
  // The same for the words of a text (any number of them; double quotes group a word).
  bool parse(std::string_view text);

  // With a filter, its options and "-filtered_transform ", then every operation's options, as
  // messages show them.
  std::string get_command() const;
  // Appends options that rebuild exactly this transform (filter included) when parsed.
  void unparse(std::string& out) const;

  // The fields the operations read, and those of the filter that chooses the points to change.
  uint32_t get_decompress_selective() const;
  void transform(LASpoint& point);
  // The stage that transforms every point a reader delivers (this transform stays its owner's).
  std::unique_ptr<LASpointStage> make_stage();
  // Before a new pass: resets every operation and the filter, then the registers.
  void reset();
  // False when coordinates stored since the last reset did not fit 32-bit integers, after printing
  // one error line per operation that produced them.
  bool check_for_overflow() const;

  void add_operation(std::unique_ptr<LASoperation> operation);
  // Removes the first operation of that name; false when there is none.
  bool delete_operation(std::string_view name);
  // Takes the filter that restricts the points changed; none also clears the filtered flag.
  void set_filter(std::unique_ptr<LASfilter> filter);
  LASfilter* get_filter() const { return filter_.get(); }
  // Replaces any set_point_source operation by one, appended, that sets `value`.
  void set_point_source(uint16_t value);
  void clean();

  bool is_filtered() const { return filtered_; }
  size_t number_of_operations() const { return operations_.size(); }
  const LASoperation& operation(size_t i) const { return *operations_[i]; }
  LASregisters& registers() { return registers_; }

 private:
  friend class filter_detail::TransformStage;
  // What transform does, inlined into the stage.
  inline void transform_point(LASpoint& point);
  // A reader fills only the fields its records carry; the others keep what an operation wrote into
  // the previous point (a class above 31 in a LAS 1.2 point, colours in a point without any), and
  // a later operation or the next point's filter would read that. They are set back to the values
  // of a freshly read point first, by a function made for the layout of the input's records:
  // learn_layout until the first point of a pass shows the layout, then the one for the fields its
  // records lack (none when they carry every field).
  using Forget = void (*)(LAStransform&, LASpoint&);
  static void learn_layout(LAStransform& transform, LASpoint& point);
  Forget forget_unread_fields_ = learn_layout;
  // Rebuilds steps_ after the list of operations changed.
  void list_steps();

  std::vector<std::unique_ptr<LASoperation>> operations_;
  // The operations in order with their fast kinds, so that a point visits one flat array.
  struct Step {
    LASoperation* operation;
    int fast_kind;
  };
  std::vector<Step> steps_;
  // When every operation is fast and each changes fields no other one touches, their order does
  // not matter: fixed_ then holds each at its fast kind, and a point runs through them in fixed
  // code, with one well-predicted test per kind instead of a dispatch per operation.
  std::array<LASoperation*, 8> fixed_{};
  bool fixed_chain_ = false;
  // The field groups some operation may write (las_unread bits in lastransform.cpp).
  uint32_t written_groups_ = 0;
  LASregisters registers_;
  bool filtered_ = false;
  std::unique_ptr<LASfilter> filter_;
};
