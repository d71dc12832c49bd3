// Operations on the red, green, blue and near-infrared channels.
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/messages.h"
#include "filter/detail/attribute_value.h"
#include "filter/detail/operation_templates.h"
#include "filter/detail/operations.h"
#include "filter/detail/text_tables.h"
#include "filter/lastransform.h"
#include "pointio/laspointstage.h"

namespace filter_detail {

namespace {

using las_fields::kAllExtraBytes;
using las_fields::kClassification;
using las_fields::kIntensity;
using las_fields::kNir;
using las_fields::kRgb;

using U3 = Three<uint32_t>;
using F1 = One<float>;
using F3 = Three<float>;

constexpr int kRed = 0, kGreen = 1, kBlue = 2, kNirChannel = 3;

bool channel_at_most(uint32_t v, const char* channel) {
  if (v <= 65535) return true;
  print_message("ERROR: cannot set RGB because %s is %u, which is larger than %u\n", channel, v, 65535u);
  return false;
}

struct ClassColour {
  uint32_t classification, r, g, b;
  void write(CommandWriter& out) const {
    for (uint32_t v : {classification, r, g, b}) out.value(v);
  }
};

// One channel, named in the command by the option of that channel.
class ChannelOperation : public LASoperation {
 public:
  ChannelOperation(const char* name, const char* option_prefix, int channel)
      : name_(name), option_prefix_(option_prefix), channel_(channel) {}
  const char* name() const override { return name_; }

 protected:
  void write_option(CommandWriter& out, bool long_names) const {
    static const char* const short_names[] = {"R", "G", "B", "NIR"};
    static const char* const long_words[] = {"red", "green", "blue", "nir"};
    out.option(std::string(option_prefix_) + (long_names ? long_words[channel_] : short_names[channel_]));
  }
  const char* name_;
  const char* option_prefix_;
  int channel_;
};

class CopyAttributeIntoChannel final : public ChannelOperation {
 public:
  CopyAttributeIntoChannel(int channel, uint32_t index)
      : ChannelOperation("copy_attribute_into_", "copy_attribute_into_", channel), index_(index) {}
  void write_command(CommandWriter& out) const override {
    write_option(out, false);
    out.value(index_);
  }
  uint32_t get_decompress_selective() const override { return kAllExtraBytes; }
  void transform(LASpoint& p) override { p.rgb[channel_] = sat16(get_attribute_value(p, index_)); }

 private:
  uint32_t index_;
};

class CopyRegisterIntoChannel final : public ChannelOperation {
 public:
  CopyRegisterIntoChannel(int channel, const LASregisters& registers, uint32_t index)
      : ChannelOperation("copy_register_into_", "copy_register_into_", channel),
        registers_(registers),
        index_(index) {}
  void write_command(CommandWriter& out) const override {
    write_option(out, false);
    out.value(index_);
  }
  uint32_t get_decompress_selective() const override { return 0; }
  void transform(LASpoint& p) override { p.rgb[channel_] = sat16(registers_.reg[index_]); }

 private:
  const LASregisters& registers_;
  uint32_t index_;
};

class MultiplyIntensityIntoChannel final : public ChannelOperation {
 public:
  MultiplyIntensityIntoChannel(int channel, float scale)
      : ChannelOperation("multiply_scaled_intensity_into_RGB", "multiply_scaled_intensity_into_RGB_",
                         channel),
        scale_(scale) {}
  void write_command(CommandWriter& out) const override {
    write_option(out, true);
    out.fixed(scale_);
  }
  uint32_t get_decompress_selective() const override {
    return (channel_ == kNirChannel ? kNir : kRgb) | kIntensity;
  }
  void transform(LASpoint& p) override {
    p.rgb[channel_] =
        sat16_single(static_cast<float>(p.rgb[channel_]) * scale_ * static_cast<float>(p.intensity));
  }

 private:
  float scale_;
};

// Colours by the value of an attribute: the entry nearest to it, the first below the first
// entry's value, the last at or above the last one's.
class MapAttributeIntoRgb final : public LASoperation {
 public:
  MapAttributeIntoRgb(uint32_t index, std::string file_name, std::vector<ColourEntry> entries)
      : index_(index), file_name_(std::move(file_name)), entries_(std::move(entries)) {}
  const char* name() const override { return "map_attribute_into_RGB"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(index_);
    out.quoted(file_name_);
  }
  uint32_t get_decompress_selective() const override { return kAllExtraBytes; }
  void transform(LASpoint& p) override {
    if (entries_.empty()) return;
    const double a = get_attribute_value(p, index_);
    const ColourEntry* best = &entries_.front();
    if (a > entries_.front().value) {
      if (a >= entries_.back().value) {
        best = &entries_.back();
      } else {
        double best_distance = a - entries_.front().value;
        for (const ColourEntry& e : entries_) {
          const double d = std::abs(a - e.value);
          if (d < best_distance) best_distance = d, best = &e;
        }
      }
    }
    for (int c = 0; c < 3; c++) p.rgb[c] = best->rgb[c];
  }

 private:
  uint32_t index_;
  std::string file_name_;
  std::vector<ColourEntry> entries_;
};

std::unique_ptr<LASoperation> copy_attribute_into(const ArgValues& a, int channel) {
  return std::make_unique<CopyAttributeIntoChannel>(channel, a.u32[0]);
}

std::unique_ptr<LASoperation> copy_register_into(const ArgValues& a, const LASregisters& r, int channel) {
  if (!valid_register(a.option, a.u32[0])) return nullptr;
  return std::make_unique<CopyRegisterIntoChannel>(channel, r, a.u32[0]);
}

std::unique_ptr<LASoperation> multiply_intensity(const ArgValues& a, int channel, bool divided) {
  const float v = a.f32[0];
  if (v == 0.0f) {
    print_message("ERROR: '%s' needs 1 argument: scale but '%g' is no valid %s\n", a.option,
                  static_cast<double>(v), divided ? "divisor" : "scale");
    return nullptr;
  }
  return std::make_unique<MultiplyIntensityIntoChannel>(channel, divided ? 1.0f / v : v);
}

template <auto Apply>
std::unique_ptr<LASoperation> plain(const char* name, uint32_t mask) {
  return make_op<Apply>(name, mask, NoArgs{});
}

void rgb_shift_down(LASpoint& p) {
  for (int c = 0; c < 3; c++) p.rgb[c] = static_cast<uint16_t>(p.rgb[c] >> 8);
}
void rgb_shift_up(LASpoint& p) {
  for (int c = 0; c < 3; c++) p.rgb[c] = static_cast<uint16_t>(p.rgb[c] << 8);
}

std::unique_ptr<LASoperation> scale_rgb(const ArgValues& a) {
  return make_op<([](const F3& g, LASpoint& p, int64_t&) {
    p.rgb[0] = sat16_single(static_cast<float>(p.rgb[0]) * g.a);
    p.rgb[1] = sat16_single(static_cast<float>(p.rgb[1]) * g.b);
    p.rgb[2] = sat16_single(static_cast<float>(p.rgb[2]) * g.c);
  })>("scale_RGB", kRgb, F3{a.f32[0], a.f32[1], a.f32[2]});
}
std::unique_ptr<LASoperation> rgb_down() {
  return plain<([](const NoArgs&, LASpoint& p, int64_t&) { rgb_shift_down(p); })>("scale_RGB_down", kRgb);
}
std::unique_ptr<LASoperation> rgb_up() {
  return plain<([](const NoArgs&, LASpoint& p, int64_t&) { rgb_shift_up(p); })>("scale_RGB_up", kRgb);
}
std::unique_ptr<LASoperation> rgb_to_8bit() {
  return plain<([](const NoArgs&, LASpoint& p, int64_t&) {
    if (p.rgb[0] >= 256 || p.rgb[1] >= 256 || p.rgb[2] >= 256) rgb_shift_down(p);
  })>("scale_RGB_to_8bit", kRgb);
}
std::unique_ptr<LASoperation> rgb_to_16bit() {
  return plain<([](const NoArgs&, LASpoint& p, int64_t&) {
    if (p.rgb[0] < 256 && p.rgb[1] < 256 && p.rgb[2] < 256) rgb_shift_up(p);
  })>("scale_RGB_to_16bit", kRgb);
}
std::unique_ptr<LASoperation> scale_nir(const ArgValues& a) {
  return make_op<([](const F1& g, LASpoint& p, int64_t&) {
    p.rgb[3] = sat16_single(static_cast<float>(p.rgb[3]) * g.a);
  })>("scale_NIR", kNir, F1{a.f32[0]});
}
std::unique_ptr<LASoperation> nir_down() {
  return plain<([](const NoArgs&, LASpoint& p, int64_t&) {
    p.rgb[3] = static_cast<uint16_t>(p.rgb[3] >> 8);
  })>("scale_NIR_down", kNir);
}
std::unique_ptr<LASoperation> nir_up() {
  return plain<([](const NoArgs&, LASpoint& p, int64_t&) {
    p.rgb[3] = static_cast<uint16_t>(p.rgb[3] << 8);
  })>("scale_NIR_up", kNir);
}
std::unique_ptr<LASoperation> nir_to_8bit() {
  return plain<([](const NoArgs&, LASpoint& p, int64_t&) {
    if (p.rgb[3] >= 256) p.rgb[3] = static_cast<uint16_t>(p.rgb[3] >> 8);
  })>("scale_NIR_to_8bit", kNir);
}
std::unique_ptr<LASoperation> nir_to_16bit() {
  return plain<([](const NoArgs&, LASpoint& p, int64_t&) {
    if (p.rgb[3] < 256) p.rgb[3] = static_cast<uint16_t>(p.rgb[3] << 8);
  })>("scale_NIR_to_16bit", kNir);
}

const OperationOption kOptions[] = {
    {"-set_RGB", "R G B", "uuu",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!channel_at_most(a.u32[0], "R") || !channel_at_most(a.u32[1], "G") ||
           !channel_at_most(a.u32[2], "B"))
         return nullptr;
       return make_op<([](const U3& g, LASpoint& p, int64_t&) {
         p.rgb[0] = static_cast<uint16_t>(g.a);
         p.rgb[1] = static_cast<uint16_t>(g.b);
         p.rgb[2] = static_cast<uint16_t>(g.c);
       })>("set_RGB", 0, U3{a.u32[0], a.u32[1], a.u32[2]});
     }},
    {"-set_RGB_of_class", "classification R G B", "uuuu",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (a.u32[0] > 255) {
         print_message("ERROR: cannot set RGB because classification is %u, which is larger than %u\n",
                       a.u32[0], 255u);
         return nullptr;
       }
       if (!channel_at_most(a.u32[1], "R") || !channel_at_most(a.u32[2], "G") ||
           !channel_at_most(a.u32[3], "B"))
         return nullptr;
       return make_op<([](const ClassColour& g, LASpoint& p, int64_t&) {
         const uint32_t c = g.classification > 31 ? p.extended_classification : p.classification;
         if (c != g.classification) return;
         p.rgb[0] = static_cast<uint16_t>(g.r);
         p.rgb[1] = static_cast<uint16_t>(g.g);
         p.rgb[2] = static_cast<uint16_t>(g.b);
       })>("set_RGB_of_class", kClassification, ClassColour{a.u32[0], a.u32[1], a.u32[2], a.u32[3]});
     }},
    {"-set_NIR", "value", "u",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (a.u32[0] > 65535) {
         print_message("ERROR: cannot set NIR because value is %u, which is larger than %u\n", a.u32[0],
                       65535u);
         return nullptr;
       }
       return make_op<([](const One<uint32_t>& g, LASpoint& p, int64_t&) {
         p.rgb[3] = static_cast<uint16_t>(g.a);
       })>("set_NIR", 0, One<uint32_t>{a.u32[0]});
     }},
    {"-scale_RGB", "scale_R scale_G scale_B", "fff",
     [](const ArgValues& a, LASregisters&) { return scale_rgb(a); }},
    {"-scale_rgb", "scale_R scale_G scale_B", "fff",
     [](const ArgValues& a, LASregisters&) { return scale_rgb(a); }},
    {"-scale_RGB_down", "", "", [](const ArgValues&, LASregisters&) { return rgb_down(); }},
    {"-scale_rgb_down", "", "", [](const ArgValues&, LASregisters&) { return rgb_down(); }},
    {"-scale_RGB_up", "", "", [](const ArgValues&, LASregisters&) { return rgb_up(); }},
    {"-scale_rgb_up", "", "", [](const ArgValues&, LASregisters&) { return rgb_up(); }},
    {"-scale_RGB_to_8bit", "", "", [](const ArgValues&, LASregisters&) { return rgb_to_8bit(); }},
    {"-scale_rgb_to_8bit", "", "", [](const ArgValues&, LASregisters&) { return rgb_to_8bit(); }},
    {"-scale_RGB_to_16bit", "", "", [](const ArgValues&, LASregisters&) { return rgb_to_16bit(); }},
    {"-scale_rgb_to_16bit", "", "", [](const ArgValues&, LASregisters&) { return rgb_to_16bit(); }},
    {"-clamp_RGB_to_8bit", "", "",
     [](const ArgValues&, LASregisters&) {
       return plain<([](const NoArgs&, LASpoint& p, int64_t&) {
         for (int c = 0; c < 3; c++) {
           if (p.rgb[c] >= 256) p.rgb[c] = 255;
         }
       })>("clamp_RGB_to_8bit", kRgb);
     }},
    {"-scale_NIR", "scale_NIR", "f", [](const ArgValues& a, LASregisters&) { return scale_nir(a); }},
    {"-scale_nir", "scale_NIR", "f", [](const ArgValues& a, LASregisters&) { return scale_nir(a); }},
    {"-scale_NIR_down", "", "", [](const ArgValues&, LASregisters&) { return nir_down(); }},
    {"-scale_nir_down", "", "", [](const ArgValues&, LASregisters&) { return nir_down(); }},
    {"-scale_NIR_up", "", "", [](const ArgValues&, LASregisters&) { return nir_up(); }},
    {"-scale_nir_up", "", "", [](const ArgValues&, LASregisters&) { return nir_up(); }},
    {"-scale_NIR_to_8bit", "", "", [](const ArgValues&, LASregisters&) { return nir_to_8bit(); }},
    {"-scale_nir_to_8bit", "", "", [](const ArgValues&, LASregisters&) { return nir_to_8bit(); }},
    {"-scale_NIR_to_16bit", "", "", [](const ArgValues&, LASregisters&) { return nir_to_16bit(); }},
    {"-scale_nir_to_16bit", "", "", [](const ArgValues&, LASregisters&) { return nir_to_16bit(); }},
    {"-switch_R_G", "", "",
     [](const ArgValues&, LASregisters&) {
       return plain<([](const NoArgs&, LASpoint& p, int64_t&) { std::swap(p.rgb[0], p.rgb[1]); })>(
           "switch_R_G", kRgb);
     }},
    {"-switch_R_B", "", "",
     [](const ArgValues&, LASregisters&) {
       return plain<([](const NoArgs&, LASpoint& p, int64_t&) { std::swap(p.rgb[0], p.rgb[2]); })>(
           "switch_R_B", kRgb);
     }},
    {"-switch_G_B", "", "",
     [](const ArgValues&, LASregisters&) {
       return plain<([](const NoArgs&, LASpoint& p, int64_t&) { std::swap(p.rgb[1], p.rgb[2]); })>(
           "switch_G_B", kRgb);
     }},
    {"-copy_R_into_NIR", "", "",
     [](const ArgValues&, LASregisters&) {
       return plain<([](const NoArgs&, LASpoint& p, int64_t&) { p.rgb[3] = p.rgb[0]; })>("copy_R_into_NIR",
                                                                                         kRgb);
     }},
    {"-copy_G_into_NIR", "", "",
     [](const ArgValues&, LASregisters&) {
       return plain<([](const NoArgs&, LASpoint& p, int64_t&) { p.rgb[3] = p.rgb[1]; })>("copy_G_into_NIR",
                                                                                         kRgb);
     }},
    {"-copy_B_into_NIR", "", "",
     [](const ArgValues&, LASregisters&) {
       return plain<([](const NoArgs&, LASpoint& p, int64_t&) { p.rgb[3] = p.rgb[2]; })>("copy_B_into_NIR",
                                                                                         kRgb);
     }},
    {"-copy_intensity_into_NIR", "", "",
     [](const ArgValues&, LASregisters&) {
       return plain<([](const NoArgs&, LASpoint& p, int64_t&) { p.rgb[3] = p.intensity; })>(
           "copy_intensity_into_NIR", kIntensity);
     }},
    {"-switch_RGBI_into_CIR", "", "",
     [](const ArgValues&, LASregisters&) {
       return plain<([](const NoArgs&, LASpoint& p, int64_t&) {
         const uint16_t r = p.rgb[0], g = p.rgb[1];
         p.rgb[0] = p.rgb[3];
         p.rgb[1] = r;
         p.rgb[2] = g;
       })>("switch_RGBI_into_CIR", kRgb | kNir);
     }},
    {"-switch_RGB_intensity_into_CIR", "", "",
     [](const ArgValues&, LASregisters&) {
       return plain<([](const NoArgs&, LASpoint& p, int64_t&) {
         const uint16_t r = p.rgb[0], g = p.rgb[1];
         p.rgb[0] = p.intensity;
         p.rgb[1] = r;
         p.rgb[2] = g;
       })>("switch_RGB_intensity_into_CIR", kRgb | kIntensity);
     }},
    {"-force_RGB", "", "",
     [](const ArgValues&, LASregisters&) {
       return plain<([](const NoArgs&, LASpoint& p, int64_t&) { p.have_rgb = true; })>("force_RGB", 0);
     }},
    {"-copy_attribute_into_R", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) { return copy_attribute_into(a, kRed); }},
    {"-copy_attribute_into_G", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) { return copy_attribute_into(a, kGreen); }},
    {"-copy_attribute_into_B", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) { return copy_attribute_into(a, kBlue); }},
    {"-copy_attribute_into_NIR", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) { return copy_attribute_into(a, kNirChannel); }},
    {"-copy_attribute_into_I", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) { return copy_attribute_into(a, kNirChannel); }},
    {"-copy_register_into_R", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) { return copy_register_into(a, r, kRed); }},
    {"-copy_register_into_G", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) { return copy_register_into(a, r, kGreen); }},
    {"-copy_register_into_B", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) { return copy_register_into(a, r, kBlue); }},
    {"-copy_register_into_NIR", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) { return copy_register_into(a, r, kNirChannel); }},
    {"-copy_register_into_I", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) { return copy_register_into(a, r, kNirChannel); }},
    {"-multiply_scaled_intensity_into_RGB_red", "scale", "f",
     [](const ArgValues& a, LASregisters&) { return multiply_intensity(a, kRed, false); }},
    {"-multiply_scaled_intensity_into_RGB_green", "scale", "f",
     [](const ArgValues& a, LASregisters&) { return multiply_intensity(a, kGreen, false); }},
    {"-multiply_scaled_intensity_into_RGB_blue", "scale", "f",
     [](const ArgValues& a, LASregisters&) { return multiply_intensity(a, kBlue, false); }},
    {"-multiply_scaled_intensity_into_RGB_nir", "scale", "f",
     [](const ArgValues& a, LASregisters&) { return multiply_intensity(a, kNirChannel, false); }},
    {"-multiply_divided_intensity_into_RGB_red", "divisor", "f",
     [](const ArgValues& a, LASregisters&) { return multiply_intensity(a, kRed, true); }},
    {"-multiply_divided_intensity_into_RGB_green", "divisor", "f",
     [](const ArgValues& a, LASregisters&) { return multiply_intensity(a, kGreen, true); }},
    {"-multiply_divided_intensity_into_RGB_blue", "divisor", "f",
     [](const ArgValues& a, LASregisters&) { return multiply_intensity(a, kBlue, true); }},
    {"-multiply_divided_intensity_into_RGB_nir", "divisor", "f",
     [](const ArgValues& a, LASregisters&) { return multiply_intensity(a, kNirChannel, true); }},
    {"-map_attribute_into_RGB", "attribute_index map_file_name.txt", "us",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       std::vector<ColourEntry> entries;
       if (!load_colour_map(a.option, a.text[1], entries)) return nullptr;
       return std::make_unique<MapAttributeIntoRgb>(a.u32[0], a.text[1], std::move(entries));
     }},
};

}  // namespace

std::span<const OperationOption> colour_operation_options() {
  return kOptions;
}

}  // namespace filter_detail
