// Translators that are not built yet: each leaves its clause unchanged and succeeds, so that a
// statement with such a clause still gets its other clauses and its markers translated.
#include "driver/translators.h"

Status bcoTranslateOuterJoin(ConversionContext*, uint16_t*) { return kOk; }

Status bcoParseCallClause(ConversionContext*, uint16_t*, uint16_t* nameBuffer,
                          uint16_t* markerCount, uint16_t* valueCount, int32_t* listCount,
                          CallArgument** list) {
  nameBuffer[0] = 0;
  *markerCount = 0;
  *valueCount = 0;
  *listCount = 0;
  *list = nullptr;
  return kOk;
}

uint16_t bcoFreeCallArgs(CallArgument*, int32_t) { return 0; }

Status bcoDescribeProcedure(ConversionContext*, uint16_t*, uint16_t*, int32_t, CallArgument*) {
  return kOk;
}
