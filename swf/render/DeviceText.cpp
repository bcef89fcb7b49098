#include "swf/render/DeviceText.h"

#include <QFont>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

#include "platform/kvuStrings.h"
#include "swf/render/Paint.h"

namespace quenloft::swf::render {
namespace {

constexpr qreal Gutter = 40;
// Sizes beyond a thousand pixels are drawn at that size.
constexpr int MaxSizeTwips = 20000;
// A field is laid out anew for every frame: text past this many
// characters, more than any field can show, is left out.
constexpr qsizetype MaxChars = 1 << 16;

// The fonts behind the player's generic names, first found first: the
// player's own sans is Noto Sans; DejaVu is there on every machine we
// install on, so the picture never depends on what else fontconfig finds.
const QStringList& SansFamilies()
{
  static const QStringList families{QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans")};
  return families;
}

// The player's generic names stand for its sans, serif and fixed-width
// fonts; a name the system does not have falls back to the sans, as the
// player's does.
QFont FontFor(const TextFormat& F)
{
  QFont font;
  if (SameText(F.Face, "_serif")) {
    font.setFamilies({QStringLiteral("Noto Serif"), QStringLiteral("DejaVu Serif")});
    font.setStyleHint(QFont::Serif);
  } else if (SameText(F.Face, "_typewriter")) {
    font.setFamilies({QStringLiteral("DejaVu Sans Mono")});
    font.setStyleHint(QFont::TypeWriter);
  } else if (!F.Face.empty() && !SameText(F.Face, "_sans") &&
             QFontDatabase::hasFamily(QString::fromStdString(F.Face))) {
    font.setFamilies(QStringList{QString::fromStdString(F.Face)} + SansFamilies());
    font.setStyleHint(QFont::SansSerif);
  } else {
    font.setFamilies(SansFamilies());
    font.setStyleHint(QFont::SansSerif);
  }
  // Sizes are in twips: the outlines are taken at that size and the
  // transform brings them to pixels, unhinted as the player draws them.
  font.setPixelSize(std::clamp(F.Size, 1, MaxSizeTwips));
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setBold(F.Bold);
  font.setItalic(F.Italic);
  font.setKerning(F.Kerning);
  font.setLetterSpacing(QFont::AbsoluteSpacing, F.LetterSpacing);
  return font;
}

struct Paragraph {
  QString Text;
  QList<QTextLayout::FormatRange> Formats;
  const TextFormat* First = nullptr; // the paragraph's own format
};

std::vector<Paragraph> Paragraphs(const DeviceText& Text, const ColorTransform& Ct)
{
  std::vector<Paragraph> out(1);
  qsizetype total = 0;
  for (const TextRun& run : Text.Runs) {
    if (total >= MaxChars)
      break;
    QTextCharFormat format;
    format.setFont(FontFor(run.Format));
    format.setForeground(TransformedColor(run.Format.Color, Ct));
    std::size_t from = 0;
    while (from <= run.Text.size()) {
      const std::size_t end = std::min(run.Text.find(U'\n', from), run.Text.size());
      Paragraph& para = out.back();
      if (!para.First)
        para.First = &run.Format;
      const int start = static_cast<int>(para.Text.size());
      const auto count = std::min(static_cast<qsizetype>(end - from), MaxChars - total);
      para.Text += QString::fromUcs4(run.Text.data() + from, count);
      total += count + 1; // a paragraph's end counts too
      if (para.Text.size() > start)
        para.Formats.append({start, static_cast<int>(para.Text.size()) - start, format});
      if (end == run.Text.size() || total >= MaxChars)
        break;
      out.emplace_back();
      from = end + 1;
    }
  }
  return out;
}

// The player steps from glyph to glyph by whole pixels: each advance, cut
// to twips, is rounded to the nearest pixel, and letter spacing added
// (rounded half to even) unless that would step back.
qreal PixelAdvance(qreal Twips, int LetterSpacing)
{
  const qreal plain = std::round(std::trunc(Twips) / 20) * 20;
  const qreal spaced = plain + std::nearbyint(LetterSpacing / 20.0) * 20;
  return spaced > 0 ? spaced : plain;
}

// Appends the outlines of Run's glyphs from X on Baseline; returns where
// the next glyph goes.
qreal AddGlyphs(QPainterPath& Out, const QGlyphRun& Run, qreal X, qreal Baseline, int LetterSpacing)
{
  const QRawFont font = Run.rawFont();
  const QList<quint32> glyphs = Run.glyphIndexes();
  const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
  for (qsizetype i = 0; i < glyphs.size(); ++i) {
    QPainterPath glyph = font.pathForGlyph(glyphs[i]);
    if (!glyph.isEmpty())
      Out.addPath(glyph.translated(X, Baseline));
    X += PixelAdvance(i < advances.size() ? advances[i].x() : 0, LetterSpacing);
  }
  return X;
}

} // namespace

std::vector<TextOutline> DeviceTextOutlines(const DeviceText& Text, const QRectF& Box, const ColorTransform& Ct)
{
  std::vector<TextOutline> out;
  qreal y = Box.top() + Gutter;
  const TextFormat* last = nullptr;
  const std::vector<Paragraph> paragraphs = Paragraphs(Text, Ct);
  for (const Paragraph& para : paragraphs) {
    if (y > Box.bottom())
      break; // nothing below the box shows
    const TextFormat& format = para.First ? *para.First : last ? *last : TextFormat{};
    if (para.First)
      last = para.First;
    QTextLayout layout(para.Text, FontFor(format));
    layout.setFormats(para.Formats);
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(Text.WordWrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout.setTextOption(option);
    const qreal left = Box.left() + Gutter + format.LeftMargin;
    const qreal width = std::max<qreal>(1, Box.width() - 2 * Gutter - format.LeftMargin - format.RightMargin);
    layout.beginLayout();
    std::vector<qreal> indents;
    for (bool first = true; y <= Box.bottom(); first = false) {
      QTextLine line = layout.createLine();
      if (!line.isValid())
        break;
      const qreal indent = first ? format.Indent : 0;
      line.setLineWidth(std::max<qreal>(1, width - indent));
      line.setPosition(QPointF(indent, y));
      indents.push_back(indent);
      y += line.height() + format.Leading;
    }
    layout.endLayout();
    for (int i = 0; i < layout.lineCount(); ++i) {
      const QTextLine line = layout.lineAt(i);
      const qreal baseline = line.y() + std::trunc(line.ascent());
      const int lineEnd = line.textStart() + line.textLength();
      // Each format's glyphs in their own outline, one after another.
      std::vector<TextOutline> pieces;
      qreal x = 0;
      for (const QTextLayout::FormatRange& range : para.Formats) {
        const int from = std::max(range.start, line.textStart());
        const int to = std::min(range.start + range.length, lineEnd);
        if (from >= to)
          continue;
        const int spacing = static_cast<int>(range.format.font().letterSpacing());
        TextOutline piece{QPainterPath(), range.format.foreground().color()};
        piece.Path.setFillRule(Qt::WindingFill);
        for (const QGlyphRun& run : line.glyphRuns(from, to - from))
          x = AddGlyphs(piece.Path, run, x, baseline, spacing);
        pieces.push_back(std::move(piece));
      }
      // Aligned by the width of the whole-pixel steps.
      const qreal room = width - indents[static_cast<std::size_t>(i)] - x;
      qreal shift = left + indents[static_cast<std::size_t>(i)];
      if (format.Align == TextAlign::Right)
        shift += std::max<qreal>(0, room);
      else if (format.Align == TextAlign::Center)
        shift += std::max<qreal>(0, room / 2);
      for (TextOutline& piece : pieces) {
        if (piece.Path.isEmpty())
          continue;
        piece.Path.translate(shift, 0);
        out.push_back(std::move(piece));
      }
    }
  }
  return out;
}

void PaintDeviceText(QPainter& P, const DeviceText& Text, const QRectF& Box, const ColorTransform& Ct)
{
  P.save();
  P.setClipRect(Box, Qt::IntersectClip);
  P.setPen(Qt::NoPen);
  for (const TextOutline& piece : DeviceTextOutlines(Text, Box, Ct))
    P.fillPath(piece.Path, piece.Color);
  P.restore();
}

} // namespace quenloft::swf::render
