#include "MediaPlayerPlayback.h"

#include "gallery/MediaPlayer.h"

// The player keeps a guarded pointer to its video widget.
#include <QVideoWidget>

bool MediaPlayerPlayback::HasDisplay() const {
    return Player_.Display() != nullptr;
}

bool MediaPlayerPlayback::PlayInDisplay(const std::string& fileName) {
    Player_.FileName = fileName;
    Player_.SetDisplayHPos(haCenter);
    Player_.SetDisplayVPos(vaCenter);
    // The player reports why it could not open the file.
    if (!Player_.OpenInDisplay()) return false;
    Player_.Play();
    if (QWidget* display = Player_.Display()) display->show();
    return true;
}

void MediaPlayerPlayback::StopPlayback() {
    Player_.Close();
    if (QWidget* display = Player_.Display()) display->hide();
}
