// Builds a parameter list from fuzz bytes, the way a careless host might:
// names from the store's vocabulary (with channel numbers that may not be
// numbers), any type code, scalars, texts, time spans, and items whose size
// lies (negative, or no memory behind it), with the test kit's lists.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "tests/kit/ParamLists.h"

namespace kestrel::fuzz {

class FuzzParams {
 public:
  FuzzParams(const std::uint8_t* data, std::size_t size) : in_(reinterpret_cast<const char*>(data), size) {
    while (!in_.empty() && list_.Count() < 64) AddOne();
  }

  const TParamList* get() { return list_.get(); }

 private:
  std::uint8_t Byte() {
    if (in_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(in_.front());
    in_.remove_prefix(1);
    return b;
  }
  std::string_view Take(std::size_t n) {
    n = std::min(n, in_.size());
    const auto out = in_.substr(0, n);
    in_.remove_prefix(n);
    return out;
  }

  std::string Name() {
    static constexpr std::string_view kNames[] = {
        "ToShowProgress", "PortNumber", "BaudRate", "DataBits", "SwFlow", "Parity", "StopBits", "InitString",
        "Alias", "DialPhoneType", "RestoreConnAfterBreakTimeOut", "DataWaitTimeOut", "StayOnLineTimeOut",
        "RestoreConnTimeOut", "RestoreConnTries", "DialTimeOut", "IdCl", "UseComPorts", "PhonesList", "Other"};
    constexpr std::size_t kChannelNames = 9;  // "PortNumber".."Alias" take a number
    const std::size_t i = Byte() % std::size(kNames);
    std::string name(kNames[i]);
    if (i >= 1 && i < kChannelNames) {
      const std::uint8_t b = Byte();
      if (b < 240)
        name += std::to_string(b % 5);
      else
        name += Take(b - 240);  // anything: a conversion error, a sign, nothing
    }
    return name;
  }

  void AddOne() {
    const std::string name = Name();
    static constexpr std::int32_t kTypes[] = {PARAM_ENUM, PARAM_INT32, PARAM_BOOL, PARAM_DATETIME, PARAM_TEXT};
    const std::uint8_t t = Byte();
    const std::int32_t type = t < 250 ? kTypes[t % 5] : t;
    const std::uint8_t kind = Byte() % 8;
    if (kind <= 2) {  // a scalar
      std::int32_t v = 0;
      const auto b = Take(4);
      std::memcpy(&v, b.data(), b.size());
      list_.Scalar(name, type, v);
    } else if (kind <= 5) {  // honest bytes
      list_.Bytes(name, type, Take(kind == 5 ? 8 : Byte()));
    } else {  // a size that lies: no memory behind it, or negative
      const std::int32_t n = Byte();
      list_.Raw(name, type, nullptr, kind == 6 ? n + 1 : -n - 1);
    }
  }

  std::string_view in_;
  testing::TParams list_;
};

}  // namespace kestrel::fuzz
