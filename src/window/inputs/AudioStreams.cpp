#include "ContentView.h"

#include <algorithm>

QCoro::Task<> ContentView::reloadAudioStreams() {
    const quint64 read = ++m_audioReads;
    if (!toolsOK() || !sourceURL()) {
        m_sourceProbe.reset();
        audioStreams = QList<AudioStreamInfo>{};
        subtitleTracks = QList<SubtitleTrack>{};
        announce();
        co_return;
    }
    isLoadingAudioStreams = true;
    m_sourceProbe.reset();
    std::optional<VideoProbe> probe;
    try {
        probe = co_await m_service.probeVideo(*sourceURL(),
                                              ffprobePathFor(m_settings.value(Setting::ffmpegPath)),
                                              [](const QString&) {});
    } catch (const FFmpegError&) {
        // A source that cannot be probed simply offers no streams to choose.
    }
    // Only the newest read, the one for the source chosen now, changes the list.
    if (read != m_audioReads)
        co_return;
    m_sourceProbe = probe;
    announce();
    const QList<SubtitleTrack> subtitles =
        probe ? availableSubtitleTracks(*sourceURL(), *probe) : QList<SubtitleTrack>{};
    subtitleTracks = subtitles;
    // A track chosen for another source is not this one's.
    for (const SettingKey<int>& key : {Setting::subtitleTracks, Setting::subtitleShown})
        if (m_settings.value(key) >= subtitles.size())
            m_settings.setValue(key, -1);
    if (probe)
        applyAudioStreams(probe->audioStreams);
    else
        audioStreams = QList<AudioStreamInfo>{};
    schedule([this, read] {
        if (read == m_audioReads)
            isLoadingAudioStreams = false;
    });
}

void ContentView::startReloadAudioStreams() {
    launch(reloadAudioStreams());
}

void ContentView::applyAudioStreams(const QList<AudioStreamInfo>& list) {
    audioStreams = list;
    const int stored = m_settings.value(Setting::audioStreamIndex);
    if (stored < 0)
        return;
    if (std::any_of(list.cbegin(), list.cend(),
                    [stored](const AudioStreamInfo& s) { return s.index == stored; }))
        return;
    m_settings.setValue(Setting::audioStreamIndex, -1);
}
