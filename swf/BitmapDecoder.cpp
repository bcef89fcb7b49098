#include "swf/BitmapDecoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <zlib.h>

namespace quenloft::swf {

namespace {

void CheckSize(std::uint64_t W, std::uint64_t H)
{
  if (W == 0 || H == 0)
    throw EBitmapError("the bitmap is empty");
  if (W > MaxBitmapSide || H > MaxBitmapSide || W * H > MaxBitmapPixels)
    throw EBitmapError("the bitmap is " + std::to_string(W) + " x " + std::to_string(H) +
                       " pixels, larger than the player allows");
}

// Inflates exactly up to Size bytes; returns how many came out.
std::size_t InflateTo(std::span<const std::uint8_t> In, std::uint8_t* Out, std::size_t Size)
{
  z_stream z{};
  if (inflateInit(&z) != Z_OK)
    return 0;
  z.next_in = const_cast<Bytef*>(In.data());
  z.avail_in = static_cast<uInt>(std::min<std::size_t>(In.size(), UINT32_MAX));
  std::size_t done = 0;
  while (done < Size) {
    z.next_out = Out + done;
    z.avail_out = static_cast<uInt>(std::min<std::size_t>(Size - done, UINT32_MAX));
    const std::size_t before = z.avail_out;
    const int rc = inflate(&z, Z_NO_FLUSH);
    done += before - z.avail_out;
    if (rc != Z_OK)
      break;
  }
  inflateEnd(&z);
  return done;
}

// --- JPEG --------------------------------------------------------------------

struct TJpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  char Text[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr Info)
{
  auto* e = reinterpret_cast<TJpegError*>(Info->err);
  Info->err->format_message(Info, e->Text);
  std::longjmp(e->Jump, 1);
}

void OnJpegMessage(j_common_ptr, int) {}

// A progressive JPEG may hold any number of scans, each a pass over the
// whole image; past a few hundred it is an attack, not a picture.
constexpr int MaxJpegScans = 500;

void OnJpegProgress(j_common_ptr Info)
{
  auto* d = reinterpret_cast<j_decompress_ptr>(Info);
  if (d->input_scan_number > MaxJpegScans) {
    auto* e = reinterpret_cast<TJpegError*>(Info->err);
    std::snprintf(e->Text, sizeof e->Text, "the JPEG has more than %d scans", MaxJpegScans);
    std::longjmp(e->Jump, 1);
  }
}

// The bytes libjpeg reads: the tables (when the tag uses them) and the
// image as one stream. Old files put a stray "FF D9 FF D8" (an end and a
// new start) before the image or between tables and image; the end-start
// pairs are dropped so one stream remains.
std::vector<std::uint8_t> JpegStream(std::span<const std::uint8_t> Tables,
                                     std::span<const std::uint8_t> Image)
{
  std::vector<std::uint8_t> in;
  in.reserve(Tables.size() + Image.size());
  in.insert(in.end(), Tables.begin(), Tables.end());
  in.insert(in.end(), Image.begin(), Image.end());
  std::vector<std::uint8_t> out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    if (i + 3 < in.size() && in[i] == 0xFF && in[i + 1] == 0xD9 && in[i + 2] == 0xFF && in[i + 3] == 0xD8) {
      i += 4;
      // A stream that starts with the stray pair still needs its start.
      if (out.empty()) {
        out.push_back(0xFF);
        out.push_back(0xD8);
      }
      continue;
    }
    out.push_back(in[i++]);
  }
  // A second start marker right after the first (tables written as a
  // whole JPEG of their own) is dropped too.
  if (out.size() >= 4 && out[0] == 0xFF && out[1] == 0xD8 && out[2] == 0xFF && out[3] == 0xD8)
    out.erase(out.begin(), out.begin() + 2);
  return out;
}

// Decodes into Out; a separate function so that nothing with a destructor
// lives in the frame longjmp leaves.
bool DecodeJpegInto(const std::vector<std::uint8_t>& Stream, DecodedBitmap& Out,
                    std::vector<std::uint8_t>& Row, char* ErrorText)
{
  jpeg_decompress_struct info;
  TJpegError error;
  jpeg_progress_mgr progress{};
  progress.progress_monitor = OnJpegProgress;
  info.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = OnJpegError;
  error.Manager.emit_message = OnJpegMessage;
  error.Text[0] = 0;
  if (setjmp(error.Jump)) {
    jpeg_destroy_decompress(&info);
    std::snprintf(ErrorText, JMSG_LENGTH_MAX, "%s", error.Text);
    return false;
  }
  jpeg_create_decompress(&info);
  info.progress = &progress;
  jpeg_mem_src(&info, Stream.data(), static_cast<unsigned long>(Stream.size()));
  jpeg_read_header(&info, TRUE);
  const std::uint64_t w = info.image_width;
  const std::uint64_t h = info.image_height;
  if (w == 0 || h == 0 || w > MaxBitmapSide || h > MaxBitmapSide || w * h > MaxBitmapPixels) {
    jpeg_destroy_decompress(&info);
    std::snprintf(ErrorText, JMSG_LENGTH_MAX,
                  "the JPEG claims %llu x %llu pixels, larger than the player allows",
                  static_cast<unsigned long long>(w), static_cast<unsigned long long>(h));
    return false;
  }
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&info);
  Out.Width = info.output_width;
  Out.Height = info.output_height;
  Out.Pixels.assign(static_cast<std::size_t>(Out.Width) * Out.Height, 0xFF000000u);
  const unsigned channels = static_cast<unsigned>(info.output_components);
  Row.resize(static_cast<std::size_t>(Out.Width) * channels);
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {Row.data()};
    const std::uint32_t y = info.output_scanline;
    if (jpeg_read_scanlines(&info, rows, 1) != 1)
      break;
    std::uint32_t* dst = Out.Pixels.data() + static_cast<std::size_t>(y) * Out.Width;
    const std::uint8_t* p = Row.data();
    for (std::uint32_t x = 0; x < Out.Width; ++x, p += channels) {
      std::uint32_t r = p[0], g = p[channels > 1 ? 1 : 0], b = p[channels > 2 ? 2 : 0];
      if (cmyk) {
        // Adobe writes CMYK inverted: the values are already 255 - ink.
        r = p[0] * p[3] / 255;
        g = p[1] * p[3] / 255;
        b = p[2] * p[3] / 255;
      }
      dst[x] = 0xFF000000u | r << 16 | g << 8 | b;
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

DecodedBitmap DecodeJpeg(std::span<const std::uint8_t> Tables, std::span<const std::uint8_t> Image)
{
  const std::vector<std::uint8_t> stream = JpegStream(Tables, Image);
  DecodedBitmap out;
  std::vector<std::uint8_t> row;
  char text[JMSG_LENGTH_MAX] = {0};
  if (!DecodeJpegInto(stream, out, row, text))
    throw EBitmapError(std::string("the JPEG image cannot be decoded: ") + text);
  return out;
}

// --- Lossless ----------------------------------------------------------------

std::uint8_t Five(std::uint32_t V)
{
  return static_cast<std::uint8_t>((V << 3) | (V >> 2));
}

// A premultiplied colour from the file, with each channel kept at or
// under the alpha so the pixel stays a valid premultiplied one.
std::uint32_t Clamped(std::uint8_t A, std::uint8_t R, std::uint8_t G, std::uint8_t B)
{
  return static_cast<std::uint32_t>(A) << 24 | static_cast<std::uint32_t>(std::min(R, A)) << 16 |
         static_cast<std::uint32_t>(std::min(G, A)) << 8 | std::min(B, A);
}

// The colour of a DefineBitsJPEG3/4 image is stored premultiplied by the
// alpha plane already (the same picture as a lossless bitmap with alpha
// decodes to the same pixels); the alpha only joins it, with each channel
// kept at or under the alpha.
void ApplyAlpha(DecodedBitmap& D, std::span<const std::uint8_t> Compressed)
{
  if (Compressed.empty())
    return;
  std::vector<std::uint8_t> alpha(D.Pixels.size(), 255);
  InflateTo(Compressed, alpha.data(), alpha.size());
  for (std::size_t i = 0; i < D.Pixels.size(); ++i) {
    const std::uint32_t p = D.Pixels[i];
    D.Pixels[i] = Clamped(alpha[i], static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
                          static_cast<std::uint8_t>(p));
  }
}

DecodedBitmap DecodeLossless(const Bitmap& B)
{
  const bool alpha = B.Format == BitmapFormat::LosslessAlpha;
  const std::uint32_t w = B.Width;
  const std::uint32_t h = B.Height;
  CheckSize(w, h);
  std::size_t paletteBytes = 0;
  std::size_t rowBytes = 0;
  switch (B.LosslessFormat) {
  case 3:
    paletteBytes = (B.ColorTableSize + 1u) * (alpha ? 4u : 3u);
    rowBytes = (w + 3u) & ~3u;
    break;
  case 4:
    if (alpha)
      throw EBitmapError("15-bit pixels with alpha are not a format");
    rowBytes = (w * 2u + 3u) & ~3u;
    break;
  case 5: rowBytes = w * 4u; break;
  default: throw EBitmapError("unknown lossless bitmap format " + std::to_string(B.LosslessFormat));
  }
  // Exactly the bytes the image needs are inflated; a short stream leaves
  // the rest zero (transparent, or black without alpha).
  std::vector<std::uint8_t> data(paletteBytes + rowBytes * h, 0);
  if (InflateTo(B.Data, data.data(), data.size()) == 0)
    throw EBitmapError("the lossless bitmap data is not zlib data");
  DecodedBitmap out;
  out.Width = w;
  out.Height = h;
  out.Pixels.resize(static_cast<std::size_t>(w) * h);
  const std::uint8_t* pixels = data.data() + paletteBytes;
  const std::uint32_t opaque = alpha ? 0 : 0xFF000000u;
  std::vector<std::uint32_t> palette;
  for (std::size_t i = 0; i < B.ColorTableSize + 1u && B.LosslessFormat == 3; ++i) {
    const std::uint8_t* c = data.data() + i * (alpha ? 4 : 3);
    palette.push_back(alpha ? Clamped(c[3], c[0], c[1], c[2])
                            : 0xFF000000u | static_cast<std::uint32_t>(c[0]) << 16 | c[1] << 8 | c[2]);
  }
  for (std::uint32_t y = 0; y < h; ++y) {
    const std::uint8_t* row = pixels + static_cast<std::size_t>(y) * rowBytes;
    std::uint32_t* dst = out.Pixels.data() + static_cast<std::size_t>(y) * w;
    for (std::uint32_t x = 0; x < w; ++x) {
      if (B.LosslessFormat == 3) {
        dst[x] = row[x] < palette.size() ? palette[row[x]] : opaque;
      } else if (B.LosslessFormat == 4) {
        const std::uint32_t v = static_cast<std::uint32_t>(row[2 * x]) << 8 | row[2 * x + 1];
        dst[x] = 0xFF000000u | static_cast<std::uint32_t>(Five((v >> 10) & 31)) << 16 |
                 static_cast<std::uint32_t>(Five((v >> 5) & 31)) << 8 | Five(v & 31);
      } else {
        const std::uint8_t* p = row + 4 * x;
        dst[x] = alpha ? Clamped(p[0], p[1], p[2], p[3])
                       : 0xFF000000u | static_cast<std::uint32_t>(p[1]) << 16 | p[2] << 8 | p[3];
      }
    }
  }
  return out;
}

} // namespace

std::uint32_t Premultiply(std::uint8_t R, std::uint8_t G, std::uint8_t B, std::uint8_t A)
{
  const auto mul = [A](std::uint32_t C) { return (C * A + 127) / 255; };
  return static_cast<std::uint32_t>(A) << 24 | mul(R) << 16 | mul(G) << 8 | mul(B);
}

ImageContainer DetectContainer(std::span<const std::uint8_t> Data)
{
  static const std::uint8_t png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (Data.size() >= 8 && std::equal(png, png + 8, Data.begin()))
    return ImageContainer::Png;
  if (Data.size() >= 6 && std::memcmp(Data.data(), "GIF8", 4) == 0)
    return ImageContainer::Gif;
  if (Data.size() >= 2 && Data[0] == 0xFF && (Data[1] == 0xD8 || Data[1] == 0xD9))
    return ImageContainer::Jpeg;
  return ImageContainer::Unknown;
}

DecodedBitmap DecodeBitmap(const Bitmap& B, std::span<const std::uint8_t> JpegTables)
{
  if (B.Format == BitmapFormat::Lossless || B.Format == BitmapFormat::LosslessAlpha)
    return DecodeLossless(B);
  const ImageContainer kind = DetectContainer(B.Data);
  if (kind == ImageContainer::Png || kind == ImageContainer::Gif) {
    DecodedBitmap d;
    d.Container = kind;
    return d;
  }
  DecodedBitmap d = DecodeJpeg(B.UsesJpegTables ? JpegTables : std::span<const std::uint8_t>{}, B.Data);
  if (B.Format == BitmapFormat::JpegWithAlpha)
    ApplyAlpha(d, B.Alpha);
  return d;
}

} // namespace quenloft::swf
