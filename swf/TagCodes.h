// The tag codes of the file format, with their names: one list that the
// tag reader dispatches on and that names tags in messages and in a
// movie's skipped-tag counts.
//
// Threads: constants and a pure function, any thread.
#pragma once

#include <cstdint>
#include <string>

namespace quenloft::swf {

// X(Name, Code) for every tag the format defines.
#define QUENLOFT_SWF_TAGS(X)                                                                                 \
  X(End, 0)                                                                                                  \
  X(ShowFrame, 1)                                                                                            \
  X(DefineShape, 2)                                                                                          \
  X(PlaceObject, 4)                                                                                          \
  X(RemoveObject, 5)                                                                                         \
  X(DefineBits, 6)                                                                                           \
  X(DefineButton, 7)                                                                                         \
  X(JPEGTables, 8)                                                                                           \
  X(SetBackgroundColor, 9)                                                                                   \
  X(DefineFont, 10)                                                                                          \
  X(DefineText, 11)                                                                                          \
  X(DoAction, 12)                                                                                            \
  X(DefineFontInfo, 13)                                                                                      \
  X(DefineSound, 14)                                                                                         \
  X(StartSound, 15)                                                                                          \
  X(DefineButtonSound, 17)                                                                                   \
  X(SoundStreamHead, 18)                                                                                     \
  X(SoundStreamBlock, 19)                                                                                    \
  X(DefineBitsLossless, 20)                                                                                  \
  X(DefineBitsJPEG2, 21)                                                                                     \
  X(DefineShape2, 22)                                                                                        \
  X(DefineButtonCxform, 23)                                                                                  \
  X(Protect, 24)                                                                                             \
  X(PlaceObject2, 26)                                                                                        \
  X(RemoveObject2, 28)                                                                                       \
  X(DefineShape3, 32)                                                                                        \
  X(DefineText2, 33)                                                                                         \
  X(DefineButton2, 34)                                                                                       \
  X(DefineBitsJPEG3, 35)                                                                                     \
  X(DefineBitsLossless2, 36)                                                                                 \
  X(DefineEditText, 37)                                                                                      \
  X(DefineSprite, 39)                                                                                        \
  X(ProductInfo, 41)                                                                                         \
  X(FrameLabel, 43)                                                                                          \
  X(SoundStreamHead2, 45)                                                                                    \
  X(DefineMorphShape, 46)                                                                                    \
  X(DefineFont2, 48)                                                                                         \
  X(ExportAssets, 56)                                                                                        \
  X(ImportAssets, 57)                                                                                        \
  X(EnableDebugger, 58)                                                                                      \
  X(DoInitAction, 59)                                                                                        \
  X(DefineVideoStream, 60)                                                                                   \
  X(VideoFrame, 61)                                                                                          \
  X(DefineFontInfo2, 62)                                                                                     \
  X(DebugID, 63)                                                                                             \
  X(EnableDebugger2, 64)                                                                                     \
  X(ScriptLimits, 65)                                                                                        \
  X(SetTabIndex, 66)                                                                                         \
  X(FileAttributes, 69)                                                                                      \
  X(PlaceObject3, 70)                                                                                        \
  X(ImportAssets2, 71)                                                                                       \
  X(DoABC, 72)                                                                                               \
  X(DefineFontAlignZones, 73)                                                                                \
  X(CSMTextSettings, 74)                                                                                     \
  X(DefineFont3, 75)                                                                                         \
  X(SymbolClass, 76)                                                                                         \
  X(Metadata, 77)                                                                                            \
  X(DefineScalingGrid, 78)                                                                                   \
  X(DoABC2, 82)                                                                                              \
  X(DefineShape4, 83)                                                                                        \
  X(DefineMorphShape2, 84)                                                                                   \
  X(DefineSceneAndFrameLabelData, 86)                                                                        \
  X(DefineBinaryData, 87)                                                                                    \
  X(DefineFontName, 88)                                                                                      \
  X(StartSound2, 89)                                                                                         \
  X(DefineBitsJPEG4, 90)                                                                                     \
  X(DefineFont4, 91)                                                                                         \
  X(EnableTelemetry, 93)                                                                                     \
  X(PlaceObject4, 94)

// A tag header's 10-bit code. Codes missing from the list are valid
// values too: the reader skips them and counts them as "tag N".
enum class Tag : std::uint16_t {
#define QUENLOFT_SWF_TAG_ENUM(Name, Value) Name = Value,
  QUENLOFT_SWF_TAGS(QUENLOFT_SWF_TAG_ENUM)
#undef QUENLOFT_SWF_TAG_ENUM
};

// The tag's name, or nullptr for a code the list does not hold.
constexpr const char* TagName(Tag Code)
{
  switch (Code) {
#define QUENLOFT_SWF_TAG_NAME(Name, Value)                                                                   \
  case Tag::Name: return #Name;
    QUENLOFT_SWF_TAGS(QUENLOFT_SWF_TAG_NAME)
#undef QUENLOFT_SWF_TAG_NAME
  }
  return nullptr;
}

// The name, or "tag N" for a code without one.
inline std::string TagKey(Tag Code)
{
  const char* name = TagName(Code);
  return name ? std::string(name) : "tag " + std::to_string(static_cast<int>(Code));
}

} // namespace quenloft::swf
