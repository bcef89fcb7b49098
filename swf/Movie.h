// The movie model: everything a SWF file defines, read into plain data.
//
// Parsing (MovieReader) fills these structures; the timeline (Timeline.h)
// turns the frames into a display list; the renderer (swf/render/) walks
// that list and draws. Nothing here draws or knows about Qt.
//
// Units: coordinates are twips (1/20 pixel) unless a field says otherwise;
// colours are straight (not premultiplied) RGBA.
//
// Threads: a Movie is immutable once read and may be shared by any number
// of threads that only read it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "swf/Sound.h"

namespace quenloft::swf {

using CharacterId = std::uint16_t;
using Depth = std::uint16_t;

// A number a shape, morph shape or bitmap gets when it is made and that no
// other gets: the renderer keys what it keeps of a character by it, so a
// character whose contents change needs a new one (NewCharacterHandle) and
// the renderer never draws it from what it kept of the old contents. A copy
// keeps the handle of what it copies (it has the same contents).
using CharacterHandle = std::uint64_t;
CharacterHandle NewCharacterHandle(); // any thread

struct Rgba {
  std::uint8_t R = 0;
  std::uint8_t G = 0;
  std::uint8_t B = 0;
  std::uint8_t A = 255;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

struct Rect {
  std::int32_t XMin = 0;
  std::int32_t XMax = 0;
  std::int32_t YMin = 0;
  std::int32_t YMax = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
  double X = 0;
  double Y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// An affine transform: x' = A*x + C*y + Tx, y' = B*x + D*y + Ty. A, B, C, D
// are the file's ScaleX, RotateSkew0, RotateSkew1 and ScaleY; Tx and Ty are
// twips.
struct Matrix {
  double A = 1;
  double B = 0;
  double C = 0;
  double D = 1;
  double Tx = 0;
  double Ty = 0;

  // this after Inner: (this * Inner)(p) == this(Inner(p)).
  Matrix operator*(const Matrix& Inner) const;
  Point Apply(Point P) const;
  friend bool operator==(const Matrix&, const Matrix&) = default;
};

// A colour transform: c' = clamp(c * Mul + Add) per channel, on straight
// colour values 0..255. Mul is the file's 8.8 factor as a real number.
struct ColorTransform {
  double RMul = 1, GMul = 1, BMul = 1, AMul = 1;
  double RAdd = 0, GAdd = 0, BAdd = 0, AAdd = 0;

  // Outer after this: (Outer * this).Apply(c) == Outer.Apply(this.Apply(c))
  // as long as nothing clamps in between.
  ColorTransform operator*(const ColorTransform& Inner) const;
  Rgba Apply(Rgba C) const;
  bool IsIdentity() const;
  friend bool operator==(const ColorTransform&, const ColorTransform&) = default;
};

// --- Fills and lines ---------------------------------------------------------

enum class SpreadMode : std::uint8_t { Pad, Reflect, Repeat };
enum class InterpolationMode : std::uint8_t { Rgb, LinearRgb };

struct GradientStop {
  std::uint8_t Ratio = 0; // 0..255 along the gradient square
  Rgba Color;
  friend bool operator==(const GradientStop&, const GradientStop&) = default;
};

// A gradient lives in the square (-16384, -16384)..(16384, 16384) of its own
// space; Transform maps that square into the shape's space.
struct Gradient {
  Matrix Transform;
  SpreadMode Spread = SpreadMode::Pad;
  InterpolationMode Interpolation = InterpolationMode::Rgb;
  std::vector<GradientStop> Stops;
  double FocalPoint = 0; // -1..1, focal gradients only
  friend bool operator==(const Gradient&, const Gradient&) = default;
};

enum class FillKind : std::uint8_t {
  Solid,
  LinearGradient,
  RadialGradient,
  FocalGradient,
  Bitmap,
};

struct FillStyle {
  FillKind Kind = FillKind::Solid;
  Rgba Color;               // Solid
  swf::Gradient Gradient;   // the gradient kinds
  CharacterId BitmapId = 0; // Bitmap: 0xFFFF or an unknown id draws nothing
  Matrix BitmapTransform;   // Bitmap: maps bitmap pixels (as twips) to shape space
  bool Repeating = true;    // Bitmap: false for the clipped kinds (0x41, 0x43)
  bool Smoothed = true;     // Bitmap: false for the non-smoothed kinds (0x42, 0x43)
  friend bool operator==(const FillStyle&, const FillStyle&) = default;
};

enum class CapStyle : std::uint8_t { Round, None, Square };
enum class JoinStyle : std::uint8_t { Round, Bevel, Miter };

struct LineStyle {
  std::uint16_t Width = 0; // twips; 0 is a hairline
  Rgba Color;
  // DefineShape4 (LINESTYLE2) adds the rest; older shapes keep these defaults.
  CapStyle StartCap = CapStyle::Round;
  CapStyle EndCap = CapStyle::Round;
  JoinStyle Join = JoinStyle::Round;
  double MiterLimit = 3;       // the file's 8.8 factor
  bool ScaleHorizontal = true; // false: the width does not follow the x scale
  bool ScaleVertical = true;   // false: the width does not follow the y scale
  bool PixelHinting = false;
  bool NoClose = false;
  std::optional<FillStyle> Fill; // a fill in place of Color
  friend bool operator==(const LineStyle&, const LineStyle&) = default;
};

// The style arrays in force; a StyleChange may start a new set.
struct ShapeStyles {
  std::vector<FillStyle> Fills;
  std::vector<LineStyle> Lines;
};

// One record of a shape's edge list. Edge deltas are relative to the pen,
// the point where the edge starts: a curve's anchor too is measured from
// the pen, not from its control point as the file stores it. A move is
// absolute in the shape's space. Style indices are 1-based into
// the styles in force, 0 meaning none.
struct ShapeRecord {
  enum class Kind : std::uint8_t { StyleChange, StraightEdge, CurvedEdge };
  Kind Type = Kind::StyleChange;

  // Edges. A straight edge uses only the anchor delta.
  std::int32_t ControlDx = 0, ControlDy = 0;
  std::int32_t AnchorDx = 0, AnchorDy = 0;

  // Style changes.
  bool HasMove = false;
  std::int32_t MoveX = 0, MoveY = 0;
  std::optional<std::uint32_t> Fill0;
  std::optional<std::uint32_t> Fill1;
  std::optional<std::uint32_t> Line;
  // Index into Shape::NewStyles when this record starts a new style set.
  std::optional<std::uint32_t> NewStyles;
};

struct Shape {
  CharacterId Id = 0;
  CharacterHandle Handle = NewCharacterHandle();
  std::uint8_t Version = 1; // DefineShape 1..4; glyphs are 1
  Rect Bounds;
  Rect EdgeBounds;             // DefineShape4; else equal to Bounds
  bool NonZeroWinding = false; // DefineShape4 flag; else even-odd
  ShapeStyles Styles;
  std::vector<ShapeStyles> NewStyles;
  std::vector<ShapeRecord> Records;
};

// A morph shape: start and end records with the same number of edges (the
// reader pairs them, turning straight edges into curves where the other
// side curves); each fill and line style has a start and an end value.
struct MorphFillStyle {
  FillStyle Start;
  FillStyle End;
};
struct MorphLineStyle {
  LineStyle Start;
  LineStyle End;
};
struct MorphShape {
  CharacterId Id = 0;
  CharacterHandle Handle = NewCharacterHandle();
  std::uint8_t Version = 1; // DefineMorphShape 1 or 2
  Rect StartBounds;
  Rect EndBounds;
  std::vector<MorphFillStyle> Fills;
  std::vector<MorphLineStyle> Lines;
  std::vector<ShapeRecord> StartRecords;
  std::vector<ShapeRecord> EndRecords;

  // The shape at Ratio 0..65535 (the PlaceObject ratio).
  Shape At(std::uint16_t Ratio) const;
};

// --- Bitmaps -----------------------------------------------------------------

enum class BitmapFormat : std::uint8_t {
  Jpeg,          // DefineBits (uses the movie's JPEGTables), DefineBitsJPEG2
  JpegWithAlpha, // DefineBitsJPEG3 and 4: Data is the image, Alpha the zlib alpha
  Lossless,      // DefineBitsLossless: zlib data, format 3 (8-bit colormap), 4 (15-bit), 5 (32-bit)
  LosslessAlpha, // DefineBitsLossless2
};

// A bitmap as the file stores it; swf/BitmapDecoder turns it into pixels on
// demand, so reading a movie never holds its images decoded.
struct Bitmap {
  CharacterId Id = 0;
  CharacterHandle Handle = NewCharacterHandle();
  BitmapFormat Format = BitmapFormat::Jpeg;
  bool UsesJpegTables = false; // DefineBits: prefix Movie::JpegTables
  std::uint8_t LosslessFormat = 0;
  std::uint16_t Width = 0; // lossless only; JPEG sizes come from the image
  std::uint16_t Height = 0;
  std::uint16_t ColorTableSize = 0; // lossless format 3: entries minus one
  double Deblocking = 0;            // DefineBitsJPEG4
  std::vector<std::uint8_t> Data;
  std::vector<std::uint8_t> Alpha;
};

// --- Fonts and static text ---------------------------------------------------

struct Font {
  CharacterId Id = 0;
  std::uint8_t Version = 1; // DefineFont 1..3; version 3 glyphs are 20 times finer
  std::string Name;
  std::vector<Shape> Glyphs; // one fill style (1), no lines
  std::vector<std::uint16_t> CodeTable;
  std::vector<std::int16_t> Advances; // when the font has layout
  std::int16_t Ascent = 0;            // when the font has layout, in glyph units
  std::int16_t Descent = 0;
  std::int16_t Leading = 0;
  bool Bold = false;
  bool Italic = false;
  // Pairs whose second glyph moves by Adjustment (glyph units) when kerned.
  struct KerningPair {
    std::uint16_t First = 0; // character codes
    std::uint16_t Second = 0;
    std::int16_t Adjustment = 0;
  };
  std::vector<KerningPair> Kerning;
};

struct GlyphEntry {
  std::uint32_t Index = 0;
  std::int32_t Advance = 0;
};

struct TextRecord {
  CharacterId FontId = 0; // the font in force for this record
  Rgba Color;
  std::int32_t X = 0; // the pen position at the start of the record
  std::int32_t Y = 0;
  std::uint16_t Height = 0; // twips; the glyph's 1024-unit em box scales to it
  std::vector<GlyphEntry> Glyphs;
};

enum class TextAlign : std::uint8_t { Left, Right, Center, Justify };

// The look of a stretch of text; lengths in twips.
struct TextFormat {
  std::string Face;      // a font's name; "" for the field's own font
  std::int32_t Size = 0; // the em square's height
  Rgba Color{0, 0, 0, 255};
  bool Bold = false;
  bool Italic = false;
  bool Kerning = false;
  std::int32_t LetterSpacing = 0; // added after every character
  // Paragraph formats: the first character of a paragraph decides them.
  TextAlign Align = TextAlign::Left;
  std::int32_t LeftMargin = 0;
  std::int32_t RightMargin = 0;
  std::int32_t Indent = 0; // the first line's extra left margin
  std::int32_t Leading = 0;
  friend bool operator==(const TextFormat&, const TextFormat&) = default;
};

// A stretch of text in one format; U'\n' ends a paragraph.
struct TextRun {
  TextFormat Format;
  std::u32string Text;
};

// An edit field shown in the system's fonts: its text by format; the
// renderer lays it out with the fonts it has.
struct DeviceText {
  std::vector<TextRun> Runs;
  bool WordWrap = false;
};

struct EditTextField;

struct Text {
  CharacterId Id = 0;
  Rect Bounds;
  Matrix Transform;
  std::vector<TextRecord> Records; // every field resolved (no "same as before")
  // An edit field's background and border, drawn under the glyphs.
  std::optional<Shape> Frame;
  // An edit field in device fonts: no records, this instead.
  std::optional<DeviceText> Device;
  // For a DefineEditText: what the tag said about the field.
  std::shared_ptr<const EditTextField> Edit;
};

// --- Video -------------------------------------------------------------------

// The codec ids of DefineVideoStream.
enum class VideoCodec : std::uint8_t {
  H263 = 2,         // Sorenson H.263
  ScreenVideo = 3,  // Screen Video 1
  VP6 = 4,          // On2 VP6
  VP6Alpha = 5,     // On2 VP6 with an alpha channel
  ScreenVideo2 = 6, // Screen Video 2
};

// A video embedded in the timeline: the stream's packets as the file
// stores them; swf/VideoDecoder turns them into pixels. A placed video
// shows the packet of the PlaceObject ratio (or the last one before it).
struct VideoStream {
  CharacterId Id = 0;
  std::uint16_t FrameCount = 0; // as declared
  std::uint16_t Width = 0;      // pixels: the size the frames are drawn at
  std::uint16_t Height = 0;
  std::uint8_t Deblocking = 0; // 0: as the packet says, 1: off, 2..5: levels
  bool Smoothing = false;
  std::uint8_t Codec = 0; // a VideoCodec value, or an unknown id kept as read
  struct Packet {
    std::uint16_t Frame = 0;
    std::vector<std::uint8_t> Data;
  };
  std::vector<Packet> Packets; // by frame number, one per number
};

// --- Timelines ---------------------------------------------------------------

enum class BlendMode : std::uint8_t {
  Normal,
  Layer,
  Multiply,
  Screen,
  Lighten,
  Darken,
  Difference,
  Add,
  Subtract,
  Invert,
  Alpha,
  Erase,
  Overlay,
  HardLight,
};

// The filters of a placement (swf/Filters.h); shared, never changed once
// made: whoever changes an object's filters gives it a new list.
struct Filter;
using FilterList = std::vector<Filter>;

// The bytes of one block of actions as the file holds them (up to and
// without the tag's end); the script machine decodes them. Shared, so a
// block's identity (its address) can key a cache of decoded blocks.
using ActionBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

// Clip events a PlaceObject's handlers answer, one bit each as the file
// orders them from SWF 6 on (SWF 5's 16-bit field fills the low half).
enum ClipEvent : std::uint32_t {
  ClipLoad = 1u << 0,
  ClipEnterFrame = 1u << 1,
  ClipUnload = 1u << 2,
  ClipMouseMove = 1u << 3,
  ClipMouseDown = 1u << 4,
  ClipMouseUp = 1u << 5,
  ClipKeyDown = 1u << 6,
  ClipKeyUp = 1u << 7,
  ClipData = 1u << 8,
  ClipInitialize = 1u << 9,
  ClipPress = 1u << 10,
  ClipRelease = 1u << 11,
  ClipReleaseOutside = 1u << 12,
  ClipRollOver = 1u << 13,
  ClipRollOut = 1u << 14,
  ClipDragOver = 1u << 15,
  ClipDragOut = 1u << 16,
  ClipKeyPress = 1u << 17,
  ClipConstruct = 1u << 18,
};

// One `onClipEvent` handler of a placed clip.
struct ClipAction {
  std::uint32_t Events = 0; // ClipEvent bits
  std::uint8_t KeyCode = 0; // ClipKeyPress: the key
  ActionBytes Actions;
};

// A DoInitAction: runs once, before the frame's other actions, when the
// timeline holding it first reaches its frame.
struct InitAction {
  CharacterId Sprite = 0;
  ActionBytes Actions;
};

struct PlaceObject {
  enum class Action : std::uint8_t { Place, Modify, Replace };
  Action Kind = Action::Place;
  swf::Depth Depth = 0;
  std::optional<CharacterId> Character;
  std::optional<Matrix> Transform;
  std::optional<ColorTransform> Color;
  std::optional<std::uint16_t> Ratio;
  std::optional<std::uint16_t> ClipDepth;
  std::optional<std::string> Name;
  std::optional<BlendMode> Blend;
  std::optional<bool> Visible;
  std::optional<bool> CacheAsBitmap;
  std::optional<Rgba> BackgroundColor;
  std::shared_ptr<const FilterList> Filters; // null: left as they are
  std::vector<ClipAction> ClipActions;
};

struct RemoveObject {
  swf::Depth Depth = 0;
};

// The timeline actions a frame's DoAction may hold that the player obeys;
// anything else in the action stream is counted and skipped.
struct FrameAction {
  enum class Kind : std::uint8_t { Stop, Play, NextFrame, PreviousFrame, GotoFrame, GotoLabel };
  Kind Type = Kind::Stop;
  std::uint32_t Frame = 0; // GotoFrame: counted from 0
  std::string Label;       // GotoLabel
  bool AndPlay = false;    // gotoAndPlay rather than gotoAndStop
};

// One frame: the display-list changes in file order, then its actions.
// Actions are what the timeline obeys without running script; Scripts and
// InitScripts are the whole action blocks for the script machine.
struct Frame {
  std::vector<std::variant<PlaceObject, RemoveObject>> Changes;
  std::vector<FrameAction> Actions;
  // Sounds the frame starts or stops, and its part of the timeline's stream.
  std::vector<StartSound> Sounds;
  std::optional<SoundStreamBlock> StreamBlock;
  std::vector<ActionBytes> Scripts;         // DoAction blocks in file order
  // For each of Scripts, how many of Changes came before it in the file
  // (the player runs a frame's scripts and new clips in that order).
  std::vector<std::uint32_t> ScriptsAfter;
  std::vector<InitAction> InitScripts;      // DoInitAction blocks in file order
};

struct Sprite {
  CharacterId Id = 0;
  std::uint16_t FrameCount = 0; // as declared; Frames.size() is what was read
  std::vector<Frame> Frames;
  std::map<std::string, std::uint32_t> Labels; // label -> frame from 0
  std::optional<SoundStreamHead> StreamHead;   // the timeline's stream sound, if any
};

// --- Buttons -----------------------------------------------------------------

// One character a button shows in some of its states.
struct ButtonRecord {
  enum State : std::uint8_t { Up = 1, Over = 2, Down = 4, HitTest = 8 };
  std::uint8_t States = 0; // State bits
  CharacterId Character = 0;
  swf::Depth Depth = 0;
  Matrix Transform;
  ColorTransform Color; // DefineButton2's own, or DefineButtonCxform's
  BlendMode Blend = BlendMode::Normal;
  std::shared_ptr<const FilterList> Filters;
};

// One action block of a button and the transitions that run it.
struct ButtonAction {
  // Mouse transitions, bit per transition as DefineButton2 orders them:
  // 0 idle->over up, 1 over up->idle, 2 over up->over down (press),
  // 3 over down->over up (release), 4 over down->out down, 5 out
  // down->over down, 6 out down->idle (release outside), 7 idle->over
  // down, 8 over down->idle. DefineButton's one block runs on release.
  std::uint16_t Conditions = 0;
  std::uint8_t KeyCode = 0; // non-zero: runs when this key is pressed
  ActionBytes Actions;
};

// DefineButton and DefineButton2: the records in file order and the
// action blocks.
struct Button {
  CharacterId Id = 0;
  bool TrackAsMenu = false;
  std::vector<ButtonRecord> Records;
  std::vector<ButtonAction> Actions;
};

using Character = std::variant<Shape, MorphShape, Bitmap, Font, Text, Sprite, Button, VideoStream>;

struct Movie {
  std::uint8_t Version = 0;
  char Signature = 'F'; // F, C or Z
  Rect Stage;
  double FrameRate = 0; // frames per second
  Rgba Background{255, 255, 255, 255};
  Sprite Root; // the main timeline; Id 0
  std::unordered_map<CharacterId, Character> Dictionary;
  std::vector<std::uint8_t> JpegTables;
  // Sounds live beside the dictionary: nothing places them.
  std::unordered_map<CharacterId, Sound> Sounds;
  std::unordered_map<CharacterId, swf::ButtonSounds> ButtonSounds;
  // Characters exported by name (ExportAssets), for script's attachMovie.
  std::map<std::string, CharacterId> Exports;
  // The 9-slice grids of sprites and buttons (DefineScalingGrid), in twips
  // of the character's own space.
  std::unordered_map<CharacterId, Rect> ScalingGrids;

  // Counts of what the player does not obey, by tag name ("DoABC", "DefineEditText")
  // and, for skipped actions, "action 0x96" style keys under "DoAction".
  std::map<std::string, std::uint32_t> SkippedTags;
  // True when script (DoABC, or DoAction beyond the plain timeline actions,
  // or any other script tag) drives the movie.
  bool Scripted = false;
  // True when the movie holds ActionScript 3 (DoABC), which the player does
  // not run; ActionScript 1 and 2 blocks are kept in the frames.
  bool ScriptedAs3 = false;
  // Empty when the whole file was read; otherwise where and why reading
  // stopped or a tag was dropped. What came before stays in the movie.
  std::string ReadError;

  const Character* Find(CharacterId Id) const;
};

} // namespace quenloft::swf
