#include "shared/curlsupport.h"

#include <curl/curl.h>

#include <mutex>

namespace mw::curl {

void initialise()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

int replyCode(const QString& line)
{
    bool ok = false;
    const int code = line.left(3).toInt(&ok);
    return ok ? code : 0;
}

QString urlHost(const QString& host)
{
    const QString h = host.trimmed();
    if (h.contains(QLatin1Char(':')) && !h.startsWith(QLatin1Char('[')))
        return QLatin1Char('[') + h + QLatin1Char(']');
    return h;
}

} // namespace mw::curl
