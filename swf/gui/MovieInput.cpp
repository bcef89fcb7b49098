#include "swf/gui/MovieInput.h"

#include "swf/avm1/Input.h"
#include "ui/kvuShell.h"

#include <QtCore/qnamespace.h>

#include <array>
#include <utility>

namespace quenloft {

QRectF FittedStage(QSize Widget, QSize Stage)
{
  int FitW = 0;
  int FitH = 0;
  FitSizeInBox(Widget.width(), Widget.height(), Stage.width(), Stage.height(), false, FitW, FitH);
  return QRectF((Widget.width() - FitW) / 2, (Widget.height() - FitH) / 2, FitW, FitH);
}

QPointF WidgetToStage(QPointF Pos, const QRectF& Target, QSize Stage)
{
  if (Target.width() <= 0 || Target.height() <= 0)
    return {-1, -1};
  return {(Pos.x() - Target.x()) * Stage.width() / Target.width(),
          (Pos.y() - Target.y()) * Stage.height() / Target.height()};
}

std::uint8_t MovieKeyCode(int Key, char32_t Text)
{
  namespace Keys = swf::avm1::Keys;
  if ((Key >= Qt::Key_A && Key <= Qt::Key_Z) || (Key >= Qt::Key_0 && Key <= Qt::Key_9))
    return static_cast<std::uint8_t>(Key); // Qt numbers these by their ASCII capitals
  if (Key >= Qt::Key_F1 && Key <= Qt::Key_F15)
    return static_cast<std::uint8_t>(112 + (Key - Qt::Key_F1));
  static constexpr std::array<std::pair<int, std::uint8_t>, 24> Named = {{
      {Qt::Key_Backspace, Keys::Backspace}, {Qt::Key_Tab, Keys::Tab},         {Qt::Key_Backtab, Keys::Tab},
      {Qt::Key_Return, Keys::Enter},        {Qt::Key_Enter, Keys::Enter},     {Qt::Key_Shift, Keys::Shift},
      {Qt::Key_Control, Keys::Control},     {Qt::Key_Alt, Keys::Alt},         {Qt::Key_Pause, Keys::Pause},
      {Qt::Key_CapsLock, Keys::CapsLock},   {Qt::Key_Escape, Keys::Escape},   {Qt::Key_Space, Keys::Space},
      {Qt::Key_PageUp, Keys::PageUp},       {Qt::Key_PageDown, Keys::PageDown}, {Qt::Key_End, Keys::End},
      {Qt::Key_Home, Keys::Home},           {Qt::Key_Left, Keys::Left},       {Qt::Key_Up, Keys::Up},
      {Qt::Key_Right, Keys::Right},         {Qt::Key_Down, Keys::Down},       {Qt::Key_Insert, Keys::Insert},
      {Qt::Key_Delete, Keys::Delete},       {Qt::Key_NumLock, Keys::NumLock}, {Qt::Key_ScrollLock, Keys::ScrollLock},
  }};
  for (const auto& [QtKey, Code] : Named)
    if (QtKey == Key)
      return Code;
  // Punctuation: the key that types the character on a US keyboard.
  return swf::avm1::KeyCodeOfChar(Text);
}

} // namespace quenloft
