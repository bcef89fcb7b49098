// The body of a movie: stored as it is ("FWS"), zlib ("CWS") or LZMA
// ("ZWS"), always bounded by the caller's limit.
#include <algorithm>
#include <cstring>

#include <lzma.h>
#include <zlib.h>

#include "swf/MovieReader.h"

namespace quenloft::swf {

namespace {

std::uint32_t Le32(const std::uint8_t* P)
{
  return static_cast<std::uint32_t>(P[0]) | static_cast<std::uint32_t>(P[1]) << 8 |
         static_cast<std::uint32_t>(P[2]) << 16 | static_cast<std::uint32_t>(P[3]) << 24;
}

// Grows Out in steps so a header that claims gigabytes reserves nothing up
// front; the output is what the stream really yields, up to Limit.
constexpr std::size_t Step = 1u << 20;

std::vector<std::uint8_t> Inflate(std::span<const std::uint8_t> In, std::size_t Limit, std::string& Error)
{
  std::vector<std::uint8_t> out;
  z_stream z{};
  if (inflateInit(&z) != Z_OK)
    throw EMovieError("zlib could not start", MovieFault::DamagedCompressed);
  z.next_in = const_cast<Bytef*>(In.data());
  z.avail_in = static_cast<uInt>(std::min<std::size_t>(In.size(), UINT32_MAX));
  int rc = Z_OK;
  while (out.size() < Limit) {
    const std::size_t have = out.size();
    out.resize(std::min(Limit, have + Step));
    z.next_out = out.data() + have;
    z.avail_out = static_cast<uInt>(out.size() - have);
    rc = inflate(&z, Z_NO_FLUSH);
    out.resize(out.size() - z.avail_out);
    if (rc != Z_OK)
      break;
    if (z.avail_out != 0 && z.avail_in == 0)
      break; // the input ends without the stream's end
  }
  inflateEnd(&z);
  if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
    Error = std::string("the compressed data is damaged (") + (z.msg ? z.msg : "zlib error") + ")";
  else if (rc == Z_OK && out.size() < Limit)
    Error = "the compressed data ends early";
  return out;
}

std::vector<std::uint8_t> UnLzma(std::span<const std::uint8_t> Props, std::span<const std::uint8_t> In,
                                 std::size_t Limit, std::string& Error)
{
  // The file keeps the five property bytes of an LZMA1 stream without the
  // size field of the .lzma format; a raw decoder takes them as they are.
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
  if (lzma_properties_decode(&filters[0], nullptr, Props.data(), Props.size()) != LZMA_OK)
    throw EMovieError("the LZMA properties are not valid", MovieFault::DamagedCompressed);
  // The decoder takes its whole dictionary up front, and the properties
  // may ask for 4 GiB; a dictionary larger than the output never helps.
  auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
  const std::size_t most = std::max<std::size_t>(Limit, LZMA_DICT_SIZE_MIN);
  if (options->dict_size > most)
    options->dict_size = static_cast<std::uint32_t>(most);
  lzma_stream z = LZMA_STREAM_INIT;
  const lzma_ret init = lzma_raw_decoder(&z, filters);
  free(filters[0].options);
  if (init != LZMA_OK)
    throw EMovieError("the LZMA decoder could not start", MovieFault::DamagedCompressed);
  std::vector<std::uint8_t> out;
  z.next_in = In.data();
  z.avail_in = In.size();
  lzma_ret rc = LZMA_OK;
  while (out.size() < Limit) {
    const std::size_t have = out.size();
    out.resize(std::min(Limit, have + Step));
    z.next_out = out.data() + have;
    z.avail_out = out.size() - have;
    rc = lzma_code(&z, LZMA_FINISH);
    out.resize(out.size() - z.avail_out);
    if (rc != LZMA_OK)
      break;
    if (z.avail_out != 0 && z.avail_in == 0)
      break;
  }
  lzma_end(&z);
  if (rc != LZMA_OK && rc != LZMA_STREAM_END && !(rc == LZMA_BUF_ERROR && out.size() > 0))
    Error = "the LZMA data is damaged";
  return out;
}

} // namespace

std::vector<std::uint8_t> DecompressBody(std::span<const std::uint8_t> File, std::size_t Limit,
                                         std::string& Error)
{
  if (File.empty())
    throw EMovieError("the file is empty", MovieFault::Empty);
  if (File.size() < 3 || File[1] != 'W' || File[2] != 'S' ||
      (File[0] != 'F' && File[0] != 'C' && File[0] != 'Z'))
    throw EMovieError("not a Flash movie", MovieFault::NotFlash);
  // What goes wrong from here on is damage: to the compressed stream, or to
  // a plain movie cut short.
  const MovieFault damage = File[0] == 'F' ? MovieFault::CutShort : MovieFault::DamagedCompressed;
  if (File.size() < 8)
    throw EMovieError("the movie header is cut short", damage);
  const std::uint32_t length = Le32(File.data() + 4);
  // The header's length counts the 8-byte prefix. A plausible one bounds
  // the body (the player stops reading there); a zero or oversized one is
  // ignored and the data decides.
  const std::size_t claimed = length > 8 ? length - 8 : 0;
  std::vector<std::uint8_t> body;
  if (File[0] == 'F') {
    std::size_t n = File.size() - 8;
    if (claimed > 0 && claimed < n)
      n = claimed;
    n = std::min(n, Limit);
    body.assign(File.begin() + 8, File.begin() + 8 + static_cast<std::ptrdiff_t>(n));
  } else if (File[0] == 'C') {
    const std::size_t limit = claimed > 0 ? std::min(claimed, Limit) : Limit;
    body = Inflate(File.subspan(8), limit, Error);
  } else {
    // "ZWS", version, length, then the compressed length (UI32) and the
    // five LZMA property bytes before the raw stream.
    if (File.size() < 17)
      throw EMovieError("the LZMA header is cut short", damage);
    const std::size_t limit = claimed > 0 ? std::min(claimed, Limit) : Limit;
    body = UnLzma(File.subspan(12, 5), File.subspan(17), limit, Error);
  }
  if (body.empty())
    throw EMovieError(Error.empty() ? "the movie has no body" : Error, damage);
  return body;
}

} // namespace quenloft::swf
