#include "StoredSettings.h"

#include "LinuxDefaults.h"

namespace {

const QString ffmpegKey = QStringLiteral("tool.ffmpegPath");
const QString dvdauthorKey = QStringLiteral("tool.dvdauthorPath");
const QString hdiutilKey = QStringLiteral("tool.hdiutilPath");
const QString isoSectionKey = QStringLiteral("ui.isoSectionExpanded");
const QString aspectKey = QStringLiteral("opt.aspectMode");
const QString audioKey = QStringLiteral("opt.audioStreamIndex");
const QString qualityKey = QStringLiteral("opt.qualityPreset");
const QString verifyKey = QStringLiteral("opt.verifyAfterBurn");
const QString eraseKey = QStringLiteral("opt.eraseBeforeBurn");

} // namespace

StoredSettings::StoredSettings()
    : m_settings(QStringLiteral("Kestrin"), QStringLiteral("Kestrin")) {}

QString StoredSettings::ffmpegPath() const {
    return m_settings.value(ffmpegKey, LinuxDefaults::ffmpegPath()).toString();
}
void StoredSettings::setFfmpegPath(const QString& path) {
    m_settings.setValue(ffmpegKey, path);
}

QString StoredSettings::dvdauthorPath() const {
    return m_settings.value(dvdauthorKey, LinuxDefaults::dvdauthorPath()).toString();
}
void StoredSettings::setDvdauthorPath(const QString& path) {
    m_settings.setValue(dvdauthorKey, path);
}

QString StoredSettings::hdiutilPath() const {
    return m_settings.value(hdiutilKey, LinuxDefaults::hdiutilPath()).toString();
}
void StoredSettings::setHdiutilPath(const QString& path) {
    m_settings.setValue(hdiutilKey, path);
}

bool StoredSettings::isoSectionExpanded() const {
    return m_settings.value(isoSectionKey, false).toBool();
}
void StoredSettings::setIsoSectionExpanded(bool expanded) {
    m_settings.setValue(isoSectionKey, expanded);
}

int StoredSettings::aspectMode() const {
    return m_settings.value(aspectKey, 0).toInt();
}
void StoredSettings::setAspectMode(int mode) {
    m_settings.setValue(aspectKey, mode);
}

int StoredSettings::audioStreamIndexStored() const {
    return m_settings.value(audioKey, -1).toInt();
}
void StoredSettings::setAudioStreamIndexStored(int index) {
    m_settings.setValue(audioKey, index);
}

int StoredSettings::qualityPreset() const {
    return m_settings.value(qualityKey, 0).toInt();
}
void StoredSettings::setQualityPreset(int preset) {
    m_settings.setValue(qualityKey, preset);
}

bool StoredSettings::verifyAfterBurn() const {
    return m_settings.value(verifyKey, false).toBool();
}
void StoredSettings::setVerifyAfterBurn(bool verify) {
    m_settings.setValue(verifyKey, verify);
}

bool StoredSettings::eraseBeforeBurn() const {
    return m_settings.value(eraseKey, false).toBool();
}
void StoredSettings::setEraseBeforeBurn(bool erase) {
    m_settings.setValue(eraseKey, erase);
}
