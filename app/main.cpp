#include "app/CLampApp.h"
#include "app/CommandLine.h"
#include "platform/desktop/ProgramPath.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    // Help and version are answered before Qt or the settings are touched, so they work without a display
    // and leave no trace.
    if (const EInfoRequest request = FindInfoRequest(argc, argv); request != EInfoRequest::None)
        return AnswerInfoRequest(request, stdout);
    // Read before anything else: an upgrade may replace the program file while it runs.
    GetProgramPath();
    // Placing and stacking the lamp are X11 features: under Wayland the program runs on XWayland unless
    // the user chose a platform. The choice goes in as an argument, not into the environment, so that
    // the programs the lamp starts (browser, mail client) get the environment it was started with.
    std::vector<char*> arguments(argv, argv + argc);
    static char platformSwitch[] = "-platform";
    static char xcb[] = "xcb";
    if (argc >= 1 && std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        arguments.insert(arguments.begin() + 1, {platformSwitch, xcb});
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    CLampApp app(count, arguments.data());
    if (!app.InitInstance())
        return 0;
    return app.exec();
}
