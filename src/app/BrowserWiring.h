#pragma once

// Puts the embedded browser into the main window's "embedded browser" group
// and connects the two: captured links start scans, the tick drives the
// browser's pending navigation, the welcome page and a tab's page address
// open in it, its status text goes to the status bar.

class MessageSink;
class BrowserPanel;
class MainWindow;

BrowserPanel* AttachBrowser(MainWindow& form, MessageSink* messages);
