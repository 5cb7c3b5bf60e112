#include "app/CLampApp.h"

#include <cstdlib>

int main(int argc, char** argv)
{
    // Placing and stacking the lamp are X11 features: under Wayland the program runs on XWayland unless
    // the user chose a platform.
    if (std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    CLampApp app(argc, argv);
    if (!app.InitInstance())
        return 1;
    return app.exec();
}
