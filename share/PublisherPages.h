#pragma once

#include <QString>

// The publisher's web host; every page address of the program is built on it.
inline constexpr char kPublisherHost[] = "www.kestrelward.example";
// The publisher's contact address: the originator's name of a mail sent to a friend.
inline constexpr char kPublisherContact[] = "nimo@kestrelward.example";

// "http://" + the publisher's host + path (path begins with "/").
QString PublisherPageAddress(const QString& path);
// The product page in German for language 1 (German), in English otherwise; likewise the two below.
QString ProductPageAddress(int language);
QString DownloadPageAddress(int language);
QString SendToFriendPageAddress(int language);
