// The list protocol and the text protocol (error and info texts), in one place each.
#pragma once

#include "app/backend/brevantix.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// One call of a list export with the key (if any) already bound:
// (buffer, capacity, slotSize) -> count.
using ListCall = std::function<uint32_t(char* buffer, uint32_t capacity, uint32_t slotSize)>;

// Upper bound on the number of slots asked for, whatever count a back end
// claims; keeps a lying count from asking for gigabytes.
constexpr uint32_t kMaxListItems = 1u << 18;

// Runs the count call; nullopt when it gives 0 (the caller then keeps what it
// shows). Otherwise runs the fill call and gives the texts of the first
// min(written, count) slots, each read within its slot even without a NUL.
std::optional<std::vector<std::string>> FetchList(const ListCall& call);

// One call of a text export with the name already bound: (buffer, size) ->
// length. GetStartEmulatorErrInfo and GetEmulatorInfo give texts this way.
using TextCall = std::function<uint32_t(char* buffer, uint32_t size)>;

// Upper bound on a text's length, whatever length a back end claims.
constexpr uint32_t kMaxTextLength = 1u << 20;

// (null, 0) for the length n, then a buffer of n + 1 bytes; the text up to
// its first NUL. Empty when n is 0. A claimed n above kMaxTextLength is
// cut to it.
std::string FetchText(const TextCall& call);

// The texts of GetStartEmulatorErrInfo and GetEmulatorInfo for `name`.
std::string FetchStartErrorText(const char* name);
std::string FetchEmulatorInfoText(const char* name);
