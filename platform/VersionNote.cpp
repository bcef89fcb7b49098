// Gives the executable it is linked into the program version note
// (added by quenloft_stamp_version in cmake/QuenloftVersion.cmake).
#include "platform/VersionNote.h"

QUENLOFT_VERSION_NOTE();
