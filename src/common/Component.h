#pragma once

#include <string>
#include <string_view>

// Common base of the non-visual components: every notification carries
// its sender as a Component, and owners tell their subordinates apart by Tag.
class Component {
public:
    virtual ~Component() = default;
    int Tag = 0;
};

// Where the core sends the short texts meant for the user ("no URL
// specified", "Invalid Url : " + URL, ...). The GUI shows them as modal
// message boxes, the command line prints them, tests record them.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(std::string_view text) = 0;
    // A yes/no question before something that cannot be undone; a sink that
    // cannot ask answers no.
    virtual bool Confirm(std::string_view /*question*/) { return false; }
};
