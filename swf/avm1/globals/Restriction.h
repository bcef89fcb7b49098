// What a text field's restrict pattern lets typing put in: characters and
// ranges ("a-z"), '^' switching between allowing and refusing what
// follows, '\' taking the next character as it is. A pattern starting with
// '^' allows everything but what follows; no pattern allows everything, an
// empty one nothing.
//
// Threads: plain values; any thread.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quenloft::swf::avm1 {

class Restriction {
public:
  explicit Restriction(const std::optional<std::string>& Pattern);
  // C, or its other case when only that is allowed; 0 when neither is.
  char32_t Admit(char32_t C) const;

private:
  bool Allows(char32_t C) const;
  std::vector<std::pair<char32_t, char32_t>> FAllowed, FRefused;
};

} // namespace quenloft::swf::avm1
