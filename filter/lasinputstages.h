#pragma once
// The filter, transform and ignore set of the input opener, built from one command line with the
// opener's rules: empty stages are dropped, "-filtered_transform" hands the filter to the
// transform, and flight-line numbering adds a set_point_source operation.

#include <memory>
#include <string>

#include "filter/lasfilter.h"
#include "filter/lasignore.h"
#include "filter/lastransform.h"
#include "pointio/laspointstages.h"

class LASinputStages final : public LASpointStages {
 public:
  LASinputStages();
  ~LASinputStages() override;

  void usage() const override;
  bool parse(int argc, char** argv, bool accept_ignore) override;
  std::unique_ptr<LASpointStage> make_filter_stage() override;
  std::unique_ptr<LASpointStage> make_transform_stage() override;
  uint32_t get_decompress_selective() const override;
  void reset() override;
  void set_point_source(uint16_t value) override;
  bool check_for_overflow() const override;
  void unparse(std::string& out) const override;

  // What the command line built; none where it asked for nothing (or the filter went into the
  // transform with -filtered_transform).
  LASfilter* filter() const { return filter_.get(); }
  LAStransform* transform() const { return transform_.get(); }
  LASignore* ignore() const { return ignore_.get(); }

 private:
  std::unique_ptr<LASfilter> filter_;
  std::unique_ptr<LAStransform> transform_;
  std::unique_ptr<LASignore> ignore_;
};
