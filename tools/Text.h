// The text conversions of the `tervano` command: those of the sync host (host/Text.h).
#pragma once

#include "host/Text.h"

namespace tools {
using host::Cp1252ToUtf8;
using host::FirstLine;
using host::JsonString;
using host::ToCrLf;
using host::ToLf;
using host::Utf8ToCp1252;
}  // namespace tools
