#pragma once

#include "common/Component.h"

// The benchmarks' message sink: a benchmark reports figures, not messages.
class QuietMessages : public MessageSink {
public:
    void ShowMessage(std::string_view) override {}
};
