#include "ContentView.h"

#include <algorithm>

QCoro::Task<> ContentView::reloadAudioStreams() {
    if (!toolsOK || !sourceURL) {
        audioStreams.clear();
        notifyChanged();
        co_return;
    }
    isLoadingAudioStreams = true;
    notifyChanged();
    std::optional<QList<AudioStreamInfo>> list;
    try {
        list =
            co_await service.probeAudioStreams(*sourceURL, ffprobePathFor(settings.ffmpegPath()));
    } catch (const FFmpegError&) {
        // A source that cannot be probed simply offers no streams to choose.
    }
    if (list)
        applyAudioStreams(*list);
    else
        audioStreams.clear();
    schedule([this] { isLoadingAudioStreams = false; });
}

void ContentView::startReloadAudioStreams() {
    launch(reloadAudioStreams());
}

void ContentView::applyAudioStreams(const QList<AudioStreamInfo>& list) {
    audioStreams = list;
    notifyChanged();
    const int stored = settings.audioStreamIndexStored();
    if (stored < 0)
        return;
    if (std::any_of(list.cbegin(), list.cend(),
                    [stored](const AudioStreamInfo& s) { return s.index == stored; }))
        return;
    settings.setAudioStreamIndexStored(-1);
}
