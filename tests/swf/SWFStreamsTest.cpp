#include "swf/SWFStreams.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <random>
#include <sstream>

#include "tests/support/TempDir.h"

namespace quenloft {
namespace {

using testing::TempDir;

// Writes bits most significant first, as the movie format packs them.
class BitWriter {
public:
  void Put(std::uint32_t Value, int Count)
  {
    for (int i = Count - 1; i >= 0; --i) {
      FCurrent = static_cast<std::uint8_t>((FCurrent << 1) | ((Value >> i) & 1));
      if (++FUsed == 8)
        Flush();
    }
  }
  std::string Finish()
  {
    if (FUsed > 0) {
      FCurrent = static_cast<std::uint8_t>(FCurrent << (8 - FUsed));
      Flush();
    }
    return FBytes;
  }

private:
  void Flush()
  {
    FBytes += static_cast<char>(FCurrent);
    FCurrent = 0;
    FUsed = 0;
  }
  std::string FBytes;
  std::uint8_t FCurrent = 0;
  int FUsed = 0;
};

std::string Le16(std::uint16_t V)
{
  return {static_cast<char>(V & 0xFF), static_cast<char>(V >> 8)};
}

std::string Le32(std::uint32_t V)
{
  return Le16(static_cast<std::uint16_t>(V & 0xFFFF)) + Le16(static_cast<std::uint16_t>(V >> 16));
}

// Rectangle, frame rate and frame count as they follow the first 8 bytes.
std::string HeaderRest(int Nbits, TSWFRect R, std::uint16_t Rate, std::uint16_t Count)
{
  BitWriter w;
  w.Put(static_cast<std::uint32_t>(Nbits), 5);
  for (std::int32_t v : {R.Xmin, R.Xmax, R.Ymin, R.Ymax})
    w.Put(static_cast<std::uint32_t>(v), Nbits);
  return w.Finish() + Le16(Rate) + Le16(Count);
}

std::string Deflate(const std::string& Data)
{
  uLongf size = compressBound(static_cast<uLong>(Data.size()));
  std::string out(size, '\0');
  EXPECT_EQ(compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(Data.data()),
                     static_cast<uLong>(Data.size())),
            Z_OK);
  out.resize(size);
  return out;
}

std::string Fws(const std::string& Rest, std::uint32_t Length = 0)
{
  return "FWS" + std::string(1, '\x0A') + Le32(Length) + Rest;
}

std::string Cws(const std::string& Body, std::uint32_t Length = 1234)
{
  return "CWS" + std::string(1, '\x0A') + Le32(Length) + Deflate(Body);
}

TSWFFileHeader HeaderOf(const std::string& Bytes)
{
  TMemoryStream s(Bytes);
  TSWFFileHeader h;
  h.FrameCount = 777; // must be overwritten
  ReadSWFHeader(s, h);
  return h;
}

bool AllZero(const TSWFFileHeader& H)
{
  return H.Signature[0] == 0 && H.Signature[1] == 0 && H.Signature[2] == 0 && H.Version == 0 &&
         H.FileLength == 0 && H.Rect.Xmin == 0 && H.Rect.Xmax == 0 && H.Rect.Ymin == 0 && H.Rect.Ymax == 0 &&
         H.FrameRate == 0 && H.FrameCount == 0;
}

std::string ErrorText(const std::function<void()>& F)
{
  try {
    F();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

// A memory stream that counts the bytes it hands out.
class CountingStream : public TMemoryStream {
public:
  using TMemoryStream::TMemoryStream;
  std::size_t Read(void* Buffer, std::size_t Count) override
  {
    const std::size_t n = TMemoryStream::Read(Buffer, Count);
    BytesRead += n;
    return n;
  }
  std::size_t BytesRead = 0;
};

const std::string kSampleRest("\x78\x00\x05\x5F\x00\x00\x0F\xA0\x00\x00\x18\x01\x00", 13);

// ---- headers built here ----

TEST(SWFHeaderTest, PlainSampleMovie)
{
  const TSWFFileHeader h = HeaderOf(Fws(kSampleRest, 0x01020304));
  EXPECT_EQ(std::string(h.Signature, 3), "FWS");
  EXPECT_EQ(h.Version, 10);
  EXPECT_EQ(h.FileLength, 0x01020304u);
  EXPECT_EQ(h.Rect.Xmin, 0);
  EXPECT_EQ(h.Rect.Xmax, 11000);
  EXPECT_EQ(h.Rect.Ymin, 0);
  EXPECT_EQ(h.Rect.Ymax, 8000);
  EXPECT_EQ(h.FrameRate, 0x1800);
  EXPECT_EQ(h.FrameCount, 1);
}

TEST(SWFHeaderTest, CompressedSampleKeepsStoredPrefix)
{
  const TSWFFileHeader h = HeaderOf(Cws(kSampleRest + std::string(50, 'x'), 4321));
  EXPECT_EQ(std::string(h.Signature, 3), "CWS");
  EXPECT_EQ(h.FileLength, 4321u);
  EXPECT_EQ(h.Rect.Xmax, 11000);
  EXPECT_EQ(h.Rect.Ymax, 8000);
  EXPECT_EQ(h.FrameRate, 0x1800);
  EXPECT_EQ(h.FrameCount, 1);
}

TEST(SWFHeaderTest, EveryRectangleWidthPlainAndCompressed)
{
  for (int nbits = 0; nbits <= 31; ++nbits) {
    const std::int64_t lo = nbits == 0 ? 0 : -(std::int64_t{1} << (nbits - 1));
    const std::int64_t hi = nbits == 0 ? 0 : (std::int64_t{1} << (nbits - 1)) - 1;
    const TSWFRect r{static_cast<std::int32_t>(lo), static_cast<std::int32_t>(lo / 3),
                     static_cast<std::int32_t>(hi), static_cast<std::int32_t>(hi / 2)};
    const std::uint16_t count = static_cast<std::uint16_t>(0xA500 + nbits);
    const std::string rest = HeaderRest(nbits, r, 0x0C80, count);
    const std::string tags(40, '\x01');
    for (const std::string& movie : {Fws(rest + tags), Cws(rest + tags)}) {
      SCOPED_TRACE("nbits " + std::to_string(nbits) + " " + movie.substr(0, 3));
      const TSWFFileHeader h = HeaderOf(movie);
      EXPECT_EQ(h.Rect.Xmin, r.Xmin);
      EXPECT_EQ(h.Rect.Ymin, r.Ymin);
      EXPECT_EQ(h.Rect.Xmax, r.Xmax);
      EXPECT_EQ(h.Rect.Ymax, r.Ymax);
      EXPECT_EQ(h.FrameRate, 0x0C80);
      EXPECT_EQ(h.FrameCount, count);
    }
  }
}

TEST(SWFHeaderTest, ThirtyOneBitRectangleInShortCompressedBody)
{
  const TSWFRect r{-5, -7, 1000, 2000};
  const std::string rest = HeaderRest(31, r, 0x1800, 0x0203);
  ASSERT_EQ(rest.size(), 21u);
  // The whole 21 bytes are there: the count is whole.
  EXPECT_EQ(HeaderOf(Cws(rest)).FrameCount, 0x0203);
  // The body ends after 20 bytes: the upper byte of the count reads as 0.
  const TSWFFileHeader h = HeaderOf(Cws(rest.substr(0, 20)));
  EXPECT_EQ(h.Rect.Xmax, 1000);
  EXPECT_EQ(h.Rect.Ymax, 2000);
  EXPECT_EQ(h.FrameCount, 0x03);
}

TEST(SWFHeaderTest, OtherSignaturesAndTinyFilesAreAllZero)
{
  for (const std::string sig : {"fws", "cws", "ZWS", "FW ", "GIF"})
    EXPECT_TRUE(AllZero(HeaderOf(sig + std::string(1, '\x0A') + Le32(99) + kSampleRest))) << sig;
  for (const std::string& tiny : {std::string(), std::string("F"), std::string("FWS"), std::string("CWS")})
    EXPECT_TRUE(AllZero(HeaderOf(tiny))) << tiny;
}

TEST(SWFHeaderTest, PlainFileCutInsideItsHeaderHasNoHalfReadFields)
{
  const std::string movie = Fws(kSampleRest, 77);
  for (std::size_t cut = 4; cut < movie.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const TSWFFileHeader h = HeaderOf(movie.substr(0, cut));
    if (cut < 8) {
      EXPECT_TRUE(AllZero(h));
      continue;
    }
    EXPECT_EQ(std::string(h.Signature, 3), "FWS");
    EXPECT_EQ(h.FileLength, 77u);
    EXPECT_EQ(h.Version, 10);
    EXPECT_EQ(h.Rect.Xmin | h.Rect.Xmax | h.Rect.Ymin | h.Rect.Ymax, 0);
    EXPECT_EQ(h.FrameRate | h.FrameCount, 0);
  }
}

TEST(SWFHeaderTest, CompressedBodyFailures)
{
  const std::string shortBody = Cws(kSampleRest.substr(0, 10));
  EXPECT_EQ(ErrorText([&] { HeaderOf(shortBody); }), "Stream read error");
  // The same short zlib stream followed by more data: the end of the zlib
  // stream ends the read, the data after it is not waited for.
  EXPECT_EQ(ErrorText([&] { HeaderOf(shortBody + std::string(5000, 'j')); }), "Stream read error");
  // A zlib stream cut before it has given 20 bytes.
  const std::string full = Cws(std::string(kSampleRest) + "0123456789abcdef");
  EXPECT_EQ(ErrorText([&] { HeaderOf(full.substr(0, 12)); }), "Stream read error");
  // A compressed file that ends inside its first 8 bytes has no body.
  EXPECT_EQ(ErrorText([&] { HeaderOf("CWS\x0A\x01"); }), "Stream read error");
  // Not zlib data at all.
  EXPECT_EQ(ErrorText([&] { HeaderOf("CWS\x0A" + Le32(9) + std::string(64, '\xFF')); }), "Error");
  // A damaged checksum after 20 good bytes does not matter.
  std::string damagedTail = Cws(kSampleRest + std::string(7, 'z'));
  damagedTail.back() = static_cast<char>(damagedTail.back() ^ 0x55);
  EXPECT_EQ(HeaderOf(damagedTail).FrameCount, 1);
}

TEST(SWFHeaderTest, OnlyTheHeaderIsRead)
{
  std::mt19937 random(7);
  std::string noise(1 << 20, '\0');
  for (char& c : noise)
    c = static_cast<char>(random());
  // A large compressed movie: the header, then incompressible data.
  CountingStream s(Cws(kSampleRest + noise));
  ASSERT_GT(s.Size(), 1 << 20);
  TSWFFileHeader h;
  ReadSWFHeader(s, h);
  EXPECT_EQ(h.FrameCount, 1);
  EXPECT_LT(s.BytesRead, 2048u) << "the reader inflated beyond the header";
  // A zlib stream followed by junk: the junk is never reached.
  CountingStream t(Cws(kSampleRest + "1234567") + noise);
  ReadSWFHeader(t, h);
  EXPECT_LT(t.BytesRead, 2048u);
}

// ---- files ----

TEST(SWFInfoTest, SizesAreWholePixelsTruncatedTowardZero)
{
  TempDir dir;
  struct Case {
    TSWFRect Rect;
    int Width;
    int Height;
  };
  const Case cases[] = {
      {{0, 0, 11000, 8000}, 550, 400},
      {{0, 0, 39, 19}, 1, 0},
      {{-40, -20, 0, 0}, 2, 1},
      {{40, 39, 0, 0}, -2, -1},
      {{-1073741824, 0, 1073741823, 0}, 107374182, 0},
  };
  for (const Case& c : cases) {
    const std::string file = dir.WriteFile("m.swf", Fws(HeaderRest(31, c.Rect, 0, 42)));
    int w = -7, h = -7, n = -7;
    GetSWFInfo(file, w, h, n);
    EXPECT_EQ(w, c.Width);
    EXPECT_EQ(h, c.Height);
    EXPECT_EQ(n, 42);
  }
  const std::string other = dir.WriteFile("x.swf", "ZWS\x0D" + Le32(9) + kSampleRest);
  int w = -7, h = -7, n = -7;
  GetSWFInfo(other, w, h, n);
  EXPECT_EQ(w + h + n, 0);
}

TEST(SWFInfoTest, FileErrorsAndTheFileIsClosedAfterwards)
{
  TempDir dir;
  int w = 0, h = 0, n = 0;
  const std::string missing = dir.Folder() + "none.swf";
  EXPECT_EQ(ErrorText([&] { GetSWFInfo(missing, w, h, n); }),
            "Cannot open file \"" + missing + "\". No such file or directory");

  const std::string bad = dir.WriteFile("bad.swf", "CWS\x0A" + Le32(9) + std::string(64, '\xFF'));
  EXPECT_EQ(ErrorText([&] { GetSWFInfo(bad, w, h, n); }), "Error");
  // Closed after the failure: an exclusive open succeeds.
  EXPECT_NO_THROW(TFileStream(bad, fmOpenRead | fmShareExclusive));

  // While a stream of ours holds the file exclusively (a download writing
  // it), it cannot be read; other readers do not keep it out.
  const std::string good = dir.WriteFile("good.swf", Fws(kSampleRest));
  {
    TFileStream holder(good, fmOpenRead | fmShareExclusive);
    EXPECT_THROW(GetSWFInfo(good, w, h, n), EFOpenError);
  }
  {
    TFileStream reader(good, fmOpenRead | fmShareDenyWrite);
    EXPECT_NO_THROW(GetSWFInfo(good, w, h, n));
  }
  GetSWFInfo(good, w, h, n);
  EXPECT_EQ(w, 550);
}

// ---- movies nobody on this project wrote ----

// An independent reading: inflate the whole body, then pick the fields out
// by bit index.
struct HandReading {
  bool Movie = false;
  int Width = 0, Height = 0, Frames = 0;
};

HandReading ReadByHand(const std::string& File)
{
  const std::string bytes = testing::ReadFileBytes(File);
  HandReading r;
  std::string body;
  if (bytes.compare(0, 3, "FWS") == 0) {
    body = bytes.substr(8);
  } else if (bytes.compare(0, 3, "CWS") == 0) {
    z_stream z{};
    EXPECT_EQ(inflateInit(&z), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + 8));
    z.avail_in = static_cast<uInt>(bytes.size() - 8);
    char out[4096];
    int rc = Z_OK;
    while (rc == Z_OK) {
      z.next_out = reinterpret_cast<Bytef*>(out);
      z.avail_out = sizeof out;
      rc = inflate(&z, Z_NO_FLUSH);
      body.append(out, sizeof out - z.avail_out);
    }
    inflateEnd(&z);
  } else {
    return r;
  }
  r.Movie = true;
  auto bit = [&](std::size_t i) { return (static_cast<unsigned char>(body.at(i / 8)) >> (7 - i % 8)) & 1; };
  auto field = [&](std::size_t& at, int n, bool isSigned) {
    std::int64_t v = 0;
    for (int k = 0; k < n; ++k)
      v = v * 2 + bit(at++);
    if (isSigned && n > 0 && v >= (std::int64_t{1} << (n - 1)))
      v -= std::int64_t{1} << n;
    return v;
  };
  std::size_t at = 0;
  const int nbits = static_cast<int>(field(at, 5, false));
  const std::int64_t xmin = field(at, nbits, true), xmax = field(at, nbits, true);
  const std::int64_t ymin = field(at, nbits, true), ymax = field(at, nbits, true);
  const std::size_t next = (at + 7) / 8;
  r.Width = static_cast<int>((xmax - xmin) / 20);
  r.Height = static_cast<int>((ymax - ymin) / 20);
  r.Frames = static_cast<unsigned char>(body.at(next + 2)) | static_cast<unsigned char>(body.at(next + 3))
                                                                 << 8;
  return r;
}

// The shared fixtures beside the project; QUENLOFT_FIXTURES names another
// place.
std::filesystem::path FixturesRoot()
{
  const char* env = std::getenv("QUENLOFT_FIXTURES");
  return std::filesystem::path(env && *env ? env : QUENLOFT_SOURCE_DIR "/../shared/fixtures");
}

TEST(SWFFixturesTest, RealMoviesAgreeWithAnIndependentReading)
{
  const std::filesystem::path root = FixturesRoot();
  if (!std::filesystem::is_directory(root))
    GTEST_SKIP() << "no fixture movies at " << root;
  int movies = 0, others = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.path().extension() != ".swf")
      continue;
    SCOPED_TRACE(entry.path().string());
    const HandReading expected = ReadByHand(entry.path().string());
    int w = -1, h = -1, n = -1;
    GetSWFInfo(entry.path().string(), w, h, n);
    if (expected.Movie) {
      ++movies;
      EXPECT_EQ(w, expected.Width);
      EXPECT_EQ(h, expected.Height);
      EXPECT_EQ(n, expected.Frames);
    } else {
      ++others; // LZMA ("ZWS") movies are not read
      EXPECT_EQ(w, 0);
      EXPECT_EQ(h, 0);
      EXPECT_EQ(n, 0);
    }
  }
  EXPECT_GT(movies, 50);
  EXPECT_GT(others, 0);
}

TEST(SWFFixturesTest, StageSizesMatchTheCatalogue)
{
  const std::filesystem::path root = FixturesRoot() / "ruffle";
  std::ifstream manifest(root / "MANIFEST.tsv");
  if (!manifest)
    GTEST_SKIP() << "no fixture catalogue";
  std::string line;
  int checked = 0;
  while (std::getline(manifest, line)) {
    std::vector<std::string> cols;
    std::stringstream fields(line);
    for (std::string col; std::getline(fields, col, '\t');)
      cols.push_back(col);
    if (cols.size() < 10 || cols[0] == "name" || line[0] == '#')
      continue;
    // The catalogue rounds fractional stage sizes to one decimal ("101.3");
    // the reader gives whole pixels, truncated.
    const std::string stage = cols[7];
    const std::size_t x = stage.find('x');
    const std::string expected = std::to_string(static_cast<int>(std::stod(stage.substr(0, x)))) + "x" +
                                 std::to_string(static_cast<int>(std::stod(stage.substr(x + 1))));
    const auto file = root / cols[0] / "test.swf";
    if (!std::filesystem::exists(file))
      continue;
    int w = 0, h = 0, n = 0;
    GetSWFInfo(file.string(), w, h, n);
    EXPECT_EQ(std::to_string(w) + "x" + std::to_string(h), expected) << cols[0];
    EXPECT_EQ(std::to_string(n), cols[9]) << cols[0];
    ++checked;
  }
  EXPECT_GT(checked, 50);
}

} // namespace
} // namespace quenloft
