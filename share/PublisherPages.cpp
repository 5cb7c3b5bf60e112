#include "share/PublisherPages.h"

QString PublisherPageAddress(const QString& path)
{
    return QStringLiteral("http://") + QLatin1String(kPublisherHost) + path;
}

QString ProductPageAddress(int language)
{
    return PublisherPageAddress(language == 1 ? QStringLiteral("/de/zezoverida.html")
                                              : QStringLiteral("/en/zezoverida.html"));
}
