#include "app/CLampApp.h"
#include "app/CommandLine.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    // Help and version are answered before Qt or the settings are touched, so they work without a display
    // and leave no trace.
    if (const EInfoRequest request = FindInfoRequest(argc, argv); request != EInfoRequest::None)
        return AnswerInfoRequest(request, stdout);
    // Placing and stacking the lamp are X11 features: under Wayland the program runs on XWayland unless
    // the user chose a platform.
    if (std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    CLampApp app(argc, argv);
    if (!app.InitInstance())
        return 1;
    return app.exec();
}
