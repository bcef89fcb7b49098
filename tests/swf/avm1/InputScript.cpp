#include "tests/swf/avm1/InputScript.h"

#include "swf/avm1/Utf8.h"

#include <map>
#include <memory>
#include <stdexcept>

namespace quenloft::swf::avm1::conformance {

namespace {

// Just enough JSON for the input lists: objects, arrays, strings, numbers
// and the three words.
struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object } Type = Kind::Null;
  double Number = 0;
  std::string Text;
  std::vector<Json> Items;
  std::map<std::string, Json> Fields;

  const Json* Field(const std::string& Name) const
  {
    const auto it = Fields.find(Name);
    return it == Fields.end() ? nullptr : &it->second;
  }
};

class Reader {
public:
  explicit Reader(const std::string& Text) : FText(Text) {}

  Json Document()
  {
    Json v = Read(0);
    Space();
    if (FPos != FText.size())
      Fail("text after the list");
    return v;
  }

private:
  [[noreturn]] void Fail(const std::string& Why) const
  {
    throw std::runtime_error("input.json, byte " + std::to_string(FPos) + ": " + Why);
  }
  void Space()
  {
    while (FPos < FText.size() &&
           (FText[FPos] == ' ' || FText[FPos] == '\n' || FText[FPos] == '\r' || FText[FPos] == '\t'))
      ++FPos;
  }
  bool Take(char C)
  {
    Space();
    if (FPos < FText.size() && FText[FPos] == C) {
      ++FPos;
      return true;
    }
    return false;
  }
  void Expect(char C)
  {
    if (!Take(C))
      Fail(std::string("expected '") + C + "'");
  }
  static void Utf8(std::string& Out, std::uint32_t C) { Out += EncodeUtf8(std::u32string(1, C)); }
  std::string String()
  {
    Expect('"');
    std::string out;
    while (FPos < FText.size() && FText[FPos] != '"') {
      char c = FText[FPos++];
      if (c != '\\') {
        out += c;
        continue;
      }
      if (FPos >= FText.size())
        break;
      c = FText[FPos++];
      switch (c) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'u': {
        if (FPos + 4 > FText.size())
          Fail("a cut \\u escape");
        auto unit = static_cast<std::uint32_t>(std::stoul(FText.substr(FPos, 4), nullptr, 16));
        FPos += 4;
        // A surrogate pair stands for one character past U+FFFF.
        if (unit >= 0xD800 && unit < 0xDC00 && FText.compare(FPos, 2, "\\u") == 0 && FPos + 6 <= FText.size()) {
          const auto low = static_cast<std::uint32_t>(std::stoul(FText.substr(FPos + 2, 4), nullptr, 16));
          if (low >= 0xDC00 && low < 0xE000) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            FPos += 6;
          }
        }
        Utf8(out, unit);
        break;
      }
      default: out += c; break;
      }
    }
    if (FPos >= FText.size())
      Fail("a string without its end");
    ++FPos;
    return out;
  }
  Json Read(int Depth)
  {
    if (Depth > 32)
      Fail("nested too deep");
    Space();
    if (FPos >= FText.size())
      Fail("unexpected end");
    Json v;
    const char c = FText[FPos];
    if (c == '[') {
      ++FPos;
      v.Type = Json::Kind::Array;
      if (Take(']'))
        return v;
      do
        v.Items.push_back(Read(Depth + 1));
      while (Take(','));
      Expect(']');
    } else if (c == '{') {
      ++FPos;
      v.Type = Json::Kind::Object;
      if (Take('}'))
        return v;
      do {
        Space();
        std::string name = String();
        Expect(':');
        v.Fields[name] = Read(Depth + 1);
      } while (Take(','));
      Expect('}');
    } else if (c == '"') {
      v.Type = Json::Kind::String;
      v.Text = String();
    } else if (FText.compare(FPos, 4, "true") == 0 || FText.compare(FPos, 5, "false") == 0) {
      v.Type = Json::Kind::Bool;
      v.Number = FText[FPos] == 't';
      FPos += FText[FPos] == 't' ? 4 : 5;
    } else if (FText.compare(FPos, 4, "null") == 0) {
      FPos += 4;
    } else {
      std::size_t used = 0;
      try {
        v.Number = std::stod(FText.substr(FPos, 32), &used);
      } catch (const std::exception&) {
        Fail("not a value");
      }
      v.Type = Json::Kind::Number;
      FPos += used;
    }
    return v;
  }

  const std::string& FText;
  std::size_t FPos = 0;
};

// The first character of UTF-8 text.
char32_t FirstChar(const std::string& S)
{
  const std::u32string chars = DecodeUtf8(S);
  return chars.empty() ? 0 : chars[0];
}

// What a named key types, as the reference player's keyboard gives it.
char32_t CharOfName(const std::string& Name)
{
  static const std::map<std::string, char32_t> chars = {{"Backspace", 8}, {"Tab", 9},      {"Enter", 13},
                                                        {"Escape", 27},   {"Delete", 127}, {"Space", ' '}};
  const auto it = chars.find(Name);
  return it == chars.end() ? 0 : it->second;
}

void ReadKey(const Json* Key, InputStep& Step)
{
  if (!Key)
    return;
  if (Key->Type == Json::Kind::String) {
    Step.Code = KeyCodeOfName(Key->Text);
    Step.Char = CharOfName(Key->Text);
    return;
  }
  for (const char* field : {"Char", "Numpad"})
    if (const Json* c = Key->Field(field); c && c->Type == Json::Kind::String) {
      Step.Char = FirstChar(c->Text);
      Step.Code = KeyCodeOfChar(Step.Char);
    }
}

} // namespace

std::vector<InputStep> ParseInputScript(const std::string& Text)
{
  const Json doc = Reader(Text).Document();
  if (doc.Type != Json::Kind::Array)
    throw std::runtime_error("input.json: not a list of events");
  static const std::map<std::string, InputStep::Kind> kinds = {
      {"Wait", InputStep::Kind::Wait},           {"MouseMove", InputStep::Kind::MouseMove},
      {"MouseDown", InputStep::Kind::MouseDown}, {"MouseUp", InputStep::Kind::MouseUp},
      {"KeyDown", InputStep::Kind::KeyDown},     {"KeyUp", InputStep::Kind::KeyUp},
      {"TextInput", InputStep::Kind::TextInput}, {"SetClipboardText", InputStep::Kind::Clipboard}};
  static const std::map<std::string, TextCommand> commands = {{"SelectAll", TextCommand::SelectAll},
                                                              {"Copy", TextCommand::Copy},
                                                              {"Cut", TextCommand::Cut},
                                                              {"Paste", TextCommand::Paste}};
  std::vector<InputStep> steps;
  for (const Json& e : doc.Items) {
    const Json* type = e.Field("type");
    if (!type || type->Type != Json::Kind::String)
      throw std::runtime_error("input.json: an event without its type");
    InputStep s;
    if (const auto it = kinds.find(type->Text); it != kinds.end())
      s.Type = it->second;
    if (const Json* pos = e.Field("pos"); pos && pos->Items.size() == 2) {
      s.X = pos->Items[0].Number;
      s.Y = pos->Items[1].Number;
    }
    if (const Json* btn = e.Field("btn"))
      s.Button = btn->Text == "Right"    ? MouseButton::Right
                 : btn->Text == "Middle" ? MouseButton::Middle
                                         : MouseButton::Left;
    ReadKey(e.Field("key"), s);
    if (const Json* cp = e.Field("codepoint"); cp && cp->Type == Json::Kind::String)
      s.Char = FirstChar(cp->Text);
    if (const Json* t = e.Field("text"); t && t->Type == Json::Kind::String)
      s.Text = t->Text;
    if (const Json* code = e.Field("code"); code && type->Text == "TextControl")
      if (const auto it = commands.find(code->Text); it != commands.end()) {
        s.Type = InputStep::Kind::Command;
        s.Command = it->second;
      }
    steps.push_back(s);
  }
  return steps;
}

std::size_t PlayInputFrame(Player& P, const std::vector<InputStep>& Steps, std::size_t Next)
{
  for (; Next < Steps.size(); ++Next) {
    const InputStep& s = Steps[Next];
    switch (s.Type) {
    case InputStep::Kind::Wait: return Next + 1;
    case InputStep::Kind::MouseMove: P.MouseMove(s.X, s.Y); break;
    case InputStep::Kind::MouseDown: P.MouseDown(s.X, s.Y, s.Button); break;
    case InputStep::Kind::MouseUp: P.MouseUp(s.X, s.Y, s.Button); break;
    case InputStep::Kind::KeyDown: P.KeyDown(s.Code, s.Char); break;
    case InputStep::Kind::KeyUp: P.KeyUp(s.Code, s.Char); break;
    case InputStep::Kind::TextInput: P.TextInput(s.Char); break;
    case InputStep::Kind::Clipboard: P.SetClipboard(s.Text); break;
    case InputStep::Kind::Command: P.Command(s.Command); break;
    case InputStep::Kind::Other: break;
    }
  }
  return Next;
}

} // namespace quenloft::swf::avm1::conformance
