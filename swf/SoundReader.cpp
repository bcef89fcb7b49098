#include "swf/SoundReader.h"

namespace quenloft::swf {

namespace {

constexpr std::uint32_t kRates[4] = {5512, 11025, 22050, 44100};

bool KnownCoding(std::uint32_t V)
{
  return V <= 6 || V == 11;
}

Sound ReadDefineSound(TTagReader& R)
{
  Sound s;
  s.Id = R.U16();
  s.Format = ReadSoundFormat(R);
  s.SampleCount = R.U32();
  if (s.Format.Coding == SoundCoding::Mp3)
    s.SeekSamples = R.S16();
  const auto rest = R.Rest();
  s.Data.assign(rest.begin(), rest.end());
  return s;
}

StartSound ReadStartSound(TTagReader& R, Tag Code)
{
  StartSound s;
  if (Code == Tag::StartSound)
    s.Id = R.U16();
  else
    s.ClassName = R.String();
  s.Info = ReadSoundInfo(R);
  return s;
}

SoundStreamHead ReadStreamHead(TTagReader& R)
{
  SoundStreamHead h;
  h.Playback = ReadSoundFormat(R);
  h.Stream = ReadSoundFormat(R);
  h.SamplesPerFrame = R.U16();
  if (h.Stream.Coding == SoundCoding::Mp3 && R.Remaining() >= 2)
    h.LatencySeek = R.S16();
  return h;
}

SoundStreamBlock ReadStreamBlock(TTagReader& R, const SoundStreamHead& Head)
{
  SoundStreamBlock b;
  if (Head.Stream.Coding == SoundCoding::Mp3) {
    b.SampleCount = R.U16();
    b.SeekSamples = R.S16();
  }
  const auto rest = R.Rest();
  b.Data.assign(rest.begin(), rest.end());
  return b;
}

ButtonSounds ReadButtonSound(TTagReader& R)
{
  ButtonSounds b;
  b.ButtonId = R.U16();
  for (auto& transition : b.Transitions) {
    const std::uint16_t id = R.U16();
    if (id == 0)
      continue;
    StartSound s;
    s.Id = id;
    s.Info = ReadSoundInfo(R);
    transition = std::move(s);
  }
  return b;
}

} // namespace

SoundFormat ReadSoundFormat(TTagReader& R)
{
  SoundFormat f;
  const std::uint8_t bits = R.U8();
  const std::uint32_t coding = bits >> 4;
  if (!KnownCoding(coding))
    throw ETagError("unknown sound coding " + std::to_string(coding));
  f.Coding = static_cast<SoundCoding>(coding);
  f.Rate = kRates[(bits >> 2) & 3];
  f.Is16Bit = (bits & 2) != 0;
  f.Stereo = (bits & 1) != 0;
  return f;
}

SoundInfo ReadSoundInfo(TTagReader& R)
{
  SoundInfo info;
  const std::uint8_t flags = R.U8();
  info.Stop = (flags & 0x20) != 0;
  info.NoMultiple = (flags & 0x10) != 0;
  if (flags & 0x01)
    info.InPoint = R.U32();
  if (flags & 0x02)
    info.OutPoint = R.U32();
  if (flags & 0x04)
    info.Loops = std::max<std::uint16_t>(1, R.U16());
  if (flags & 0x08) {
    // The count is one byte, so an envelope holds at most 255 points; a
    // count the tag is too short for is cut short and dropped with the tag.
    const std::uint8_t count = R.U8();
    if (count * std::size_t{8} > R.Remaining())
      throw ETagError("the envelope claims " + std::to_string(count) + " points");
    info.Envelope.reserve(count);
    for (int i = 0; i < count; ++i) {
      SoundEnvelopePoint p;
      p.Position = R.U32();
      p.Left = R.U16();
      p.Right = R.U16();
      info.Envelope.push_back(p);
    }
  }
  return info;
}

bool ReadSoundTag(Tag Code, TTagReader& B, Movie& M, Sprite& S, Frame& Current)
{
  switch (Code) {
  case Tag::DefineSound: {
    Sound s = ReadDefineSound(B);
    const CharacterId id = s.Id;
    // The first definition of an id wins, as for every other character.
    if (!M.Dictionary.contains(id))
      M.Sounds.try_emplace(id, std::move(s));
    return true;
  }
  case Tag::StartSound:
  case Tag::StartSound2: Current.Sounds.push_back(ReadStartSound(B, Code)); return true;
  case Tag::SoundStreamHead:
  case Tag::SoundStreamHead2: {
    SoundStreamHead h = ReadStreamHead(B);
    if (!S.StreamHead)
      S.StreamHead = h;
    return true;
  }
  case Tag::SoundStreamBlock:
    if (!S.StreamHead)
      throw ETagError("a stream block comes before its stream head");
    if (Current.StreamBlock)
      throw ETagError("a second stream block in one frame");
    Current.StreamBlock = ReadStreamBlock(B, *S.StreamHead);
    return true;
  case Tag::DefineButtonSound: {
    ButtonSounds b = ReadButtonSound(B);
    const CharacterId id = b.ButtonId;
    M.ButtonSounds.try_emplace(id, std::move(b));
    return true;
  }
  default: return false;
  }
}

const char* CodingName(SoundCoding Coding)
{
  switch (Coding) {
  case SoundCoding::PcmNative:
  case SoundCoding::PcmLittle: return "pcm";
  case SoundCoding::Adpcm: return "adpcm";
  case SoundCoding::Mp3: return "mp3";
  case SoundCoding::Nellymoser16k:
  case SoundCoding::Nellymoser8k:
  case SoundCoding::Nellymoser: return "nellymoser";
  case SoundCoding::Speex: return "speex";
  }
  return "unknown";
}

std::uint32_t DecodedRate(const SoundFormat& Format)
{
  switch (Format.Coding) {
  case SoundCoding::Nellymoser16k:
  case SoundCoding::Speex: return 16000;
  case SoundCoding::Nellymoser8k: return 8000;
  default: return Format.Rate;
  }
}

} // namespace quenloft::swf
