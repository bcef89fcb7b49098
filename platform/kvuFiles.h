// The file helpers of the shell utility unit: a free name for a new output
// file ("movie(2).swf" beside an existing "movie.swf") and the size of an
// existing file, taken while holding it exclusively.
//
// Folder separator is "/" (":" still counts, as a drive mark would).
//
// Threads: stateless; any thread. UniqueFileName runs on the UI / CLI-loop
// thread (the coordinator), FileSizeOf on the download worker thread.
#pragma once

#include <cstdint>
#include <string>

namespace quenloft {

// Whether anything (file, folder, link, even a dangling link) has that name.
// A name taken by anything is not free for a new file.
bool FileExists(const std::string& FileName);

// Path itself when nothing has that name; otherwise the first free name of
// Dir + Base + "(n)" + Ext for n = 2, 3, ..., where Dir is Path up to its
// last "/" or ":", Base the file title and Ext the extension with its dot.
// When Base + "(n)" + Ext would pass 255 bytes, Base is cut (never inside a
// UTF-8 character) so that the number fits. The name is not reserved: the
// caller creates the file right afterwards.
std::string UniqueFileName(const std::string& Path);

// The length of an existing file, opened for reading with exclusive sharing
// (so it fails while another stream of ours holds the file). Raises
// EFOpenError "Cannot open file "%s". %s"; nothing is left open.
std::int64_t FileSizeOf(const std::string& FileName);

} // namespace quenloft
