#include "platform/desktop/CRegistryKey.h"
#include "platform/desktop/DesktopEntry.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

// Values that break naive quoting: every reserved character, escapes of both layers, field-code look-alikes.
const QStringList kHostile = {
    "/usr/bin/nimo",
    "/opt/my lamp/nimo",
    "",
    " ",
    "tab\there",
    "new\nline",
    "cr\rhere",
    "\"quoted\"",
    "it's",
    "back\\slash",
    "\\",
    "ends with \\",
    "$HOME",
    "$(rm -rf /)",
    "`id`",
    "100%",
    "%u",
    "%%",
    "--url=%u",
    "a;b|c&d<e>f~g*h?i#j(k)l",
    QString::fromUtf8("/home/jürgen/ランプ/nimo"),
    QString::fromUtf8("emoji \xF0\x9F\x92\xA1"),
    QFile::decodeName("/tmp/\xff\xfe-latin1-\xe9/nimo"),
};

TEST(DesktopEntry, ExecRoundTripOverHostileValues)
{
    for (const QString& value : kHostile) {
        // One argument alone, and among others: quoting must keep the boundaries.
        for (const QStringList& arguments : {QStringList{value}, QStringList{"prog", value, "--last"}}) {
            const QString exec = DesktopEntry::JoinExec(arguments);
            // Through the file's value escapes and back, as a reader of the file sees it.
            const QString stored = DesktopEntry::UnescapeValue(DesktopEntry::EscapeValue(exec));
            EXPECT_EQ(stored, exec) << value.toStdString();
            EXPECT_FALSE(DesktopEntry::EscapeValue(exec).contains('\n')) << value.toStdString();
            bool placed = true;
            const std::optional<QStringList> run = DesktopEntry::ExpandExec(stored, {}, &placed);
            if (arguments.front().isEmpty()) {
                EXPECT_FALSE(run.has_value()) << "an empty program is no command";
                continue;
            }
            ASSERT_TRUE(run.has_value()) << exec.toStdString();
            EXPECT_EQ(*run, arguments) << exec.toStdString();
            EXPECT_FALSE(placed) << "quoted field codes are no field codes: " << exec.toStdString();
        }
    }
}

TEST(DesktopEntry, AutostartEntryStartsExactlyTheProgramPath)
{
    for (const QString& path : kHostile) {
        if (path.isEmpty())
            continue;
        const QByteArray bytes = CRegistryKey::DesktopEntry("Nimo", path);
        EXPECT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes) << "the file is valid UTF-8";
        const QList<QByteArray> lines = bytes.split('\n');
        QString exec;
        for (const QByteArray& line : lines) {
            if (line.startsWith("Exec="))
                exec = DesktopEntry::UnescapeValue(QString::fromUtf8(line.mid(5)));
        }
        const std::optional<QStringList> run = DesktopEntry::ExpandExec(exec, {});
        ASSERT_TRUE(run.has_value()) << path.toStdString();
        EXPECT_EQ(*run, QStringList{path});
    }
}

TEST(DesktopEntry, QuotesOnlyWhatNeedsQuoting)
{
    const std::pair<QString, QString> cases[] = {
        {"/usr/bin/nimo", "/usr/bin/nimo"},
        {"/opt/my lamp/nimo", "\"/opt/my lamp/nimo\""},
        {"", "\"\""},
        {"a\"b", "\"a\\\"b\""},
        {"a$b", "\"a\\$b\""},
        {"a`b", "\"a\\`b\""},
        {"a\\b", "\"a\\\\b\""},
        {"it's", "\"it's\""},
        {"50%", "50%%"},
        {"50% off", "\"50%% off\""},
        {QString::fromUtf8("/ü/nimo"), QString::fromUtf8("/ü/nimo")},
    };
    for (const auto& [argument, quoted] : cases)
        EXPECT_EQ(DesktopEntry::QuoteArgument(argument), quoted) << argument.toStdString();
}

TEST(DesktopEntry, SplitsByTheQuotingRules)
{
    const std::pair<const char*, QStringList> cases[] = {
        {"a b", {"a", "b"}},
        {"  a\t\tb\n c ", {"a", "b", "c"}},
        {"\"a b\"c d", {"a bc", "d"}},
        {"\"\\\"\\`\\$\\\\\"", {"\"`$\\"}},
        {"\"\\n\"", {"\\n"}},
        {"a\\ b", {"a\\", "b"}},
        {"\"\"", {""}},
        {"\"open", {}},
        {"\"ends in backslash\\\"", {}},
        {"", {}},
        {"   ", {}},
    };
    for (const auto& [exec, expected] : cases) {
        const std::optional<QStringList> split = DesktopEntry::SplitExec(QString::fromUtf8(exec));
        if (expected.isEmpty()) {
            EXPECT_FALSE(split.has_value()) << exec;
            continue;
        }
        ASSERT_TRUE(split.has_value()) << exec;
        EXPECT_EQ(*split, expected) << exec;
    }
}

TEST(DesktopEntry, FieldCodesExpandInPlace)
{
    DesktopEntry::SFieldValues values;
    values.urls = {"u1", "u2"};
    values.name = "Name";
    values.icon = "icon";
    values.path = "/p.desktop";
    const struct
    {
        const char* exec;
        QStringList expected;
        bool placed;
    } cases[] = {
        {"p %u", {"p", "u1"}, true},
        {"p %U", {"p", "u1", "u2"}, true},
        {"p --url=%u --then", {"p", "--url=u1", "--then"}, true},
        {"p %F %u", {"p", "u1", "u2"}, true},
        {"p %c %k", {"p", "Name", "/p.desktop"}, false},
        {"p %i", {"p", "--icon", "icon"}, false},
        {"p %d %D %n %N %v %m x%dy", {"p", "xy"}, false},
        {"p 100%%", {"p", "100%"}, false},
        {"p %", {"p", "%"}, false},
    };
    for (const auto& c : cases) {
        bool placed = !c.placed;
        const std::optional<QStringList> run = DesktopEntry::ExpandExec(c.exec, values, &placed);
        ASSERT_TRUE(run.has_value()) << c.exec;
        EXPECT_EQ(*run, c.expected) << c.exec;
        EXPECT_EQ(placed, c.placed) << c.exec;
    }
    EXPECT_FALSE(DesktopEntry::ExpandExec("%i", {}).has_value());
    EXPECT_FALSE(DesktopEntry::ExpandExec("%u x", {}).has_value());
}

} // namespace
