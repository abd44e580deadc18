// SPDX-License-Identifier: MIT
// The rotating banner of the main window: a new text every engine tick once a second has passed.
#pragma once

#include "ports/Ports.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace ostrella {

class Banner {
public:
    static constexpr std::int64_t HoldMs = 1000;

    Banner(const Clock& clock, Labels& labels);

    // The five texts, 0 to 4: name, owner, release, maker's legal name, rights.
    void LoadBanner();
    // One step per engine tick: when more than a second has passed since the last change (or
    // there was none), shows the next text. The first change shows text 1.
    void ShowNextBanner();

    const std::array<std::string, 5>& texts() const { return gBannerText_; }
    int index() const { return gBannerIndex_; }

    // The label's caption before the first tick.
    static const char* designCaption();

private:
    const Clock& clock_;
    Labels& labels_;
    std::array<std::string, 5> gBannerText_ {};
    int gBannerIndex_ = 0;
    std::optional<std::int64_t> gBannerLastChange_;
};

} // namespace ostrella
