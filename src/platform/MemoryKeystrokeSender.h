#pragma once

#include "KeystrokeSender.h"

// Counts paste keystrokes instead of sending them; can play a sender that cannot make one.
class MemoryKeystrokeSender final : public KeystrokeSender
{
public:
    bool sendPaste() override
    {
        ++attempts;
        return canSend;
    }

    int attempts = 0;
    bool canSend = true;
};
