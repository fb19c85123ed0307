#include "ContentView.h"
#include "ToolCheckMessage.h"

namespace {

QStringList missingTools(const StoredSettings& settings) {
    return missingToolEntries({settings.value(Setting::ffmpegPath),
                               settings.value(Setting::dvdauthorPath),
                               settings.value(Setting::genisoimagePath)});
}

} // namespace

void ContentView::checkTools() {
    const QStringList missing = missingTools(m_settings);
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
}

bool ContentView::refuseForMissingTools(const RunRequest& request) {
    const QStringList missing = missingToolEntries(request.tools, request.from, request.until);
    if (missing.isEmpty())
        return false;
    toolsOK = false;
    missingToolsMessage = missingToolsText(missing);
    showMissingToolsAlert = true;
    statusText = QStringLiteral("Tools fehlen ❌");
    return true;
}

void ContentView::recheckTools() {
    // A run keeps the tools it has started with; the check after it tells.
    const bool found = missingTools(m_settings).isEmpty();
    if (isRunning() || found == toolsOK())
        return;
    toolsOK = found;
    statusText = found ? QStringLiteral("Bereit.") : QStringLiteral("Tools fehlen ❌");
    if (found)
        launch(reloadAudioStreams());
}
