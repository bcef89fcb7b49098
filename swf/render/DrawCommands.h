// The seam between the display list and the painter.
//
// EmitDisplayList walks a frame's display list (sprites, masks, blend
// modes, text, morph shapes) and says what to draw as a short list of
// commands; a backend carries them out. PainterBackend draws them with
// QPainter; CommandRecorder keeps them, so a test can see the commands of a
// frame without looking at pixels.
//
// The commands come in this grammar:
//   frame   := item*
//   item    := DrawShape | DrawDeviceText | DrawVideo | mask | layer | filtered
//              (a mask's own items are shapes only: device text and
//               video cut nothing)
//   mask    := PushMask item* ActivateMask item* DeactivateMask PopMask
//              (the items before ActivateMask are the mask's own shapes;
//               the items after it are what the mask cuts)
//   layer   := BeginLayer(mode) item* EndLayer
//              (the items are drawn apart and then blended onto what is
//               under them with the mode)
//
// Threads: one thread per walk; the Movie is only read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "swf/Filters.h"
#include "swf/Movie.h"
#include "swf/Timeline.h"

namespace quenloft::swf::render {

class ShapeCache;

// Parent after Child for an object placed in a parent's display list: as
// Parent * Child, with the offset Child adds rounded to whole twips.
Matrix PlaceInParent(const Matrix& Parent, const Matrix& Child);

struct ShapeDraw {
  CharacterId Character = 0; // the placed character (the text, for a glyph)
  const swf::Shape* Shape = nullptr;
  Matrix Transform;     // shape space (twips) to stage twips
  ColorTransform Color; // applied to every colour of the shape
};

// An edit field in the system's fonts: laid out and drawn by the backend.
struct DeviceTextDraw {
  CharacterId Character = 0;
  const swf::Text* Text = nullptr; // its Device holds the runs
  Matrix Transform;                // the field's space (twips) to stage twips
  ColorTransform Color;
};

// A placed video: the picture of the stream's frame Frame stretched over
// the stream's Width x Height pixels (as twips) of its own space.
struct VideoDraw {
  CharacterId Character = 0;
  const VideoStream* Stream = nullptr;
  std::uint16_t Frame = 0; // the placement's ratio
  Matrix Transform;        // the video's space (twips) to stage twips
  ColorTransform Color;
};

class DrawCommands {
public:
  virtual ~DrawCommands() = default;
  virtual void DrawShape(const ShapeDraw& Draw) = 0;
  virtual void DrawDeviceText(const DeviceTextDraw& Draw) = 0;
  virtual void DrawVideo(const VideoDraw& Draw) = 0;
  virtual void PushMask() = 0;
  virtual void ActivateMask() = 0;
  virtual void DeactivateMask() = 0;
  virtual void PopMask() = 0;
  virtual void BeginLayer(BlendMode Mode) = 0;
  virtual void EndLayer() = 0;
  // Filters outlives the walk. Corner: the top left of the object's
  // bounds in stage twips (where its bitmap starts).
  virtual void BeginFilters(const FilterList& Filters, const ColorTransform& Color, Point Corner) = 0;
  virtual void EndFilters() = 0;
};

// Sprites nested deeper than this are not drawn (a file can nest without
// end; the player stops far earlier).
constexpr int MaxNesting = 64;

// Emits the commands for List under Stage (stage twips to whatever the
// backend maps them to; the identity for a frame of the root). Characters
// missing from the dictionary, or of a kind that draws nothing, are skipped.
void EmitDisplayList(const Movie& Movie, const DisplayList& List, ShapeCache& Shapes, DrawCommands& Out,
                     const Matrix& Stage = {}, const ColorTransform& Color = {});

// Keeps every command, for tests and tools.
class CommandRecorder : public DrawCommands {
public:
  struct Command {
    enum class Kind : std::uint8_t {
      Shape,
      DeviceText,
      Video,
      PushMask,
      ActivateMask,
      DeactivateMask,
      PopMask,
      BeginLayer,
      EndLayer,
      BeginFilters,
      EndFilters
    };
    Kind Type = Kind::Shape;
    ShapeDraw Draw;                     // Shape; BeginFilters: its colour
    BlendMode Mode = BlendMode::Normal; // BeginLayer
    DeviceTextDraw Text;                // DeviceText
    const FilterList* Filters = nullptr; // BeginFilters
    Point Corner;                        // BeginFilters
    VideoDraw Video;                     // Video
  };

  void DrawShape(const ShapeDraw& Draw) override;
  void DrawDeviceText(const DeviceTextDraw& Draw) override;
  void DrawVideo(const VideoDraw& Draw) override;
  void PushMask() override;
  void ActivateMask() override;
  void DeactivateMask() override;
  void PopMask() override;
  void BeginLayer(BlendMode Mode) override;
  void EndLayer() override;
  void BeginFilters(const FilterList& Filters, const ColorTransform& Color, Point Corner) override;
  void EndFilters() override;

  const std::vector<Command>& Commands() const { return FCommands; }
  // One word per command: "shape 3", "text 4" (device text), "video 5@2" (a
  // video's id and frame), "push", "activate", "deactivate", "pop", "layer 2"
  // (the blend mode's number), "end", "filters 3" (how many), "end filters".
  std::vector<std::string> Words() const;

private:
  std::vector<Command> FCommands;
};

} // namespace quenloft::swf::render
