#include "swf/VideoReader.h"

#include <algorithm>
#include <variant>

namespace quenloft::swf {

VideoStream ReadVideoStream(TTagReader& R)
{
  VideoStream v;
  v.Id = R.U16();
  v.FrameCount = R.U16();
  v.Width = R.U16();
  v.Height = R.U16();
  const std::uint8_t flags = R.U8();
  v.Deblocking = (flags >> 1) & 0x07;
  v.Smoothing = (flags & 0x01) != 0;
  v.Codec = R.U8();
  return v;
}

bool ReadVideoFrame(TTagReader& R, Movie& Into)
{
  const CharacterId id = R.U16();
  const std::uint16_t frame = R.U16();
  const auto found = Into.Dictionary.find(id);
  auto* stream = found == Into.Dictionary.end() ? nullptr : std::get_if<VideoStream>(&found->second);
  if (!stream)
    return false;
  auto& packets = stream->Packets;
  // Files store the frames in order; keep them sorted whatever comes.
  const auto at = std::lower_bound(packets.begin(), packets.end(), frame,
                                   [](const VideoStream::Packet& P, std::uint16_t F) { return P.Frame < F; });
  if (at != packets.end() && at->Frame == frame)
    return false;
  const auto data = R.Rest();
  packets.insert(at, VideoStream::Packet{frame, std::vector<std::uint8_t>(data.begin(), data.end())});
  return true;
}

} // namespace quenloft::swf
