// Single registry values: the settings (HKEY_CURRENT_USER "Software/Quenloft")
// and the player registration (HKEY_CLASSES_ROOT). Here the registry is the
// per-user settings store (platform/SettingsStore.h): HKEY_CURRENT_USER is
// $XDG_CONFIG_HOME/Quenloft/registry.ini, HKEY_CLASSES_ROOT the read-mostly
// classes.ini beside it, which nothing of ours writes in normal use.
//
// Each call opens the store afresh and lets no error escape: reads give ""
// or false, writes return false.
//
// Threads: any thread. The settings functions run on the UI thread, except
// that the install-ping thread writes "InstallTracked" (App->SetInstallTracked).
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace quenloft {

enum class HKEY { HKEY_CURRENT_USER, HKEY_CLASSES_ROOT };
inline constexpr HKEY HKEY_CURRENT_USER = HKEY::HKEY_CURRENT_USER;
inline constexpr HKEY HKEY_CLASSES_ROOT = HKEY::HKEY_CLASSES_ROOT;

// A value to write: an integer (signed or unsigned), a boolean, a floating
// point number or a text.
using TRegValue = std::variant<std::int64_t, std::uint64_t, bool, double, std::string>;

// The store file of a root.
std::string RegStoreFileName(HKEY Root);

// Writes Name under Key, creating the key: integers and booleans as a 32-bit
// REG_DWORD (true is -1, 0xFFFFFFFF; an integer outside the signed 32-bit
// range is a failure), floating point as an 8-byte REG_BINARY IEEE double,
// text as REG_SZ. True when the value was written.
bool RegWriteValue(HKEY Root, const std::string& Key, const std::string& Name, const TRegValue& Value);

// The text of a REG_SZ or REG_EXPAND_SZ value (unexpanded) up to its first
// zero byte; "" for a missing key or value, or any other type. An empty Name
// reads the key's default value.
std::string RegReadString(HKEY Root, const std::string& Key, const std::string& Name);

// True for a REG_DWORD value that is not 0; false for a missing key or value
// or any other type.
bool RegReadBool(HKEY Root, const std::string& Key, const std::string& Name);

} // namespace quenloft
