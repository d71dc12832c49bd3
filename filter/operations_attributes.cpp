// Operations on extra-bytes attributes, the registers and wave packets.
#include <cstdio>
#include <cstdlib>
#include <string>

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
using las_fields::kIntensity;
using las_fields::kNir;
using las_fields::kPointSource;
using las_fields::kRgb;
using las_fields::kUserData;
using las_fields::kWavePacket;
using las_fields::kZ;

template <class T>
struct IndexValue {
  uint32_t index;
  T value;
  void write(CommandWriter& out) const {
    out.value(index);
    write_value(out, value);
  }
};

// A register and what the operation needs of the transform's registers.
struct Register {
  LASregisters* registers;
  uint32_t index;
  void write(CommandWriter& out) const { out.value(index); }
  double& get() const { return registers->reg[index]; }
};

template <class T>
struct RegisterValue {
  LASregisters* registers;
  uint32_t index;
  T value;
  void write(CommandWriter& out) const {
    out.value(index);
    write_value(out, value);
  }
  double& get() const { return registers->reg[index]; }
};

struct RegisterArithmetic {
  LASregisters* registers;
  uint32_t in1, in2, out;
  void write(CommandWriter& w) const {
    w.value(in1);
    w.value(in2);
    w.value(out);
  }
  double a() const { return registers->reg[in1]; }
  double b() const { return registers->reg[in2]; }
  double& result() const { return registers->reg[out]; }
};

// An attribute and a register, in the order the option names them.
struct AttributeRegister {
  LASregisters* registers;
  uint32_t first, second;
  void write(CommandWriter& out) const {
    out.value(first);
    out.value(second);
  }
};

// Reads one value per point from the lines of a text file, skipping lines that hold no number;
// after the last line the points stay unchanged. A reset starts again at the first line.
class LoadAttributeFromText final : public LASoperation {
 public:
  LoadAttributeFromText(uint32_t index, std::string file_name)
      : index_(index), file_name_(std::move(file_name)) {
    reader_.open(file_name_);
  }
  const char* name() const override { return "load_attribute_from_text"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(index_);
    out.quoted(file_name_);
  }
  uint32_t get_decompress_selective() const override { return 0; }
  void transform(LASpoint& p) override {
    std::string_view line;
    while (reader_.next(line)) {
      // The reader's buffer ends the line with a terminating zero, so strtod stops within it.
      char* end = nullptr;
      const double v = std::strtod(line.data(), &end);
      if (end == line.data()) continue;
      set_attribute_value(p, index_, v);
      return;
    }
    reader_.close();
  }
  void reset() override {
    LASoperation::reset();
    if (!reader_.rewind()) reader_.open(file_name_);
  }

 private:
  uint32_t index_;
  std::string file_name_;
  LineReader reader_;
};

template <auto Apply>
std::unique_ptr<LASoperation> to_register(const ArgValues& a, LASregisters& r, const char* name,
                                          uint32_t mask) {
  if (!valid_register(a.option, a.u32[0])) return nullptr;
  return make_op<Apply>(name, mask, Register{&r, a.u32[0]});
}

template <auto Apply>
std::unique_ptr<LASoperation> arithmetic(const ArgValues& a, LASregisters& r, const char* name) {
  static const char* const names[] = {"input1", "input2", "output"};
  for (int k = 0; k < 3; k++) {
    if (a.u32[k] > 15) {
      print_message("ERROR: '%s' needs 3 arguments: input1 input2 output but %u is out-of-range for %s\n",
                    a.option, a.u32[k], names[k]);
      return nullptr;
    }
  }
  return make_op<Apply>(name, 0, RegisterArithmetic{&r, a.u32[0], a.u32[1], a.u32[2]});
}

// The two-index options read their own words: their messages say which index is wrong.
bool read_two_indices(const ArgValues& a, bool register_first, uint32_t& first, uint32_t& second) {
  const char* kinds[2] = {register_first ? "register" : "attribute",
                          register_first ? "attribute" : "register"};
  uint32_t* values[2] = {&first, &second};
  for (int k = 0; k < 2; k++) {
    if (!read_u32(a.text[k], *values[k])) {
      print_message("ERROR: '%s' %s of 2 arguments index of %s '%s' is no valid index\n", a.option,
                    k == 0 ? "1st" : "2nd", kinds[k], a.text[k]);
      return false;
    }
    if (std::string(kinds[k]) == "register" && *values[k] > 15) {
      print_message("ERROR: '%s' %s of 2 arguments index of register %u is out of valid [0,15] range\n",
                    a.option, k == 0 ? "1st" : "2nd", *values[k]);
      return false;
    }
  }
  return true;
}

using IndexF64 = IndexValue<double>;
using IndexF32 = IndexValue<float>;

const OperationOption kOptions[] = {
    // attributes
    {"-set_attribute", "index value", "uF",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const IndexF64& g, LASpoint& p, int64_t&) {
         set_attribute_value(p, g.index, g.value);
       })>("set_attribute", 0, IndexF64{a.u32[0], a.f64[1]});
     }},
    {"-scale_attribute", "index scale", "uf",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const IndexF32& g, LASpoint& p, int64_t&) {
         set_attribute_value(p, g.index, get_attribute_value(p, g.index) * static_cast<double>(g.value));
       })>("scale_attribute", kAllExtraBytes, IndexF32{a.u32[0], a.f32[1]});
     }},
    {"-translate_attribute", "index offset", "uF",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const IndexF64& g, LASpoint& p, int64_t&) {
         set_attribute_value(p, g.index, get_attribute_value(p, g.index) + g.value);
       })>("translate_attribute", kAllExtraBytes, IndexF64{a.u32[0], a.f64[1]});
     }},
    {"-copy_user_data_into_attribute", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const AttributeIndex& g, LASpoint& p, int64_t&) {
         set_attribute_value(p, g.index, p.user_data);
       })>("copy_user_data_into_attribute", kUserData, AttributeIndex{a.u32[0]});
     }},
    {"-copy_intensity_into_attribute", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const AttributeIndex& g, LASpoint& p, int64_t&) {
         set_attribute_value(p, g.index, p.intensity);
       })>("copy_intensity_into_attribute", kIntensity, AttributeIndex{a.u32[0]});
     }},
    {"-copy_z_into_attribute", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const AttributeIndex& g, LASpoint& p, int64_t&) {
         set_attribute_value(p, g.index, p.get_z());
       })>("copy_z_into_attribute", kZ, AttributeIndex{a.u32[0]});
     }},
    {"-load_attribute_from_text", "attribute_index attribute_file_name.txt", "us",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       LineReader check;
       if (!check.open(a.text[1])) {
         print_message("ERROR: '%s' needs text file with attribute values but '%s' cannot be opened\n",
                       a.option, a.text[1]);
         return nullptr;
       }
       return std::make_unique<LoadAttributeFromText>(a.u32[0], a.text[1]);
     }},
    {"-copy_register_into_attribute", "index_of_register index_of_attribute", "ss",
     [](const ArgValues& a, LASregisters& r) -> std::unique_ptr<LASoperation> {
       uint32_t reg = 0, attribute = 0;
       if (!read_two_indices(a, true, reg, attribute)) return nullptr;
       return make_op<([](const AttributeRegister& g, LASpoint& p, int64_t&) {
         set_attribute_value(p, g.second, g.registers->reg[g.first]);
       })>("copy_register_into_attribute", 0, AttributeRegister{&r, reg, attribute});
     }},
    // registers
    {"-set_register", "index value", "uF",
     [](const ArgValues& a, LASregisters& r) -> std::unique_ptr<LASoperation> {
       if (!valid_register(a.option, a.u32[0])) return nullptr;
       return make_op<([](const RegisterValue<double>& g, LASpoint&, int64_t&) { g.get() = g.value; })>(
           "set_register", 0, RegisterValue<double>{&r, a.u32[0], a.f64[1]});
     }},
    {"-scale_register", "index scale", "uf",
     [](const ArgValues& a, LASregisters& r) -> std::unique_ptr<LASoperation> {
       if (!valid_register(a.option, a.u32[0])) return nullptr;
       return make_op<([](const RegisterValue<float>& g, LASpoint&, int64_t&) {
         g.get() *= static_cast<double>(g.value);
       })>("scale_register", 0, RegisterValue<float>{&r, a.u32[0], a.f32[1]});
     }},
    {"-translate_register", "index offset", "uF",
     [](const ArgValues& a, LASregisters& r) -> std::unique_ptr<LASoperation> {
       if (!valid_register(a.option, a.u32[0])) return nullptr;
       return make_op<([](const RegisterValue<double>& g, LASpoint&, int64_t&) { g.get() += g.value; })>(
           "translate_register", 0, RegisterValue<double>{&r, a.u32[0], a.f64[1]});
     }},
    {"-add_registers", "input1 input2 output", "uuu",
     [](const ArgValues& a, LASregisters& r) {
       return arithmetic<([](const RegisterArithmetic& g, LASpoint&, int64_t&) {
         g.result() = g.a() + g.b();
       })>(a, r, "add_registers");
     }},
    {"-subtract_registers", "input1 input2 output", "uuu",
     [](const ArgValues& a, LASregisters& r) {
       return arithmetic<([](const RegisterArithmetic& g, LASpoint&, int64_t&) {
         g.result() = g.a() - g.b();
       })>(a, r, "subtract_registers");
     }},
    {"-multiply_registers", "input1 input2 output", "uuu",
     [](const ArgValues& a, LASregisters& r) {
       return arithmetic<([](const RegisterArithmetic& g, LASpoint&, int64_t&) {
         g.result() = g.a() * g.b();
       })>(a, r, "multiply_registers");
     }},
    {"-divide_registers", "input1 input2 output", "uuu",
     [](const ArgValues& a, LASregisters& r) {
       return arithmetic<([](const RegisterArithmetic& g, LASpoint&, int64_t&) {
         g.result() = g.a() / g.b();
       })>(a, r, "divide_registers");
     }},
    {"-copy_intensity_into_register", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) {
       return to_register<([](const Register& g, LASpoint& p, int64_t&) { g.get() = p.intensity; })>(
           a, r, "copy_intensity_into_register", kIntensity);
     }},
    {"-copy_user_data_into_register", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) {
       return to_register<([](const Register& g, LASpoint& p, int64_t&) { g.get() = p.user_data; })>(
           a, r, "copy_user_data_into_register", kUserData);
     }},
    {"-copy_point_source_into_register", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) {
       return to_register<([](const Register& g, LASpoint& p, int64_t&) { g.get() = p.point_source_ID; })>(
           a, r, "copy_point_source_into_register", kPointSource);
     }},
    {"-copy_R_into_register", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) {
       return to_register<([](const Register& g, LASpoint& p, int64_t&) { g.get() = p.rgb[0]; })>(
           a, r, "copy_R_into_register", kRgb);
     }},
    {"-copy_G_into_register", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) {
       return to_register<([](const Register& g, LASpoint& p, int64_t&) { g.get() = p.rgb[1]; })>(
           a, r, "copy_G_into_register", kRgb);
     }},
    {"-copy_B_into_register", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) {
       return to_register<([](const Register& g, LASpoint& p, int64_t&) { g.get() = p.rgb[2]; })>(
           a, r, "copy_B_into_register", kRgb);
     }},
    {"-copy_NIR_into_register", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) {
       return to_register<([](const Register& g, LASpoint& p, int64_t&) { g.get() = p.rgb[3]; })>(
           a, r, "copy_NIR_into_register", kNir);
     }},
    {"-copy_attribute_into_register", "index_of_attribute index_of_register", "ss",
     [](const ArgValues& a, LASregisters& r) -> std::unique_ptr<LASoperation> {
       uint32_t attribute = 0, reg = 0;
       if (!read_two_indices(a, false, attribute, reg)) return nullptr;
       return make_op<([](const AttributeRegister& g, LASpoint& p, int64_t&) {
         g.registers->reg[g.second] = get_attribute_value(p, g.first);
       })>("copy_attribute_into_register", kAllExtraBytes, AttributeRegister{&r, attribute, reg});
     }},
    // wave packets
    {"-flip_waveform_direction", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         p.wavepacket.set_xt(-p.wavepacket.get_xt());
         p.wavepacket.set_yt(-p.wavepacket.get_yt());
         p.wavepacket.set_zt(-p.wavepacket.get_zt());
       })>("flip_waveform_direction", kWavePacket, NoArgs{});
     }},
};

}  // namespace

std::span<const OperationOption> attribute_operation_options() {
  return kOptions;
}

}  // namespace filter_detail
