// TextSnapshot: the static text of a clip as script sees it, read once
// when the snapshot is made: the characters of each static text directly
// in the clip's display list, in depth order, one run per text. A
// snapshot made of anything but one clip holds nothing and its methods
// return undefined.
#include "swf/avm1/ClipObject.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/PlayerImpl.h"
#include "swf/avm1/Utf8.h"
#include "swf/avm1/globals/Globals.h"

#include <algorithm>
#include <cmath>

namespace quenloft::swf::avm1 {

namespace {

class SnapshotObject final : public Object {
public:
  using Object::Object;
  Object* CreateInstance(Machine& M, Object* Proto) override { return M.Heap().Make<SnapshotObject>(Proto); }
  bool Taken = false;               // made from a clip
  std::vector<std::u32string> Runs; // one per static text, none empty
  std::size_t Count() const
  {
    std::size_t n = 0;
    for (const std::u32string& r : Runs)
      n += r.size();
    return n;
  }
};

// The characters a static text's glyphs stand for, by its fonts' code tables.
std::u32string TextOf(const Movie& Mv, const swf::Text& T)
{
  std::u32string out;
  for (const TextRecord& r : T.Records) {
    const Character* c = Mv.Find(r.FontId);
    const Font* f = c ? std::get_if<Font>(c) : nullptr;
    if (!f)
      continue;
    for (const GlyphEntry& g : r.Glyphs)
      if (g.Index < f->CodeTable.size())
        out.push_back(f->CodeTable[g.Index]);
  }
  return out;
}

SnapshotObject* Self(Object* This)
{
  auto* s = dynamic_cast<SnapshotObject*>(This);
  return s && s->Taken ? s : nullptr;
}

Value Construct(Machine&, Object* This, std::span<const Value> Args)
{
  auto* s = dynamic_cast<SnapshotObject*>(This);
  auto* clip = Args.size() == 1 ? dynamic_cast<ClipObject*>(Args[0].ObjectOrNull()) : nullptr;
  if (!s || !clip || !clip->Instance())
    return Value(This);
  s->Taken = true;
  const Movie& mv = clip->Player().Timeline().MovieOf(clip->Instance());
  for (const DisplayObject& o : clip->Instance()->List) {
    if (o.Sprite)
      continue;
    const Character* c = mv.Find(o.Character);
    const auto* text = c ? std::get_if<swf::Text>(c) : nullptr;
    if (!text || text->Edit)
      continue;
    std::u32string run = TextOf(mv, *text);
    if (!run.empty())
      s->Runs.push_back(std::move(run));
  }
  return Value(This);
}

Value GetCount(Machine&, Object* This, std::span<const Value> Args)
{
  SnapshotObject* s = Self(This);
  return s && Args.empty() ? Value(static_cast<double>(s->Count())) : Value();
}

// Characters [From, To) (at least one), runs joined by "\n" when asked.
Value GetText(Machine& M, Object* This, std::span<const Value> Args)
{
  SnapshotObject* s = Self(This);
  if (!s || Args.size() < 2 || Args.size() > 3)
    return Value();
  const std::int32_t from = Args[0].ToInt32(M), to = Args[1].ToInt32(M);
  const bool newlines = Arg(Args, 2).ToBoolean(M.Version());
  const std::size_t count = s->Count();
  if (count == 0)
    return Value(M.EmptyString());
  const std::size_t begin = std::min<std::size_t>(static_cast<std::size_t>(std::max(from, 0)), count - 1);
  const std::size_t end =
      std::max(std::min<std::size_t>(static_cast<std::size_t>(std::max(to, 0)), count), begin + 1);
  std::u32string out;
  std::size_t at = 0;
  bool first = true;
  for (const std::u32string& r : s->Runs) {
    const std::size_t next = at + r.size();
    if (at < end && next > begin) {
      if (!first && newlines)
        out.push_back(U'\n');
      first = false;
      const std::size_t b = begin > at ? begin - at : 0;
      out += r.substr(b, std::min(end - at, r.size()) - b);
    }
    at = next;
  }
  return Value(M.NewString(EncodeUtf8(out)));
}

// The index of the first match of Text at or after Start, or -1.
Value FindText(Machine& M, Object* This, std::span<const Value> Args)
{
  SnapshotObject* s = Self(This);
  if (!s || Args.size() != 3)
    return Value();
  const std::int32_t start = Args[0].ToInt32(M);
  std::u32string needle = DecodeUtf8(Args[1].ToText(M));
  const bool exact = Args[2].ToBoolean(M.Version());
  if (needle.empty() || start < 0)
    return Value(-1);
  std::u32string all;
  for (const std::u32string& r : s->Runs)
    all += r;
  const auto lower = [](std::u32string& T) {
    for (char32_t& c : T)
      if (c >= U'A' && c <= U'Z')
        c += 32;
  };
  if (!exact) {
    lower(all);
    lower(needle);
  }
  const std::size_t at = static_cast<std::size_t>(start) > all.size() ? std::u32string::npos
                                                                        : all.find(needle, static_cast<std::size_t>(start));
  return Value(at == std::u32string::npos ? -1.0 : static_cast<double>(at));
}

Value Nothing(Machine&, Object*, std::span<const Value>)
{
  return Value();
}

Object* MakeProto(Machine& M, Object* Base)
{
  return M.Heap().Make<SnapshotObject>(Base);
}

const Member Methods[] = {
    Method("getCount", GetCount, OnlySwf6),
    Method("setSelected", Nothing, OnlySwf6),
    Method("getSelected", Nothing, OnlySwf6),
    Method("getText", GetText, OnlySwf6),
    Method("getSelectedText", Nothing, OnlySwf6),
    Method("hitTestTextNearPos", Nothing, OnlySwf6),
    Method("findText", FindText, OnlySwf6),
    Method("setSelectColor", Nothing, OnlySwf6),
    Method("getTextRunInfo", Nothing, OnlySwf6),
};

} // namespace

extern const ClassSpec TextSnapshotClass = {
    .Name = "TextSnapshot", .Construct = Construct, .Prototype = Methods, .MakePrototype = MakeProto};

} // namespace quenloft::swf::avm1
