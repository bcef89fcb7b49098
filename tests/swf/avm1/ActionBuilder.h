// Writes action bytes for the script machine's tests: pushes, plain actions
// and branches by byte offset.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quenloft::swf::avm1::testing {

class TActions {
public:
  TActions& Op(std::uint8_t Code)
  {
    Bytes.push_back(Code);
    return *this;
  }
  TActions& Op(std::uint8_t Code, const std::vector<std::uint8_t>& Data)
  {
    Bytes.push_back(Code);
    Bytes.push_back(static_cast<std::uint8_t>(Data.size()));
    Bytes.push_back(static_cast<std::uint8_t>(Data.size() >> 8));
    Bytes.insert(Bytes.end(), Data.begin(), Data.end());
    return *this;
  }
  TActions& Str(const std::string& S)
  {
    std::vector<std::uint8_t> d{0};
    d.insert(d.end(), S.begin(), S.end());
    d.push_back(0);
    return Op(0x96, d);
  }
  TActions& Int(std::int32_t V)
  {
    std::vector<std::uint8_t> d{7};
    for (int i = 0; i < 4; ++i)
      d.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(V) >> (8 * i)));
    return Op(0x96, d);
  }
  TActions& Undefined() { return Op(0x96, {3}); }
  // Jump (0x99) or If (0x9D) by Offset bytes from the end of the branch.
  TActions& Branch(std::uint8_t Code, std::int16_t Offset)
  {
    const auto u = static_cast<std::uint16_t>(Offset);
    return Op(Code, {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8)});
  }
  TActions& Trace() { return Op(0x26); }
  TActions& GetVar(const std::string& Name) { return Str(Name).Op(0x1C); }
  TActions& SetVar(const std::string& Name, std::int32_t V) { return Str(Name).Int(V).Op(0x1D); }
  // DefineFunction Name() whose body is Body.
  TActions& Function(const std::string& Name, const TActions& Body)
  {
    std::vector<std::uint8_t> d(Name.begin(), Name.end());
    d.push_back(0);
    d.push_back(0);
    d.push_back(0);
    d.push_back(static_cast<std::uint8_t>(Body.Bytes.size()));
    d.push_back(static_cast<std::uint8_t>(Body.Bytes.size() >> 8));
    Op(0x9B, d);
    Bytes.insert(Bytes.end(), Body.Bytes.begin(), Body.Bytes.end());
    return *this;
  }
  TActions& Call(const std::string& Name) { return Int(0).Str(Name).Op(0x3D); }
  std::vector<std::uint8_t> Bytes;
};

} // namespace quenloft::swf::avm1::testing
