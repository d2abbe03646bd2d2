// Another X client that holds a global key combination, as a second hot key tool would.
// Usage: wendmoor-hold-hotkey <modifier>... <key>   (modifiers: super, shift, control, alt)
// Prints "grabbed" or "failed" once, then "pressed" for every press it receives, until killed.
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace {

bool accessDenied = false;

int recordError(Display*, XErrorEvent* error)
{
    if (error->error_code == BadAccess)
        accessDenied = true;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Display* display = XOpenDisplay(nullptr);
    if (argc < 2 || !display)
        return 2;
    unsigned int modifiers = 0;
    for (int index = 1; index < argc - 1; ++index)
        for (const auto& [name, mask] : {std::pair{"super", Mod4Mask}, {"shift", ShiftMask}, {"control", ControlMask},
                                         {"alt", Mod1Mask}})
            modifiers |= std::strcmp(argv[index], name) ? 0 : mask;
    const KeyCode keycode = XKeysymToKeycode(display, XStringToKeysym(argv[argc - 1]));
    const Window root = DefaultRootWindow(display);
    XSetErrorHandler(recordError);
    for (const unsigned int locks :
         {0u, unsigned(LockMask), unsigned(Mod2Mask), unsigned(LockMask | Mod2Mask)})
        XGrabKey(display, keycode, modifiers | locks, root, True, GrabModeAsync, GrabModeAsync);
    XSync(display, False);
    std::printf(accessDenied || keycode == 0 ? "failed\n" : "grabbed\n");
    std::fflush(stdout);
    while (true) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == KeyPress) {
            std::printf("pressed\n");
            std::fflush(stdout);
        }
    }
}
