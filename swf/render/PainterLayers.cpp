// PainterBackend's masks and layers: the stack of what is drawn apart and
// how it is laid onto what is under it (see PainterBackend.h).
#include "swf/render/PainterBackend.h"

#include "swf/render/BlendPixels.h"

namespace quenloft::swf::render {

void PainterBackend::PushMask()
{
  if (FRecording) {
    FRecording->PushMask();
    return;
  }
  Mask m;
  m.LayerIndex = FLayers.size() - 1;
  m.Ignored = FCollecting.has_value() || Top().Ignored;
  if (!m.Ignored && FOptions.Antialias) {
    m.Coverage = std::make_unique<QImage>(FTarget.size(), QImage::Format_ARGB32_Premultiplied);
    m.Coverage->fill(Qt::transparent);
  }
  FMasks.push_back(std::move(m));
  if (!FMasks.back().Ignored)
    FCollecting = FMasks.size() - 1;
}

void PainterBackend::ActivateMask()
{
  if (FRecording) {
    FRecording->ActivateMask();
    return;
  }
  if (FMasks.empty() || FMasks.back().Ignored)
    return;
  FCollecting.reset();
  Mask& m = FMasks.back();
  if (FOptions.Antialias) {
    // What the mask cuts is drawn apart, then cut by the coverage.
    Layer l;
    l.Image = std::make_unique<QImage>(FTarget.size(), QImage::Format_ARGB32_Premultiplied);
    l.Image->fill(Qt::transparent);
    l.Painter = std::make_unique<QPainter>(l.Image.get());
    SetUp(*l.Painter);
    l.MaskIndex = FMasks.size() - 1;
    FLayers.push_back(std::move(l));
    return;
  }
  Layer& l = FLayers[m.LayerIndex];
  l.Regions.push_back(l.Regions.empty() ? m.AreaRegion : l.Regions.back().intersected(m.AreaRegion));
  m.AreaRegion = QRegion();
  ApplyClip(l);
}

void PainterBackend::DeactivateMask()
{
  if (FRecording) {
    FRecording->DeactivateMask();
    return;
  }
  // The clip stays until PopMask; nothing is drawn in between.
}

void PainterBackend::PopMask()
{
  if (FRecording) {
    FRecording->PopMask();
    return;
  }
  if (FMasks.empty())
    return;
  if (FCollecting && *FCollecting == FMasks.size() - 1) {
    FCollecting.reset(); // popped before it was activated
    FMasks.pop_back();
    return;
  }
  if (!FMasks.back().Ignored && FOptions.Antialias) {
    // Layers left open inside the masked items are closed first.
    while (FLayers.size() > 1 && FLayers.back().MaskIndex != FMasks.size() - 1)
      EndLayer();
    if (FLayers.size() > 1)
      EndMaskLayer();
    FMasks.pop_back();
    return;
  }
  const Mask m = std::move(FMasks.back());
  FMasks.pop_back();
  if (m.Ignored)
    return;
  if (m.LayerIndex < FLayers.size()) {
    Layer& l = FLayers[m.LayerIndex];
    if (!l.Regions.empty())
      l.Regions.pop_back();
    ApplyClip(l);
  }
}

void PainterBackend::EndMaskLayer()
{
  Layer child = std::move(FLayers.back());
  FLayers.pop_back();
  const Mask& m = FMasks[*child.MaskIndex];
  QPainter& p = *child.Painter;
  // Outside the mask's pixels nothing shows: only those are cut and laid
  // down.
  const QRect area = m.Bounds.intersected(child.Image->rect());
  if (area.isEmpty())
    return;
  p.resetTransform();
  p.setClipping(false);
  p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
  p.drawImage(area.topLeft(), *m.Coverage, area);
  p.end();
  QPainter& under = Painter();
  under.save();
  under.resetTransform();
  under.drawImage(area.topLeft(), *child.Image, area);
  under.restore();
  Touch(area);
}

void PainterBackend::BeginLayer(BlendMode Mode)
{
  if (FRecording) {
    FRecording->BeginLayer(Mode);
    return;
  }
  Layer l;
  l.Mode = Mode;
  l.Ignored = FCollecting.has_value() || Top().Ignored;
  if (!l.Ignored) {
    l.Image = std::make_unique<QImage>(FTarget.size(), QImage::Format_ARGB32_Premultiplied);
    l.Image->fill(Qt::transparent);
    l.Painter = std::make_unique<QPainter>(l.Image.get());
    SetUp(*l.Painter);
  }
  FLayers.push_back(std::move(l));
}

void PainterBackend::EndLayer()
{
  if (FRecording) {
    FRecording->EndLayer();
    return;
  }
  if (FLayers.size() <= 1)
    return;
  if (FLayers.back().MaskIndex) {
    EndMaskLayer(); // a walk cut short inside a mask
    return;
  }
  Layer child = std::move(FLayers.back());
  FLayers.pop_back();
  if (child.Ignored)
    return;
  child.Painter->end();
  if (child.Filters) {
    CompositeFiltered(child, Top());
    Touch(FTarget.rect()); // filters spread past what was drawn
  } else {
    Composite(child, Top());
    Touch(child.Used);
  }
}

void PainterBackend::Composite(Layer& Child, Layer& Parent)
{
  const BlendMode mode = Child.Mode;
  // Alpha and Erase change only the alpha of the layer under them; drawn
  // straight onto the stage, which is opaque whatever its alpha, they show
  // nothing.
  if ((mode == BlendMode::Alpha || mode == BlendMode::Erase) && !Parent.Image)
    return;
  // Where the layer is empty every mode leaves what is under it alone:
  // only the pixels drawn on are blended.
  const QRect used = Child.Used.intersected(Child.Image->rect());
  if (used.isEmpty())
    return;
  QPainter& p = *Parent.Painter;
  if (const auto qt = QtMode(mode)) {
    p.save();
    p.resetTransform();
    p.setCompositionMode(*qt);
    p.drawImage(used.topLeft(), *Child.Image, used);
    p.restore();
    return;
  }
  QImage* under = Parent.Image ? Parent.Image.get() : &FTarget;
  if (!Parent.Regions.empty()) {
    // The masks in force cut the layer before it is blended.
    QImage cut(Child.Image->size(), QImage::Format_ARGB32_Premultiplied);
    cut.fill(Qt::transparent);
    QPainter c(&cut);
    c.setRenderHint(QPainter::Antialiasing, FOptions.Antialias);
    SetClip(c, Parent);
    c.drawImage(QPoint(0, 0), *Child.Image);
    c.end();
    *Child.Image = std::move(cut);
  }
  BlendPixels(*under, *Child.Image, mode, used);
}

} // namespace quenloft::swf::render
