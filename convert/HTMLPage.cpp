// The page beside a converted WebM: plain HTML that any browser opens from
// disk, with no script.
#include "convert/Converter.h"

#include <cstdio>

namespace quenloft::convert {
namespace {

std::string Escaped(const std::string& Text)
{
  std::string out;
  for (const char c : Text) {
    switch (c) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '"': out += "&quot;"; break;
    default: out += c;
    }
  }
  return out;
}

// A file name as a relative address: everything but the unreserved
// characters percent-encoded (spaces, "#", "?" and "%" in names included).
std::string Address(const std::string& Name)
{
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : Name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~' || c == '(' || c == ')') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

} // namespace

std::string HTMLPage(const std::string& Title, const std::string& Video, const std::string& Poster, int Width,
                     int Height, std::uint32_t Background, bool Loops, bool Muted)
{
  char colour[8];
  std::snprintf(colour, sizeof colour, "#%06X", Background & 0xFFFFFFu);
  const std::string w = std::to_string(Width), h = std::to_string(Height);
  std::string page = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + Escaped(Title) +
                     "</title>\n<style>\n"
                     "html, body { margin: 0; height: 100%; background: " +
                     colour +
                     "; }\n"
                     "body { display: flex; align-items: center; justify-content: center; }\n"
                     "video { display: block; max-width: 100%; max-height: 100%; }\n"
                     "</style>\n</head>\n<body>\n<video src=\"" +
                     Escaped(Address(Video)) + "\" poster=\"" + Escaped(Address(Poster)) + "\" width=\"" + w +
                     "\" height=\"" + h + "\" controls autoplay playsinline";
  if (Loops)
    page += " loop";
  if (Muted)
    page += " muted"; // browsers start silent videos by themselves
  page += "></video>\n</body>\n</html>\n";
  return page;
}

} // namespace quenloft::convert
