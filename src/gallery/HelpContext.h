#pragma once

// Help contexts: a number per control that names the help page about it.
// A control without one takes its nearest parent's, so a whole tab page can
// carry one number. F1 in the main window reads it off the focused control.

class QWidget;

void SetHelpContext(QWidget* widget, int context);
// The context of the widget or of its nearest ancestor that has one; 0 when
// none has.
int HelpContextOf(const QWidget* widget);

// The gallery's tab pages and tiles.
inline constexpr int kGalleryHelpContext = 5000;
