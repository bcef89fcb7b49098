#include "cli/MoviePlayback.h"

#include "swf/avm1/Player.h"

#include <cmath>
#include <cstdlib>
#include <iostream>

namespace quenloft {

namespace {

std::optional<double> Number(const std::string& Text)
{
  if (Text.empty())
    return std::nullopt;
  char* End = nullptr;
  const double V = std::strtod(Text.c_str(), &End);
  if (End != Text.c_str() + Text.size() || !std::isfinite(V))
    return std::nullopt;
  return V;
}

} // namespace

std::optional<TClick> ParseClick(const std::string& Text)
{
  const std::size_t Comma = Text.find(',');
  const std::size_t At = Text.find('@');
  if (Comma == std::string::npos || At == std::string::npos || At < Comma)
    return std::nullopt;
  const std::optional<double> X = Number(Text.substr(0, Comma));
  const std::optional<double> Y = Number(Text.substr(Comma + 1, At - Comma - 1));
  const std::string TickText = Text.substr(At + 1);
  if (!X || !Y || TickText.empty() || TickText.find_first_not_of("0123456789") != std::string::npos ||
      TickText.size() > 12)
    return std::nullopt;
  const std::int64_t Tick = std::stoll(TickText);
  if (Tick < 1)
    return std::nullopt;
  return TClick{*X, *Y, Tick};
}

std::optional<std::vector<TClick>> ParseClicks(const std::vector<std::string>& Texts)
{
  std::vector<TClick> clicks;
  for (const std::string& text : Texts) {
    const std::optional<TClick> click = ParseClick(text);
    if (!click) {
      std::cerr << "--click: not X,Y@TICK (stage pixels, a tick from 1): " << text << '\n';
      return std::nullopt;
    }
    clicks.push_back(*click);
  }
  return clicks;
}

void PlayTicks(swf::avm1::Player& P, std::int64_t Ticks, const std::vector<TClick>& Clicks)
{
  const auto ClickAt = [&](std::int64_t Tick) {
    for (const TClick& C : Clicks)
      if (C.Tick == Tick) {
        P.MouseMove(C.X, C.Y);
        P.MouseDown(C.X, C.Y);
        P.MouseUp(C.X, C.Y);
      }
  };
  ClickAt(1);
  for (std::int64_t Tick = 2; Tick <= Ticks; ++Tick) {
    P.Advance();
    ClickAt(Tick);
  }
}

} // namespace quenloft
