// SPDX-License-Identifier: MIT
#include "sim/Banner.h"

namespace ostrella {

Banner::Banner(const Clock& clock, Labels& labels)
    : clock_(clock)
    , labels_(labels)
{
}

const char* Banner::designCaption()
{
    return "Brelk Limited";
}

void Banner::LoadBanner()
{
    gBannerText_ = {
        "Ostrella",
        "Owned and maintained by Brelk",
        "Released March 2014",
        designCaption(),
        "Copyright (C) 2014-2026 Brelk Limited. All rights reserved.",
    };
}

void Banner::ShowNextBanner()
{
    const std::int64_t now = clock_.nowMs();
    if (gBannerLastChange_ && !(*gBannerLastChange_ + HoldMs < now))
        return;
    gBannerIndex_ = (gBannerIndex_ + 1) % static_cast<int>(gBannerText_.size());
    labels_.setBanner(gBannerText_[static_cast<std::size_t>(gBannerIndex_)]);
    gBannerLastChange_ = now;
}

} // namespace ostrella
