// The chief internal header: the two records that travel with one translation (the
// ConversionContext on the entry point's stack and the ServerLink on the heap), the status and
// reason codes every translator returns, and the clause positions the search hands around.
#pragma once

#include <cstdint>

#include "driver/pos_list.h"
#include "driver/scratch.h"
#include "tci/tci.h"

struct WorkBuffer;
struct ScannerState;
struct ScanJumps;

/// Internal status of every translation step: kOk, or kFail after bcoErrorHook was called.
using Status = uint16_t;
inline constexpr Status kOk = 0;
inline constexpr Status kFail = 65535;

/// Reason codes passed to bcoErrorHook; any other value is a server status passed on.
inline constexpr uint32_t kReasonMalformed = 59;
inline constexpr uint32_t kReasonNoMemory = 83;
inline constexpr uint32_t kReasonUnsupported = 123;
/// Our own code for "the result does not fit the caller's buffer" (outside the 16-bit range of
/// the other codes so that it can never be mistaken for a server status).
inline constexpr uint32_t kReasonNoRoom = 65536;

/// Values of ConversionContext::callForm.
inline constexpr int32_t kCallFormReturn = 256;  // {?=call ...}
inline constexpr int32_t kCallFormPlain = 512;   // {call ...}

/// Per-call record with the caller's server handles and options. Allocated with malloc by the
/// entry point and freed by it; owns describeHandle and statementHandle.
struct ServerLink {
  void** handles;  ///< caller's [environment, error, service context]
  const uint16_t* defaultSchema;
  TCIHandle describeHandle;   ///< type 7, allocated on first use by the describe path
  TCIHandle statementHandle;  ///< type 4, allocated on first use by the dictionary path
  uint16_t serverVersion;
  uint32_t describeOptions[3];
  uint16_t* argTypes;    ///< malloc'ed, one type code per described argument
  uint32_t argCount;     ///< entries of argTypes, attr32List and attr213List
  uint8_t* attr32List;   ///< malloc'ed, one byte per described argument
  uint8_t* attr213List;  ///< malloc'ed, one byte per described argument
};

/// What the dispatcher keeps from the last call clause it handed to the call parser. The parser
/// reads the whole statement, not the clause, so a call clause met again in the same text (the
/// working buffer's edits and generation unchanged since) has the same outcome: the statement
/// unchanged and these counts. Only outcomes that leave the text and the block as they were are
/// kept: no opening seen, or a call parsed and not described. After a parse that saw no opening,
/// an OUTPUT rewrite that writes only inside the quoted names the parser read whole
/// (CallNameSpans) is done in place and the memo follows it (edits, outputAt, searchedFrom).
struct CallMemo {
  bool valid;
  uint32_t edits;       ///< WorkBuffer::edits when it was taken
  uint32_t generation;  ///< WorkBuffer::generation likewise
  uint16_t markerCount;
  uint16_t valueCount;
  uint32_t outputFreeFrom;  ///< logical position: no "OUTPUT" (any case) starts at or after it
  uint32_t outputAt;        ///< logical position where one starts (UINT32_MAX: none known)
  /// Logical position from which the OUTPUT search, standing there outside a literal, finds no
  /// match (UINT32_MAX: none known): where the last in-place rewrite's search started.
  uint32_t searchedFrom;
};

/// The quoted names ("a b") the call parser's search for a call opening read as whole tokens, as
/// logical [start, end) pairs in statement order, kept with the CallMemo of a parse that found no
/// opening. Only names without an inner quote whose characters no earlier token's read-ahead
/// reached are kept: writing blanks or '?' strictly inside one leaves every token of the search
/// as it was ("\"{call p(a OUTPUT)}\"" becomes "\"{call p(?       )}\"", still one name), so the
/// search would again find no opening. Storage is rawAlloc'ed and released with the context.
struct CallNameSpans {
  PosList items;          ///< start, end, start, end, ...
  bool complete = false;  ///< filled by the last parse, which found no opening (and had room)

  /// Empties the list, keeping its storage.
  void clear() { items.clear(); }
  /// Appends one name; false when the list cannot grow (the list is then unusable).
  [[nodiscard]] bool push(uint32_t start, uint32_t end) {
    return items.push(start) && items.push(end);
  }
  /// True when the logical range [from, to] lies strictly inside one kept name, quotes excluded.
  bool holds(uint32_t from, uint32_t to) const;
};

/// Per-call record every translator receives. Zeroed by the entry point; lives on its stack.
struct ConversionContext {
  int32_t callForm;           ///< 0, kCallFormReturn or kCallFormPlain
  int32_t rewriteOutputArgs;  ///< 1: OUTPUT arguments of a call become markers
  uint16_t parsedMarkerCount;
  uint16_t parsedValueCount;
  uint16_t markerCount;  ///< bind markers; what goes back to the caller
  uint16_t valueCount;
  uint16_t refCursorCount;
  uint16_t* rewrittenText;    ///< replacement statement (bcoObtain), owned by the context
  int32_t rewrittenCapacity;  ///< capacity of rewrittenText in characters, terminator included
  ServerLink* link;
  WorkBuffer* work;                ///< the statement being translated
  uint32_t reason;                 ///< reason code of the last bcoErrorHook call
  const uint16_t* callerText;      ///< the caller's statement: trace lines show addresses in it
  /// Where the translators' buffers come from (driver/scratch.h); freed by the entry point.
  ScratchPool scratch;
  /// Set only by the tests' and fuzzers' reference translation: the statement's steps executed
  /// the plainest way, to compare the real translation with. The working text is one flat block
  /// rewritten by moving the rest of it, every position is found again from the text after each
  /// rewrite, and nothing is cached, remembered or resumed. Every shortcut that keeps positions,
  /// lengths or findings across a rewrite is skipped while it is set.
  bool reference;
  /// The outer-join translator's last call found no clause (and failed in nothing); the
  /// dispatcher stamps it with the buffer's edits and generation after the call. A further "{oj"
  /// of the same text, unchanged since, is left alone: the translator would find nothing again.
  bool ojNoClause;
  uint32_t ojNoClauseEdits;
  uint32_t ojNoClauseGeneration;
  /// The outcome of the last call clause whose parse ran, kept for the next call clause of the
  /// same text (tracing off, not `reference`): see CallMemo.
  CallMemo callMemo;
  /// Stretches the clause scanner read and may skip when it reads them again (scanner/
  /// scan_jumps.h); rawAlloc'ed on first use, released by bcoReleaseScratch.
  ScanJumps* scanJumps;
  /// WorkBuffer::edits right after a translator changed its clause only in place and wrote no
  /// brace (a kept-name scalar function, {escape}): the clause search then knows that of the
  /// clause only its closing can still be a '}', without reading the clause again.
  uint32_t bracelessEdits;
  /// The quoted names of the call parse the callMemo repeats (tracing off, not `reference`).
  CallNameSpans callNames;
};

/// True when the caller asked for procedure description (any describe option is nonzero).
inline bool bcoDescribing(const ServerLink* link) {
  return link->describeOptions[0] != 0 || link->describeOptions[1] != 0 ||
         link->describeOptions[2] != 0;
}

/// The address a trace line shows for logical position pos of the statement: the same position
/// in the caller's buffer, which the translation stands for.
inline const void* bcoTraceAddress(const ConversionContext* ctx, size_t pos) {
  return ctx->callerText + pos;
}

/// One escape clause as the search finds it: positions in the working buffer.
/// Brace form: opening '{', body after it, keyword after white space, closing '}', end after it.
/// Long form: opening the first '-' of "--(*", keyword after the vendor prefix, closing the '*'
/// of "*)--", end after it.
struct ClausePositions {
  uint16_t* bodyStart;
  uint16_t* opening;
  uint16_t* keywordStart;
  uint16_t* closing;
  uint16_t* end;
};
