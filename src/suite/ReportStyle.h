// SPDX-License-Identifier: MIT
// The report page's CSS: system fonts only, verdicts and finding levels in their colours.
#pragma once

#include <string_view>

namespace ostrella {

std::string_view reportStyle();

} // namespace ostrella
