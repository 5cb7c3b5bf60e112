#pragma once

#include <QString>

// The publisher's web host; every page address of the program is built on it.
inline constexpr char kPublisherHost[] = "www.kestrelward.example";

// "http://" + the publisher's host + path (path begins with "/").
QString PublisherPageAddress(const QString& path);
// The product page in German for language 1 (German), in English otherwise.
QString ProductPageAddress(int language);
