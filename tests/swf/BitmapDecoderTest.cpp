#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <jpeglib.h>
#include <zlib.h>

#include "swf/BitmapDecoder.h"
#include "swf/MovieReader.h"

namespace quenloft::swf {
namespace {

using TBytes = std::vector<std::uint8_t>;

// A W x H JPEG whose left half is one colour and right half another; with
// Split the tables and the image come as two streams, as DefineBits and
// JPEGTables keep them.
void EncodeJpeg(int W, int H, TBytes& Image, TBytes* Tables = nullptr)
{
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  c.image_width = static_cast<JDIMENSION>(W);
  c.image_height = static_cast<JDIMENSION>(H);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (Tables) {
    jpeg_mem_dest(&c, &buffer, &size);
    jpeg_write_tables(&c);
    Tables->assign(buffer, buffer + size);
    std::free(buffer);
    buffer = nullptr;
    size = 0;
  }
  jpeg_mem_dest(&c, &buffer, &size);
  jpeg_start_compress(&c, Tables ? FALSE : TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(W) * 3);
  for (int x = 0; x < W; ++x) {
    const bool left = x < W / 2;
    row[x * 3] = left ? 200 : 20;
    row[x * 3 + 1] = left ? 40 : 180;
    row[x * 3 + 2] = left ? 40 : 60;
  }
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  Image.assign(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&c);
}

TBytes Deflate(const TBytes& Raw)
{
  uLongf size = compressBound(Raw.size());
  TBytes out(size);
  compress(out.data(), &size, Raw.data(), Raw.size());
  out.resize(size);
  return out;
}

// Within JPEG's loss of the expected straight colour.
void ExpectNear(std::uint32_t Pixel, std::uint32_t Expected, int Tolerance = 6)
{
  for (int shift : {24, 16, 8, 0}) {
    const int a = static_cast<int>((Pixel >> shift) & 0xFF);
    const int b = static_cast<int>((Expected >> shift) & 0xFF);
    EXPECT_LE(std::abs(a - b), Tolerance) << std::hex << Pixel << " vs " << Expected;
  }
}

TEST(BitmapDecoder, JpegForms)
{
  TBytes whole, tables, image;
  EncodeJpeg(32, 16, whole);
  EncodeJpeg(32, 16, image, &tables);
  TBytes stray{0xFF, 0xD9, 0xFF, 0xD8};
  stray.insert(stray.end(), whole.begin(), whole.end());
  struct Case {
    const char* Name;
    Bitmap B;
    TBytes Tables;
  };
  Bitmap plain;
  plain.Data = whole;
  Bitmap prefixed;
  prefixed.Data = stray;
  Bitmap split;
  split.UsesJpegTables = true;
  split.Data = image;
  const Case cases[] = {
      {"whole", plain, {}}, {"FF D9 FF D8 prefix", prefixed, {}}, {"tables and image", split, tables}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const DecodedBitmap d = DecodeBitmap(c.B, c.Tables);
    ASSERT_EQ(std::pair(d.Width, d.Height), std::pair(32u, 16u));
    ExpectNear(d.Pixels[0], 0xFFC82828);
    ExpectNear(d.Pixels[16 * 8 + 4], 0xFFC82828);
    ExpectNear(d.Pixels[31], 0xFF14B43C);
  }
  // JPEG3: the alpha plane joins the (premultiplied) colour; a channel is
  // never above its alpha.
  Bitmap alpha = plain;
  alpha.Format = BitmapFormat::JpegWithAlpha;
  TBytes plane(32 * 16, 0x40);
  plane[31] = 0xFF;
  alpha.Alpha = Deflate(plane);
  const DecodedBitmap a = DecodeBitmap(alpha, {});
  ExpectNear(a.Pixels[0], 0x40402828);
  ExpectNear(a.Pixels[31], 0xFF14B43C);
}

TEST(BitmapDecoder, LosslessFormats)
{
  struct Case {
    const char* Name;
    BitmapFormat Format;
    std::uint8_t Kind;
    std::uint16_t W, H, Colors;
    TBytes Raw;
    std::vector<std::uint32_t> Pixels;
  };
  const Case cases[] = {
      // Two RGB colours; rows of 3 indices padded to 4 bytes; index 7 is
      // outside the table and opaque black.
      {"colormap",
       BitmapFormat::Lossless,
       3,
       3,
       2,
       1,
       {255, 0, 0, 0, 0, 255, /*row*/ 0, 1, 7, 9, /*row*/ 1, 1, 0, 9},
       {0xFFFF0000, 0xFF0000FF, 0xFF000000, 0xFF0000FF, 0xFF0000FF, 0xFFFF0000}},
      // RGBA colormap: premultiplied entries, the red one above its alpha.
      {"colormap with alpha",
       BitmapFormat::LosslessAlpha,
       3,
       2,
       1,
       1,
       {0x80, 0, 0, 0x80, 0xFF, 0x10, 0x10, 0x40, 0, 1, 0, 0},
       {0x80800000, 0x40401010}},
      // 15-bit: 0 11111 00000 11111 is magenta; rows padded to 4 bytes.
      {"15-bit",
       BitmapFormat::Lossless,
       4,
       1,
       2,
       0,
       {0x7C, 0x1F, 0, 0, 0x03, 0xE0, 0, 0},
       {0xFFFF00FF, 0xFF00FF00}},
      {"32-bit", BitmapFormat::Lossless, 5, 2, 1, 0, {0, 1, 2, 3, 0x55, 4, 5, 6}, {0xFF010203, 0xFF040506}},
      {"32-bit with alpha",
       BitmapFormat::LosslessAlpha,
       5,
       2,
       1,
       0,
       {0x80, 0x10, 0x90, 0x20, 0, 0, 0, 0},
       {0x80108020, 0x00000000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Bitmap b;
    b.Format = c.Format;
    b.LosslessFormat = c.Kind;
    b.Width = c.W;
    b.Height = c.H;
    b.ColorTableSize = c.Colors;
    b.Data = Deflate(c.Raw);
    const DecodedBitmap d = DecodeBitmap(b, {});
    EXPECT_EQ(d.Pixels, c.Pixels);
  }
}

TEST(BitmapDecoder, RefusesWhatThePlayerWouldNot)
{
  // A JPEG whose header claims 40000 x 300 pixels for its 8 x 8 image.
  TBytes lying;
  EncodeJpeg(8, 8, lying);
  for (std::size_t i = 0; i + 8 < lying.size(); ++i)
    if (lying[i] == 0xFF && lying[i + 1] == 0xC0) { // start of frame: length, precision, height, width
      lying[i + 5] = 300 >> 8;
      lying[i + 6] = 300 & 0xFF;
      lying[i + 7] = 40000 >> 8;
      lying[i + 8] = 40000 & 0xFF;
      break;
    }
  Bitmap jpeg;
  jpeg.Data = lying;
  Bitmap garbage;
  garbage.Data = {0xFF, 0xD8, 1, 2, 3};
  Bitmap wide;
  wide.Format = BitmapFormat::Lossless;
  wide.LosslessFormat = 5;
  wide.Width = 8192;
  wide.Height = 1;
  wide.Data = Deflate(TBytes(8192 * 4));
  Bitmap square = wide; // 4096 x 4096 is one pixel past the limit
  square.Width = square.Height = 4096;
  Bitmap unknown = wide;
  unknown.Width = 1;
  unknown.LosslessFormat = 6;
  Bitmap notZlib = unknown;
  notZlib.LosslessFormat = 5;
  notZlib.Data = {1, 2, 3};
  const std::pair<const char*, Bitmap> cases[] = {
      {"larger than", jpeg},   {"cannot be decoded", garbage}, {"larger than", wide},
      {"larger than", square}, {"unknown lossless", unknown},  {"not zlib", notZlib}};
  for (const auto& [text, b] : cases) {
    try {
      DecodeBitmap(b, {});
      ADD_FAILURE() << text;
    } catch (const EBitmapError& e) {
      EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
  }
  Bitmap png;
  png.Data = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0};
  EXPECT_EQ(DecodeBitmap(png, {}).Container, ImageContainer::Png);
}

TEST(BitmapDecoder, FixtureImages)
{
  const char* env = std::getenv("QUENLOFT_FIXTURES");
  const std::filesystem::path dir =
      std::filesystem::path(env && *env ? env : QUENLOFT_SOURCE_DIR "/../shared/fixtures") /
      "ruffle-extra/swf-crate";
  if (!std::filesystem::exists(dir))
    GTEST_SKIP() << "fixtures absent";
  const auto first = [&](const char* Name) {
    const auto m = ReadMovieFile((dir / Name).string());
    for (const auto& [id, c] : m->Dictionary)
      if (const auto* b = std::get_if<Bitmap>(&c))
        return DecodeBitmap(*m, *b);
    throw std::runtime_error("no bitmap");
  };
  // The same red square through JPEGTables + DefineBits and through
  // DefineBitsJPEG2; the same half-transparent blue as JPEG with an alpha
  // plane and as a lossless bitmap with alpha (both premultiplied); an
  // opaque blue lossless one.
  const DecodedBitmap tables = first("DefineBits-JpegTables-MX.swf");
  const DecodedBitmap jpeg2 = first("DefineBitsJpeg2-MX.swf");
  const DecodedBitmap jpeg3 = first("DefineBitsJpeg3.swf");
  const DecodedBitmap lossless2 = first("DefineBitsLossless2.swf");
  const DecodedBitmap lossless = first("DefineBitsLossless.swf");
  ExpectNear(tables.Pixels.at(tables.Pixels.size() / 2), jpeg2.Pixels.at(0), 2);
  ExpectNear(jpeg2.Pixels.at(0), 0xFFED1C24, 3);
  EXPECT_EQ(jpeg3.Pixels.at(0) >> 24, 0x80u);
  ExpectNear(jpeg3.Pixels.at(27), lossless2.Pixels.at(27), 3);
  EXPECT_EQ(lossless.Pixels, std::vector<std::uint32_t>(64, 0xFF0000FF));
}

} // namespace
} // namespace quenloft::swf
