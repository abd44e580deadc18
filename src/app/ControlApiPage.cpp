// SPDX-License-Identifier: MIT
// The control API's page: HTML, style and script built into the program, served as they are.
#include "app/ControlApi.h"

#include <QFile>

namespace ostrella {

std::optional<ControlApi::Reply> ControlApi::webPage(const QString& path)
{
    struct Asset {
        const char* path;
        const char* resource;
        const char* type;
    };
    static constexpr Asset Assets[] = {
        { "/", ":/web/index.html", "text/html; charset=utf-8" },
        { "/page.css", ":/web/page.css", "text/css; charset=utf-8" },
        { "/page.js", ":/web/page.js", "text/javascript; charset=utf-8" },
    };
    for (const Asset& asset : Assets) {
        if (path != QLatin1String(asset.path))
            continue;
        QFile file(QString::fromLatin1(asset.resource));
        if (!file.open(QIODevice::ReadOnly))
            return Reply { QHttpServerResponder::StatusCode::InternalServerError,
                           api::errorJson("the page is missing from this build") };
        return Reply { QHttpServerResponder::StatusCode::Ok, file.readAll().toStdString(), nullptr,
                       asset.type };
    }
    return std::nullopt;
}

} // namespace ostrella
