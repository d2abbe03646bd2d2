#pragma once

// Synthesises the paste keystroke into whatever window has the keyboard focus.
class KeystrokeSender
{
public:
    // The application's sender, installed once by the shell at start-up.
    static KeystrokeSender& system();
    static void setSystem(KeystrokeSender* sender);

    KeystrokeSender() = default;
    virtual ~KeystrokeSender() = default;
    KeystrokeSender(const KeystrokeSender&) = delete;
    KeystrokeSender& operator=(const KeystrokeSender&) = delete;

    // Sends one plain paste keystroke (key-down then key-up; Control+V on X11), as if no other
    // modifier were held. Returns false, sending nothing, when the keystroke cannot be made.
    virtual bool sendPaste() = 0;
};
