#include "swf/render/DeviceText.h"

#include <QFont>
#include <QTextLayout>

#include <algorithm>

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

// The player's generic names stand for the system's sans, serif and
// fixed-width fonts; any other name is looked for as it is.
QFont FontFor(const TextFormat& F, bool Antialias)
{
  QFont font;
  if (F.Face.empty() || SameText(F.Face, "_sans")) {
    font.setFamily(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
  } else if (SameText(F.Face, "_serif")) {
    font.setFamily(QStringLiteral("Serif"));
    font.setStyleHint(QFont::Serif);
  } else if (SameText(F.Face, "_typewriter")) {
    font.setFamily(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter);
  } else {
    font.setFamily(QString::fromStdString(F.Face));
    font.setStyleHint(QFont::SansSerif);
  }
  // Sizes are in twips: the painter's transform brings them to pixels, so
  // hinting for the nominal size would hint for a font twenty times larger.
  font.setPixelSize(std::clamp(F.Size, 1, MaxSizeTwips));
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setBold(F.Bold);
  font.setItalic(F.Italic);
  font.setKerning(F.Kerning);
  font.setLetterSpacing(QFont::AbsoluteSpacing, F.LetterSpacing);
  // At low quality the player draws text with hard edges, as its shapes;
  // the painter's hints alone leave glyphs drawn as outlines smoothed.
  if (!Antialias)
    font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

Qt::Alignment AlignmentOf(TextAlign A)
{
  switch (A) {
  case TextAlign::Right: return Qt::AlignRight;
  case TextAlign::Center: return Qt::AlignHCenter;
  case TextAlign::Left:
  case TextAlign::Justify: break;
  }
  return Qt::AlignLeft;
}

struct Paragraph {
  QString Text;
  QList<QTextLayout::FormatRange> Formats;
  const TextFormat* First = nullptr; // the paragraph's own format
};

std::vector<Paragraph> Paragraphs(const DeviceText& Text, const ColorTransform& Ct, bool Antialias)
{
  std::vector<Paragraph> out(1);
  qsizetype total = 0;
  for (const TextRun& run : Text.Runs) {
    if (total >= MaxChars)
      break;
    QTextCharFormat format;
    format.setFont(FontFor(run.Format, Antialias));
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

} // namespace

void PaintDeviceText(QPainter& P, const DeviceText& Text, const QRectF& Box, const ColorTransform& Ct, bool Antialias)
{
  P.save();
  P.setClipRect(Box, Qt::IntersectClip);
  qreal y = Box.top() + Gutter;
  const TextFormat* last = nullptr;
  for (const Paragraph& para : Paragraphs(Text, Ct, Antialias)) {
    if (y > Box.bottom())
      break; // nothing below the box shows
    const TextFormat& format = para.First ? *para.First : last ? *last : TextFormat{};
    if (para.First)
      last = para.First;
    QTextLayout layout(para.Text, FontFor(format, Antialias));
    layout.setFormats(para.Formats);
    QTextOption option(AlignmentOf(format.Align));
    option.setWrapMode(Text.WordWrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout.setTextOption(option);
    const qreal left = Box.left() + Gutter + format.LeftMargin;
    const qreal width = std::max<qreal>(1, Box.width() - 2 * Gutter - format.LeftMargin - format.RightMargin);
    layout.beginLayout();
    for (bool first = true; y <= Box.bottom(); first = false) {
      QTextLine line = layout.createLine();
      if (!line.isValid())
        break;
      const qreal indent = first ? format.Indent : 0;
      line.setLineWidth(std::max<qreal>(1, width - indent));
      line.setPosition(QPointF(indent, y));
      y += line.height() + format.Leading;
    }
    layout.endLayout();
    layout.draw(&P, QPointF(left, 0));
  }
  P.restore();
}

} // namespace quenloft::swf::render
