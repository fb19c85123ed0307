#include "StoredSettings.h"

#include "LinuxDefaults.h"

namespace Setting {
const SettingKey<QString> ffmpegPath{QStringLiteral("tool.ffmpegPath"), &LinuxDefaults::ffmpegPath};
const SettingKey<QString> dvdauthorPath{QStringLiteral("tool.dvdauthorPath"),
                                        &LinuxDefaults::dvdauthorPath};
// A path older versions stored under "tool.hdiutilPath" named another command: it is ignored.
const SettingKey<QString> genisoimagePath{QStringLiteral("tool.genisoimagePath"),
                                          &LinuxDefaults::genisoimagePath};
const SettingKey<bool> isoSectionExpanded{QStringLiteral("ui.isoSectionExpanded"),
                                          [] { return false; }};
const SettingKey<int> aspectMode{QStringLiteral("opt.aspectMode"), [] { return 0; }};
const SettingKey<int> audioStreamIndex{QStringLiteral("opt.audioStreamIndex"), [] { return -1; }};
const SettingKey<int> qualityPreset{QStringLiteral("opt.qualityPreset"), [] { return 0; }};
const SettingKey<int> discSize{QStringLiteral("opt.discSize"), [] { return 0; }};
const SettingKey<int> subtitleTracks{QStringLiteral("opt.subtitleTracks"), [] { return -1; }};
const SettingKey<int> subtitleShown{QStringLiteral("opt.subtitleShown"), [] { return -1; }};
const SettingKey<bool> subtitleBurnIn{QStringLiteral("opt.subtitleBurnIn"), [] { return false; }};
const SettingKey<bool> verifyAfterBurn{QStringLiteral("opt.verifyAfterBurn"), [] { return false; }};
const SettingKey<bool> eraseBeforeBurn{QStringLiteral("opt.eraseBeforeBurn"), [] { return false; }};
} // namespace Setting

StoredSettings::StoredSettings()
    : m_settings(QStringLiteral("Kestrin"), QStringLiteral("Kestrin")) {}

SettingsChanges& StoredSettings::changes() {
    static SettingsChanges changes;
    return changes;
}
