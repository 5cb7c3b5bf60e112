#pragma once

// The one definition of every id the program shares with its resource files: resources, strings,
// commands, dialog controls and lamp colours. resources.list, menus/*.menu and dialogs/*.dlg write the
// same numbers; ResourceIdsTest fails when they use one that is not here. Plain C++, so that every layer
// (the picture library and the tools included) may read it.

// Resources. Raw data, bitmaps, icons, menus and dialogs have separate number spaces: 130 is both the
// second frame and the tray menu, 135 and 144 both frames and bitmaps.
inline constexpr int kIdrMainFrame = 128;  // the program icon and the hidden main frame's placeholder menu
inline constexpr int kIdrTrayMenu = 130;   // the tray icon's popup menu; the icon carries the same id
inline constexpr int kIdrFirstFrame = 129; // raw-data frames kIdrFirstFrame .. + kFrameCount - 1
inline constexpr int kFrameCount = 100;
inline constexpr int kIdbSplash = 135; // splash and About picture, 196 x 160, 8 bits per pixel
inline constexpr int kIdbMask = 144;   // the lamp's outline, 70 x 180, 1 bit per pixel
// The outline with a soft edge, 70 x 180, 8 bits per pixel (grey levels: the opacity). It agrees with the
// mask: a pixel is at least half opaque iff the mask has it, and only pixels beside the mask's edge lie
// strictly between transparent and opaque.
inline constexpr int kIdbMatte = 150;
// The same pictures drawn for a scale factor of 2, each under its 1x id + kHiDpiOffset with the same type:
// frames 1129 .. 1228 (140 x 360), the splash and About picture 1135 (392 x 320, 8 bits per pixel, RLE8),
// the outline 1144 (140 x 360, 1 bit per pixel) and its matte 1150 (140 x 360, 8 bits per pixel). The 2x
// outline gives back the 1x one exactly: a 2 x 2 block is inside iff at least 2 of its 4 pixels are.
inline constexpr int kHiDpiOffset = 1000;
constexpr int HiDpiId(int id)
{
    return id + kHiDpiOffset;
}
inline constexpr int kIddAbout = 100;
inline constexpr int kIddLampWindow = 102;
inline constexpr int kIddConfigure = 108;
inline constexpr int kIddMailQuestion = 145;
inline constexpr int kIddSendMail = 146;

// Strings.
inline constexpr int kIdsLampTooltip = 61447;
inline constexpr int kIdsTrayTooltip = 61448;
// The mail sender's messages, English as the framework's own strings are.
inline constexpr int kIdsNoMailSupport = 61840;   // the mail program is missing
inline constexpr int kIdsMailDllInvalid = 61841;  // the mail program cannot be used
inline constexpr int kIdsSendMailFailed = 61842;  // the mail program failed
inline constexpr int kIdsMailNameLost = 61843;    // the program file's name cannot be handed over

// Commands of the menus and the lamp window.
inline constexpr int kCmdNone = 0; // the placeholder menu's item, which commands nothing
inline constexpr int kCmdWebPage = 106;
inline constexpr int kCmdAboutButton = 1003; // the lamp window's hidden About button
inline constexpr int kCmdSendToFriend = 1007;
inline constexpr int kCmdConfigure = 1008;
inline constexpr int kCmdRunOnStartup = 32776;
inline constexpr int kCmdAbout = 57664;
inline constexpr int kCmdExit = 57665;

// Controls of the dialog templates. A dialog's result is the id of the button that closed it.
inline constexpr int kIdcStatic = -1; // a control nobody asks for
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdcFirstLink = 1002;  // About: the maker's page
inline constexpr int kIdcSecondLink = 1003; // About: the product page
inline constexpr int kIdcPreview = 1006;    // Configure: where the live preview is drawn
inline constexpr int kIdcFirstColor = 1008; // Configure: the radio buttons, one per colour in colour order
inline constexpr int kIdcWebPageWay = 1009;    // Question: send through the publisher's page
inline constexpr int kIdcMailClientWay = 1010; // Question: send through the user's mail client
inline constexpr int kIdcDontAsk = 1011;       // Question: "Don't ask again"
inline constexpr int kIdcMailTo = 1012;        // Send mail: the recipients
inline constexpr int kIdcMailSubject = 1015;   // Send mail: the subject
inline constexpr int kIdcMailText = 1017;      // Send mail: the text

// The lamp's colour: seven tints of the one stored animation, and Random, which is always resolved to
// one of the seven before anything is drawn.
enum : int
{
    kLampBlue = 0, // the frames as stored
    kLampOrange = 1,
    kLampPink = 2,
    kLampViolet = 3,
    kLampGreen = 4,
    kLampTurquoise = 5,
    kLampMistyrose = 6,
    kLampRandom = 7,
};

// Configure's radio button for a colour (kLampBlue to kLampRandom).
constexpr int ColorRadioId(int color)
{
    return kIdcFirstColor + color;
}
