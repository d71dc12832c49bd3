// A step that every point of a reader passes after its source produced it.
//
// A reader (LASreader) is a source of points followed by stages, applied in this fixed order:
//
//   source -> requantize -> area of interest -> filter -> transform -> caller
//
// - requantize re-expresses the integer coordinates with the scale and offset the user asked for
//   (LASrequantizeStage, pointio/lasrequantize.h);
// - the area of interest drops points outside a tile, circle or rectangle (set with the reader's
//   inside_* operations);
// - the filter drops the points its criteria reject, and the transform changes the points that
//   are left. Both come from the filter library, which wraps its LASfilter and LAStransform in
//   stages and hands them to LASreader::set_stage before the reader is opened.
// The order means the area sees requantized but untransformed coordinates, and the transform sees
// only points that passed the area and the filter.
//
// Adding a stage: derive from LASpointStage, say which point fields it reads or writes in
// field_mask (the decoder of a layered compressed file then decodes them), and give it to
// LASreader::set_stage in its slot. A stage is owned by the reader it is set on.
#pragma once

#include <cstdint>

#include "pointio/laspoint.h"

class LASheader;

namespace las_fields = field_mask;

// A test that a stage makes first and that depends only on a point's class and flags byte, its
// return number and whether it carries an extended class: 12 bits of key. When the stage runs
// first, the reader looks the key up itself, before calling any stage, so the commonest filters
// (ground only, no withheld points) cost no call for the points they drop.
struct LASdropTable {
  static constexpr uint32_t kKeys = 1u << 12;
  // The key reads the return number and the class and flags as they lie in the bytes of the
  // point (the layout of the 20-byte record, which LASpointFields keeps).
  static uint32_t key(const LASpointFields& p) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&p);
    const uint32_t extended = p.extended_point_type != 0 && p.extended_classification != 0;
    return bytes[15] | (bytes[14] & 7u) << 8 | extended << 11;
  }
  // kKeys entries: 0 lets the point on; i drops it and counts it in counts[i - 1]. None: no table.
  const uint8_t* first_drop = nullptr;
  uint64_t* counts = nullptr;
  // True when the stage keeps every point the table lets on, so the reader need not call it.
  bool decides_alone = false;
};

class LASpointStage {
 public:
  enum class Verdict { keep, drop };

  virtual ~LASpointStage() = default;

  // Called once the source has read its header, before the first point (and again after every
  // reopen). A stage that re-expresses coordinates rewrites the header's quantization here.
  // False, after the stage printed its "ERROR: ..." line, when it cannot work on this header: the
  // source then fails to open.
  virtual bool bind(LASheader& /*header*/) { return true; }
  // Looks at (and may change) one point.
  virtual Verdict process(LASpoint& point) = 0;
  // False when no point can ever be kept (an area that lies outside the source's bounds), so the
  // reader need not read a single point.
  virtual bool can_keep_any() const { return true; }
  // The stage's leading test as a table (none by default). It stays valid while the stage is set;
  // the reader asks again whenever its stages change or it opens.
  virtual LASdropTable drop_table() { return {}; }
  // The fields this stage reads or writes (las_fields bits).
  virtual uint32_t field_mask() const { return 0; }
  // Per-pass state (counters, a running number) starts again; called before a second pass.
  virtual void reset() {}
};
