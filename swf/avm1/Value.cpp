// The language's conversions as the player does them; the SWF version
// changes several of them (noted where they apply).
#include "swf/avm1/Value.h"

#include "swf/avm1/Machine.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace quenloft::swf::avm1 {

namespace {

// value * 10^Exp by repeated multiplication or division, so digits come out
// as the player's own conversion makes them.
double DecimalShift(double V, int Exp)
{
  double base = 10;
  if (Exp > 0) {
    for (; Exp > 0; Exp >>= 1, base *= base)
      if (Exp & 1)
        V *= base;
  } else {
    unsigned e = static_cast<unsigned>(-static_cast<long long>(Exp));
    for (; e > 0; e >>= 1, base *= base)
      if (e & 1)
        V /= base;
  }
  return V;
}

bool IsSpace(unsigned char C)
{
  return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\f' || C == '\v';
}

// A decimal number at the start of Text (after white space): digits, an
// optional fraction and exponent. Strict: nothing may follow.
double ParseDecimal(std::string_view S, bool Strict)
{
  std::size_t i = 0;
  while (i < S.size() && IsSpace(static_cast<unsigned char>(S[i])))
    ++i;
  bool negative = false;
  if (i < S.size() && (S[i] == '-' || S[i] == '+'))
    negative = S[i++] == '-';
  const std::size_t digitsStart = i;
  while (i < S.size() && S[i] >= '0' && S[i] <= '9')
    ++i;
  int exp = static_cast<int>(i - digitsStart) - 1;
  if (i < S.size() && S[i] == '.') {
    ++i;
    while (i < S.size() && S[i] >= '0' && S[i] <= '9')
      ++i;
  }
  if (i == digitsStart)
    return std::numeric_limits<double>::quiet_NaN();
  if (i < S.size() && (S[i] == 'e' || S[i] == 'E')) {
    ++i;
    bool expNegative = false;
    if (i < S.size() && (S[i] == '-' || S[i] == '+'))
      expNegative = S[i++] == '-';
    std::int64_t e = 0;
    while (i < S.size() && S[i] >= '0' && S[i] <= '9') {
      if (e < 100000)
        e = e * 10 + (S[i] - '0');
      ++i;
    }
    exp += static_cast<int>(expNegative ? -e : e);
  }
  // Strict: nothing may follow, not even white space.
  if (Strict && i != S.size())
    return std::numeric_limits<double>::quiet_NaN();
  double result = 0;
  for (std::size_t k = digitsStart; k < S.size(); ++k) {
    if (S[k] >= '0' && S[k] <= '9') {
      result += DecimalShift(S[k] - '0', exp);
      --exp;
    } else if (S[k] != '.') {
      break;
    }
  }
  return negative ? -result : result;
}

} // namespace

std::string ValidUtf8(std::string_view S)
{
  std::string out;
  out.reserve(S.size());
  std::size_t i = 0;
  while (i < S.size()) {
    const auto c = static_cast<unsigned char>(S[i]);
    std::size_t n = 0;
    unsigned lo = 0x80, hi = 0xBF; // the range of the second byte
    if (c < 0x80) {
      n = 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
      n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 3;
      lo = c == 0xE0 ? 0xA0 : 0x80;
      hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 4;
      lo = c == 0xF0 ? 0x90 : 0x80;
      hi = c == 0xF4 ? 0x8F : 0xBF;
    }
    bool ok = n > 0 && i + n <= S.size();
    for (std::size_t k = 1; ok && k < n; ++k) {
      const auto b = static_cast<unsigned char>(S[i + k]);
      ok = k == 1 ? (b >= lo && b <= hi) : (b >= 0x80 && b <= 0xBF);
    }
    if (ok) {
      out.append(S.substr(i, n));
      i += n;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

std::int32_t NumberToInt32(double D)
{
  if (!std::isfinite(D))
    return 0;
  if (D >= -2147483648.0 && D <= 2147483647.0)
    return static_cast<std::int32_t>(D);
  const double m = std::fmod(std::trunc(D), 4294967296.0);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(m)));
}

std::string NumberToText(double N)
{
  if (std::isnan(N))
    return "NaN";
  if (std::isinf(N))
    return N > 0 ? "Infinity" : "-Infinity";
  if (N == 0)
    return "0";
  if (N >= -2147483648.0 && N <= 2147483647.0 && N == std::trunc(N))
    return std::to_string(static_cast<std::int32_t>(N));
  // The player shifts the number into [1, 10), takes 15 digits, rounds on
  // the 16th (ties away from zero) and trims trailing zeros; exponent form
  // below 1e-5 and from 1e15 on.
  std::string buf;
  buf.reserve(32);
  const bool negative = N < 0;
  if (negative) {
    N = -N;
    buf.push_back('-');
  }
  std::uint64_t bits;
  std::memcpy(&bits, &N, sizeof bits);
  int exp2 = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
  if (exp2 == -1023) {
    const double scaled = N * 18014398509481984.0; // 2^54
    std::memcpy(&bits, &scaled, sizeof bits);
    exp2 = static_cast<int>((bits >> 52) & 0x7FF) - 1023 - 54;
  }
  int exp = static_cast<int>(std::round(exp2 * 0.301029995663981));
  double mantissa = DecimalShift(N, -exp);
  if (static_cast<int>(mantissa) == 0) {
    --exp;
    mantissa = DecimalShift(N, -exp);
  }
  if (static_cast<int>(mantissa) >= 10) {
    ++exp;
    mantissa = DecimalShift(N, -exp);
  }
  const auto digit = [&]() -> char {
    int d = static_cast<int>(mantissa);
    if (d < 0)
      d = 0;
    if (d > 9)
      d = 9;
    mantissa = (mantissa - d) * 10;
    return static_cast<char>('0' + d);
  };
  constexpr int Places = 15;
  if (exp >= 15) {
    buf.push_back(digit());
    buf.push_back('.');
    for (int k = 0; k < Places - 1; ++k)
      buf.push_back(digit());
  } else if (exp >= 0) {
    buf.push_back('0');
    for (int k = 0; k <= exp; ++k)
      buf.push_back(digit());
    buf.push_back('.');
    for (int k = 0; k < Places - exp - 1; ++k)
      buf.push_back(digit());
    exp = 0;
  } else if (exp >= -5) {
    buf += "00.";
    buf.append(static_cast<std::size_t>(-exp - 1), '0');
    for (int k = 0; k < Places; ++k)
      buf.push_back(digit());
    exp = 0;
  } else {
    buf.push_back('0');
    const char d = digit();
    if (d != '0')
      buf.push_back(d);
    buf.push_back('.');
    for (int k = 0; k < Places - 1; ++k)
      buf.push_back(digit());
  }
  if (digit() >= '5') {
    for (auto it = buf.rbegin(); it != buf.rend(); ++it) {
      if (*it == '9') {
        *it = '0';
      } else if (*it >= '0') {
        ++*it;
        break;
      }
    }
  }
  while (!buf.empty() && buf.back() == '0')
    buf.pop_back();
  if (!buf.empty() && buf.back() == '.')
    buf.pop_back();
  std::size_t start = 0;
  if (exp != 0) {
    std::size_t pos = 0;
    while (pos < buf.size() && buf[pos] == '0')
      ++pos;
    buf.erase(0, pos);
    if (buf.empty()) {
      buf.push_back('1');
      ++exp;
    } else {
      std::size_t last = buf.find_last_not_of('0');
      if (last == std::string::npos)
        last = 0;
      if (last == 0) {
        exp += static_cast<int>(buf.size()) - 1;
        buf.resize(1);
      }
    }
    char e[16];
    std::snprintf(e, sizeof e, "e%+d", exp);
    buf += e;
  }
  const std::size_t i = negative ? 1 : 0;
  if (buf.size() > i + 1 && buf[i] == '0' && buf[i + 1] != '.') {
    if (i > 0)
      buf[i] = buf[i - 1];
    start = 1;
  }
  return buf.substr(start);
}

// Digits in Radix after an optional sign, read as a 32-bit integer that
// wraps; NaN when anything else is there.
static double ReadWrappingInteger(std::string_view S, unsigned Radix)
{
  bool negative = false;
  if (!S.empty() && (S[0] == '-' || S[0] == '+')) {
    negative = S[0] == '-';
    S.remove_prefix(1);
  }
  if (S.empty())
    return std::numeric_limits<double>::quiet_NaN();
  std::uint32_t v = 0;
  for (const char c : S) {
    unsigned d;
    if (c >= '0' && c <= '9')
      d = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'z')
      d = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'Z')
      d = static_cast<unsigned>(c - 'A' + 10);
    else
      return std::numeric_limits<double>::quiet_NaN();
    if (d >= Radix)
      return std::numeric_limits<double>::quiet_NaN();
    v = negative ? v * Radix - d : v * Radix + d;
  }
  return static_cast<std::int32_t>(v);
}

double TextToNumber(std::string_view S, int Version)
{
  if (Version >= 6) {
    // "0x1F" is hexadecimal and "017" (only octal digits) octal, both read
    // as 32-bit integers. The player skips two characters for the "0x" even
    // after a sign, so "-0x1F" is NaN; white space is not skipped here.
    std::string_view body = S;
    if (!body.empty() && (body[0] == '+' || body[0] == '-'))
      body.remove_prefix(1);
    if (!body.empty() && body[0] == '0') {
      if (body.size() >= 2 && (body[1] == 'x' || body[1] == 'X'))
        return ReadWrappingInteger(S.substr(2), 16);
      if (body.find_first_not_of("01234567") == std::string_view::npos)
        return ReadWrappingInteger(S, 8);
    }
  }
  const bool strict = Version >= 5;
  const double r = ParseDecimal(S, strict);
  if (!strict && std::isnan(r))
    return 0;
  return r;
}

double Value::ToNumber(Machine& M) const
{
  switch (FType) {
  case Type::Undefined:
  case Type::Null: return M.Version() < 7 ? 0.0 : std::numeric_limits<double>::quiet_NaN();
  case Type::Boolean: return FData.B ? 1 : 0;
  case Type::Number: return FData.D;
  case Type::String: return TextToNumber(AsString()->Text, M.Version());
  case Type::Object: {
    // valueOf is asked even before SWF 5, where an object left over reads
    // as 0; a clip is never asked.
    const Value p = AsObject()->DisplayPath(M) != nullptr ? *this : ToPrimitive(M, Hint::Number);
    if (p.IsObject())
      return M.Version() < 5 ? 0.0 : std::numeric_limits<double>::quiet_NaN();
    return p.ToNumber(M);
  }
  }
  return 0;
}

const String* Value::ToString(Machine& M) const
{
  switch (FType) {
  case Type::Undefined: return M.Version() < 7 ? M.EmptyString() : M.Text(M.A.Undefined);
  case Type::Null: return M.Text(M.A.Null);
  case Type::Boolean:
    if (M.Version() < 5)
      return M.Text(M.Intern(FData.B ? "1" : "0"));
    return M.Text(FData.B ? M.A.TrueA : M.A.FalseA);
  case Type::Number: {
    const double d = FData.D;
    if (d >= 0 && d < 10 && d == std::trunc(d))
      return M.Text(M.Intern(std::string(1, static_cast<char>('0' + static_cast<int>(d)))));
    return M.NewString(NumberToText(d));
  }
  case Type::String: return AsString();
  case Type::Object: {
    Object* o = AsObject();
    if (const Value* p = o->Primitive(); p && p->IsString())
      return p->AsString();
    if (const String* path = o->DisplayPath(M))
      return path;
    const Value r = M.CallMethod(*this, M.A.ToStringA, {});
    if (r.IsString())
      return r.AsString();
    return M.NewString(o->TypeName() == "function" ? "[type Function]" : "[type Object]");
  }
  }
  return M.EmptyString();
}

bool Value::ToBoolean(int Version) const
{
  switch (FType) {
  case Type::Undefined:
  case Type::Null: return false;
  case Type::Boolean: return FData.B;
  case Type::Number: return !std::isnan(FData.D) && FData.D != 0;
  case Type::String: {
    if (Version >= 7)
      return !AsString()->Text.empty();
    const double d = TextToNumber(AsString()->Text, Version);
    return !std::isnan(d) && d != 0;
  }
  case Type::Object: return true;
  }
  return false;
}

Value Value::ToPrimitive(Machine& M, Hint H) const
{
  if (FType != Type::Object)
    return *this;
  Object* o = AsObject();
  if (o->DisplayPath(M) != nullptr) {
    // A clip turns to its path only when its valueOf gives nothing.
    if (H == Hint::Number)
      return *this;
    if (H == Hint::None && !M.CallMethod(*this, M.A.ValueOf, {}).IsUndefined())
      return *this;
    return Value(ToString(M));
  }
  if (H == Hint::String) {
    const Value r = M.CallMethod(*this, M.A.ToStringA, {});
    return r.IsObject() ? *this : r;
  }
  // valueOf is called even for Date in SWF 5; from SWF 6 on a Date turns to
  // its text when no hint is given.
  const Atom method = (H == Hint::None && M.Version() > 5 && o->IsDate()) ? M.A.ToStringA : M.A.ValueOf;
  const Value r = M.CallMethod(*this, method, {});
  if (H == Hint::Number)
    return r;
  return r.IsObject() ? *this : r;
}

Object* Value::ToObject(Machine& M) const
{
  switch (FType) {
  case Type::Undefined:
  case Type::Null: return nullptr;
  case Type::Object: return AsObject();
  case Type::Boolean: return M.Box(*this, "Boolean");
  case Type::Number: return M.Box(*this, "Number");
  case Type::String: return M.Box(*this, "String");
  }
  return nullptr;
}

std::int32_t Value::ToInt32(Machine& M) const
{
  if (FType == Type::Number)
    return NumberToInt32(FData.D);
  return NumberToInt32(ToNumber(M));
}

std::string_view Value::TypeOf() const
{
  switch (FType) {
  case Type::Undefined: return "undefined";
  case Type::Null: return "null";
  case Type::Boolean: return "boolean";
  case Type::Number: return "number";
  case Type::String: return "string";
  case Type::Object: return AsObject()->TypeName();
  }
  return "undefined";
}

bool Value::StrictEquals(const Value& Other) const
{
  if (FType != Other.FType)
    return false;
  switch (FType) {
  case Type::Undefined:
  case Type::Null: return true;
  case Type::Boolean: return FData.B == Other.FData.B;
  case Type::Number: return FData.D == Other.FData.D || (std::isnan(FData.D) && std::isnan(Other.FData.D));
  case Type::String: return FData.C == Other.FData.C || AsString()->Text == Other.AsString()->Text;
  case Type::Object: return FData.C == Other.FData.C;
  }
  return false;
}

} // namespace quenloft::swf::avm1
