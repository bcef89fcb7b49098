// The files a conversion writes: free final names (a numbered copy beside
// an existing file, never an overwrite), temporary names beside them, and
// the move from one to the other at the very end, so that nothing
// half-made ever carries the final name.
//
// Threads: the conversion's thread.
#pragma once

#include <string>
#include <vector>

namespace quenloft::convert {

class TOutputFiles {
public:
  // Final names for Output and, for each of Siblings (extensions with
  // their dot), the same stem with that extension; all free at the time.
  TOutputFiles(const std::string& Output, const std::vector<std::string>& Siblings);
  // Removes the temporary files unless Commit ran.
  ~TOutputFiles();
  TOutputFiles(const TOutputFiles&) = delete;
  TOutputFiles& operator=(const TOutputFiles&) = delete;

  // Index 0 is Output's, then the siblings' in order.
  const std::string& Final(std::size_t I) const { return FFinal[I]; }
  const std::string& Temporary(std::size_t I) const { return FTemporary[I]; }

  // Moves every temporary file to its final name, the siblings first;
  // never replaces a file that appeared meanwhile (raises EConvertError).
  void Commit();

private:
  std::vector<std::string> FFinal, FTemporary;
  bool FCommitted = false;
};

// The file name part of Path (after its last "/").
std::string BaseName(const std::string& Path);

} // namespace quenloft::convert
