// Error numbers of migrations, beside the engine's own (jet/error.h).
#pragma once

namespace migrate::err {
constexpr int kTargetFailed = 3146;   // the target database refused a statement or a value
constexpr int kTableExists = 3010;    // the target already holds a table of that name
constexpr int kBadTarget = 3170;      // the target cannot be opened or is not understood
constexpr int kValueRefused = 3759;   // a value the target type cannot hold
}  // namespace migrate::err
