#include "ui/kvuRegistry.h"

#include <cstring>
#include <limits>

#include "platform/SettingsStore.h"

namespace quenloft {
namespace {

TRegData DWord(std::uint32_t Value)
{
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[static_cast<std::size_t>(i)] = static_cast<char>((Value >> (8 * i)) & 0xFF);
  return {TRegDataType::rdInteger, std::move(bytes)};
}

// The data to store for a value, or false when the value cannot be stored.
bool ToRegData(const TRegValue& Value, TRegData& Data)
{
  constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  if (const auto* i = std::get_if<std::int64_t>(&Value)) {
    if (*i < kMin || *i > kMax)
      return false;
    Data = DWord(static_cast<std::uint32_t>(static_cast<std::int32_t>(*i)));
  } else if (const auto* u = std::get_if<std::uint64_t>(&Value)) {
    if (*u > static_cast<std::uint64_t>(kMax))
      return false;
    Data = DWord(static_cast<std::uint32_t>(*u));
  } else if (const auto* b = std::get_if<bool>(&Value)) {
    Data = DWord(*b ? 0xFFFFFFFFu : 0u);
  } else if (const auto* f = std::get_if<double>(&Value)) {
    std::string bytes(sizeof(double), '\0');
    std::memcpy(bytes.data(), f, sizeof(double));
    Data = {TRegDataType::rdBinary, std::move(bytes)};
  } else {
    Data = {TRegDataType::rdString, std::get<std::string>(Value)};
  }
  return true;
}

} // namespace

std::string RegStoreFileName(HKEY Root)
{
  const std::string folder = TSettingsStore::DefaultFolder();
  if (folder.empty())
    return {};
  return folder + (Root == HKEY_CLASSES_ROOT ? "classes.ini" : "registry.ini");
}

bool RegWriteValue(HKEY Root, const std::string& Key, const std::string& Name, const TRegValue& Value)
{
  try {
    TRegData data;
    if (!ToRegData(Value, data))
      return false;
    return TSettingsStore(RegStoreFileName(Root)).WriteValue(Key, Name, data);
  } catch (const std::exception&) {
    return false;
  }
}

std::string RegReadString(HKEY Root, const std::string& Key, const std::string& Name)
{
  try {
    const auto data = TSettingsStore(RegStoreFileName(Root)).ReadValue(Key, Name);
    if (!data || (data->Type != TRegDataType::rdString && data->Type != TRegDataType::rdExpandString))
      return {};
    return data->Bytes.substr(0, data->Bytes.find('\0'));
  } catch (const std::exception&) {
    return {};
  }
}

bool RegReadBool(HKEY Root, const std::string& Key, const std::string& Name)
{
  try {
    const auto data = TSettingsStore(RegStoreFileName(Root)).ReadValue(Key, Name);
    if (!data || data->Type != TRegDataType::rdInteger || data->Bytes.size() != 4)
      return false;
    return data->Bytes != std::string(4, '\0');
  } catch (const std::exception&) {
    return false;
  }
}

} // namespace quenloft
