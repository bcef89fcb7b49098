#include "swf/ShapeReader.h"

#include <cstdlib>

namespace quenloft::swf {

namespace {

void ReadGradientHeader(TTagReader& R, Gradient& G, std::size_t& Count)
{
  // SpreadMode UB[2], InterpolationMode UB[2], NumGradients UB[4].
  const std::uint32_t spread = R.UBits(2);
  const std::uint32_t interp = R.UBits(2);
  Count = R.UBits(4);
  G.Spread = spread == 1 ? SpreadMode::Reflect : spread == 2 ? SpreadMode::Repeat : SpreadMode::Pad;
  G.Interpolation = interp == 1 ? InterpolationMode::LinearRgb : InterpolationMode::Rgb;
}

// A count of 0xFF is followed by the real count in 16 bits; DefineShape
// (version 1) has no extended fill count, its 0xFF is 255 fills.
std::size_t ReadStyleCount(TTagReader& R, bool Extends = true)
{
  std::size_t count = R.U8();
  if (count == 0xFF && Extends)
    count = R.U16();
  return count;
}

FillKind GradientKind(std::uint8_t Type)
{
  return Type == 0x10   ? FillKind::LinearGradient
         : Type == 0x12 ? FillKind::RadialGradient
                        : FillKind::FocalGradient;
}

bool IsGradient(std::uint8_t Type)
{
  return Type == 0x10 || Type == 0x12 || Type == 0x13;
}

bool IsBitmap(std::uint8_t Type)
{
  return Type >= 0x40 && Type <= 0x43;
}

void SetBitmapKind(FillStyle& F, std::uint8_t Type)
{
  F.Kind = FillKind::Bitmap;
  F.Repeating = Type == 0x40 || Type == 0x42;
  F.Smoothed = Type == 0x40 || Type == 0x41;
}

[[noreturn]] void BadFill(std::uint8_t Type)
{
  throw ETagError("unknown fill style type " + std::to_string(Type));
}

// The flags of LINESTYLE2 (shapes 4 and morph shapes 2): StartCapStyle
// UB[2], JoinStyle UB[2], HasFillFlag, NoHScaleFlag, NoVScaleFlag,
// PixelHintingFlag, Reserved UB[5], NoClose, EndCapStyle UB[2], then the
// miter limit of a miter join. Gives HasFillFlag: a fill style follows
// instead of a colour.
bool ReadLineStyle2Flags(TTagReader& R, LineStyle& L)
{
  const auto cap = [](std::uint32_t v) {
    return v == 1 ? CapStyle::None : v == 2 ? CapStyle::Square : CapStyle::Round;
  };
  L.StartCap = cap(R.UBits(2));
  const std::uint32_t join = R.UBits(2);
  L.Join = join == 1 ? JoinStyle::Bevel : join == 2 ? JoinStyle::Miter : JoinStyle::Round;
  const bool hasFill = R.Flag();
  L.ScaleHorizontal = !R.Flag();
  L.ScaleVertical = !R.Flag();
  L.PixelHinting = R.Flag();
  R.UBits(5);
  L.NoClose = R.Flag();
  L.EndCap = cap(R.UBits(2));
  if (join == 2)
    L.MiterLimit = R.Fixed8();
  return hasFill;
}

LineStyle ReadLineStyle(TTagReader& R, int Version)
{
  LineStyle l;
  l.Width = R.U16();
  if (Version < 4) {
    l.Color = R.ReadColor(Version >= 3);
    return l;
  }
  if (ReadLineStyle2Flags(R, l)) {
    l.Fill = ReadFillStyle(R, Version);
    if (l.Fill->Kind == FillKind::Solid)
      l.Color = l.Fill->Color;
  } else {
    l.Color = R.ReadRgba();
  }
  return l;
}

} // namespace

FillStyle ReadFillStyle(TTagReader& R, int ShapeVersion)
{
  FillStyle f;
  const std::uint8_t type = R.U8();
  if (type == 0x00) {
    f.Color = R.ReadColor(ShapeVersion >= 3);
  } else if (IsGradient(type)) {
    f.Kind = GradientKind(type);
    f.Gradient.Transform = R.ReadMatrix();
    std::size_t count = 0;
    ReadGradientHeader(R, f.Gradient, count);
    f.Gradient.Stops.resize(count);
    for (auto& stop : f.Gradient.Stops) {
      stop.Ratio = R.U8();
      stop.Color = R.ReadColor(ShapeVersion >= 3);
    }
    if (type == 0x13)
      f.Gradient.FocalPoint = R.Fixed8();
  } else if (IsBitmap(type)) {
    SetBitmapKind(f, type);
    f.BitmapId = R.U16();
    f.BitmapTransform = R.ReadMatrix();
  } else {
    BadFill(type);
  }
  return f;
}

ShapeStyles ReadShapeStyles(TTagReader& R, int ShapeVersion)
{
  ShapeStyles s;
  // Each style takes at least one byte, which bounds the counts.
  std::size_t fills = ReadStyleCount(R, ShapeVersion >= 2);
  if (fills > R.Remaining())
    throw ETagError("more fill styles than the tag holds");
  s.Fills.reserve(fills);
  for (std::size_t i = 0; i < fills; ++i)
    s.Fills.push_back(ReadFillStyle(R, ShapeVersion));
  std::size_t lines = ReadStyleCount(R);
  if (lines > R.Remaining())
    throw ETagError("more line styles than the tag holds");
  s.Lines.reserve(lines);
  for (std::size_t i = 0; i < lines; ++i)
    s.Lines.push_back(ReadLineStyle(R, ShapeVersion));
  return s;
}

void ReadShapeRecords(TTagReader& R, int Version, Shape& Into)
{
  R.Align();
  int fillBits = static_cast<int>(R.UBits(4));
  int lineBits = static_cast<int>(R.UBits(4));
  for (;;) {
    if (Into.Records.size() >= MaxShapeRecords)
      throw ETagError("a shape with too many records");
    ShapeRecord rec;
    if (R.Flag()) {
      const bool straight = R.Flag();
      const int bits = static_cast<int>(R.UBits(4)) + 2;
      if (straight) {
        rec.Type = ShapeRecord::Kind::StraightEdge;
        if (R.Flag()) {
          rec.AnchorDx = R.SBits(bits);
          rec.AnchorDy = R.SBits(bits);
        } else if (R.Flag()) {
          rec.AnchorDy = R.SBits(bits);
        } else {
          rec.AnchorDx = R.SBits(bits);
        }
      } else {
        // The file gives the anchor from the control point; the model
        // keeps both from the pen.
        rec.Type = ShapeRecord::Kind::CurvedEdge;
        rec.ControlDx = R.SBits(bits);
        rec.ControlDy = R.SBits(bits);
        rec.AnchorDx = rec.ControlDx + R.SBits(bits);
        rec.AnchorDy = rec.ControlDy + R.SBits(bits);
      }
      Into.Records.push_back(rec);
      continue;
    }
    const std::uint32_t flags = R.UBits(5);
    if (flags == 0)
      break;
    if (flags & 0x01) {
      const int bits = static_cast<int>(R.UBits(5));
      rec.HasMove = true;
      rec.MoveX = R.SBits(bits);
      rec.MoveY = R.SBits(bits);
    }
    if (flags & 0x02)
      rec.Fill0 = R.UBits(fillBits);
    if (flags & 0x04)
      rec.Fill1 = R.UBits(fillBits);
    if (flags & 0x08)
      rec.Line = R.UBits(lineBits);
    // New styles belong to DefineShape2 and later; glyphs and morph
    // shapes (read as version 1) never start one.
    if ((flags & 0x10) && Version >= 2) {
      R.Align();
      rec.NewStyles = static_cast<std::uint32_t>(Into.NewStyles.size());
      Into.NewStyles.push_back(ReadShapeStyles(R, Version));
      fillBits = static_cast<int>(R.UBits(4));
      lineBits = static_cast<int>(R.UBits(4));
    }
    Into.Records.push_back(std::move(rec));
  }
  R.Align();
}

Shape ReadShape(TTagReader& R, int Version)
{
  Shape s;
  s.Id = R.U16();
  s.Version = static_cast<std::uint8_t>(Version);
  s.Bounds = R.ReadRect();
  s.EdgeBounds = s.Bounds;
  if (Version >= 4) {
    s.EdgeBounds = R.ReadRect();
    s.NonZeroWinding = (R.U8() & 0x04) != 0;
  }
  s.Styles = ReadShapeStyles(R, Version);
  ReadShapeRecords(R, Version, s);
  return s;
}

namespace {

MorphFillStyle ReadMorphFill(TTagReader& R)
{
  MorphFillStyle m;
  const std::uint8_t type = R.U8();
  if (type == 0x00) {
    m.Start.Color = R.ReadRgba();
    m.End.Color = R.ReadRgba();
  } else if (IsGradient(type)) {
    m.Start.Kind = m.End.Kind = GradientKind(type);
    m.Start.Gradient.Transform = R.ReadMatrix();
    m.End.Gradient.Transform = R.ReadMatrix();
    std::size_t count = 0;
    ReadGradientHeader(R, m.Start.Gradient, count);
    m.End.Gradient.Spread = m.Start.Gradient.Spread;
    m.End.Gradient.Interpolation = m.Start.Gradient.Interpolation;
    for (std::size_t i = 0; i < count; ++i) {
      GradientStop a, b;
      a.Ratio = R.U8();
      a.Color = R.ReadRgba();
      b.Ratio = R.U8();
      b.Color = R.ReadRgba();
      m.Start.Gradient.Stops.push_back(a);
      m.End.Gradient.Stops.push_back(b);
    }
    if (type == 0x13) {
      m.Start.Gradient.FocalPoint = R.Fixed8();
      m.End.Gradient.FocalPoint = R.Fixed8();
    }
  } else if (IsBitmap(type)) {
    SetBitmapKind(m.Start, type);
    SetBitmapKind(m.End, type);
    m.Start.BitmapId = m.End.BitmapId = R.U16();
    m.Start.BitmapTransform = R.ReadMatrix();
    m.End.BitmapTransform = R.ReadMatrix();
  } else {
    BadFill(type);
  }
  return m;
}

MorphLineStyle ReadMorphLine(TTagReader& R, int Version)
{
  MorphLineStyle m;
  m.Start.Width = R.U16();
  m.End.Width = R.U16();
  if (Version >= 2) {
    // The flags are shared by both ends.
    LineStyle& s = m.Start;
    const bool hasFill = ReadLineStyle2Flags(R, s);
    const std::uint16_t endWidth = m.End.Width;
    m.End = s;
    m.End.Width = endWidth;
    if (hasFill) {
      const MorphFillStyle f = ReadMorphFill(R);
      m.Start.Fill = f.Start;
      m.End.Fill = f.End;
      m.Start.Color = f.Start.Color;
      m.End.Color = f.End.Color;
      return m;
    }
  }
  m.Start.Color = R.ReadRgba();
  m.End.Color = R.ReadRgba();
  return m;
}

ShapeRecord AsCurve(const ShapeRecord& E)
{
  if (E.Type != ShapeRecord::Kind::StraightEdge)
    return E;
  ShapeRecord c = E;
  c.Type = ShapeRecord::Kind::CurvedEdge;
  c.ControlDx = E.AnchorDx / 2;
  c.ControlDy = E.AnchorDy / 2;
  return c;
}

bool IsEdge(const ShapeRecord& R)
{
  return R.Type != ShapeRecord::Kind::StyleChange;
}

// Pairs the start and end records one to one: style changes of the start
// carry the end's move where the end has one; an edge becomes a curve on
// both sides when either side curves. A move the end makes between edges
// becomes a pair of its own whose start side changes nothing.
void PairRecords(const std::vector<ShapeRecord>& Start, const std::vector<ShapeRecord>& End, MorphShape& Into)
{
  std::size_t j = 0;
  for (const ShapeRecord& s : Start) {
    if (!IsEdge(s)) {
      ShapeRecord e = s;
      if (j < End.size() && !IsEdge(End[j])) {
        e.HasMove = End[j].HasMove || s.HasMove;
        if (End[j].HasMove) {
          e.MoveX = End[j].MoveX;
          e.MoveY = End[j].MoveY;
        }
        ++j;
      }
      Into.StartRecords.push_back(s);
      Into.EndRecords.push_back(std::move(e));
      continue;
    }
    while (j < End.size() && !IsEdge(End[j])) {
      ShapeRecord none;
      ShapeRecord move;
      move.HasMove = End[j].HasMove;
      move.MoveX = End[j].MoveX;
      move.MoveY = End[j].MoveY;
      Into.StartRecords.push_back(none);
      Into.EndRecords.push_back(move);
      ++j;
    }
    if (j >= End.size())
      throw ETagError("a morph shape whose end has fewer edges than its start");
    const ShapeRecord& e = End[j++];
    if (s.Type == e.Type) {
      Into.StartRecords.push_back(s);
      Into.EndRecords.push_back(e);
    } else {
      Into.StartRecords.push_back(AsCurve(s));
      Into.EndRecords.push_back(AsCurve(e));
    }
  }
}

} // namespace

MorphShape ReadMorphShape(TTagReader& R, int Version)
{
  MorphShape m;
  m.Id = R.U16();
  m.Version = static_cast<std::uint8_t>(Version);
  m.StartBounds = R.ReadRect();
  m.EndBounds = R.ReadRect();
  if (Version >= 2) {
    R.ReadRect(); // StartEdgeBounds
    R.ReadRect(); // EndEdgeBounds
    R.U8();       // scaling stroke flags
  }
  const std::uint32_t offset = R.U32();
  const std::size_t endAt = R.Position() + offset;
  std::size_t fills = ReadStyleCount(R);
  if (fills > R.Remaining())
    throw ETagError("more fill styles than the tag holds");
  for (std::size_t i = 0; i < fills; ++i)
    m.Fills.push_back(ReadMorphFill(R));
  std::size_t lines = ReadStyleCount(R);
  if (lines > R.Remaining())
    throw ETagError("more line styles than the tag holds");
  for (std::size_t i = 0; i < lines; ++i)
    m.Lines.push_back(ReadMorphLine(R, Version));
  Shape start, end;
  ReadShapeRecords(R, 1, start);
  // The offset says where the end edges start; trust it only inside the tag.
  if (offset != 0 && endAt <= R.Span().size())
    R.Seek(endAt);
  ReadShapeRecords(R, 1, end);
  PairRecords(start.Records, end.Records, m);
  return m;
}

} // namespace quenloft::swf
