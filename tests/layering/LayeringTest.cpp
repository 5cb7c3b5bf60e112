// The folders' arrows run one way: app -> lamp -> share, i18n, picture -> platform. No folder includes
// one above it, and the picture library includes no Qt header. Inside platform/ each room is a folder of
// its own: core (no Qt) below everything, desktop and session below ui and x11. A new include that breaks
// this fails here.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::set<std::string> kAboveThePlatform = {"app", "lamp", "share", "i18n", "picture"};

std::set<std::string> Plus(std::set<std::string> a, const std::set<std::string>& b)
{
    a.insert(b.begin(), b.end());
    return a;
}

// For each folder, the folders it must not include.
const std::map<std::string, std::set<std::string>> kForbidden = {
    {"lamp", {"app"}},
    {"share", {"app", "lamp"}},
    {"i18n", {"app", "lamp"}},
    {"picture", {"app", "lamp", "platform/desktop", "platform/ui", "platform/session", "platform/x11"}},
    {"platform/core", Plus(kAboveThePlatform, {"platform/metafile", "platform/desktop", "platform/ui",
                                               "platform/session", "platform/x11"})},
    {"platform/metafile",
     Plus(kAboveThePlatform, {"platform/desktop", "platform/ui", "platform/session", "platform/x11"})},
    {"platform/desktop", Plus(kAboveThePlatform, {"platform/metafile", "platform/ui", "platform/session",
                                                  "platform/x11"})},
    {"platform/session", Plus(kAboveThePlatform, {"platform/metafile", "platform/ui", "platform/x11"})},
    {"platform/ui", Plus(kAboveThePlatform, {"platform/metafile", "platform/session", "platform/x11"})},
    {"platform/x11", Plus(kAboveThePlatform, {"platform/metafile", "platform/session"})},
};
const std::set<std::string> kQtFree = {"picture", "platform/core"};

// Qt's headers: <QString>, <QtCore/QString>, <QtGui>, and the lower-case <qglobal.h> family.
bool IsQtHeader(const std::string& name)
{
    static const std::regex qt(R"((Qt[A-Za-z]*(/.*)?|Q[A-Z][A-Za-z]*|q[a-z0-9_]*\.h))");
    return std::regex_match(name, qt);
}

// The folder a path from the top of the tree lies in: its top folder, or platform/ROOM inside platform/.
std::string FolderOf(const fs::path& path)
{
    auto part = path.begin();
    if (part == path.end())
        return std::string();
    const std::string top = part->string();
    if (top != "platform" || ++part == path.end() || std::next(part) == path.end())
        return top;
    return top + "/" + part->string();
}

// The folder of the tree an include names: a quoted include is looked for beside the including file
// first (and may climb out of it with ..), then from the top of the tree, as the compiler does.
std::string IncludedFolder(const fs::path& root, const fs::path& file, const std::string& name, bool quoted)
{
    fs::path target = fs::path(name).lexically_normal();
    if (quoted && (fs::exists(file.parent_path() / name) || name.starts_with("..")))
        target = fs::relative(fs::weakly_canonical(file.parent_path() / name), fs::weakly_canonical(root));
    return FolderOf(target);
}

// Every forbidden include under root, as "file:line: includes name".
std::vector<std::string> LayeringViolations(const fs::path& root)
{
    static const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::vector<std::string> violations;
    for (const std::string top : {"app", "lamp", "share", "i18n", "picture", "platform"}) {
        if (!fs::is_directory(root / top))
            continue;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root / top)) {
            const std::string extension = entry.path().extension().string();
            if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp"))
                continue;
            const std::string folder = FolderOf(fs::relative(entry.path(), root));
            if (folder == "platform") {
                violations.push_back(fs::relative(entry.path(), root).string() + ": lies in no room of platform/");
                continue;
            }
            const auto forbidden = kForbidden.find(folder);
            std::ifstream in(entry.path());
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                std::smatch match;
                if (!std::regex_search(line, match, include))
                    continue;
                const std::string name = match[2];
                const bool quoted = match[1] == "\"";
                const std::string to = IncludedFolder(root, entry.path(), name, quoted);
                const bool wrongWay = forbidden != kForbidden.end() && forbidden->second.count(to) > 0;
                const bool qt = kQtFree.count(folder) > 0 && !quoted && IsQtHeader(name);
                if (wrongWay || qt) {
                    violations.push_back(fs::relative(entry.path(), root).string() + ":" +
                                         std::to_string(number) + ": includes " + name);
                }
            }
        }
    }
    return violations;
}

TEST(Layering, SourceFoldersIncludeOnlyDownwards)
{
    const std::vector<std::string> violations = LayeringViolations(NIMO_SOURCE_DIR);
    std::string list;
    for (const std::string& v : violations)
        list += v + "\n";
    EXPECT_TRUE(violations.empty()) << list;
}

// A tree of its own with one file per case: each forbidden include is found, each allowed one is not.
TEST(Layering, ForbiddenIncludesAreFound)
{
    const fs::path root = fs::path(testing::TempDir()) / ("nimo-layering-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const struct
    {
        const char* file;
        const char* line;
        bool violation;
    } cases[] = {
        {"lamp/a.cpp", "#include \"app/CLampApp.h\"", true},
        {"lamp/b.cpp", "  #  include <app/CMainFrame.h>", true},
        {"lamp/c.cpp", "#include \"../app/CAutostart.h\"", true},
        {"lamp/d.cpp", "#include \"share/CHyperLink.h\"", false},
        {"lamp/e.cpp", "// #include \"app/CLampApp.h\"", false},
        {"share/a.cpp", "#include \"lamp/CNimoDlg.h\"", true},
        {"share/b.cpp", "#include \"app/CAboutBox.h\"", true},
        {"i18n/a.cpp", "#include \"lamp/CLampMenu.h\"", true},
        {"platform/core/a.cpp", "#include \"app/CAutostart.h\"", true},
        {"platform/core/b.cpp", "#include \"resources/ResourceIds.h\"", false},
        {"platform/core/c.cpp", "#include <QString>", true},
        {"platform/core/d.cpp", "#include \"platform/desktop/XdgDirs.h\"", true},
        {"platform/core/e.cpp", "#include \"PictureLimits.h\"", false},
        {"platform/desktop/a.cpp", "#include \"platform/ui/OwnedWindows.h\"", true},
        {"platform/desktop/b.cpp", "#include \"platform/x11/XEmbedTray.h\"", true},
        {"platform/desktop/c.cpp", "#include \"platform/core/CResourceModule.h\"", false},
        {"platform/desktop/d.cpp", "#include <QString>", false},
        {"platform/desktop/e.cpp", "#include \"../ui/TextLimit.h\"", true},
        {"platform/session/a.cpp", "#include \"platform/x11/XConnection.h\"", true},
        {"platform/session/b.cpp", "#include \"platform/ui/CMenuResource.h\"", true},
        {"platform/session/c.cpp", "#include \"platform/desktop/XdgDirs.h\"", false},
        {"platform/metafile/a.cpp", "#include \"picture/CPLBmpDecoder.h\"", true},
        {"platform/metafile/b.cpp", "#include \"platform/core/LittleEndian.h\"", false},
        {"platform/ui/a.cpp", "#include \"share/CHyperLink.h\"", true},
        {"platform/ui/b.cpp", "#include \"platform/desktop/QuotedText.h\"", false},
        {"platform/x11/a.cpp", "#include \"platform/ui/CQtDrawTarget.h\"", false},
        {"platform/x11/b.cpp", "#include \"lamp/CNimoDlg.h\"", true},
        {"platform/stray.cpp", "#include <cstdint>", true},
        {"picture/a.cpp", "#include \"lamp/CFramePlayer.h\"", true},
        {"picture/b.cpp", "#include <QString>", true},
        {"picture/c.cpp", "#include <QtCore/QByteArray>", true},
        {"picture/d.cpp", "#include <qglobal.h>", true},
        {"picture/e.cpp", "#include <cstdint>", false},
        {"picture/f.h", "#include <jpeglib.h>", false},
        {"picture/g.cpp", "#include \"platform/core/CDrawTarget.h\"", false},
        {"picture/h.cpp", "#include \"platform/desktop/CSettingsStore.h\"", true},
        {"app/a.cpp", "#include \"lamp/CNimoDlg.h\"", false},
        {"tools/a.cpp", "#include \"app/CLampApp.h\"", false},
    };
    for (const auto& c : cases) {
        fs::create_directories((root / c.file).parent_path());
        std::ofstream(root / c.file) << "// a file\n" << c.line << "\n";
    }
    // A file named as the include is, beside the includer, is that file and not the folder it names.
    fs::create_directories(root / "lamp/app");
    std::ofstream(root / "lamp/app/Local.h") << "\n";
    std::ofstream(root / "lamp/f.cpp") << "#include \"app/Local.h\"\n";

    const std::vector<std::string> found = LayeringViolations(root);
    for (const auto& c : cases) {
        const std::string expected = std::string(c.file) + ":";
        const bool reported = std::any_of(found.begin(), found.end(),
                                          [&](const std::string& v) { return v.starts_with(expected); });
        EXPECT_EQ(reported, c.violation) << c.file << ": " << c.line;
    }
    EXPECT_EQ(std::count_if(found.begin(), found.end(),
                            [](const std::string& v) { return v.starts_with("lamp/f"); }),
              0);
    fs::remove_all(root);
}

} // namespace
