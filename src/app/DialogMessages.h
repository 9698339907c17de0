#pragma once

// The windowed program's message interface: each text is a modal message
// box over the active window (the command line prints, tests record).

#include "common/Component.h"

#include <string_view>

class DialogMessages : public MessageSink {
public:
    void ShowMessage(std::string_view text) override;
    bool Confirm(std::string_view question) override;
    // No dialog: the texts go to the standard error stream (scripted runs).
    bool Quiet = false;
};
