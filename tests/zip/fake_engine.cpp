// Engine libraries the loader must refuse: one answering an old interface
// version (FAKE_ENGINE_OLD), one lacking ZE_Abort (FAKE_ENGINE_PARTIAL).

#include <cstring>

#include "zipformat/zip_engine_records.h"

extern "C" {

ZE_EXPORT int ZE_CALL ZE_Exec(TZipCommandRecord*) { return 0; }
ZE_EXPORT int ZE_CALL ZE_Version(void) {
#ifdef FAKE_ENGINE_OLD
  return 180;
#else
  return 190;
#endif
}
ZE_EXPORT int ZE_CALL ZE_PrivVersion(void) { return 1900111; }
#ifndef FAKE_ENGINE_PARTIAL
ZE_EXPORT void ZE_CALL ZE_Abort(intptr_t) {}
#endif
ZE_EXPORT void ZE_CALL ZE_Name(char* buffer, int capacity, int) {
  if (capacity > 12) std::strcpy(buffer, "Old engine");
}
ZE_EXPORT const char* ZE_CALL ZE_Banner(void) { return "fake"; }
ZE_EXPORT const char* ZE_CALL ZE_Path(void) { return ""; }
}
