#include "share/PublisherPages.h"

namespace {

// The page's path in the German ("de") or the English ("en") folder.
QString PageInLanguage(int language, const char* page)
{
    return PublisherPageAddress((language == 1 ? QStringLiteral("/de/") : QStringLiteral("/en/")) +
                                QLatin1String(page));
}

} // namespace

QString PublisherPageAddress(const QString& path)
{
    return QStringLiteral("http://") + QLatin1String(kPublisherHost) + path;
}

QString ProductPageAddress(int language)
{
    return PageInLanguage(language, "zezoverida.html");
}

QString DownloadPageAddress(int language)
{
    return PageInLanguage(language, "wexodownload.html");
}

QString SendToFriendPageAddress(int language)
{
    return PageInLanguage(language, "wexofriendnimomate.html");
}
