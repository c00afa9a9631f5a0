#pragma once
// The extractor for an archive type: one place that knows which class extracts what, for
// kvarc's t and x and the extraction window.
#include <memory>

#include "archive/base/arc_types.h"
#include "archive/base/un_base.h"

namespace kv {

// A new extractor for the type, or nullptr when no extractor reads it.
std::unique_ptr<TUnBase> makeExtractor(TArcType type);

}  // namespace kv
