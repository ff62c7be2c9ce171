// The procedure-argument array and the three routines that write the caller's items into the
// rewritten call. A caller item is one plain argument, or one item of a {resultset} group, whose
// texts lie back to back, each terminated.
#include "describe/proc_data.h"

#include <algorithm>
#include <cstring>

#include "call/call_argument.h"
#include "driver/memory.h"
#include "driver/scratch.h"
#include "driver/text.h"
#include "driver/trace.h"

namespace {

constexpr char kSeparator[] = ", ";

// The texts of an entry's items: one for a plain entry, itemCount for a group.
struct Items {
  const CallArgument& entry;
  uint32_t count() const { return entry.isGroup != 0 ? entry.itemCount : 1; }
};

// The next item of a group: its texts lie back to back, each terminated.
const uint16_t* nextItem(const uint16_t* item) { return item + bcuLength(item) + 1; }

void markLiteral(ProcArgument* elements, size_t elementCount, size_t index, int32_t literal) {
  if (index < elementCount) elements[index].literalArg = literal;
}

void appendItem(CallText* text, const uint16_t* item, uint16_t* listEmpty) {
  if (*listEmpty == 0) callTextAppend(text, kSeparator);
  callTextAppend(text, item, bcuLength(item));
  *listEmpty = 0;
}

}  // namespace

namespace {

// Room for length more characters and the terminator; false (overflow set) without it.
bool reserve(CallText* text, size_t length) {
  if (text->overflow) return false;
  const uint64_t needed = uint64_t(text->length) + length + 1;
  if (needed <= text->capacity) return true;
  const uint64_t capacity = std::max<uint64_t>(needed, 2 * uint64_t(text->capacity));
  uint16_t* grown = nullptr;
  if (text->grows && capacity <= UINT32_MAX / sizeof(uint16_t)) {
    grown = static_cast<uint16_t*>(rawAlloc(size_t(capacity) * sizeof(uint16_t)));
  }
  if (grown == nullptr) {
    text->overflow = true;
    text->noMemory = text->grows;
    return false;
  }
  std::memcpy(grown, text->data, (size_t(text->length) + 1) * sizeof(uint16_t));
  rawFree(text->data);
  text->data = grown;
  text->capacity = uint32_t(capacity);
  return true;
}

}  // namespace

void callTextAppend(CallText* text, const uint16_t* s, size_t length) {
  if (!reserve(text, length)) return;
  std::memcpy(text->data + text->length, s, length * sizeof(uint16_t));
  text->length += uint32_t(length);
  text->data[text->length] = 0;
}

void callTextAppend(CallText* text, const char* ascii) {
  const size_t length = std::strlen(ascii);
  if (!reserve(text, length)) return;
  for (size_t i = 0; i < length; ++i) text->data[text->length + i] = uint8_t(ascii[i]);
  text->length += uint32_t(length);
  text->data[text->length] = 0;
}

Status bcoAllocateProcData(ProcArgument** array, uint16_t count) {
  bcuTrace("bcoAllocateProcData - Elements", uint32_t(count));
  auto* elements = static_cast<ProcArgument*>(bcoObtain(
      nullptr, uint32_t(count) * uint32_t(sizeof(ProcArgument)), Fill::kZeroed, Fill::kZeroed));
  if (elements == nullptr) return kFail;
  elements[0].count = count;
  *array = elements;
  return kOk;
}

void bcoFreeProcData(ProcArgument* array) {
  bcuTrace("bcoFreeProcData", uint32_t{0});
  bcoRelease(nullptr, array);
}

uint16_t bcoAppendCallArgs(int32_t argCount, const CallArgument* args, CallText* text,
                           ProcArgument* elements, size_t elementCount) {
  uint16_t listEmpty = 1;
  size_t element = 0;
  for (int32_t i = 0; i < argCount; ++i) {
    const CallArgument& entry = args[i];
    if (entry.isGroup == 0) {
      appendItem(text, entry.text, &listEmpty);
      markLiteral(elements, elementCount, element++, entry.literal);
      continue;
    }
    // {resultset 1, a, b}: the group's mark lands on the element of its last item, b.
    const uint32_t n = entry.itemCount;
    const uint16_t* item = entry.text;
    for (uint32_t k = 0; k < n; ++k, item = nextItem(item)) appendItem(text, item, &listEmpty);
    element += n > 0 ? n - 1 : 0;
    markLiteral(elements, elementCount, element++, entry.literal);
  }
  return 0;
}

uint16_t bcoAppendArgsUpTo(uint16_t* consumed, int32_t argCount, const CallArgument* args,
                           const uint16_t* name, CallText* text, uint16_t* listEmpty,
                           int32_t cursorsBefore, int32_t stopItem, ProcArgument* elements,
                           size_t elementCount) {
  int32_t item = 1;  // number of the entry's first item
  for (int32_t i = 0; i < argCount && item <= stopItem; ++i) {
    const CallArgument& entry = args[i];
    const int32_t n = int32_t(Items{entry}.count());
    if (entry.isGroup != 0) {
      // Group items mark no element. A group wholly written before is skipped; of a group split
      // by an earlier marker, the items not yet written are written like any others.
      const uint16_t* itemText = entry.text;
      for (int32_t k = 0; k < n; ++k, ++item, itemText = nextItem(itemText)) {
        if (*consumed < item && item < stopItem) {
          appendItem(text, itemText, listEmpty);
          ++*consumed;
        }
      }
      continue;
    }
    if (*consumed < item && item < stopItem) {
      markLiteral(elements, elementCount, size_t(*consumed) + size_t(cursorsBefore), entry.literal);
      appendItem(text, entry.text, listEmpty);
      ++*consumed;
    }
    ++item;
  }
  if (*listEmpty == 0) callTextAppend(text, kSeparator);
  callTextAppend(text, ":");
  callTextAppend(text, name, bcuLength(name));
  *listEmpty = 0;
  return 0;
}

uint16_t bcoAppendArgsAfter(uint16_t* consumed, int32_t argCount, const CallArgument* args,
                            CallText* text, uint16_t* listEmpty, int32_t cursorsBefore,
                            uint16_t total, ProcArgument* elements, size_t elementCount) {
  int32_t skip = *consumed;  // items written before
  for (int32_t i = 0; i < argCount; ++i) {
    const CallArgument& entry = args[i];
    const uint32_t n = Items{entry}.count();
    const uint16_t* itemText = entry.text;
    for (uint32_t k = 0; k < n;
         ++k, itemText = entry.isGroup == 0 ? itemText : nextItem(itemText)) {
      if (skip > 0) {
        --skip;
        continue;
      }
      if (int32_t(*consumed) + cursorsBefore >= int32_t(total)) return 0;
      if (entry.isGroup == 0) {
        markLiteral(elements, elementCount, size_t(*consumed) + size_t(cursorsBefore),
                    entry.literal);
      }
      appendItem(text, itemText, listEmpty);
      ++*consumed;
    }
  }
  return 0;
}
