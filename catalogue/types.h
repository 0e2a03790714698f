// The names the windows use for the engine's error and value types. Code
// above the data engine interface (app/, views/) names these, never the
// storage engine's own, so the engine can change underneath without the
// windows following.
#pragma once

#include "jet/error.h"
#include "jet/value.h"

namespace dao {

// An engine failure: a number (3021, 3027, ...) and its description.
using Error = jet::Error;
// One field value (Null, numbers, text, dates, binary data, ...).
using Value = jet::Value;
// A value's type (DataType::Null, Text, Long, ...).
using DataType = jet::DataType;
// The named error numbers (err::kNoCurrentRecord, err::kBadPassword, ...).
namespace err = jet::err;

}  // namespace dao
