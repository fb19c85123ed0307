#include "ContentView.h"
#include "ToolCheckMessage.h"

void ContentView::checkTools() {
    const QStringList missing =
        missingToolEntries(settings.ffmpegPath(), settings.dvdauthorPath(), settings.hdiutilPath());
    if (missing.isEmpty()) {
        toolsOK = true;
        statusText = QStringLiteral("Bereit.");
        launch(reloadAudioStreams());
    } else {
        toolsOK = false;
        missingToolsMessage = missingToolsText(missing);
        showMissingToolsAlert = true;
        statusText = QStringLiteral("Tools fehlen ❌");
    }
    notifyChanged();
}
