// The resource files and the code share their numbers through resources/ResourceIds.h: every id that
// resources.list, a menu or a dialog template uses must be one the header defines, and of the right kind
// (a menu item's id a command, a dialog's control ids controls, a bitmap's id a bitmap).
#include "resources/ResourceIds.h"

#include "platform/ui/CDialogTemplate.h"
#include "platform/ui/CMenuResource.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

enum class EKind
{
    Icon,
    Menu,
    Bitmap,
    Dialog,
    String,
    Frame,
    Command,
    Control,
};

struct SId
{
    EKind kind;
    int id;
};

// The header's ids by kind. An id added to the header but not here makes the files that use it fail
// below: the table can only refuse too much, never pass a number the header lacks.
const SId kHeaderIds[] = {
    {EKind::Icon, kIdrMainFrame},      {EKind::Menu, kIdrMainFrame},
    {EKind::Menu, kIdrTrayMenu},       {EKind::Bitmap, kIdbSplash},
    {EKind::Bitmap, kIdbMask},         {EKind::Dialog, kIddAbout},
    {EKind::Dialog, kIddLampWindow},   {EKind::Dialog, kIddConfigure},
    {EKind::Dialog, kIddMailQuestion}, {EKind::Dialog, kIddSendMail},
    {EKind::String, kIdsLampTooltip},  {EKind::String, kIdsTrayTooltip},
    {EKind::Command, kCmdNone},        {EKind::Command, kCmdWebPage},
    {EKind::Command, kCmdAboutButton}, {EKind::Command, kCmdSendToFriend},
    {EKind::Command, kCmdConfigure},   {EKind::Command, kCmdRunOnStartup},
    {EKind::Command, kCmdAbout},       {EKind::Command, kCmdExit},
    {EKind::Control, kIdcStatic},      {EKind::Control, kIdOk},
    {EKind::Control, kIdCancel},       {EKind::Control, kIdcFirstLink},
    {EKind::Control, kIdcSecondLink},  {EKind::Control, kIdcPreview},
    {EKind::String, kIdsNoMailSupport}, {EKind::String, kIdsMailDllInvalid},
    {EKind::String, kIdsSendMailFailed}, {EKind::String, kIdsMailNameLost},
    {EKind::Control, kIdcWebPageWay},   {EKind::Control, kIdcMailClientWay}, {EKind::Control, kIdcDontAsk},
    {EKind::Control, kIdcMailTo},       {EKind::Control, kIdcMailSubject},
    {EKind::Control, kIdcMailText},
    {EKind::Bitmap, HiDpiId(kIdbSplash)}, {EKind::Bitmap, HiDpiId(kIdbMask)},
    {EKind::Bitmap, kIdbMatte},           {EKind::Bitmap, HiDpiId(kIdbMatte)},
};

bool IsDefined(EKind kind, int id)
{
    if (kind == EKind::Frame) {
        const int first[] = {kIdrFirstFrame, HiDpiId(kIdrFirstFrame)};
        return std::any_of(std::begin(first), std::end(first),
                           [id](int from) { return id >= from && id < from + kFrameCount; });
    }
    if (kind == EKind::Control && id >= ColorRadioId(kLampBlue) && id <= ColorRadioId(kLampRandom))
        return true;
    for (const SId& known : kHeaderIds) {
        if (known.kind == kind && known.id == id)
            return true;
    }
    return false;
}

const fs::path kResources = fs::path(NIMO_SOURCE_DIR) / "resources";

QByteArray ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return QByteArray::fromStdString(text.str());
}

// The ids of a menu text that are no command of the header, or the parser's complaint.
std::vector<std::string> UnknownMenuIds(const QByteArray& text)
{
    std::vector<SMenuItem> items;
    QString error;
    if (!CMenuResource::Parse(text, items, &error))
        return {"unreadable: " + error.toStdString()};
    std::vector<std::string> unknown;
    const auto walk = [&](const auto& self, const std::vector<SMenuItem>& level) -> void {
        for (const SMenuItem& item : level) {
            if (item.kind == SMenuItem::EKind::Popup)
                self(self, item.items);
            else if (item.kind == SMenuItem::EKind::Command && !IsDefined(EKind::Command, item.id))
                unknown.push_back("command " + std::to_string(item.id));
        }
    };
    walk(walk, items);
    return unknown;
}

// The control ids of a dialog template that are no control of the header, or the parser's complaint.
std::vector<std::string> UnknownDialogIds(const QByteArray& text)
{
    QString error;
    const std::optional<SDialogTemplate> parsed = CDialogTemplate::Parse(text, &error);
    if (!parsed)
        return {"unreadable: " + error.toStdString()};
    std::vector<std::string> unknown;
    for (const SDialogControl& control : parsed->controls) {
        if (!IsDefined(EKind::Control, control.id))
            unknown.push_back("control " + std::to_string(control.id));
    }
    return unknown;
}

struct SListEntry
{
    std::string type;
    int id = 0;
    std::string value; // file or text
};

// resources.list's lines as the build reads them: "TYPE ID FILE" or "STRING ID text"; '#' comments.
std::vector<SListEntry> ParseResourceList(const std::string& text)
{
    std::vector<SListEntry> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        SListEntry entry;
        if (!(fields >> entry.type) || entry.type[0] == '#')
            continue;
        if (!(fields >> entry.id))
            entry.id = -1;
        std::getline(fields >> std::ws, entry.value);
        entries.push_back(entry);
    }
    return entries;
}

// The entries of a resource list whose type is unknown or whose id the header lacks for that type.
std::vector<std::string> UnknownListIds(const std::vector<SListEntry>& entries)
{
    const std::pair<const char*, EKind> kinds[] = {
        {"ICON", EKind::Icon},     {"MENU", EKind::Menu},     {"BITMAP", EKind::Bitmap},
        {"DIALOG", EKind::Dialog}, {"STRING", EKind::String}, {"RCDATA", EKind::Frame},
    };
    std::vector<std::string> unknown;
    for (const SListEntry& entry : entries) {
        const auto* kind = std::find_if(std::begin(kinds), std::end(kinds),
                                        [&](const auto& k) { return entry.type == k.first; });
        if (kind == std::end(kinds) || !IsDefined(kind->second, entry.id))
            unknown.push_back(entry.type + " " + std::to_string(entry.id));
    }
    return unknown;
}

std::vector<SListEntry> ProgramResourceList()
{
    return ParseResourceList(ReadAll(kResources / "resources.list").toStdString());
}

TEST(ResourceIds, ResourceListUsesOnlyTheHeadersIds)
{
    const std::vector<SListEntry> entries = ProgramResourceList();
    ASSERT_GT(entries.size(), std::size_t(kFrameCount));
    EXPECT_EQ(UnknownListIds(entries), std::vector<std::string>{});
    // Every frame the lamp plays is listed once, at both scales.
    for (int id = kIdrFirstFrame; id < kIdrFirstFrame + kFrameCount; ++id) {
        for (const int listed : {id, HiDpiId(id)}) {
            EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                                    [&](const SListEntry& e) { return e.type == "RCDATA" && e.id == listed; }),
                      1)
                << "frame " << listed;
        }
    }
}

// Every menu and dialog file is listed under the id its name carries, and uses only the header's ids.
TEST(ResourceIds, MenusAndDialogTemplatesUseOnlyTheHeadersIds)
{
    const std::vector<SListEntry> entries = ProgramResourceList();
    const struct
    {
        const char* folder;
        const char* type;
        std::vector<std::string> (*unknownIds)(const QByteArray&);
    } folders[] = {{"menus", "MENU", UnknownMenuIds}, {"dialogs", "DIALOG", UnknownDialogIds}};
    for (const auto& folder : folders) {
        int files = 0;
        for (const fs::directory_entry& file : fs::directory_iterator(kResources / folder.folder)) {
            ++files;
            const std::string relative = std::string(folder.folder) + "/" + file.path().filename().string();
            const auto listed = std::find_if(entries.begin(), entries.end(), [&](const SListEntry& e) {
                return e.type == folder.type && e.value == relative;
            });
            ASSERT_NE(listed, entries.end()) << relative << " is not in resources.list";
            EXPECT_NE(relative.find(std::to_string(listed->id)), std::string::npos)
                << relative << " is listed as " << listed->id;
            EXPECT_EQ(folder.unknownIds(ReadAll(file.path())), std::vector<std::string>{}) << relative;
        }
        EXPECT_GT(files, 0) << folder.folder;
    }
}

// The checks above find what they are meant to find.
TEST(ResourceIds, NumbersTheHeaderLacksAreFound)
{
    EXPECT_EQ(UnknownMenuIds("POPUP \"P\"\n  ITEM 57665 \"E\"\n  ITEM 4242 \"X\"\n  SEPARATOR\nEND\n"),
              std::vector<std::string>{"command 4242"});
    // A control id is no command, and a command no control.
    EXPECT_EQ(UnknownMenuIds("ITEM 1002 \"Link\"\n"), std::vector<std::string>{"command 1002"});
    EXPECT_EQ(UnknownMenuIds("ITEM oops\n").size(), 1u);
    const char* dialog = "DIALOG 0 0 10 10\n"
                         "CONTROL 1 Button \"OK\" 0 0 5 5\n"
                         "CONTROL %d Button \"R\" 0 0 5 5\n";
    const struct
    {
        int id;
        bool known;
    } controls[] = {
        {ColorRadioId(kLampBlue), true},
        {ColorRadioId(kLampRandom), true},
        {ColorRadioId(kLampRandom) + 1, false},
        {kIdcFirstColor - 1, false},
        {kCmdExit, false},
        {kIdcPreview, true},
    };
    for (const auto& c : controls) {
        const QByteArray text = QByteArray(dialog).replace("%d", QByteArray::number(c.id));
        EXPECT_EQ(UnknownDialogIds(text).empty(), c.known) << c.id;
    }
    const std::vector<SListEntry> list = ParseResourceList("# comment\n"
                                                           "BITMAP 135 splash.bmp\n"
                                                           "BITMAP 130 other.bmp\n"
                                                           "RCDATA 228 frames/last.jpg\n"
                                                           "RCDATA 229 frames/one-too-many.jpg\n"
                                                           "STRING 61448 text with blanks\n"
                                                           "FONT 3 x.ttf\n"
                                                           "RCDATA 1129 frames@2x/first.jpg\n"
                                                           "RCDATA 1228 frames@2x/last.jpg\n"
                                                           "RCDATA 1128 frames@2x/one-too-few.jpg\n"
                                                           "RCDATA 1229 frames@2x/one-too-many.jpg\n"
                                                           "BITMAP 1144 mask@2x.bmp\n"
                                                           "BITMAP 1145 other@2x.bmp\n");
    ASSERT_EQ(list.size(), 12u);
    EXPECT_EQ(list[4].value, "text with blanks");
    EXPECT_EQ(UnknownListIds(list), (std::vector<std::string>{"BITMAP 130", "RCDATA 229", "FONT 3", "RCDATA 1128",
                                                              "RCDATA 1229", "BITMAP 1145"}));
}

} // namespace
